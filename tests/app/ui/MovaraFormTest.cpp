// The main window and its shell windows as a user meets them (offscreen): the editor's
// start-up and its layout taken on close and found again at the next start, the recent
// projects, the enabled state of every command, the film sequences window's list and
// keys, and the options window's settings reaching the render thread.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QKeyEvent>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <filesystem>
#include <fstream>

#include "app/ui/Editor.h"
#include "app/ui/MovaraForm.h"
#include "app/ui/OptionsForm.h"
#include "app/ui/ScreenSaverRule.h"
#include "app/ui/VideoSequenceForm.h"
#include "base/Dib.h"
#include "base/MyIniFile.h"
#include "base/UserMessages.h"
#include "fx3d/ui/Chain3DWindows.h"
#include "media/ResourceLists.h"
#include "persist/Config.h"
#include "persist/ProjectDocument.h"
#include "project/ClipBox.h"
#include "project/ClipGraphic.h"
#include "project/Layers.h"
#include "project/ShortCut.h"
#include "project/ui/DocumentSignals.h"
#include "project/ui/ResourcesForm.h"
#include "project/ui/ShortCutForm.h"
#include "project/ui/TimeLineForm.h"
#include "script/Chain3D.h"
#include "script/RenderThread.h"
#include "support/TestSupport.h"

