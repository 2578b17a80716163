// The clip player window (offscreen): opening files and resource clips, its caption,
// displays, steps and popup, and the marked part dragged onto the time line giving the
// block the marks say (with its sound block), also for a file not yet in the resource
// list and for a sound.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <memory>

#include "app/ui/ClipPlayer.h"
#include "app/ui/MediaWindows.h"
#include "app/ui/MovaraForm.h"
#include "compose/ui/ImageView.h"
#include "project/ui/ClipBoxView.h"
#include "project/ui/ResourcesForm.h"
#include "base/UserMessages.h"
#include "compose/ui/MarkInOutSlider.h"
#include "media/AudioZoom.h"
#include "media/ResourceLists.h"
#include "persist/ProjectDocument.h"
#include "platform/audioout/WaveOut.h"
#include "project/ClipBox.h"
#include "project/ClipGraphic.h"
#include "project/Layers.h"
#include "project/LayersTestSupport.h"
#include "project/ui/DocumentSignals.h"
#include "project/ui/LayerBoxView.h"
#include "project/ui/TimeLineForm.h"
#include "support/TestSupport.h"

namespace movara {
namespace {

using TSpans = std::vector<std::pair<int, int>>;

class ClipPlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetWaveOutForceSilent(true);
    form_ = std::make_unique<TTimeLineForm>(doc_, signals_);
    form_->resize(900, 500);
    form_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
    doc_.LayerBox().SetSnapItems(false);
    SetClipPlayerHost(nullptr, &doc_.ClipBox());
  }
  void TearDown() override {
    CloseAllClipPlayers();
    SetClipPlayerHost(nullptr, nullptr);
    form_.reset();
    DestroyResourceLists();
    AudioZoomReaderList().Clear();
    SetWaveOutForceSilent(false);
  }
  std::string Make(const std::string& name, const std::string& args) {
    const std::string file = dir_.File(name);
    const auto r = test::RunCommand("ffmpeg -v error -y " + args + " " + test::Quote(file));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    return file;
  }
  // 100 frames (4 s) of 32 x 24 with sound
  std::string Movie(const std::string& name) {
    return Make(name,
                "-f lavfi -i testsrc2=size=32x24:rate=25 -f lavfi -i sine=frequency=5:sample_rate=22050 "
                "-frames:v 100 -c:v mjpeg -q:v 3 -c:a pcm_s16le -shortest");
  }
  TLayerBox& Box() { return doc_.LayerBox(); }
  TLayerRow* Row(TLayerNumber n) { return Box().RowByNumber(n); }
  QPoint At(TLayerNumber n, int frame) { return QPoint(test::XOf(Box(), frame), test::YOf(Box(), n)); }
  // The player's drag data dropped on the time line as Qt delivers it.
  bool Drop(TClipPlayer& player, const QPoint& at, bool* added = nullptr) {
    std::unique_ptr<QMimeData> data(player.DragData(doc_.ClipBox(), added));
    if (!data) return false;
    const Qt::DropActions actions = Qt::CopyAction;
    QWidget* view = form_->View();
    QDragEnterEvent enter(at, actions, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view, &enter);
    QDragMoveEvent move(at, actions, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view, &move);
    if (!enter.isAccepted() || !move.isAccepted()) return false;
    QDropEvent drop(at, actions, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view, &drop);
    return drop.isAccepted();
  }

  test::TTempDir dir_;
  TScopedMessageRecorder messages_;
  TProjectDocument doc_;
  TDocumentSignals signals_{doc_};
  std::unique_ptr<TTimeLineForm> form_;
};

