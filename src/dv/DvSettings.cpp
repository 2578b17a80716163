#include "dv/DvSettings.h"

#include <sys/statvfs.h>

#include <cstdio>
#include <filesystem>

#include "base/AppPaths.h"
#include "base/MyIniFile.h"

namespace movara {

namespace {
constexpr const char* kCapture = "DvCapture";
constexpr const char* kRecord = "DvRecord";
}  // namespace

void TDvCaptureSettings::Read(const std::string& iniFile) {
  TMyIniFile ini(iniFile);
  FileName = ini.ReadString(kCapture, "DvCaptureFileName", UserFolder() + "capture.avi");
  UseTimeLimit = ini.ReadBool(kCapture, "UseTimeLimit", false);
  TimeLimitValue = ini.ReadInteger(kCapture, "TimeLimitValue", 1332000);
  if (TimeLimitValue < 0) TimeLimitValue = 1332000;
  AutoPauseCamera = ini.ReadBool(kCapture, "AutoPauseCamera", true);
}

void TDvCaptureSettings::Write(const std::string& iniFile) const {
  TMyIniFile ini(iniFile);
  ini.WriteString(kCapture, "DvCaptureFileName", FileName);
  ini.WriteBool(kCapture, "UseTimeLimit", UseTimeLimit);
  ini.WriteInteger(kCapture, "TimeLimitValue", TimeLimitValue);
  ini.WriteBool(kCapture, "AutoPauseCamera", AutoPauseCamera);
}

void TDvRecordSettings::Read(const std::string& iniFile) {
  TMyIniFile ini(iniFile);
  FileListDefaultDir = ini.ReadString(kRecord, "FileListDefaultDir", "");
  CameraControl = ini.ReadBool(kRecord, "CameraControl", false);
  Files.clear();
  const int n = ini.ReadInteger(kRecord, "FileListCount", 0);
  for (int i = 0; i < n && i < 10000; ++i) {
    char key[32];
    std::snprintf(key, sizeof key, "FileListName%.2d", i);
    const std::string f = ini.ReadString(kRecord, key, "");
    if (!f.empty()) Files.push_back(f);
  }
}

void TDvRecordSettings::Write(const std::string& iniFile) const {
  TMyIniFile ini(iniFile);
  // Keys of a longer list written before go with the old section.
  ini.EraseSection(kRecord);
  ini.WriteString(kRecord, "FileListDefaultDir", FileListDefaultDir);
  ini.WriteBool(kRecord, "CameraControl", CameraControl);
  ini.WriteInteger(kRecord, "FileListCount", static_cast<int>(Files.size()));
  for (size_t i = 0; i < Files.size(); ++i) {
    char key[32];
    std::snprintf(key, sizeof key, "FileListName%.2d", static_cast<int>(i));
    ini.WriteString(kRecord, key, Files[i]);
  }
}

std::string CompleteCaptureFileName(const std::string& name, const std::string& folder) {
  std::string file = name;
  std::string path = ExtractFilePath(file);
  std::string base = ExtractFileName(file);
  if (base.empty()) base = "capture.avi";
  if (ExtractFileExt(base).empty()) base += ".AVI";
  if (path.empty()) path = IncludeTrailingSlash(folder);
  return FullPathName(path + base);
}

std::string FormatCaptureSize(int64_t kb) {
  if (kb < 0) kb = 0;
  const int64_t mb = kb / 1024, r = kb % 1024;
  char text[32];
  if (mb < 1000)
    std::snprintf(text, sizeof text, "%.3d.%.1dMB", static_cast<int>(mb), static_cast<int>(r % 1000 / 100));
  else if (mb <= 9999)
    std::snprintf(text, sizeof text, "%.1d.%.3dGB", static_cast<int>(mb / 1000), static_cast<int>(mb % 1000));
  else if (mb <= 99999)
    std::snprintf(text, sizeof text, "%.2d.%.2dGB", static_cast<int>(mb / 1000), static_cast<int>(mb % 1000 / 10));
  else if (mb <= 999999)
    std::snprintf(text, sizeof text, "%.3d.%.1dGB", static_cast<int>(mb / 1000), static_cast<int>(mb % 1000 / 100));
  else
    std::snprintf(text, sizeof text, "%.1lld.%.3dTB", static_cast<long long>(mb / 1000000),
                  static_cast<int>(mb % 1000000 / 1000));
  std::string s = text;
  if (s.size() < 7) s.insert(0, 7 - s.size(), ' ');
  return s;
}

std::string FormatFreeSpace(int64_t kb) {
  // 1020 and 102 as the window has always shown them.
  const int64_t whole = kb / 1020;
  const int64_t tenths = kb / 102 - whole * 10;
  char text[48];
  std::snprintf(text, sizeof text, "%lld.%lld MB", static_cast<long long>(whole), static_cast<long long>(tenths));
  return text;
}

int64_t CaptureRoomKB(const std::string& fileName) {
  std::string folder = ExtractFilePath(fileName);
  if (folder.empty()) folder = ".";
  struct statvfs s;
  if (statvfs(folder.c_str(), &s) != 0) return -1;
  int64_t kb = static_cast<int64_t>(s.f_bavail) * static_cast<int64_t>(s.f_frsize) / 1024;
  std::error_code e;
  if (std::filesystem::is_regular_file(fileName, e)) kb += static_cast<int64_t>(std::filesystem::file_size(fileName, e) / 1024);
  return kb;
}

}  // namespace movara
