#include "base/FileUpdate.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <algorithm>
#include <thread>

namespace movara {
namespace {

bool LockWithin(int fd, int waitMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace

TFileUpdate::TFileUpdate(const std::string& fileName, int waitMs)
    : target_(fileName), temp_(fileName + ".tmp~") {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  for (;;) {
    const int fd = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    const int left = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count());
    if (!LockWithin(fd, std::max(left, 0))) {
      ::close(fd);
      return;
    }
    // the writer before us may have renamed the file we opened into place: the turn is
    // ours only while the name still is that file
    struct stat held{}, named{};
    if (::fstat(fd, &held) == 0 && ::stat(temp_.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino && S_ISREG(held.st_mode)) {
      fd_ = fd;
      return;
    }
    ::close(fd);
    if (std::chrono::steady_clock::now() >= end) return;
  }
}

TFileUpdate::~TFileUpdate() { Abandon(); }

void TFileUpdate::Abandon() {
  if (fd_ < 0) return;
  // removed while the turn is held: the next writer finds the name gone and makes it anew
  std::remove(temp_.c_str());
  ::close(fd_);
  fd_ = -1;
}

bool TFileUpdate::Commit(const void* data, size_t size) {
  if (fd_ < 0) return false;
  bool ok = ::ftruncate(fd_, 0) == 0;
  const auto* p = static_cast<const unsigned char*>(data);
  size_t left = size;
  while (ok && left > 0) {
    const ssize_t n = ::write(fd_, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  if (ok && std::rename(temp_.c_str(), target_.c_str()) != 0) ok = false;
  if (!ok) {
    Abandon();
    return false;
  }
  // the lock goes with the descriptor, after the rename
  ::close(fd_);
  fd_ = -1;
  return true;
}

}  // namespace movara
