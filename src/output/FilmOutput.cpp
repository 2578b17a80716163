#include "output/FilmOutput.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <random>

#include "base/Trace.h"

namespace movara {
namespace {

namespace fs = std::filesystem;

// The longest name a folder takes (bytes).
constexpr size_t kNameMax = 255;

std::string SystemReason(int error) { return std::strerror(error); }

// A hidden name beside path: "." + its name (or stem, before its extension) + middle
// (+ the extension), the name cut to fit.
std::string Beside(const fs::path& path, const std::string& middle, bool keepExtension) {
  std::string ext = keepExtension ? path.extension().string() : std::string();
  if (1 + middle.size() + ext.size() >= kNameMax) ext.clear();
  std::string name = keepExtension ? path.stem().string() : path.filename().string();
  const size_t room = kNameMax - 1 - middle.size() - ext.size();
  if (name.size() > room) name.resize(room);
  return (path.parent_path() / ("." + name + middle + ext)).string();
}

// Eight letters and digits, different for every call in every process.
std::string RandomPart() {
  static const uint64_t seed = (uint64_t(std::random_device{}()) << 32) ^ uint64_t(::getpid()) ^
                               uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
  static std::atomic<uint64_t> counter{0};
  uint64_t x = seed + 0x9E3779B97F4A7C15ull * ++counter;
  x ^= x >> 30;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 27;
  x *= 0x94D049BB133111EBull;
  x ^= x >> 31;
  static const char kDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string s;
  for (int i = 0; i < 8; ++i, x /= 36) s += kDigits[x % 36];
  return s;
}

}  // namespace

TFilmOutput::~TFilmOutput() {
  Discard();
  Release();
}

std::string TFilmOutput::Resolve(const std::string& target) {
  fs::path p(target);
  std::error_code ec;
  // a chain of links ends at the file; a loop is left to the write to report
  for (int i = 0; i < 40 && fs::is_symlink(fs::symlink_status(p, ec)); ++i) {
    const fs::path to = fs::read_symlink(p, ec);
    if (ec) break;
    p = to.is_absolute() ? to : p.parent_path() / to;
  }
  return p.string();
}

std::string TFilmOutput::RefusalOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return std::string();
  if (S_ISDIR(st.st_mode)) return "to folder, a nie plik";
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "to urządzenie, a nie zwykły plik";
  if (S_ISFIFO(st.st_mode)) return "to potok (FIFO), a nie zwykły plik";
  if (S_ISSOCK(st.st_mode)) return "to gniazdo, a nie zwykły plik";
  return "to nie jest zwykły plik";
}

bool TFilmOutput::Open(const std::string& fileName) {
  Release();
  const std::string resolved = Resolve(fileName);
  FReason = RefusalOf(resolved);
  if (!FReason.empty()) return false;
  const std::string lock = Beside(fs::path(resolved), ".movara-lock", false);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const int fd = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
      FReason = SystemReason(errno);
      return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      ::close(fd);
      FReason = error == EWOULDBLOCK ? "inny film jest właśnie zapisywany pod tą nazwą" : SystemReason(error);
      return false;
    }
    // The film that held the lock a moment ago may have removed its file: only a lock on
    // the file that is there now counts.
    struct stat held {}, there {};
    if (::fstat(fd, &held) == 0 && ::stat(lock.c_str(), &there) == 0 && held.st_dev == there.st_dev &&
        held.st_ino == there.st_ino) {
      FLockFd = fd;
      FLockName = lock;
      return true;
    }
    ::close(fd);
  }
  FReason = SystemReason(EAGAIN);
  return false;
}

void TFilmOutput::Release() {
  if (FLockFd < 0) return;
  // removed while still held, so a film waiting for it takes a new one
  ::unlink(FLockName.c_str());
  ::close(FLockFd);
  FLockFd = -1;
  FLockName.clear();
}

std::string TFilmOutput::Create(const std::string& target) {
  const std::string resolved = Resolve(target);
  FReason = RefusalOf(resolved);
  if (!FReason.empty()) return std::string();
  Drop(target);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string temp = Beside(fs::path(resolved), ".movara-" + RandomPart(), true);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      ::close(fd);
      FEntries.push_back({target, resolved, temp});
      return temp;
    }
    if (errno != EEXIST) {
      FReason = SystemReason(errno);
      return std::string();
    }
  }
  FReason = SystemReason(EEXIST);
  return std::string();
}

void TFilmOutput::Drop(const std::string& target) {
  for (auto it = FEntries.begin(); it != FEntries.end(); ++it)
    if (it->Target == target) {
      ::unlink(it->Temp.c_str());
      FEntries.erase(it);
      return;
    }
}

bool TFilmOutput::Commit() {
  FReason.clear();
  FFailed.clear();
  bool ok = true;
  for (const TEntry& e : FEntries) {
    struct stat st {};
    if (!ok || ::stat(e.Temp.c_str(), &st) != 0) {
      // after a failure the rest go; a file that went already (it held no film) is skipped
      ::unlink(e.Temp.c_str());
      continue;
    }
    // what came to the target's place while the film was made is refused as before
    std::string refusal = RefusalOf(e.Resolved);
    if (refusal.empty() && ::rename(e.Temp.c_str(), e.Resolved.c_str()) == 0) {
      FCommitted.push_back(e.Target);
      continue;
    }
    FReason = refusal.empty() ? SystemReason(errno) : refusal;
    FFailed = e.Target;
    TraceF("[TFilmOutput.Commit] \"%s\" not moved to \"%s\": %s", e.Temp.c_str(), e.Resolved.c_str(),
           FReason.c_str());
    ::unlink(e.Temp.c_str());
    ok = false;
  }
  FEntries.clear();
  return ok;
}

void TFilmOutput::Discard() {
  for (const TEntry& e : FEntries) ::unlink(e.Temp.c_str());
  FEntries.clear();
}

}  // namespace movara
