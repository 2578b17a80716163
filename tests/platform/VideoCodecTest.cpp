// Video decompression and compression against the ffmpeg program: AVIs that ffmpeg
// makes in many codecs decode to the pictures ffmpeg decodes; what our compressors make
// decodes (by ffmpeg and by us) back to the frames given.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <random>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "platform/codecs/VideoCompressor.h"
#include "platform/codecs/VideoDecoder.h"
#include "platform/codecs/VideoFrameGetter.h"
#include "platform/codecs/VideoGetFrame.h"
#include "support/TestSupport.h"

using namespace movara;
using namespace movara::test;

namespace {

// ---- a small AVI reader and writer of our own, for files with one video stream ----

uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
uint32_t Tag(const char* s) { return Le32(reinterpret_cast<const uint8_t*>(s)); }

struct TMiniAvi {
  std::vector<uint8_t> format;
  uint32_t handler = 0;
  std::vector<std::vector<uint8_t>> frames;
  std::vector<bool> keys;
};

void WalkChunks(const std::vector<uint8_t>& b, size_t at, size_t end, TMiniAvi& avi, bool& inVideo,
                size_t& moviStart) {
  while (at + 8 <= end) {
    const uint32_t id = Le32(&b[at]);
    const size_t size = Le32(&b[at + 4]);
    const size_t body = at + 8;
    if (body + size > b.size()) return;
    if (id == Tag("LIST") || id == Tag("RIFF")) {
      if (Le32(&b[body]) == Tag("movi")) moviStart = body;
      WalkChunks(b, body + 4, body + size, avi, inVideo, moviStart);
    } else if (id == Tag("strh")) {
      inVideo = Le32(&b[body]) == Tag("vids");
      if (inVideo) avi.handler = Le32(&b[body + 4]);
    } else if (id == Tag("strf") && inVideo && avi.format.empty()) {
      avi.format.assign(b.begin() + body, b.begin() + body + size);
    } else if (id == Tag("00dc") || id == Tag("00db")) {
      avi.frames.emplace_back(b.begin() + body, b.begin() + body + size);
    } else if (id == Tag("idx1")) {
      for (size_t e = body; e + 16 <= body + size; e += 16) {
        const uint32_t ck = Le32(&b[e]);
        if (ck == Tag("00dc") || ck == Tag("00db")) avi.keys.push_back(Le32(&b[e + 4]) & 0x10);
      }
    }
    at = body + size + (size & 1);
  }
}

bool ReadMiniAvi(const std::string& file, TMiniAvi& avi) {
  const std::vector<uint8_t> b = ReadBytes(file);
  if (b.size() < 12) return false;
  bool inVideo = false;
  size_t movi = 0;
  WalkChunks(b, 0, b.size(), avi, inVideo, movi);
  if (avi.keys.size() != avi.frames.size()) avi.keys.assign(avi.frames.size(), true);
  return !avi.format.empty() && !avi.frames.empty();
}

void Put32(std::vector<uint8_t>& o, uint32_t v) {
  for (int i = 0; i < 4; ++i) o.push_back(uint8_t(v >> (8 * i)));
}
void Put16(std::vector<uint8_t>& o, uint16_t v) {
  o.push_back(uint8_t(v));
  o.push_back(uint8_t(v >> 8));
}
void PutTag(std::vector<uint8_t>& o, const char* s) {
  for (int i = 0; i < 4; ++i) o.push_back(uint8_t(s[i]));
}
size_t OpenChunk(std::vector<uint8_t>& o, const char* id) {
  PutTag(o, id);
  Put32(o, 0);
  return o.size();
}
void CloseChunk(std::vector<uint8_t>& o, size_t body) {
  const uint32_t size = uint32_t(o.size() - body);
  for (int i = 0; i < 4; ++i) o[body - 4 + i] = uint8_t(size >> (8 * i));
  if (size & 1) o.push_back(0);
}

std::vector<uint8_t> WriteMiniAvi(const TVideoFormat& format, uint32_t handler,
                                  const std::vector<std::vector<uint8_t>>& frames, const std::vector<bool>& keys) {
  std::vector<uint8_t> o;
  const size_t riff = OpenChunk(o, "RIFF");
  PutTag(o, "AVI ");
  const size_t hdrl = OpenChunk(o, "LIST");
  PutTag(o, "hdrl");
  const size_t avih = OpenChunk(o, "avih");
  Put32(o, 40000);  // 25 frames per second
  Put32(o, 0);
  Put32(o, 0);
  Put32(o, 0x10);
  Put32(o, uint32_t(frames.size()));
  Put32(o, 0);
  Put32(o, 1);
  Put32(o, 0);
  Put32(o, uint32_t(format.Width()));
  Put32(o, uint32_t(format.Height()));
  for (int i = 0; i < 4; ++i) Put32(o, 0);
  CloseChunk(o, avih);
  const size_t strl = OpenChunk(o, "LIST");
  PutTag(o, "strl");
  const size_t strh = OpenChunk(o, "strh");
  PutTag(o, "vids");
  Put32(o, handler);
  Put32(o, 0);
  Put32(o, 0);
  Put32(o, 0);
  Put32(o, 1);   // scale
  Put32(o, 25);  // rate
  Put32(o, 0);
  Put32(o, uint32_t(frames.size()));
  Put32(o, 0);
  Put32(o, 0xFFFFFFFF);
  Put32(o, 0);
  Put16(o, 0);
  Put16(o, 0);
  Put16(o, uint16_t(format.Width()));
  Put16(o, uint16_t(format.Height()));
  CloseChunk(o, strh);
  const size_t strf = OpenChunk(o, "strf");
  const std::vector<uint8_t> fb = format.ToBytes();
  o.insert(o.end(), fb.begin(), fb.end());
  CloseChunk(o, strf);
  CloseChunk(o, strl);
  CloseChunk(o, hdrl);
  const size_t movi = OpenChunk(o, "LIST");
  PutTag(o, "movi");
  std::vector<uint32_t> offsets;
  for (const auto& f : frames) {
    offsets.push_back(uint32_t(o.size() - (movi)));
    const size_t c = OpenChunk(o, "00dc");
    o.insert(o.end(), f.begin(), f.end());
    CloseChunk(o, c);
  }
  CloseChunk(o, movi);
  const size_t idx = OpenChunk(o, "idx1");
  for (size_t i = 0; i < frames.size(); ++i) {
    PutTag(o, "00dc");
    Put32(o, keys[i] ? 0x10 : 0);
    Put32(o, offsets[i]);
    Put32(o, uint32_t(frames[i].size()));
  }
  CloseChunk(o, idx);
  CloseChunk(o, riff);
  return o;
}

class TMemorySource : public IVideoFrameSource {
 public:
  explicit TMemorySource(TMiniAvi avi) : avi_(std::move(avi)) {}
  int Start() const override { return 0; }
  int Length() const override { return int(avi_.frames.size()); }
  int64_t FrameSize(int pos) override { return int64_t(avi_.frames[size_t(pos)].size()); }
  bool ReadFrame(int pos, std::vector<uint8_t>& data, bool& key) override {
    data = avi_.frames[size_t(pos)];
    key = avi_.keys[size_t(pos)];
    return true;
  }
  int KeyFrameAtOrBefore(int pos) override {
    for (int p = pos; p >= 0; --p)
      if (avi_.keys[size_t(p)]) return p;
    return -1;
  }
  TMiniAvi avi_;
};

// ---- pictures ----

// Frames ffmpeg decodes from a file, as top-down BGR rows without padding.
std::vector<std::vector<uint8_t>> FfmpegFrames(const std::string& file, const TTempDir& dir, int w, int h) {
  const std::string raw = dir.File("ref.raw");
  const TCommandResult r = RunCommand("ffmpeg -v error -y -i " + Quote(file) +
                                      " -f rawvideo -pix_fmt bgr24 -fps_mode passthrough " + Quote(raw));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  const std::vector<uint8_t> all = ReadBytes(raw);
  const size_t frame = size_t(w) * h * 3;
  std::vector<std::vector<uint8_t>> out;
  for (size_t at = 0; at + frame <= all.size(); at += frame) out.emplace_back(all.begin() + at, all.begin() + at + frame);
  return out;
}

struct TDiff {
  double mean = 0;
  int max = 0;
};

// Differences between a decoded picture and top-down BGR rows.
TDiff Compare(const TDIB& dib, const std::vector<uint8_t>& rows) {
  TDiff d;
  if (dib.BitCount() != 24 || rows.size() != size_t(dib.Width()) * dib.Height() * 3) {
    d.mean = d.max = 1000;
    return d;
  }
  int64_t sum = 0;
  for (int y = 0; y < dib.Height(); ++y) {
    const uint8_t* a = dib.ScanLine(y);
    const uint8_t* b = &rows[size_t(y) * dib.Width() * 3];
    for (int x = 0; x < dib.Width() * 3; ++x) {
      const int e = std::abs(int(a[x]) - int(b[x]));
      sum += e;
      d.max = std::max(d.max, e);
    }
  }
  d.mean = double(sum) / (double(dib.Width()) * dib.Height() * 3);
  return d;
}

// A smooth moving picture: gradients, a bright square sliding, a dark disc.
TDIB TestPicture(int w, int h, int frame) {
  TDIB dib(w, h, 24);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = dib.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      int r = (x * 255) / std::max(1, w - 1), g = (y * 255) / std::max(1, h - 1), b = ((x + y + frame * 4) * 2) & 255;
      const int sx = (frame * 3) % std::max(1, w - 20);
      if (x >= sx && x < sx + 20 && y >= h / 3 && y < h / 3 + 20) r = g = b = 240;
      const int dx = x - w / 2, dy = y - h / 2;
      if (dx * dx + dy * dy < (h / 5) * (h / 5)) r = g = b = 30;
      row[x * 3] = uint8_t(b);
      row[x * 3 + 1] = uint8_t(g);
      row[x * 3 + 2] = uint8_t(r);
    }
  }
  return dib;
}

