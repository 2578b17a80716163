// The keying window as a user drives it (offscreen): its three entry points with their
// titles, texts, steps and results, picking from the picture, and a key chosen from the
// project window's image row that reaches a rendered frame of the film.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "base/AppPaths.h"
#include "base/Dib.h"
#include "compose/ui/ComposeForm.h"
#include "compose/ui/KeyingDialogs.h"
#include "media/ResourceLists.h"
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

// Runs user on the keying window once open(), which shows it modally, has done so.
bool Drive(const std::function<bool()>& open, const std::function<void(TComposeForm&)>& user) {
  bool seen = false;
  QTimer::singleShot(0, [&] {
    auto* form = qobject_cast<TComposeForm*>(QApplication::activeModalWidget());
    if (!form) return;
    seen = true;
    user(*form);
  });
  const bool result = open();
  EXPECT_TRUE(seen) << "the keying window did not open";
  return result;
}

void PageDown(QScrollBar* bar) {
  bar->setFocus();
  QTest::keyClick(bar, Qt::Key_PageDown);
}

TEST(ComposeForm, EntryPointsTextsStepsAndResults) {
  // the image key: mode 0 opens as 1, page down moves red by 8; cancel returns mode 0
  TColor color = 0x000010;
  uint8_t mode = 0;
  EXPECT_TRUE(Drive([&] { return SelectImageKey(nullptr, color, mode, nullptr); },
                    [](TComposeForm& f) {
                      EXPECT_EQ(f.windowTitle(), QString::fromUtf8("Wybór koloru kluczowania"));
                      EXPECT_TRUE(f.rbGraph->isChecked());
                      EXPECT_FALSE(f.rbKeyGraph->isChecked());
                      EXPECT_EQ(f.gbColor->title(), QString::fromUtf8("Kluczowanie warstwy Video 2"));
                      EXPECT_EQ(f.laRedHue->text(), QString::fromUtf8("Czerwony"));
                      EXPECT_EQ(f.bbOK->text(), QString::fromUtf8("Zastosuj &kluczowanie"));
                      EXPECT_EQ(f.bbCancel->text(), QString::fromUtf8("Kasuj kluczowa&nie"));
                      PageDown(f.sbRed);
                      EXPECT_EQ(f.ColorKey(), TColor(0x000018));
                      EXPECT_EQ(f.laRed->text(), "24");
                      PageDown(f.sbGreen);
                      EXPECT_EQ(f.ColorKey(), TColor(0x000418));
                      // no picture: pressing on the box picks nothing
                      QTest::mousePress(f.Image, Qt::LeftButton, {}, QPoint(3, 3));
                      EXPECT_EQ(f.ColorKey(), TColor(0x000418));
                      f.bbCancel->click();
                    }));
  EXPECT_EQ(mode, 0);
  EXPECT_EQ(color, TColor(0x000010));

  // the plain chooser: no mode group, steps of 4, its own texts; a double-click on the
  // black swatch accepts black
  color = 0x123456;
  EXPECT_TRUE(Drive([&] { return SelectColor(nullptr, color); },
                    [](TComposeForm& f) {
                      EXPECT_EQ(f.windowTitle(), QString::fromUtf8("Wybór koloru"));
                      EXPECT_FALSE(f.gbCompose->isVisible());
                      EXPECT_FALSE(f.gbCompose->isEnabled());
                      EXPECT_EQ(f.gbColor->title(), QString());
                      EXPECT_EQ(f.laRedHue->text(), QString::fromUtf8("Barwa"));
                      EXPECT_EQ(f.laBlueVal->text(), QString::fromUtf8("Wartość"));
                      EXPECT_EQ(f.bbOK->text(), QString::fromUtf8("A&kceptuj wybrany kolor"));
                      PageDown(f.sbRed);
                      EXPECT_EQ(f.ColorKey(), TColor(0x12345A));
                      QTest::mouseDClick(f.Swatches[1], Qt::LeftButton);
                    }));
  EXPECT_EQ(color, TColor(0));

  // the key row: mode 2 shows Video 1; a swatch, then the other layer, OK; no tolerances
  color = 0xFF00FF;
  mode = 2;
  int32_t lo = 7, hi = 9;
  EXPECT_TRUE(Drive([&] { return SelectKeyColor(nullptr, color, mode, lo, hi); },
                    [](TComposeForm& f) {
                      EXPECT_TRUE(f.rbKeyGraph->isChecked());
                      EXPECT_EQ(f.gbColor->title(), QString::fromUtf8("Kluczowanie warstwy Video 1"));
                      QTest::mouseClick(f.Swatches[7], Qt::LeftButton);  // aqua
                      f.rbGraph->click();
                      EXPECT_EQ(f.gbColor->title(), QString::fromUtf8("Kluczowanie warstwy Video 2"));
                      f.bbOK->click();
                    }));
  EXPECT_EQ(color, TColor(0xFFFF00));
  EXPECT_EQ(mode, 1);
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, 0);
  // cancelled: nothing changes
  EXPECT_FALSE(Drive([&] { return SelectKeyColor(nullptr, color, mode, lo, hi); },
                     [](TComposeForm& f) {
                       QTest::mouseClick(f.Swatches[0], Qt::LeftButton);
                       f.bbCancel->click();
                     }));
  EXPECT_EQ(color, TColor(0xFFFF00));

  // picking: an 8-bit picture gives its palette colours; the box's right and bottom
  // edges read the last column and row; a drag with the button held picks along
  TDIB picture(4, 2, 8);
  picture.Palette().assign(256, TRGBQuad{});
  for (int i = 0; i < 8; ++i) picture.Palette()[i] = TRGBQuad{uint8_t(i * 30), uint8_t(i), uint8_t(200 - i), 0};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) picture.ScanLine(y)[x] = static_cast<uint8_t>(y * 4 + x);
  mode = 1;
  EXPECT_TRUE(Drive([&] { return SelectImageKey(nullptr, color, mode, &picture); },
                    [&](TComposeForm& f) {
                      QWidget* box = f.Image;
                      const QPoint corner(box->width() - 1, box->height() - 1);
                      QTest::mousePress(box, Qt::LeftButton, {}, corner);
                      EXPECT_EQ(f.ColorKey(), RGBColor(200 - 7, 7, 7 * 30));
                      QMouseEvent move(QEvent::MouseMove, QPointF(1, 1), box->mapToGlobal(QPointF(1, 1)), Qt::NoButton,
                                       Qt::LeftButton, Qt::NoModifier);
                      QApplication::sendEvent(box, &move);
                      QTest::mouseRelease(box, Qt::LeftButton, {}, QPoint(1, 1));
                      EXPECT_EQ(f.ColorKey(), RGBColor(200, 0, 0));
                      f.bbOK->click();
                    }));
  EXPECT_EQ(color, RGBColor(200, 0, 0));
  EXPECT_EQ(mode, 1);
}

