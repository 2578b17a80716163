#include "app/ui/MovaraForm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "app/ui/OptionsForm.h"
#include "app/ui/ProjectDialogs.h"
#include "app/ui/ScreenSaverRule.h"
#include "app/ui/ToolBarIcons.h"
#include "app/ui/VideoSequenceForm.h"
#include "base/AppPaths.h"
#include "base/Format.h"
#include "base/UserMessages.h"
#include "persist/ProjectDocument.h"
#include "project/ClipBox.h"
#include "project/Layers.h"
#include "project/ui/ClipBoxView.h"
#include "project/ui/DocumentSignals.h"
#include "project/ui/LayerBoxView.h"
#include "project/ui/ResourcesForm.h"
#include "project/ui/TimeLineForm.h"
#include "script/Chain3D.h"

namespace movara {

// The status bar's progress while a project is read; the hourglass meanwhile.
class TMovaraForm::TStatusProgress : public TProjectProgress {
 public:
  TStatusProgress(TMovaraForm& form, QStatusBar* bar) : FForm(form), FBar(new QProgressBar(bar)) {
    FBar->setMaximumWidth(200);
    FBar->setTextVisible(false);
    bar->addPermanentWidget(FBar);
    FBar->hide();
  }
  void Start(int max) override {
    FForm.SetBusy(true);
    FBusy = true;
    FBar->setRange(0, std::max(max, 1));
    FBar->setValue(0);
    FBar->show();
  }
  void Step() override {
    FBar->setValue(FBar->value() + 1);
    // the bar moves while the reading goes on, one repaint a few percent
    if (FBar->maximum() < 50 || FBar->value() % std::max(1, FBar->maximum() / 50) == 0) FBar->repaint();
  }
  void End() override {
    FBar->hide();
    if (FBusy) FForm.SetBusy(false);
    FBusy = false;
  }

