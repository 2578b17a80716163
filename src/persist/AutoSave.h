#pragma once
// Recovery files: while a project has unsaved changes the editor writes a copy of it
// now and then into the user folder, so that a crash, a kill or a power cut loses at
// most the work since the last copy. Each running editor has its own file, named after
// its process, with a companion text file that names the project and that the editor
// keeps locked while it runs: a file whose lock is free was left by an editor that is
// gone. The copy is written by a thread of its own, through a temporary file and a
// rename, and never over the user's own project file.
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace movara {

// The folder of the recovery files: UserFolder() + "recovery/".
std::string RecoveryFolder();
// Seconds between copies from "Application Options" "AutoSaveSeconds" of the settings
// file (default 60; 0 or less turns the copies off).
int AutoSaveSeconds(const std::string& iniFile);

// A recovery file left by an editor that is no longer running.
struct TRecoveryFile {
  std::string FileName;     // the copy of the project
  std::string InfoName;     // the companion naming the project
  std::string ProjectName;  // the project's own file; empty for one never saved
  int64_t Time = 0;         // when the copy was written (seconds since the epoch)
  // The time as the question shows it ("2026-12-09 21:42:48", local time).
  std::string TimeText() const;
};

// Recovery files in Folder left by editors that are gone and newer than their project
// (the others, outdated by a later save of the project, are removed), newest first.
std::vector<TRecoveryFile> FindRecoveryFiles(const std::string& Folder);
// Removes a recovery file and its companion.
void RemoveRecoveryFile(const TRecoveryFile& File);

class TAutoSave {
 public:
  // Files go to Folder (created when needed), named after Process.
  explicit TAutoSave(const std::string& Folder, pid_t Process);
  // Waits for a copy under way; the files stay (a normal close calls Discard first).
  ~TAutoSave();
  TAutoSave(const TAutoSave&) = delete;
  TAutoSave& operator=(const TAutoSave&) = delete;

  const std::string& FileName() const { return FFileName; }
  const std::string& InfoName() const { return FInfoName; }

  // Starts writing Bytes as the copy of ProjectName on the writer thread; false (nothing
  // done) while the previous copy is still being written. The bytes are taken over.
  bool Write(std::vector<uint8_t>&& Bytes, const std::string& ProjectName);
  // Waits for a copy under way (bounded by the disk's speed).
  void Wait();
  bool Busy() const { return FBusy.load(); }
  // Whether the last copy that ended was written completely.
  bool LastOk() const { return FLastOk.load(); }
  // Removes this editor's copy (after a save, at a close, for a new project).
  void Discard();
  // Takes a recovery file over as this editor's copy (the user restored it): it stays
  // until the project is saved or closed.
  bool Adopt(const TRecoveryFile& File);

 private:
  bool WriteInfo(const std::string& ProjectName);
  void Lock();

  std::string FFolder;
  std::string FFileName;
  std::string FInfoName;
  std::string FInfoProject;  // the project the companion names
  int FLockFd = -1;
  std::thread FWriter;
  std::atomic<bool> FBusy{false};
  std::atomic<bool> FLastOk{true};
};

}  // namespace movara
