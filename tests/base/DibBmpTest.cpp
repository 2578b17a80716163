#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstdlib>

#include "base/Dib.h"
#include "support/TestSupport.h"

using namespace movara;
using namespace movara::test;

namespace {

constexpr TColor kRed = RGBColor(255, 0, 0);
constexpr TColor kGreen = RGBColor(0, 255, 0);
constexpr TColor kBlue = RGBColor(0, 0, 255);
constexpr TColor kWhite = RGBColor(255, 255, 255);
constexpr TColor kBlack = 0;

class TBytes {
 public:
  TBytes& U8(int v) {
    b.push_back(static_cast<uint8_t>(v));
    return *this;
  }
  TBytes& U16(uint32_t v) { return U8(v & 0xFF).U8((v >> 8) & 0xFF); }
  TBytes& U32(uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
  TBytes& Raw(std::initializer_list<int> bytes) {
    for (int v : bytes) U8(v);
    return *this;
  }
  std::vector<uint8_t> b;
};

// An info header of `size` bytes (12 = OS/2 core header); masks land in the header
// for sizes of 52 and more.
std::vector<uint8_t> Info(uint32_t size, int32_t w, int32_t h, int bits, uint32_t comp = 0,
                          uint32_t clrUsed = 0, std::array<uint32_t, 4> masks = {}) {
  TBytes t;
  if (size == 12) {
    t.U32(12).U16(static_cast<uint32_t>(w)).U16(static_cast<uint32_t>(h)).U16(1).U16(static_cast<uint32_t>(bits));
    return t.b;
  }
  t.U32(size).U32(static_cast<uint32_t>(w)).U32(static_cast<uint32_t>(h)).U16(1).U16(static_cast<uint32_t>(bits));
  t.U32(comp).U32(0).U32(2835).U32(2835).U32(clrUsed).U32(0);
  if (size >= 52 && size != 64)
    for (uint32_t m : masks) t.U32(m);
  t.b.resize(size, 0);
  return t.b;
}

// File header + info + extra (masks, palette) + pixels; offBits defaults to the start
// of the pixels.
std::vector<uint8_t> Bmp(const std::vector<uint8_t>& info, const std::vector<uint8_t>& extra,
                         const std::vector<uint8_t>& pixels, int64_t offBits = -1) {
  const size_t off = 14 + info.size() + extra.size();
  TBytes t;
  t.U8('B').U8('M').U32(static_cast<uint32_t>(off + pixels.size())).U32(0);
  t.U32(static_cast<uint32_t>(offBits >= 0 ? offBits : static_cast<int64_t>(off)));
  t.b.insert(t.b.end(), info.begin(), info.end());
  t.b.insert(t.b.end(), extra.begin(), extra.end());
  t.b.insert(t.b.end(), pixels.begin(), pixels.end());
  return t.b;
}

std::vector<uint8_t> Quads(std::initializer_list<TColor> colours) {
  TBytes t;
  for (TColor c : colours) t.U8(GetBValue(c)).U8(GetGValue(c)).U8(GetRValue(c)).U8(0);
  return t.b;
}

bool Load(TDIB& d, const std::vector<uint8_t>& bytes) { return d.LoadFromBmpBytes(bytes.data(), bytes.size()); }

// 2 x 2, 24 bits, bottom-up: top row red, green; bottom row blue, white.
const std::vector<uint8_t> kPixels2x2 = {0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0,  // bottom
                                         0, 0, 0xFF, 0, 0xFF, 0, 0, 0};       // top

void Expect2x2(const TDIB& d) {
  ASSERT_EQ(d.Width(), 2);
  ASSERT_EQ(d.Height(), 2);
  EXPECT_EQ(d.Pixel(0, 0), kRed);
  EXPECT_EQ(d.Pixel(1, 0), kGreen);
  EXPECT_EQ(d.Pixel(0, 1), kBlue);
  EXPECT_EQ(d.Pixel(1, 1), kWhite);
}

TDIB Sentinel() {
  TDIB s(2, 2, 24);
  s.Fill(RGBColor(1, 2, 3));
  return s;
}

}  // namespace

TEST(DibBmp, ReadsEveryWindowsAndOs2HeaderSize) {
  for (uint32_t hs : {40u, 52u, 56u, 64u, 108u, 124u, 16u}) {
    TDIB d;
    ASSERT_TRUE(Load(d, Bmp(Info(hs, 2, 2, 24), {}, kPixels2x2))) << hs;
    EXPECT_EQ(d.BitCount(), 24);
    Expect2x2(d);
  }
  for (uint32_t hs : {0u, 11u, 13u, 69u, 200u, 0xFFFFFFFFu}) {
    TDIB d = Sentinel();
    std::vector<uint8_t> f = Bmp(Info(40, 2, 2, 24), {}, kPixels2x2);
    f[14] = static_cast<uint8_t>(hs);
    f[15] = static_cast<uint8_t>(hs >> 8);
    f[16] = static_cast<uint8_t>(hs >> 16);
    f[17] = static_cast<uint8_t>(hs >> 24);
    EXPECT_FALSE(Load(d, f)) << hs;
    EXPECT_TRUE(d == Sentinel());
  }
}

TEST(DibBmp, NeedsTheFileHeader) {
  std::vector<uint8_t> f = Bmp(Info(40, 2, 2, 24), {}, kPixels2x2);
  TDIB d;
  std::vector<uint8_t> noHeader(f.begin() + 14, f.end());
  EXPECT_FALSE(Load(d, noHeader));
  f[1] = 'A';  // an OS/2 bitmap array is not read
  EXPECT_FALSE(Load(d, f));
  EXPECT_FALSE(d.LoadFromBmpBytes(nullptr, 100));
}

TEST(DibBmp, TopDownRowsAreStoredBottomUpAndShortPalettesPadBlack) {
  // 3 x 2, 8 bits, three palette entries; index 5 has no entry.
  std::vector<uint8_t> pixels = {0, 1, 2, 0, 2, 1, 5, 0};  // top row first
  TDIB d;
  ASSERT_TRUE(Load(d, Bmp(Info(40, 3, -2, 8, 0, 3), Quads({kRed, kGreen, kBlue}), pixels)));
  EXPECT_EQ(d.BitCount(), 8);
  EXPECT_EQ(d.Palette().size(), 256u);
  EXPECT_EQ(d.Pixel(0, 0), kRed);
  EXPECT_EQ(d.Pixel(2, 0), kBlue);
  EXPECT_EQ(d.Pixel(0, 1), kBlue);
  EXPECT_EQ(d.Pixel(2, 1), kBlack);
  EXPECT_EQ(d.ScanLine(0)[1], 1);  // the first file row is the top row
  EXPECT_EQ(d.Bits()[0], 2);       // ... and the last one is stored first

  // clrUsed 0 means a full palette, but only two entries come before bfOffBits.
  ASSERT_TRUE(Load(d, Bmp(Info(40, 3, -2, 8), Quads({kRed, kGreen}), pixels)));
  EXPECT_EQ(d.Pixel(0, 0), kRed);
  EXPECT_EQ(d.Pixel(1, 0), kGreen);
  EXPECT_EQ(d.Pixel(2, 0), kBlack);
}

TEST(DibBmp, HonoursOffBitsAndFallsBackWhenItPointsIntoTheHeaders) {
  std::vector<uint8_t> gap = {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0x11};
  std::vector<uint8_t> f = Bmp(Info(40, 2, 2, 24), gap, kPixels2x2);
  TDIB d;
  ASSERT_TRUE(Load(d, f));
  Expect2x2(d);
  // An offset of 0 (a writer's bug) means "right after the headers".
  ASSERT_TRUE(Load(d, Bmp(Info(40, 2, 2, 24), {}, kPixels2x2, 0)));
  Expect2x2(d);
  // Past the end of the file: refused.
  EXPECT_FALSE(Load(d, Bmp(Info(40, 2, 2, 24), {}, kPixels2x2, 1000)));
}

TEST(DibBmp, ReadsOs2CoreHeadersWithThreeBytePaletteEntries) {
  // 3 x 2, 4 bits: RGBTRIPLE palette of 16 entries.
  TBytes pal;
  for (int i = 0; i < 16; ++i) pal.U8(i == 1 ? 255 : 0).U8(i == 2 ? 255 : 0).U8(i == 3 ? 255 : 0);
  std::vector<uint8_t> pixels = {0x12, 0x30, 0, 0,   // bottom: blue, green, red
                                 0x33, 0x10, 0, 0};  // top: red, red, blue
  TDIB d;
  ASSERT_TRUE(Load(d, Bmp(Info(12, 3, 2, 4), pal.b, pixels)));
  EXPECT_EQ(d.BitCount(), 4);
  EXPECT_EQ(d.Pixel(0, 0), kRed);
  EXPECT_EQ(d.Pixel(2, 0), kBlue);
  EXPECT_EQ(d.Pixel(0, 1), kBlue);
  EXPECT_EQ(d.Pixel(1, 1), kGreen);
  EXPECT_EQ(d.Pixel(2, 1), kRed);

  // 1 bit, width 10: two bytes of bits per row, padded to four.
  TBytes pal1;
  pal1.Raw({0, 0, 0, 255, 255, 255});
  std::vector<uint8_t> bits1 = {0x80, 0x40, 0, 0, 0xFF, 0xC0, 0, 0};
  ASSERT_TRUE(Load(d, Bmp(Info(12, 10, 2, 1), pal1.b, bits1)));
  EXPECT_EQ(d.Pixel(0, 1), kWhite);
  EXPECT_EQ(d.Pixel(1, 1), kBlack);
  EXPECT_EQ(d.Pixel(9, 1), kWhite);
  EXPECT_EQ(d.Pixel(8, 1), kBlack);
  EXPECT_EQ(d.Pixel(9, 0), kWhite);
}

TEST(DibBmp, BitFieldsKeep555And565AndConvertOtherMasks) {
  TDIB d;
  // 5-6-5 with the masks after a 40-byte header.
  TBytes m565;
  m565.U32(0xF800).U32(0x07E0).U32(0x001F);
  ASSERT_TRUE(Load(d, Bmp(Info(40, 2, 1, 16, 3), m565.b, {0x00, 0xF8, 0xE0, 0x07})));
  EXPECT_EQ(d.BitCount(), 16);
  EXPECT_EQ(d.PixelFormat(), pf565);
  EXPECT_EQ(d.Pixel(0, 0), kRed);
  EXPECT_EQ(d.Pixel(1, 0), kGreen);

  // 5-5-5 masks in a V3 header.
  ASSERT_TRUE(Load(d, Bmp(Info(56, 2, 1, 16, 3, 0, {0x7C00, 0x03E0, 0x001F, 0}), {}, {0x00, 0x7C, 0x1F, 0x00})));
  EXPECT_EQ(d.PixelFormat(), pf555);
  EXPECT_EQ(d.Pixel(0, 0), kRed);
  EXPECT_EQ(d.Pixel(1, 0), kBlue);

  // Plain 16 bits without masks are 5-5-5.
  ASSERT_TRUE(Load(d, Bmp(Info(40, 2, 1, 16), {}, {0x00, 0x7C, 0xE0, 0x03})));
  EXPECT_EQ(d.PixelFormat(), pf555);
  EXPECT_EQ(d.Pixel(1, 0), kGreen);

  // 4-4-4 in a V2 header: no alpha, so 24 bits. 0x0F80 = red 15, green 8, blue 0.
  ASSERT_TRUE(Load(d, Bmp(Info(52, 1, 1, 16, 3, 0, {0x0F00, 0x00F0, 0x000F, 0}), {}, {0x80, 0x0F, 0, 0})));
  EXPECT_EQ(d.BitCount(), 24);
  EXPECT_EQ(d.Pixel(0, 0), RGBColor(255, 136, 0));

  // 4-4-4-4 with alpha (BI_ALPHABITFIELDS, four masks after the header): 32 bits.
  TBytes m4444;
  m4444.U32(0x0F00).U32(0x00F0).U32(0x000F).U32(0xF000);
  ASSERT_TRUE(Load(d, Bmp(Info(40, 1, 1, 16, 6), m4444.b, {0x00, 0x8F, 0, 0})));
  EXPECT_EQ(d.BitCount(), 32);
  EXPECT_EQ(d.Pixel(0, 0), kRed);
  EXPECT_EQ(d.Bits()[3], 136);

  // R,G,B,A byte order in a V4 header.
  ASSERT_TRUE(Load(d, Bmp(Info(108, 1, 1, 32, 3, 0, {0xFF, 0xFF00, 0xFF0000, 0xFF000000u}), {},
                          {10, 20, 30, 40})));
  EXPECT_EQ(d.BitCount(), 32);
  EXPECT_EQ(d.Pixel(0, 0), RGBColor(10, 20, 30));
  EXPECT_EQ(d.Bits()[3], 40);

  // Standard 8-8-8 masks keep the bytes as they are.
  ASSERT_TRUE(Load(d, Bmp(Info(124, 1, 1, 32, 3, 0, {0xFF0000, 0xFF00, 0xFF, 0}), {}, {10, 20, 30, 0})));
  EXPECT_EQ(d.BitCount(), 32);
  EXPECT_EQ(d.Pixel(0, 0), RGBColor(30, 20, 10));

  // No colour mask at all, or masks missing from the file: refused.
  EXPECT_FALSE(Load(d, Bmp(Info(56, 1, 1, 16, 3, 0, {0, 0, 0, 0xFFFF}), {}, {0, 0, 0, 0})));
  std::vector<uint8_t> cut = Bmp(Info(40, 1, 1, 16, 3), {}, {});
  EXPECT_FALSE(Load(d, cut));
}

TEST(DibBmp, DecodesRle8WithDeltaAndClipsRunsPastTheEdge) {
  // 6 x 4, palette: black, red, green, blue.
  std::vector<uint8_t> rle = {
      0x03, 0x01,                          // bottom row: 3 x red
      0x00, 0x03, 0x02, 0x03, 0x01, 0x00,  // absolute: green, blue, red (+ pad)
      0x00, 0x00,                          // end of line -> row 1
      0x00, 0x02, 0x02, 0x01,              // delta: right 2, up 1 -> row 2, x 2
      0x02, 0x03,                          // 2 x blue
      0x00, 0x00,                          // end of line -> row 3 (top)
      0x0A, 0x02,                          // 10 x green: clipped at 6
      0x00, 0x01};                         // end of bitmap
  TDIB d;
  ASSERT_TRUE(Load(d, Bmp(Info(40, 6, 4, 8, 1, 4), Quads({kBlack, kRed, kGreen, kBlue}), rle)));
  EXPECT_EQ(d.BitCount(), 8);
  for (int x = 0; x < 6; ++x) EXPECT_EQ(d.Pixel(x, 0), kGreen) << x;
  EXPECT_EQ(d.Pixel(1, 1), kBlack);
  EXPECT_EQ(d.Pixel(2, 1), kBlue);
  EXPECT_EQ(d.Pixel(3, 1), kBlue);
  EXPECT_EQ(d.Pixel(4, 1), kBlack);
  for (int x = 0; x < 6; ++x) EXPECT_EQ(d.Pixel(x, 2), kBlack) << x;
  const TColor bottom[6] = {kRed, kRed, kRed, kGreen, kBlue, kRed};
  for (int x = 0; x < 6; ++x) EXPECT_EQ(d.Pixel(x, 3), bottom[x]) << x;
  EXPECT_EQ(d.RowSize(), 8);
  EXPECT_EQ(d.Bits()[6], 0);  // row padding untouched by the clipped run

  // A delta far past the picture ends decoding without writing anything.
  std::vector<uint8_t> farDelta = {0x02, 0x01, 0x00, 0x02, 0xFF, 0xFF, 0x05, 0x02, 0x00, 0x01};
  ASSERT_TRUE(Load(d, Bmp(Info(40, 6, 4, 8, 1, 4), Quads({kBlack, kRed, kGreen, kBlue}), farDelta)));
  EXPECT_EQ(d.Pixel(1, 3), kRed);
  EXPECT_EQ(d.Pixel(2, 3), kBlack);

  // RLE rows cannot run top-down; the absolute run must be complete.
  TDIB s = Sentinel();
  EXPECT_FALSE(Load(s, Bmp(Info(40, 6, -4, 8, 1, 4), Quads({kBlack, kRed}), rle)));
  EXPECT_FALSE(Load(s, Bmp(Info(40, 6, 4, 8, 1, 4), Quads({kBlack, kRed}), {0x00, 0x05, 0x01, 0x01})));
  EXPECT_TRUE(s == Sentinel());
}

TEST(DibBmp, DecodesRle4AlternatingRunsAndOddAbsoluteRuns) {
  std::vector<uint8_t> pal = Quads({kBlack, kRed, kGreen, kBlue, kWhite, RGBColor(9, 9, 9)});
  std::vector<uint8_t> rle = {
      0x05, 0x12,                    // bottom row: red, green, red, green, red
      0x00, 0x00,                    // end of line
      0x00, 0x02, 0x01, 0x00,        // delta right 1
      0x00, 0x03, 0x34, 0x50,        // absolute: blue, white, grey
      0x00, 0x01};                   // end of bitmap
  TDIB d;
  ASSERT_TRUE(Load(d, Bmp(Info(40, 5, 2, 4, 2, 6), pal, rle)));
  EXPECT_EQ(d.BitCount(), 4);
  const TColor bottom[5] = {kRed, kGreen, kRed, kGreen, kRed};
  for (int x = 0; x < 5; ++x) EXPECT_EQ(d.Pixel(x, 1), bottom[x]) << x;
  const TColor top[5] = {kBlack, kBlue, kWhite, RGBColor(9, 9, 9), kBlack};
  for (int x = 0; x < 5; ++x) EXPECT_EQ(d.Pixel(x, 0), top[x]) << x;
}

TEST(DibBmp, SavesAndReloadsEveryDepth) {
  TTempDir tmp;
  for (int bits : {1, 4, 8, 16, 24, 32}) {
    for (TDIBPixelFormat pf : {pf555, pf565}) {
      if (bits != 16 && pf == pf565) continue;
      TDIB d(7, 5, bits);
      if (bits == 16) d.SetPixelFormat(pf);
      if (bits <= 8) d.Palette()[1] = TRGBQuad{10, 200, 30, 0};
      for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) d.SetPixel(x, y, RGBColor(x * 36, y * 60, (x * y * 20) & 0xFF));
      std::string file = tmp.File("d" + std::to_string(bits) + ".bmp");
      ASSERT_TRUE(d.SaveToFile(file));
      TDIB back;
      ASSERT_TRUE(back.LoadFromFile(file)) << bits;
      EXPECT_TRUE(back == d) << bits << " " << pf;
      EXPECT_EQ(back.PixelFormat(), d.PixelFormat());
      std::vector<uint8_t> bytes = d.SaveToBmpBytes();
      EXPECT_EQ(bytes.size(), ReadBytes(file).size());
      EXPECT_EQ(bytes[0x1E], bits == 16 && pf == pf565 ? 3 : 0) << "compression";
      EXPECT_EQ(bytes[0x0A] | (bytes[0x0B] << 8), 54 + (bits <= 8 ? 4 << bits : 0) + (pf == pf565 ? 12 : 0));
    }
  }
  TDIB empty;
  EXPECT_TRUE(empty.SaveToBmpBytes().empty());
  EXPECT_FALSE(empty.SaveToFile(tmp.File("empty.bmp")));
  EXPECT_FALSE(TDIB(2, 2, 24).SaveToFile(tmp.File("no/such/dir.bmp")));
  EXPECT_FALSE(empty.LoadFromFile(tmp.File("missing.bmp")));
}

