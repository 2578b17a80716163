// The AVI reader against files made by the ffmpeg program: frames in order and after
// seeks equal what ffmpeg decodes, seeking clamps, the flipped picture, times and
// rates, the raw-copy path, and files that are damaged, cut short or not video.
#include "media/Avi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/AppPaths.h"
#include "base/Trace.h"
#include "support/TestSupport.h"

using namespace movara;
using movara::test::Quote;
using movara::test::ReadBytes;
using movara::test::RunCommand;
using movara::test::TTempDir;
using movara::test::WriteBytes;

namespace {

constexpr int kW = 96, kH = 64, kFrames = 30;

// Collects the trace lines written while it lives.
using movara::test::TTraceRecorder;

bool HaveEncoder(const std::string& name) {
  return RunCommand("ffmpeg -hide_banner -encoders | grep -qw " + name).exitCode == 0;
}

// A kW x kH moving test picture of n frames at 25 per second, in the given codec.
std::string MakeAvi(const TTempDir& dir, const std::string& name, const std::string& codec, bool sound = false,
                    int frames = kFrames, const std::string& size = "96x64") {
  const std::string file = dir.File(name);
  std::string cmd = "ffmpeg -v error -y -f lavfi -i testsrc2=size=" + size + ":rate=25";
  if (sound) cmd += " -f lavfi -i sine=frequency=440:sample_rate=22050:duration=2";
  cmd += " -frames:v " + std::to_string(frames) + " " + codec;
  if (sound) cmd += " -c:a pcm_s16le -shortest";
  cmd += " " + Quote(file);
  const auto r = RunCommand(cmd);
  EXPECT_EQ(r.exitCode, 0) << cmd << "\n" << r.output;
  return file;
}

// Frames ffmpeg decodes from a file, as top-down BGR rows without padding.
std::vector<std::vector<uint8_t>> FfmpegFrames(const TTempDir& dir, const std::string& file, int w = kW,
                                               int h = kH) {
  const std::string raw = dir.File("ref.raw");
  const auto r = RunCommand("ffmpeg -v error -y -i " + Quote(file) +
                            " -f rawvideo -pix_fmt bgr24 -fps_mode passthrough " + Quote(raw));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  const std::vector<uint8_t> all = ReadBytes(raw);
  const size_t frame = size_t(w) * h * 3;
  std::vector<std::vector<uint8_t>> out;
  for (size_t at = 0; at + frame <= all.size(); at += frame) out.emplace_back(all.begin() + at, all.begin() + at + frame);
  return out;
}

// Mean absolute difference between the picture (its rows upside down when flipped)
// and top-down BGR rows; 1000 when the shapes differ.
double MeanDiff(const TDIB& dib, const std::vector<uint8_t>& rows, bool flipped = false) {
  if (dib.BitCount() != 24 || rows.size() != size_t(dib.Width()) * dib.Height() * 3) return 1000;
  int64_t sum = 0;
  const size_t rowBytes = size_t(dib.Width()) * 3;
  for (int y = 0; y < dib.Height(); ++y) {
    const uint8_t* a = dib.ScanLine(flipped ? dib.Height() - 1 - y : y);
    const uint8_t* b = &rows[size_t(y) * rowBytes];
    for (size_t x = 0; x < rowBytes; ++x) sum += std::abs(int(a[x]) - int(b[x]));
  }
  return double(sum) / double(rows.size());
}

// A packed DIB (40-byte header, bottom-up 24-bit rows) as a picture.
TDIB FromPacked(const std::vector<uint8_t>& packed) {
  std::vector<uint8_t> bmp = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0};
  bmp.insert(bmp.end(), packed.begin(), packed.end());
  TDIB dib;
  EXPECT_TRUE(dib.LoadFromBmpBytes(bmp.data(), bmp.size()));
  return dib;
}