// ---- decoding what ffmpeg made ----

struct TDecodeCase {
  const char* label;
  const char* args;  // ffmpeg output options
  int width, height;
  bool exact;         // lossless: our pictures equal ffmpeg's
  const char* encoder;  // needed in the ffmpeg program
};

void PrintTo(const TDecodeCase& c, std::ostream* os) { *os << c.label; }

class VideoDecodeInterop : public ::testing::TestWithParam<TDecodeCase> {};

TEST_P(VideoDecodeInterop, EveryFrameMatchesFfmpegInOrderAndAfterSeeks) {
  REQUIRE_PROGRAM("ffmpeg");
  const TDecodeCase& c = GetParam();
  const TCommandResult have = RunCommand(std::string("ffmpeg -hide_banner -encoders | grep -w ") + c.encoder);
  if (have.exitCode != 0) GTEST_SKIP() << c.encoder << " not in this ffmpeg";
  TTempDir dir;
  const std::string avi = dir.File("in.avi");
  const TCommandResult made = RunCommand(
      "ffmpeg -v error -y -f lavfi -i testsrc2=size=" + std::to_string(c.width) + "x" + std::to_string(c.height) +
      ":rate=25 -frames:v 24 " + c.args + " " + Quote(avi));
  ASSERT_EQ(made.exitCode, 0) << made.output;
  TMiniAvi file;
  ASSERT_TRUE(ReadMiniAvi(avi, file));
  const auto reference = FfmpegFrames(avi, dir, c.width, c.height);
  ASSERT_EQ(reference.size(), file.frames.size());

  TVideoFormat format;
  ASSERT_TRUE(format.FromBytes(file.format.data(), file.format.size()));
  auto getter = TVideoFrameGetter::Open(std::make_shared<TMemorySource>(file), format, file.handler);
  ASSERT_TRUE(getter) << VideoFourCCText(format.biCompression);
  const double tolerance = c.exact ? 0.0 : 2.0;
  TDIB pic;
  for (int i = 0; i < int(reference.size()); ++i) {
    ASSERT_TRUE(getter->GetFrame(i, pic)) << "frame " << i;
    const TDiff d = Compare(pic, reference[size_t(i)]);
    EXPECT_LE(d.mean, tolerance) << "frame " << i;
    if (c.exact) {
      EXPECT_EQ(d.max, 0) << "frame " << i;
    }
  }
  // Two decoding threads hold pictures back longer but number them the same.
  TVideoDecoderOptions threads;
  threads.Threads = 2;
  auto threaded = TVideoFrameGetter::Open(std::make_shared<TMemorySource>(file), format, file.handler, threads);
  ASSERT_TRUE(threaded);
  for (int i : {0, 1, 2, 3, 13, 14, 15, 16, 23, 4}) {
    ASSERT_TRUE(threaded->GetFrame(i, pic)) << "frame " << i << " on two threads";
    EXPECT_LE(Compare(pic, reference[size_t(i)]).mean, tolerance) << "frame " << i << " on two threads";
  }
  // Random access: backwards, jumps over key frames, the same frame twice.
  const int order[] = {17, 3, 3, 22, 9, 10, 0, 23, 12, 5};
  for (int i : order) {
    const std::vector<uint8_t>* packed = getter->GetFrame(i);
    ASSERT_TRUE(packed) << "frame " << i;
    TDIB fromPacked;
    // The packed DIB is a BMP image without its 14-byte file header.
    std::vector<uint8_t> bmp = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0};
    bmp.insert(bmp.end(), packed->begin(), packed->end());
    ASSERT_TRUE(fromPacked.LoadFromBmpBytes(bmp.data(), bmp.size()));
    EXPECT_LE(Compare(fromPacked, reference[size_t(i)]).mean, tolerance) << "seek to " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, VideoDecodeInterop,
    ::testing::Values(
        TDecodeCase{"MJPEG", "-c:v mjpeg -q:v 3 -pix_fmt yuvj422p", 176, 144, false, "mjpeg"},
        TDecodeCase{"MJPEG_odd_width", "-c:v mjpeg -q:v 3 -pix_fmt yuvj420p", 250, 122, false, "mjpeg"},
        TDecodeCase{"MPEG4_FMP4", "-c:v mpeg4 -vtag FMP4 -q:v 4 -g 8", 176, 144, false, "mpeg4"},
        TDecodeCase{"MPEG4_XVID_Bframes", "-c:v mpeg4 -vtag XVID -q:v 4 -bf 2 -g 12", 176, 144, false, "mpeg4"},
        TDecodeCase{"MSMPEG4_DIV3", "-c:v msmpeg4 -vtag DIV3 -q:v 4 -g 10", 176, 144, false, "msmpeg4"},
        TDecodeCase{"HuffYUV_rgb", "-c:v huffyuv -pix_fmt rgb24", 250, 122, true, "huffyuv"},
        TDecodeCase{"HuffYUV_yuv", "-c:v huffyuv -pix_fmt yuv422p", 176, 144, false, "huffyuv"},
        TDecodeCase{"FFV1_rgb", "-c:v ffv1 -pix_fmt bgr0 -g 5", 250, 122, true, "ffv1"},
        TDecodeCase{"DV_PAL", "-c:v dvvideo -pix_fmt yuv420p -s 720x576", 720, 576, false, "dvvideo"},
        TDecodeCase{"Cinepak", "-c:v cinepak", 176, 144, false, "cinepak"},
        TDecodeCase{"MSVideo1", "-c:v msvideo1", 176, 144, false, "msvideo1"},
        TDecodeCase{"H264_Bframes", "-c:v libx264 -preset veryfast -bf 2 -g 12 -pix_fmt yuv420p", 176, 144, false,
                    "libx264"},
        TDecodeCase{"Raw_bgr24", "-c:v rawvideo -pix_fmt bgr24", 250, 122, true, "rawvideo"},
        TDecodeCase{"Raw_rgb555", "-c:v rawvideo -pix_fmt rgb555le", 176, 144, true, "rawvideo"},
        TDecodeCase{"Raw_pal8", "-c:v rawvideo -pix_fmt pal8", 176, 144, true, "rawvideo"}),
    [](const ::testing::TestParamInfo<TDecodeCase>& info) { return std::string(info.param.label); });

