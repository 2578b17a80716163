#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "base/AppPaths.h"
#include "base/GifFile.h"
#include "base/JpegFile.h"
#include "fx3d/DDUtils.h"
#include "support/TestSupport.h"

using namespace movara;

namespace {

// A 24-bit picture whose every row is different.
TDIB RowStripes(int width, int height) {
  TDIB d(width, height, 24);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) d.SetPixel(x, y, RGBColor(y * 20, x * 30, 7));
  return d;
}

}  // namespace

TEST(ResultText, NamesCodesWithHighAndLowHalves) {
  EXPECT_EQ(ResultText(0x80004005u), "DDERR_GENERIC = $80004005 (8000 + 16389).");
  EXPECT_EQ(ResultText(0x88760316u), "D3DRMERR_BADVALUE = $88760316 (8876 + 790).");
  EXPECT_EQ(ResultText(0x887601C2u), "DDERR_SURFACELOST = $887601C2 (8876 + 450).");
  EXPECT_EQ(ResultText(0x80070057u), "DDERR_INVALIDPARAMS = $80070057 (8007 + 87).");
  EXPECT_EQ(ResultText(0x8007000Eu), "DDERR_OUTOFMEMORY = $8007000E (8007 + 14).");
  EXPECT_EQ(ResultText(0x80004001u), "DDERR_UNSUPPORTED = $80004001 (8000 + 16385).");
  EXPECT_EQ(ResultText(0x800401F0u), "DDERR_NOTINITIALIZED = $800401F0 (8004 + 496).");
  EXPECT_EQ(ResultText(0x88760005u), "DDERR_ALREADYINITIALIZED = $88760005 (8876 + 5).");
  EXPECT_EQ(ResultText(0x8876030Du), "D3DRMERR_BADOBJECT = $8876030D (8876 + 781).");
  EXPECT_EQ(ResultText(0x8876032Cu), "D3DRMERR_NOTAGGREGATED = $8876032C (8876 + 812).");
}

TEST(ResultText, UnknownAndSuccessCodes) {
  EXPECT_EQ(ResultText(0x12345678u), "Unknown code = $12345678 (1234 + 22136).");
  EXPECT_EQ(ResultText(0), "Unknown code = $0 (0 + 0).");
  // Neighbours of table entries are not in it.
  EXPECT_EQ(ResultText(0x8876032Du).rfind("Unknown code = $", 0), 0u);
  EXPECT_EQ(ResultText(0x887602B9u).rfind("Unknown code = $", 0), 0u);  // only in later headers
}

TEST(ResultText, TableHasOneEntryPerNameAndCode) {
  const auto& table = ResultCodeTable();
  ASSERT_EQ(table.size(), 142u);
  std::set<std::string> names;
  std::set<uint32_t> codes;
  for (const auto& e : table) {
    EXPECT_TRUE(names.insert(e.Name).second) << e.Name;
    EXPECT_TRUE(codes.insert(e.Code).second) << e.Name;
    EXPECT_NE(e.Code, 0u);
  }
  EXPECT_STREQ(table.front().Name, "DDERR_ALREADYINITIALIZED");
  EXPECT_STREQ(table[109].Name, "DDERR_NOTINITIALIZED");
  EXPECT_STREQ(table[110].Name, "D3DRMERR_BADOBJECT");
  EXPECT_STREQ(table.back().Name, "D3DRMERR_NOTAGGREGATED");
  // The Retained Mode codes are consecutive.
  for (size_t i = 110; i < table.size(); ++i) EXPECT_EQ(table[i].Code, 0x8876030Du + (i - 110));
}

TEST(CheckResult, RaisesWithTheTextAndItsPlace) {
  EXPECT_NO_THROW(CheckResult(0));
  EXPECT_NO_THROW(CheckResultAt(0, "Render"));
  try {
    CheckResult(0x887601C2u);
    FAIL() << "no exception";
  } catch (const ED3DRM& e) {
    EXPECT_STREQ(e.what(), "DDERR_SURFACELOST = $887601C2 (8876 + 450).");
  }
  try {
    CheckResultAt(0x88760316u, "TFx3d.Init");
    FAIL() << "no exception";
  } catch (const ED3DRM& e) {
    EXPECT_STREQ(e.what(), "[TFx3d.Init] D3DRMERR_BADVALUE = $88760316 (8876 + 790).");
  }
}

TEST(FlipDIBVertical, SwapsRowsAndRestoresWhenTwice) {
  TDIB one = RowStripes(5, 1);
  TDIB oneCopy = one;
  FlipDIBVertical(one);
  EXPECT_EQ(one, oneCopy);

  for (int h : {2, 3, 4}) {
    TDIB d = RowStripes(3, h);
    const TDIB orig = d;
    FlipDIBVertical(d);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < 3; ++x) EXPECT_EQ(d.Pixel(x, y), orig.Pixel(x, h - 1 - y)) << h;
    FlipDIBVertical(d);
    EXPECT_EQ(d, orig) << h;
  }
  TDIB empty;
  FlipDIBVertical(empty);
  EXPECT_TRUE(empty.Empty());
}