// The project window's dialogs: the keying window itself.
class TKeyingDialogs : public ITimeLineDialogs {
 public:
  bool ChooseColor(TColor&) override { return false; }
  bool ChooseKeying(TLayerItem& item, int64_t timeMs, TColor& key, TComposeMode& mode) override {
    return ChooseImageKey(nullptr, item, timeMs, key, mode);
  }
};

TEST(ComposeForm, KeyChosenOnTheImageRowReachesTheFilm) {
  test::TTempDir dir;
  SetDataFolderForTests(dir.File("data/"));
  TProjectDocument doc;
  TDocumentSignals adapter(doc);
  TKeyingDialogs dialogs;
  auto form = std::make_unique<TTimeLineForm>(doc, adapter);
  form->SetDialogs(&dialogs);
  form->resize(900, 500);
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));

  // green video under a picture whose left half is magenta and right half red
  TDIB video(64, 48, 24), over(64, 48, 24);
  video.Fill(RGBColor(0, 200, 0));
  over.Fill(RGBColor(255, 0, 0));
  over.FillRect(Rect(0, 0, 32, 48), RGBColor(255, 0, 255));
  ASSERT_TRUE(video.SaveToFile(dir.File("video.bmp")));
  ASSERT_TRUE(over.SaveToFile(dir.File("over.bmp")));
  TClipBox& clips = doc.ClipBox();
  TLayerBox& box = doc.LayerBox();
  ASSERT_TRUE(test::DropClip(box, clips.AddFile(dir.File("video.bmp")), lnFirstClipTop, 25));
  ASSERT_TRUE(test::DropClip(box, clips.AddFile(dir.File("over.bmp")), lnImage, 25));
  TLayerItem* item = box.RowByNumber(lnImage)->Items(0);
  ASSERT_NE(item, nullptr);

  // the frame at 0.5 s of the film: the colours at the two halves' middles
  auto frameColours = [&] {
    const std::string script = form->MakeScript(true).Text();
    TDIB frame(720, 576, 24);
    TFxRenderThread thread;
    thread.LoadScript(script);
    thread.SetFilmMode(true, roRender, 720, 576, 25, 0, 24);
    thread.SetLinkOutDIB(&frame);
    EXPECT_EQ(thread.RenderFrame(500), rfPicture);
    return std::pair{frame.Pixel(180, 288), frame.Pixel(540, 288)};
  };
  EXPECT_EQ(frameColours(), (std::pair{RGBColor(255, 0, 255), RGBColor(255, 0, 0)}));

  // "Kluczowanie..." on the block; the user picks the magenta half of the picture
  auto runKeying = [&](bool ok) {
    QMenu* menu = form->PrepareRowMenu(QPoint(test::XOf(box, 30), test::YOf(box, lnImage)));
    ASSERT_NE(menu, nullptr);
    QAction* keying = menu->findChild<QAction*>("RowKeying");
    ASSERT_NE(keying, nullptr);
    Drive([&] { keying->trigger(); return true; },
          [&](TComposeForm& f) {
            ASSERT_NE(f.Picture(), nullptr);
            EXPECT_EQ(f.Picture()->Width(), 64);
            QTest::mousePress(f.Image, Qt::LeftButton, {}, QPoint(f.Image->width() / 5, f.Image->height() / 2));
            EXPECT_EQ(f.ColorKey(), RGBColor(255, 0, 255));
            (ok ? f.bbOK : f.bbCancel)->click();
          });
  };
  runKeying(true);
  EXPECT_EQ(item->ComposeMode(), cmKeyOnThisLayer);
  EXPECT_EQ(item->ColorKey(), RGBColor(255, 0, 255));
  // the magenta half shows the video through, the red half stays
  EXPECT_EQ(frameColours(), (std::pair{RGBColor(0, 200, 0), RGBColor(255, 0, 0)}));

  // cancelled: the block's keying is gone
  runKeying(false);
  EXPECT_EQ(item->ComposeMode(), cmNone);
  EXPECT_EQ(frameColours(), (std::pair{RGBColor(255, 0, 255), RGBColor(255, 0, 0)}));

  form.reset();
  DestroyResourceLists();
  SetDataFolderForTests("");
}