 private:
  TMovaraForm& FForm;
  QProgressBar* FBar;
  bool FBusy = false;
};

namespace {

template <typename E>
bool SetEnum(int ordinal, E last, E& out) {
  if (ordinal < 0 || ordinal > static_cast<int>(last)) return false;
  out = static_cast<E>(ordinal);
  return true;
}

int StateOf(Qt::WindowStates s) {
  if (s & Qt::WindowMinimized) return 1;
  if (s & Qt::WindowMaximized) return 2;
  return 0;
}

Qt::WindowStates QtStateOf(int state) {
  switch (state) {
    case 1: return Qt::WindowMinimized;
    case 2: return Qt::WindowMaximized;
    default: return Qt::WindowNoState;
  }
}

// The menu item of a standing window in the Window menu.
const char* WindowItemName(TStandingWindow which) {
  switch (which) {
    case swProject: return "WindowProject";
    case swResources: return "WindowResources";
    case swSequences: break;
  }
  return "WindowVideoSequence";
}

// The recent-file caption "&%d %s": a "&" of the name shows as itself.
QString RecentCaption(int position, const std::string& fileName) {
  QString name = QString::fromStdString(fileName);
  name.replace('&', "&&");
  return QString::fromStdString(Format("&%d ", position)) + name;
}

}  // namespace

TMovaraForm::TMovaraForm(TProjectDocument& document, QWidget* parent)
    : QMainWindow(parent), FDocument(document) {
  setWindowTitle("Movara");
  setObjectName("MovaraForm");
  FMdiArea = new QMdiArea(this);
  FMdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  FMdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setCentralWidget(FMdiArea);
  FProgress = new TStatusProgress(*this, statusBar());
  FDialogs = new TQtProjectDialogs(this);
  FDocument.SetProgress(FProgress);
  FDocument.SetDialogs(FDialogs);
  OnOpenUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
  BuildMenus();
  BuildToolBar();
  FScreenSaver = new TScreenSaverRule(this);
  FScreenSaver->FollowApplication();
  FCommandTimer = new QTimer(this);
  FCommandTimer->setSingleShot(true);
  FCommandTimer->setInterval(0);
  connect(FCommandTimer, &QTimer::timeout, this, &TMovaraForm::UpdateCommands);
  connect(FMdiArea, &QMdiArea::subWindowActivated, this, &TMovaraForm::UpdateCommandsLater);
  resize(800, 600);
  UpdateCommands();
}

TMovaraForm::~TMovaraForm() {
  // the children go after this object's own members: what they report on their way
  // (the preview window taken out of the frame by the effect chain's end) reaches no
  // command of a window that is no more
  disconnect(FMdiArea, nullptr, this, nullptr);
  for (QMdiSubWindow* sub : FStanding)
    if (sub) sub->removeEventFilter(this);
  FDocument.SetProgress(nullptr);
  FDocument.SetDialogs(nullptr);
  while (FBusy > 0) SetBusy(false);
  delete FProgress;
  delete FDialogs;
  delete FSplash;
}

// ---------------------------------------------------------------------------------
// Menus and tool bar

QAction* TMovaraForm::Command(const QString& name) const { return FCommands.value(name, nullptr); }

QAction* TMovaraForm::AddCommand(QMenu* menu, const char* name, const char* caption, const QKeySequence& key) {
  QAction* a = menu->addAction(QString::fromUtf8(caption));
  a->setObjectName(name);
  if (!key.isEmpty()) a->setShortcut(key);
  FCommands.insert(QString::fromLatin1(name), a);
  return a;
}

QAction* TMovaraForm::AddTool(const char* name, int icon, const char* hint, const char* caption) {
  auto* a = new QAction(ToolBarIcon(static_cast<TToolIcon>(icon)), QString::fromUtf8(caption ? caption : hint), this);
  a->setObjectName(name);
  a->setToolTip(QString::fromUtf8(caption ? caption : hint));
  a->setStatusTip(QString::fromUtf8(hint));
  FToolBar->addAction(a);
  if (caption) {
    if (auto* b = qobject_cast<QToolButton*>(FToolBar->widgetForAction(a)))
      b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  }
  FCommands.insert(QString::fromLatin1(name), a);
  return a;
}

void TMovaraForm::BuildMenus() {
  // File
  FFileMenu = menuBar()->addMenu(QString::fromUtf8("&Plik"));
  QAction* newItem = AddCommand(FFileMenu, "FileNewItem", "&Nowy");
  QAction* open = AddCommand(FFileMenu, "FileOpenItem", "&Otwórz...", QKeySequence(Qt::CTRL | Qt::Key_O));
  QAction* media = AddCommand(FFileMenu, "FileOpenMediaItem", "Otwórz Me&dia...", QKeySequence(Qt::CTRL | Qt::Key_D));
  QAction* resources =
      AddCommand(FFileMenu, "FileOpenResources", "Otwórz Zaso&by...", QKeySequence(Qt::CTRL | Qt::Key_B));
  FFileMenu->addSeparator();
  QAction* save = AddCommand(FFileMenu, "FileSaveItem", "&Zapisz Projekt", QKeySequence(Qt::CTRL | Qt::Key_S));
  QAction* saveAs = AddCommand(FFileMenu, "FileSaveAsItem", "Z&apisz Projekt jako...");
  FFileMenu->addSeparator();
  QAction* film = AddCommand(FFileMenu, "FileMakeFilm", "Generuj &Film...", QKeySequence(Qt::CTRL | Qt::Key_M));
  QAction* animation = AddCommand(FFileMenu, "FileMakeAnimation", "Generuj &Animację...",
                                  QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M));
  QAction* audio =
      AddCommand(FFileMenu, "FileMakeAudio", "Generuj &Dźwięk...", QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_M));
  FRecentSeparator = FFileMenu->addSeparator();
  for (size_t i = 0; i < FRecentItems.size(); ++i) {
    const std::string name = Format("FileRecent%d", static_cast<int>(i) + 1);
    QAction* item = AddCommand(FFileMenu, name.c_str(), "");
    connect(item, &QAction::triggered, this, [this, item] {
      // the item's own name (its caption doubles a "&" of the name)
      FDocument.OpenRecent(item->data().toString().toStdString());
      UpdateRecentItems();
    });
    FRecentItems[i] = item;
  }
  FFileMenu->addSeparator();
  QAction* exit = AddCommand(FFileMenu, "FileExitItem", "&Wyjście", QKeySequence::Quit);
  exit->setShortcutContext(Qt::ApplicationShortcut);

  connect(newItem, &QAction::triggered, this, [this] { FDocument.New(); });
  connect(open, &QAction::triggered, this, [this] { FDocument.Open(std::string()); });
  connect(media, &QAction::triggered, this, [this] {
    if (OnOpenMedia) OnOpenMedia();
  });
  connect(resources, &QAction::triggered, this, [this] {
    if (FResources) FResources->AddFiles();
  });
  connect(save, &QAction::triggered, this, [this] {
    SetBusy(true);
    if (FProject)
      FProject->SaveProject();
    else
      FDocument.Save();
    SetBusy(false);
  });
  connect(saveAs, &QAction::triggered, this, [this] {
    if (FProject)
      FProject->SaveProjectAs();
    else
      FDocument.SaveAs();
  });
  connect(film, &QAction::triggered, this, [this] { MakeFilm(0, false); });
  connect(animation, &QAction::triggered, this, [this] { MakeFilm(1, false); });
  connect(audio, &QAction::triggered, this, [this] { MakeFilm(2, false); });
  connect(exit, &QAction::triggered, this, &QWidget::close);
  connect(FFileMenu, &QMenu::aboutToShow, this, &TMovaraForm::UpdateRecentItems);

  // Edit
  FEditMenu = menuBar()->addMenu(QString::fromUtf8("&Edycja"));
  QAction* undo = AddCommand(FEditMenu, "EditUndoItem", "&Cofnij", QKeySequence(Qt::CTRL | Qt::Key_Z));
  connect(undo, &QAction::triggered, this, [this] {
    if (OnUndo) OnUndo();
    UpdateCommands();
  });
  FEditMenu->addSeparator();
  QAction* copy = AddCommand(FEditMenu, "EditCopyItem", "&Kopiuj", QKeySequence(Qt::CTRL | Qt::Key_K));
  QAction* paste = AddCommand(FEditMenu, "EditPasteItem", "&Wklej", QKeySequence(Qt::CTRL | Qt::Key_V));
  QAction* cut = AddCommand(FEditMenu, "EditCutItem", "Ka&suj");
  connect(copy, &QAction::triggered, this, [this] { FDocument.LayerBox().CopyToClipboard(); });
  connect(paste, &QAction::triggered, this, [this] {
    if (FProject) FProject->View()->StartPaste();
  });
  connect(cut, &QAction::triggered, this, [this] { FDocument.LayerBox().DeleteSelected(); });

  // Window
  FWindowMenu = menuBar()->addMenu(QString::fromUtf8("&Okno"));
  const struct {
    TStandingWindow which;
    const char* caption;
  } standing[] = {{swProject, "Okno &projektu"}, {swResources, "Okno &zasobów"}, {swSequences, "&Sekwencje filmu"}};
  for (const auto& s : standing) {
    QAction* a = AddCommand(FWindowMenu, WindowItemName(s.which), s.caption);
    a->setCheckable(true);
    const TStandingWindow which = s.which;
    connect(a, &QAction::triggered, this, [this, which] { ToggleStandingWindow(which); });
  }
  FWindowMenu->addSeparator();
  QAction* transitions = AddCommand(FWindowMenu, "WindowTransitions", "&Efekty 3D");
  QAction* editor = AddCommand(FWindowMenu, "WindowTextEditor", "Okno Edytora &Tekstu...");
  FWindowMenu->addSeparator();
  QAction* options = AddCommand(FWindowMenu, "WindowOptions", "&Opcje programu...");
  FWindowMenu->addSeparator();
  QAction* closeViews = AddCommand(FWindowMenu, "WindowCloseResources", "Zamknij wszystkie podglądy za&sobów");
  QAction* closePlayers = AddCommand(FWindowMenu, "WindowCloseClipPlayers", "Zamknij wszystkie &odtwarzacze");
  connect(transitions, &QAction::triggered, this, [this] {
    TLayerBox& box = FDocument.LayerBox();
    int32_t fx = box.DefaultFx3dID();
    if (ChooseFx(fx)) box.SetDefaultFx3dID(fx);
  });
  connect(editor, &QAction::triggered, this, [this] {
    if (OnTextEditor) OnTextEditor();
  });
  connect(options, &QAction::triggered, this, &TMovaraForm::RunOptions);
  connect(closeViews, &QAction::triggered, this, [this] { CloseWindowsOfKind(kResourceViewKind); });
  connect(closePlayers, &QAction::triggered, this, [this] { CloseWindowsOfKind(kClipPlayerKind); });
  connect(FWindowMenu, &QMenu::aboutToShow, this, &TMovaraForm::UpdateCommands);

  // Help
  FHelpMenu = menuBar()->addMenu(QString::fromUtf8("Pomo&c"));
  QAction* contents = AddCommand(FHelpMenu, "HelpContentsItem", "&Pomoc", QKeySequence(Qt::Key_F1));
  QAction* search = AddCommand(FHelpMenu, "HelpSearchItem", "&Szukaj w pomocy...", QKeySequence(Qt::SHIFT | Qt::Key_F1));
  QAction* howTo = AddCommand(FHelpMenu, "HelpHowToUseItem", "&Jak korzystać z pomocy");
  FHelpMenu->addSeparator();
  QAction* www = AddCommand(FHelpMenu, "HelpWWW", "Strona &macierzysta programu");
  FHelpMenu->addSeparator();
  QAction* about = AddCommand(FHelpMenu, "HelpAboutItem", "&O programie...");
  connect(contents, &QAction::triggered, this, [this] { OpenHelp(); });
  connect(search, &QAction::triggered, this, [this] { OpenHelp("skorowidz"); });
  connect(howTo, &QAction::triggered, this, [this] { OpenHelp("jak-korzystac"); });
  connect(www, &QAction::triggered, this, [this] { OpenHelp("o-programie"); });
  connect(about, &QAction::triggered, this, &TMovaraForm::ShowAbout);
  UpdateRecentItems();
}