TEST(DibBmp, RefusesLyingHeadersWithoutTouchingThePicture) {
  auto refused = [](const std::vector<uint8_t>& f) {
    TDIB d = Sentinel();
    bool ok = Load(d, f);
    return !ok && d == Sentinel();
  };
  std::vector<uint8_t> px(64, 0x40);
  EXPECT_TRUE(refused(Bmp(Info(40, 100000, 100000, 24), {}, px)));
  EXPECT_TRUE(refused(Bmp(Info(40, 2, -100000, 24), {}, px)));
  EXPECT_TRUE(refused(Bmp(Info(40, 2, INT_MIN, 24), {}, px)));
  EXPECT_TRUE(refused(Bmp(Info(40, 0, 2, 24), {}, px)));
  EXPECT_TRUE(refused(Bmp(Info(40, -2, 2, 24), {}, px)));
  EXPECT_TRUE(refused(Bmp(Info(40, 2, 0, 24), {}, px)));
  EXPECT_TRUE(refused(Bmp(Info(40, kMaxDibSide + 1, 1, 8), {}, px)));
  EXPECT_TRUE(refused(Bmp(Info(40, 20000, 20000, 1), {}, px)));  // past kMaxDibPixels
  // Sizes within the limits but far more pixels than bytes: refused before allocating.
  EXPECT_TRUE(refused(Bmp(Info(40, 3000, -3000, 24), {}, px)));
  EXPECT_TRUE(refused(Bmp(Info(40, 16384, 16384, 8, 1), Quads({kRed}), {0x00, 0x01})));
  for (int bits : {0, 2, 7, 12, 48, 64}) EXPECT_TRUE(refused(Bmp(Info(40, 2, 2, bits), {}, px))) << bits;
  for (uint32_t comp : {4u, 5u, 11u, 0xFFFFFFFFu}) EXPECT_TRUE(refused(Bmp(Info(40, 2, 2, 24, comp), {}, px)));
  EXPECT_TRUE(refused(Bmp(Info(40, 2, 2, 8, 2), {}, px)));   // RLE4 needs 4 bits
  EXPECT_TRUE(refused(Bmp(Info(40, 2, 2, 24, 3), {}, px)));  // bit fields need 16 or 32
  EXPECT_TRUE(refused(Bmp(Info(64, 2, 2, 16, 3), {}, px)));  // OS/2 Huffman
  EXPECT_TRUE(refused(Bmp(Info(40, 2, 2, 8, 0, 0xFFFFFFFFu), {}, px)));
  EXPECT_TRUE(refused(Bmp(Info(40, 2, 2, 8, 0, 1000), {}, px)));
  // A palette running past the end of the file.
  EXPECT_TRUE(refused(Bmp(Info(40, 2, 2, 8), Quads({kRed, kGreen}), {1, 1, 0, 0, 1, 1, 0, 0}, 0)));
  // An 8-bit picture whose one missing padding byte of the last row is forgiven.
  TDIB d;
  EXPECT_TRUE(Load(d, Bmp(Info(40, 3, 2, 8, 0, 1), Quads({kRed}), {0, 0, 0, 0, 0, 0, 0})));
  EXPECT_FALSE(Load(d, Bmp(Info(40, 3, 2, 8, 0, 1), Quads({kRed}), {0, 0, 0, 0, 0, 0})));
}

