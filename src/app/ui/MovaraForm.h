#pragma once
// TMovaraForm: the main window "Movara", the MDI frame of the editor. It owns no project
// data: its commands go to the document and to the standing windows (the project
// window, the resource window, the film sequences window), to the film command, the
// options window and the help. It keeps the enabled state of its menus and tool bar in
// step with the project, restores the layout of itself and of the standing windows from
// the settings file and takes it back when it closes.
//
// Menus: "&Plik", "&Edycja" (with the Undo command, which has nothing to undo), "&Okno"
// and "Pomo&c"; a tool bar of fifteen buttons whose hints show in the status bar. The
// commands of windows that the program does not have yet (media views, the page editor,
// clip players, the DV camera) are there and stay disabled until their window is
// installed (the On... hooks below).
#include <QMainWindow>
#include <QHash>
#include <array>
#include <functional>
#include <map>
#include <string>

#include "persist/Config.h"

class QAction;
class QActionGroup;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QTimer;
class QToolBar;
class QUrl;

namespace movara {

class TDocumentSignals;
class TProjectDocument;
class TProjectProgress;
class IProjectDialogs;
class TResourcesForm;
class TScreenSaverRule;
class TTimeLineForm;
class TVideoSequenceForm;

// The standing windows whose layouts the settings file keeps.
enum TStandingWindow { swProject, swResources, swSequences };

// The kinds of MDI children that close together (the window's "MovaraWindowKind"
// property).
inline constexpr const char* kResourceViewKind = "ResourceView";
inline constexpr const char* kClipPlayerKind = "ClipPlayer";

class TMovaraForm : public QMainWindow {
  Q_OBJECT
 public:
  explicit TMovaraForm(TProjectDocument& document, QWidget* parent = nullptr);
  ~TMovaraForm() override;

  TProjectDocument& Document() const { return FDocument; }
  QMdiArea* MdiArea() const { return FMdiArea; }
  QMenu* FileMenu() const { return FFileMenu; }
  QMenu* EditMenu() const { return FEditMenu; }
  QMenu* WindowMenu() const { return FWindowMenu; }
  QMenu* HelpMenu() const { return FHelpMenu; }
  QToolBar* ToolBar() const { return FToolBar; }
  // A menu item ("FileOpenItem", "FileRecent1", ...) or tool button ("tbSaveProject",
  // ...) by its name; nullptr for none.
  QAction* Command(const QString& name) const;

  // The general settings: read by ReadSettings, written when the window closes.
  TGeneralSettings& Settings() { return FSettings; }
  const std::string& SettingsFile() const { return FSettingsFile; }
  // Reads the settings file (once, before the standing windows are added); the recent
  // projects go to the document.
  void ReadSettings(const std::string& iniFile);
  // Adds a standing window as an MDI child that lives as long as the main window; the
  // child's caption is the window's title. Its layout is applied by RestoreLayout
  // (its size only when sizeable).
  QMdiSubWindow* AddStandingWindow(QWidget* window, TStandingWindow which, bool sizeable = true);
  // The child of a standing window; nullptr when none was added.
  QMdiSubWindow* StandingWindow(TStandingWindow which) const;
  // Adds any other window as an MDI child, freed when it is closed; kind (when given)
  // is the kind the Window menu closes together.
  QMdiSubWindow* AddMdiChild(QWidget* window, const char* kind = nullptr);
  // Inserts a command into the File menu above the recent projects.
  void AddFileCommand(QAction* action);
  // The windows the commands go to.
  void SetWindows(TTimeLineForm* project, TResourcesForm* resources, TVideoSequenceForm* sequences);
  // Applies the saved layout to every standing window, the time line's and resource
  // list's settings and the recent projects; the main window's own layout follows when
  // it is first shown.
  void RestoreLayout();
  // The main window's own layout: its state; when normal, its size and, unless the top
  // left corner would come within 50 pixels of the screen's right or bottom edge, its
  // place.
  void ApplyMainLayout();
  // Installs the callbacks of the windows: a changed project refreshes the commands, a
  // changed resource list the time line's view of resources (and the commands), a
  // changed sequence row the sequences window's list.
  void InstallCallbacks(TDocumentSignals& adapter);
  // Takes the layout into the settings and writes the settings file; false when it
  // could not be written.
  bool SaveSettings();
  // Freed (hidden first) when the main window is first shown.
  void SetSplash(QWidget* splash) { FSplash = splash; }
  QWidget* Splash() const { return FSplash; }