void TMovaraForm::BuildToolBar() {
  FToolBar = addToolBar(QString::fromUtf8("Pasek narzędzi"));
  FToolBar->setObjectName("ToolBar");
  FToolBar->setMovable(false);
  FToolBar->setIconSize(QSize(20, 20));
  QAction* newProject = AddTool("tbNewProject", tiNewProject, "Nowy projekt");
  QAction* openProject = AddTool("tbOpenProject", tiOpenProject, "Otwórz projekt");
  QAction* saveProject = AddTool("tbSaveProject", tiSaveProject, "Zapisz projekt");
  FToolBar->addSeparator();
  QAction* openResource = AddTool("tbOpenResource", tiOpenResource, "Dodaj pliki do okna zasobów");
  QAction* openSelected = AddTool("tbOpenSelectedResources", tiOpenSelectedResources, "Pokaż zaznaczone zasoby");
  FToolBar->addSeparator();
  QAction* copy = AddTool("tbCopy", tiCopy, "Kopiuj zaznaczone bloczki");
  QAction* paste = AddTool("tbPaste", tiPaste, "Wklej skopiowane bloczki (upuść je na ścieżce)");
  QAction* del = AddTool("tbDelete", tiDelete, "Kasuj zaznaczone bloczki");
  FToolBar->addSeparator();
  QAction* film = AddTool("tbMakeFilm", tiMakeFilm, "Generuj film z całej linii czasu", "Uruchom");
  QAction* audio = AddTool("tbMakeAudio", tiMakeAudio, "Generuj sam dźwięk filmu", "Audio");
  FToolBar->addSeparator();
  QAction* options = AddTool("tbOptions", tiOptions, "Opcje programu");
  FToolBar->addSeparator();
  QAction* capture = AddTool("tbDvCapture", tiDvCapture, "Przechwytywanie filmu z kamery DV", "Wychwyt");
  QAction* record = AddTool("tbDvRecord", tiDvRecord, "Nagrywanie filmu na kamerę DV", "Zgrywanie");
  FToolBar->addSeparator();
  QAction* help = AddTool("tbHelpContent", tiHelpContent, "Pomoc: podręcznik programu");
  QAction* info = AddTool("tbInformation", tiInformation, "Informacje o programie");

  connect(newProject, &QAction::triggered, this, [this] { Command("FileNewItem")->trigger(); });
  connect(openProject, &QAction::triggered, this, [this] { Command("FileOpenItem")->trigger(); });
  connect(saveProject, &QAction::triggered, this, [this] { Command("FileSaveItem")->trigger(); });
  connect(openResource, &QAction::triggered, this, [this] { Command("FileOpenResources")->trigger(); });
  connect(openSelected, &QAction::triggered, this, [this] {
    if (OnOpenSelectedResources) OnOpenSelectedResources();
  });
  connect(copy, &QAction::triggered, this, [this] { Command("EditCopyItem")->trigger(); });
  connect(paste, &QAction::triggered, this, [this] { Command("EditPasteItem")->trigger(); });
  connect(del, &QAction::triggered, this, [this] { Command("EditCutItem")->trigger(); });
  // the tool bar's film commands make the script anew from the whole time line
  connect(film, &QAction::triggered, this, [this] { MakeFilm(0, true); });
  connect(audio, &QAction::triggered, this, [this] { MakeFilm(2, true); });
  connect(options, &QAction::triggered, this, &TMovaraForm::RunOptions);
  connect(capture, &QAction::triggered, this, [this] {
    if (OnDvCapture) OnDvCapture();
  });
  connect(record, &QAction::triggered, this, [this] {
    if (OnDvRecord) OnDvRecord();
  });
  connect(help, &QAction::triggered, this, [this] { OpenHelp(); });
  connect(info, &QAction::triggered, this, &TMovaraForm::ShowAbout);
}