// ---- uncompressed rows without FFmpeg ----

TEST(VideoDecoderRaw, DepthsLayoutsAndShortFrames) {
  // 3 x 2 pixels; top row red green blue, bottom row white black grey.
  const uint8_t rgb[2][3][3] = {{{255, 0, 0}, {0, 255, 0}, {0, 0, 255}}, {{255, 255, 255}, {0, 0, 0}, {128, 128, 128}}};
  auto expectPicture = [&](const TDIB& d, int tolerance) {
    ASSERT_EQ(d.Width(), 3);
    ASSERT_EQ(d.Height(), 2);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 3; ++x)
        for (int c = 0; c < 3; ++c)
          EXPECT_NEAR(d.ScanLine(y)[x * 3 + c], rgb[y][x][2 - c], tolerance) << x << "," << y << "," << c;
  };
  // 24 bits top-down (negative height): rows in reading order, each padded to 12 bytes.
  {
    TVideoFormat f = TVideoFormat::ForFrame(3, -2, 24);
    std::vector<uint8_t> data(24, 0xEE);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 3; ++x)
        for (int c = 0; c < 3; ++c) data[size_t(y * 12 + x * 3 + c)] = rgb[y][x][2 - c];
    auto dec = TVideoDecoder::Create(f);
    ASSERT_TRUE(dec);
    TDIB d;
    ASSERT_TRUE(dec->Decode(data.data(), data.size(), true, d));
    expectPicture(d, 0);
    // The last row may lack its padding; one byte less is too short.
    EXPECT_TRUE(dec->Decode(data.data(), 21, true, d));
    EXPECT_FALSE(dec->Decode(data.data(), 20, true, d));
  }
  // 16 bits 5-6-5 through BI_BITFIELDS, bottom-up.
  {
    TVideoFormat f = TVideoFormat::ForFrame(3, 2, 16);
    f.biCompression = TVideoFormat::kBitFields;
    f.RedMask = 0xF800;
    f.GreenMask = 0x07E0;
    f.BlueMask = 0x001F;
    const std::vector<uint8_t> bytes = f.ToBytes();
    ASSERT_EQ(bytes.size(), 52u);
    std::vector<uint8_t> data(16, 0);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 3; ++x) {
        const uint16_t v = uint16_t(((rgb[y][x][0] >> 3) << 11) | ((rgb[y][x][1] >> 2) << 5) | (rgb[y][x][2] >> 3));
        data[size_t((1 - y) * 8 + x * 2)] = uint8_t(v);
        data[size_t((1 - y) * 8 + x * 2 + 1)] = uint8_t(v >> 8);
      }
    auto dec = TVideoDecoder::Create(bytes.data(), bytes.size());
    ASSERT_TRUE(dec);
    TDIB d;
    ASSERT_TRUE(dec->Decode(data.data(), data.size(), true, d));
    expectPicture(d, 4);  // 128 keeps 5 bits: 10000 widens to 10000100
    EXPECT_EQ(d.ScanLine(0)[2], 255);  // 5 bits widen with their own top bits: 31 -> 255
  }
  // 4 bits with a colour table of 6 entries.
  {
    TVideoFormat f = TVideoFormat::ForFrame(3, 2, 4);
    f.biClrUsed = 6;
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 3; ++x) f.Palette.push_back(TRGBQuad{rgb[y][x][2], rgb[y][x][1], rgb[y][x][0], 0});
    const std::vector<uint8_t> bytes = f.ToBytes();
    EXPECT_EQ(bytes.size(), 40u + 24u);
    // Bottom row first: indices 3 4 5, then 0 1 2, two pixels a byte, high nibble first.
    const std::vector<uint8_t> data = {0x34, 0x50, 0, 0, 0x01, 0x20, 0, 0};
    auto dec = TVideoDecoder::Create(bytes.data(), bytes.size());
    ASSERT_TRUE(dec);
    TDIB d;
    ASSERT_TRUE(dec->Decode(data.data(), data.size(), true, d));
    expectPicture(d, 0);
  }
  // Formats that make no decoder.
  EXPECT_FALSE(TVideoDecoder::Create(TVideoFormat::ForFrame(3, 2, 12)));
  EXPECT_FALSE(TVideoDecoder::Create(TVideoFormat::ForFrame(0, 2, 24)));
  EXPECT_FALSE(TVideoDecoder::Create(TVideoFormat::ForFrame(100000, 100000, 24)));
  TVideoFormat noMasks = TVideoFormat::ForFrame(3, 2, 16);
  noMasks.biCompression = TVideoFormat::kBitFields;
  EXPECT_FALSE(TVideoDecoder::Create(noMasks));
  TVideoFormat unknown = TVideoFormat::ForFrame(16, 16, 24);
  unknown.biCompression = VideoFourCC("ZZZZ");
  EXPECT_FALSE(TVideoDecoder::Create(unknown));
  const uint8_t tooShort[20] = {};
  EXPECT_FALSE(TVideoDecoder::Create(tooShort, sizeof tooShort));
}