namespace movara {
namespace {

using test::TTempDir;

TLayerItem* Put(TLayerBox& box, TLayerNumber row, int first, int length) {
  return box.RowByNumber(row)->InsertLayerItem(first, false, true, false, -1, nullptr, length);
}

TEST(Editor, StartsInOrderAndFindsEveryWindowWhereItWasLeft) {
  TTempDir dir;
  TScopedMessageRecorder messages;
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  // the main window's left edge 50 pixels short of the screen's right edge is not taken
  std::ofstream(ConfigFileName()) << "[Main App]\nWindow State=0\nLeft=" << screen.width() - 50
                                  << "\nTop=20\nWidth=640\nHeight=480\n"
                                     "[Time Line]\nLeft=5\nTop=6\nWidth=420\nHeight=260\nVisible=1\nZoom=3\n"
                                     "[Resources]\nVisible=0\n"
                                     "[Sequences]\nLeft=300\nTop=200\nWidth=235\nHeight=130\nVisible=1\n";
  {
    TEditor editor(false);
    TMovaraForm& main = editor.Main();
    // the standing windows in the order they were made: sequences, resources, project
    const QList<QMdiSubWindow*> made = main.MdiArea()->subWindowList(QMdiArea::CreationOrder);
    ASSERT_GE(made.size(), 3);
    EXPECT_EQ(made[0]->widget(), &editor.Sequences());
    EXPECT_EQ(made[1]->widget(), &editor.Resources());
    EXPECT_EQ(made[2]->widget(), &editor.Project());
    // the layout of the file, the commands in step with the empty project
    QMdiSubWindow* project = main.StandingWindow(swProject);
    QMdiSubWindow* sequences = main.StandingWindow(swSequences);
    EXPECT_EQ(project->geometry(), QRect(5, 6, 420, 260));
    EXPECT_FALSE(main.StandingWindow(swResources)->isVisible());
    EXPECT_EQ(editor.Document().LayerBox().Zoom(), 3);
    EXPECT_FALSE(main.Command("WindowResources")->isChecked());
    EXPECT_TRUE(main.Command("WindowProject")->isChecked());
    EXPECT_FALSE(main.Command("tbMakeFilm")->isEnabled());
    // the main window takes its own layout when first shown
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    EXPECT_EQ(main.size(), QSize(640, 480));
    EXPECT_EQ(main.geometry().top(), 20);
    EXPECT_NE(main.geometry().left(), screen.width() - 50);

    // the callbacks: a block on row A makes a film and something to save
    Put(editor.Document().LayerBox(), lnFirstClipTop, 0, 50);
    QApplication::processEvents();
    EXPECT_TRUE(main.Command("tbMakeFilm")->isEnabled());
    EXPECT_TRUE(main.Command("FileMakeFilm")->isEnabled());
    EXPECT_TRUE(main.Command("tbSaveProject")->isEnabled());
    // the other windows' commands are live in the editor
    for (const char* n : {"FileOpenMediaItem", "WindowTextEditor", "tbDvCapture", "tbDvRecord"})
      EXPECT_TRUE(main.Command(n)->isEnabled()) << n;
    // the Edit menu's undo is the project's: it names the step and Ctrl+Z (one owner) takes it back
    QAction* undo = main.EditMenu()->actions().value(0);
    ASSERT_NE(undo, nullptr);
    EXPECT_EQ(undo->objectName(), "MenuUndo");
    EXPECT_TRUE(undo->isEnabled());
    EXPECT_TRUE(undo->text().startsWith(QString::fromUtf8("Cofnij: "))) << undo->text().toStdString();
    main.activateWindow();
    QTest::keyClick(&main, Qt::Key_Z, Qt::ControlModifier);
    QApplication::processEvents();
    EXPECT_EQ(editor.Document().LayerBox().RowByNumber(lnFirstClipTop)->ItemCount(), 0);
    QTest::keyClick(&main, Qt::Key_Y, Qt::ControlModifier);
    QApplication::processEvents();
    EXPECT_EQ(editor.Document().LayerBox().RowByNumber(lnFirstClipTop)->ItemCount(), 1);

    // the Window menu hides and shows a window where it was
    main.Command("WindowProject")->trigger();
    EXPECT_FALSE(project->isVisible());
    EXPECT_FALSE(main.Command("WindowProject")->isChecked());
    main.Command("WindowProject")->trigger();
    EXPECT_TRUE(project->isVisible());
    EXPECT_EQ(project->geometry(), QRect(5, 6, 420, 260));

    project->setGeometry(30, 40, 400, 250);
    sequences->showMaximized();  // keeps its normal place for the file
    ASSERT_NE(GetRenderThread(false, std::string()), nullptr);  // the preview exists
    messages.Recorder().QueueAnswer(TMsgAnswer::No);           // the project is not saved
    EXPECT_TRUE(main.close());
    EXPECT_EQ(Chain3DPreview(), nullptr);  // the effect chain went with the main window
  }
  TMyIniFile ini(ConfigFileName());
  EXPECT_EQ(ini.ReadInteger("Time Line", "Left", -1), 30);
  EXPECT_EQ(ini.ReadInteger("Time Line", "Height", -1), 250);
  EXPECT_EQ(ini.ReadInteger("Sequences", "Window State", -1), 2);
  EXPECT_EQ(ini.ReadInteger("Sequences", "Left", -1), 300);
  EXPECT_FALSE(ini.ReadBool("Resources", "Visible", true));
  EXPECT_EQ(ini.ReadInteger("Main App", "Width", -1), 640);
  EXPECT_EQ(ini.ReadInteger("Main App", "Failed Run Count", -1), 0);

  // the next start finds them there
  TEditor again(false);
  EXPECT_EQ(again.Main().StandingWindow(swProject)->geometry(), QRect(30, 40, 400, 250));
  EXPECT_TRUE(again.Main().StandingWindow(swSequences)->isMaximized());
  EXPECT_FALSE(again.Main().StandingWindow(swResources)->isVisible());
}

class TSaveAs : public IProjectDialogs {
 public:
  std::string Name;
  std::string AskOpenProject(const std::string&) override { return std::string(); }
  std::string AskSaveProject(const std::string&, const std::string&) override { return Name; }
};

TEST(Editor, AProjectReadBlockByBlockRefreshesTheSequenceListOnce) {
  TTempDir dir;
  TScopedMessageRecorder messages;
  TSaveAs dialogs;
  dialogs.Name = dir.File("sequences.mvf");
  {
    TProjectDocument maker;
    for (int i = 0; i < 40; ++i) Put(maker.LayerBox(), lnSequence, i * 30, 25);
    maker.SetDialogs(&dialogs);
    ASSERT_TRUE(maker.SaveAs());
  }
  TEditor editor(false);
  QSignalSpy filled(editor.Sequences().List()->model(), &QAbstractItemModel::rowsInserted);
  ASSERT_TRUE(editor.Document().Open(dialogs.Name));
  QApplication::processEvents();
  EXPECT_EQ(editor.Sequences().List()->count(), 40);
  EXPECT_EQ(filled.count(), 1);
}

TEST(MovaraForm, MainWindowPlaceFollowsTheFiftyPixelEdgeRule) {
  TProjectDocument document;
  TMovaraForm form(document);
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  const int w = screen.width(), h = screen.height();
  struct TCase {
    int left, top;
    bool leftTaken, topTaken;
  } cases[] = {
      {10, 10, true, true},        {w - 51, h - 51, true, true}, {w - 50, 10, false, true},
      {10, h - 50, true, false},   {w + 400, h + 9, false, false}, {-30, -5, true, true},
  };
  for (const TCase& c : cases) {
    form.setGeometry(77, 66, 300, 200);
    form.Settings().MainApp = TWindowLayout{c.left, c.top, 500, 400, 0, true};
    form.ApplyMainLayout();
    EXPECT_EQ(form.geometry().left(), c.leftTaken ? c.left : 77) << c.left << "," << c.top;
    EXPECT_EQ(form.geometry().top(), c.topTaken ? c.top : 66) << c.left << "," << c.top;
    EXPECT_EQ(form.size(), QSize(500, 400));  // the size always
  }
}

TEST(MovaraForm, RecentProjectsMoveToTheTopAndMissingOnesDrop) {
  TTempDir dir;
  TScopedMessageRecorder messages;
  TSaveAs dialogs;
  std::vector<std::string> p;
  {
    TProjectDocument maker;
    maker.SetDialogs(&dialogs);
    dialogs.Name = dir.File("p&1.mvf");  // a "&" of a name shows as itself
    ASSERT_TRUE(maker.SaveAs());
  }
  p.push_back(dir.File("p&1.mvf"));
  for (int i = 2; i <= 7; ++i) {
    p.push_back(dir.File("p" + std::to_string(i) + ".mvf"));
    std::filesystem::copy_file(p[0], p.back());
  }

  TProjectDocument document;
  TDocumentSignals adapter(document);
  TMovaraForm form(document);
  form.InstallCallbacks(adapter);
  document.SetDialogs(&dialogs);
  QList<QAction*> file = form.FileMenu()->actions();
  QAction* separator = file[file.indexOf(form.Command("FileRecent1")) - 1];
  ASSERT_TRUE(separator->isSeparator());
  auto items = [&] {
    std::vector<std::string> shown;
    for (int i = 1; i <= 6; ++i) {
      QAction* a = form.Command(QString("FileRecent%1").arg(i));
      shown.push_back(a->isVisible() ? a->text().toStdString() : "-");
    }
    return shown;
  };
  auto item = [&](int position, int project) {
    std::string name = p[static_cast<size_t>(project - 1)];
    if (project == 1) name = dir.File("p&&1.mvf");
    return "&" + std::to_string(position) + " " + name;
  };
  EXPECT_EQ(items(), std::vector<std::string>(6, "-"));  // a first start: nothing
  EXPECT_FALSE(separator->isVisible());

  // seven projects: the first is pushed out
  for (const std::string& name : p) ASSERT_TRUE(document.Open(name)) << name;
  EXPECT_EQ(items(), (std::vector<std::string>{item(1, 7), item(2, 6), item(3, 5), item(4, 4), item(5, 3), item(6, 2)}));
  EXPECT_TRUE(separator->isVisible());
  // the fourth moves to the top, the three above it down; the top one again changes nothing
  ASSERT_TRUE(document.Open(p[3]));
  const std::vector<std::string> moved{item(1, 4), item(2, 7), item(3, 6), item(4, 5), item(5, 3), item(6, 2)};
  EXPECT_EQ(items(), moved);
  ASSERT_TRUE(document.Open(p[3]));
  EXPECT_EQ(items(), moved);
  // a recent project that is gone says so and leaves the list
  std::filesystem::remove(p[5]);
  form.Command("FileRecent3")->trigger();
  ASSERT_EQ(messages.Texts().size(), 1u);
  EXPECT_EQ(messages.Texts()[0], "Plik '" + p[5] + "' nie istnieje !");
  EXPECT_EQ(items(), (std::vector<std::string>{item(1, 4), item(2, 7), item(3, 5), item(4, 3), item(5, 2), "-"}));
  // one that is there opens from its item
  form.Command("FileRecent5")->trigger();
  EXPECT_EQ(document.FileName(), p[1]);
  // a project saved under a new name heads the list
  dialogs.Name = dir.File("saved.mvf");
  ASSERT_TRUE(document.SaveAs());
  EXPECT_EQ(items()[0], "&1 " + dir.File("saved.mvf"));
}

TEST(MovaraForm, EveryCommandFollowsTheProjectTheSelectionAndTheWindows) {
  TTempDir dir;
  TScopedMessageRecorder messages;
  CreateResourceLists();
  TProjectDocument document;
  TDocumentSignals adapter(document);
  auto form = std::make_unique<TMovaraForm>(document);
  auto* project = new TTimeLineForm(document, adapter);
  auto* resources = new TResourcesForm(adapter);
  auto* sequences = new TVideoSequenceForm(document.LayerBox());
  form->AddStandingWindow(sequences, swSequences);
  form->AddStandingWindow(resources, swResources);
  form->AddStandingWindow(project, swProject);
  form->SetWindows(project, resources, sequences);
  int films = 0;
  form->OnMakeFilm = [&](int, bool) { return ++films > 0; };
  form->InstallCallbacks(adapter);
  form->UpdateCommands();
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  TLayerBox& box = document.LayerBox();
  TMovaraForm& f = *form;

  // each state of the project, and what is enabled in it
  const char* const names[] = {"tbSaveProject", "FileSaveItem",     "tbDelete",          "tbCopy",
                               "EditCutItem",   "EditCopyItem",     "tbMakeFilm",        "tbMakeAudio",
                               "FileMakeFilm",  "FileMakeAnimation", "FileMakeAudio",    "FileSaveAsItem",
                               "tbPaste",       "EditPasteItem",    "tbOpenSelectedResources"};
  auto enabled = [&] {
    QApplication::processEvents();
    std::string s;
    for (const char* n : names) s += f.Command(n)->isEnabled() ? '1' : '0';
    return s;
  };
  //                         save del/copy film/audio/3 items/save-as paste open-sel
  EXPECT_EQ(enabled(), std::string("00") + "0000" + "000000" + "00" + "0");
  // a sound block: something to save, but no film
  TLayerItem* sound = Put(box, lnAudioFirst, 0, 50);
  EXPECT_EQ(enabled(), std::string("11") + "0000" + "000000" + "00" + "0");
  // a picture block: a film
  TLayerItem* picture = Put(box, lnFirstClipTop, 0, 50);
  EXPECT_EQ(enabled(), std::string("11") + "0000" + "111111" + "00" + "0");
  // two blocks selected: delete and copy
  picture->SetSelected(true);
  sound->SetSelected(true);
  EXPECT_EQ(enabled(), std::string("11") + "1111" + "111111" + "00" + "0");
  // copied: paste while the resource list can take as many entries
  box.CopyToClipboard();
  EXPECT_EQ(enabled(), std::string("11") + "1111" + "111111" + "11" + "0");
  document.ClipBox().SetMaxClipCount(1);
  f.UpdateCommands();
  EXPECT_EQ(enabled().substr(12, 2), "00");
  document.ClipBox().SetMaxClipCount(300);
  // a hidden row's copies do not count
  box.RowByNumber(lnAudioFirst)->SetVisible(false);
  box.RowByNumber(lnFirstClipTop)->SetVisible(false);
  f.UpdateCommands();
  EXPECT_EQ(enabled().substr(6, 8), "00000000");  // and a hidden picture row makes no film
  box.RowByNumber(lnAudioFirst)->SetVisible(true);
  box.RowByNumber(lnFirstClipTop)->SetVisible(true);
  // saved: nothing to save
  box.SetModified(false);
  box.DeselectAll();
  EXPECT_EQ(enabled(), std::string("00") + "0000" + "111111" + "11" + "0");
  // a selected resource opens once its window is there
  TDIB dib(16, 16, 24);
  ASSERT_TRUE(dib.SaveToFile(dir.File("a.bmp")));
  ASSERT_TRUE(f.OpenFileAsResource(dir.File("a.bmp")));
  document.ClipBox().Clips(0)->SetSelected(true);
  f.UpdateCommands();
  EXPECT_EQ(enabled().back(), '0');
  f.OnOpenSelectedResources = [] {};
  f.UpdateCommands();
  EXPECT_EQ(enabled().back(), '1');

  // the windows of later parts are there, disabled until they install their command
  for (const char* n : {"FileOpenMediaItem", "WindowTextEditor", "tbDvCapture", "tbDvRecord", "EditUndoItem"})
    EXPECT_FALSE(f.Command(n)->isEnabled()) << n;
  f.OnDvCapture = [] {};
  f.OnUndo = [] {};
  bool canUndo = false;
  f.CanUndo = [&] { return canUndo; };
  f.UpdateCommands();
  EXPECT_TRUE(f.Command("tbDvCapture")->isEnabled());
  EXPECT_FALSE(f.Command("EditUndoItem")->isEnabled());
  canUndo = true;
  f.UpdateCommands();
  EXPECT_TRUE(f.Command("EditUndoItem")->isEnabled());

  // the Window menu: check marks follow the windows, the close-all items their kind
  f.StandingWindow(swResources)->hide();
  QApplication::processEvents();
  EXPECT_FALSE(f.Command("WindowResources")->isChecked());
  EXPECT_FALSE(f.Command("WindowCloseClipPlayers")->isEnabled());
  QPointer<QMdiSubWindow> player = f.AddMdiChild(new QWidget, kClipPlayerKind);
  f.AddMdiChild(new QWidget, kResourceViewKind);
  EXPECT_TRUE(f.Command("WindowCloseClipPlayers")->isEnabled());
  EXPECT_TRUE(f.Command("WindowCloseResources")->isEnabled());
  f.Command("WindowCloseClipPlayers")->trigger();
  EXPECT_TRUE(player.isNull());
  EXPECT_FALSE(f.Command("WindowCloseClipPlayers")->isEnabled());
  EXPECT_TRUE(f.Command("WindowCloseResources")->isEnabled());

  // the film items reach the film command; the tool bar's makes the script anew
  f.Command("FileMakeAnimation")->trigger();
  EXPECT_EQ(films, 1);

  // F1: the manual shipped with the program, in the desktop's browser
  QUrl help;
  f.OnOpenUrl = [&](const QUrl& url) {
    help = url;
    return true;
  };
  f.Command("HelpContentsItem")->trigger();
  EXPECT_TRUE(QFileInfo(help.toLocalFile()).isFile()) << help.toString().toStdString();
  EXPECT_TRUE(messages.Texts().empty());

  // the fifteen buttons, each with its hint for the status bar
  int buttons = 0;
  for (QAction* a : f.ToolBar()->actions())
    if (!a->isSeparator()) {
      ++buttons;
      EXPECT_FALSE(a->statusTip().isEmpty()) << a->objectName().toStdString();
    }
  EXPECT_EQ(buttons, 15);
  box.SetModified(false);
  form.reset();
  DestroyResourceLists();
}

TEST(VideoSequenceForm, ListsTheSequencesAndTakesTheirKeys) {
  TLayerBox box;
  TVideoSequenceForm form(box);
  form.resize(300, 200);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  QListWidget* list = form.List();
  TLayerItem* first = Put(box, lnSequence, 0, 50);
  TLayerItem* second = Put(box, lnSequence, 100, 25);
  first->SetFx3dID(scCtrl | '1');
  second->SetFx3dID(0x23);  // End
  form.Rebuild();
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->item(0)->text().toStdString(), "1) 0:00:00:00 - 0:00:02:00 (0:00:02:00) - Ctrl+1");
  EXPECT_EQ(list->item(1)->text().toStdString(), "2) 0:00:04:00 - 0:00:05:00 (0:00:01:00) - End");
  form.SetCountType(ctFrameNumber);
  EXPECT_EQ(list->item(1)->text().toStdString(), "2) 100 - 125 (25) - End");