// Offset of the video stream header's data ("strh" then "vids") in a file image.
size_t VideoStrh(const std::vector<uint8_t>& bytes) {
  for (size_t i = 0; i + 12 < bytes.size(); ++i)
    if (std::memcmp(&bytes[i], "strh", 4) == 0 && std::memcmp(&bytes[i + 8], "vids", 4) == 0) return i + 8;
  ADD_FAILURE() << "no video stream header";
  return 0;
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

// Rewrites fields of the video stream header: handler (4), scale (20), rate (24).
void PatchStrh(const std::string& file, size_t field, uint32_t value) {
  auto bytes = ReadBytes(file);
  Put32(bytes, VideoStrh(bytes) + field, value);
  WriteBytes(file, bytes);
}

// Where the stored bytes of frame n of the video stream are in the file.
struct TChunk {
  int64_t offset = -1;
  int32_t size = 0;
};
TChunk FrameChunk(const std::string& file, int n) {
  TChunk c;
  PAVIFILE f = nullptr;
  if (AVIFileOpen(&f, file, OF_READ) != AVIERR_OK) return c;
  PAVISTREAM s = nullptr;
  if (AVIFileGetStream(f, &s, streamtypeVIDEO, 0) == AVIERR_OK) {
    c.offset = AVIStreamFindSample(s, n, FIND_ANY | FIND_OFFSET);
    AVIStreamRead(s, n, 1, nullptr, 0, &c.size, nullptr);
    AVIStreamRelease(s);
  }
  AVIFileRelease(f);
  return c;
}

// ---- codecs ----

struct TCodecCase {
  const char* label;
  const char* args;
  const char* encoder;
  bool sound;
  double tolerance;  // mean difference allowed against ffmpeg's pictures
  int keyInterval;   // frames between key frames (1: every frame decodes alone)
};

void PrintTo(const TCodecCase& c, std::ostream* os) { *os << c.label; }

class AviCodecs : public ::testing::TestWithParam<TCodecCase> {};

TEST_P(AviCodecs, FramesMatchFfmpegInOrderAndAfterSeeks) {
  REQUIRE_PROGRAM("ffmpeg");
  const TCodecCase& c = GetParam();
  if (!HaveEncoder(c.encoder)) GTEST_SKIP() << c.encoder << " not in this ffmpeg";
  TTempDir dir;
  const std::string file = MakeAvi(dir, "in.avi", c.args, c.sound);
  const auto reference = FfmpegFrames(dir, file);
  ASSERT_EQ(reference.size(), size_t(kFrames));

  TAVI avi;
  ASSERT_TRUE(avi.Open(file));
  EXPECT_TRUE(avi.Opened());
  EXPECT_EQ(avi.FileName(), file);
  EXPECT_EQ(avi.StartFrame(), 0);
  EXPECT_EQ(avi.StopFrame(), kFrames - 1);
  EXPECT_DOUBLE_EQ(avi.PlaybackRate(), 25.0);
  EXPECT_EQ(avi.LengthTime(), (kFrames - 1) * 40);
  EXPECT_EQ(avi.FrameWidth(), kW);
  EXPECT_EQ(avi.FrameHeight(), kH);
  EXPECT_EQ(avi.AudioStream() != nullptr, c.sound);
  EXPECT_EQ(avi.VideoFormatSize(), 40);
  EXPECT_EQ(avi.Position(), 0);
  EXPECT_EQ(avi.FrameIndex(), 0);
  EXPECT_TRUE(avi.IsKeyFrame(0));
  EXPECT_EQ(avi.IsKeyFrame(1), c.keyInterval == 1);
  EXPECT_EQ(avi.IsKeyFrame(c.keyInterval), true);

  // In order: each frame is sent to the decoder once (the first by Open).
  const TDIB* pic = avi.DIB();
  EXPECT_LE(MeanDiff(*pic, reference[0]), c.tolerance);
  for (int i = 1; i < kFrames; ++i) {
    avi.SetPosition(i);
    ASSERT_EQ(avi.Position(), i);
    EXPECT_LE(MeanDiff(*pic, reference[size_t(i)]), c.tolerance) << "frame " << i;
  }
  EXPECT_EQ(avi.FramesDecoded(), kFrames);

  // Jumps cost at most one key-frame interval and land on the right picture.
  for (int i : {17, 3, 25, 26, 12, 0, 29, 11}) {
    const int64_t before = avi.FramesDecoded();
    avi.SetPosition(i);
    ASSERT_TRUE(avi.Opened());
    EXPECT_LE(avi.FramesDecoded() - before, c.keyInterval) << "seek to " << i;
    EXPECT_LE(MeanDiff(*pic, reference[size_t(i)]), c.tolerance) << "seek to " << i;
    // The packed frame of the same index is the same picture, without a new decode.
    const int64_t held = avi.FramesDecoded();
    const std::vector<uint8_t>* packed = avi.GetFrame(i);
    ASSERT_TRUE(packed) << "frame " << i;
    EXPECT_EQ(avi.FramesDecoded(), held);
    EXPECT_TRUE(FromPacked(*packed) == *pic) << "frame " << i;
  }
  // GetFrame of another frame leaves the picture and the position alone.
  const TDIB before = *pic;
  const std::vector<uint8_t>* other = avi.GetFrame(5);
  ASSERT_TRUE(other);
  EXPECT_EQ(avi.FrameIndex(), 5);
  EXPECT_EQ(avi.Position(), 11);
  EXPECT_TRUE(*pic == before);
  EXPECT_LE(MeanDiff(FromPacked(*other), reference[5]), c.tolerance);

  // Decoding ahead gives the same pictures, byte for byte, in any order of asking.
  TAVI ahead;
  ASSERT_TRUE(ahead.Open(file));
  ahead.SetReadAhead(true);
  EXPECT_TRUE(ahead.ReadAhead());
  for (int i : {1, 2, 3, 4, 5, 20, 21, 22, 2, 3, 29, 28, 0, 1, 2, 3}) {
    ahead.SetPosition(i);
    avi.SetPosition(i);
    ASSERT_TRUE(ahead.Opened());
    EXPECT_TRUE(*ahead.DIB() == *avi.DIB()) << "frame " << i;
    ASSERT_TRUE(ahead.GetFrame(i));
  }
  ahead.SetReadAhead(false);
  EXPECT_FALSE(ahead.ReadAhead());
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, AviCodecs,
    ::testing::Values(TCodecCase{"MJPG", "-c:v mjpeg -q:v 3", "mjpeg", false, 2.0, 1},
                      TCodecCase{"MJPG_sound", "-c:v mjpeg -q:v 3", "mjpeg", true, 2.0, 1},
                      TCodecCase{"FMP4_g12", "-c:v mpeg4 -vtag FMP4 -q:v 4 -g 12", "mpeg4", false, 2.0, 12},
                      TCodecCase{"XVID_g12_sound", "-c:v mpeg4 -vtag XVID -q:v 4 -g 12", "mpeg4", true, 2.0, 12},
                      TCodecCase{"Raw_bgr24", "-c:v rawvideo -pix_fmt bgr24", "rawvideo", false, 0.0, 1},
                      TCodecCase{"Raw_bgr24_sound", "-c:v rawvideo -pix_fmt bgr24", "rawvideo", true, 0.0, 1},
                      TCodecCase{"HuffYUV", "-c:v huffyuv -pix_fmt rgb24", "huffyuv", false, 0.0, 1},
                      TCodecCase{"HuffYUV_sound", "-c:v huffyuv -pix_fmt yuv422p", "huffyuv", true, 2.0, 1}),
    [](const ::testing::TestParamInfo<TCodecCase>& info) { return std::string(info.param.label); });

// ---- one MJPEG and one MPEG-4 file shared by the tests below ----

class AviFile : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!test::HaveProgram("ffmpeg")) return;
    dir_ = new TTempDir;
    mjpeg_ = MakeAvi(*dir_, "m.avi", "-c:v mjpeg -q:v 3");
    mpeg4_ = MakeAvi(*dir_, "g12.avi", "-c:v mpeg4 -vtag XVID -q:v 4 -g 12");
    mjpegFrames_ = FfmpegFrames(*dir_, mjpeg_);
    mpeg4Frames_ = FfmpegFrames(*dir_, mpeg4_);
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  void SetUp() override {
    if (!dir_) GTEST_SKIP() << "ffmpeg not installed";
    ASSERT_EQ(mjpegFrames_.size(), size_t(kFrames));
    ASSERT_EQ(mpeg4Frames_.size(), size_t(kFrames));
  }
  // A copy of a shared file that a test may change.
  std::string Copy(const std::string& file, const std::string& name) {
    const std::string to = tmp_.File(name);
    WriteBytes(to, ReadBytes(file));
    return to;
  }

  static TTempDir* dir_;
  static std::string mjpeg_, mpeg4_;
  static std::vector<std::vector<uint8_t>> mjpegFrames_, mpeg4Frames_;
  TTempDir tmp_;
};
TTempDir* AviFile::dir_ = nullptr;
std::string AviFile::mjpeg_, AviFile::mpeg4_;
std::vector<std::vector<uint8_t>> AviFile::mjpegFrames_, AviFile::mpeg4Frames_;

