#pragma once
// The files of one film (an AVI and its continuation files, or a picture sequence) are
// written under temporary names beside their targets and moved over them when the film
// ends, so an older film stays whole until then and a film that fails leaves nothing
// behind. A lock on the film's name keeps a second film from writing the same files at
// the same time. A target that is a symbolic link is written where the link points; a
// target that is there and is no regular file (a folder, a device, a pipe, a socket) is
// refused.
#include <string>
#include <vector>

namespace movara {

class TFilmOutput {
 public:
  TFilmOutput() = default;
  // Removes what was not moved into place and lets the lock go.
  ~TFilmOutput();
  TFilmOutput(const TFilmOutput&) = delete;
  TFilmOutput& operator=(const TFilmOutput&) = delete;

  // Takes the lock on the film's name. False, with Reason(), when another film is
  // writing it, when it is no regular file, or when its folder takes no file.
  bool Open(const std::string& fileName);
  // Makes an empty temporary file for target in the target's folder, ending in the
  // target's extension; its name, or "" with Reason() when target cannot be written.
  std::string Create(const std::string& target);
  // The temporary file of target goes; target stays as it was.
  void Drop(const std::string& target);
  // Moves every temporary file over its target, in the order they were made. False, with
  // Reason(), when one could not be moved: the rest are removed.
  bool Commit();
  // Removes every temporary file; the targets stay as they were.
  void Discard();
  // Lets the lock go (after Commit or Discard).
  void Release();

  bool Opened() const { return FLockFd >= 0; }
  // The targets Commit moved into place, as they were named.
  const std::vector<std::string>& Committed() const { return FCommitted; }
  // Why the last call failed: the system's reason, or why the target is refused.
  const std::string& Reason() const { return FReason; }
  // The target Commit could not move into place.
  const std::string& Failed() const { return FFailed; }

  // Where a target is written: a symbolic link is followed to the file it names.
  static std::string Resolve(const std::string& target);
  // Why a film cannot replace what is at path ("" when nothing or a regular file is there).
  static std::string RefusalOf(const std::string& path);

 private:
  struct TEntry {
    std::string Target;    // as named
    std::string Resolved;  // where it goes
    std::string Temp;
  };
  std::vector<TEntry> FEntries;
  std::vector<std::string> FCommitted;
  std::string FReason;
  std::string FFailed;
  std::string FLockName;
  int FLockFd = -1;
};

}  // namespace movara