  // a refresh with nothing changed keeps the user's line
  list->setCurrentRow(1);
  QListWidgetItem* line = list->item(1);
  form.Rebuild();
  form.Rebuild();
  EXPECT_EQ(list->item(1), line);
  EXPECT_TRUE(line->isSelected());
  // a click shows its block: the only one selected on its row
  first->SetSelected(true);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(line).center());
  EXPECT_TRUE(second->Selected());
  EXPECT_FALSE(first->Selected());

  // a double click offers the dialog the other sequences' shortcuts
  std::vector<std::string> offered;
  form.OnChooseShortCut = [&](int32_t& code, const std::vector<std::string>& used) {
    offered = used;
    EXPECT_EQ(code, 0x23);
    code = 0x71;  // F2
    return true;
  };
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(line).center());
  EXPECT_EQ(offered, std::vector<std::string>{"Ctrl+1"});
  EXPECT_EQ(second->Fx3dID(), 0x71);
  EXPECT_EQ(list->item(1)->text().toStdString(), "2) 100 - 125 (25) - F2");

  // a sequence's key is taken in the list; any other key goes on to it
  second->SetFx3dID(0x23);
  form.Rebuild();
  list->setCurrentRow(0);
  QTest::keyClick(list, Qt::Key_End);
  EXPECT_EQ(list->currentRow(), 0);
  QTest::keyClick(list, Qt::Key_Down);
  EXPECT_EQ(list->currentRow(), 1);
  // a key handed over by the project window shows the sequence
  box.DeselectAll();
  ASSERT_TRUE(box.OnSequenceKey);
  EXPECT_TRUE(box.OnSequenceKey('1', ssCtrl));
  EXPECT_TRUE(first->Selected());
  EXPECT_FALSE(box.OnSequenceKey('2', ssCtrl));
  EXPECT_FALSE(box.OnSequenceKey('1', TShiftState()));
}