TEST_F(AviFile, SeekingClampsAtBothEndsAndTheSamePositionDoesNothing) {
  TAVI avi;
  ASSERT_TRUE(avi.Open(mjpeg_));
  avi.SetPosition(1000);
  EXPECT_EQ(avi.Position(), kFrames - 1);
  EXPECT_LE(MeanDiff(*avi.DIB(), mjpegFrames_.back()), 2.0);
  avi.SetPosition(-7);
  EXPECT_EQ(avi.Position(), 0);
  EXPECT_LE(MeanDiff(*avi.DIB(), mjpegFrames_[0]), 2.0);

  // Seeking to where it stands neither decodes nor touches the picture.
  avi.SetPosition(4);
  const int64_t decoded = avi.FramesDecoded();
  avi.DIB()->SetPixel(0, 0, RGBColor(1, 2, 3));
  avi.SetPosition(4);
  EXPECT_EQ(avi.FramesDecoded(), decoded);
  EXPECT_EQ(avi.DIB()->Pixel(0, 0), RGBColor(1, 2, 3));

  // Positions by time: 25 frames a second.
  avi.SetPositionOfTime(400);
  EXPECT_EQ(avi.Position(), 10);
  EXPECT_EQ(avi.PositionOfTime(), 400);
  avi.SetPositionOfTime(99999);
  EXPECT_EQ(avi.Position(), kFrames - 1);

  // GetFrame clamps the same way.
  const auto* last = avi.GetFrame(500);
  ASSERT_TRUE(last);
  EXPECT_EQ(avi.FrameIndex(), kFrames - 1);
  ASSERT_TRUE(avi.GetFrame(-3));
  EXPECT_EQ(avi.FrameIndex(), 0);
}

