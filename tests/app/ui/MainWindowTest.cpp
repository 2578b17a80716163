// The main frame and the services of the windows: a question asked from a worker thread
// is shown by the UI thread and its answer (with the check box) comes back; the command
// lines that start the editor; the standing windows' layout read from the settings file
// and written back on close.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <fstream>
#include <thread>

#include "app/ui/Editor.h"
#include "app/ui/MovaraForm.h"
#include "app/ui/QtUserMessages.h"
#include "base/MyIniFile.h"
#include "persist/ProjectDocument.h"
#include "support/TestSupport.h"

namespace movara {
namespace {

using test::TTempDir;

// The message box on screen, once it is there.
QMessageBox* OpenBox() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) return box;
  return nullptr;
}

TEST(QtUserMessages, AWorkerThreadsQuestionIsAnsweredOnTheUIThread) {
  TQtUserMessages service;
  TMsgRequest request;
  request.Text = "Czy zastąpić plik ?";
  request.Caption = "Uwaga !";
  request.Kind = TMsgKind::Question;
  request.Buttons = TMsgButtons::OkCancel;
  request.SafeAnswer = TMsgAnswer::Cancel;
  request.CheckBoxText = "Nie pytaj więcej";

  std::atomic<bool> done{false};
  TMsgReply reply;
  std::thread worker([&] {
    reply = service.Message(request);
    done = true;
  });
  // the box runs its own loop on the UI thread: it is answered from a timer there
  bool seen = false;
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    QMessageBox* box = OpenBox();
    if (box == nullptr || seen) return;
    seen = true;
    EXPECT_EQ(box->thread(), QApplication::instance()->thread());  // made by the UI thread
    EXPECT_EQ(box->windowTitle(), QString::fromUtf8("Uwaga !"));
    EXPECT_EQ(box->text(), QString::fromUtf8("Czy zastąpić plik ?"));
    EXPECT_EQ(box->button(QMessageBox::Cancel)->text(), "Anuluj");
    // the answer that loses nothing is the default
    EXPECT_EQ(static_cast<QAbstractButton*>(box->defaultButton()), box->button(QMessageBox::Cancel));
    EXPECT_FALSE(done);  // the worker waits for the answer
    ASSERT_NE(box->checkBox(), nullptr);
    box->checkBox()->setChecked(true);
    box->button(QMessageBox::Ok)->click();
  });
  answer.start(20);
  ASSERT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 10000));
  worker.join();
  answer.stop();
  EXPECT_TRUE(seen);
  EXPECT_EQ(reply.Answer, TMsgAnswer::Ok);
  EXPECT_TRUE(reply.Checked);

  // the short forms on the UI thread itself: Yes/No/Cancel in the program's words
  QTimer::singleShot(0, [] {
    QMessageBox* b = OpenBox();
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->button(QMessageBox::Yes)->text(), "&Tak");
    EXPECT_EQ(b->button(QMessageBox::No)->text(), "&Nie");
    b->button(QMessageBox::No)->click();
  });
  EXPECT_EQ(service.Ask("Zapisać ?", TMsgButtons::YesNoCancel, TMsgAnswer::Cancel), TMsgAnswer::No);
}

TEST(Editor, CommandLinesThatStartTheEditor) {
  struct TCase {
    std::vector<const char*> args;
    bool editor;
    const char* project;
    const char* shots;
  } cases[] = {
      {{"movara"}, true, "", ""},
      {{"movara", "film.mvf"}, true, "film.mvf", ""},
      {{"movara", "/a/Film.MVF"}, true, "/a/Film.MVF", ""},
      {{"movara", "--screenshots", "out"}, true, "", "out"},
      {{"movara", "--screenshots", "out", "p.mvf"}, true, "p.mvf", "out"},
      {{"movara", "--screenshots"}, false, "", ""},
      {{"movara", "render", "p.mvf"}, false, "", ""},
      {{"movara", "p.mvf", "more"}, false, "", ""},
      {{"movara", "demo"}, false, "", ""},
      {{"movara", "--help"}, false, "", ""},
      {{"movara", "notes.txt"}, false, "", ""},
  };
  for (const TCase& c : cases) {
    std::vector<char*> argv;
    for (const char* a : c.args) argv.push_back(const_cast<char*>(a));
    TEditorOptions options;
    const bool editor = IsEditorCommandLine(static_cast<int>(argv.size()), argv.data(), options);
    EXPECT_EQ(editor, c.editor) << c.args.back();
    if (editor) {
      EXPECT_EQ(options.ProjectFile, c.project);
      EXPECT_EQ(options.ScreenshotsDir, c.shots);
    }
  }
}

TEST(MovaraForm, StandingWindowsTakeTheirSavedLayoutAndGiveItBack) {
  TTempDir dir;
  const std::string ini = dir.File("Movara.Ini");
  std::ofstream(ini) << "[Main App]\nWindow State=0\nLeft=100000\nTop=30\nWidth=700\nHeight=500\n"
                        "Recent File 0=/p/a.mvf\nRecent File 1=/p/b.mvf\n"
                        "[Resources]\nLeft=40\nTop=50\nWidth=260\nHeight=300\nVisible=1\nIcon Size=3\n"
                        "[Sequences]\nVisible=0\n";
  TProjectDocument document;
  {
    TMovaraForm form(document);
    form.ReadSettings(ini);
    auto* resources = new QWidget;
    resources->setWindowTitle("Okno zasobów");
    auto* sequences = new QWidget;
    QMdiSubWindow* rs = form.AddStandingWindow(resources, swResources);
    QMdiSubWindow* ss = form.AddStandingWindow(sequences, swSequences);
    form.RestoreLayout();
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(rs->geometry(), QRect(40, 50, 260, 300));
    EXPECT_EQ(rs->windowTitle(), QString::fromUtf8("Okno zasobów"));
    EXPECT_FALSE(ss->isVisible());
    EXPECT_EQ(form.size(), QSize(700, 500));
    EXPECT_NE(form.geometry().left(), 100000);  // a left edge off the screen is not taken
    EXPECT_EQ(document.RecentFiles()[1], "/p/b.mvf");
    EXPECT_EQ(document.ClipBox().ClipIconSize(), isLarge);

    rs->setGeometry(10, 20, 250, 280);
    document.AddRecentFile("/p/c.mvf");
    form.close();  // nothing to save: closes and writes the settings
  }
  TMyIniFile written(ini);
  EXPECT_EQ(written.ReadInteger("Resources", "Left", -1), 10);
  EXPECT_EQ(written.ReadInteger("Resources", "Height", -1), 280);
  EXPECT_EQ(written.ReadInteger("Resources", "Icon Size", -1), 3);
  EXPECT_FALSE(written.ReadBool("Sequences", "Visible", true));
  EXPECT_EQ(written.ReadString("Main App", "Recent File 0", ""), "/p/c.mvf");
  EXPECT_EQ(written.ReadString("Main App", "Recent File 2", ""), "/p/b.mvf");
  EXPECT_EQ(written.ReadInteger("Main App", "Failed Run Count", -1), 0);  // a clean close
}

}  // namespace
}  // namespace movara
