#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/AppPaths.h"
#include "base/FileKind.h"
#include "base/GifFile.h"
#include "base/JpegFile.h"
#include "media/PictureFile.h"
#include "support/TestSupport.h"

using namespace movara;

namespace {

TDIB Sample(int width, int height, TColor colour) {
  TDIB d(width, height, 24);
  d.Fill(colour);
  return d;
}

void SaveBmp(const TDIB& d, const std::string& file) {
  std::filesystem::create_directories(ExtractFilePath(file));
  ASSERT_TRUE(d.SaveToFile(file)) << file;
}

// The data folder of a test: its fallback folders are below it.
class PictureFile : public ::testing::Test {
 protected:
  void SetUp() override { SetDataFolderForTests(tmp_.File("data")); }
  void TearDown() override {
    SetDataFolderForTests("");
    SetTitlePageLoader(nullptr);
  }
  std::string Pictures() const { return tmp_.File("data/AppData/Obrazki/"); }
  test::TTempDir tmp_;
};

}  // namespace

TEST_F(PictureFile, LoadsFromWhereNamedFirst) {
  const TDIB red = Sample(6, 4, RGBColor(255, 0, 0));
  SaveBmp(red, tmp_.File("a.bmp"));
  SaveBmp(Sample(2, 2, RGBColor(0, 0, 255)), Pictures() + "a.bmp");
  std::string path = tmp_.File("a.bmp");
  TDIB d;
  ASSERT_TRUE(LoadPictureFile(d, path, true));
  EXPECT_EQ(path, tmp_.File("a.bmp"));
  EXPECT_EQ(d, red);
}

TEST_F(PictureFile, FallbackFoldersInTurnAndPathWrittenBack) {
  const TDIB inPictures = Sample(3, 3, RGBColor(0, 255, 0));
  const TDIB inMasks = Sample(5, 1, RGBColor(0, 0, 255));
  SaveBmp(inPictures, Pictures() + "both.bmp");
  SaveBmp(Sample(1, 1, 0), Pictures() + "Maski/both.bmp");
  SaveBmp(inMasks, Pictures() + "Maski/mask.BMP");

  std::string path = "/gone/elsewhere/both.bmp";
  TDIB d;
  ASSERT_TRUE(LoadPictureFile(d, path, true));
  EXPECT_EQ(path, Pictures() + "both.bmp");
  EXPECT_EQ(d, inPictures);

  path = "gone/mask.BMP";
  ASSERT_TRUE(LoadPictureFile(d, path, true));
  EXPECT_EQ(path, Pictures() + "Maski/mask.BMP");
  EXPECT_EQ(d, inMasks);

  // Without fallbacks, or with nothing there, nothing is loaded and the path stays.
  path = "/gone/elsewhere/both.bmp";
  TDIB untouched = Sample(2, 2, RGBColor(9, 9, 9));
  EXPECT_FALSE(LoadPictureFile(untouched, path, false));
  EXPECT_EQ(path, "/gone/elsewhere/both.bmp");
  path = "/gone/nowhere.bmp";
  EXPECT_FALSE(LoadPictureFile(untouched, path, true));
  EXPECT_EQ(path, "/gone/nowhere.bmp");
  EXPECT_EQ(untouched, Sample(2, 2, RGBColor(9, 9, 9)));
}

TEST_F(PictureFile, JpegAndGifByExtension) {
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(SaveJpegToBytes(Sample(16, 8, RGBColor(200, 100, 50)), 90, bytes));
  test::WriteBytes(tmp_.File("p.jpeg"), bytes);
  test::WriteBytes(tmp_.File("p.JPG"), bytes);
  TDIB d;
  for (const char* name : {"p.jpeg", "p.JPG"}) {
    std::string path = tmp_.File(name);
    ASSERT_TRUE(LoadPictureFile(d, path, false)) << name;
    EXPECT_EQ(d.Width(), 16);
    EXPECT_EQ(d.Height(), 8);
    EXPECT_EQ(d.BitCount(), 24);
  }
  TDIB g(7, 3, 8);
  ASSERT_TRUE(SaveGifToBytes(g, bytes));
  test::WriteBytes(tmp_.File("p.gif"), bytes);
  std::string path = tmp_.File("p.gif");
  ASSERT_TRUE(LoadPictureFile(d, path, false));
  EXPECT_EQ(d.Width(), 7);
  EXPECT_EQ(d.Height(), 3);
  EXPECT_EQ(d.BitCount(), 8);
}