TEST_F(AviFile, PictureIsReusedForFramesOfOneSizeAndRebuiltForAnother) {
  TAVI avi;
  ASSERT_TRUE(avi.Open(mjpeg_));
  const uint8_t* bits = avi.DIB()->Bits();
  for (int i = 1; i < 6; ++i) avi.SetPosition(i);
  EXPECT_EQ(avi.DIB()->Bits(), bits);  // rows copied in place

  const std::string big = MakeAvi(tmp_, "big.avi", "-c:v mjpeg", false, 3, "160x120");
  ASSERT_TRUE(avi.Open(big));
  EXPECT_EQ(avi.DIB()->Width(), 160);
  EXPECT_EQ(avi.DIB()->Height(), 120);
  EXPECT_EQ(avi.DIB()->BitCount(), 24);
  EXPECT_LE(MeanDiff(*avi.DIB(), FfmpegFrames(tmp_, big, 160, 120)[0]), 2.0);
}

TEST_F(AviFile, FlippedPictureHasTheFramesRowsReversedAndTogglingRefreshes) {
  TAVI avi;
  ASSERT_TRUE(avi.Open(mpeg4_));
  avi.SetPosition(7);
  avi.SetFlipDIBY(true);
  EXPECT_TRUE(avi.FlipDIBY());
  EXPECT_EQ(avi.Position(), -1);
  avi.SetPosition(7);  // the same frame, fetched and copied again
  EXPECT_LE(MeanDiff(*avi.DIB(), mpeg4Frames_[7], true), 2.0);
  // First row of the picture = last row of the frame.
  const TDIB* pic = avi.DIB();
  const TDIB frame = FromPacked(*avi.GetFrame(7));
  EXPECT_EQ(std::memcmp(pic->ScanLine(0), frame.ScanLine(kH - 1), size_t(kW) * 3), 0);
  EXPECT_EQ(std::memcmp(pic->ScanLine(kH - 1), frame.ScanLine(0), size_t(kW) * 3), 0);

  avi.SetPosition(20);
  EXPECT_LE(MeanDiff(*pic, mpeg4Frames_[20], true), 2.0);
  avi.SetFlipDIBY(true);  // no change: the position stays
  EXPECT_EQ(avi.Position(), 20);
  avi.SetFlipDIBY(false);
  avi.SetPosition(20);
  EXPECT_LE(MeanDiff(*pic, mpeg4Frames_[20]), 2.0);
}

TEST_F(AviFile, TimesRoundHalvesToEven) {
  TAVI avi;
  ASSERT_TRUE(avi.Open(mjpeg_));
  EXPECT_EQ(avi.FramesToMs(1), 40);
  EXPECT_EQ(avi.MsToFrames(20), 0);  // 0.5
  EXPECT_EQ(avi.MsToFrames(60), 2);  // 1.5
  EXPECT_EQ(avi.MsToFrames(100), 2);  // 2.5
  EXPECT_EQ(avi.MsToFrames(-60), -2);

  // 16 frames a second: 62.5 ms a frame.
  const std::string r16 = Copy(mjpeg_, "r16.avi");
  PatchStrh(r16, 20, 1);
  PatchStrh(r16, 24, 16);
  ASSERT_TRUE(avi.Open(r16));
  EXPECT_DOUBLE_EQ(avi.PlaybackRate(), 16.0);
  EXPECT_EQ(avi.FramesToMs(1), 62);
  EXPECT_EQ(avi.FramesToMs(3), 188);
  EXPECT_EQ(avi.FramesToMs(5), 312);
  EXPECT_EQ(avi.LengthTime(), 1812);  // 29 frames: 1812.5

  // NTSC: 30000 / 1001.
  const std::string ntsc = Copy(mjpeg_, "ntsc.avi");
  PatchStrh(ntsc, 20, 1001);
  PatchStrh(ntsc, 24, 30000);
  ASSERT_TRUE(avi.Open(ntsc));
  EXPECT_NEAR(avi.PlaybackRate(), 29.97, 0.001);
  EXPECT_EQ(avi.FramesToMs(3), 100);
  EXPECT_EQ(avi.MsToFrames(1001), 30);
}