TEST_F(ClipPlayerTest, MarkedPartsDroppedOnTheTimeLineGiveTheirBlocks) {
  REQUIRE_PROGRAM("ffmpeg");
  TClipGraphic* movie = doc_.ClipBox().AddFile(Movie("movie.avi"));
  ASSERT_NE(movie, nullptr);
  TClipPlayer* player = PlayResourceClip(*movie);
  ASSERT_NE(player, nullptr);
  EXPECT_EQ(player->windowTitle(), QString::fromUtf8("Odtwarzacz [movie.avi - (32 x 24)]"));
  // the same thumbnail again: the same player
  EXPECT_EQ(PlayResourceClip(*movie), player);
  EXPECT_EQ(ClipPlayers().size(), 1u);

  // marks at 1 s and 3 s: 50 frames from frame 25 of the clip, centred on frame 200
  player->Slider()->SetPosition(3000);
  player->MarkOut();
  player->Slider()->SetPosition(1000);
  player->MarkIn();
  EXPECT_EQ(player->PositionText(), "00:00:01.00  00:00:03.96");
  EXPECT_EQ(player->DurationText(), "00:00:02.00  00:00:03.96");
  ASSERT_TRUE(Drop(*player, At(lnFirstClipBottom, 200)));
  EXPECT_EQ(test::Spans(Box(), lnFirstClipBottom), (TSpans{{175, 225}}));
  EXPECT_EQ(Row(lnFirstClipBottom)->Items(0)->OffsetFrame(), 25);
  EXPECT_EQ(Row(lnFirstClipBottom)->Items(0)->LinkClipGraphic(), movie);
  EXPECT_EQ(test::Spans(Box(), lnAudioThird), (TSpans{{175, 225}}));
  EXPECT_EQ(Row(lnAudioThird)->Items(0)->OffsetFrame(), 25);

  // a film opened by itself: its drag adds its thumbnail; no marks drag the whole clip
  TClipPlayer* film = OpenClipPlayer(Movie("film.avi"));
  ASSERT_NE(film, nullptr);
  EXPECT_EQ(film->Graphic(), nullptr);
  bool added = false;
  ASSERT_TRUE(Drop(*film, At(lnFirstClipTop, 400), &added));
  EXPECT_TRUE(added);
  ASSERT_EQ(doc_.ClipBox().Count(), 2);
  EXPECT_EQ(test::Spans(Box(), lnFirstClipTop), (TSpans{{350, 450}}));
  EXPECT_EQ(Row(lnFirstClipTop)->Items(0)->LinkClipGraphic(), doc_.ClipBox().Clips(1));
  // the next drag finds that thumbnail
  ASSERT_TRUE(Drop(*film, At(lnFirstClipTop, 600), &added));
  EXPECT_FALSE(added);
  EXPECT_EQ(doc_.ClipBox().Count(), 2);

  // a sound: on a sound row only
  TClipPlayer* tone = OpenClipPlayer(Make("tone.wav", "-f lavfi -i sine=frequency=440:sample_rate=44100 -t 2 -c:a pcm_s16le"));
  ASSERT_NE(tone, nullptr);
  EXPECT_EQ(tone->windowTitle(), QString::fromUtf8("Odtwarzacz [tone.wav]"));
  tone->Slider()->SetPosition(500);
  tone->MarkIn();
  tone->Slider()->SetPosition(1500);
  tone->MarkOut();
  EXPECT_FALSE(Drop(*tone, At(lnImage, 700)));
  ASSERT_TRUE(Drop(*tone, At(lnAudioFirst, 700)));
  EXPECT_EQ(test::Spans(Box(), lnAudioFirst), (TSpans{{688, 713}}));
  EXPECT_EQ(Row(lnAudioFirst)->Items(0)->OffsetFrame(), 13);
  EXPECT_TRUE(test::CheckInvariants(Box()));
}