void TMovaraForm::UpdateRecentItems() {
  const auto& files = FDocument.RecentFiles();
  for (size_t i = 0; i < FRecentItems.size(); ++i) {
    const std::string& name = files[i];
    FRecentItems[i]->setText(name.empty() ? QString() : RecentCaption(static_cast<int>(i) + 1, name));
    FRecentItems[i]->setData(QString::fromStdString(name));
    // an item without a caption is hidden
    FRecentItems[i]->setVisible(!FRecentItems[i]->text().isEmpty());
  }
  FRecentSeparator->setVisible(FRecentItems[0]->isVisible());
}

void TMovaraForm::AddFileCommand(QAction* action) { FFileMenu->insertAction(FRecentSeparator, action); }

void TMovaraForm::SetWindows(TTimeLineForm* project, TResourcesForm* resources, TVideoSequenceForm* sequences) {
  FProject = project;
  FResources = resources;
  FSequences = sequences;
  UpdateCommands();
}

// ---------------------------------------------------------------------------------
// Command state

void TMovaraForm::Enable(const char* name, bool enabled) {
  if (QAction* a = Command(QString::fromLatin1(name))) a->setEnabled(enabled);
}

void TMovaraForm::UpdateCommandsLater() { FCommandTimer->start(); }

void TMovaraForm::UpdateCommands() {
  FCommandTimer->stop();
  TLayerBox& box = FDocument.LayerBox();
  TClipBox& clips = FDocument.ClipBox();

  // Save while modified; the menu item follows the button
  Enable("tbSaveProject", box.Modified());
  Enable("FileSaveItem", box.Modified());
  // Delete while a block is selected; Copy follows Delete
  const bool selected = box.SelectedLayerItemCount() > 0;
  Enable("tbDelete", selected);
  Enable("tbCopy", selected);
  // Make film while a block makes pictures; Audio and Save-as follow it
  const bool film = box.ExecutableItemCount() > 0;
  Enable("tbMakeFilm", film && OnMakeFilm);
  Enable("tbMakeAudio", film && OnMakeFilm);
  Enable("FileSaveAsItem", film);
  // the selected resources open while some are selected
  Enable("tbOpenSelectedResources", clips.SelectedCount() > 0 && OnOpenSelectedResources);
  // Paste while the visible rows hold copied blocks that the resource list can still
  // take
  int copied = 0;
  for (int i = 0; i < box.RowCount(); ++i)
    if (TLayerRow* row = box.Rows(i); row->Visible()) copied += row->ClipboardCount();
  const bool paste = copied > 0 && clips.MaxClipCount() - clips.Count() >= copied && FProject;
  Enable("tbPaste", paste);
  // the Edit menu follows the buttons
  Enable("EditCutItem", selected);
  Enable("EditCopyItem", selected);
  Enable("EditPasteItem", paste);
  // the generation items follow Make film and Audio
  Enable("FileMakeFilm", film && OnMakeFilm);
  Enable("FileMakeAnimation", film && OnMakeFilm);
  Enable("FileMakeAudio", film && OnMakeFilm);
  // the Window menu's checks follow the windows
  for (TStandingWindow w : {swProject, swResources, swSequences}) {
    QAction* item = Command(WindowItemName(w));
    QMdiSubWindow* sub = StandingWindow(w);
    item->setEnabled(sub != nullptr);
    item->setChecked(sub && !sub->isHidden());
  }
  Enable("WindowCloseResources", WindowsOfKind(kResourceViewKind) > 0);
  Enable("WindowCloseClipPlayers", WindowsOfKind(kClipPlayerKind) > 0);
  // the windows of later parts of the program
  Enable("EditUndoItem", OnUndo && (!CanUndo || CanUndo()));
  Enable("FileOpenMediaItem", static_cast<bool>(OnOpenMedia));
  Enable("WindowTextEditor", static_cast<bool>(OnTextEditor));
  Enable("tbDvCapture", static_cast<bool>(OnDvCapture));
  Enable("tbDvRecord", static_cast<bool>(OnDvRecord));
  Enable("FileOpenResources", FResources != nullptr);
  Enable("tbOpenResource", FResources != nullptr);
}

