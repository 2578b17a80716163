// The effect windows in the editor (offscreen, on the demo project): the slider of the
// project window shows its frame in the preview window, the same frame the command line
// renders, and mixes sound while Ctrl is held; a double click on a transition opens the
// chooser and its choice becomes the block's effect; the film command with its windows.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "app/ui/FilmCommand.h"
#include "app/ui/MovaraForm.h"
#include "base/Format.h"
#include "base/UserMessages.h"
#include "fx3d/ui/Chain3DWindows.h"
#include "fx3d/ui/FxDrawWidget.h"
#include "fx3d/ui/FxMyRenderForm.h"
#include "fx3d/ui/FxSelectForm.h"
#include "media/ResourceLists.h"
#include "persist/ProjectDocument.h"
#include "project/LayersTestSupport.h"
#include "project/ui/DocumentSignals.h"
#include "project/ui/LayerBoxView.h"
#include "project/ui/TimeLineForm.h"
#include "script/AudioScriptTools.h"
#include "script/RenderThread.h"
#include "script/Chain3D.h"
#include "support/TestSupport.h"

namespace movara {
namespace {

using test::TTempDir;

class FilmCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto r = test::RunCommand(test::Quote(test::MovaraProgram()) + " demo " + test::Quote(dir_.File("demo")));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    project_ = dir_.File("demo/demo.mvf");
    form_ = std::make_unique<TMovaraForm>(doc_);
    form_->resize(1200, 900);
    timeline_ = new TTimeLineForm(doc_, signals_);
    form_->AddStandingWindow(timeline_, swProject);
    command_ = InstallEffectWindows(*form_, *timeline_);
    command_->OpenFilm = [this](const std::string& f) { opened_.push_back(f); };
    form_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
    timeline_->parentWidget()->resize(1000, 500);
    ASSERT_TRUE(doc_.Open(project_));
    QApplication::processEvents();
  }
  void TearDown() override {
    form_.reset();
    DoneChain3D();
    SetChain3DWindowFactory({});
  }
  TLayerBox& Box() { return doc_.LayerBox(); }
  QWidget* View() { return timeline_->View(); }

  TTempDir dir_;
  TScopedMessageRecorder messages_;
  std::string project_;
  TProjectDocument doc_;
  TDocumentSignals signals_{doc_};
  std::unique_ptr<TMovaraForm> form_;
  TTimeLineForm* timeline_ = nullptr;
  TFilmCommand* command_ = nullptr;
  std::vector<std::string> opened_;
};

TEST_F(FilmCommandTest, TheSlidersFrameInThePreviewWindowWithSoundUnderCtrl) {
  const int y = Box().ScaleTop() + 4;
  const int frame = 100;  // 4 s: the first clip after the fade
  const QPoint at(test::XOf(Box(), frame), y);
  QTest::mousePress(View(), Qt::LeftButton, Qt::NoModifier, QPoint(at.x() - 30, y));
  QTest::mouseMove(View(), at);
  QTest::mouseRelease(View(), Qt::LeftButton, Qt::NoModifier, at);
  TFxMyRenderForm* preview = ChainPreviewForm();
  ASSERT_NE(preview, nullptr);
  EXPECT_TRUE(preview->isVisible());
  EXPECT_EQ(preview->windowTitle(), QString::fromUtf8("Podgląd"));
  EXPECT_GE(preview->DrawControl()->FramesShown(), 2);
  const int ms = Box().Scale().SliderFrame() * 40;
  // the frame the command line renders at that time and size
  const TDIB shown = preview->DrawControl()->Frame();
  const std::string bmp = dir_.File("frame.bmp");
  const auto r = test::RunCommand(test::Quote(test::MovaraProgram()) + " frame " + test::Quote(project_) + " --at " +
                                  std::to_string(ms) + " -o " + test::Quote(bmp) +
                                  Format(" --size %dx%d", shown.Width(), shown.Height()));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  TDIB expected;
  ASSERT_TRUE(expected.LoadFromFile(bmp));
  ASSERT_EQ(expected.Width(), shown.Width());
  double diff = 0;
  for (int yy = 0; yy < shown.Height(); yy += 3)
    for (int xx = 0; xx < shown.Width(); xx += 3) {
      const TColor a = shown.Pixel(xx, yy), b = expected.Pixel(xx, yy);
      diff += std::abs(GetRValue(a) - GetRValue(b)) + std::abs(GetGValue(a) - GetGValue(b)) +
              std::abs(GetBValue(a) - GetBValue(b));
    }
  EXPECT_LT(diff / (3.0 * (shown.Width() / 3) * (shown.Height() / 3)), 2.0);
  // no sound without Ctrl; with it, 150 ms mixed at the slider
  const int mixed = Chain3DAudioPlayer() ? Chain3DAudioPlayer()->MixCount() : 0;
  EXPECT_EQ(mixed, 0);
  QTest::mousePress(View(), Qt::LeftButton, Qt::ControlModifier, at);
  ASSERT_NE(Chain3DAudioPlayer(), nullptr);
  EXPECT_EQ(Chain3DAudioPlayer()->MixCount(), 1);
  EXPECT_EQ(Chain3DAudioPlayer()->LastPosition(), Box().Scale().SliderFrame() * 40);
  QTest::mouseRelease(View(), Qt::LeftButton, Qt::ControlModifier, at);
}