// The picture the keying window picks from is the block's at the pointer's time: an
// AVI's frame there, counted from the block's offset into the clip.
TEST(ComposeForm, BlockPictureIsTheClipsFrameAtTheTime) {
  REQUIRE_PROGRAM("ffmpeg");
  test::TTempDir dir;
  SetDataFolderForTests(dir.File("data/"));
  const std::string file = dir.File("redblue.avi");
  const auto made = test::RunCommand(
      "ffmpeg -v error -y -f lavfi -i \"color=c=red:s=32x24:r=25:d=1[a];color=c=blue:s=32x24:r=25:d=1[b];"
      "[a][b]concat=n=2:v=1\" -c:v rawvideo -pix_fmt bgr24 " + test::Quote(file));
  ASSERT_EQ(made.exitCode, 0) << made.output;
  TProjectDocument doc;
  TClipGraphic* clip = doc.ClipBox().AddFile(file);
  ASSERT_NE(clip, nullptr);
  TLayerBox& box = doc.LayerBox();
  ASSERT_TRUE(test::DropClip(box, clip, lnFirstClipTop, 40));
  TLayerItem* item = box.RowByNumber(lnFirstClipTop)->Items(0);
  ASSERT_NE(item, nullptr);
  const struct {
    int offsetFrames;
    int64_t ms;
    TColor colour;
  } cases[] = {{0, 200, RGBColor(255, 0, 0)}, {0, 1200, RGBColor(0, 0, 255)}, {20, 200, RGBColor(0, 0, 255)},
               {20, 0, RGBColor(255, 0, 0)}};
  for (const auto& c : cases) {
    item->SetOffsetFrame(c.offsetFrames);
    TDIB picture;
    ASSERT_TRUE(BlockPictureAt(*item, c.ms, picture));
    EXPECT_EQ(picture.Width(), 32);
    // the lavfi colours pass through YUV: near, not exact
    const TColor p = picture.Pixel(5, 5);
    const bool red = GetRValue(p) > 200 && GetBValue(p) < 50, blue = GetBValue(p) > 200 && GetRValue(p) < 50;
    EXPECT_TRUE(c.colour == RGBColor(255, 0, 0) ? red : blue)
        << "offset " << c.offsetFrames << ", " << c.ms << " ms: " << std::hex << p;
  }
  DestroyResourceLists();
  SetDataFolderForTests("");
}

}  // namespace
}  // namespace movara
