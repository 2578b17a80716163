// The capture and record windows on the simulated camera (offscreen, a manual clock):
// what a user does with them, end to end, and the settings sections they keep.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <filesystem>

#include "base/AppPaths.h"
#include "base/MyIniFile.h"
#include "base/UserMessages.h"
#include "dv/DvTestMedia.h"
#include "dv/ui/DvCapForm.h"
#include "dv/ui/DvCapSetup.h"
#include "dv/ui/DvRecordForm.h"
#include "dv/ui/DvWidgets.h"
#include "platform/dvgraph/DvAviFile.h"
#include "support/TestSupport.h"

namespace movara {
namespace {

class DvForms : public ::testing::Test {
 protected:
  void SetUp() override {
    media = test::DvMedia();
    if (!media) GTEST_SKIP() << "ffmpeg not installed";
    SetDataFolderForTests(std::string(std::getenv("MOVARA_TEST_BIN")) + "/data/");
    tape = dir.File("tape.avi");
    std::filesystem::copy_file(media->Tape, tape);
    ini = dir.File("Movara.Ini");
    Configure(false, false);
  }
  void TearDown() override {
    DvSetSimulator({});
    SetDataFolderForTests("");
  }
  void Configure(bool noTape, bool writeProtected) {
    TDvSimSettings s;
    s.TapeFile = tape;
    s.NoTape = noTape;
    s.WriteProtected = writeProtected;
    s.Clock = clock;
    DvSetSimulator(s);
  }
  // Moves the tape's clock, then lets the window's timer and queued events run.
  void Advance(int ms) {
    clock->Advance(ms);
    QTest::qWait(3 * TDvController::TimerInterval);
  }

  const test::TDvMedia* media = nullptr;
  test::TTempDir dir;
  std::string tape, ini;
  std::shared_ptr<TManualDvClock> clock = std::make_shared<TManualDvClock>();
  TScopedMessageRecorder messages;
};

TEST_F(DvForms, CaptureWindowPlaysTheTapeAndCapturesUntilEsc) {
  TDvCapForm form(ini, nullptr, clock);
  form.resize(640, 480);
  form.show();
  EXPECT_EQ(form.windowTitle(), QString::fromUtf8("Wychwyt"));
  EXPECT_EQ(form.Controller().Mode(), dmCameraPreview);
  EXPECT_EQ(form.TimeLabel()->text(), "0:00:00:00");
  EXPECT_EQ(form.SizeLabel()->text(), "-------");
  ASSERT_GT(form.Animation()->FrameCount(), 1);
  EXPECT_FALSE(form.Animation()->Active());
  QPushButton* play = form.Button("Odtwarzaj");
  ASSERT_TRUE(play);
  EXPECT_TRUE(play->isEnabled());
  EXPECT_FALSE(form.Button("Wstrzymaj")->isEnabled());
  EXPECT_FALSE(form.Button("Pokaż następną klatkę")->isEnabled());

  QTest::mouseClick(play, Qt::LeftButton);
  Advance(2000);
  EXPECT_EQ(form.TimeLabel()->text(), "0:00:02:00");
  EXPECT_EQ(form.StateLabel()->text(), QString::fromUtf8("Odtwarzanie"));
  EXPECT_FALSE(play->isEnabled());
  EXPECT_EQ(form.Preview()->Shown().size(), QSize(720, 576));
  QTest::mouseClick(form.Button("Wstrzymaj"), Qt::LeftButton);
  EXPECT_TRUE(form.Button("Pokaż następną klatkę")->isEnabled());
  QTest::mouseClick(form.Button("Pokaż następną klatkę"), Qt::LeftButton);
  Advance(0);
  EXPECT_EQ(form.TimeLabel()->text(), "0:00:02:01");

  // The capture button asks for the settings; a bare name goes to the user folder.
  bool dialogSeen = false;
  QTimer::singleShot(50, [&] {
    auto* setup = qobject_cast<TDvCapSetup*>(QApplication::activeModalWidget());
    ASSERT_TRUE(setup);
    dialogSeen = true;
    EXPECT_EQ(setup->windowTitle(), QString::fromUtf8("Wychwyt - konfiguracja"));
    EXPECT_TRUE(setup->FreeSpaceLabel()->text().endsWith(" MB"));
    EXPECT_TRUE(setup->AutoPauseBox()->isChecked());
    EXPECT_FALSE(setup->TimeLimitEdit()->isEnabled());
    setup->FileEdit()->setText("film");
    QMetaObject::invokeMethod(setup->FileEdit(), "editingFinished");
    setup->accept();
  });
  QTest::mouseClick(form.CaptureButton(), Qt::LeftButton);
  ASSERT_TRUE(dialogSeen);
  const std::string file = UserFolder() + "film.AVI";
  EXPECT_EQ(form.Settings().FileName, file);
  EXPECT_TRUE(form.Controller().Capturing());
  EXPECT_EQ(form.CaptureButton()->text(), QString::fromUtf8("Zakończ wychwyt"));
  EXPECT_TRUE(form.Animation()->Active());
  EXPECT_FALSE(play->isEnabled());
  Advance(1000);
  Advance(0);
  EXPECT_EQ(form.SizeLabel()->text(), "003.6MB");
  QTest::keyClick(&form, Qt::Key_Escape);
  EXPECT_FALSE(form.Controller().Capturing());
  EXPECT_EQ(form.CaptureButton()->text(), QString::fromUtf8("&Rozpocznij wychwyt"));
  EXPECT_FALSE(form.Animation()->Active());
  EXPECT_EQ(form.Controller().Mode(), dmCameraPreview);  // back to the camera's picture
  auto captured = TDvAviReader::Open(file);
  ASSERT_TRUE(captured);
  EXPECT_EQ(captured->Frames(), 25);
  form.close();
  EXPECT_EQ(TMyIniFile(ini).ReadString("DvCapture", "DvCaptureFileName", ""), file);
  EXPECT_TRUE(TMyIniFile(ini).ReadBool("DvCapture", "AutoPauseCamera", false));
  EXPECT_TRUE(messages.Texts().empty());
}

TEST_F(DvForms, RecordWindowSendsItsListOntoTheTapeOnlyWhenItCan) {
  {
    TMyIniFile f(ini);
    f.WriteInteger("DvRecord", "FileListCount", 3);
    f.WriteString("DvRecord", "FileListName00", media->ListA);
    f.WriteString("DvRecord", "FileListName01", dir.File("gone.avi"));
    f.WriteString("DvRecord", "FileListName02", media->ListB);
    f.WriteBool("DvRecord", "CameraControl", true);
  }
  const std::vector<std::string> before = test::DecodedPictures(tape);
  struct TCase {
    bool noTape, writeProtected;
    const char* message;
  };
  for (const TCase& c : {TCase{true, false, "Najpierw włóż taśmę do kamery!"},
                         TCase{false, true, "Najpierw odbezpiecz taśmę przed zapisem!"}}) {
    Configure(c.noTape, c.writeProtected);
    messages.Recorder().Clear();
    TDvRecordForm form(ini, nullptr, clock);
    QTest::mouseClick(form.RecordButton(), Qt::LeftButton);
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{c.message});
    EXPECT_FALSE(form.Controller().Sending());
    EXPECT_EQ(form.RecordButton()->text(), QString::fromUtf8("&Rozpocznij nagrywanie"));
  }
  EXPECT_EQ(test::DecodedPictures(tape), before);

