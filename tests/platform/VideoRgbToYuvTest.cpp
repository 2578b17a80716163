// The 4:2:2 conversion of the Motion JPEG compressor against swscale itself: every byte
// of every plane, at many widths, on pictures made to reach the ends of the arithmetic
// (alternating extremes swing the chroma filter below zero), both with the vector steps
// and without; and the compressor gives the same bytes with it or with swscale alone.
#include <gtest/gtest.h>

extern "C" {
#include <libswscale/swscale.h>
}

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/Dib.h"
#include "base/JpegFile.h"
#include "platform/codecs/VideoCompressor.h"
#include "platform/codecs/VideoRgbToYuv.h"

using namespace movara;
using movara::videoff::TBgrToYuvj422;

namespace {

constexpr int kFlags = SWS_BITEXACT | SWS_ACCURATE_RND | SWS_BICUBIC | SWS_FULL_CHR_H_INP;

std::vector<uint8_t> Picture(int w, int h, int stride, uint32_t seed) {
  std::vector<uint8_t> p(static_cast<size_t>(stride) * h + 64, 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c) {
        seed = seed * 1664525u + 1013904223u;
        uint8_t v;
        switch (y % 6) {
          case 0: v = static_cast<uint8_t>(seed >> 24); break;                   // noise
          case 1: v = (x % 2) ? (c == 2 ? 255 : 0) : (c == 2 ? 0 : 255); break; // red against cyan
          case 2: v = (x % 2) ? (c == 0 ? 255 : 0) : (c == 0 ? 0 : 255); break; // blue against yellow
          case 3: v = (seed >> 31) ? 255 : 0; break;                            // extremes
          case 4: v = static_cast<uint8_t>((x * 7 + c * 85) & 255); break;       // ramps
          default: v = (x / 3) % 2 ? 250 : 5; break;                            // edges
        }
        p[static_cast<size_t>(y) * stride + 3 * x + c] = v;
      }
  return p;
}

// The first differing byte of our planes against swscale's, or "".
std::string Compare(int w, int h) {
  const int stride = 3 * w + 5;
  const std::vector<uint8_t> rgb = Picture(w, h, stride, static_cast<uint32_t>(w));
  SwsContext* sws = sws_getContext(w, h, AV_PIX_FMT_BGR24, w, h, AV_PIX_FMT_YUV422P, kFlags, nullptr, nullptr, nullptr);
  if (!sws) return "no swscale context";
  const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
  sws_setColorspaceDetails(sws, bt601, 0, bt601, 1, 0, 1 << 16, 1 << 16);
  const int ps = (w + 63) & ~63, cw = (w + 1) / 2;
  std::vector<uint8_t> theirs(static_cast<size_t>(ps) * h * 3 + 64), ours(theirs.size());
  uint8_t* dst[4] = {theirs.data(), theirs.data() + ps * h, theirs.data() + 2 * ps * h, nullptr};
  const int dstStride[4] = {ps, ps, ps, 0};
  const uint8_t* src[4] = {rgb.data(), nullptr, nullptr, nullptr};
  const int srcStride[4] = {stride, 0, 0, 0};
  const int done = sws_scale(sws, src, srcStride, 0, h, dst, dstStride);
  sws_freeContext(sws);
  if (done != h) return "swscale failed";
  TBgrToYuvj422 conv;
  if (!conv.Init(w)) return "not set up";
  for (int y = 0; y < h; ++y)
    conv.Row(rgb.data() + static_cast<size_t>(y) * stride, ours.data() + y * ps, ours.data() + ps * h + y * ps,
             ours.data() + 2 * ps * h + y * ps);
  for (int plane = 0; plane < 3; ++plane)
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < (plane ? cw : w); ++x) {
        const size_t at = static_cast<size_t>(plane) * ps * h + static_cast<size_t>(y) * ps + x;
        if (ours[at] != theirs[at])
          return "plane " + std::to_string(plane) + " row " + std::to_string(y) + " x " + std::to_string(x) + ": " +
                 std::to_string(ours[at]) + " instead of " + std::to_string(theirs[at]);
      }
  return "";
}

