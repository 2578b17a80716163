// The script of a saved project: written, opened again and made into the same script,
// by the library and by "movara script".
#include <gtest/gtest.h>

#include <string>

#include "base/AppPaths.h"
#include "base/UserMessages.h"
#include "media/ResourceLists.h"
#include "persist/ProjectFile.h"
#include "project/ClipBox.h"
#include "project/Layers.h"
#include "script/Script.h"
#include "script/ScriptTestMedia.h"

namespace movara {
namespace {

using test::TTempDir;

TEST(ScriptProject, SavedProjectGivesTheSameScript) {
  REQUIRE_PROGRAM("ffmpeg");
  TTempDir dir;
  CreateResourceLists();
  const std::string avi = test::MakeScriptAvi(dir, "clip a.avi", 100);
  const std::string avi2 = test::MakeScriptAvi(dir, "b.avi", 100);
  const std::string bmp = test::MakeScriptBmp(dir, "still 100%.bmp");
  const std::string wav = test::MakeScriptWav(dir, "s.wav", 3000);
  const std::string project = dir.File("film.mvf");

  std::string made;
  {
    TClipBox clips;
    TLayerBox box;
    TClipGraphic* a = clips.AddFile(avi);
    TClipGraphic* b = clips.AddFile(avi2);
    TClipGraphic* p = clips.AddFile(bmp);
    TClipGraphic* s = clips.AddFile(wav);
    ASSERT_TRUE(a && b && p && s);
    box.RowByNumber(lnFirstClipTop)->InsertLayerItem(0, false, true, false, box.DefaultFx3dID(), a, 60);
    box.RowByNumber(lnFirstClipBottom)->InsertLayerItem(40, false, true, false, box.DefaultFx3dID(), b, 50);
    TLayerItem* k = box.RowByNumber(lnImage)->InsertLayerItem(10, false, true, false, -1, p, 30);
    k->SetComposeMode(cmKeyOnThisLayer);
    k->SetColorKey(0xFF00FF);
    k->LevelBox()->EndPoint()->Level = 40;
    TLayerItem* snd = box.RowByNumber(lnAudioFirst)->InsertLayerItem(5, false, true, false, -1, s, 50);
    snd->LevelBox()->AddPoint(25)->Level = 90;
    TScript script;
    script.MakeScript(&box);
    made = script.Text();
    ASSERT_NE(made.find("still%20100%25.bmp"), std::string::npos) << made;
    ASSERT_NE(made.find("Fx  $"), std::string::npos) << made;
    ASSERT_NE(made.find("sg 3"), std::string::npos) << made;
    TClipBoxResources resources(clips);
    TProjectStream out(project, nullptr, &resources, &box, false);
    ASSERT_TRUE(out.WriteProject(project));
  }
  {
    TClipBox clips;
    TLayerBox box;
    TClipBoxResources resources(clips);
    TScopedMessageRecorder messages;
    EXPECT_TRUE(OpenProjectFile(project, box, resources).Ok);
    TScript script;
    script.MakeScript(&box);
    EXPECT_EQ(script.Text(), made);
  }

  if (!FileExists(test::MovaraProgram())) GTEST_SKIP() << "movara not built";
  const test::TCommandResult r = test::RunCommand(test::Quote(test::MovaraProgram()) + " script " + test::Quote(project));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(r.output, made);
  const test::TCommandResult bad =
      test::RunCommand(test::Quote(test::MovaraProgram()) + " script " + test::Quote(bmp));
  EXPECT_EQ(bad.exitCode, 2);
  EXPECT_EQ(bad.output, "movara script: '" + bmp + "' is not a Movara project\n");
}

}  // namespace
}  // namespace movara