TEST_F(PictureFile, WrongKindOrDamagedFileLoadsNothing) {
  const TDIB keep = Sample(2, 3, RGBColor(1, 2, 3));
  TDIB d = keep;
  // A real BMP under a name that is not a picture kind.
  SaveBmp(keep, tmp_.File("pic.txt"));
  SaveBmp(keep, tmp_.File("pic.avi"));
  for (const char* name : {"pic.txt", "pic.avi"}) {
    std::string path = tmp_.File(name);
    EXPECT_FALSE(LoadPictureFile(d, path, false)) << name;
  }
  // Damage: garbage, an empty file, a truncated picture, a BMP named .jpg.
  test::WriteBytes(tmp_.File("junk.bmp"), std::vector<uint8_t>(100, 0xAB));
  test::WriteBytes(tmp_.File("empty.gif"), {});
  std::vector<uint8_t> jpeg;
  ASSERT_TRUE(SaveJpegToBytes(keep, 90, jpeg));
  jpeg.resize(jpeg.size() / 3);
  test::WriteBytes(tmp_.File("cut.jpg"), jpeg);
  SaveBmp(keep, tmp_.File("bmp.jpg"));
  for (const char* name : {"junk.bmp", "empty.gif", "cut.jpg", "bmp.jpg"}) {
    std::string path = tmp_.File(name);
    EXPECT_FALSE(LoadPictureFile(d, path, false)) << name;
  }
  EXPECT_EQ(d, keep);
  // A folder named like a picture is not a file.
  std::filesystem::create_directories(tmp_.File("dir.bmp"));
  std::string dir = tmp_.File("dir.bmp");
  EXPECT_FALSE(LoadPictureFile(d, dir, true));
}

TEST_F(PictureFile, TitlePagesGoThroughTheRegisteredRenderer) {
  test::WriteBytes(tmp_.File("page.pte"), {1, 2, 3});
  std::string path = tmp_.File("page.pte");
  TDIB d;
  EXPECT_FALSE(LoadPictureFile(d, path, false));

  std::string asked;
  SetTitlePageLoader([&](const std::string& file, TDIB& dib) {
    asked = file;
    dib = Sample(720, 576, RGBColor(0, 0, 0));
    return true;
  });
  ASSERT_TRUE(LoadPictureToBitmap(d, path, false));
  EXPECT_EQ(asked, path);
  EXPECT_EQ(d.Width(), 720);

  // A renderer that fails, even half way, leaves the picture as it was.
  SetTitlePageLoader([](const std::string&, TDIB& dib) {
    dib = Sample(1, 1, 0);
    return false;
  });
  EXPECT_FALSE(LoadPictureFile(d, path, false));
  EXPECT_EQ(d.Width(), 720);
  SetTitlePageLoader([](const std::string&, TDIB&) -> bool { throw std::runtime_error("font"); });
  EXPECT_FALSE(LoadPictureFile(d, path, false));
  EXPECT_EQ(d.Width(), 720);
}

TEST(FileKindOfName, ExtensionDecidesCaseBlind) {
  EXPECT_EQ(FileKindOfName("a.bmp"), fkBmp);
  EXPECT_EQ(FileKindOfName("A.JpG"), fkJpg);
  EXPECT_EQ(FileKindOfName("a.jpeg"), fkJpg);
  EXPECT_EQ(FileKindOfName("x/a.Gif"), fkGif);
  EXPECT_EQ(FileKindOfName("film.avi"), fkAvi);
  EXPECT_EQ(FileKindOfName("s.WAV"), fkWav);
  EXPECT_EQ(FileKindOfName("n.pte"), fkPte);
  EXPECT_EQ(FileKindOfName("p.mvf"), fkMvf);
  EXPECT_EQ(FileKindOfName("obraz"), fkUnknown);
  EXPECT_EQ(FileKindOfName("dir.bmp/obraz"), fkUnknown);
  EXPECT_EQ(FileKindOfName("a.bmp.txt"), fkUnknown);
  EXPECT_EQ(FileNameWithoutExt("dir.x/a.b.bmp"), "dir.x/a.b");
  EXPECT_EQ(FileNameWithoutExt("dir.x/obraz"), "dir.x/obraz");
}