TEST(VideoDecoderRaw, Rle8UsesTheColourTableOfTheFormat) {
  TVideoFormat f = TVideoFormat::ForFrame(4, 2, 8);
  f.biCompression = TVideoFormat::kRle8;
  f.biClrUsed = 3;
  f.Palette = {TRGBQuad{0, 0, 255, 0}, TRGBQuad{0, 255, 0, 0}, TRGBQuad{255, 0, 0, 0}};
  // ToBytes of a compressed format writes its extra data: the colour table goes there.
  for (const TRGBQuad& q : f.Palette) f.Extra.insert(f.Extra.end(), {q.rgbBlue, q.rgbGreen, q.rgbRed, 0});
  const std::vector<uint8_t> bytes = f.ToBytes();
  auto dec = TVideoDecoder::Create(bytes.data(), bytes.size());
  if (!dec) GTEST_SKIP() << "no msrle decoder";
  // Bottom row: 4 x index 2; end of line; top row: 2 x index 0, 2 x index 1; end of picture.
  const std::vector<uint8_t> data = {4, 2, 0, 0, 2, 0, 2, 1, 0, 1};
  TDIB d;
  ASSERT_TRUE(dec->Decode(data.data(), data.size(), true, d));
  EXPECT_EQ(d.Pixel(0, 0), RGBColor(255, 0, 0));
  EXPECT_EQ(d.Pixel(3, 0), RGBColor(0, 255, 0));
  EXPECT_EQ(d.Pixel(2, 1), RGBColor(0, 0, 255));
}

TEST(VideoFourCCTable, CodesOfManyVendorsAndCaseBlindLookup) {
  for (const char* code : {"MJPG", "AVRn", "dmb1", "dvsd", "dv25", "dvhd", "dvsl", "FMP4", "XVID", "DIVX", "DX50",
                           "MP4V", "M4S2", "DIV3", "MP43", "MP42", "H264", "X264", "AVC1", "HFYU", "FFVH", "FFV1",
                           "cvid", "CRAM", "MSVC", "WHAM", "mrle", "MPG2", "mpg2", "xvid", "DIB "})
    EXPECT_TRUE(VideoFourCCDecodable(VideoFourCCFromText(code))) << code;
  EXPECT_TRUE(VideoFourCCDecodable(0));                 // BI_RGB
  EXPECT_TRUE(VideoFourCCDecodable(1));                 // BI_RLE8
  EXPECT_FALSE(VideoFourCCDecodable(VideoFourCC("ZZZZ")));
  EXPECT_EQ(VideoFourCCText(VideoFourCC("MJPG")), "MJPG");
  EXPECT_EQ(VideoFourCCText(1), "0x00000001");
  EXPECT_EQ(VideoFourCCFromText("DIB"), VideoFourCC("DIB "));
  EXPECT_EQ(VideoFourCCFromText("TOOLONG"), 0u);
}

// A stream whose frame 3 is damaged and frame 6 is empty (a repeated picture).
TEST(VideoFrameGetter, DamagedFrameGivesNoPictureAndEmptyFrameRepeats) {
  REQUIRE_PROGRAM("ffmpeg");
  TTempDir dir;
  const std::string avi = dir.File("m.avi");
  ASSERT_EQ(RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=size=96x64:rate=25 -frames:v 10 -c:v mjpeg " +
                       Quote(avi))
                .exitCode,
            0);
  TMiniAvi file;
  ASSERT_TRUE(ReadMiniAvi(avi, file));
  const auto reference = FfmpegFrames(avi, dir, 96, 64);
  std::mt19937 rng(7);
  for (auto& b : file.frames[3]) b = uint8_t(rng());
  file.frames[6].clear();
  TVideoFormat format;
  ASSERT_TRUE(format.FromBytes(file.format.data(), file.format.size()));
  auto getter = TVideoFrameGetter::Open(std::make_shared<TMemorySource>(file), format, file.handler);
  ASSERT_TRUE(getter);
  TDIB pic;
  EXPECT_TRUE(getter->GetFrame(2, pic));
  EXPECT_FALSE(getter->GetFrame(3, pic));
  EXPECT_EQ(getter->GetFrame(3), nullptr);
  ASSERT_TRUE(getter->GetFrame(4, pic));
  EXPECT_LE(Compare(pic, reference[4]).mean, 2.0);
  ASSERT_TRUE(getter->GetFrame(6, pic));
  EXPECT_LE(Compare(pic, reference[5]).mean, 2.0);
  EXPECT_EQ(getter->GetFrame(-1), nullptr);
  EXPECT_EQ(getter->GetFrame(10), nullptr);

  // The decoder alone: garbage in, no picture out, and the next frame decodes.
  auto dec = TVideoDecoder::Create(format, file.handler);
  ASSERT_TRUE(dec);
  EXPECT_FALSE(dec->Decode(file.frames[3].data(), file.frames[3].size(), true, pic));
  const std::vector<uint8_t> cut(file.frames[2].begin(), file.frames[2].begin() + 40);
  EXPECT_FALSE(dec->Decode(cut.data(), cut.size(), true, pic));
  EXPECT_TRUE(dec->Decode(file.frames[7].data(), file.frames[7].size(), true, pic));
  EXPECT_LE(Compare(pic, reference[7]).mean, 2.0);
}

