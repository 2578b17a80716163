#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>

#include "base/Dib.h"
#include "base/Exceptions.h"

using namespace movara;

namespace {

// A picture with many colours: red across, green down, blue mixed.
TDIB Gradient(int w, int h, int bits = 24) {
  TDIB d(w, h, 24);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      d.SetPixel(x, y, RGBColor(x * 255 / std::max(1, w - 1), y * 255 / std::max(1, h - 1), (x * 7 + y * 13) & 0xFF));
  return bits == 24 ? d : d.ConvertTo(bits);
}

int ChannelDiff(TColor a, TColor b) {
  return std::max({std::abs(GetRValue(a) - GetRValue(b)), std::abs(GetGValue(a) - GetGValue(b)),
                   std::abs(GetBValue(a) - GetBValue(b))});
}

int WorstDiff(const TDIB& a, const TDIB& b) {
  int worst = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x) worst = std::max(worst, ChannelDiff(a.Pixel(x, y), b.Pixel(x, y)));
  return worst;
}

}  // namespace

TEST(DibConvert, RoundTripsThroughTheDeepDepths) {
  TDIB g = Gradient(41, 17);
  TDIB back = g.ConvertTo(32).ConvertTo(24);
  EXPECT_TRUE(back == g);
  for (TDIBPixelFormat pf : {pf555, pf565}) {
    TDIB c16 = g.ConvertTo(16, pf);
    EXPECT_EQ(c16.BitCount(), 16);
    EXPECT_EQ(c16.PixelFormat(), pf);
    EXPECT_LE(WorstDiff(c16.ConvertTo(24), g), 4) << "nearest 5/6-bit level, not truncation";
    // 16 -> 24 -> 16 gives back the same bits.
    EXPECT_TRUE(c16.ConvertTo(24).ConvertTo(16, pf) == c16) << pf;
  }
  TDIB c16 = g.ConvertTo(16);
  EXPECT_EQ(c16.PixelFormat(), pf555);
  // Changing only the 16-bit layout converts too.
  TDIB c565 = c16.ConvertTo(16, pf565);
  EXPECT_EQ(c565.PixelFormat(), pf565);
  EXPECT_LE(WorstDiff(c565, c16), 4);
  EXPECT_THROW(g.ConvertTo(12), EConvertError);
}

TEST(DibConvert, TwoColourPicturesSurviveEveryDepthPair) {
  TDIB base(13, 6, 24);
  // Levels a 5-bit channel holds exactly, so that 16 bits lose nothing either.
  base.Fill(RGBColor(198, 33, 132));
  base.FillRect(Rect(3, 1, 9, 4), RGBColor(66, 255, 0));
  for (int from : {1, 4, 8, 16, 24, 32}) {
    TDIB src = base.ConvertTo(from);
    for (int to : {1, 4, 8, 16, 24, 32}) {
      TDIB dst = src.ConvertTo(to);
      ASSERT_EQ(dst.BitCount(), to);
      ASSERT_EQ(dst.Width(), 13);
      EXPECT_EQ(WorstDiff(dst, src), 0) << from << " -> " << to;
    }
  }
}

TEST(DibConvert, IndexedTargetsKeepOwnColoursElseQuantise) {
  // 200 colours fit an 8-bit palette exactly.
  TDIB few(20, 10, 24);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 20; ++x) few.SetPixel(x, y, RGBColor(x * 13, y * 25, (x * y) % 7 * 30));
  TDIB c8 = few.ConvertTo(8);
  EXPECT_EQ(c8.Palette().size(), 256u);
  EXPECT_EQ(WorstDiff(c8, few), 0);

  // A smooth picture with thousands of colours: an optimised palette stays close.
  TDIB g = Gradient(128, 96);
  TDIB q8 = g.ConvertTo(8);
  int64_t total = 0;
  for (int y = 0; y < 96; ++y)
    for (int x = 0; x < 128; ++x) total += ChannelDiff(q8.Pixel(x, y), g.Pixel(x, y));
  EXPECT_LE(total / (128 * 96), 14);  // a uniform 6x7x6 palette averages about 19
  EXPECT_LE(WorstDiff(q8, g), 48);
  EXPECT_TRUE(g.ConvertTo(8) == q8) << "deterministic";
  TDIB q4 = g.ConvertTo(4);
  EXPECT_EQ(q4.Palette().size(), 16u);
  EXPECT_LE(WorstDiff(q4, g), 96);

  // Colours bunched in one corner of the cube: the palette follows them.
  TDIB narrow(128, 96, 24);
  for (int y = 0; y < 96; ++y)
    for (int x = 0; x < 128; ++x) narrow.SetPixel(x, y, RGBColor(100 + x * 40 / 127, 50 + y * 40 / 95, 200 + (x + y) % 41));
  EXPECT_LE(WorstDiff(narrow.ConvertTo(8), narrow), 8);
  EXPECT_LE(WorstDiff(narrow.ConvertTo(4), narrow), 16);

  // Sixteen grey levels fit 4 bits exactly.
  TDIB greys(16, 1, 24);
  for (int x = 0; x < 16; ++x) greys.SetPixel(x, 0, RGBColor(x * 17, x * 17, x * 17));
  EXPECT_EQ(WorstDiff(greys.ConvertTo(4), greys), 0);

  // 1 bit with more than two colours: black and white by brightness.
  TDIB mix(3, 1, 24);
  mix.SetPixel(0, 0, RGBColor(100, 100, 100));
  mix.SetPixel(1, 0, RGBColor(160, 160, 160));
  mix.SetPixel(2, 0, RGBColor(0, 255, 0));  // bright green
  TDIB bw = mix.ConvertTo(1);
  EXPECT_EQ(bw.Pixel(0, 0), 0u);
  EXPECT_EQ(bw.Pixel(1, 0), RGBColor(255, 255, 255));
  EXPECT_EQ(bw.Pixel(2, 0), RGBColor(255, 255, 255));
}