TEST_F(AviFile, ScaleZeroGivesRateZeroAndTimesZero) {
  // No scale in the stream header, and no frame time in the main header to take one from.
  const std::string file = Copy(mjpeg_, "scale0.avi");
  PatchStrh(file, 20, 0);
  auto bytes = ReadBytes(file);
  ASSERT_EQ(std::memcmp(&bytes[24], "avih", 4), 0);
  Put32(bytes, 32, 0);  // the first field of "avih" is the frame time
  WriteBytes(file, bytes);
  TAVI avi;
  ASSERT_TRUE(avi.Open(file));
  EXPECT_EQ(avi.PlaybackRate(), 0.0);
  EXPECT_EQ(avi.FramesToMs(10), 0);
  EXPECT_EQ(avi.MsToFrames(1000), 0);
  EXPECT_EQ(avi.LengthTime(), 0);
  avi.SetPosition(5);
  EXPECT_EQ(avi.Position(), 5);  // frames still readable
  TAVIData data;
  EXPECT_TRUE(avi.AVIStreamRead(&data, 0, 1000));  // time 0 is frame 0
  EXPECT_EQ(data.FirstFrame(), 0);
  EXPECT_EQ(data.LastFrame(), 0);
}

TEST_F(AviFile, PropertiesOfAStoredDibStreamAndOfAClosedReader) {
  // Uncompressed frames marked "DIB ": no compressed copy; the stored format's size.
  const std::string raw =
      MakeAvi(tmp_, "raw.avi", "-c:v rawvideo -pix_fmt bgr24 -metadata:s:v:0 title='Kamera 1'", false, 4);
  PatchStrh(raw, 4, mmioFOURCC('D', 'I', 'B', ' '));
  TAVI avi;
  ASSERT_TRUE(avi.Open(raw));
  EXPECT_EQ(avi.Name(), "Kamera 1");
  EXPECT_FALSE(avi.CompressedCopy());
  EXPECT_EQ(avi.VideoCompressorHandler(), mmioFOURCC('D', 'I', 'B', ' '));
  EXPECT_EQ(avi.VideoFormatSize(), 40);

  ASSERT_TRUE(avi.Open(mpeg4_));
  EXPECT_TRUE(avi.CompressedCopy());
  EXPECT_EQ(avi.VideoCompressorHandler(), mmioFOURCC('X', 'V', 'I', 'D'));
  avi.SetPosition(9);
  avi.Close();
  EXPECT_FALSE(avi.Opened());
  EXPECT_EQ(avi.FileName(), "");
  EXPECT_EQ(avi.Name(), "");
  EXPECT_EQ(avi.VideoCompressorHandler(), 0u);
  EXPECT_EQ(avi.FrameIndex(), -1);
  avi.SetPosition(3);
  EXPECT_EQ(avi.Position(), 9);
  EXPECT_EQ(avi.GetFrame(3), nullptr);
  TAVIData data;
  EXPECT_FALSE(avi.AVIStreamRead(&data, 0, 100));
  EXPECT_FALSE(avi.AVIStreamReadSingleFrame(&data, 0));
}

TEST(AviFormatSize, ColourTableOrMasksAfterTheHeader) {
  BITMAPINFOHEADER h;
  h.biBitCount = 8;
  EXPECT_EQ(TAVI::FormatSizeOf(h), 40 + 1024);
  h.biClrUsed = 16;
  EXPECT_EQ(TAVI::FormatSizeOf(h), 40 + 64);
  h.biClrUsed = 0;
  h.biBitCount = 4;
  EXPECT_EQ(TAVI::FormatSizeOf(h), 40 + 64);
  h.biBitCount = 24;
  EXPECT_EQ(TAVI::FormatSizeOf(h), 40);
  h.biBitCount = 32;
  EXPECT_EQ(TAVI::FormatSizeOf(h), 40);
  TTraceRecorder trace;
  h.biCompression = BI_BITFIELDS;
  EXPECT_EQ(TAVI::FormatSizeOf(h), 52);
  h.biBitCount = 16;
  EXPECT_EQ(TAVI::FormatSizeOf(h), 52);
  EXPECT_TRUE(trace.Has("[TAVI.UpdateVideoFormatSize] BI_BITFIELDS active. Incremented fVideoFormatSize by 12"));
  h.biBitCount = 24;  // masks only count for 16 and 32 bits
  EXPECT_EQ(TAVI::FormatSizeOf(h), 40);
}

