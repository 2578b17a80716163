// The vector stretch of pictures onto surfaces gives the bytes of TDIB::StretchFrom:
// shrinking, enlarging, mixed axes, rectangles inside the picture, both source depths,
// rows flipped or not; and the cases it leaves to TDIB still come out right.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "base/Dib.h"
#include "platform/render3d/RmStretch.h"
#include "platform/render3d/RmSurface.h"

using namespace movara;

namespace {

// A picture of noise-like bytes (every byte, the fourth of 32-bit pixels too).
TDIB Noise(int w, int h, int bits, uint32_t seed) {
  TDIB d(w, h, bits);
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < d.ImageSize(); ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    d.Bits()[i] = static_cast<uint8_t>(x >> 24);
  }
  return d;
}

// What TDIB makes of the rectangle over a w x h 32-bit picture, rows flipped on request.
TDIB Expected(const TDIB& src, const TRect& r, int w, int h, bool flip) {
  TDIB out(w, h, 32);
  out.StretchFrom(src, r, Rect(0, 0, w, h));
  if (!flip) return out;
  TDIB flipped(w, h, 32);
  for (int y = 0; y < h; ++y)
    std::memcpy(flipped.ScanLine(h - 1 - y), out.ScanLine(y), static_cast<size_t>(w) * 4);
  return flipped;
}

// The first differing byte of the surface against the picture, or "". The one-to-one
// copy writes the unused fourth byte as 0, where TDIB carries a 32-bit source's along.
std::string Difference(const TRmSurface& s, const TDIB& want, bool fourth = true) {
  for (int y = 0; y < s.Height(); ++y) {
    const uint8_t* a = reinterpret_cast<const uint8_t*>(s.Row(y));
    const uint8_t* b = want.ScanLine(y);
    for (int i = 0; i < s.Width() * 4; ++i)
      if (a[i] != b[i] && (fourth || i % 4 != 3))
        return "pixel " + std::to_string(i / 4) + "," + std::to_string(y) + " byte " + std::to_string(i % 4) +
               ": " + std::to_string(a[i]) + " instead of " + std::to_string(b[i]);
  }
  return "";
}

struct TCase {
  int sw, sh, dw, dh;
  TRect r;  // inside the source; empty: all of it
};

class Render3dStretch : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (GetParam() && !rm::VectorStretchSupported()) GTEST_SKIP() << "no vector stretch here";
    rm::EnableVectorStretch(GetParam());
  }
  void TearDown() override { rm::EnableVectorStretch(true); }
};

TEST_P(Render3dStretch, LoadFromDIBGivesTheBytesOfTDIB) {
  const TCase cases[] = {
      {720, 576, 512, 512, {}},  // a film frame into a texture
      {720, 576, 1024, 1024, {}},
      {512, 512, 720, 576, {}},  // a texture over the view
      {100, 80, 37, 53, {}},     // shrinking one way, enlarging the other
      {37, 53, 100, 80, {}},
      {64, 48, 64, 48, {}},      // one to one goes its own way
      {64, 48, 64, 47, {}},
      {300, 9, 100, 9, {}},      // three source pixels to one
      {400, 9, 100, 9, {}},      // four
      {1920, 1080, 512, 512, {}},  // a full-HD frame into the usual texture: five taps
      {700, 9, 100, 9, {}},      // seven: eight taps
      {1000, 9, 100, 9, {}},     // ten: left to TDIB
      {9, 1000, 9, 10, {}},
      {1, 1, 16, 16, {}},
      {33, 17, 5, 3, {}},
      {90, 70, 40, 30, Rect(3, 5, 50, 40)},  // a rectangle inside the picture
      {90, 70, 40, 30, Rect(89, 69, 90, 70)},
  };
  int n = 0;
  for (const TCase& c : cases)
    for (int bits : {24, 32})
      for (bool flip : {false, true}) {
        const TDIB src = Noise(c.sw, c.sh, bits, static_cast<uint32_t>(++n));
        const TRect r = c.r.Width() > 0 ? c.r : Rect(0, 0, c.sw, c.sh);
        TRmSurface s;
        ASSERT_EQ(s.Create(c.dw, c.dh), DD_OK);
        ASSERT_EQ(s.LoadFromDIB(src, r, flip), DD_OK);
        const bool oneToOne = r.Width() == c.dw && r.Height() == c.dh;
        EXPECT_EQ(Difference(s, Expected(src, r, c.dw, c.dh, flip), !oneToOne), "")
            << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh << ", " << bits << " bits, flip " << flip;
      }
  // up to eight taps (a full-HD frame into the usual texture takes five) are the vector
  // pass's own, not left to TDIB
  if (GetParam())
    for (int sw : {1920, 700}) {
      TRmSurface s;
      ASSERT_EQ(s.Create(sw == 1920 ? 512 : 100, 9), DD_OK);
      EXPECT_TRUE(rm::StretchToSurface(Noise(sw, 9, 24, 1), Rect(0, 0, sw, 9), s, false)) << sw;
    }
}

TEST_P(Render3dStretch, BltBetweenSurfacesGivesTheBytesOfTDIB) {
  TRmSurface src, dst, part;
  ASSERT_EQ(src.Create(512, 512), DD_OK);
  const TDIB noise = Noise(512, 512, 32, 7);
  for (int y = 0; y < 512; ++y) std::memcpy(src.Row(y), noise.ScanLine(y), 512 * 4);
  src.Changed();
  ASSERT_EQ(dst.Create(720, 576), DD_OK);
  ASSERT_EQ(dst.Blt(dst.Bounds(), src, src.Bounds()), DD_OK);
  EXPECT_EQ(Difference(dst, Expected(src.Dib(), src.Bounds(), 720, 576, false)), "");
  // into a part of the surface: the rest stays as it was
  ASSERT_EQ(part.Create(100, 100), DD_OK);
  part.Clear(RmPixel(1, 2, 3));
  ASSERT_EQ(part.Blt(Rect(10, 10, 60, 40), src, Rect(0, 0, 200, 100)), DD_OK);
  TDIB want(100, 100, 32);
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 100; ++x) want.SetPixel(x, y, RGBColor(1, 2, 3));
  want.StretchFrom(src.Dib(), Rect(0, 0, 200, 100), Rect(10, 10, 60, 40));
  EXPECT_EQ(Difference(part, want), "");
}

INSTANTIATE_TEST_SUITE_P(VectorAndPlain, Render3dStretch, ::testing::Bool());

}  // namespace