TEST(DibConvert, DeeperIndexedDepthKeepsPaletteAndIndices) {
  TDIB d(5, 3, 4);
  for (int i = 0; i < 16; ++i) d.Palette()[static_cast<size_t>(i)] = TRGBQuad{uint8_t(i), uint8_t(i * 2), 7, 0};
  d.ScanLine(1)[0] = 0xF3;
  TDIB e = d.ConvertTo(8);
  EXPECT_EQ(e.ScanLine(1)[0], 0x0F);
  EXPECT_EQ(e.ScanLine(1)[1], 0x03);
  EXPECT_EQ(e.Palette()[15], d.Palette()[15]);
  EXPECT_EQ(e.Palette()[16], TRGBQuad{});
  d.SetBitCount(8);
  EXPECT_TRUE(d == e);
  d.SetBitCount(24);
  EXPECT_EQ(d.BitCount(), 24);
  EXPECT_EQ(d.Pixel(0, 1), RGBColor(7, 30, 15));
}

TEST(DibConvert, StretchKeepsAConstantPictureConstant) {
  for (int srcBits : {8, 16, 24, 32}) {
    TDIB src(37, 29, srcBits);
    src.Fill(RGBColor(255, 255, 255));
    src.Fill(RGBColor(123, 45, 250));
    TColor want = src.Pixel(0, 0);
    for (auto [w, h] : {std::pair{10, 7}, {37, 29}, {100, 91}, {1, 1}, {200, 3}}) {
      TDIB big = src.Stretched(w, h, srcBits == 32 ? 32 : 24);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) ASSERT_EQ(big.Pixel(x, y), want) << srcBits << " " << w << "x" << h;
    }
  }
}

TEST(DibConvert, ShrinkAveragesAreasAndEnlargeIsBilinear) {
  TDIB src(4, 2, 24);
  src.SetPixel(0, 0, RGBColor(10, 0, 0));
  src.SetPixel(1, 0, RGBColor(20, 0, 0));
  src.SetPixel(0, 1, RGBColor(30, 0, 0));
  src.SetPixel(1, 1, RGBColor(41, 0, 0));
  src.FillRect(Rect(2, 0, 4, 2), RGBColor(0, 100, 200));
  TDIB half = src.Stretched(2, 1);
  EXPECT_EQ(half.Pixel(0, 0), RGBColor(25, 0, 0));  // (10 + 20 + 30 + 41) / 4 = 25.25
  EXPECT_EQ(half.Pixel(1, 0), RGBColor(0, 100, 200));

  // 3 -> 2: the middle pixel is split between both outputs.
  TDIB three(3, 1, 24);
  three.SetPixel(0, 0, RGBColor(0, 0, 0));
  three.SetPixel(1, 0, RGBColor(90, 0, 0));
  three.SetPixel(2, 0, RGBColor(180, 0, 0));
  TDIB two = three.Stretched(2, 1);
  EXPECT_EQ(GetRValue(two.Pixel(0, 0)), 30);
  EXPECT_EQ(GetRValue(two.Pixel(1, 0)), 150);

  // 2 -> 8 across: corners exact, steps even and rising.
  TDIB pair(2, 2, 24);
  pair.FillRect(Rect(0, 0, 1, 2), RGBColor(0, 0, 0));
  pair.FillRect(Rect(1, 0, 2, 2), RGBColor(200, 0, 0));
  TDIB wide = pair.Stretched(8, 2);
  const int want[8] = {0, 0, 25, 75, 125, 175, 200, 200};
  for (int x = 0; x < 8; ++x) EXPECT_EQ(GetRValue(wide.Pixel(x, 1)), want[x]) << x;

  // Enlarging a gradient: the four corners are the source corners and neighbours
  // differ by little.
  TDIB g = Gradient(9, 7);
  TDIB up = g.Stretched(50, 41);
  EXPECT_EQ(up.Pixel(0, 0), g.Pixel(0, 0));
  EXPECT_EQ(up.Pixel(49, 0), g.Pixel(8, 0));
  EXPECT_EQ(up.Pixel(0, 40), g.Pixel(0, 6));
  EXPECT_EQ(up.Pixel(49, 40), g.Pixel(8, 6));
  for (int y = 0; y < 41; ++y)
    for (int x = 1; x < 50; ++x) {
      ASSERT_GE(GetRValue(up.Pixel(x, y)), GetRValue(up.Pixel(x - 1, y)));
      ASSERT_LE(GetRValue(up.Pixel(x, y)) - GetRValue(up.Pixel(x - 1, y)), 10);
    }
}