class VideoRgbToYuv : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { videoff::EnableYuvVector(GetParam()); }
  void TearDown() override { videoff::EnableYuvVector(true); }
};

TEST_P(VideoRgbToYuv, GivesSwscalesBytes) {
  for (int w : {8, 9, 10, 15, 16, 17, 23, 24, 31, 32, 33, 47, 64, 90, 96, 100, 101, 320, 352, 640, 719, 720, 1280})
    EXPECT_EQ(Compare(w, 12), "") << "width " << w;
}

INSTANTIATE_TEST_SUITE_P(VectorAndPlain, VideoRgbToYuv, ::testing::Bool());

uint32_t TestCrc(const uint8_t* p, size_t n) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    c ^= p[i];
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
  }
  return c ^ 0xFFFFFFFFu;
}

// Motion JPEG of one picture through our conversion and through swscale alone, at 4:2:2
// (option 0) or 4:2:0 (option 1, the default).
std::vector<uint8_t> MotionJpegOf(const TDIB& frame, bool fast, int option) {
  videoff::EnableFastYuv(fast);
  auto hic = TVideoCompressorSession::Open(ICTYPE_VIDEO, VideoFourCC("MJPG"), ICMODE_COMPRESS);
  EXPECT_TRUE(hic);
  if (!hic) return {};
  TVideoCompressorState state = hic->State();
  std::vector<uint8_t> block = hic->GetState();
  block[24] = static_cast<uint8_t>(option);
  const uint32_t crc = TestCrc(block.data(), 28);
  for (int i = 0; i < 4; ++i) block[28 + i] = static_cast<uint8_t>(crc >> (8 * i));
  EXPECT_EQ(hic->SetState(block.data(), block.size()), 32);
  EXPECT_EQ(hic->State().Option, option) << state.Option;
  const TVideoFormat in = TVideoFormat::ForFrame(frame.Width(), frame.Height(), 24);
  TVideoFormat out;
  EXPECT_EQ(hic->CompressGetFormat(in, out), ICERR_OK);
  EXPECT_EQ(hic->CompressBegin(in, out), ICERR_OK);
  TCompressedFrame f;
  EXPECT_EQ(hic->Compress(frame, true, f), ICERR_OK);
  videoff::EnableFastYuv(true);
  return std::vector<uint8_t>(f.Data, f.Data + f.Size);
}

TEST(VideoRgbToYuvCompressor, MotionJpegOfEitherConversionShowsThePicture) {
  // fast: libjpeg converts the rows itself; slow: swscale makes the planes
  for (int w : {90, 720}) {
    const int h = 32;
    TDIB frame(w, h, 24);
    const std::vector<uint8_t> rgb = Picture(w, h, 3 * w, 7);
    for (int y = 0; y < h; ++y) std::memcpy(frame.ScanLine(y), rgb.data() + static_cast<size_t>(y) * 3 * w, 3 * w);
    auto error = [&](const TDIB& d) {
      int64_t sum = 0;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < 3 * w; ++x) sum += std::abs(d.ScanLine(y)[x] - frame.ScanLine(y)[x]);
      return static_cast<double>(sum) / (3.0 * w * h);
    };
    for (int option : {0, 1}) {
      const auto slow = MotionJpegOf(frame, false, option), fast = MotionJpegOf(frame, true, option);
      ASSERT_FALSE(slow.empty());
      ASSERT_FALSE(fast.empty());
      EXPECT_EQ(fast, MotionJpegOf(frame, true, option)) << "the same picture gives the same bytes";
      TDIB a, b;
      ASSERT_TRUE(LoadJpegFromBytes(slow.data(), slow.size(), a));
      ASSERT_TRUE(LoadJpegFromBytes(fast.data(), fast.size(), b));
      ASSERT_EQ(b.Width(), w);
      ASSERT_EQ(b.Height(), h);
      EXPECT_LT(error(b), error(a) * 1.1 + 0.5) << "width " << w << " option " << option;
    }
  }
}

}  // namespace