TEST(DibBmp, DamagedFilesNeverCrash) {
  std::vector<std::vector<uint8_t>> good;
  good.push_back(Bmp(Info(40, 2, 2, 24), {}, kPixels2x2));
  good.push_back(Bmp(Info(40, 3, -2, 8, 0, 3), Quads({kRed, kGreen, kBlue}), {0, 1, 2, 0, 2, 1, 0, 0}));
  good.push_back(Bmp(Info(40, 6, 4, 8, 1, 2), Quads({kBlack, kRed}),
                     {0x03, 0x01, 0x00, 0x03, 0x01, 0x00, 0x01, 0x00, 0x00, 0x02, 0x02, 0x01, 0x09, 0x01, 0x00, 0x01}));
  good.push_back(Bmp(Info(40, 5, 2, 4, 2, 2), Quads({kBlack, kRed}),
                     {0x05, 0x10, 0x00, 0x00, 0x00, 0x03, 0x11, 0x10, 0x00, 0x01}));
  TBytes m;
  m.U32(0xF800).U32(0x07E0).U32(0x001F);
  good.push_back(Bmp(Info(40, 2, 1, 16, 3), m.b, {1, 2, 3, 4}));
  good.push_back(Bmp(Info(12, 2, 2, 8), std::vector<uint8_t>(768, 7), {1, 2, 0, 0, 3, 4, 0, 0}));
  good.push_back(Bmp(Info(108, 1, 1, 32, 3, 0, {0xF0, 0xFF00, 0xFF0000, 0}), {}, {1, 2, 3, 4}));

  auto check = [](const std::vector<uint8_t>& f) {
    TDIB d = Sentinel();
    if (Load(d, f)) {
      ASSERT_FALSE(d.Empty());
      ASSERT_EQ(d.ImageSize(), static_cast<size_t>(d.RowSize()) * d.Height());
      TDIB rgb = d.ConvertTo(24);
      ASSERT_EQ(rgb.Pixel(d.Width() - 1, d.Height() - 1), d.Pixel(d.Width() - 1, d.Height() - 1));
    } else {
      ASSERT_TRUE(d == Sentinel());
    }
  };
  for (const auto& f : good) {
    TDIB d;
    ASSERT_TRUE(Load(d, f));
    for (size_t len = 0; len < f.size(); ++len) check(std::vector<uint8_t>(f.begin(), f.begin() + len));
    // Every header byte set to each of a few telling values.
    for (size_t i = 0; i < std::min<size_t>(f.size(), 70); ++i)
      for (int v : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
        std::vector<uint8_t> g = f;
        g[i] = static_cast<uint8_t>(v);
        check(g);
      }
  }
  // Random damage anywhere, deterministic.
  uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
  for (int round = 0; round < 3000; ++round) {
    std::vector<uint8_t> g = good[next() % good.size()];
    for (int k = 0, n = 1 + next() % 4; k < n; ++k) g[next() % g.size()] = static_cast<uint8_t>(next() >> 24);
    check(g);
  }
}