// ---- raw copy ----

TEST(AviData, CountAndAGrowingBuffer) {
  TAVIData d;
  d.SetFirstFrame(10);
  d.SetLastFrame(14);
  EXPECT_EQ(d.Count(), 5);
  d.SetLastFrame(9);
  EXPECT_EQ(d.Count(), 0);
  d.SetCount(3);
  EXPECT_EQ(d.LastFrame(), 12);
  d.SetCount(0);
  EXPECT_EQ(d.LastFrame(), 10);
  EXPECT_EQ(d.Count(), 1);
  d.SetCount(-4);
  EXPECT_EQ(d.LastFrame(), 10);

  EXPECT_TRUE(d.SetSize(1000));
  EXPECT_EQ(d.Size(), 1000u);
  EXPECT_TRUE(d.SetSize(10));
  EXPECT_EQ(d.Size(), 1000u);
  EXPECT_FALSE(d.SetSize(-1));
  EXPECT_FALSE(d.SetSize(int64_t(1) << 40));
  EXPECT_EQ(d.Size(), 1000u);
}

TEST_F(AviFile, RawRunMustStartOnAKeyFrame) {
  TAVI avi;
  ASSERT_TRUE(avi.Open(mpeg4_));
  TAVIData data;
  TTraceRecorder trace;
  // Frame 5 (200 ms) lies between the key frames 0 and 12.
  EXPECT_FALSE(avi.AVIStreamRead(&data, 200, 400));
  EXPECT_TRUE(trace.Has("[TAVI.AVIStreamRead] Avi is keyframed but KeyFrm <> FrmStart (12 <> 5)")) << trace.All();
  // From frame 12 (480 ms) for 400 ms: frames 12..21.
  ASSERT_TRUE(avi.AVIStreamRead(&data, 480, 400));
  EXPECT_TRUE(data.KeyFramed());
  EXPECT_EQ(data.FirstFrame(), 12);
  EXPECT_EQ(data.LastFrame(), 21);
  EXPECT_EQ(data.Count(), 10);
  EXPECT_EQ(data.LinkAvi(), &avi);
  EXPECT_EQ(data.Bytes(), 0);
  // A run past the end is cut at the last frame; a short one keeps one frame.
  ASSERT_TRUE(avi.AVIStreamRead(&data, 960, 5000));
  EXPECT_EQ(data.FirstFrame(), 24);
  EXPECT_EQ(data.LastFrame(), kFrames - 1);
  ASSERT_TRUE(avi.AVIStreamRead(&data, 960, 0));
  EXPECT_EQ(data.LastFrame(), 24);
  EXPECT_FALSE(avi.AVIStreamRead(&data, 1200, 40));
  EXPECT_TRUE(trace.Has("[TAVI.AVIStreamRead] FrmStart > fStopFrame (30 > 29). Decompressing and Copying only one frame"));
  EXPECT_FALSE(avi.AVIStreamRead(nullptr, 0, 40));
  EXPECT_TRUE(trace.Has("[TAVI.AVIStreamRead] Error. AOutAVIData = nil !!! Decompressing and Copying only one frame."));
}

TEST_F(AviFile, SingleFramesAreReadRawIntoABufferThatOnlyGrows) {
  TAVI avi;
  ASSERT_TRUE(avi.Open(mpeg4_));
  TAVIData data;
  const TChunk key = FrameChunk(mpeg4_, 12);
  const TChunk next = FrameChunk(mpeg4_, 13);
  ASSERT_GT(key.size, next.size);
  const auto file = ReadBytes(mpeg4_);
  ASSERT_TRUE(avi.AVIStreamReadSingleFrame(&data, 12));
  EXPECT_EQ(data.Bytes(), key.size);
  EXPECT_EQ(data.Samples(), 1);
  ASSERT_GE(data.Size(), size_t(key.size));
  EXPECT_EQ(std::memcmp(data.Memory(), &file[size_t(key.offset)], size_t(key.size)), 0);
  ASSERT_TRUE(avi.AVIStreamReadSingleFrame(&data, 13));
  EXPECT_EQ(data.Bytes(), next.size);
  EXPECT_GE(data.Size(), size_t(key.size));
  EXPECT_EQ(std::memcmp(data.Memory(), &file[size_t(next.offset)], size_t(next.size)), 0);
  TTraceRecorder trace;
  EXPECT_FALSE(avi.AVIStreamReadSingleFrame(&data, kFrames));
  EXPECT_TRUE(trace.Has("[TAVI.AVIStreamReadSingleFrame] AVIStreamRead returned"));
  EXPECT_FALSE(avi.AVIStreamReadSingleFrame(nullptr, 0));
}

