#include "persist/AutoSave.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "base/AppPaths.h"
#include "base/MyIniFile.h"
#include "base/Trace.h"

namespace movara {
namespace {

constexpr char InfoMagic[] = "MOVARA-RECOVERY 1\n";
constexpr char CopyExt[] = ".mvf";
constexpr char InfoExt[] = ".info";

bool WriteAll(int fd, const uint8_t* p, size_t left) {
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

// Through a temporary file that replaces the copy only once it is complete and on the
// disk: a crash while it is written leaves the previous copy.
bool WriteCopy(const std::string& fileName, const std::vector<uint8_t>& bytes) {
  const std::string tmp = fileName + ".tmp~";
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, bytes.data(), bytes.size()) && ::fdatasync(fd) == 0;
  if (::close(fd) != 0) ok = false;
  if (ok && std::rename(tmp.c_str(), fileName.c_str()) != 0) ok = false;
  if (!ok) std::remove(tmp.c_str());
  return ok;
}

int64_t ModifiedTime(const std::string& fileName, bool& exists) {
  struct stat st {};
  exists = ::stat(fileName.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  return exists ? static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec : 0;
}

bool EndsWith(const std::string& s, const char* tail) {
  const size_t n = std::char_traits<char>::length(tail);
  return s.size() > n && s.compare(s.size() - n, n, tail) == 0;
}

}  // namespace

std::string RecoveryFolder() { return UserFolder() + "recovery/"; }

int AutoSaveSeconds(const std::string& iniFile) {
  try {
    const TMyIniFile ini(iniFile);
    return std::max(0, ini.ReadInteger("Application Options", "AutoSaveSeconds", 60));
  } catch (const std::exception& e) {
    TraceF("[AutoSaveSeconds] %s", e.what());
    return 60;
  }
}

std::string TRecoveryFile::TimeText() const {
  const time_t t = static_cast<time_t>(Time);
  struct tm local {};
  localtime_r(&t, &local);
  char text[32] = {};
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

std::vector<TRecoveryFile> FindRecoveryFiles(const std::string& Folder) {
  std::vector<TRecoveryFile> found;
  std::vector<int64_t> times;
  std::error_code ec;
  std::vector<std::string> infos;
  for (const auto& entry : std::filesystem::directory_iterator(Folder, ec)) {
    const std::string name = entry.path().string();
    if (EndsWith(name, InfoExt)) infos.push_back(name);
  }
  for (const std::string& info : infos) {
    const int fd = ::open(info.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) continue;
    // the editor that writes it holds the lock while it runs
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      ::close(fd);
      continue;
    }
    std::string text;
    char buf[4096];
    for (;;) {
      const ssize_t n = ::read(fd, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      text.append(buf, static_cast<size_t>(n));
      if (text.size() > 65536) break;
    }
    TRecoveryFile f;
    f.InfoName = info;
    f.FileName = info.substr(0, info.size() - std::char_traits<char>::length(InfoExt)) + CopyExt;
    bool copyExists = false;
    const int64_t copyTime = ModifiedTime(f.FileName, copyExists);
    bool valid = copyExists && text.compare(0, sizeof InfoMagic - 1, InfoMagic) == 0;
    if (valid) {
      f.ProjectName = text.substr(sizeof InfoMagic - 1);
      if (const size_t eol = f.ProjectName.find('\n'); eol != std::string::npos) f.ProjectName.resize(eol);
      bool projectExists = false;
      const int64_t projectTime = f.ProjectName.empty() ? 0 : ModifiedTime(f.ProjectName, projectExists);
      // the project saved after the copy was made holds everything the copy does
      if (projectExists && projectTime >= copyTime) valid = false;
    }
    if (!valid) {
      std::remove(f.FileName.c_str());
      std::remove(f.InfoName.c_str());
    }
    ::close(fd);
    if (!valid) continue;
    f.Time = copyTime / 1000000000;
    found.push_back(f);
    times.push_back(copyTime);
  }
  std::vector<size_t> order(found.size());
  for (size_t k = 0; k < order.size(); ++k) order[k] = k;
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return times[a] > times[b]; });
  std::vector<TRecoveryFile> sorted;
  for (size_t k : order) sorted.push_back(found[k]);
  return sorted;
}

void RemoveRecoveryFile(const TRecoveryFile& File) {
  std::remove(File.FileName.c_str());
  std::remove(File.InfoName.c_str());
}

TAutoSave::TAutoSave(const std::string& Folder, pid_t Process) : FFolder(IncludeTrailingSlash(Folder)) {
  const std::string base = FFolder + "movara-" + std::to_string(static_cast<long long>(Process));
  FFileName = base + CopyExt;
  FInfoName = base + InfoExt;
}

TAutoSave::~TAutoSave() {
  Wait();
  if (FLockFd >= 0) ::close(FLockFd);
}

void TAutoSave::Lock() {
  if (FLockFd >= 0) return;
  std::error_code ec;
  std::filesystem::create_directories(FFolder, ec);
  FLockFd = ::open(FInfoName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (FLockFd < 0) {
    TraceF("[TAutoSave] Cannot open %s", FInfoName.c_str());
    return;
  }
  if (::flock(FLockFd, LOCK_EX | LOCK_NB) != 0) TraceF("[TAutoSave] %s is locked by another editor", FInfoName.c_str());
  FInfoProject.clear();
}

bool TAutoSave::WriteInfo(const std::string& ProjectName) {
  Lock();
  if (FLockFd < 0) return false;
  if (ProjectName == FInfoProject && ::lseek(FLockFd, 0, SEEK_END) > 0) return true;
  // written in place: the lock belongs to this file, not to a replacement
  const std::string text = std::string(InfoMagic) + ProjectName + "\n";
  if (::ftruncate(FLockFd, 0) != 0 || ::lseek(FLockFd, 0, SEEK_SET) != 0 ||
      !WriteAll(FLockFd, reinterpret_cast<const uint8_t*>(text.data()), text.size()))
    return false;
  FInfoProject = ProjectName;
  return true;
}

bool TAutoSave::Write(std::vector<uint8_t>&& Bytes, const std::string& ProjectName) {
  if (FBusy.load()) return false;
  if (FWriter.joinable()) FWriter.join();
  if (!WriteInfo(ProjectName)) {
    FLastOk = false;
    return false;
  }
  FBusy = true;
  FWriter = std::thread([this, bytes = std::move(Bytes)] {
    const bool ok = WriteCopy(FFileName, bytes);
    if (!ok) TraceF("[TAutoSave] Cannot write %s", FFileName.c_str());
    FLastOk = ok;
    FBusy = false;
  });
  return true;
}

void TAutoSave::Wait() {
  if (FWriter.joinable()) FWriter.join();
}

void TAutoSave::Discard() {
  Wait();
  std::remove(FFileName.c_str());
  if (FLockFd >= 0) {
    std::remove(FInfoName.c_str());
    ::close(FLockFd);
    FLockFd = -1;
  }
  FInfoProject.clear();
}

bool TAutoSave::Adopt(const TRecoveryFile& File) {
  Wait();
  if (File.FileName != FFileName && std::rename(File.FileName.c_str(), FFileName.c_str()) != 0) return false;
  if (File.InfoName != FInfoName) std::remove(File.InfoName.c_str());
  FInfoProject.clear();
  return WriteInfo(File.ProjectName);
}

}  // namespace movara