  Configure(false, false);
  messages.Recorder().Clear();
  TDvRecordForm form(ini, nullptr, clock);
  form.show();
  EXPECT_EQ(form.windowTitle(), QString::fromUtf8("Zgrywanie"));
  ASSERT_EQ(form.List()->count(), 2);
  EXPECT_TRUE(form.CameraControlBox()->isChecked());
  EXPECT_TRUE(form.Button("Wybierz własną listę plików avi")->isEnabled());

  // Preview of the list: paused on the first picture, a frame on, then playing.
  QTest::mouseClick(form.Button("Wstrzymaj"), Qt::LeftButton);
  EXPECT_EQ(form.Controller().Mode(), dmFilePreview);
  QTest::mouseClick(form.Button("Pokaż następną klatkę"), Qt::LeftButton);
  Advance(0);
  EXPECT_EQ(form.TimeLabel()->text(), "0:00:00:04");
  EXPECT_EQ(form.Preview()->Shown().size(), QSize(720, 576));
  QTest::mouseClick(form.Button("Zatrzymaj"), Qt::LeftButton);
  EXPECT_EQ(form.Controller().Mode(), dmNone);

  QTest::mouseClick(form.RecordButton(), Qt::LeftButton);
  EXPECT_TRUE(form.Controller().Sending());
  EXPECT_EQ(form.RecordButton()->text(), QString::fromUtf8("Zakończ nagrywanie"));
  EXPECT_TRUE(form.Animation()->Active());
  EXPECT_FALSE(form.Button("Wybierz własną listę plików avi")->isEnabled());
  Advance(1100);
  EXPECT_EQ(form.Controller().PlayList().Current(), media->ListB);
  Advance(1300);
  EXPECT_FALSE(form.Controller().Sending());
  EXPECT_EQ(form.RecordButton()->text(), QString::fromUtf8("&Rozpocznij nagrywanie"));
  EXPECT_FALSE(form.Animation()->Active());
  EXPECT_TRUE(messages.Texts().empty());

  std::vector<std::string> want = test::DecodedPictures(media->ListA);
  const std::vector<std::string> b = test::DecodedPictures(media->ListB);
  want.insert(want.end(), b.begin(), b.end());
  want.insert(want.end(), before.begin() + 55, before.end());
  EXPECT_TRUE(test::DecodedPictures(tape) == want);

  form.CameraControlBox()->setChecked(false);
  form.close();
  TDvRecordSettings saved;
  saved.Read(ini);
  EXPECT_EQ(saved.Files, (std::vector<std::string>{media->ListA, media->ListB}));
  EXPECT_FALSE(saved.CameraControl);
}

}  // namespace
}  // namespace movara