  // The command state: which commands are enabled and checked, from the project, the
  // selection, the copied blocks, the resource list and the open windows.
  void UpdateCommands();
  // The same once the events of the moment are done (the windows' change reports).
  void UpdateCommandsLater();
  // The Window menu's show/hide of a standing window (as its item does).
  void ToggleStandingWindow(TStandingWindow which);
  // MDI children of a kind, and closing them all; the number closed.
  int WindowsOfKind(const char* kind) const;
  int CloseWindowsOfKind(const char* kind);
  // Windows of a kind that keep their own list (clip players, resource views): how
  // many are open and how to close them all (the views ask about unsaved pictures);
  // WindowsOfKind and CloseWindowsOfKind count and close them besides AddMdiChild's.
  struct TWindowKindHooks {
    std::function<int()> Count;
    std::function<int()> CloseAll;
  };
  void SetWindowKindHooks(const char* kind, TWindowKindHooks hooks);
  // The project's own undo and redo commands take the place of the Edit menu's "&Cofnij"
  // (they carry their texts, keys and enabling).
  void SetUndoActions(QAction* undo, QAction* redo);
  // Adds a file to the resource list (a window asks to open it as a resource); false
  // when the list did not take it.
  bool OpenFileAsResource(const std::string& fileName);
  // The hourglass while busy (nested calls count).
  void SetBusy(bool busy);
  bool Busy() const { return FBusy > 0; }
  // The options window; accepted options go to the preview's render thread.
  bool RunOptions();
  // The about box "O programie".
  void ShowAbout();
  // The manual (data/help/index.html) at an anchor ("" = its start).
  static QUrl HelpUrl(const QString& anchor = QString());
  // Opens a page of the manual in the desktop's browser; false (with a message) when
  // the manual or the browser is missing.
  bool OpenHelp(const QString& anchor = QString());

  // The film command: mode 0 film, 1 animation, 2 sound; regenerate = from the tool bar
  // (the script is made anew from the whole time line).
  std::function<bool(int mode, bool regenerate)> OnMakeFilm;
  // The commands that other windows serve: each command's menu item and tool button
  // stay disabled while its function is unset. A window installs its function once it
  // exists and calls UpdateCommands(); a resource view or clip player is added with
  // AddMdiChild(window, kResourceViewKind / kClipPlayerKind) so that the Window menu
  // closes it with the others of its kind.
  std::function<void()> OnOpenMedia;              // "Otwórz Me&dia...": resource views
  std::function<void()> OnOpenSelectedResources;  // tbOpenSelectedResources: the selected resources in views
  std::function<void()> OnTextEditor;             // "Okno Edytora &Tekstu...": the page editor
  std::function<void()> OnDvCapture;              // tbDvCapture "Wychwyt"
  std::function<void()> OnDvRecord;               // tbDvRecord "Zgrywanie"
  std::function<void()> OnUndo;                   // "&Cofnij" (Ctrl+Z)
  std::function<bool()> CanUndo;                  // whether there is something to undo (unset: yes)
  // Opens a page in the browser (QDesktopServices unless replaced).
  std::function<bool(const QUrl& url)> OnOpenUrl;

 public slots:
  // Shows the resource window and the project window when hidden (a project opened).
  void ShowProjectWindows();

 protected:
  void setVisible(bool visible) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QAction* AddCommand(QMenu* menu, const char* name, const char* caption, const QKeySequence& key = {});
  std::map<std::string, TWindowKindHooks> FKindHooks;
  QAction* AddTool(const char* name, int icon, const char* hint, const char* caption = nullptr);
  void BuildMenus();
  void BuildToolBar();
  void UpdateRecentItems();
  TWindowLayout& LayoutOf(TStandingWindow which);
  void TakeLayout();
  void MakeFilm(int mode, bool regenerate);
  void Enable(const char* name, bool enabled);

  TProjectDocument& FDocument;
  TGeneralSettings FSettings;
  std::string FSettingsFile;
  QMdiArea* FMdiArea = nullptr;
  QMenu* FFileMenu = nullptr;
  QMenu* FEditMenu = nullptr;
  QMenu* FWindowMenu = nullptr;
  QMenu* FHelpMenu = nullptr;
  QToolBar* FToolBar = nullptr;
  QHash<QString, QAction*> FCommands;
  std::array<QAction*, 6> FRecentItems{};
  QAction* FRecentSeparator = nullptr;
  std::array<QMdiSubWindow*, 3> FStanding{};
  std::array<bool, 3> FSizeable{true, true, true};
  // the normal place of each standing window, kept while it is minimised or maximised
  std::array<QRect, 3> FNormal{};
  TTimeLineForm* FProject = nullptr;
  TResourcesForm* FResources = nullptr;
  TVideoSequenceForm* FSequences = nullptr;
  class TStatusProgress;
  TStatusProgress* FProgress = nullptr;
  IProjectDialogs* FDialogs = nullptr;
  TScreenSaverRule* FScreenSaver = nullptr;
  QWidget* FSplash = nullptr;
  bool FFirstShow = true;
  bool FLayoutRestored = false;
  int FBusy = 0;
  QTimer* FCommandTimer = nullptr;
};

}  // namespace movara
