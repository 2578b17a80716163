#pragma once
// TProjectDocument: the one open project of the editor. It owns the time line
// (TLayerBox), the resource list (TClipBox) and the project file's view of that list,
// holds the project's file name, the folder of the last opened project and the recent
// project files, and runs the open, save, save-as and new commands with their questions
// and messages. Windows hold a reference to it; it knows no window: the file dialogs
// come through IProjectDialogs, messages through the user-message service.
#include <array>
#include <functional>
#include <memory>
#include <string>

#include <sys/types.h>

#include "persist/AutoSave.h"
#include "persist/ProjectFile.h"
#include "project/ClipBox.h"
#include "project/Layers.h"
#include "project/UndoHistory.h"

namespace movara {

// The file dialogs of the project commands; an empty name means cancelled.
class IProjectDialogs {
 public:
  virtual ~IProjectDialogs() = default;
  // The project to open, starting in folder.
  virtual std::string AskOpenProject(const std::string& folder) = 0;
  // The name to save under, starting in folder with the current name proposed.
  virtual std::string AskSaveProject(const std::string& folder, const std::string& current) = 0;
};

inline constexpr int kRecentProjectCount = 6;

class TProjectDocument {
 public:
  TProjectDocument();
  ~TProjectDocument();
  TProjectDocument(const TProjectDocument&) = delete;
  TProjectDocument& operator=(const TProjectDocument&) = delete;

  TLayerBox& LayerBox() { return FLayerBox; }
  TClipBox& ClipBox() { return *FClipBox; }
  TClipBoxResources& Resources() { return *FResources; }
  // The undo and redo of the time line's edits: cleared when a project is opened or
  // created, kept across saves.
  TUndoHistory& History() { return *FHistory; }

  // Recovery copies of unsaved work in Folder, named after Process (the editor turns
  // them on; the command line and the tests leave them off). The copy goes after a save,
  // for another project and at a normal close (the document's end).
  void StartAutoSave(const std::string& folder, pid_t process);
  TAutoSave* AutoSave() const { return FAutoSave.get(); }
  // Starts writing the recovery copy when the project has changes that no copy holds
  // yet (on the time line's own thread: the bytes are made here, written by the copy's
  // thread). True when a copy was started.
  bool AutoSaveNow();
  // Opens a recovery copy as the unsaved project it was: named as its project, modified,
  // the copy taken over as this editor's. True when the whole copy was read.
  bool Recover(const TRecoveryFile& file);
  // At the editor's start: asks about each copy in the folder left by an editor that is
  // gone, the newest first ("Odzyskać niezapisane zmiany projektu %s z %s?", Yes/No).
  // Yes opens it (copies not asked about stay for a later start), No removes it; a copy
  // that is no readable project is removed unasked. True when a copy was opened.
  bool OfferRecovery(const std::string& folder);

  // The project's file (expanded); empty for a project never saved.
  const std::string& FileName() const { return FFileName; }
  // The folder the open dialog starts in: that of the last project opened.
  const std::string& LastFolder() const { return FLastFolder; }
  void SetLastFolder(const std::string& folder) { FLastFolder = folder; }
  bool Modified() const { return FLayerBox.Modified(); }
  // The time line scale's count type, as the project file stores it.
  TCountType CountType() const { return FCountType; }
  void SetCountType(TCountType value) { FCountType = value; }

  // Recent project files, most recent first; empty = no entry.
  const std::array<std::string, kRecentProjectCount>& RecentFiles() const { return FRecentFiles; }
  void SetRecentFiles(const std::array<std::string, kRecentProjectCount>& files) { FRecentFiles = files; }
  // Puts a name first: unchanged when it is first already, moved up when listed, else
  // pushed in with the oldest dropped.
  void AddRecentFile(const std::string& fileName);
  // Takes a name out of the list; the ones below move up.
  void RemoveRecentFile(const std::string& fileName);

  // The file dialogs (not owned; nullptr = every dialog counts as cancelled).
  void SetDialogs(IProjectDialogs* dialogs) { FDialogs = dialogs; }
  // The status bar's progress while a project is read (not owned; may be nullptr).
  void SetProgress(TProjectProgress* progress) { FProgress = progress; }

  // Before anything replaces the project: when it is modified, asks "Projekt nie jest
  // zapisany. Czy chcesz zapisać aktualny stan na dysk ?" ("Zapis projektu", Yes/No/
  // Cancel). Yes saves and goes on only when the project is no longer modified; No goes
  // on; Cancel stops. True = go on.
  bool QueryUnsaved();
  // Opens a project: fileName, or the open dialog's choice when empty. A file that is
  // missing shows "Plik '%s' nie istnieje !"; a file that cannot be read, or is no
  // project file at all, leaves the open project as it was (with "[812]" or the
  // unrecognised-file message). A file read only in part shows "[811]" and stays open,
  // modified. True when the whole project was read.
  bool Open(const std::string& fileName);
  // Opens a project of the recent list. One that is gone shows "Plik '%s' nie istnieje
  // !" and leaves the list (before any question about unsaved work).
  bool OpenRecent(const std::string& fileName);
  // Opens the project a recent-file caption names ("&%d %s": every "&" dropped, and the
  // number and its blank when the rest starts with a digit).
  bool OpenRecentCaption(const std::string& caption);
  // The file name a recent-file caption names.
  static std::string RecentCaptionFileName(const std::string& caption);
  // Saves under the project's name, or as save-as when it has none. True when written.
  bool Save();
  // Asks for a name (".mvf" added when it has no extension), then writes. True when
  // written.
  bool SaveAs();
  // A new project: asks about unsaved work, then clears every row but the range row and
  // the resource list; no file name, not modified. True unless cancelled.
  bool New();

  // Events (one subscriber each; windows reach them through their adapter).
  std::function<void()> OnFileNameChanged;  // FileName() changed
  std::function<void()> OnOpened;           // a file was read into the project (in whole or in part)
  std::function<void()> OnCleared;          // the project was emptied by New()

 private:
  bool WriteTo(const std::string& fileName);
  void SetFileName(const std::string& fileName);
  // Another project or a saved one: no step leads back, no copy is needed.
  void StartedAfresh();

  // The time line goes first: its blocks let go of their clips before the clips go.
  std::unique_ptr<TClipBox> FClipBox;
  std::unique_ptr<TClipBoxResources> FResources;
  TLayerBox FLayerBox;
  std::unique_ptr<TUndoHistory> FHistory;
  std::unique_ptr<TAutoSave> FAutoSave;
  uint64_t FAutoSaved = 0;  // the history's serial of the last copy
  std::string FFileName;
  std::string FLastFolder;
  std::array<std::string, kRecentProjectCount> FRecentFiles;
  TCountType FCountType = ctSMPTE;
  IProjectDialogs* FDialogs = nullptr;
  TProjectProgress* FProgress = nullptr;
};

}  // namespace movara
