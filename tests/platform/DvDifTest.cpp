// Sound in DV frames: taken out of and put into the DIF blocks, checked against the
// ffmpeg program's own DV muxing and decoding.
#include <gtest/gtest.h>

#include "platform/dvgraph/DvAviFile.h"
#include "platform/dvgraph/DvDif.h"
#include "support/TestSupport.h"

namespace movara {
namespace {

using test::Quote;
using test::RunCommand;

std::vector<int16_t> DecodeSound(const std::string& file) {
  const std::string raw = file + ".pcm";
  const auto r = RunCommand("ffmpeg -v error -y -i " + Quote(file) + " -map 0:a -f s16le -ac 2 -ar 48000 " + Quote(raw));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  const std::vector<uint8_t> b = test::ReadBytes(raw);
  std::vector<int16_t> pcm(b.size() / 2);
  for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<int16_t>(b[2 * i] | b[2 * i + 1] << 8);
  return pcm;
}

std::string PictureHashes(const std::string& file) {
  const auto r = RunCommand("ffmpeg -v error -i " + Quote(file) + " -map 0:v -f framemd5 -");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  std::string out;
  for (size_t at = 0; (at = r.output.find('\n', at)) != std::string::npos; ++at) {
    const size_t start = r.output.rfind('\n', at - 1) + 1;
    const std::string line = r.output.substr(start, at - start);
    if (!line.empty() && line[0] != '#') out += line.substr(line.rfind(',') + 1) + "\n";
  }
  return out;
}

TEST(DvDif, SoundComesOutAndGoesInAsFfmpegReadsIt) {
  REQUIRE_PROGRAM("ffmpeg");
  test::TTempDir dir;
  const std::string src = "-f lavfi -i testsrc=size=720x576:rate=25 -f lavfi -i sine=frequency=440:sample_rate=48000 "
                          "-f lavfi -i sine=frequency=1000:sample_rate=48000 -filter_complex [1:a][2:a]amerge=inputs=2[a] "
                          "-map 0:v -map [a] -t 0.4 -c:v dvvideo -pix_fmt yuv420p -c:a pcm_s16le ";
  ASSERT_EQ(RunCommand("ffmpeg -v error -y " + src + "-f dv " + Quote(dir.File("ff.dv"))).exitCode, 0);
  ASSERT_EQ(RunCommand("ffmpeg -v error -y " + src + Quote(dir.File("ff.avi"))).exitCode, 0);

  // Out: the sound of every frame of ffmpeg's raw DV, one after another, is ffmpeg's decode.
  const std::vector<uint8_t> raw = test::ReadBytes(dir.File("ff.dv"));
  ASSERT_EQ(raw.size(), 10u * kDvPalFrameBytes);
  std::vector<int16_t> ours, frame;
  for (size_t at = 0; at < raw.size(); at += kDvPalFrameBytes) {
    ASSERT_TRUE(DvIsPalFrame(raw.data() + at, kDvPalFrameBytes));
    ASSERT_TRUE(DvExtractAudio(raw.data() + at, kDvPalFrameBytes, frame));
    EXPECT_EQ(frame.size(), 2u * kDvPalSamplesPerFrame);
    ours.insert(ours.end(), frame.begin(), frame.end());
  }
  const std::vector<int16_t> theirs = DecodeSound(dir.File("ff.dv"));
  ASSERT_EQ(ours.size(), theirs.size());
  EXPECT_TRUE(ours == theirs);
  EXPECT_NE(theirs[2 * 100], 0);

  // In: the AVI's frames (no sound in their DIF blocks) with its PCM put in make raw DV
  // whose pictures and sound ffmpeg reads as the AVI's.
  std::unique_ptr<TDvAviReader> avi = TDvAviReader::Open(dir.File("ff.avi"));
  ASSERT_TRUE(avi);
  ASSERT_EQ(avi->Frames(), 10);
  std::vector<uint8_t> dv, joined, with;
  std::vector<int16_t> pcm;
  for (int n = 0; n < avi->Frames(); ++n) {
    ASSERT_TRUE(avi->ReadFrame(n, dv, pcm));
    ASSERT_TRUE(DvInsertAudio(dv.data(), dv.size(), pcm.data(), static_cast<int>(pcm.size() / 2), with));
    joined.insert(joined.end(), with.begin(), with.end());
  }
  test::WriteBytes(dir.File("ours.dv"), joined);
  EXPECT_EQ(DecodeSound(dir.File("ours.dv")), DecodeSound(dir.File("ff.avi")));
  EXPECT_EQ(PictureHashes(dir.File("ours.dv")), PictureHashes(dir.File("ff.avi")));

  // Not DV: refused, nothing made.
  std::vector<uint8_t> junk(kDvPalFrameBytes, 0x55);
  EXPECT_FALSE(DvExtractAudio(junk.data(), junk.size(), frame));
  EXPECT_TRUE(frame.empty());
  EXPECT_FALSE(DvInsertAudio(junk.data(), 1000, pcm.data(), 1920, with));
  EXPECT_TRUE(with.empty());
}

}  // namespace
}  // namespace movara
