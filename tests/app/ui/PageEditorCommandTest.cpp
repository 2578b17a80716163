// A title page edited from its thumbnail: the double-click opens the page editor on it,
// the saved page is what the resource list and the film show, and the export puts the
// page into the resource list.
#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>
#include <memory>

#include "app/ui/PageEditorCommand.h"
#include "base/AppPaths.h"
#include "media/ResourceLists.h"
#include "pages/PageEditBox.h"
#include "pages/ui/PageEditForm.h"
#include "persist/ProjectDocument.h"
#include "project/ClipBox.h"
#include "project/ClipGraphic.h"
#include "project/Layers.h"
#include "project/LayersTestSupport.h"
#include "project/ui/DocumentSignals.h"
#include "project/ui/TimeLineForm.h"
#include "script/RenderThread.h"
#include "script/Script.h"
#include "support/TestSupport.h"

namespace movara {
namespace {

TEST(PageEditorCommand, SavedPageReachesTheResourceListAndTheFilm) {
  test::TTempDir dir;
  SetDataFolderForTests(dir.File("data/"));
  TProjectDocument doc;
  TDocumentSignals adapter(doc);
  auto form = std::make_unique<TTimeLineForm>(doc, adapter);
  form->resize(900, 500);
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));

  // a blue page with a line of text, on video row A
  const std::string page = dir.File("title.pte");
  {
    TPageEditBox box;
    box.SetPageColor(RGBColor(0, 0, 255));
    box.AddFontItem(true, false)->Text = "Koniec";
    box.SetFileName(page);
    ASSERT_TRUE(box.SaveFile());
  }
  TClipBox& clips = doc.ClipBox();
  TClipGraphic* clip = clips.AddFile(page);
  ASSERT_NE(clip, nullptr);
  ASSERT_TRUE(test::DropClip(doc.LayerBox(), clip, lnFirstClipTop, 25));
  auto filmPixel = [&] {
    TDIB frame(720, 576, 24);
    TFxRenderThread thread;
    thread.LoadScript(form->MakeScript(true).Text());
    thread.SetFilmMode(true, roRender, 720, 576, 25, 0, 24);
    thread.SetLinkOutDIB(&frame);
    EXPECT_EQ(thread.RenderFrame(500), rfPicture);
    return frame.Pixel(3, 3);
  };
  EXPECT_EQ(filmPixel(), RGBColor(0, 0, 255));
  // the thumbnail's picture, away from its frame and the text
  auto thumbPixel = [&] { return clip->Bitmap().Pixel(clip->Bitmap().Width() * 3 / 4, clip->Bitmap().Height() * 3 / 4); };
  EXPECT_EQ(thumbPixel(), RGBColor(0, 0, 255));

  // the user double-clicks the thumbnail, makes the page red, saves it and puts it into
  // the resource list
  InstallPageEditor(nullptr, *form);
  bool opened = false;
  OnPageEditFormShown = [&](TPageEditForm& f) {
    QTimer::singleShot(0, &f, [&] {
      opened = f.Box().FileName() == page && f.Box().ItemCount() == 1;
      f.ccbBackground->SetColor(RGBColor(255, 0, 0));
      EXPECT_TRUE(f.SavePage());
      f.RefreshMenus();
      f.MenuItem("miInsertToResources")->trigger();
      f.close();
    });
  };
  clips.DoubleClick(clip);
  OnPageEditFormShown = nullptr;
  EXPECT_TRUE(opened);
  EXPECT_EQ(clips.Count(), 2);
  EXPECT_EQ(thumbPixel(), RGBColor(255, 0, 0));
  ASSERT_NE(DIBList()->FindItem(page), nullptr);
  EXPECT_EQ(DIBList()->FindItem(page)->Pixel(3, 3), RGBColor(255, 0, 0));
  EXPECT_EQ(filmPixel(), RGBColor(255, 0, 0));

  form.reset();
  DestroyResourceLists();
  SetDataFolderForTests("");
}

}  // namespace
}  // namespace movara
