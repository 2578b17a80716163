#include <gtest/gtest.h>

#include "base/Dib.h"
#include "base/Exceptions.h"

using namespace movara;

TEST(DibCore, RowsAreBottomUpWithAlignedStride) {
  TDIB d(3, 2, 24);
  EXPECT_EQ(d.RowSize(), 12);  // 9 bytes padded to 12
  EXPECT_EQ(d.ImageSize(), 24u);
  d.SetPixel(0, 0, RGBColor(1, 2, 3));  // top-left lives in the last stored row
  EXPECT_EQ(d.Bits()[12], 3);
  EXPECT_EQ(d.Bits()[13], 2);
  EXPECT_EQ(d.Bits()[14], 1);
  EXPECT_EQ(d.Pixel(0, 0), RGBColor(1, 2, 3));
  EXPECT_EQ(TDIB::RowSizeFor(1, 1), 4);
  EXPECT_EQ(TDIB::RowSizeFor(33, 1), 8);
  EXPECT_EQ(TDIB::RowSizeFor(5, 4), 4);
}

TEST(DibCore, PixelsRoundTripAtEveryDepth) {
  for (int bpp : {1, 4, 8, 16, 24, 32}) {
    TDIB d(9, 5, bpp);
    TColor white = RGBColor(255, 255, 255);
    d.SetPixel(8, 4, white);
    EXPECT_EQ(d.Pixel(8, 4), white) << bpp;
    EXPECT_EQ(d.Pixel(0, 0), 0u) << bpp;
  }
  TDIB d16(2, 2, 16);
  d16.SetPixelFormat(pf565);
  d16.SetPixel(1, 1, RGBColor(255, 0, 255));
  EXPECT_EQ(d16.Pixel(1, 1), RGBColor(255, 0, 255));
}

TEST(DibCore, RefusesAbsurdSizesAndDepths) {
  TDIB d;
  EXPECT_THROW(d.SetSize(100000, 100000, 24), EConvertError);
  EXPECT_THROW(d.SetSize(-1, 5, 24), EConvertError);
  EXPECT_THROW(d.SetSize(5, 5, 12), EConvertError);
  EXPECT_TRUE(d.Empty());
}

TEST(DibCore, FillClipsToThePicture) {
  TDIB d(4, 4, 32);
  d.FillRect(Rect(-5, 2, 2, 100), RGBColor(10, 20, 30));
  EXPECT_EQ(d.Pixel(0, 3), RGBColor(10, 20, 30));
  EXPECT_EQ(d.Pixel(1, 2), RGBColor(10, 20, 30));
  EXPECT_EQ(d.Pixel(2, 2), 0u);
  EXPECT_EQ(d.Pixel(0, 1), 0u);
}