TEST_F(AviFile, StreamWithoutKeyFramesCopiesFromAnyFrame) {
  // Clear the key-frame flags of every index entry.
  const std::string file = Copy(mjpeg_, "nokeys.avi");
  auto bytes = ReadBytes(file);
  size_t idx = 0;
  for (size_t i = bytes.size() - 8; i > 0; --i)
    if (std::memcmp(&bytes[i], "idx1", 4) == 0) {
      idx = i;
      break;
    }
  ASSERT_GT(idx, 0u);
  const uint32_t size = GetLE32(&bytes[idx + 4]);
  for (size_t e = idx + 8; e + 16 <= idx + 8 + size; e += 16) Put32(bytes, e + 4, GetLE32(&bytes[e + 4]) & ~AVIIF_KEYFRAME);
  WriteBytes(file, bytes);

  TAVI avi;
  ASSERT_TRUE(avi.Open(file));
  if (avi.IsKeyFrame(0)) GTEST_SKIP() << "the AVI service marks key frames itself";
  TAVIData data;
  ASSERT_TRUE(avi.AVIStreamRead(&data, 200, 400));  // frame 5 on
  EXPECT_FALSE(data.KeyFramed());
  EXPECT_EQ(data.FirstFrame(), 5);
  EXPECT_EQ(data.LastFrame(), 14);
  EXPECT_GE(data.Size(), size_t(FrameChunk(file, 5).size));
  // Frames still decode.
  avi.SetPosition(8);
  EXPECT_LE(MeanDiff(*avi.DIB(), mjpegFrames_[8]), 2.0);
}

// ---- files that are not what they should be ----

TEST_F(AviFile, DamagedFrameGivesNoFrameAndTheNextKeyFrameRecovers) {
  const std::string file = Copy(mjpeg_, "bad.avi");
  const TChunk bad = FrameChunk(file, 4);
  ASSERT_GT(bad.offset, 0);
  auto bytes = ReadBytes(file);
  for (int32_t i = 0; i < bad.size; ++i) bytes[size_t(bad.offset + i)] = uint8_t(i * 37 + 11);
  WriteBytes(file, bytes);

  TAVI avi;
  ASSERT_TRUE(avi.Open(file));
  TTraceRecorder trace;
  EXPECT_EQ(avi.GetFrame(4), nullptr);
  EXPECT_TRUE(trace.Has("AVIStreamGetFrameOpen error: cannot get frame number 4(FileName = " + file + ")"));
  ASSERT_TRUE(avi.GetFrame(5));
  EXPECT_LE(MeanDiff(FromPacked(*avi.GetFrame(5)), mjpegFrames_[5]), 2.0);
  avi.SetPosition(3);
  EXPECT_TRUE(avi.Opened());
  // A seek to it closes the reader; later seeks do nothing.
  avi.SetPosition(4);
  EXPECT_FALSE(avi.Opened());
  EXPECT_TRUE(trace.Has("AVIStreamGetFrameOpen error: cannot get frame number 4(FileNam = " + file + ")"));
  avi.SetPosition(6);
  EXPECT_FALSE(avi.Opened());
  // Opened again, the frames around it are there.
  ASSERT_TRUE(avi.Open(file));
  avi.SetPosition(5);
  ASSERT_TRUE(avi.Opened());
  EXPECT_LE(MeanDiff(*avi.DIB(), mjpegFrames_[5]), 2.0);
}

TEST_F(AviFile, DamagedPredictedFrameRecoversAtTheNextKeyFrame) {
  const std::string file = Copy(mpeg4_, "badp.avi");
  const TChunk bad = FrameChunk(file, 5);
  ASSERT_GT(bad.offset, 0);
  auto bytes = ReadBytes(file);
  for (int32_t i = 0; i < bad.size; ++i) bytes[size_t(bad.offset + i)] = uint8_t(i * 53 + 7);
  WriteBytes(file, bytes);
  TAVI avi;
  ASSERT_TRUE(avi.Open(file));
  // Whatever frames 5..11 give (nothing or a damaged picture), nothing breaks and
  // frame 12 is whole again.
  for (int i = 1; i < 12; ++i) avi.GetFrame(i);
  const auto* key = avi.GetFrame(12);
  ASSERT_TRUE(key);
  EXPECT_LE(MeanDiff(FromPacked(*key), mpeg4Frames_[12]), 2.0);
  ASSERT_TRUE(avi.GetFrame(13));
  EXPECT_LE(MeanDiff(FromPacked(*avi.GetFrame(13)), mpeg4Frames_[13]), 2.0);
}

