#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/AppPaths.h"
#include "base/Dib.h"
#include "fx3d/DDUtils.h"
#include "media/ResourceLists.h"
#include "pages/PageRecord.h"
#include "persist/ProjectFile.h"
#include "project/ClipBox.h"
#include "project/Layers.h"
#include "support/TestSupport.h"

using namespace movara;
using movara::test::Quote;
using movara::test::RunCommand;

namespace {

struct TRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs the movara program with stdout and stderr kept apart.
TRun RunMovara(const test::TTempDir& tmp, const std::string& args) {
  const std::string out = tmp.File("stdout.txt");
  const std::string err = tmp.File("stderr.txt");
  TRun r;
  // In a sub-shell, so that RunCommand's own redirection does not merge the two.
  r.exitCode = RunCommand("(" + Quote(test::MovaraProgram()) + " " + args + " >" + Quote(out) +
                          " 2>" + Quote(err) + ")")
                   .exitCode;
  auto o = test::ReadBytes(out);
  auto e = test::ReadBytes(err);
  r.out.assign(o.begin(), o.end());
  r.err.assign(e.begin(), e.end());
  return r;
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

int LineCount(const std::string& text) {
  int n = 0;
  for (char c : text) n += c == '\n';
  return n;
}

// A 720 x 576 test picture made by ffmpeg.
void MakePicture(const std::string& file, const std::string& extra = "") {
  auto r = RunCommand("ffmpeg -v error -y -f lavfi -i testsrc=size=720x576:rate=1 -frames:v 1 " +
                      extra + " " + Quote(file));
  ASSERT_EQ(r.exitCode, 0) << r.output;
}

class CmdInfo : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!FileExists(test::MovaraProgram())) GTEST_SKIP() << "movara program not built";
  }
  test::TTempDir tmp_;
};

}  // namespace

TEST_F(CmdInfo, DescribesPicturesMadeByFfmpeg) {
  REQUIRE_PROGRAM("ffmpeg");
  MakePicture(tmp_.File("a.bmp"), "-pix_fmt bgr24");
  MakePicture(tmp_.File("a.jpg"));
  MakePicture(tmp_.File("a.GIF"));
  struct {
    const char* file;
    const char* line;
  } cases[] = {
      {"a.bmp", "BMP picture 720 x 576, 24 bits"},
      {"a.jpg", "JPEG picture 720 x 576, 24 bits"},
      {"a.GIF", "GIF picture 720 x 576, 8 bits"},
  };
  for (const auto& c : cases) {
    TRun r = RunMovara(tmp_, "info " + Quote(tmp_.File(c.file)));
    EXPECT_EQ(r.exitCode, 0) << c.file << ": " << r.err;
    EXPECT_EQ(FirstLine(r.out), c.line);
    EXPECT_EQ(r.err, "");
  }
}

TEST_F(CmdInfo, FailuresGiveOneLineAndExitCodeTwo) {
  test::WriteBytes(tmp_.File("bad.jpg"), {0xFF, 0xD8, 0xFF, 0x00});
  test::WriteBytes(tmp_.File("notes.txt"), {'h', 'i'});
  for (const std::string& args :
       {"info " + Quote(tmp_.File("missing.bmp")), "info " + Quote(tmp_.File("bad.jpg")),
        "info " + Quote(tmp_.File("notes.txt")), std::string("info"), std::string("frobnicate")}) {
    TRun r = RunMovara(tmp_, args);
    EXPECT_EQ(r.exitCode, 2) << args;
    EXPECT_EQ(LineCount(r.err), 1) << args << ": " << r.err;
    EXPECT_EQ(r.out, "") << args;
  }
}

TEST_F(CmdInfo, SavedPicturesReadBackByFfprobe) {
  REQUIRE_PROGRAM("ffprobe");
  TDIB d(320, 240, 24);
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 320; ++x) d.SetPixel(x, y, RGBColor(x % 256, y, (x + y) % 256));
  for (const char* name : {"s.bmp", "s.jpg", "s.gif"}) {
    std::string file = tmp_.File(name);
    ASSERT_TRUE(SavePictureFile(d, file, false)) << name;
    auto r = RunCommand("ffprobe -v error -select_streams v:0 -show_entries stream=width,height "
                        "-of csv=p=0 " + Quote(file));
    EXPECT_EQ(r.exitCode, 0) << name << ": " << r.output;
    EXPECT_EQ(FirstLine(r.output), "320,240") << name;
    TRun info = RunMovara(tmp_, "info " + Quote(file));
    EXPECT_EQ(info.exitCode, 0) << name;
    EXPECT_NE(FirstLine(info.out).find("picture 320 x 240"), std::string::npos) << info.out;
  }
}

// Texts of the files print on one line: a line break is one \n whatever its form (CR LF
// as the page editor writes, LF, CR), in title pages and in the names a project holds.
TEST_F(CmdInfo, EveryLineBreakPrintsAsOneEscape) {
  TFontItem item;
  item.Text = "Ala\r\nma\nkota\rtab\there \"q\" a\\b";
  const std::vector<uint8_t> page = WritePageBytes(psVideo, 0x000000, {&item});
  test::WriteBytes(tmp_.File("t.pte"), page);
  TRun r = RunMovara(tmp_, "info " + Quote(tmp_.File("t.pte")));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("text \"Ala\\nma\\nkota\\ntab\\there \\\"q\\\" a\\\\b\"\n"), std::string::npos) << r.out;

  // a picture whose name has a CR LF in it, on row A of a project
  CreateResourceLists();
  const std::string picture = tmp_.File("two\r\nlines.bmp");
  ASSERT_TRUE(TDIB(8, 8, 24).SaveToFile(picture));
  {
    TClipBox clips;
    TLayerBox box;
    TClipGraphic* clip = clips.AddFile(picture);
    ASSERT_TRUE(clip);
    box.RowByNumber(lnFirstClipTop)->InsertLayerItem(0, false, false, false, -1, clip, 25);
    TClipBoxResources resources(clips);
    TProjectStream out(tmp_.File("p.mvf"), nullptr, &resources, &box, false);
    ASSERT_TRUE(out.WriteProject(tmp_.File("p.mvf")));
  }
  r = RunMovara(tmp_, "info " + Quote(tmp_.File("p.mvf")));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("two\\nlines.bmp\""), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find('\r'), std::string::npos);
}