TEST(VideoSequenceForm, QtKeysAndStoredCodesMapBothWays) {
  const Qt::KeyboardModifiers none = Qt::NoModifier;
  struct TCase {
    int key;
    Qt::KeyboardModifiers mods;
    uint16_t code;
    const char* text;
  } cases[] = {
      {Qt::Key_A, none, 'A', "A"},
      {Qt::Key_5, Qt::ControlModifier, scCtrl | '5', "Ctrl+5"},
      {Qt::Key_F2, Qt::ShiftModifier | Qt::AltModifier, scShift | scAlt | 0x71, "Shift+Alt+F2"},
      {Qt::Key_3, Qt::KeypadModifier, 0x63, "Num 3"},
      {Qt::Key_Plus, Qt::KeypadModifier, 0x6B, "Num +"},
      {Qt::Key_Left, none, 0x25, "Left"},
      {Qt::Key_Semicolon, none, 0xBA, ";"},
      {Qt::Key_BracketRight, Qt::ControlModifier, scCtrl | 0xDD, "Ctrl+]"},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(ShortCutOfKey(c.key, c.mods), c.code) << c.text;
    EXPECT_EQ(ShortCutToText(c.code), c.text);
    const QKeyCombination back = KeyOfShortCut(c.code);
    EXPECT_EQ(back.key(), c.key) << c.text;
    EXPECT_EQ(ShortCutOfKey(back.key(), back.keyboardModifiers()), c.code) << c.text;
  }
  // a sign made with Shift is its key with Shift
  EXPECT_EQ(ShortCutOfKey(Qt::Key_Exclam, Qt::ShiftModifier), scShift | '1');
  EXPECT_EQ(ShortCutOfKey(Qt::Key_Colon, Qt::ShiftModifier), scShift | 0xBA);
  // a modifier alone is no shortcut; a stored code without a key stays what it is
  EXPECT_EQ(ShortCutOfKey(Qt::Key_Control, Qt::ControlModifier), 0);
  EXPECT_EQ(KeyOfShortCut(0x07).key(), Qt::Key_unknown);
  TLayerBox box;
  TVideoSequenceForm form(box);
  TLayerItem* odd = Put(box, lnSequence, 0, 25);
  odd->SetFx3dID(0x07);
  form.Rebuild();
  EXPECT_EQ(form.List()->item(0)->text().toStdString(), "1) 0:00:00:00 - 0:00:01:00 (0:00:01:00) - ");
  EXPECT_EQ(odd->Fx3dID(), 0x07);
  EXPECT_EQ(form.BlockOfShortCut(0x07), nullptr);
}

