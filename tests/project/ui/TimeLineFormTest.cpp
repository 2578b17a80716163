// The project window driven as a user drives it (Qt Test events, offscreen): resource
// thumbnails, clip parts and the paste dropped on rows, blocks dragged across rows with
// snapping, the razor, Shift and Ctrl selection, the keys, envelope points, the command
// menu's rules, the script window and the slider's preview, and the open, save and
// close flows with their questions. Every check is on the model.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <memory>
#include <string>
#include <vector>

#include "base/AppPaths.h"
#include "base/Dib.h"
#include "base/UserMessages.h"
#include "media/AudioZoom.h"
#include "media/ResourceLists.h"
#include "persist/ProjectDocument.h"
#include "project/ClipBox.h"
#include "project/ClipGraphic.h"
#include "project/Layers.h"
#include "project/LayersTestSupport.h"
#include "project/ui/ClipMime.h"
#include "project/ui/DocumentSignals.h"
#include "project/ui/LayerBoxView.h"
#include "project/ui/ScriptWindow.h"
#include "project/ui/TimeLineForm.h"
#include "project/ui/TimeLineMime.h"
#include "script/Script.h"
#include "support/TestSupport.h"

namespace movara {
namespace {

using test::CheckInvariants;
using test::Spans;
using test::TTempDir;
using TSpans = std::vector<std::pair<int, int>>;

class TScriptedProjectDialogs : public IProjectDialogs {
 public:
  std::string OpenAnswer, SaveAnswer;
  int Asked = 0;
  std::string AskOpenProject(const std::string&) override {
    ++Asked;
    return OpenAnswer;
  }
  std::string AskSaveProject(const std::string&, const std::string&) override {
    ++Asked;
    return SaveAnswer;
  }
};

class TScriptedTimeLineDialogs : public ITimeLineDialogs {
 public:
  TColor Colour = 0x123456;
  int32_t Effect = -1;
  bool ChooseColor(TColor& c) override {
    c = Colour;
    return true;
  }
  bool ChooseEffect(int32_t& fx, int) override {
    if (Effect < 0) return false;
    fx = Effect;
    return true;
  }
};

class TimeLineFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDataFolderForTests(dir_.File("data/"));
    doc_.SetDialogs(&projectDialogs_);
    form_ = std::make_unique<TTimeLineForm>(doc_, signals_);
    form_->SetDialogs(&dialogs_);
    form_->resize(900, 500);
    form_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
    Box().SetSnapItems(false);
  }
  void TearDown() override {
    form_.reset();
    DestroyResourceLists();
    AudioZoomReaderList().Clear();
    SetDataFolderForTests("");
  }

  TLayerBox& Box() { return doc_.LayerBox(); }
  TLayerBoxView* View() { return form_->View(); }
  TLayerRow* Row(TLayerNumber n) { return Box().RowByNumber(n); }
  // The view point over frame of a row's middle.
  QPoint At(TLayerNumber n, int frame) { return QPoint(test::XOf(Box(), frame), test::YOf(Box(), n)); }

  // A clip in the resource list: a 100-frame movie with sound, or a still picture.
  int AddMovie() {
    if (!test::HaveProgram("ffmpeg")) return -1;
    const std::string file = dir_.File("movie.avi");
    const auto r = test::RunCommand(
        "ffmpeg -v error -y -f lavfi -i testsrc2=size=32x24:rate=25 -f lavfi -i sine=frequency=5:sample_rate=22050 "
        "-frames:v 100 -c:v mjpeg -q:v 3 -c:a pcm_s16le -shortest " +
        test::Quote(file));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    return Add(file);
  }
  int AddStill(const std::string& name) {
    TDIB dib(64, 48, 24);
    dib.Fill(RGBColor(30, 160, 60));
    const std::string f = dir_.File(name);
    EXPECT_TRUE(dib.SaveToFile(f));
    return Add(f);
  }
  int Add(const std::string& file) {
    TClipGraphic* c = doc_.ClipBox().AddFile(file);
    EXPECT_NE(c, nullptr) << file;
    return doc_.ClipBox().IndexOf(c);
  }

