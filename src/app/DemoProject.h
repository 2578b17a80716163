#pragma once
// The demo project: the demo media and a time line that uses every row of it, saved as
// a project file, so that a film can be made from it with no input from the user.
#include <string>
#include <vector>

#include "app/DemoMedia.h"

namespace movara {

struct TDemoProject {
  std::vector<TDemoFile> Files;  // every file made, with a short description
  std::string ProjectFile;       // folder + "demo.mvf"
  int LengthFrames = 0;          // the film's length in frames of 40 ms (end of the last block)
};

// The time line of the demo, in frames of 40 ms (the tests and the film command read
// the same numbers).
namespace demo {
inline constexpr int ClipFrames = 115;  // each AVI clip, 4.6 s
inline constexpr int BarsStart = 0, BarsLength = 40;            // row A
inline constexpr int TitleStart = 40, TitleLength = 100;        // row A
inline constexpr int Clip1Start = 115;                          // row B, and its sound on sound row 3
inline constexpr int Clip2Start = 205;                          // row A, and its sound on sound row 2
inline constexpr int GradientStart = 320, GradientLength = 40;  // row B
inline constexpr int FilmLength = 360;                          // 14.4 s
inline constexpr int LogoStart = 60, LogoLength = 150;          // the keyed overlay on the image row
inline constexpr int MelodyStart = 0, MelodyLength = 150;       // sound row 1, with an envelope
inline constexpr int SlowStart = 250, SlowLength = 110;         // sound row 3, the melody slowed
inline constexpr int SlowSpeed = 75;                            // percent
inline constexpr int SequenceStart = 40, SequenceLength = 190;  // the title and the first clip
inline constexpr int MelodyMs = 6000;
inline constexpr double Clip1Hz = 440.0, Clip2Hz = 660.0;
}  // namespace demo

// Makes the demo media and project in folder (with trailing '/'). Throws EMovara with a
// clear message when a file cannot be written.
TDemoProject MakeDemoProject(const std::string& folder);

// The phone demo: a portrait 1080 x 1920 H.264 MP4 at 30 frames a second with AAC sound
// (stored 1920 x 1080 and turned by its display matrix, as phones write it) and an M4A
// of the melody, both made by the ffmpeg program, and "phone.mvf" using them.
namespace phonedemo {
inline constexpr int ClipFrames = 100;  // 4 s in frames of 40 ms
}  // namespace phonedemo
struct TPhoneDemo {
  std::vector<TDemoFile> Files;
  std::string ProjectFile;  // folder + "phone.mvf"; empty when skipped
  std::string Skipped;      // why the phone demo was not made ("" when it was)
};
// melodyWav is the demo's melody (made by MakeDemoProject). Without the ffmpeg program
// (or its libx264 and AAC encoders) nothing is made and Skipped says so; a project file
// that cannot be written throws EMovara.
TPhoneDemo MakePhoneDemoProject(const std::string& folder, const std::string& melodyWav);

}  // namespace movara