// Runs the options window, does what act does on it once it shows.
bool RunOptionsWith(TMovaraForm& form, const std::function<void(TOptionsForm&)>& act) {
  QTimer::singleShot(0, [&] {
    auto* w = qobject_cast<TOptionsForm*>(QApplication::activeModalWidget());
    ASSERT_NE(w, nullptr);
    act(*w);
  });
  return form.RunOptions();
}

TEST(OptionsForm, SettingsRoundTripAndReachTheRenderThread) {
  TTempDir dir;
  TScopedMessageRecorder messages;
  const std::string ini = ConfigFileName();
  {
    // no file: "bardzo dobra", "bez filtrowania", 0 and 0; the record 1024, 0, 0, 0
    TOptionsForm w(ini, false);
    EXPECT_EQ(w.rgTextureSize->checkedId(), 1);
    EXPECT_EQ(w.rgTextureQuality->checkedId(), 0);
    EXPECT_EQ(w.seCameraScaleX->value(), 0.0);
    EXPECT_FALSE(w.sbWarning->isVisibleTo(&w));
    const TRenderOptions o = ReadRenderOptions(ini);
    EXPECT_EQ(o.TextureSize, 1024);
    EXPECT_EQ(o.Filter, 0);
  }
  struct TCase {
    const char* size;
    const char* quality;
    int textureSize, filter;
  } cases[] = {{"0", "1", 512, 1}, {"2", "0", 2048, 0}, {"7", "5", 512, 0}, {"-1", "x", 512, 0}};
  for (const TCase& c : cases) {
    std::ofstream(ini) << "[Application Options]\nTextureSize=" << c.size << "\nTextureQuality=" << c.quality
                       << "\nCameraScaleX=0,5\nCameraScaleY=-1.25\n";
    const TRenderOptions o = ReadRenderOptions(ini);
    EXPECT_EQ(o.TextureSize, c.textureSize) << c.size;
    EXPECT_EQ(o.Filter, c.filter) << c.quality;
    EXPECT_DOUBLE_EQ(o.CameraScaleX, 0.5);
    EXPECT_DOUBLE_EQ(o.CameraScaleY, -1.25);
  }

  TProjectDocument document;
  TMovaraForm form(document);
  form.ReadSettings(ini);
  InstallChain3DWindows(&form, [&form](QWidget* w) { return form.MdiArea()->addSubWindow(w); });
  TFxRenderThread* render = GetRenderThread(false, std::string());
  ASSERT_NE(render, nullptr);
  std::ofstream(ini) << "[Application Options]\nTextureSize=1\nTextureQuality=0\n";
  // accepted: the keys written (floats too), the render thread takes them
  EXPECT_TRUE(RunOptionsWith(form, [](TOptionsForm& w) {
    w.rgTextureSize->button(2)->click();
    w.rgTextureQuality->button(1)->click();
    w.seCameraScaleX->setValue(1.5);
    w.seCameraScaleY->setValue(-2.25);
    w.btnAccept->click();
  }));
  {
    TMyIniFile file(ini);
    EXPECT_EQ(file.ReadInteger("Application Options", "TextureSize", -1), 2);
    EXPECT_EQ(file.ReadInteger("Application Options", "TextureQuality", -1), 1);
    EXPECT_EQ(file.ReadString("Application Options", "CameraScaleX", ""), "1.5");
    EXPECT_EQ(file.ReadString("Application Options", "CameraScaleY", ""), "-2.25");
  }
  EXPECT_EQ(render->TextureSize(), 2048);
  EXPECT_TRUE(render->Bilinear());
  // cancelled: the window shows the file and changes nothing
  EXPECT_FALSE(RunOptionsWith(form, [](TOptionsForm& w) {
    EXPECT_EQ(w.rgTextureSize->checkedId(), 2);
    EXPECT_DOUBLE_EQ(w.seCameraScaleY->value(), -2.25);
    w.rgTextureSize->button(0)->click();
    w.btnCancel->click();
  }));
  EXPECT_EQ(TMyIniFile(ini).ReadInteger("Application Options", "TextureSize", -1), 2);
  EXPECT_EQ(render->TextureSize(), 2048);
  TRenderOptions afterCancel;
  std::ofstream(ini) << "[Application Options]\nTextureSize=0\n";  // changed meanwhile
  QTimer::singleShot(0, [] { static_cast<TOptionsForm*>(QApplication::activeModalWidget())->btnCancel->click(); });
  EXPECT_FALSE(ShowOptions(&form, ini, false, afterCancel));
  EXPECT_EQ(afterCancel.TextureSize, 512);  // read afresh from the file after either button
  DoneChain3D();
  SetChain3DWindowFactory({});
}

TEST(ScreenSaverRule, InhibitedWhileTheProgramIsActiveAndReleasedAfter) {
  TScreenSaverRule rule;
  std::vector<std::string> calls;
  rule.Inhibit = [&] {
    calls.push_back("inhibit");
    return 42u;
  };
  rule.Release = [&](uint32_t cookie) { calls.push_back("release " + std::to_string(cookie)); };
  rule.SetActive(true);
  rule.SetActive(false);
  rule.SetActive(true);  // a dialog coming and going: one call after the settling time
  EXPECT_TRUE(QTest::qWaitFor([&] { return rule.Inhibited(); }, 3000));
  QTest::qWait(TScreenSaverRule::kSettleMs + 100);
  EXPECT_EQ(calls, std::vector<std::string>{"inhibit"});
  rule.SetActive(false);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !rule.Inhibited(); }, 3000));
  EXPECT_EQ(calls, (std::vector<std::string>{"inhibit", "release 42"}));
}

}  // namespace
}  // namespace movara