TEST_F(ClipPlayerTest, TransportPopupAndTheWindowsLife) {
  REQUIRE_PROGRAM("ffmpeg");
  const std::string file = Movie("movie.avi");
  // other kinds and missing files give no player
  EXPECT_EQ(OpenClipPlayer(dir_.File("missing.avi")), nullptr);
  TDIB still(8, 8, 24);
  ASSERT_TRUE(still.SaveToFile(dir_.File("still.bmp")));
  EXPECT_EQ(OpenClipPlayer(dir_.File("still.bmp")), nullptr);
  SetClipPlayerOpenDialog([] { return std::string(); });
  EXPECT_EQ(OpenClipPlayer(""), nullptr);  // the dialog cancelled
  SetClipPlayerOpenDialog([file] { return file; });
  TClipPlayer* player = OpenClipPlayer("");
  SetClipPlayerOpenDialog(nullptr);
  ASSERT_NE(player, nullptr);
  EXPECT_TRUE(messages_.Texts().empty());
  EXPECT_EQ(ClipPlayers().size(), 1u);
  TMarkInOutSlider* slider = player->Slider();
  EXPECT_EQ(slider->MaxPos(), 3960);

  // back a second from 1.5 s lands on the start and plays a second from there
  slider->SetPosition(1500);
  player->BackSecond();
  EXPECT_EQ(slider->Position(), 0);
  EXPECT_EQ(player->Player().ClipState(), csPlaying);
  EXPECT_EQ(player->Player().StopFrame(), 25);
  // stop while playing stops; stop again rewinds
  player->StopClicked();
  EXPECT_EQ(player->Player().ClipState(), csReady);
  slider->SetPosition(2000);
  player->StopClicked();
  EXPECT_EQ(slider->Position(), 0);
  EXPECT_EQ(player->Player().CurrentFrame(), 0);
  // forward steps stop at the end; back a frame goes back four frames
  slider->SetPosition(3950);
  player->ForwardSecond();
  EXPECT_EQ(slider->Position(), 3960);
  player->Player().Stop();
  slider->SetPosition(1000);
  player->BackFrame();
  EXPECT_EQ(slider->Position(), 840);
  player->Player().Stop();
  // the slider moved by hand moves the picture
  slider->setFocus();
  QTest::keyClick(slider, Qt::Key_End);
  EXPECT_EQ(player->Player().CurrentFrame(), 99);

  // the sizes show only with Ctrl and Shift held
  QMenu* menu = player->PopupMenu(Qt::NoModifier);
  int shown = 0;
  for (QAction* a : menu->actions())
    if (a->isVisible()) ++shown;
  EXPECT_EQ(shown, 1);  // the paste alone
  menu = player->PopupMenu(Qt::ControlModifier | Qt::ShiftModifier);
  QAction* half = nullptr;
  for (QAction* a : menu->actions())
    if (a->text() == QString::fromUtf8("Rozmiar &50%")) half = a;
  ASSERT_NE(half, nullptr);
  EXPECT_TRUE(half->isVisible());
  half->trigger();
  EXPECT_EQ(player->View()->size(), QSize(16, 12));

  // closing hides; close-all frees
  player->Player().Play(0, 0);
  player->Frame()->close();
  EXPECT_FALSE(player->Frame()->isVisible());
  EXPECT_EQ(player->Player().ClipState(), csReady);
  EXPECT_EQ(ClipPlayers().size(), 1u);
  CloseAllClipPlayers();
  EXPECT_TRUE(ClipPlayers().empty());
}

TEST_F(ClipPlayerTest, ThumbnailDoubleClicksOpenTheirWindows) {
  REQUIRE_PROGRAM("ffmpeg");
  TMovaraForm main(doc_);
  InstallMediaWindows(main);
  auto* resources = new TResourcesForm(signals_);
  main.AddStandingWindow(resources, swResources);
  main.resize(1000, 700);
  main.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
  TDIB dib(48, 40, 24);
  ASSERT_TRUE(dib.SaveToFile(dir_.File("still.bmp")));
  TClipBox& box = doc_.ClipBox();
  ASSERT_NE(box.AddFile(Movie("movie.avi")), nullptr);
  ASSERT_NE(box.AddFile(dir_.File("still.bmp")), nullptr);
  resources->Refresh();
  TClipBoxView* list = resources->View();
  auto doubleClick = [&](int index) {
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, list->ClipRect(index).center());
    QApplication::processEvents();
  };
  // an AVI: a player in the main window on that thumbnail, and the same one again
  doubleClick(0);
  ASSERT_EQ(ClipPlayers().size(), 1u);
  TClipPlayer* player = ClipPlayers()[0];
  EXPECT_EQ(player->Graphic(), box.Clips(0));
  EXPECT_TRUE(qobject_cast<QMdiSubWindow*>(player->parentWidget()) != nullptr);
  doubleClick(0);
  EXPECT_EQ(ClipPlayers().size(), 1u);
  // a picture: a resource view
  const size_t views = ResourceViews().size();
  doubleClick(1);
  ASSERT_EQ(ResourceViews().size(), views + 1);
  EXPECT_EQ(ResourceViews().back()->FileName(), "still.bmp");
  EXPECT_TRUE(messages_.Texts().empty());
  CloseAllClipPlayers();
  EXPECT_TRUE(CloseAllResourceViews());
}

}  // namespace
}  // namespace movara