TEST(DibConvert, StretchClipsToBothPictures) {
  TDIB src(4, 4, 24);
  src.Fill(RGBColor(50, 60, 70));
  TDIB dst(6, 6, 32);
  dst.Fill(RGBColor(1, 1, 1));
  // Half of the target rectangle lies outside the target.
  dst.StretchFrom(src, Rect(0, 0, 4, 4), Rect(3, -3, 9, 3));
  EXPECT_EQ(dst.Pixel(3, 0), RGBColor(50, 60, 70));
  EXPECT_EQ(dst.Pixel(5, 2), RGBColor(50, 60, 70));
  EXPECT_EQ(dst.Pixel(2, 0), RGBColor(1, 1, 1));
  EXPECT_EQ(dst.Pixel(3, 3), RGBColor(1, 1, 1));
  // The source rectangle reaches past the source: only its inside part is drawn, at
  // the scale the two rectangles give (1:1 here).
  TDIB d2(8, 8, 24);
  d2.StretchFrom(src, Rect(-2, 0, 6, 4), Rect(0, 0, 8, 4));
  EXPECT_EQ(d2.Pixel(1, 0), 0u);
  EXPECT_EQ(d2.Pixel(2, 0), RGBColor(50, 60, 70));
  EXPECT_EQ(d2.Pixel(5, 3), RGBColor(50, 60, 70));
  EXPECT_EQ(d2.Pixel(6, 0), 0u);
  EXPECT_EQ(d2.Pixel(2, 4), 0u);
  // Wholly outside, empty and inverted rectangles draw nothing.
  TDIB before = d2;
  d2.StretchFrom(src, Rect(10, 10, 20, 20), Rect(0, 0, 8, 8));
  d2.StretchFrom(src, Rect(0, 0, 4, 4), Rect(100, 0, 108, 8));
  d2.StretchFrom(src, Rect(0, 0, 0, 4), Rect(0, 0, 8, 8));
  d2.StretchFrom(src, Rect(4, 0, 0, 4), Rect(0, 0, 8, 8));
  d2.StretchFrom(src, Rect(INT_MIN, 0, INT_MAX, 4), Rect(0, 0, 8, 8));
  d2.StretchFrom(src, Rect(0, 0, 4, 4), Rect(INT_MIN, INT_MIN, INT_MAX, INT_MAX));
  EXPECT_TRUE(d2 == before);
  // A source rectangle a billion pixels wide around a 4 x 4 picture: the one target
  // pixel whose centre falls on the picture averages its whole span (mostly outside,
  // counted as the edge pixels), and it takes no time.
  TDIB one(3, 3, 24);
  one.StretchFrom(src, Rect(-500000000, -500000000, 500000000, 500000000), Rect(0, 0, 3, 3));
  EXPECT_EQ(one.Pixel(1, 1), RGBColor(50, 60, 70));
  EXPECT_EQ(one.Pixel(0, 0), 0u);
  // Only 24- and 32-bit pictures are stretch targets.
  TDIB d8(4, 4, 8);
  EXPECT_THROW(d8.StretchFrom(src, Rect(0, 0, 4, 4), Rect(0, 0, 4, 4)), EConvertError);
  EXPECT_EQ(src.Stretched(5, 5, 8).BitCount(), 8);
}

TEST(DibConvert, StretchOntoItselfAndCarriesTheFourthByte) {
  TDIB d = Gradient(16, 16);
  TDIB want = d;
  want.StretchFrom(Gradient(16, 16), Rect(0, 0, 16, 16), Rect(0, 0, 8, 8));
  d.StretchFrom(d, Rect(0, 0, 16, 16), Rect(0, 0, 8, 8));
  EXPECT_TRUE(d == want);

  TDIB a(2, 2, 32);
  for (size_t i = 0; i < a.ImageSize(); ++i) a.Bits()[i] = static_cast<uint8_t>(i % 4 == 3 ? 200 : 10);
  TDIB b = a.Stretched(1, 1, 32);
  EXPECT_EQ(b.Bits()[3], 200);
  EXPECT_EQ(a.Stretched(3, 3, 32).Bits()[3], 200);
}