TEST_F(FilmCommandTest, ATransitionsEffectChosenInTheChooser) {
  TLayerRow* fx = Box().RowByNumber(lnFirstFx3d);
  ASSERT_GT(fx->ItemCount(), 0);
  TLayerItem* item = fx->Items(0);
  const int32_t before = item->Fx3dID();
  QTimer::singleShot(0, [] {
    for (int i = 0; i < 300 && !(ChainChooserForm() && ChainChooserForm()->isVisible()); ++i) QTest::qWait(10);
    TFxSelectForm* chooser = ChainChooserForm();
    ASSERT_NE(chooser, nullptr);
    // the transition's own length sets the preview's period
    EXPECT_EQ(chooser->Thread()->Period(), 1000);
    QTreeWidgetItem* curtain = chooser->Tree()->findItems(QString::fromUtf8("Kurtyna"), Qt::MatchRecursive).value(0);
    ASSERT_NE(curtain, nullptr);
    chooser->Tree()->setCurrentItem(curtain);
    QTest::mouseClick(chooser->findChild<QPushButton*>("bbOK"), Qt::LeftButton);
  });
  QTest::mouseDClick(View(), Qt::LeftButton, Qt::NoModifier,
                     QPoint(test::XOf(Box(), item->FirstFrame() + item->Duration() / 2), test::YOf(Box(), lnFirstFx3d)));
  EXPECT_NE(before, 0x360);
  EXPECT_EQ(fx->Items(0)->Fx3dID(), 0x360);
}

TEST_F(FilmCommandTest, TheCommandsWindowsAndTheFilmOpenedAfterwards) {
  // the settings: a small film, opened afterwards
  QTimer::singleShot(0, [this] {
    QWidget* w = nullptr;
    for (int i = 0; i < 300 && !(w = QApplication::activeModalWidget()); ++i) QTest::qWait(10);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowTitle(), QString::fromUtf8("Własności generowanego filmu"));
    auto* name = w->findChild<QLineEdit*>("edFileName");
    name->setText(QString::fromStdString(dir_.File("film.AVI")));
    QTest::keyClick(w, Qt::Key_Return);
  });
  // selected blocks are deselected first
  Box().RowByNumber(lnFirstClipTop)->Items(0)->SetSelected(true);
  EXPECT_TRUE(command_->Run(0, true));
  EXPECT_FALSE(Box().RowByNumber(lnFirstClipTop)->Items(0)->Selected());
  ASSERT_EQ(opened_.size(), 1u);
  EXPECT_EQ(opened_[0], dir_.File("film.AVI"));
  EXPECT_TRUE(messages_.Texts().empty());
  // cancelled settings make nothing
  QTimer::singleShot(0, [] {
    QWidget* w = nullptr;
    for (int i = 0; i < 300 && !(w = QApplication::activeModalWidget()); ++i) QTest::qWait(10);
    ASSERT_NE(w, nullptr);
    QTest::keyClick(w, Qt::Key_Escape);
  });
  EXPECT_FALSE(command_->Run(2, false));
  EXPECT_EQ(opened_.size(), 1u);
}

}  // namespace
}  // namespace movara