  // A drag entering the view, moving to at and dropped there, as Qt delivers it; false
  // when the view refused it on the way.
  bool Drop(const char* type, const QByteArray& payload, const QPoint& at) {
    QMimeData data;
    data.setData(type, payload);
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(View(), &enter);
    QDragMoveEvent move(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(View(), &move);
    if (!enter.isAccepted() || !move.isAccepted()) return false;
    QDropEvent drop(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(View(), &drop);
    return drop.isAccepted();
  }
  bool DropClip(int index, const QPoint& at) { return Drop(kClipMimeType, QByteArray::number(index), at); }

  void Drag(const QPoint& from, const QPoint& to, Qt::KeyboardModifiers mods = Qt::NoModifier, int steps = 6) {
    QTest::mousePress(View(), Qt::LeftButton, mods, from);
    for (int k = 1; k <= steps; ++k) QTest::mouseMove(View(), from + (to - from) * k / steps);
    QTest::mouseRelease(View(), Qt::LeftButton, mods, to);
  }
  void Click(const QPoint& at, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::mouseClick(View(), Qt::LeftButton, mods, at);
  }
  TLayerItem* Put(TLayerNumber n, int first, int length) {
    return Row(n)->InsertLayerItem(first, false, true, false, -1, nullptr, length);
  }
  std::vector<int> SelectedFirsts(TLayerNumber n) {
    std::vector<int> s;
    for (int i = 0; i < Row(n)->ItemCount(); ++i)
      if (Row(n)->Items(i)->Selected()) s.push_back(Row(n)->Items(i)->FirstFrame());
    return s;
  }
  QAction* Item(const char* name) { return form_->MenuItem(name); }

  TTempDir dir_;
  TProjectDocument doc_;
  TDocumentSignals signals_{doc_};
  TScriptedProjectDialogs projectDialogs_;
  TScriptedTimeLineDialogs dialogs_;
  std::unique_ptr<TTimeLineForm> form_;
};

TEST_F(TimeLineFormTest, DropsOfThumbnailsClipPartsAndThePaste) {
  const int movie = AddMovie();
  if (movie < 0) GTEST_SKIP() << "ffmpeg not installed";
  const int still = AddStill("still.bmp");
  EXPECT_EQ(form_->windowTitle(), QString::fromUtf8("Okno projektu - []"));

  // a movie on row A at frame 100: its picture and its sound, centred, partners
  ASSERT_TRUE(DropClip(movie, At(lnFirstClipTop, 100)));
  EXPECT_EQ(Spans(Box(), lnFirstClipTop), (TSpans{{50, 150}}));
  EXPECT_EQ(Spans(Box(), lnAudioSecond), (TSpans{{50, 150}}));
  TLayerItem* picture = Row(lnFirstClipTop)->Items(0);
  EXPECT_EQ(picture->LinkSynchronizeItem(), Row(lnAudioSecond)->Items(0));
  EXPECT_TRUE(picture->SynchronizeBothItem());
  // a still takes no sound row, nor a place where a block lies
  EXPECT_FALSE(DropClip(still, At(lnAudioFirst, 100)));
  EXPECT_FALSE(DropClip(still, At(lnFirstClipTop, 100)));
  EXPECT_FALSE(DropClip(99, At(lnFirstClipTop, 250)));
  ASSERT_TRUE(DropClip(still, At(lnImage, 200)));
  EXPECT_EQ(Spans(Box(), lnImage), (TSpans{{175, 225}}));  // a still: one step long, centred

  // a marked part of the movie (from 1 s, 2 s long) on row B: 50 frames from frame 25
  // of the clip, with its sound on sound row 3
  ASSERT_TRUE(Drop(kClipPartMimeType, QByteArray::number(movie) + " 4 1000 2000", At(lnFirstClipBottom, 200)));
  EXPECT_EQ(Spans(Box(), lnFirstClipBottom), (TSpans{{175, 225}}));
  EXPECT_EQ(Row(lnFirstClipBottom)->Items(0)->OffsetFrame(), 25);
  EXPECT_EQ(Row(lnAudioThird)->Items(0)->OffsetFrame(), 25);
  EXPECT_FALSE(Drop(kClipPartMimeType, "0 9 0 -1", At(lnFirstClipBottom, 100)));  // no such clip type

  // the paste: copy the movie's two blocks, drop the box on row A at frame 250
  Box().DeselectAll();
  picture->SetSelected(true);
  Box().CopyToClipboard();
  std::unique_ptr<QMimeData> paste(TLayerBoxView::PasteMimeData(Box()));
  EXPECT_FALSE(Drop(kPasteMimeType, "12345", At(lnFirstClipTop, 250)));  // another box's paste
  ASSERT_TRUE(Drop(kPasteMimeType, paste->data(kPasteMimeType), At(lnFirstClipTop, 250)));
  EXPECT_EQ(Spans(Box(), lnFirstClipTop), (TSpans{{50, 150}, {250, 350}}));
  EXPECT_EQ(Spans(Box(), lnAudioSecond), (TSpans{{50, 150}, {250, 350}}));
  EXPECT_EQ(Row(lnFirstClipTop)->Items(1)->LinkSynchronizeItem(), Row(lnAudioSecond)->Items(1));
  // not where the copies would overlap a block
  EXPECT_FALSE(Drop(kPasteMimeType, paste->data(kPasteMimeType), At(lnFirstClipTop, 160)));
  EXPECT_TRUE(CheckInvariants(Box()));
  EXPECT_TRUE(Box().Modified());
  // the blocks are drawn: under its label, a block shows the row's marked colour
  const QImage shot = View()->grab().toImage();
  const int y = Row(lnFirstClipTop)->Top() + 50;
  const TColor marked = Row(lnFirstClipTop)->ColorMarked();
  EXPECT_EQ(shot.pixel(test::XOf(Box(), 140), y), qRgb(GetRValue(marked), GetGValue(marked), GetBValue(marked)));
  EXPECT_NE(shot.pixel(test::XOf(Box(), 200), y), shot.pixel(test::XOf(Box(), 140), y));
}

TEST_F(TimeLineFormTest, BlocksDraggedAcrossRowsWithSnapping) {
  const int movie = AddMovie();
  if (movie < 0) GTEST_SKIP() << "ffmpeg not installed";
  const int still = AddStill("still.bmp");
  TLayerItem* b = Put(lnFirstClipBottom, 0, 100);
  ASSERT_TRUE(DropClip(still, At(lnFirstClipTop, 250)));  // [225, 275)
  TLayerItem* s = Row(lnFirstClipTop)->Items(0);
  form_->SnapButton()->setChecked(true);
  EXPECT_TRUE(Box().SnapItems());

  // grabbed in its middle, dropped on row B with its left edge 3 pixels after B's end
  const QPoint grab = At(lnFirstClipTop, 250);
  const int grabOffset = grab.x() - test::XOf(Box(), 225);
  const QPoint to(test::XOf(Box(), 100) + 3 + grabOffset, test::YOf(Box(), lnFirstClipBottom));
  Drag(grab, to);
  ASSERT_EQ(s->Parent(), Row(lnFirstClipBottom));
  EXPECT_EQ(s->FirstFrame(), 100);  // snapped onto B's end
  EXPECT_EQ(Row(lnFirstClipTop)->ItemCount(), 0);
  EXPECT_EQ(b->LastFrame(), 100);

  // a movie's picture drags its sound along: both one row down
  ASSERT_TRUE(DropClip(movie, At(lnFirstClipTop, 150)));  // [100, 200)
  TLayerItem* picture = Row(lnFirstClipTop)->Items(0);
  TLayerItem* sound = picture->LinkSynchronizeItem();
  Drag(At(lnFirstClipTop, 150), At(lnFirstClipBottom, 200));
  EXPECT_EQ(picture->Parent(), Row(lnFirstClipBottom));
  EXPECT_EQ(sound->Parent(), Row(lnAudioThird));
  EXPECT_EQ(picture->FirstFrame(), 150);
  EXPECT_EQ(sound->FirstFrame(), 150);
  // a press and a move of under 10 pixels moves nothing
  const int first = picture->FirstFrame();
  const QPoint p = At(lnFirstClipBottom, first + 50);
  Drag(p, p + QPoint(8, 0));
  EXPECT_EQ(picture->FirstFrame(), first);
  EXPECT_TRUE(CheckInvariants(Box()));
  EXPECT_FALSE(Box().BoxState().Contains(bsDraggingItems));
}

TEST_F(TimeLineFormTest, RazorEdgesSelectionAndKeys) {
  const int movie = AddMovie();
  if (movie < 0) GTEST_SKIP() << "ffmpeg not installed";
  ASSERT_TRUE(DropClip(movie, At(lnFirstClipTop, 100)));  // [50, 150) with its sound
  TLayerItem* picture = Row(lnFirstClipTop)->Items(0);

  // the razor (Ctrl+C in the window): its cursor over a block, one cut, then the pointer
  View()->setFocus();
  QTest::keyClick(View(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(Box().Tool(), ttRazor);
  QTest::mouseMove(View(), At(lnFirstClipTop, 120));
  EXPECT_EQ(View()->cursor().shape(), Qt::BitmapCursor);
  Click(At(lnFirstClipTop, 120));
  EXPECT_EQ(Box().Tool(), ttPointer);
  EXPECT_EQ(Spans(Box(), lnFirstClipTop), (TSpans{{50, 120}, {120, 150}}));
  EXPECT_EQ(Spans(Box(), lnAudioSecond), (TSpans{{50, 120}, {120, 150}}));
  EXPECT_EQ(Row(lnFirstClipTop)->Items(1)->OffsetFrame(), 70);
  EXPECT_EQ(Row(lnFirstClipTop)->Items(1)->LinkSynchronizeItem(), Row(lnAudioSecond)->Items(1));
  // Esc gives the razor up
  QTest::keyClick(View(), Qt::Key_C, Qt::ControlModifier);
  QTest::keyClick(View(), Qt::Key_Escape);
  EXPECT_EQ(Box().Tool(), ttPointer);

  // the right edge with the sizing cursor: the partner follows
  QTest::mouseMove(View(), QPoint(test::XOf(Box(), 120) - 2, test::YOf(Box(), lnFirstClipTop)));
  EXPECT_EQ(View()->cursor().shape(), Qt::SizeHorCursor);
  Drag(QPoint(test::XOf(Box(), 120) - 2, test::YOf(Box(), lnFirstClipTop)),
       QPoint(test::XOf(Box(), 100), test::YOf(Box(), lnFirstClipTop)));
  EXPECT_EQ(picture->LastFrame(), 100);
  EXPECT_EQ(picture->LinkSynchronizeItem()->LastFrame(), 100);

  // Shift and Ctrl selection on row B
  Box().DeselectAll();
  for (int f : {0, 60, 120, 180}) Put(lnFirstClipBottom, f, 50);
  Click(At(lnFirstClipBottom, 25));
  Click(At(lnFirstClipBottom, 145), Qt::ShiftModifier);
  EXPECT_EQ(SelectedFirsts(lnFirstClipBottom), (std::vector<int>{0, 60, 120}));
  Click(At(lnFirstClipBottom, 85), Qt::ControlModifier);
  EXPECT_EQ(SelectedFirsts(lnFirstClipBottom), (std::vector<int>{0, 120}));
  Click(At(lnFirstClipBottom, 205), Qt::ControlModifier);
  EXPECT_EQ(SelectedFirsts(lnFirstClipBottom), (std::vector<int>{0, 120, 180}));
  EXPECT_TRUE(View()->MarchingTimerRunning());
  // a plain click on a selected block leaves it alone selected; Esc none
  Click(At(lnFirstClipBottom, 145));
  EXPECT_EQ(SelectedFirsts(lnFirstClipBottom), (std::vector<int>{120}));
  QTest::keyClick(View(), Qt::Key_Escape);
  EXPECT_EQ(Box().SelectedLayerItemCount(), 0);
  // Delete removes the selection
  Click(At(lnFirstClipBottom, 85));
  QTest::keyClick(View(), Qt::Key_Delete);
  EXPECT_EQ(Spans(Box(), lnFirstClipBottom), (TSpans{{0, 50}, {120, 170}, {180, 230}}));

  // keypad plus and minus zoom; the other plus does not; minus stops at two minutes
  QTest::keyClick(View(), Qt::Key_Plus, Qt::KeypadModifier);
  EXPECT_EQ(Box().Zoom(), zmTwelveFrames);
  QTest::keyClick(View(), Qt::Key_Plus);
  EXPECT_EQ(Box().Zoom(), zmTwelveFrames);
  for (int k = 0; k < 14; ++k) QTest::keyClick(View(), Qt::Key_Minus, Qt::KeypadModifier);
  EXPECT_EQ(Box().Zoom(), zmTwoMinutes);
  for (QAction* a : form_->ZoomMenu()->actions())
    if (a->data().toInt() == zmOneSecond) a->trigger();
  EXPECT_EQ(Box().Zoom(), zmOneSecond);
  // Right and Left scroll by one thumbnail
  Box().SetFirstFrame(0);
  QTest::keyClick(View(), Qt::Key_Right);
  EXPECT_EQ(Box().FirstFrame(), 25);
  QTest::keyClick(View(), Qt::Key_Left);
  EXPECT_EQ(Box().FirstFrame(), 0);
  EXPECT_TRUE(CheckInvariants(Box()));
}

TEST_F(TimeLineFormTest, EnvelopePointsDraggedOnASoundRow) {
  TLayerItem* block = Put(lnAudioFirst, 0, 100);
  // the row's double-click menu shows the envelope
  QMenu* menu = form_->PrepareRowMenu(At(lnAudioFirst, 50));
  ASSERT_NE(menu, nullptr);
  QAction* graph = menu->findChild<QAction*>("RowLevelBox");
  ASSERT_NE(graph, nullptr);
  EXPECT_TRUE(graph->isEnabled());
  EXPECT_FALSE(graph->isChecked());
  graph->trigger();
  ASSERT_TRUE(Row(lnAudioFirst)->LevelBoxVisible());
  EXPECT_EQ(Row(lnAudioFirst)->Height(), 28 + 33);
  QApplication::processEvents();
  EXPECT_GE(View()->height(), Box().TotalHeight());

  TLevelBox* lb = block->LevelBox();
  const int top = Row(lnAudioFirst)->Top();
  // where a level is drawn, and where the pointer gives a level while dragging
  auto yOf = [&](int level) { return top + lb->LevelToY(level); };
  auto yDrag = [&](int level) {
    const int band = lb->BottomPixel() - lb->TopPixel() + 1;
    return top + Row(lnAudioFirst)->Height() - 6 - level * band / 101;
  };
  // the hand over a point
  QTest::mouseMove(View(), QPoint(test::XOf(Box(), 0) + 1, yOf(50)));
  EXPECT_EQ(View()->cursor().shape(), Qt::PointingHandCursor);
  // a press on the line at frame 50 makes a point there; dragged up and right
  Box().SetModified(false);
  const QPoint onLine(test::XOf(Box(), 50), yOf(50));
  Drag(onLine, QPoint(test::XOf(Box(), 60), yDrag(90)));
  ASSERT_EQ(lb->Count(), 3);
  EXPECT_EQ(lb->Points(1)->Frame, 60);
  EXPECT_NEAR(lb->Points(1)->Level, 90, 1);
  EXPECT_TRUE(Box().Modified());
  // with Shift only its level changes
  Drag(QPoint(test::XOf(Box(), 60), yOf(lb->Points(1)->Level)), QPoint(test::XOf(Box(), 80), yDrag(20)),
       Qt::ShiftModifier);
  EXPECT_EQ(lb->Points(1)->Frame, 60);
  EXPECT_NEAR(lb->Points(1)->Level, 20, 1);
  // dragged far below the band, it goes on release
  Drag(QPoint(test::XOf(Box(), 60), yOf(lb->Points(1)->Level)), QPoint(test::XOf(Box(), 60), yOf(0) + 40));
  EXPECT_EQ(lb->Count(), 2);
  // the picture rows' envelope: the image row shows it too, a clip row does not
  EXPECT_NE(form_->PrepareRowMenu(At(lnImage, 10))->findChild<QAction*>("RowLevelBox"), nullptr);
  EXPECT_FALSE(form_->PrepareRowMenu(At(lnImage, 10))->findChild<QAction*>("RowLevelBox")->isEnabled());
  EXPECT_EQ(form_->PrepareRowMenu(At(lnFirstClipTop, 10))->findChild<QAction*>("RowLevelBox"), nullptr);
}

TEST_F(TimeLineFormTest, CommandMenuRulesAndItsCommands) {
  const int movie = AddMovie();
  if (movie < 0) GTEST_SKIP() << "ffmpeg not installed";
  ASSERT_TRUE(DropClip(movie, At(lnFirstClipTop, 100)));  // [50, 150)
  TLayerItem* picture = Row(lnFirstClipTop)->Items(0);
  TLayerItem* sound = picture->LinkSynchronizeItem();
  struct TCase {
    const char* what;
    QPoint at;
    Qt::KeyboardModifiers mods;
    std::vector<std::string> enabled, disabled;
  };
  Box().DeselectAll();
  Box().SetModified(false);
  const std::vector<TCase> cases = {
      {"empty clip row", At(lnFirstClipTop, 250), Qt::NoModifier,
       {"MenuInsertBlue", "MenuInsertMagenta", "MenuInsertSelected", "MenuRazor", "MenuDeleteAll", "MenuOpenProject"},
       {"MenuInsertKey", "MenuDesynchronizeItem", "MenuSynchronizeItem", "MenuAlignSynchronizeItem",
        "MenuShowHideAnimationBox", "MenuSaveProject", "MenuSaveProjectAs", "MenuDeleteSelected",
        "MenuMakeRandomFx3d"}},
      {"the movie's picture", At(lnFirstClipTop, 100), Qt::NoModifier,
       {"MenuDesynchronizeItem", "MenuShowHideAnimationBox"},
       {"MenuSynchronizeItem", "MenuAlignSynchronizeItem"}},
      {"a sound row", At(lnAudioFirst, 250), Qt::NoModifier, {}, {"MenuInsertBlue", "MenuInsertSelected"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    form_->PreparePopupMenu(c.at, c.mods);
    for (const std::string& n : c.enabled) EXPECT_TRUE(Item(n.c_str())->isEnabled()) << n;
    for (const std::string& n : c.disabled) EXPECT_FALSE(Item(n.c_str())->isEnabled()) << n;
    EXPECT_FALSE(Item("MenuMakeScript")->isVisible());
    EXPECT_FALSE(Item("MenuTestAllFx3dDll")->isVisible());
  }
  // a right click opens the menu where it was made, with the two hidden items shown
  // while Ctrl and Shift are held
  QTest::mouseClick(View(), Qt::RightButton, Qt::ControlModifier | Qt::ShiftModifier, At(lnFirstClipTop, 100));
  EXPECT_TRUE(form_->PopupMenu()->isVisible());
  EXPECT_EQ(form_->MenuBlock(), picture);
  EXPECT_TRUE(Item("MenuMakeScript")->isVisible());
  form_->PopupMenu()->hide();
  // the two hidden items with Ctrl and Shift held, not with one of them
  form_->PreparePopupMenu(At(lnFirstClipTop, 250), Qt::ControlModifier);
  EXPECT_FALSE(Item("MenuMakeScript")->isVisible());
  form_->PreparePopupMenu(At(lnFirstClipTop, 250), Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_TRUE(Item("MenuMakeScript")->isVisible());
  EXPECT_TRUE(Item("MenuTestAllFx3dDll")->isVisible());
  EXPECT_EQ(Item("MenuRazor")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_C));
  EXPECT_EQ(Item("MenuMakeScript")->shortcut(), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_S));
  EXPECT_EQ(Item("MenuInsertBlue")->text(), QString::fromUtf8("Wstaw jendolity kolor &niebieski"));

  // desynchronise, move the sound away, synchronise, align: each as the menu allows
  form_->PreparePopupMenu(At(lnFirstClipTop, 100), Qt::NoModifier);
  Item("MenuDesynchronizeItem")->trigger();
  EXPECT_FALSE(picture->SynchronizeBothItem());
  sound->SetFirstFrame(60);
  form_->PreparePopupMenu(At(lnFirstClipTop, 100), Qt::NoModifier);
  EXPECT_TRUE(Item("MenuSynchronizeItem")->isEnabled());
  Item("MenuSynchronizeItem")->trigger();
  form_->PreparePopupMenu(At(lnFirstClipTop, 100), Qt::NoModifier);
  EXPECT_TRUE(Item("MenuAlignSynchronizeItem")->isEnabled());
  Item("MenuAlignSynchronizeItem")->trigger();
  EXPECT_EQ(picture->FirstFrame(), sound->FirstFrame());
  EXPECT_EQ(picture->Duration(), sound->Duration());
  EXPECT_TRUE(Box().Modified());
  form_->PreparePopupMenu(At(lnFirstClipTop, 100), Qt::NoModifier);
  EXPECT_TRUE(Item("MenuSaveProject")->isEnabled());
  Item("MenuShowHideAnimationBox")->trigger();
  EXPECT_TRUE(picture->ShowAnimationBox());

  // colour blocks at the menu point: blue, and the user's colour from the dialog
  form_->PreparePopupMenu(At(lnFirstClipBottom, 250), Qt::NoModifier);
  Item("MenuInsertBlue")->trigger();
  ASSERT_EQ(Row(lnFirstClipBottom)->ItemCount(), 1);
  EXPECT_EQ(Row(lnFirstClipBottom)->Items(0)->UniformColor(), ucBlue);
  EXPECT_EQ(Spans(Box(), lnFirstClipBottom), (TSpans{{225, 275}}));
  // the transition the blue block makes gets a random effect through the menu
  Row(lnFirstClipBottom)->Items(0)->SetFirstFrame(100);
  ASSERT_EQ(Row(lnFirstFx3d)->ItemCount(), 1);
  form_->PreparePopupMenu(At(lnFirstClipBottom, 250), Qt::NoModifier);
  EXPECT_TRUE(Item("MenuMakeRandomFx3d")->isEnabled());
  // a double click on the transition opens the effect chooser
  dialogs_.Effect = 0x105;
  QTest::mouseDClick(View(), Qt::LeftButton, Qt::NoModifier, At(lnFirstFx3d, 110));
  EXPECT_EQ(Row(lnFirstFx3d)->Items(0)->Fx3dID(), 0x105);
  EXPECT_EQ(Box().DefaultFx3dID(), 0x105);
  // the double-click menu recolours a colour block with the user's colour
  QMenu* rowMenu = form_->PrepareRowMenu(At(lnFirstClipBottom, 110));
  ASSERT_NE(rowMenu, nullptr);
  EXPECT_TRUE(rowMenu->findChild<QAction*>("RowInsertBlue")->isChecked());
  EXPECT_FALSE(rowMenu->findChild<QAction*>("RowInsertBlue")->isEnabled());
  EXPECT_TRUE(rowMenu->findChild<QAction*>("RowDeleteColor")->isVisible());
  rowMenu->findChild<QAction*>("RowInsertSelected")->trigger();
  EXPECT_EQ(Row(lnFirstClipBottom)->Items(0)->UniformColor(), ucSelected);
  EXPECT_EQ(Row(lnFirstClipBottom)->Items(0)->UniformColorValue(), 0x123456u);

  // the zoom steps and the count type from the menu
  for (QAction* a : form_->PopupMenu()->findChildren<QAction*>())
    if (a->text() == QString::fromUtf8("2 Sekundy")) a->trigger();
  EXPECT_EQ(Box().Zoom(), zmTwoSeconds);
  for (QAction* a : form_->PopupMenu()->findChildren<QAction*>())
    if (a->text() == QString::fromUtf8("&Czas")) a->trigger();
  EXPECT_EQ(Box().Scale().CountType(), ctTime);
  EXPECT_EQ(doc_.CountType(), ctTime);
  Item("MenuSecondLayerKey")->trigger();
  EXPECT_TRUE(Box().FirstLayerDoKey());

  // "Kasuj wszystko" asks first (OK / Cancel); Cancel keeps everything
  {
    TScopedMessageRecorder rec;
    form_->PreparePopupMenu(At(lnFirstClipTop, 250), Qt::NoModifier);
    Item("MenuDeleteAll")->trigger();
    EXPECT_EQ(rec.Texts(), (std::vector<std::string>{"Czy napewno chcesz usunąć wszystkie elementy ?"}));
    EXPECT_GT(Box().ProjectItemCount(), 0);
    rec.Recorder().QueueAnswer(TMsgAnswer::Ok);
    Item("MenuDeleteAll")->trigger();
  }
  EXPECT_EQ(Box().ProjectItemCount(), 0);
  EXPECT_EQ(Box().TotalItemCount(), 1);  // the range block stays
}

TEST_F(TimeLineFormTest, ScriptWindowEditsAndTheSlidersPreview) {
  Row(lnFirstClipTop)->RecolorItem(Put(lnFirstClipTop, 0, 50), ucBlue, 0);
  std::vector<std::string> previews;
  std::vector<int> modes;
  std::vector<bool> reloads;
  form_->OnPreview = [&](const std::string& script, bool reloaded, int64_t ms, int mode) {
    previews.push_back(script + "@" + std::to_string(ms));
    modes.push_back(mode);
    reloads.push_back(reloaded);
  };
  // the slider dragged over the scale: the frame under it in milliseconds, the script
  // made once; Ctrl plays the sound too
  const int y = Box().ScaleTop() + 4;
  QTest::mousePress(View(), Qt::LeftButton, Qt::NoModifier, QPoint(72, y));
  QTest::mouseMove(View(), QPoint(144, y));
  QTest::mouseRelease(View(), Qt::LeftButton, Qt::NoModifier, QPoint(144, y));
  ASSERT_GE(previews.size(), 2u);
  EXPECT_NE(previews.front().find("*** Video1 ***"), std::string::npos);
  EXPECT_NE(previews.front().find("@1000"), std::string::npos);
  EXPECT_NE(previews.back().find("@2000"), std::string::npos);
  EXPECT_TRUE(reloads.front());
  EXPECT_FALSE(reloads.back());
  EXPECT_EQ(modes.back(), 0);
  QTest::mousePress(View(), Qt::LeftButton, Qt::ControlModifier, QPoint(72, y));
  EXPECT_EQ(modes.back(), 2);
  QTest::mouseRelease(View(), Qt::LeftButton, Qt::ControlModifier, QPoint(72, y));
  EXPECT_FALSE(Box().Scale().ShowSlider());

  // the script window: its edits replace the script the film would use
  QString shown;
  QTimer::singleShot(0, [&] {
    auto* w = qobject_cast<TScriptWindow*>(QApplication::activeModalWidget());
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowTitle(), QString::fromUtf8("Wygenerowany Skrypt"));
    shown = w->Memo()->toPlainText();
    w->Memo()->setPlainText("*** Video1 ***\nCol $00FF0000 3000\nNop null\n");
    w->accept();
  });
  // Ctrl+Alt+S in the window, though the menu shows the item only with Ctrl and Shift
  form_->PreparePopupMenu(QPoint(10, 10), Qt::NoModifier);
  ASSERT_FALSE(Item("MenuMakeScript")->isVisible());
  View()->setFocus();
  QTest::keyClick(View(), Qt::Key_S, Qt::ControlModifier | Qt::AltModifier);
  EXPECT_TRUE(shown.startsWith("*** Video1 ***\nCol $00FF0000 2000\n")) << shown.toStdString();
  EXPECT_EQ(form_->Script().Lines(),
            (std::vector<std::string>{"*** Video1 ***", "Col $00FF0000 3000", "Nop null"}));
  EXPECT_FALSE(form_->ScriptStale());
  EXPECT_EQ(form_->MakeScript().Lines()[1], "Col $00FF0000 3000");  // kept while nothing changes
  Row(lnFirstClipTop)->Items(0)->SetDuration(25);
  EXPECT_TRUE(form_->ScriptStale());
  EXPECT_EQ(form_->MakeScript().Lines()[1], "Col $00FF0000 1000");
}

TEST_F(TimeLineFormTest, SaveReopenAndTheUnsavedQuestion) {
  const int still = AddStill("still.bmp");
  ASSERT_TRUE(DropClip(still, At(lnFirstClipTop, 200)));
  for (QAction* a : form_->PopupMenu()->findChildren<QAction*>())
    if (a->text() == QString::fromUtf8("&Klatki")) a->trigger();
  const std::string file = dir_.File("saved.mvf");

  // "Zapisz projekt jako...": the name from the dialog
  projectDialogs_.SaveAnswer = file;
  form_->PreparePopupMenu(At(lnFirstClipTop, 200), Qt::NoModifier);
  Item("MenuSaveProjectAs")->trigger();
  EXPECT_FALSE(Box().Modified());
  EXPECT_EQ(form_->windowTitle(), QString::fromStdString("Okno projektu - [" + file + "]"));
  const std::vector<uint8_t> saved = test::ReadBytes(file);
  ASSERT_FALSE(saved.empty());

  // closing with unsaved work asks; Cancel keeps the window and the work
  Put(lnImage, 0, 30);
  ASSERT_TRUE(Box().Modified());
  {
    TScopedMessageRecorder rec;
    rec.Recorder().QueueAnswer(TMsgAnswer::Cancel);
    form_->close();
    EXPECT_EQ(rec.Texts(), (std::vector<std::string>{"Projekt nie jest zapisany. Czy chcesz zapisać aktualny stan na dysk ?"}));
    EXPECT_TRUE(form_->isVisible());
    EXPECT_TRUE(Box().Modified());
    EXPECT_EQ(Row(lnImage)->ItemCount(), 1);
    // No: the window goes (hidden), the work stays open and the file as it was
    rec.Recorder().QueueAnswer(TMsgAnswer::No);
    form_->close();
    EXPECT_FALSE(form_->isVisible());
    EXPECT_EQ(Row(lnImage)->ItemCount(), 1);
    EXPECT_EQ(test::ReadBytes(file), saved);
    form_->show();
    // Yes: saved under its name, then the window goes
    rec.Recorder().QueueAnswer(TMsgAnswer::Yes);
    form_->close();
    EXPECT_FALSE(form_->isVisible());
    EXPECT_FALSE(Box().Modified());
    EXPECT_NE(test::ReadBytes(file), saved);
  }
  form_->show();

  // a new project (the main window's command): empty, the view at 0, not modified
  Box().SetFirstFrame(100);
  Box().SetModified(false);  // the view moving counts as a change of the project
  ASSERT_TRUE(doc_.New());
  EXPECT_EQ(Box().ProjectItemCount(), 0);
  EXPECT_EQ(Box().FirstFrame(), 0);
  EXPECT_EQ(form_->windowTitle(), QString::fromUtf8("Okno projektu - []"));
  Box().Scale().SetCountType(ctSMPTE);

  // "Otwórz projekt..." (Ctrl+O in the window) brings it back, count type and all
  projectDialogs_.OpenAnswer = file;
  View()->setFocus();
  QTest::keyClick(View(), Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(Spans(Box(), lnFirstClipTop), (TSpans{{175, 225}}));
  EXPECT_EQ(Spans(Box(), lnImage), (TSpans{{0, 30}}));
  EXPECT_EQ(Box().Scale().CountType(), ctFrameNumber);
  EXPECT_FALSE(Box().Modified());
  EXPECT_EQ(form_->windowTitle(), QString::fromStdString("Okno projektu - [" + file + "]"));

  // a file that is no project: the message, and the open project as it was
  const std::string bad = dir_.File("bad.mvf");
  test::WriteBytes(bad, {'R', 'I', 'F', 'F', 1, 2, 3});
  projectDialogs_.OpenAnswer = bad;
  {
    TScopedMessageRecorder rec;
    EXPECT_FALSE(form_->OpenProject());
    EXPECT_EQ(rec.Texts(), (std::vector<std::string>{"Plik " + bad + " nie został rozpoznany przez Movara 1.0"}));
  }
  EXPECT_EQ(Spans(Box(), lnFirstClipTop), (TSpans{{175, 225}}));
  EXPECT_EQ(form_->windowTitle(), QString::fromStdString("Okno projektu - [" + file + "]"));
  // Ctrl+S with nothing changed does nothing (the item is disabled)
  const std::vector<uint8_t> before = test::ReadBytes(file);
  QTest::keyClick(View(), Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(test::ReadBytes(file), before);
}


TEST_F(TimeLineFormTest, UndoAndRedoCommandsOneStepPerGesture) {
  const int still = AddStill("still.bmp");
  QAction* undo = form_->UndoAction();
  QAction* redo = form_->RedoAction();
  EXPECT_EQ(undo->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Z));
  EXPECT_EQ(redo->shortcuts(),
            (QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)}));
  auto texts = [&] { return (undo->text() + "|" + redo->text()).toStdString(); };
  EXPECT_EQ(texts(), "Cofnij|Ponów");
  EXPECT_FALSE(undo->isEnabled());
  EXPECT_FALSE(redo->isEnabled());

  ASSERT_TRUE(DropClip(still, At(lnFirstClipTop, 250)));  // [225, 275)
  QTest::qWait(20);
  EXPECT_EQ(texts(), "Cofnij: wstawienie bloczka|Ponów");
  EXPECT_TRUE(undo->isEnabled());
  // a drag of many moves, with events handled between them, is one step
  const QPoint from = At(lnFirstClipTop, 250), to = At(lnFirstClipTop, 400);
  QTest::mousePress(View(), Qt::LeftButton, Qt::NoModifier, from);
  for (int k = 1; k <= 12; ++k) {
    QTest::mouseMove(View(), from + (to - from) * k / 12);
    QTest::qWait(5);
  }
  EXPECT_EQ(doc_.History().UndoCount(), 1);
  QTest::mouseRelease(View(), Qt::LeftButton, Qt::NoModifier, to);
  QTest::qWait(120);
  EXPECT_EQ(doc_.History().UndoCount(), 2);
  EXPECT_EQ(texts(), "Cofnij: przesunięcie bloczka|Ponów");
  const TSpans moved = Spans(Box(), lnFirstClipTop);
  ASSERT_NE(moved, (TSpans{{225, 275}}));

  // the keys, in the window
  form_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
  QTest::keyClick(View(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(Spans(Box(), lnFirstClipTop), (TSpans{{225, 275}}));
  EXPECT_EQ(texts(), "Cofnij: wstawienie bloczka|Ponów: przesunięcie bloczka");
  EXPECT_TRUE(redo->isEnabled());
  QTest::keyClick(View(), Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(Spans(Box(), lnFirstClipTop), moved);
  undo->trigger();
  undo->trigger();
  EXPECT_EQ(Row(lnFirstClipTop)->ItemCount(), 0);
  EXPECT_FALSE(undo->isEnabled());
  QTest::keyClick(View(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(Spans(Box(), lnFirstClipTop), (TSpans{{225, 275}}));
  EXPECT_TRUE(CheckInvariants(Box()));

  // a command of the window names its step; an edit after an undo ends the redo branch
  Item("MenuSecondLayerKey")->trigger();
  EXPECT_EQ(texts(), "Cofnij: kluczowanie warstwy 1|Ponów");
  EXPECT_FALSE(redo->isEnabled());
  // a new project starts a new history
  {
    TScopedMessageRecorder rec;
    rec.Recorder().QueueAnswer(TMsgAnswer::No);
    ASSERT_TRUE(form_->NewProject());
  }
  QTest::qWait(20);
  EXPECT_EQ(texts(), "Cofnij|Ponów");
  EXPECT_FALSE(undo->isEnabled());
}

}  // namespace
}  // namespace movara
