#pragma once
// TMovaraForm: the main window, the MDI frame of the editor. It owns no project data:
// the project is the document it is given, and its windows (the standing windows: the
// project window, the resource window, the film sequences window) are MDI children
// added by the program. It restores the layout of itself and of the standing windows
// from the settings file at start-up and writes it back when it closes.
#include <QMainWindow>
#include <array>
#include <string>

#include "persist/Config.h"

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QProgressBar;

namespace movara {

class TProjectDocument;
class TProjectProgress;
class IProjectDialogs;

// The standing windows whose layouts the settings file keeps.
enum TStandingWindow { swProject, swResources, swSequences };

class TMovaraForm : public QMainWindow {
  Q_OBJECT
 public:
  explicit TMovaraForm(TProjectDocument& document, QWidget* parent = nullptr);
  ~TMovaraForm() override;

  TProjectDocument& Document() const { return FDocument; }
  QMdiArea* MdiArea() const { return FMdiArea; }
  QMenu* FileMenu() const { return FFileMenu; }

  // The general settings: read by ReadSettings, written when the window closes.
  TGeneralSettings& Settings() { return FSettings; }
  const std::string& SettingsFile() const { return FSettingsFile; }
  // Reads the settings file (once, before the standing windows are added): the recent
  // projects, the time line's and the resource list's settings go to the document.
  void ReadSettings(const std::string& iniFile);
  // Adds a standing window as an MDI child that lives as long as the main window; the
  // child's caption is the window's title. Its layout is applied by RestoreLayout.
  QMdiSubWindow* AddStandingWindow(QWidget* window, TStandingWindow which);
  // The child of a standing window; nullptr when none was added.
  QMdiSubWindow* StandingWindow(TStandingWindow which) const;
  // Adds any other window as an MDI child, freed when it is closed.
  QMdiSubWindow* AddMdiChild(QWidget* window);
  // Inserts a command into the File menu above its exit item.
  void AddFileCommand(QAction* action);
  // Applies the saved layout to the main window and to every standing window.
  void RestoreLayout();
  // Takes the layout into the settings and writes the settings file; false when it
  // could not be written.
  bool SaveSettings();

 public slots:
  // Shows the resource window and the project window when hidden (a project opened).
  void ShowProjectWindows();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void UpdateRecentItems();
  TWindowLayout& LayoutOf(TStandingWindow which);
  void TakeLayout();

  TProjectDocument& FDocument;
  TGeneralSettings FSettings;
  std::string FSettingsFile;
  QMdiArea* FMdiArea = nullptr;
  QMenu* FFileMenu = nullptr;
  QAction* FExitSeparator = nullptr;
  std::array<QAction*, 6> FRecentItems{};
  QAction* FRecentSeparator = nullptr;
  std::array<QMdiSubWindow*, 3> FStanding{};
  class TStatusProgress;
  TStatusProgress* FProgress = nullptr;
  IProjectDialogs* FDialogs = nullptr;
};

}  // namespace movara