// Reading on after a frame costs one frame; a jump back restarts at the key frame.
TEST(VideoFrameGetter, SequentialReadingKeepsTheDecoderRunning) {
  REQUIRE_PROGRAM("ffmpeg");
  TTempDir dir;
  const std::string avi = dir.File("m4.avi");
  ASSERT_EQ(RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=size=96x64:rate=25 -frames:v 30 -c:v mpeg4 -g 10 " +
                       Quote(avi))
                .exitCode,
            0);
  TMiniAvi file;
  ASSERT_TRUE(ReadMiniAvi(avi, file));
  ASSERT_TRUE(file.keys[10] && !file.keys[15]);
  TVideoFormat format;
  ASSERT_TRUE(format.FromBytes(file.format.data(), file.format.size()));
  auto getter = TVideoFrameGetter::Open(std::make_shared<TMemorySource>(file), format, file.handler);
  ASSERT_TRUE(getter);
  ASSERT_TRUE(getter->GetFrame(15));
  EXPECT_EQ(getter->FramesDecoded(), 6);  // 10..15
  ASSERT_TRUE(getter->GetFrame(16));
  EXPECT_EQ(getter->FramesDecoded(), 7);
  ASSERT_TRUE(getter->GetFrame(16));
  EXPECT_EQ(getter->FramesDecoded(), 7);
  ASSERT_TRUE(getter->GetFrame(12));
  EXPECT_EQ(getter->FramesDecoded(), 10);  // 10..12 again
  ASSERT_TRUE(getter->GetFrame(25));
  EXPECT_EQ(getter->FramesDecoded(), 16);  // 20..25: no need for 13..19
}

// The platform-style calls on a file: every frame of an AVI with B-frames and a sound
// stream, as packed DIBs, in order and after seeks.
TEST(VideoGetFrame, FramesOfAnAviFileAsPackedDibs) {
  REQUIRE_PROGRAM("ffmpeg");
  TTempDir dir;
  const std::string avi = dir.File("av.avi");
  ASSERT_EQ(RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=size=128x96:rate=25 -f lavfi -i sine=d=1 "
                       "-frames:v 20 -c:v mpeg4 -bf 1 -g 8 -c:a pcm_s16le -shortest " +
                       Quote(avi))
                .exitCode,
            0);
  const auto reference = FfmpegFrames(avi, dir, 128, 96);
  ASSERT_EQ(reference.size(), 20u);
  PAVIFILE file = nullptr;
  ASSERT_EQ(AVIFileOpen(&file, avi, OF_READ), AVIERR_OK);
  PAVISTREAM video = nullptr, audio = nullptr;
  ASSERT_EQ(AVIFileGetStream(file, &video, streamtypeVIDEO, 0), AVIERR_OK);
  ASSERT_EQ(AVIFileGetStream(file, &audio, streamtypeAUDIO, 0), AVIERR_OK);
  EXPECT_EQ(AVIStreamGetFrameOpen(audio, nullptr), nullptr);
  BITMAPINFOHEADER wanted;
  wanted.biBitCount = 16;
  EXPECT_EQ(AVIStreamGetFrameOpen(video, &wanted), nullptr);
  wanted.biBitCount = 24;
  PGETFRAME getter = AVIStreamGetFrameOpen(video, &wanted);
  ASSERT_NE(getter, nullptr);
  // The getter keeps the stream: the caller may release it first.
  AVIStreamRelease(audio);
  AVIStreamRelease(video);
  for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 7, 8, 15, 2, 19, 9}) {
    const auto* dib = static_cast<const uint8_t*>(AVIStreamGetFrame(getter, i));
    ASSERT_NE(dib, nullptr) << i;
    ASSERT_EQ(AVIStreamGetFrameSize(getter), 40 + 128 * 3 * 96);
    std::vector<uint8_t> bmp = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0};
    bmp.insert(bmp.end(), dib, dib + AVIStreamGetFrameSize(getter));
    TDIB pic;
    ASSERT_TRUE(pic.LoadFromBmpBytes(bmp.data(), bmp.size()));
    EXPECT_LE(Compare(pic, reference[size_t(i)]).mean, 2.0) << "frame " << i;
  }
  EXPECT_EQ(AVIStreamGetFrame(getter, 20), nullptr);
  EXPECT_EQ(AVIStreamGetFrameSize(getter), 0);
  EXPECT_EQ(AVIStreamGetFrameClose(getter), AVIERR_OK);
  AVIFileRelease(file);
}

// ---- compressors ----

TEST(VideoCompressorCatalogue, OffersTheCompressorsOfThisBuild) {
  const auto list = VideoCompressorList();
  ASSERT_FALSE(list.empty());
  EXPECT_EQ(list[0].fccHandler, VideoFourCC("DIB "));
  EXPECT_EQ(list[0].szDescription, "Pełne klatki - bez kompresji");
  auto has = [&](const char* code) {
    return std::any_of(list.begin(), list.end(),
                       [&](const TVideoCompressorInfo& i) { return i.fccHandler == VideoFourCCFromText(code); });
  };
  for (const char* code : {"MJPG", "FMP4", "HFYU", "FFV1", "dvsd"}) EXPECT_TRUE(has(code)) << code;
  EXPECT_EQ(has("H264"), avcodec_find_encoder_by_name("libx264") != nullptr);
  for (const auto& i : list) {
    EXPECT_EQ(i.fccType, ICTYPE_VIDEO);
    EXPECT_FALSE(i.szDescription.empty());
  }
  TVideoCompressorInfo info;
  ASSERT_TRUE(VideoCompressorGetInfo(VideoFourCC("xvid"), info));
  EXPECT_EQ(info.fccHandler, VideoFourCC("FMP4"));
  EXPECT_TRUE(info.dwFlags & VIDCF_TEMPORAL);
  EXPECT_FALSE(VideoCompressorGetInfo(VideoFourCC("ZZZZ"), info));
  EXPECT_FALSE(TVideoCompressorSession::Open(VideoFourCC("auds"), VideoFourCC("MJPG"), ICMODE_COMPRESS));
  EXPECT_FALSE(TVideoCompressorSession::Open(ICTYPE_VIDEO, VideoFourCC("MJPG"), ICMODE_DECOMPRESS));
  auto xvid = TVideoCompressorSession::Open(ICTYPE_VIDEO, VideoFourCC("XVID"), ICMODE_COMPRESS);
  ASSERT_TRUE(xvid);
  TVideoFormat out;
  ASSERT_EQ(xvid->CompressGetFormat(TVideoFormat::ForFrame(64, 48, 24), out), ICERR_OK);
  EXPECT_EQ(out.biCompression, VideoFourCC("XVID"));
}


bool Offered(const char* code) {
  TVideoCompressorInfo info;
  return VideoCompressorGetInfo(VideoFourCCFromText(code), info);
}

struct TCompressCase {
  const char* handler;
  int width, height, bits;
  bool lossless;
  double maxMean;  // mean difference from the frames given
};

void PrintTo(const TCompressCase& c, std::ostream* os) { *os << c.handler << "_" << c.bits; }

class VideoCompressInterop : public ::testing::TestWithParam<TCompressCase> {};

