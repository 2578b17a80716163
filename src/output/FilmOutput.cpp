#include "output/FilmOutput.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
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
// Letters and digits that make a temporary name unique.
constexpr size_t kRandomLength = 8;

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
  for (size_t i = 0; i < kRandomLength; ++i, x /= 36) s += kDigits[x % 36];
  return s;
}

// Whether name is a temporary file of a film named stem + ext: "." + stem, two or four
// digits (continuation files, pictures) or none, ".movara-", eight letters or digits, and
// ext (the film's own, or the extension of its numbered files).
bool IsTemporaryOf(const std::string& name, const std::string& stem, const std::string& ext) {
  if (name.size() < 1 + stem.size() || name[0] != '.' || name.compare(1, stem.size(), stem) != 0) return false;
  size_t at = 1 + stem.size();
  size_t digits = 0;
  while (at + digits < name.size() && std::isdigit(static_cast<unsigned char>(name[at + digits]))) ++digits;
  if (digits != 0 && digits != 2 && digits != 4) return false;
  at += digits;
  static const std::string kMiddle = ".movara-";
  if (name.compare(at, kMiddle.size(), kMiddle) != 0) return false;
  at += kMiddle.size();
  for (size_t i = 0; i < kRandomLength; ++i, ++at)
    if (at >= name.size() || !(std::islower(static_cast<unsigned char>(name[at])) ||
                               std::isdigit(static_cast<unsigned char>(name[at]))))
      return false;
  const std::string tail = name.substr(at);
  if (digits == 0) return tail == ext;
  return tail == ".AVI" || tail == ".BMP" || tail == ".GIF" || tail == ".JPG";
}

// Temporary files that a film of this name left when it was killed before its end: no
// film that is alive writes them, it would hold the lock.
void RemoveStaleTemporaries(const fs::path& film) {
  const fs::path folder = film.parent_path().empty() ? fs::path(".") : film.parent_path();
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!IsTemporaryOf(name, film.stem().string(), film.extension().string())) continue;
    std::error_code typeError;
    if (!it->is_regular_file(typeError)) continue;
    TraceF("[TFilmOutput.Open] \"%s\" of a film that did not end removed", it->path().c_str());
    fs::remove(it->path(), typeError);
  }
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
      RemoveStaleTemporaries(fs::path(resolved));
      if (resolved != fileName) RemoveStaleTemporaries(fs::path(fileName));
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
    if (!ok) {  // after a failure the rest go
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
