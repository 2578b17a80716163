#include "base/AppPaths.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>

namespace fs = std::filesystem;

namespace movara {
namespace {
std::mutex g_mutex;
std::string g_dataOverride;
}  // namespace

std::string IncludeTrailingSlash(const std::string& path) {
  if (path.empty() || path.back() == '/') return path;
  return path + "/";
}

std::string ExecutableFolder() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return IncludeTrailingSlash(fs::current_path(ec).string());
  return IncludeTrailingSlash(exe.parent_path().string());
}

std::string DataFolder() {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_dataOverride.empty()) return g_dataOverride;
  }
  if (const char* env = std::getenv("MOVARA_DATA"); env && *env) return IncludeTrailingSlash(env);
  std::error_code ec;
  std::string exeDir = ExecutableFolder();
  // build tree: build/data next to build/movara; tests live in build/tests/<dir>/
  for (const char* rel : {"data", "../data", "../../data", "../share/movara"}) {
    fs::path p = fs::path(exeDir) / rel;
    if (fs::is_directory(p, ec)) return IncludeTrailingSlash(fs::weakly_canonical(p, ec).string());
  }
  return exeDir + "data/";
}

void SetDataFolderForTests(const std::string& folder) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_dataOverride = folder.empty() ? std::string() : IncludeTrailingSlash(folder);
}

std::string UserFolder() {
  std::string dir;
  if (const char* home = std::getenv("MOVARA_HOME"); home && *home) {
    dir = home;
  } else if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
    dir = std::string(xdg) + "/movara";
  } else if (const char* h = std::getenv("HOME"); h && *h) {
    dir = std::string(h) + "/.config/movara";
  } else {
    dir = "/tmp/movara";
  }
  std::error_code ec;
  fs::create_directories(dir, ec);
  return IncludeTrailingSlash(dir);
}

std::string ShortPathName(const std::string& path) { return path; }

std::string FullPathName(const std::string& path) {
  if (path.empty()) return path;
  std::error_code ec;
  fs::path p = fs::absolute(path, ec);
  if (ec) return path;
  return p.lexically_normal().string();
}

std::string ExpandFileName(const std::string& path) { return FullPathName(path); }

std::string ExtractFileName(const std::string& path) {
  auto pos = path.find_last_of('/');
  return pos == std::string::npos ? path : path.substr(pos + 1);
}

std::string ExtractFilePath(const std::string& path) {
  auto pos = path.find_last_of('/');
  return pos == std::string::npos ? std::string() : path.substr(0, pos + 1);
}

std::string ExtractFileExt(const std::string& path) {
  std::string name = ExtractFileName(path);
  auto pos = name.find_last_of('.');
  return pos == std::string::npos ? std::string() : name.substr(pos);
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::is_regular_file(path, ec);
}

}  // namespace movara