// Twelve frames with a key frame every 5: ffmpeg and our decoder read them back.
TEST_P(VideoCompressInterop, SequenceDecodesBackInFfmpegAndInOurDecoder) {
  REQUIRE_PROGRAM("ffmpeg");
  const TCompressCase& c = GetParam();
  if (!Offered(c.handler)) GTEST_SKIP() << c.handler << " not offered";
  TTempDir dir;
  TCompVars cv;
  cv.fccHandler = VideoFourCCFromText(c.handler);
  cv.hic = TVideoCompressorSession::Open(ICTYPE_VIDEO, cv.fccHandler, ICMODE_COMPRESS);
  ASSERT_TRUE(cv.hic);
  cv.lQ = 9000;
  cv.lKey = 5;
  const TVideoFormat in = TVideoFormat::ForFrame(c.width, c.height, c.bits);
  ASSERT_EQ(cv.hic->CompressQuery(in), ICERR_OK);
  ASSERT_TRUE(ICSeqCompressFrameStart(cv, in));
  TVideoCompressorInfo info;
  ASSERT_TRUE(cv.hic->GetInfo(info));
  std::vector<std::vector<uint8_t>> packets;
  std::vector<bool> keys;
  std::vector<TDIB> given;
  size_t total = 0;
  for (int i = 0; i < 12; ++i) {
    TDIB frame = TestPicture(c.width, c.height, i);
    if (c.bits != 24) frame = frame.ConvertTo(c.bits);
    bool key = false;
    int32_t size = 0;
    const uint8_t* data = ICSeqCompressFrame(cv, 0, frame.Bits(), &key, &size);
    ASSERT_TRUE(data) << "frame " << i;
    ASSERT_GT(size, 0);
    packets.emplace_back(data, data + size);
    keys.push_back(key);
    total += size_t(size);
    given.push_back(frame.ConvertTo(24));
    if (i % 5 == 0) {
      EXPECT_TRUE(key) << "frame " << i;
    }
    if ((info.dwFlags & VIDCF_TEMPORAL) && i % 5 == 1) {
      EXPECT_FALSE(key) << "frame " << i;
    }
  }
  EXPECT_EQ(cv.lFrame, 12);
  const TVideoFormat out = cv.lpbiOut;
  ICSeqCompressFrameEnd(cv);
  ICCompressorFree(cv);
  EXPECT_FALSE(cv.hic);
  if (!c.lossless && c.bits == 24) {
    EXPECT_LT(total, size_t(12) * given[0].ImageSize() / 3);
  }

  const std::string avi = dir.File("out.avi");
  WriteBytes(avi, WriteMiniAvi(out, VideoFourCCFromText(c.handler), packets, keys));
  const auto ffmpeg = FfmpegFrames(avi, dir, c.width, c.height);
  ASSERT_EQ(ffmpeg.size(), packets.size());
  auto dec = TVideoDecoder::Create(out);
  ASSERT_TRUE(dec);
  for (size_t i = 0; i < packets.size(); ++i) {
    const TDiff fromGiven = Compare(given[i], ffmpeg[i]);
    EXPECT_LE(fromGiven.mean, c.maxMean) << "frame " << i;
    if (c.lossless) {
      EXPECT_EQ(fromGiven.max, 0) << "frame " << i;
    }
    TDIB ours;
    ASSERT_TRUE(dec->Decode(packets[i].data(), packets[i].size(), keys[i], ours)) << "frame " << i;
    EXPECT_LE(Compare(ours, ffmpeg[i]).mean, c.lossless ? 0.0 : 2.0) << "frame " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Compressors, VideoCompressInterop,
                         ::testing::Values(TCompressCase{"DIB ", 90, 50, 24, true, 0},
                                           TCompressCase{"DIB ", 90, 50, 16, true, 0},
                                           TCompressCase{"MJPG", 90, 50, 24, false, 5},
                                           TCompressCase{"MJPG", 96, 64, 32, false, 5},
                                           TCompressCase{"FMP4", 96, 64, 24, false, 6},
                                           TCompressCase{"HFYU", 90, 50, 24, true, 0},
                                           TCompressCase{"HFYU", 90, 50, 32, true, 0},
                                           TCompressCase{"FFV1", 90, 50, 24, true, 0},
                                           TCompressCase{"dvsd", 720, 576, 24, false, 4},
                                           TCompressCase{"cvid", 96, 64, 24, false, 12},
                                           TCompressCase{"MSVC", 96, 64, 16, false, 12},
                                           TCompressCase{"H264", 96, 64, 24, false, 4}),
                         [](const ::testing::TestParamInfo<TCompressCase>& info) {
                           std::string name = info.param.handler;
                           name.erase(std::remove(name.begin(), name.end(), ' '), name.end());
                           return name + "_" + std::to_string(info.param.bits);
                         });

std::unique_ptr<TVideoCompressorSession> OpenCompressor(const char* code) {
  return TVideoCompressorSession::Open(ICTYPE_VIDEO, VideoFourCCFromText(code), ICMODE_COMPRESS);
}

// Total bytes of a few frames compressed with these settings.
size_t SequenceBytes(const char* code, int32_t quality, int32_t dataRate, const std::vector<uint8_t>* state,
                     int frames = 6, int w = 96, int h = 64) {
  TCompVars cv;
  cv.hic = OpenCompressor(code);
  if (!cv.hic) return 0;
  if (state) {
    EXPECT_EQ(cv.hic->SetState(state->data(), state->size()), int(state->size()));
  }
  cv.lQ = quality;
  cv.lDataRate = dataRate;
  const TVideoFormat in = TVideoFormat::ForFrame(w, h, 24);
  if (!ICSeqCompressFrameStart(cv, in)) return 0;
  size_t total = 0;
  for (int i = 0; i < frames; ++i) {
    TDIB f = TestPicture(w, h, i);
    int32_t size = 0;
    bool key = false;
    if (!ICSeqCompressFrame(cv, 0, f.Bits(), &key, &size)) return 0;
    total += size_t(size);
  }
  ICCompressorFree(cv);
  return total;
}

TEST(VideoCompressorSession, FormatsSizesAndRefusals) {
  auto dv = OpenCompressor("dvsd");
  ASSERT_TRUE(dv);
  EXPECT_EQ(dv->CompressQuery(TVideoFormat::ForFrame(640, 480, 24)), ICERR_BADFORMAT);
  EXPECT_EQ(dv->CompressGetFormatSize(TVideoFormat::ForFrame(640, 480, 24)), 0);
  EXPECT_EQ(dv->CompressQuery(TVideoFormat::ForFrame(720, 480, 24)), ICERR_OK);
  TVideoFormat out;
  ASSERT_EQ(dv->CompressGetFormat(TVideoFormat::ForFrame(720, 576, 24), out), ICERR_OK);
  EXPECT_EQ(out.biCompression, VideoFourCC("dvsd"));
  EXPECT_EQ(dv->CompressGetSize(TVideoFormat::ForFrame(720, 576, 24), out), 144000);

  auto mjpg = OpenCompressor("MJPG");
  ASSERT_TRUE(mjpg);
  EXPECT_EQ(mjpg->CompressQuery(TVideoFormat::ForFrame(64, 48, 8)), ICERR_BADFORMAT);
  TVideoFormat compressed = TVideoFormat::ForFrame(64, 48, 24);
  compressed.biCompression = VideoFourCC("MJPG");
  EXPECT_EQ(mjpg->CompressQuery(compressed), ICERR_BADFORMAT);
  const TVideoFormat in = TVideoFormat::ForFrame(64, 48, 24);
  ASSERT_EQ(mjpg->CompressGetFormat(in, out), ICERR_OK);
  EXPECT_EQ(mjpg->CompressGetFormatSize(in), 40);
  EXPECT_GT(mjpg->CompressGetSize(in, out), 64 * 48 * 3);
  TCompressedFrame f;
  const std::vector<uint8_t> bits(size_t(in.FrameBytes()), 0x80);
  EXPECT_EQ(mjpg->Compress(bits.data(), bits.size(), true, f), ICERR_BADHANDLE);
  ASSERT_EQ(mjpg->CompressBegin(in, out), ICERR_OK);
  EXPECT_EQ(mjpg->Compress(bits.data(), bits.size() - 1, true, f), ICERR_BADSIZE);
  ASSERT_EQ(mjpg->Compress(bits.data(), bits.size(), false, f), ICERR_OK);
  EXPECT_TRUE(f.KeyFrame);  // every JPEG frame stands alone
  TVideoFormat other = out;
  other.biWidth = 32;
  EXPECT_EQ(mjpg->CompressBegin(in, other), ICERR_BADFORMAT);

  // HuffYUV keeps its tables in the format's extra data, counted in biSize.
  auto hfyu = OpenCompressor("HFYU");
  ASSERT_TRUE(hfyu);
  ASSERT_EQ(hfyu->CompressGetFormat(in, out), ICERR_OK);
  EXPECT_FALSE(out.Extra.empty());
  EXPECT_EQ(out.biSize, 40 + out.Extra.size());
  EXPECT_EQ(hfyu->CompressGetFormatSize(in), int(40 + out.Extra.size()));

  // Full frames take indexed pictures with their colour table.
  auto dib = OpenCompressor("DIB ");
  ASSERT_TRUE(dib);
  TDIB indexed(10, 4, 8);
  const TVideoFormat in8 = TVideoFormat::ForDib(indexed);
  ASSERT_EQ(dib->CompressGetFormat(in8, out), ICERR_OK);
  EXPECT_EQ(out.Palette.size(), 256u);
  EXPECT_EQ(dib->CompressGetFormatSize(in8), 40 + 1024);
  EXPECT_EQ(dib->CompressGetSize(in8, out), 12 * 4);
  EXPECT_FALSE(TVideoCompressorSession::Open(ICTYPE_VIDEO, 0, ICMODE_COMPRESS));
}

TEST(VideoCompressorSession, QualityAndDataRateSteerTheSize) {
  // pictures large enough that the frame's headers do not dominate
  const size_t low = SequenceBytes("MJPG", 2000, 0, nullptr, 6, 320, 240);
  const size_t high = SequenceBytes("MJPG", 9500, 0, nullptr, 6, 320, 240);
  ASSERT_GT(low, 0u);
  EXPECT_LT(low * 2, high);
  const size_t m4low = SequenceBytes("FMP4", 1000, 0, nullptr, 10);
  const size_t m4high = SequenceBytes("FMP4", 9500, 0, nullptr, 10);
  EXPECT_LT(m4low * 2, m4high);
  // 40 KB/s at 25 frames a second over 25 frames: about 40 KB.
  const size_t rated = SequenceBytes("FMP4", ICQUALITY_DEFAULT, 40, nullptr, 25, 176, 144);
  EXPECT_GT(rated, 40u * 1024 / 3);
  EXPECT_LT(rated, 40u * 1024 * 2);
  if (Offered("H264")) {
    EXPECT_LT(SequenceBytes("H264", 1000, 0, nullptr, 10) * 2, SequenceBytes("H264", 9500, 0, nullptr, 10));
  }
}

TEST(VideoCompressorSession, SameFramesGiveTheSameBytes) {
  for (const char* code : {"FMP4", "MJPG", "H264"}) {
    if (!Offered(code)) continue;
    std::vector<uint8_t> runs[2];
    for (auto& run : runs) {
      TCompVars cv;
      cv.hic = OpenCompressor(code);
      cv.lQ = 8000;
      ASSERT_TRUE(ICSeqCompressFrameStart(cv, TVideoFormat::ForFrame(96, 64, 24)));
      for (int i = 0; i < 4; ++i) {
        TDIB f = TestPicture(96, 64, i);
        int32_t size = 0;
        bool key = false;
        const uint8_t* d = ICSeqCompressFrame(cv, 0, f.Bits(), &key, &size);
        ASSERT_TRUE(d);
        run.insert(run.end(), d, d + size);
      }
    }
    EXPECT_EQ(runs[0], runs[1]) << code;
  }
}

// Ending a sequence and starting it again (after a copied run, in a new file) makes the
// next frame a key frame, whatever the key-frame rate.
TEST(VideoCompressorSession, RestartedSequenceBeginsWithAKeyFrame) {
  for (const char* code : {"FMP4", "cvid", "MSVC", "H264"}) {
    if (!Offered(code)) continue;
    TCompVars cv;
    cv.hic = OpenCompressor(code);
    cv.lKey = 0;  // only the first
    const TVideoFormat in = TVideoFormat::ForFrame(96, 64, 24);
    ASSERT_TRUE(ICSeqCompressFrameStart(cv, in));
    std::vector<bool> keys;
    for (int i = 0; i < 8; ++i) {
      if (i == 5) {
        ICSeqCompressFrameEnd(cv);
        ASSERT_TRUE(ICSeqCompressFrameStart(cv, in));
      }
      TDIB f = TestPicture(96, 64, i);
      bool key = false;
      int32_t size = 0;
      ASSERT_TRUE(ICSeqCompressFrame(cv, 0, f.Bits(), &key, &size)) << code;
      keys.push_back(key);
    }
    EXPECT_EQ(keys, (std::vector<bool>{true, false, false, false, false, true, false, false})) << code;
  }
}

uint32_t TestCrc32(const uint8_t* p, size_t n) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    c ^= p[i];
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
  }
  return ~c;
}

