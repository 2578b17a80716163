#include "dv/DvTestMedia.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "support/TestSupport.h"

namespace movara::test {

namespace {

bool Make(const std::string& video, const std::string& extra, double seconds, const std::string& out) {
  const std::string cmd = "ffmpeg -nostdin -v error -y -f lavfi -i " + video + "=size=720x576:rate=25 " +
                          "-f lavfi -i sine=frequency=330:sample_rate=48000 -f lavfi -i sine=frequency=" + extra +
                          ":sample_rate=48000 -filter_complex [1:a][2:a]amerge=inputs=2[a] -map 0:v -map [a] -t " +
                          std::to_string(seconds) + " -c:v dvvideo -pix_fmt yuv420p -c:a pcm_s16le " + Quote(out);
  return RunCommand(cmd).exitCode == 0;
}

}  // namespace

const TDvMedia* DvMedia() {
  static TDvMedia media;
  static bool made = false, ok = false;
  if (made) return ok ? &media : nullptr;
  made = true;
  if (!HaveProgram("ffmpeg")) return nullptr;
  const std::string dir = (std::filesystem::temp_directory_path() /
                           ("movara-dv-media-" + std::to_string(::getpid()))).string() + "/";
  std::filesystem::create_directories(dir);
  media = {dir + "tape.avi", dir + "list a.avi", dir + "listb.avi", dir + "mjpeg.avi"};
  ok = Make("testsrc", "1000", 6.0, media.Tape) && Make("smptebars", "550", 1.0, media.ListA) &&
       Make("testsrc2", "770", 1.2, media.ListB) &&
       RunCommand("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=320x240:rate=25 -t 1 -c:v mjpeg " +
                  Quote(media.Mjpeg)).exitCode == 0;
  static struct TCleanup {
    std::string dir;
    ~TCleanup() { std::error_code e; std::filesystem::remove_all(dir, e); }
  } cleanup{dir};
  if (!ok) ADD_FAILURE() << "ffmpeg could not make the DV test media";
  return ok ? &media : nullptr;
}

std::vector<std::string> DecodedPictures(const std::string& file) {
  const auto r = RunCommand("ffmpeg -nostdin -v error -i " + Quote(file) + " -map 0:v -f framemd5 -");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  std::vector<std::string> out;
  std::istringstream in(r.output);
  std::string line;
  while (std::getline(in, line))
    if (!line.empty() && line[0] != '#') out.push_back(line.substr(line.rfind(',') + 1));
  return out;
}

std::vector<int16_t> DecodedSound(const std::string& file) {
  const std::string raw = file + ".s16";
  const auto r = RunCommand("ffmpeg -nostdin -v error -y -i " + Quote(file) + " -map 0:a -f s16le -ac 2 -ar 48000 " +
                            Quote(raw));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  const std::vector<uint8_t> b = ReadBytes(raw);
  std::remove(raw.c_str());
  std::vector<int16_t> pcm(b.size() / 2);
  for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<int16_t>(b[2 * i] | b[2 * i + 1] << 8);
  return pcm;
}

}  // namespace movara::test
