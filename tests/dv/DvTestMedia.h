#pragma once
// Media of the DV tests, made once by the ffmpeg program: a tape of 150 PAL DV frames
// with stereo sound, two short DV files for a play list and an MJPEG AVI (not DV).
#include <string>
#include <vector>

namespace movara::test {

struct TDvMedia {
  std::string Tape;   // 150 frames
  std::string ListA;  // 25 frames
  std::string ListB;  // 30 frames
  std::string Mjpeg;
};
// Made on first use; skips (returns nullptr) without ffmpeg.
const TDvMedia* DvMedia();

// Decoded pictures (one md5 per frame) and sound (interleaved stereo 48 kHz) of a file.
std::vector<std::string> DecodedPictures(const std::string& file);
std::vector<int16_t> DecodedSound(const std::string& file);

}  // namespace movara::test
