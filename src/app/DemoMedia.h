#pragma once
// The demo's own media, made by the program with no input from the user.
#include <string>
#include <vector>

#include "base/Dib.h"

namespace movara {

// Colour bars with a grey ramp below them.
TDIB MakeDemoBars(int width, int height);
// A diagonal colour gradient with a light disc in the middle.
TDIB MakeDemoGradient(int width, int height);
// A checkerboard of two colours.
TDIB MakeDemoChecker(int width, int height, int cell, TColor a, TColor b);

// The background of the keyed overlay picture: nothing else in it has this colour.
// Black rather than magenta: the renderer smooths the picture before keying, and the
// edge pixels of the logo then mix with the key; mixed with black they read as a thin
// dark outline, mixed with magenta as a purple fringe.
inline constexpr TColor DemoKeyColor = RGBColor(0, 0, 0);
// A logo (a disc with a dark ring and a letter M) in the top right corner of a picture
// filled with DemoKeyColor. Hard edges only: a soft edge would mix the key into the logo.
TDIB MakeDemoLogo(int width, int height);

// Frame number frame of a demo clip of frames frames. Variant 0: colour bars scrolling
// sideways; variant 1: a drifting colour gradient with a bouncing square. Both show the
// frame number as digits of blocks and a progress bar, so movement is plain to see.
TDIB MakeDemoClipFrame(int width, int height, int variant, int frame, int frames);

// The demo clips' and the melody's sound format.
inline constexpr int DemoSampleRate = 44100;
inline constexpr int DemoChannels = 2;

// Writes an AVI: 720 x 576 at 25 frames a second, MJPG video of MakeDemoClipFrame and
// 16-bit stereo PCM at 44100 Hz of a tone of toneHz (softly pulsing). Throws EMovara
// when the file cannot be written or does not read back whole.
void WriteDemoAvi(const std::string& path, int variant, int frames, double toneHz);

// Writes a WAV of ms milliseconds: a C major arpeggio ending in the chord, 16-bit stereo
// PCM at 44100 Hz. Throws EMovara when the file cannot be written.
void WriteDemoWav(const std::string& path, int ms);

// Writes the title page: "Film demonstracyjny" and a second line, centred on a blue
// page of 720 x 576. Throws EMovara when the file cannot be written.
void WriteDemoTitlePage(const std::string& path);

struct TDemoFile {
  std::string path;
  std::string what;
};

// Writes the demo pictures (bars, gradient, checker) into folder (with trailing '/');
// returns what was made. Throws EMovara when a file cannot be written.
std::vector<TDemoFile> MakeDemoPictures(const std::string& folder);

}  // namespace movara