void TMovaraForm::MakeFilm(int mode, bool regenerate) {
  if (!OnMakeFilm) return;
  // only from the tool bar or the project window: the clip players go first
  if (regenerate) CloseWindowsOfKind(kClipPlayerKind);
  OnMakeFilm(mode, regenerate);
  UpdateCommands();
}

// ---------------------------------------------------------------------------------
// Settings and layout

void TMovaraForm::ReadSettings(const std::string& iniFile) {
  FSettingsFile = iniFile;
  ReadConfig(iniFile, FSettings);
  FDocument.SetRecentFiles(FSettings.RecentFiles);
  UpdateRecentItems();
}

TWindowLayout& TMovaraForm::LayoutOf(TStandingWindow which) {
  switch (which) {
    case swProject: return FSettings.TimeLine;
    case swResources: return FSettings.Resources;
    case swSequences: break;
  }
  return FSettings.Sequences;
}

QMdiSubWindow* TMovaraForm::AddStandingWindow(QWidget* window, TStandingWindow which, bool sizeable) {
  QMdiSubWindow* sub = FMdiArea->addSubWindow(window);
  // a standing window is hidden, not freed, when the user closes it
  sub->setAttribute(Qt::WA_DeleteOnClose, false);
  sub->setWindowTitle(window->windowTitle());
  connect(window, &QWidget::windowTitleChanged, sub, &QWidget::setWindowTitle);
  const size_t i = static_cast<size_t>(which);
  FStanding[i] = sub;
  FSizeable[i] = sizeable;
  FNormal[i] = sub->geometry();
  sub->installEventFilter(this);
  UpdateCommands();
  return sub;
}

QMdiSubWindow* TMovaraForm::StandingWindow(TStandingWindow which) const {
  return FStanding[static_cast<size_t>(which)];
}

QMdiSubWindow* TMovaraForm::AddMdiChild(QWidget* window, const char* kind) {
  if (kind) window->setProperty("MovaraWindowKind", QString::fromLatin1(kind));
  QMdiSubWindow* sub = FMdiArea->addSubWindow(window);
  sub->setAttribute(Qt::WA_DeleteOnClose, true);
  sub->show();
  UpdateCommands();
  return sub;
}

