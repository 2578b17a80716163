#pragma once
// Media the script tests read: small BMP pictures, WAV sounds written here, and AVI clips
// made by the ffmpeg program.
#include <cstdint>
#include <string>
#include <vector>

#include "base/Dib.h"
#include "fx3d/FxList.h"
#include "support/TestSupport.h"

namespace movara::test {

inline std::string MakeScriptBmp(const TTempDir& dir, const std::string& name, int w = 16, int h = 12) {
  TDIB d(w, h, 24);
  for (int y = 0; y < h; ++y) d.ScanLine(y)[0] = static_cast<uint8_t>(y * 10);  // rows differ
  const std::string file = dir.File(name);
  d.SaveToFile(file);
  return file;
}

// 16-bit mono PCM at 22050 Hz of ms milliseconds.
inline std::string MakeScriptWav(const TTempDir& dir, const std::string& name, int ms = 4000) {
  const uint32_t rate = 22050, samples = rate * static_cast<uint32_t>(ms) / 1000, data = samples * 2;
  std::vector<uint8_t> b;
  auto u32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  auto u16 = [&](uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
  };
  auto tag = [&](const char* t) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(t[i]));
  };
  tag("RIFF");
  u32(36 + data);
  tag("WAVE");
  tag("fmt ");
  u32(16);
  u16(1);
  u16(1);
  u32(rate);
  u32(rate * 2);
  u16(2);
  u16(16);
  tag("data");
  u32(data);
  for (uint32_t i = 0; i < samples; ++i) u16(static_cast<uint16_t>((i % 100) * 300));
  const std::string file = dir.File(name);
  WriteBytes(file, b);
  return file;
}

// frames of a 32 x 24 test picture at 25 per second, MJPEG.
// With sound, a 440 Hz tone of the same length comes along.
inline std::string MakeScriptAvi(const TTempDir& dir, const std::string& name, int frames = 100, bool sound = false) {
  const std::string file = dir.File(name);
  std::string cmd = "ffmpeg -v error -y -f lavfi -i testsrc2=size=32x24:rate=25";
  if (sound)
    cmd += " -f lavfi -i sine=frequency=440:sample_rate=22050:duration=" + std::to_string(frames / 25 + 1);
  cmd += " -frames:v " + std::to_string(frames) + " -c:v mjpeg -q:v 3";
  if (sound) cmd += " -c:a pcm_s16le -shortest";
  cmd += " " + Quote(file);
  const auto r = RunCommand(cmd);
  EXPECT_EQ(r.exitCode, 0) << cmd << "\n" << r.output;
  return file;
}

// An effect of the catalogue, and one that is not in it.
inline int32_t SomeFxID(int index = 0) { return EnsureFxList().Items(index)->GetFxID(); }
inline int32_t UnknownFxID() {
  int32_t id = 0x7777;
  while (EnsureFxList().FindByID(id)) ++id;
  return id;
}

}  // namespace movara::test