std::vector<uint8_t> StateBlock(const char* handler, int32_t quality, int32_t keys, int32_t rate, int32_t option,
                                uint16_t version = 1) {
  std::vector<uint8_t> b;
  PutTag(b, "MVCS");
  Put16(b, version);
  Put16(b, 32);
  PutTag(b, handler);
  Put32(b, uint32_t(quality));
  Put32(b, uint32_t(keys));
  Put32(b, uint32_t(rate));
  Put32(b, uint32_t(option));
  Put32(b, TestCrc32(b.data(), b.size()));
  return b;
}

TEST(VideoCompressorState, RoundTripAndRefusedBlocks) {
  auto s = OpenCompressor("MJPG");
  ASSERT_TRUE(s);
  EXPECT_EQ(s->GetStateSize(), 32);
  const std::vector<uint8_t> defaults = s->GetState();
  EXPECT_EQ(defaults, StateBlock("MJPG", -1, 0, 0, 1));  // 4:2:0, as cameras and other programs write it
  const std::vector<uint8_t> mine = StateBlock("MJPG", 3000, 12, 0, 1);
  ASSERT_EQ(s->SetState(mine.data(), mine.size()), 32);
  EXPECT_EQ(s->State(), (TVideoCompressorState{3000, 12, 0, 1}));
  EXPECT_EQ(s->GetState(), mine);
  uint8_t small[16];
  EXPECT_EQ(s->GetState(small, sizeof small), ICERR_BADSIZE);

  // Every bad block leaves the state as it was.
  std::vector<uint8_t> damaged = mine;
  damaged[13] ^= 0x40;
  EXPECT_EQ(s->SetState(damaged.data(), damaged.size()), 0);
  EXPECT_EQ(s->SetState(mine.data(), 31), 0);
  const std::vector<uint8_t> wrongVersion = StateBlock("MJPG", 3000, 12, 0, 1, 2);
  EXPECT_EQ(s->SetState(wrongVersion.data(), wrongVersion.size()), 0);
  const std::vector<uint8_t> otherCodec = StateBlock("FMP4", 3000, 12, 0, 0);
  EXPECT_EQ(s->SetState(otherCodec.data(), otherCodec.size()), 0);
  const std::vector<uint8_t> badOption = StateBlock("MJPG", 3000, 12, 0, 2);
  EXPECT_EQ(s->SetState(badOption.data(), badOption.size()), 0);
  const std::vector<uint8_t> badQuality = StateBlock("MJPG", 10001, 12, 0, 0);
  EXPECT_EQ(s->SetState(badQuality.data(), badQuality.size()), 0);
  std::vector<uint8_t> longer = mine;
  longer.push_back(0);
  EXPECT_EQ(s->SetState(longer.data(), longer.size()), 32);  // not the size given: the caller sees the mismatch
  EXPECT_EQ(s->State(), (TVideoCompressorState{3000, 12, 0, 1}));
  EXPECT_EQ(s->SetState(nullptr, 0), ICERR_OK);
  EXPECT_EQ(s->GetState(), defaults);
  // A block of an older code of the same compressor is taken.
  auto xvid = OpenCompressor("XVID");
  const std::vector<uint8_t> fmp4 = StateBlock("FMP4", 5000, 0, 0, 0);
  EXPECT_EQ(xvid->SetState(fmp4.data(), fmp4.size()), 32);
}

