#include <gtest/gtest.h>

#include <algorithm>

#include "base/Dib.h"
#include "platform/render3d/RmSurface.h"

using namespace movara;

namespace {

void Paint(TRmSurface& s, TRmPixel (*pattern)(int, int)) {
  for (int y = 0; y < s.Height(); ++y)
    for (int x = 0; x < s.Width(); ++x) s.Row(y)[x] = pattern(x, y);
  s.Changed();
}

}  // namespace

TEST(Render3dSurface, RowsAreTopDownThroughRowAndPitch) {
  TRmSurface s;
  ASSERT_EQ(s.Create(5, 3), DD_OK);
  EXPECT_EQ(s.Pitch(), -20);
  s.Row(0)[1] = RmPixel(9, 8, 7);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(s.Row(0)) + s.Pitch(), reinterpret_cast<uint8_t*>(s.Row(1)));
  // The DIB view agrees: row 0 is the picture's top row.
  EXPECT_EQ(s.Dib().Pixel(1, 0), RGBColor(9, 8, 7));
  EXPECT_EQ(RmPixelFromColor(RGBColor(1, 2, 3)), RmPixel(1, 2, 3));
  EXPECT_EQ(RmColorFromPixel(RmPixel(1, 2, 3)), RGBColor(1, 2, 3));
}

TEST(Render3dSurface, FillClipsAndCountsVersions) {
  TRmSurface s;
  ASSERT_EQ(s.Create(4, 4), DD_OK);
  const uint64_t v0 = s.Version();
  ASSERT_EQ(s.Fill(Rect(2, -5, 10, 1), RmPixel(1, 1, 1)), DD_OK);
  EXPECT_GT(s.Version(), v0);
  EXPECT_EQ(s.Pixel(1, 0), 0u);
  EXPECT_EQ(s.Pixel(2, 0), RmPixel(1, 1, 1));
  EXPECT_EQ(s.Pixel(3, 0), RmPixel(1, 1, 1));
  EXPECT_EQ(s.Pixel(3, 1), 0u);
  EXPECT_EQ(s.Fill(Rect(3, 0, 1, 2), 0), DDERR_INVALIDRECT);
  TRmSurface none;
  EXPECT_EQ(none.Clear(0), DDERR_SURFACELOST);
}

TEST(Render3dSurface, KeyedBlitLeavesKeyColoursOut) {
  TRmSurface src, dst;
  ASSERT_EQ(src.Create(4, 1), DD_OK);
  ASSERT_EQ(dst.Create(4, 1), DD_OK);
  const TRmPixel row[4] = {RmPixel(0, 255, 0), RmPixel(10, 250, 5), RmPixel(200, 0, 0),
                           RmPixel(0, 255, 1)};
  std::copy(row, row + 4, src.Row(0));
  dst.Clear(RmPixel(1, 2, 3));
  ASSERT_EQ(dst.BltKeyed(0, 0, src, src.Bounds(), TRmColorKey::Single(RmPixel(0, 255, 0))), DD_OK);
  EXPECT_EQ(dst.Pixel(0, 0), RmPixel(1, 2, 3));
  EXPECT_EQ(dst.Pixel(1, 0), RmPixel(10, 250, 5));
  EXPECT_EQ(dst.Pixel(3, 0), RmPixel(0, 255, 1));
  // A range keys every channel within its bounds.
  dst.Clear(RmPixel(1, 2, 3));
  ASSERT_EQ(dst.BltKeyed(0, 0, src, src.Bounds(), TRmColorKey{RmPixel(0, 240, 0), RmPixel(20, 255, 10)}),
            DD_OK);
  EXPECT_EQ(dst.Pixel(0, 0), RmPixel(1, 2, 3));
  EXPECT_EQ(dst.Pixel(1, 0), RmPixel(1, 2, 3));
  EXPECT_EQ(dst.Pixel(2, 0), RmPixel(200, 0, 0));
  EXPECT_EQ(dst.Pixel(3, 0), RmPixel(1, 2, 3));
}

