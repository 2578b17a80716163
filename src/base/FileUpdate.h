#pragma once
// TFileUpdate: one writer's turn at a file. Files are written through a temporary file
// beside the target ("NAME.tmp~") that is renamed over it, so a reader never sees half a
// file. The temporary file is also the turn: the writer holds a lock on it from the
// start of its turn to the rename, so two programs (or threads) writing one file take
// turns instead of writing into one temporary file at once, and a writer that reads the
// file, changes it and writes it back loses nobody else's change made in between.
// The wait for a turn is bounded.
#include <cstddef>
#include <string>

namespace movara {

class TFileUpdate {
 public:
  static constexpr int kWaitMs = 5000;
  // Waits for the turn at fileName (a link at that name is replaced, not followed).
  explicit TFileUpdate(const std::string& fileName, int waitMs = kWaitMs);
  ~TFileUpdate();  // without Commit the temporary file goes and the target stays
  TFileUpdate(const TFileUpdate&) = delete;
  TFileUpdate& operator=(const TFileUpdate&) = delete;

  // False when the turn could not be had: the folder cannot take the temporary file, or
  // another writer held it past the wait. Nothing can be committed then.
  bool Held() const { return fd_ >= 0; }
  // The file that is replaced.
  const std::string& Target() const { return target_; }
  // Writes the contents and renames them over the target; the turn ends. False when
  // any of it failed (the target is as it was).
  bool Commit(const void* data, size_t size);

 private:
  void Abandon();
  std::string target_;
  std::string temp_;
  int fd_ = -1;
};

}  // namespace movara
