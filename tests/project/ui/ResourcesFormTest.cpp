// The resource window driven as a user drives it (Qt Test events, offscreen): adding
// files through the dialog, the thumbnails it draws (a sound's waveform among them),
// selection with Ctrl and Shift, deletion and its question, reordering by dropping one
// thumbnail on another, the drag onto the time line and its data, files dropped from a
// file manager.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDrag>
#include <QDropEvent>
#include <QMimeData>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "base/AppPaths.h"
#include "base/Dib.h"
#include "base/UserMessages.h"
#include "media/AudioZoom.h"
#include "media/ResourceLists.h"
#include "persist/ProjectDocument.h"
#include "project/ClipGraphic.h"
#include "project/ui/ClipBoxView.h"
#include "project/ui/ClipMime.h"
#include "project/ui/ClipPaint.h"
#include "project/ui/DocumentSignals.h"
#include "project/ui/ResourcesForm.h"
#include "support/TestSupport.h"

namespace movara {
namespace {

using test::TTempDir;

class TScriptedResourceDialogs : public IResourceDialogs {
 public:
  std::vector<std::string> Answer;
  std::vector<std::string> Folders;
  std::vector<std::string> AskResourceFiles(const std::string& folder) override {
    Folders.push_back(folder);
    return Answer;
  }
};

// A one-second mono 16-bit WAV of a slow (5 Hz) swing: the coarse waveform levels keep
// what lies below their own rate.
void WriteWav(const std::string& file) {
  const int rate = 22050, n = rate;
  std::vector<int16_t> samples(n);
  for (int i = 0; i < n; ++i) samples[i] = static_cast<int16_t>(20000 * std::sin(2 * M_PI * 5 * i / rate));
  std::ofstream f(file, std::ios::binary);
  auto u32 = [&f](uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [&f](uint16_t v) { f.write(reinterpret_cast<const char*>(&v), 2); };
  f.write("RIFF", 4);
  u32(36 + n * 2);
  f.write("WAVEfmt ", 8);
  u32(16);
  u16(1);
  u16(1);
  u32(rate);
  u32(rate * 2);
  u16(2);
  u16(16);
  f.write("data", 4);
  u32(n * 2);
  f.write(reinterpret_cast<const char*>(samples.data()), n * 2);
}

class ResourcesFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDataFolderForTests(dir_.File("data/"));
    form_ = std::make_unique<TResourcesForm>(signals_);
    form_->SetDialogs(&dialogs_);
    form_->resize(320, 420);
    form_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
  }
  void TearDown() override {
    form_.reset();
    DestroyResourceLists();
    AudioZoomReaderList().Clear();
    SetDataFolderForTests("");
  }
  std::string Bmp(const std::string& name, TColor c = RGBColor(200, 30, 30)) {
    TDIB dib(64, 48, 24);
    dib.Fill(c);
    const std::string f = dir_.File(name);
    EXPECT_TRUE(dib.SaveToFile(f));
    return f;
  }
  // Adds bitmaps 0.bmp .. n-1.bmp through the dialog.
  void AddBitmaps(int n) {
    dialogs_.Answer.clear();
    for (int i = 0; i < n; ++i) dialogs_.Answer.push_back(Bmp(std::to_string(i) + ".bmp"));
    ASSERT_EQ(form_->AddFiles(), n);
  }
  TClipBox& Box() { return doc_.ClipBox(); }
  TClipBoxView& View() { return *form_->View(); }
  QPoint PictureCentre(int index) { return ClipPictureRect(View().ClipRect(index), *Box().Clips(index)).center(); }
  QPoint TextPoint(int index) { return View().ClipRect(index).center() + QPoint(40, 0); }
  std::set<int> Selected() {
    std::set<int> s;
    for (int i = 0; i < Box().Count(); ++i)
      if (Box().Clips(i)->Selected()) s.insert(i);
    return s;
  }
  std::vector<std::string> Names() {
    std::vector<std::string> n;
    for (int i = 0; i < Box().Count(); ++i) n.push_back(Box().Clips(i)->FileShortName());
    return n;
  }
  // A drag of data entering the list, moving to at and dropped there, as Qt delivers
  // it; false when the list refused it on the way.
  bool Drop(QMimeData* data, const QPoint& at) {
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(at, actions, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(View().viewport(), &enter);
    QDragMoveEvent move(at, actions, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(View().viewport(), &move);
    if (!enter.isAccepted() || !move.isAccepted()) return false;
    QDropEvent drop(at, actions, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(View().viewport(), &drop);
    return true;
  }

  TTempDir dir_;
  TProjectDocument doc_;
  TDocumentSignals signals_{doc_};
  TScriptedResourceDialogs dialogs_;
  std::unique_ptr<TResourcesForm> form_;
};

TEST_F(ResourcesFormTest, FilesAddedThroughTheDialogAreDrawn) {
  WriteWav(dir_.File("tone.wav"));
  std::ofstream(dir_.File("notes.txt")) << "no picture";
  dialogs_.Answer = {Bmp("red.bmp"), dir_.File("tone.wav"), dir_.File("notes.txt")};
  TScopedMessageRecorder rec;
  EXPECT_EQ(form_->AddFiles(), 2);
  ASSERT_EQ(rec.Recorder().Requests().size(), 1u);
  EXPECT_EQ(rec.Recorder().Requests()[0].Text,
            "Nastąpił błąd w trakcie odczytu zbioru \"" + dir_.File("notes.txt") + "\"");
  EXPECT_EQ(rec.Recorder().Requests()[0].Caption, "Uwaga !");
  EXPECT_EQ(form_->ItemsText(), "Pozycje: 2");
  // the dialog starts where the last files came from
  dialogs_.Answer = {};
  form_->AddFiles();
  EXPECT_EQ(dialogs_.Folders, (std::vector<std::string>{"", dir_.Path()}));

  // what the window shows: the picture, and the sound's green waveform over white
  const QImage shot = View().viewport()->grab().toImage();
  const QRect pic0 = ClipPictureRect(View().ClipRect(0), *Box().Clips(0));
  EXPECT_EQ(shot.pixelColor(pic0.center()), QColor(200, 30, 30));
  const QRect pic1 = ClipPictureRect(View().ClipRect(1), *Box().Clips(1));
  int green = 0, white = 0;
  for (int x = pic1.left() + 1; x < pic1.right(); ++x) {
    for (int y = pic1.top() + 1; y < pic1.bottom(); ++y) {
      const QColor c = shot.pixelColor(x, y);
      if (c == QColor(0, 128, 0)) ++green;
      if (c == QColor(255, 255, 255)) ++white;
    }
  }
  EXPECT_GT(green, pic1.width() * 4) << "a loud swing fills much of the height";
  EXPECT_GT(white, 0);

  // every pattern of the dialog's filters in upper and lower case
  for (const QString& filter : ResourceFileFilters()) {
    const QRegularExpressionMatch m = QRegularExpression(R"(\(([^)]*)\)$)").match(filter);
    ASSERT_TRUE(m.hasMatch()) << filter.toStdString();
    const QStringList patterns = m.captured(1).split(' ');
    for (const QString& p : patterns) {
      if (p == "*") continue;
      EXPECT_TRUE(patterns.contains(p.toUpper()) && patterns.contains(p.toLower())) << filter.toStdString();
    }
  }
  // phone and camera media are offered beside AVI and WAV
  EXPECT_TRUE(ResourceFileFilters()[0].contains("*.mp4") && ResourceFileFilters()[0].contains("*.M4A"));
  EXPECT_TRUE(ResourceFileFilters()[4].contains("*.MOV") && !ResourceFileFilters()[4].contains("*.mp3"));
}

TEST_F(ResourcesFormTest, ClicksSelectAloneWithCtrlAndWithShift) {
  AddBitmaps(6);
  struct TClick {
    int index;
    Qt::KeyboardModifiers mods;
    std::set<int> selected;
  } clicks[] = {
      {1, Qt::NoModifier, {1}},
      {3, Qt::ControlModifier, {1, 3}},
      {1, Qt::ControlModifier, {3}},           // toggled off
      {5, Qt::ShiftModifier, {3, 4, 5}},       // the run to the selection
      {0, Qt::ShiftModifier, {0, 1, 2, 3, 4, 5}},  // farther from the first: the run to the last
      {2, Qt::NoModifier, {2}},
  };
  for (const TClick& c : clicks) {
    QTest::mouseClick(View().viewport(), Qt::LeftButton, c.mods, TextPoint(c.index));
    EXPECT_EQ(Selected(), c.selected) << "click on " << c.index;
  }
  EXPECT_EQ(form_->NameText(), "2.bmp");
}

TEST_F(ResourcesFormTest, DeleteAsksForAThumbnailUsedOnTheTimeLine) {
  AddBitmaps(3);
  TLayerItem* block = doc_.LayerBox().RowByNumber(lnFirstClipTop)->InsertLayerItem(0, false, true, false, -1,
                                                                                  Box().Clips(1), 50);
  ASSERT_TRUE(Box().Clips(1)->Used());
  ASSERT_NE(block, nullptr);
  QTest::mouseClick(View().viewport(), Qt::LeftButton, Qt::NoModifier, TextPoint(0));
  QTest::mouseClick(View().viewport(), Qt::LeftButton, Qt::ControlModifier, TextPoint(1));

  TScopedMessageRecorder rec;
  rec.Recorder().QueueAnswer(TMsgAnswer::Cancel);
  QTest::keyClick(&View(), Qt::Key_Delete);
  EXPECT_EQ(Names(), (std::vector<std::string>{"1.bmp", "2.bmp"}));  // the unused one went without a question
  ASSERT_EQ(rec.Texts().size(), 1u);
  EXPECT_EQ(rec.Texts()[0],
            "Wybrany element użyty jest na linii czasu. Czy napewno go usunąć 1.bmp z okna zasobów oraz z linii "
            "czasu ?");
  EXPECT_EQ(rec.Recorder().Requests()[0].Buttons, TMsgButtons::OkCancel);
  EXPECT_EQ(doc_.LayerBox().RowByNumber(lnFirstClipTop)->ItemCount(), 1);

  rec.Recorder().QueueAnswer(TMsgAnswer::Ok);
  QTest::keyClick(&View(), Qt::Key_Delete);
  EXPECT_EQ(Names(), (std::vector<std::string>{"2.bmp"}));
  EXPECT_EQ(doc_.LayerBox().RowByNumber(lnFirstClipTop)->ItemCount(), 0);  // its block went with it
  EXPECT_EQ(form_->ItemsText(), "Pozycje: 1");
}

TEST_F(ResourcesFormTest, DraggingAThumbnailCarriesItsIndexAndADropReorders) {
  AddBitmaps(4);
  // a drag from the picture of the third thumbnail
  std::string mime, payload;
  QTimer::singleShot(0, [&] {
    if (QDrag* drag = View().findChild<QDrag*>()) {
      mime = drag->mimeData()->formats().join(',').toStdString();
      payload = drag->mimeData()->data(kClipMimeType).toStdString();
    }
    QDrag::cancel();
  });
  QTest::mousePress(View().viewport(), Qt::LeftButton, Qt::NoModifier, PictureCentre(2));
  QTest::mouseMove(View().viewport(), PictureCentre(2) + QPoint(20, 20));
  QTest::mouseRelease(View().viewport(), Qt::LeftButton, Qt::NoModifier, PictureCentre(2) + QPoint(20, 20));
  QTest::qWait(20);
  EXPECT_EQ(mime, kClipMimeType);
  EXPECT_EQ(payload, "2");
  EXPECT_EQ(Selected(), (std::set<int>{2}));  // starting the drag selected it

  // dropped on another thumbnail it takes that one's place
  struct TMove {
    int from, onto;
    std::vector<std::string> order;
  } moves[] = {
      {0, 2, {"1.bmp", "2.bmp", "0.bmp", "3.bmp"}},  // from above: below the target
      {3, 0, {"3.bmp", "1.bmp", "2.bmp", "0.bmp"}},  // from below: above it
      {1, 1, {"3.bmp", "1.bmp", "2.bmp", "0.bmp"}},  // onto itself: refused
  };
  for (const TMove& m : moves) {
    QMimeData data;
    data.setData(kClipMimeType, QByteArray::number(m.from));
    EXPECT_EQ(Drop(&data, TextPoint(m.onto)), m.from != m.onto);
    EXPECT_EQ(Names(), m.order) << m.from << " onto " << m.onto;
  }

  // a full list: a used thumbnail shows the no-drop cursor and does not drag
  Box().SetMaxClipCount(4);
  Box().Clips(0)->SetUsed(true);
  QTest::mouseMove(View().viewport(), PictureCentre(0));
  EXPECT_EQ(View().viewport()->cursor().shape(), Qt::ForbiddenCursor);
  QTest::mouseMove(View().viewport(), PictureCentre(1));
  EXPECT_EQ(View().viewport()->cursor().shape(), Qt::OpenHandCursor);
  bool dragged = false;
  QTimer::singleShot(0, [&] {
    dragged = View().findChild<QDrag*>() != nullptr;
    QDrag::cancel();
  });
  QTest::mousePress(View().viewport(), Qt::LeftButton, Qt::NoModifier, PictureCentre(0));
  QTest::mouseMove(View().viewport(), PictureCentre(0) + QPoint(20, 20));
  QTest::mouseRelease(View().viewport(), Qt::LeftButton, Qt::NoModifier, PictureCentre(0) + QPoint(20, 20));
  QTest::qWait(20);
  EXPECT_FALSE(dragged);
}

TEST_F(ResourcesFormTest, FilesDroppedFromAFileManager) {
  AddBitmaps(1);
  std::ofstream(dir_.File("notes.txt")) << "no picture";
  TScopedMessageRecorder rec;
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(QString::fromStdString(Bmp("dropped.bmp"))),
                QUrl::fromLocalFile(QString::fromStdString(dir_.File("notes.txt")))});
  EXPECT_TRUE(Drop(&data, TextPoint(0)));
  EXPECT_EQ(Names(), (std::vector<std::string>{"0.bmp", "dropped.bmp"}));
  ASSERT_EQ(rec.Texts().size(), 1u);  // the file that is no media is refused with a message
  EXPECT_EQ(rec.Texts()[0], "Nastąpił błąd w trakcie odczytu zbioru \"" + dir_.File("notes.txt") + "\"");
  EXPECT_EQ(form_->ItemsText(), "Pozycje: 2");

  // a full list takes no more files
  Box().SetMaxClipCount(2);
  EXPECT_FALSE(Drop(&data, TextPoint(0)));
  EXPECT_EQ(Box().Count(), 2);
}

}  // namespace
}  // namespace movara