TEST(Render3dSurface, AlphaDrawRoundsAndClips) {
  TRmSurface src, dst;
  ASSERT_EQ(src.Create(3, 3), DD_OK);
  ASSERT_EQ(dst.Create(3, 3), DD_OK);
  src.Clear(RmPixel(255, 100, 0));
  dst.Clear(RmPixel(0, 0, 255));
  // Drawn one pixel left and up: only a 2x2 part lands.
  ASSERT_EQ(dst.DrawAlpha(-1, -1, src, src.Bounds(), 128), DD_OK);
  // (255 * 128 + 0 * 127) / 255 = 128; 100 * 128 / 255 = 50.2; 255 * 127 / 255 = 127.
  EXPECT_EQ(dst.Pixel(0, 0), RmPixel(128, 50, 127));
  EXPECT_EQ(dst.Pixel(1, 1), RmPixel(128, 50, 127));
  EXPECT_EQ(dst.Pixel(2, 2), RmPixel(0, 0, 255));
  ASSERT_EQ(dst.DrawAlpha(0, 0, src, src.Bounds(), 0), DD_OK);
  EXPECT_EQ(dst.Pixel(2, 2), RmPixel(0, 0, 255));
  ASSERT_EQ(dst.DrawAlpha(0, 0, src, src.Bounds(), 255), DD_OK);
  EXPECT_EQ(dst.Pixel(2, 2), RmPixel(255, 100, 0));
  EXPECT_EQ(dst.DrawAlpha(0, 0, src, src.Bounds(), 256), DDERR_INVALIDPARAMS);
  EXPECT_EQ(dst.DrawAlpha(0, 0, dst, dst.Bounds(), 10), DDERR_INVALIDPARAMS);
}

TEST(Render3dSurface, DibTransferOneToOneAndStretched) {
  TDIB pic(6, 4, 24);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) pic.SetPixel(x, y, RGBColor(x * 40, y * 60, 7));
  TRmSurface s;
  ASSERT_EQ(s.Create(4, 2), DD_OK);
  // A 4x2 part, one to one: exact.
  ASSERT_EQ(s.LoadFromDIB(pic, Rect(1, 2, 5, 4)), DD_OK);
  EXPECT_EQ(s.Pixel(0, 0), RmPixel(40, 120, 7));
  EXPECT_EQ(s.Pixel(3, 1), RmPixel(160, 180, 7));
  TDIB back(4, 2, 32);
  ASSERT_EQ(s.SaveToDIB(back, Rect(0, 0, 4, 2)), DD_OK);
  EXPECT_EQ(back.Pixel(3, 1), RGBColor(160, 180, 7));
  // Whole picture shrunk into the surface: averaged, still ordered left to right.
  ASSERT_EQ(s.LoadFromDIB(pic, Rect(0, 0, 6, 4)), DD_OK);
  EXPECT_LT(RmRed(s.Pixel(0, 0)), RmRed(s.Pixel(3, 0)));
  EXPECT_LT(RmGreen(s.Pixel(0, 0)), RmGreen(s.Pixel(0, 1)));
  EXPECT_EQ(s.LoadFromDIB(TDIB(), Rect(0, 0, 1, 1)), DDERR_INVALIDPARAMS);
  EXPECT_EQ(s.LoadFromDIB(pic, Rect(2, 0, 2, 4)), DDERR_INVALIDPARAMS);
  // A 16-bit picture keeps its depth.
  TDIB deep(4, 2, 16);
  ASSERT_EQ(s.SaveToDIB(deep, Rect(0, 0, 4, 2)), DD_OK);
  EXPECT_EQ(deep.BitCount(), 16);
  EXPECT_NE(deep.Pixel(3, 1), 0u);
}

// Rows of every width up to a few vector steps, whole and clipped: each pixel's bytes
// land in place and the padding at the row ends is not written.
TEST(Render3dSurface, SaveToDIBWritesEachRowExactly) {
  for (int w = 1; w <= 23; ++w) {
    TRmSurface s;
    ASSERT_EQ(s.Create(w, 3), DD_OK);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < w; ++x) s.Row(y)[x] = 0xEE000000u | RmPixel(x * 11 + y, 200 - x, 7 * x + 3 * y);
    for (int shift : {0, 2}) {
      TDIB d(w + shift, 3, 24);
      std::fill(d.Bits(), d.Bits() + d.ImageSize(), uint8_t(0xAB));
      ASSERT_EQ(s.SaveToDIB(d, Rect(shift, 0, shift + w, 3)), DD_OK);
      for (int y = 0; y < 3; ++y) {
        const uint8_t* row = d.ScanLine(y);
        for (int x = 0; x < shift; ++x) EXPECT_EQ(row[3 * x], 0xAB) << "w " << w << " before the target";
        for (int x = 0; x < w; ++x)
          EXPECT_EQ(d.Pixel(shift + x, y), RGBColor(x * 11 + y, 200 - x, 7 * x + 3 * y)) << "w " << w << " x " << x;
        for (int b = 3 * (w + shift); b < d.RowSize(); ++b) EXPECT_EQ(row[b], 0xAB) << "w " << w << " padding";
      }
    }
  }
}