TEST(CopyRowsToDIB, TopDownSourceEndsUpright) {
  TDIB d(3, 3, 24);  // 9 bytes a row padded to 12
  ASSERT_EQ(d.RowSize(), 12);
  std::vector<uint8_t> src(static_cast<size_t>(d.RowSize()) * 3);
  for (int row = 0; row < 3; ++row)
    for (int i = 0; i < d.RowSize(); ++i) src[static_cast<size_t>(row * d.RowSize() + i)] = uint8_t(row * 50 + i);
  CopyRowsToDIB(src.data(), d);
  // The first source row is the top of the picture, stored last.
  for (int row = 0; row < 3; ++row) EXPECT_EQ(d.ScanLine(row)[4], uint8_t(row * 50 + 4));
  EXPECT_EQ(d.Bits()[0], uint8_t(100));
  // Blue, green, red of the top-left pixel are the first three source bytes.
  EXPECT_EQ(d.Pixel(0, 0), RGBColor(2, 1, 0));
}

TEST(PaletteColor, IndexedDeepAndMissingPictures) {
  TDIB d8(2, 2, 8);
  d8.Palette()[255] = TRGBQuad{30, 20, 10, 0};  // blue, green, red
  d8.Palette()[0] = TRGBQuad{1, 2, 3, 0};
  EXPECT_EQ(PaletteColor(&d8, 255), RGBColor(10, 20, 30));
  EXPECT_EQ(PaletteColor(&d8, 0), RGBColor(3, 2, 1));
  EXPECT_EQ(PaletteColor(&d8, 256), 0u);
  EXPECT_EQ(PaletteColor(&d8, -1), 0u);
  EXPECT_EQ(PaletteColor(nullptr, 5), 0u);
  TDIB d24(2, 2, 24);
  EXPECT_EQ(PaletteColor(&d24, 0x123456), 0x123456u);
  EXPECT_EQ(PaletteColor(&d24, 300), 300u);
  // A 4-bit palette has 16 entries: beyond them there is no colour to read.
  TDIB d4(2, 2, 4);
  EXPECT_EQ(PaletteColor(&d4, 15), RGBColor(255, 255, 255));
  EXPECT_EQ(PaletteColor(&d4, 200), 0u);
}

TEST(SavePictureFile, NameWithoutKnownExtensionBecomesBmp) {
  test::TTempDir tmp;
  TDIB d = RowStripes(4, 3);
  std::string name = tmp.File("obraz");
  ASSERT_TRUE(SavePictureFile(d, name, false));
  EXPECT_EQ(name, tmp.File("obraz.Bmp"));
  TDIB back;
  ASSERT_TRUE(back.LoadFromFile(name));
  EXPECT_EQ(back, d);

  std::string txt = tmp.File("notes.txt");
  ASSERT_TRUE(SavePictureFile(d, txt, false));
  EXPECT_EQ(txt, tmp.File("notes.txt.Bmp"));
}

TEST(SavePictureFile, SavedFolderTakesTheBareName) {
  test::TTempDir tmp;
  TDIB d = RowStripes(8, 6);
  std::string name = "/no/such/folder/klatka.jpg";
  ASSERT_TRUE(SavePictureFile(d, name, true));
  EXPECT_EQ(name, UserFolder() + "AppData/Zapisane Obrazki/klatka.jpg");
  std::vector<uint8_t> bytes = test::ReadBytes(name);
  TDIB back;
  ASSERT_TRUE(LoadJpegFromBytes(bytes.data(), bytes.size(), back));
  EXPECT_EQ(back.Width(), 8);
  EXPECT_EQ(back.Height(), 6);
}

TEST(SavePictureFile, GifAndRefusals) {
  test::TTempDir tmp;
  TDIB d8(5, 4, 8);
  d8.Palette()[9] = TRGBQuad{0, 0, 255, 0};
  d8.Bits()[0] = 9;
  std::string gif = tmp.File("p.GIF");
  ASSERT_TRUE(SavePictureFile(d8, gif, false));
  std::vector<uint8_t> bytes = test::ReadBytes(gif);
  TDIB back;
  ASSERT_TRUE(LoadGifFromBytes(bytes.data(), bytes.size(), back));
  EXPECT_EQ(back.Width(), 5);
  EXPECT_EQ(back.Height(), 4);
  EXPECT_EQ(back.Pixel(0, 3), RGBColor(255, 0, 0));

  // A known kind that is not a picture writes nothing.
  std::string avi = tmp.File("p.avi");
  EXPECT_FALSE(SavePictureFile(d8, avi, false));
  EXPECT_FALSE(FileExists(avi));
  // Neither does an empty picture or a folder that does not exist.
  std::string empty = tmp.File("e.bmp");
  EXPECT_FALSE(SavePictureFile(TDIB(), empty, false));
  EXPECT_FALSE(FileExists(empty));
  std::string nowhere = tmp.File("missing/x.bmp");
  EXPECT_FALSE(SavePictureFile(d8, nowhere, false));
}
