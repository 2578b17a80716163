#pragma once
// The general settings of the program: the layout of the four standing windows, the
// time line and resource list settings, the recent project files and the failed-start
// guard. They live in the settings file "Movara.Ini"; the main window reads them at
// start-up and writes them when it closes.
#include <array>
#include <string>

namespace movara {

// One standing window: its normal position, its size, its state and whether it shows.
struct TWindowLayout {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
  int WindowState = 0;  // 0 normal, 1 minimised, 2 maximised
  bool Visible = true;
};

struct TTimeLineSettings {
  int IconSize = 2;  // TIconSize ordinal, isNormal
  int Zoom = 5;      // TZoom ordinal, zmOneSecond
  int FirstFrame = 0;
  int TimeBase = 25;  // frames per second of the scale
  std::string InitialDirectory;
  bool SnapItems = true;
};

struct TResourceListSettings {
  int IconSize = 2;  // TIconSize ordinal, isNormal
  std::string InitialDirectory;
};

constexpr int kRecentFileCount = 6;
// Starts not ended by a clean close after which the next start resets every setting.
constexpr int kFailedRunLimit = 3;

struct TGeneralSettings {
  TWindowLayout MainApp;
  TWindowLayout TimeLine;
  TWindowLayout Resources;
  TWindowLayout Sequences;
  TTimeLineSettings TimeLineSettings;
  TResourceListSettings ResourceList;
  std::array<std::string, kRecentFileCount> RecentFiles;  // empty = no entry
  // The failed-start counter a clean close writes back (ReadConfig sets it).
  int FailedRunCount = 0;
};

// The settings file of this user: UserFolder() + "Movara.Ini".
std::string ConfigFileName();

// Reads every general setting, a missing key giving its default. Counts this start in
// the file first: after kFailedRunLimit starts without a clean close the file is emptied
// and every setting reads its default. False when an error interrupted the reading (the
// settings read so far stay).
bool ReadConfig(const std::string& fileName, TGeneralSettings& settings);
// Writes every general setting, with the failed-start counter kept by ReadConfig. False
// when the file cannot be written; nothing is shown.
bool WriteConfig(const std::string& fileName, const TGeneralSettings& settings);

}  // namespace movara
