// "movara frame": one film frame of a project written through the model.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/AppPaths.h"
#include "media/ResourceLists.h"
#include "pages/PageRecord.h"
#include "persist/ProjectFile.h"
#include "project/ClipBox.h"
#include "project/Layers.h"
#include "script/ScriptCommands.h"
#include "script/ScriptTestMedia.h"

namespace movara {
namespace {

using test::TTempDir;

bool Near(TColor a, TColor b, int tol) {
  return std::abs(GetRValue(a) - GetRValue(b)) <= tol && std::abs(GetGValue(a) - GetGValue(b)) <= tol &&
         std::abs(GetBValue(a) - GetBValue(b)) <= tol;
}

std::string Halves(const TTempDir& dir, const std::string& name, TColor left, TColor right) {
  TDIB d(64, 48, 24);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) d.SetPixel(x, y, x < 32 ? left : right);
  const std::string file = dir.File(name);
  d.SaveToFile(file);
  return file;
}

const TColor Red = RGBColor(255, 0, 0), Blue = RGBColor(0, 0, 255);

// Also for a picture whose name holds control characters: the script keeps them
// escaped on the picture's own line.
class RenderThreadCommand : public ::testing::TestWithParam<const char*> {};

TEST_P(RenderThreadCommand, FrameOfAProject) {
  TTempDir dir;
  CreateResourceLists();
  const std::string bmp = Halves(dir, GetParam(), Red, Blue);
  const std::string project = dir.File("film.mvf");
  {
    TClipBox clips;
    TLayerBox box;
    TClipGraphic* p = clips.AddFile(bmp);
    ASSERT_TRUE(p);
    box.RowByNumber(lnFirstClipTop)->InsertLayerItem(0, false, true, false, box.DefaultFx3dID(), p, 50);
    TClipBoxResources resources(clips);
    TProjectStream out(project, nullptr, &resources, &box, false);
    ASSERT_TRUE(out.WriteProject(project));
  }
  if (!FileExists(test::MovaraProgram())) GTEST_SKIP() << "movara not built";
  const std::string prog = test::Quote(test::MovaraProgram());
  const auto script = test::RunCommand(prog + " script " + test::Quote(project));
  ASSERT_EQ(script.exitCode, 0) << script.output;
  EXPECT_NE(script.output.find("\r\nBmp " + EncodeScriptFileName(bmp) + " 2000\r\n"), std::string::npos)
      << script.output;
  const std::string bmpOut = dir.File("frame.bmp");
  const auto r = test::RunCommand(prog + " frame " + test::Quote(project) + " --at 400 -o " + test::Quote(bmpOut) +
                                  " --size 50x30");
  ASSERT_EQ(r.exitCode, 0) << r.output;
  TDIB got;
  ASSERT_TRUE(got.LoadFromFile(bmpOut));
  EXPECT_EQ(got.Width(), 50);
  EXPECT_EQ(got.Height(), 30);
  EXPECT_TRUE(Near(got.Pixel(10, 15), Red, 6)) << std::hex << got.Pixel(10, 15);
  EXPECT_TRUE(Near(got.Pixel(40, 15), Blue, 6)) << std::hex << got.Pixel(40, 15);

  const auto bad = test::RunCommand(prog + " frame " + test::Quote(project) + " -o " + test::Quote(bmpOut));
  EXPECT_EQ(bad.exitCode, 2);
  const auto badScript = test::RunCommand(prog + " frame " + test::Quote(bmp) + " --at 0 -o " + test::Quote(bmpOut));
  EXPECT_EQ(badScript.exitCode, 1);  // a picture is no script: no frame
}

// The script of a project needs its title pages as clips only: "movara script" draws
// none (the page draws when a frame is made).
TEST(ScriptCommand, DrawsNoTitlePage) {
  TTempDir dir;
  CreateResourceLists();
  TFontItem item;
  item.Text = "Koniec";
  item.FontName = "Arial";
  item.FontSize = 60;
  item.PosX = 100;
  item.PosY = 100;
  const std::vector<const TFontItem*> items = {&item};
  const std::string page = dir.File("title.pte");
  test::WriteBytes(page, WritePageBytes(psVideo, RGBColor(0, 0, 64), items));
  const std::string project = dir.File("film.mvf");
  {
    TClipBox clips;
    TLayerBox box;
    TClipGraphic* p = clips.AddFile(page);
    ASSERT_TRUE(p);
    box.RowByNumber(lnFirstClipTop)->InsertLayerItem(0, false, true, false, box.DefaultFx3dID(), p, 50);
    TClipBoxResources resources(clips);
    TProjectStream out(project, nullptr, &resources, &box, false);
    ASSERT_TRUE(out.WriteProject(project));
  }
  if (!FileExists(test::MovaraProgram())) GTEST_SKIP() << "movara not built";
  const std::string prog = "MOVARA_TRACE=1 " + test::Quote(test::MovaraProgram());
  const auto script = test::RunCommand(prog + " script " + test::Quote(project));
  ASSERT_EQ(script.exitCode, 0) << script.output;
  EXPECT_NE(script.output.find("\r\nBmp " + EncodeScriptFileName(page) + " 2000\r\n"), std::string::npos);
  EXPECT_EQ(script.output.find("[TPageEditBox.RenderToBitmap]"), std::string::npos) << script.output;
  const auto frame =
      test::RunCommand(prog + " frame " + test::Quote(project) + " --at 0 -o " + test::Quote(dir.File("f.bmp")));
  ASSERT_EQ(frame.exitCode, 0) << frame.output;
  EXPECT_NE(frame.output.find("[TPageEditBox.RenderToBitmap] 1 items on 720 x 576"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Names, RenderThreadCommand, ::testing::Values("still.bmp", "a\nb\rc\td\x7f e.bmp"),
                         [](const ::testing::TestParamInfo<const char*>& i) {
                           return std::string(i.index == 0 ? "Plain" : "ControlCharacters");
                         });

}  // namespace
}  // namespace movara