TEST_F(AviFile, TruncatedFileOpensWithWhatIsThereOrFailsCleanly) {
  const auto whole = ReadBytes(mjpeg_);
  for (size_t cut : {size_t(64), size_t(300), whole.size() / 3, whole.size() / 2, whole.size() - 20}) {
    const std::string file = tmp_.File("cut.avi");
    WriteBytes(file, std::vector<uint8_t>(whole.begin(), whole.begin() + std::ptrdiff_t(cut)));
    TAVI avi;
    if (!avi.Open(file)) {
      EXPECT_FALSE(avi.Opened()) << cut;
      EXPECT_LT(cut, whole.size() / 3) << "a third of the file holds whole frames";
      continue;
    }
    EXPECT_LE(avi.StopFrame(), kFrames - 1);
    EXPECT_GT(avi.StopFrame(), 0) << cut;
    for (int i = 0; i <= avi.StopFrame() && avi.Opened(); ++i) {
      avi.SetPosition(i);
      // The last frame may be cut itself: what is there of it shows.
      if (avi.Opened() && i < avi.StopFrame()) {
        EXPECT_LE(MeanDiff(*avi.DIB(), mjpegFrames_[size_t(i)]), 2.0) << "frame " << i;
      }
    }
  }
}

TEST_F(AviFile, SoundOnlyAndNonAviFilesDoNotOpen) {
  const std::string sound = tmp_.File("sound.avi");
  ASSERT_EQ(RunCommand("ffmpeg -v error -y -f lavfi -i sine=duration=1 -c:a pcm_s16le " + Quote(sound)).exitCode, 0);
  TAVI avi;
  TTraceRecorder trace;
  EXPECT_FALSE(avi.Open(sound));
  EXPECT_FALSE(avi.Opened());
  EXPECT_TRUE(trace.Has("AVIFileGetStream error: AVIFile doesn`t have streamtypeVIDEO (FileName = " + sound + ")"));

  // A code no decoder takes: no frame getter.
  const std::string unknown = Copy(mjpeg_, "unknown.avi");
  PatchStrh(unknown, 4, mmioFOURCC('Q', 'Q', 'Q', 'Q'));
  auto bytes = ReadBytes(unknown);
  const size_t strf = VideoStrh(bytes) - 8 + 8 + GetLE32(&bytes[VideoStrh(bytes) - 4]);
  ASSERT_EQ(std::memcmp(&bytes[strf], "strf", 4), 0);
  Put32(bytes, strf + 8 + 16, mmioFOURCC('Q', 'Q', 'Q', 'Q'));  // biCompression
  WriteBytes(unknown, bytes);
  EXPECT_FALSE(avi.Open(unknown));
  EXPECT_TRUE(trace.Has("AVIStreamGetFrameOpen error: cannot get frame for specified BitmapInfo (FileName = " +
                        unknown + ")"));

  // A first frame that gives no picture.
  const std::string badFirst = Copy(mjpeg_, "badfirst.avi");
  const TChunk first = FrameChunk(badFirst, 0);
  bytes = ReadBytes(badFirst);
  std::fill(bytes.begin() + first.offset, bytes.begin() + first.offset + first.size, uint8_t(0));
  WriteBytes(badFirst, bytes);
  EXPECT_FALSE(avi.Open(badFirst));
  EXPECT_FALSE(avi.Opened());
  EXPECT_TRUE(trace.Has("AVIStreamGetFrameOpen error: cannot get frame number 0(FileNam = " + badFirst + ")"));

  const std::string text = tmp_.File("text.avi");
  WriteBytes(text, std::vector<uint8_t>(500, 'x'));
  EXPECT_FALSE(avi.Open(text));
  EXPECT_TRUE(trace.Has("AVIFileOpen error (FileName = " + text + ")"));
  EXPECT_FALSE(avi.Open(tmp_.File("missing.avi")));
  EXPECT_FALSE(avi.Opened());
  // A failed open leaves a working reader closed: the next file opens.
  EXPECT_TRUE(avi.Open(mjpeg_));
}

TEST_F(AviFile, MissingFileIsLookedForInTheLoadAviFolder) {
  namespace fs = std::filesystem;
  fs::create_directories(tmp_.File("data/LoadAvi"));
  const std::string there = tmp_.File("data/LoadAvi/clip.avi");
  WriteBytes(there, ReadBytes(mjpeg_));
  SetDataFolderForTests(tmp_.File("data"));
  TAVI avi;
  const bool opened = avi.Open(tmp_.File("elsewhere/clip.avi"));
  const std::string name = avi.FileName();
  const bool missing = avi.Open(tmp_.File("elsewhere/other.avi"));
  SetDataFolderForTests("");
  ASSERT_TRUE(opened);
  EXPECT_EQ(name, there);
  EXPECT_FALSE(missing);
}

}  // namespace