TEST(VideoCompressorState, TheStateConfiguresTheCompressor) {
  // The state's quality serves a sequence that asks for the default.
  const auto coarse = StateBlock("MJPG", 1500, 0, 0, 0);
  const auto fine = StateBlock("MJPG", 9500, 0, 0, 0);
  EXPECT_LT(SequenceBytes("MJPG", ICQUALITY_DEFAULT, 0, &coarse, 6, 320, 240) * 2,
            SequenceBytes("MJPG", ICQUALITY_DEFAULT, 0, &fine, 6, 320, 240));
  // ... but not one that sets its own.
  EXPECT_EQ(SequenceBytes("MJPG", 6000, 0, &coarse), SequenceBytes("MJPG", 6000, 0, &fine));
  // Option 1 (the default): 4:2:0 chroma, fewer bytes than 4:2:2.
  const auto chroma420 = StateBlock("MJPG", -1, 0, 0, 1);
  const auto chroma422 = StateBlock("MJPG", -1, 0, 0, 0);
  EXPECT_LT(SequenceBytes("MJPG", 9000, 0, &chroma420), SequenceBytes("MJPG", 9000, 0, &chroma422));
  EXPECT_EQ(SequenceBytes("MJPG", 9000, 0, &chroma420), SequenceBytes("MJPG", 9000, 0, nullptr));
  // The compressor's own key-frame distance applies within a sequence.
  TCompVars cv;
  cv.hic = OpenCompressor("FMP4");
  const auto every3 = StateBlock("FMP4", -1, 3, 0, 0);
  ASSERT_EQ(cv.hic->SetState(every3.data(), every3.size()), 32);
  ASSERT_TRUE(ICSeqCompressFrameStart(cv, TVideoFormat::ForFrame(96, 64, 24)));
  std::vector<bool> keys;
  for (int i = 0; i < 7; ++i) {
    TDIB f = TestPicture(96, 64, i);
    bool key = false;
    int32_t size = 0;
    ASSERT_TRUE(ICSeqCompressFrame(cv, 0, f.Bits(), &key, &size));
    keys.push_back(key);
  }
  EXPECT_EQ(keys, (std::vector<bool>{true, false, false, true, false, false, true}));
}

}  // namespace

// Rows are handed to the colour conversion in place, the row at the end of memory
// through a copy: the same picture stored bottom-up or top-down, at widths that leave
// rows unaligned, gives the same compressed bytes (4:2:0 codecs filter across rows).
TEST(VideoCompressorRows, BottomUpAndTopDownRowsGiveTheSameBytes) {
  for (const char* handler : {"MJPG", "FMP4", "HFYU"}) {
    if (!Offered(handler)) continue;
    for (int w : {33, 64}) {
      const int h = 18;
      const TDIB frame = TestPicture(w, h, 3);
      const TVideoFormat up = TVideoFormat::ForFrame(w, h, 24);
      TVideoFormat down = up;
      down.biHeight = -h;
      std::vector<uint8_t> rows(frame.ImageSize());
      const size_t stride = static_cast<size_t>(frame.RowSize());
      for (int y = 0; y < h; ++y) std::memcpy(rows.data() + y * stride, frame.ScanLine(y), stride);
      std::vector<uint8_t> bytes[2];
      for (int k = 0; k < 2; ++k) {
        auto hic = TVideoCompressorSession::Open(ICTYPE_VIDEO, VideoFourCCFromText(handler), ICMODE_COMPRESS);
        ASSERT_TRUE(hic);
        const TVideoFormat& in = k == 0 ? up : down;
        TVideoFormat out;
        ASSERT_EQ(hic->CompressGetFormat(in, out), ICERR_OK) << handler;
        ASSERT_EQ(hic->CompressBegin(in, out), ICERR_OK) << handler;
        TCompressedFrame f;
        ASSERT_EQ(hic->Compress(k == 0 ? frame.Bits() : rows.data(), frame.ImageSize(), true, f), ICERR_OK)
            << handler;
        bytes[k].assign(f.Data, f.Data + f.Size);
      }
      EXPECT_FALSE(bytes[0].empty());
      EXPECT_EQ(bytes[0], bytes[1]) << handler << " " << w;
    }
  }
}