namespace {

// Loads a BMP made by ffmpeg and compares every pixel with ffmpeg's own decoding of it.
void CompareWithFfmpeg(const std::string& pixFmt, int tolerance, int expectBits) {
  TTempDir tmp;
  std::string bmp = tmp.File(pixFmt + ".bmp"), raw = tmp.File(pixFmt + ".rgb");
  auto r = RunCommand("ffmpeg -v error -y -f lavfi -i testsrc=size=64x48 -frames:v 1 -pix_fmt " + pixFmt + " " +
                      Quote(bmp));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  r = RunCommand("ffmpeg -v error -y -i " + Quote(bmp) + " -f rawvideo -pix_fmt rgb24 " + Quote(raw));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  std::vector<uint8_t> ref = ReadBytes(raw);
  ASSERT_EQ(ref.size(), 64u * 48 * 3);
  TDIB d;
  ASSERT_TRUE(d.LoadFromFile(bmp)) << pixFmt;
  ASSERT_EQ(d.Width(), 64);
  ASSERT_EQ(d.Height(), 48);
  EXPECT_EQ(d.BitCount(), expectBits) << pixFmt;
  int worst = 0;
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) {
      const uint8_t* p = &ref[static_cast<size_t>(y * 64 + x) * 3];
      TColor c = d.Pixel(x, y);
      worst = std::max({worst, std::abs(GetRValue(c) - p[0]), std::abs(GetGValue(c) - p[1]),
                        std::abs(GetBValue(c) - p[2])});
    }
  EXPECT_LE(worst, tolerance) << pixFmt;
}

}  // namespace

