#pragma once
// Settings and texts of the DV capture and record windows: the sections "DvCapture"
// and "DvRecord" of the settings file, the completed capture file name and the size
// and free-space texts.
#include <cstdint>
#include <string>
#include <vector>

namespace movara {

struct TDvCaptureSettings {
  std::string FileName;  // "" reads as the user folder's "capture.avi"
  bool UseTimeLimit = false;
  int TimeLimitValue = 1332000;  // ms: 22 minutes 12 seconds
  bool AutoPauseCamera = true;
  void Read(const std::string& iniFile);
  void Write(const std::string& iniFile) const;  // throws EIniFileError
};

struct TDvRecordSettings {
  std::string FileListDefaultDir;
  bool CameraControl = false;
  std::vector<std::string> Files;
  void Read(const std::string& iniFile);
  void Write(const std::string& iniFile) const;  // throws EIniFileError
};

// A missing name becomes "capture.avi", a missing extension ".AVI", a missing folder
// the given one.
std::string CompleteCaptureFileName(const std::string& name, const std::string& folder);

// The written size for the display, 7 characters: "001.5MB", "2.048GB", "12.34GB",
// "123.4GB", "1.234TB".
std::string FormatCaptureSize(int64_t kb);
// Free space for the setup dialog: "%d.%d MB" of KB / 1020 and the tenths.
std::string FormatFreeSpace(int64_t kb);
// Free KB on the drive of a file's folder, plus the KB of an existing file of that name
// (it is replaced); -1 when the drive's free space cannot be read.
int64_t CaptureRoomKB(const std::string& fileName);

}  // namespace movara
