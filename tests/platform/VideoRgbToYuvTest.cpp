// The 4:2:2 conversion of the Motion JPEG compressor against swscale itself: every byte
// of every plane, at many widths, on pictures made to reach the ends of the arithmetic
// (alternating extremes swing the chroma filter below zero), both with the vector steps
// and without; and the compressor gives the same bytes with it or with swscale alone.
#include <gtest/gtest.h>

extern "C" {
#include <libswscale/swscale.h>
}

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "base/Dib.h"
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

TEST(VideoRgbToYuvCompressor, MotionJpegBytesAreThoseOfSwscale) {
  for (int w : {90, 720}) {
    const int h = 32;
    TDIB frame(w, h, 24);
    const std::vector<uint8_t> rgb = Picture(w, h, 3 * w, 7);
    for (int y = 0; y < h; ++y) std::memcpy(frame.ScanLine(y), rgb.data() + static_cast<size_t>(y) * 3 * w, 3 * w);
    std::vector<uint8_t> bytes[2];
    for (int fast = 0; fast < 2; ++fast) {
      videoff::EnableFastYuv(fast == 1);
      auto hic = TVideoCompressorSession::Open(ICTYPE_VIDEO, VideoFourCC("MJPG"), ICMODE_COMPRESS);
      ASSERT_TRUE(hic);
      const TVideoFormat in = TVideoFormat::ForFrame(w, h, 24);
      TVideoFormat out;
      ASSERT_EQ(hic->CompressGetFormat(in, out), ICERR_OK);
      ASSERT_EQ(hic->CompressBegin(in, out), ICERR_OK);
      TCompressedFrame f;
      ASSERT_EQ(hic->Compress(frame, true, f), ICERR_OK);
      bytes[fast].assign(f.Data, f.Data + f.Size);
    }
    videoff::EnableFastYuv(true);
    EXPECT_FALSE(bytes[0].empty());
    EXPECT_EQ(bytes[0], bytes[1]) << "width " << w;
  }
}

}  // namespace