TEST(DibBmp, ReadsWhatFfmpegWrites) {
  REQUIRE_PROGRAM("ffmpeg");
  CompareWithFfmpeg("bgr24", 0, 24);
  CompareWithFfmpeg("bgra", 0, 32);
  CompareWithFfmpeg("pal8", 0, 8);
  CompareWithFfmpeg("bgr8", 0, 8);
  CompareWithFfmpeg("gray", 0, 8);
  CompareWithFfmpeg("monob", 0, 1);
  CompareWithFfmpeg("rgb555le", 7, 16);
  CompareWithFfmpeg("rgb565le", 7, 16);
  CompareWithFfmpeg("rgb444le", 15, 24);  // ffmpeg widens 4 bits as v * 16, we as v * 17
}

TEST(DibBmp, FfmpegReadsWhatWeWrite) {
  REQUIRE_PROGRAM("ffmpeg");
  REQUIRE_PROGRAM("ffprobe");
  TTempDir tmp;
  TDIB d(37, 23, 24);
  for (int y = 0; y < 23; ++y)
    for (int x = 0; x < 37; ++x) d.SetPixel(x, y, RGBColor(x * 7, y * 11, (x + y) * 3));
  for (int bits : {1, 4, 8, 16, 24, 32}) {
    for (TDIBPixelFormat pf : {pf555, pf565}) {
      if (bits != 16 && pf == pf565) continue;
      TDIB c = d.ConvertTo(bits, pf);
      std::string file = tmp.File("w" + std::to_string(bits) + (pf == pf565 ? "565" : "") + ".bmp");
      ASSERT_TRUE(c.SaveToFile(file));
      auto r = RunCommand("ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0 " +
                          Quote(file));
      ASSERT_EQ(r.exitCode, 0) << r.output;
      EXPECT_EQ(r.output, "37,23\n") << bits;
      std::string raw = file + ".rgb";
      r = RunCommand("ffmpeg -v error -y -i " + Quote(file) + " -f rawvideo -pix_fmt rgb24 " + Quote(raw));
      ASSERT_EQ(r.exitCode, 0) << r.output;
      std::vector<uint8_t> ref = ReadBytes(raw);
      ASSERT_EQ(ref.size(), 37u * 23 * 3);
      int worst = 0;
      for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 37; ++x) {
          const uint8_t* p = &ref[static_cast<size_t>(y * 37 + x) * 3];
          TColor col = c.Pixel(x, y);
          worst = std::max({worst, std::abs(GetRValue(col) - p[0]), std::abs(GetGValue(col) - p[1]),
                            std::abs(GetBValue(col) - p[2])});
        }
      // ffmpeg widens 16-bit pixels its own way; everything else must match exactly.
      EXPECT_LE(worst, bits == 16 ? 7 : 0) << bits << " " << pf;
    }
  }
}