// A picture of the surface's size (24 or 32 bits, whole or a part, upright or flipped)
// goes into the surface pixel for pixel at every width, the fourth byte dropped.
TEST(Render3dSurface, LoadFromDIBOneToOneCopiesEachPixel) {
  for (int bits : {24, 32})
    for (int w = 1; w <= 21; ++w)
      for (int shift : {0, 3})
        for (bool flip : {false, true}) {
          TDIB pic(w + shift, 3, bits);
          for (int y = 0; y < 3; ++y) {
            uint8_t* row = pic.ScanLine(y);
            for (int b = 0; b < pic.RowSize(); ++b) row[b] = static_cast<uint8_t>(b * 37 + y * 101 + 5);
          }
          TRmSurface s;
          ASSERT_EQ(s.Create(w, 2), DD_OK);
          ASSERT_EQ(s.LoadFromDIB(pic, Rect(shift, 1, shift + w, 3), flip), DD_OK);
          for (int y = 0; y < 2; ++y)
            for (int x = 0; x < w; ++x) {
              const uint8_t* p = pic.ScanLine(1 + y) + (shift + x) * (bits / 8);
              EXPECT_EQ(s.Row(flip ? 1 - y : y)[x], RmPixel(p[2], p[1], p[0]))
                  << bits << " bits, w " << w << " x " << x << " y " << y << (flip ? " flipped" : "");
            }
        }
}

// The viewport fills the view with a background of one colour instead of stretching it:
// any change after the whole fill must end that.
TEST(Render3dSurface, UniformOnlyUntilTheNextChange) {
  TRmSurface s;
  TRmPixel c = 0;
  ASSERT_EQ(s.Create(8, 6), DD_OK);
  EXPECT_FALSE(s.Uniform(c));
  ASSERT_EQ(s.Clear(RmPixel(10, 20, 30)), DD_OK);
  EXPECT_TRUE(s.Uniform(c));
  EXPECT_EQ(c, RmPixel(10, 20, 30));
  ASSERT_EQ(s.Fill(Rect(0, 0, 8, 3), RmPixel(10, 20, 30)), DD_OK);  // a part: no longer known
  EXPECT_FALSE(s.Uniform(c));
  ASSERT_EQ(s.Fill(Rect(-4, -4, 20, 20), 0xFF000000u | RmPixel(1, 2, 3)), DD_OK);  // covers it all
  EXPECT_TRUE(s.Uniform(c));
  EXPECT_EQ(c, RmPixel(1, 2, 3));
  s.Row(2)[3] = RmPixel(9, 9, 9);
  s.Changed();
  EXPECT_FALSE(s.Uniform(c));
  s.Clear(0);
  TDIB pic(8, 6, 24);
  ASSERT_EQ(s.LoadFromDIB(pic, Rect(0, 0, 8, 6)), DD_OK);
  EXPECT_FALSE(s.Uniform(c));
}

TEST(Render3dSurface, StretchedBltFillsTheTarget) {
  TRmSurface src, dst;
  ASSERT_EQ(src.Create(2, 2), DD_OK);
  Paint(src, [](int x, int) { return x == 0 ? RmPixel(0, 0, 0) : RmPixel(200, 200, 200); });
  ASSERT_EQ(dst.Create(8, 8), DD_OK);
  ASSERT_EQ(dst.Blt(dst.Bounds(), src, src.Bounds()), DD_OK);
  EXPECT_EQ(dst.Pixel(0, 3), RmPixel(0, 0, 0));
  EXPECT_EQ(dst.Pixel(7, 3), RmPixel(200, 200, 200));
  EXPECT_GT(RmRed(dst.Pixel(4, 3)), 0);
  EXPECT_LT(RmRed(dst.Pixel(4, 3)), 200);
}