bool TMovaraForm::eventFilter(QObject* watched, QEvent* event) {
  for (size_t i = 0; i < FStanding.size(); ++i) {
    if (watched != FStanding[i]) continue;
    switch (event->type()) {
      case QEvent::Move:
      case QEvent::Resize:
        if (StateOf(FStanding[i]->windowState()) == 0) FNormal[i] = FStanding[i]->geometry();
        break;
      case QEvent::Show:
      case QEvent::Hide:
        // the Window menu's checks follow
        UpdateCommandsLater();
        break;
      default:
        break;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void TMovaraForm::RestoreLayout() {
  // the standing windows
  for (TStandingWindow w : {swProject, swResources, swSequences}) {
    QMdiSubWindow* sub = FStanding[static_cast<size_t>(w)];
    if (!sub) continue;
    const TWindowLayout& l = LayoutOf(w);
    // a maximised window that shows takes its saved state before its place
    if (sub->isMaximized() && l.Visible) sub->setWindowState(QtStateOf(l.WindowState));
    if (FSizeable[static_cast<size_t>(w)])
      sub->setGeometry(l.Left, l.Top, std::max(l.Width, 60), std::max(l.Height, 40));
    else
      sub->move(l.Left, l.Top);
    FNormal[static_cast<size_t>(w)] = sub->geometry();
    if (l.Visible) {
      sub->show();
      if (l.WindowState == 1)
        sub->showMinimized();
      else if (l.WindowState == 2)
        sub->showMaximized();
    } else {
      sub->hide();
    }
  }

  // the time line's and the resource list's settings
  TLayerBox& box = FDocument.LayerBox();
  const TTimeLineSettings& t = FSettings.TimeLineSettings;
  TIconSize icon;
  if (SetEnum(t.IconSize, isLarge, icon)) box.SetIconSize(icon);
  TZoom zoom;
  if (SetEnum(t.Zoom, zmTwoMinutes, zoom)) box.SetZoom(zoom);
  box.SetFirstFrame(t.FirstFrame);
  if (t.TimeBase > 0) {
    box.Scale().SetTimeBase(t.TimeBase);
    if (FSequences) FSequences->SetTimeBase(t.TimeBase);
  }
  if (!t.InitialDirectory.empty()) FDocument.SetLastFolder(t.InitialDirectory);
  box.SetSnapItems(t.SnapItems);
  if (FProject) FProject->SnapButton()->setChecked(t.SnapItems);
  if (SetEnum(FSettings.ResourceList.IconSize, isLarge, icon)) FDocument.ClipBox().SetClipIconSize(icon);
  FDocument.ClipBox().SetInitialDir(FSettings.ResourceList.InitialDirectory);
  if (FResources) FResources->Refresh();

  // the recent projects
  FDocument.SetRecentFiles(FSettings.RecentFiles);
  UpdateRecentItems();

  // minimised children are hidden; nothing is modified yet
  for (QMdiSubWindow* sub : FMdiArea->subWindowList())
    if (sub->isMinimized()) sub->hide();
  box.SetModified(false);
  FLayoutRestored = true;
  UpdateCommands();
}

void TMovaraForm::ApplyMainLayout() {
  const TWindowLayout& main = FSettings.MainApp;
  const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  const QRect area = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
  const QSize size(std::max(main.Width, 100), std::max(main.Height, 100));
  if (main.WindowState == 0) {
    QRect g = geometry();
    // a corner within 50 pixels of the screen's right or bottom edge is not taken
    if (main.Left + 50 < area.width()) g.moveLeft(main.Left);
    if (main.Top + 50 < area.height()) g.moveTop(main.Top);
    g.setSize(size);
    setGeometry(g);
    setWindowState(Qt::WindowNoState);
  } else {
    resize(size);
    setWindowState(QtStateOf(main.WindowState));
  }
}

void TMovaraForm::setVisible(bool visible) {
  // the main window's own layout comes with its first showing
  if (visible && FFirstShow && FLayoutRestored) {
    FFirstShow = false;
    ApplyMainLayout();
  }
  QMainWindow::setVisible(visible);
}

void TMovaraForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  FFirstShow = false;
  if (FSplash) {
    FSplash->hide();
    FSplash->deleteLater();
    FSplash = nullptr;
  }
}

void TMovaraForm::ShowProjectWindows() {
  for (TStandingWindow w : {swResources, swProject}) {
    QMdiSubWindow* sub = FStanding[static_cast<size_t>(w)];
    if (sub && sub->isHidden()) sub->show();
  }
}

void TMovaraForm::TakeLayout() {
  TWindowLayout& main = FSettings.MainApp;
  main.WindowState = StateOf(windowState());
  const QRect normal = main.WindowState == 0 || normalGeometry().isEmpty() ? geometry() : normalGeometry();
  main.Left = normal.left();
  main.Top = normal.top();
  main.Width = main.WindowState == 0 ? width() : normal.width();
  main.Height = main.WindowState == 0 ? height() : normal.height();
  main.Visible = true;
  for (TStandingWindow w : {swProject, swResources, swSequences}) {
    const size_t i = static_cast<size_t>(w);
    QMdiSubWindow* sub = FStanding[i];
    if (!sub) continue;
    TWindowLayout& l = LayoutOf(w);
    l.WindowState = StateOf(sub->windowState());
    // a minimised or maximised window keeps the normal place it had
    const QRect g = l.WindowState == 0 ? sub->geometry() : FNormal[i];
    l.Left = g.left();
    l.Top = g.top();
    l.Width = g.width();
    l.Height = g.height();
    l.Visible = !sub->isHidden();
  }
  const TLayerBox& box = FDocument.LayerBox();
  FSettings.TimeLineSettings.IconSize = box.IconSize();
  FSettings.TimeLineSettings.Zoom = box.Zoom();
  FSettings.TimeLineSettings.FirstFrame = box.FirstFrame();
  FSettings.TimeLineSettings.SnapItems = box.SnapItems();
  if (!FDocument.LastFolder().empty()) FSettings.TimeLineSettings.InitialDirectory = FDocument.LastFolder();
  FSettings.ResourceList.IconSize = FDocument.ClipBox().ClipIconSize();
  FSettings.ResourceList.InitialDirectory = FDocument.ClipBox().InitialDir();
  FSettings.RecentFiles = FDocument.RecentFiles();
}

bool TMovaraForm::SaveSettings() {
  TakeLayout();
  if (FSettingsFile.empty()) return false;
  return WriteConfig(FSettingsFile, FSettings);
}

void TMovaraForm::closeEvent(QCloseEvent* event) {
  // the main window itself always lets go; unsaved work is the project's question
  if (!FDocument.QueryUnsaved()) {
    event->ignore();
    return;
  }
  SaveSettings();
  // the effect chain goes with the main window
  DoneChain3D();
  delete FScreenSaver;
  FScreenSaver = nullptr;
  event->accept();
}

// ---------------------------------------------------------------------------------
// Callbacks, windows, busy state

void TMovaraForm::InstallCallbacks(TDocumentSignals& adapter) {
  // project-changed: the commands follow (a burst of changes, as a project read block
  // by block, makes one refresh)
  if (FProject) connect(FProject, &TTimeLineForm::commandsChanged, this, &TMovaraForm::UpdateCommandsLater);
  connect(&adapter, &TDocumentSignals::opened, this, &TMovaraForm::UpdateCommandsLater);
  // a project opened or saved under a name heads the recent list
  connect(&adapter, &TDocumentSignals::fileNameChanged, this, &TMovaraForm::UpdateRecentItems);
  connect(&adapter, &TDocumentSignals::opened, this, &TMovaraForm::UpdateRecentItems);
  connect(&adapter, &TDocumentSignals::cleared, this, &TMovaraForm::UpdateCommandsLater);
  // resources-changed: the time line shows the resources anew
  connect(&adapter.ClipBox(), &TClipBoxSignals::changed, this, [this] {
    if (FProject) FProject->View()->update();
    UpdateCommandsLater();
  });
  if (FResources)
    connect(FResources->View(), &TClipBoxView::selectionChanged, this, &TMovaraForm::UpdateCommandsLater);
  // the sequences window follows the sequence row
  if (FSequences && FProject) {
    TVideoSequenceForm* sequences = FSequences;
    connect(FProject, &TTimeLineForm::sequencesChanged, sequences, &TVideoSequenceForm::RebuildLater);
    connect(&adapter, &TDocumentSignals::opened, sequences, &TVideoSequenceForm::RebuildLater);
    connect(&adapter, &TDocumentSignals::cleared, sequences, &TVideoSequenceForm::RebuildLater);
  }
}

void TMovaraForm::SetWindowKindHooks(const char* kind, TWindowKindHooks hooks) {
  FKindHooks[kind] = std::move(hooks);
  UpdateCommands();
}

void TMovaraForm::SetUndoActions(QAction* undo, QAction* redo) {
  QAction* placeholder = Command("EditUndoItem");
  if (!placeholder || !undo || !redo) return;
  FEditMenu->insertAction(placeholder, undo);
  FEditMenu->insertAction(placeholder, redo);
  // the placeholder leaves the menu and gives up Ctrl+Z (two owners make it ambiguous)
  placeholder->setShortcut(QKeySequence());
  FEditMenu->removeAction(placeholder);
  placeholder->setVisible(false);
}

int TMovaraForm::WindowsOfKind(const char* kind) const {
  int n = 0;
  if (auto h = FKindHooks.find(kind); h != FKindHooks.end() && h->second.Count) n += h->second.Count();
  for (QMdiSubWindow* sub : FMdiArea->subWindowList())
    if (sub->widget() && sub->widget()->property("MovaraWindowKind").toString() == QLatin1String(kind)) ++n;
  return n;
}

int TMovaraForm::CloseWindowsOfKind(const char* kind) {
  int closed = 0;
  if (auto h = FKindHooks.find(kind); h != FKindHooks.end() && h->second.CloseAll) closed += h->second.CloseAll();
  QList<QMdiSubWindow*> found;
  for (QMdiSubWindow* sub : FMdiArea->subWindowList())
    if (sub->widget() && sub->widget()->property("MovaraWindowKind").toString() == QLatin1String(kind))
      found << sub;
  for (QMdiSubWindow* sub : found) {
    if (QWidget* focus = sub->focusWidget()) focus->clearFocus();
    FMdiArea->removeSubWindow(sub);
    QApplication::processEvents();
    delete sub;
  }
  UpdateCommands();
  return closed + static_cast<int>(found.size());
}

void TMovaraForm::ToggleStandingWindow(TStandingWindow which) {
  QMdiSubWindow* sub = StandingWindow(which);
  QAction* item = Command(WindowItemName(which));
  if (!sub || !item) return;
  const bool show = sub->isHidden();
  item->setChecked(show);
  // the one-pixel nudge makes the frame lay its children out again
  if (show) {
    sub->move(sub->x(), sub->y() - 1);
    sub->show();
    sub->raise();
    FMdiArea->setActiveSubWindow(sub);
    if (sub->widget()) sub->widget()->setFocus();
  } else {
    sub->hide();
    sub->move(sub->x(), sub->y() + 1);
  }
  FMdiArea->update();
  UpdateCommands();
}

bool TMovaraForm::OpenFileAsResource(const std::string& fileName) {
  TClipBox& clips = FDocument.ClipBox();
  const int added = clips.AddFiles({fileName});
  if (FResources) FResources->Refresh();
  if (FProject) FProject->View()->update();
  UpdateCommands();
  return added > 0;
}

void TMovaraForm::SetBusy(bool busy) {
  if (busy) {
    if (FBusy++ == 0) QApplication::setOverrideCursor(Qt::WaitCursor);
  } else if (FBusy > 0) {
    if (--FBusy == 0) QApplication::restoreOverrideCursor();
  }
}

bool TMovaraForm::RunOptions() {
  const std::string ini = FSettingsFile.empty() ? ConfigFileName() : FSettingsFile;
  TRenderOptions options;
  // the renderer draws in the program's own memory: there is no graphics card's
  // memory to fall back from, so the warning marker never shows
  const bool accepted = ShowOptions(this, ini, false, options);
  if (accepted) SetRenderOptions(options);
  return accepted;
}

void TMovaraForm::ShowAbout() {
  QDialog about(this);
  about.setObjectName("AboutForm");
  about.setWindowTitle(QString::fromUtf8("O programie"));
  auto* layout = new QHBoxLayout(&about);
  auto* icon = new QLabel(&about);
  icon->setPixmap(ProgramPixmap(64));
  icon->setAlignment(Qt::AlignTop);
  layout->addWidget(icon);
  auto* right = new QVBoxLayout;
  auto* text = new QLabel(
      QString::fromUtf8("<h2>Movara</h2><p>wersja %1</p><p>Edytor filmów do domowego montażu: obrazy, filmy AVI, "
                        "dźwięk i plansze tekstowe na linii czasu, przejścia 3D i gotowy film AVI.</p>")
          .arg(QString::fromLatin1(MOVARA_VERSION)),
      &about);
  text->setWordWrap(true);
  text->setMinimumWidth(300);
  right->addWidget(text);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &about);
  connect(buttons, &QDialogButtonBox::accepted, &about, &QDialog::accept);
  right->addWidget(buttons);
  layout->addLayout(right);
  about.exec();
}

QUrl TMovaraForm::HelpUrl(const QString& anchor) {
  QUrl url = QUrl::fromLocalFile(QString::fromStdString(DataFolder() + "help/index.html"));
  if (!anchor.isEmpty()) url.setFragment(anchor);
  return url;
}

bool TMovaraForm::OpenHelp(const QString& anchor) {
  const QUrl url = HelpUrl(anchor);
  if (!QFileInfo::exists(url.toLocalFile())) {
    ShowMessage(Format("Nie znaleziono pliku pomocy %s", url.toLocalFile().toStdString().c_str()), TMsgKind::Error);
    return false;
  }
  if (OnOpenUrl && OnOpenUrl(url)) return true;
  ShowMessage(Format("Nie udało się otworzyć pomocy w przeglądarce (%s)", url.toString().toStdString().c_str()),
              TMsgKind::Error);
  return false;
}

}  // namespace movara
