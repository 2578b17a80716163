#include "persist/Config.h"

#include <exception>

#include "base/AppPaths.h"
#include "base/Format.h"
#include "base/MyIniFile.h"
#include "base/Trace.h"

namespace movara {
namespace {

const char* const kMainApp = "Main App";
const char* const kTimeLine = "Time Line";
const char* const kResources = "Resources";
const char* const kSequences = "Sequences";
const char* const kFailedRunCount = "Failed Run Count";

void ReadLayout(const TMyIniFile& ini, const char* section, const TWindowLayout& defaults,
                TWindowLayout& layout) {
  layout.Left = ini.ReadInteger(section, "Left", defaults.Left);
  layout.Top = ini.ReadInteger(section, "Top", defaults.Top);
  layout.Width = ini.ReadInteger(section, "Width", defaults.Width);
  layout.Height = ini.ReadInteger(section, "Height", defaults.Height);
  layout.WindowState = ini.ReadInteger(section, "Window State", defaults.WindowState);
  layout.Visible = ini.ReadBool(section, "Visible", defaults.Visible);
}

void WriteLayout(TMyIniFile& ini, const char* section, const TWindowLayout& layout) {
  ini.WriteInteger(section, "Left", layout.Left);
  ini.WriteInteger(section, "Top", layout.Top);
  ini.WriteInteger(section, "Width", layout.Width);
  ini.WriteInteger(section, "Height", layout.Height);
  ini.WriteInteger(section, "Window State", layout.WindowState);
  ini.WriteBool(section, "Visible", layout.Visible);
}

std::string RecentFileKey(int index) { return Format("Recent File %d", index); }

// A name with a line break cannot be stored in the file; it is replaced rather than
// failing every later close.
std::string Storable(const std::string& text, const std::string& replacement = std::string()) {
  return text.find_first_of("\r\n") == std::string::npos ? text : replacement;
}

// Counts this start in the file. After kFailedRunLimit starts without a clean close the
// file is emptied. The file then carries 1, so that this start counts should it fail
// too, while the settings keep 0 for the clean close to restore: a reset happens once,
// not again at every later start.
void CountStart(TMyIniFile& ini, const std::string& fileName, TGeneralSettings& settings) {
  int count = ini.ReadInteger(kMainApp, kFailedRunCount, 0);
  settings.FailedRunCount = count;
  if (count < kFailedRunLimit) {
    ini.WriteInteger(kMainApp, kFailedRunCount, count + 1);
    return;
  }
  try {
    ini.Clear();
    TraceF("[Config.ReadConfig] Configuration File deleted (%s)", fileName.c_str());
  } catch (const EIniFileError&) {
    TraceF("[Config.ReadConfig] Failed deleting file %s", fileName.c_str());
  }
  settings.FailedRunCount = 0;
  ini.WriteInteger(kMainApp, kFailedRunCount, 1);
}

}  // namespace

std::string ConfigFileName() { return UserFolder() + "Movara.Ini"; }

bool ReadConfig(const std::string& fileName, TGeneralSettings& settings) {
  try {
    TMyIniFile ini(fileName);
    CountStart(ini, fileName, settings);

    ReadLayout(ini, kMainApp, TWindowLayout{0, 0, 800, 600, 2, true}, settings.MainApp);
    ReadLayout(ini, kTimeLine, TWindowLayout{0, 0, 558, 363, 0, true}, settings.TimeLine);
    // the time line always opens at the start of the film
    TTimeLineSettings& timeLine = settings.TimeLineSettings;
    timeLine.FirstFrame = 0;
    timeLine.IconSize = ini.ReadInteger(kTimeLine, "Icon Size", 2);
    timeLine.Zoom = ini.ReadInteger(kTimeLine, "Zoom", 5);
    timeLine.TimeBase = ini.ReadInteger(kTimeLine, "Time Base", 25);
    timeLine.InitialDirectory = ini.ReadString(kTimeLine, "Initial Directory", DataFolder());
    timeLine.SnapItems = ini.ReadBool(kTimeLine, "Snap Items", true);

    ReadLayout(ini, kResources, TWindowLayout{559, 0, 235, 420, 0, true}, settings.Resources);
    settings.ResourceList.IconSize = ini.ReadInteger(kResources, "Icon Size", 2);
    settings.ResourceList.InitialDirectory =
        ini.ReadString(kResources, "Initial Directory", DataFolder());

    ReadLayout(ini, kSequences, TWindowLayout{322, 291, 235, 130, 0, true}, settings.Sequences);

    for (int i = 0; i < kRecentFileCount; ++i)
      settings.RecentFiles[i] = ini.ReadString(kMainApp, RecentFileKey(i), "");
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

bool WriteConfig(const std::string& fileName, const TGeneralSettings& settings) {
  try {
    // the settings land at once: another editor closing at the same time writes its
    // own whole settings before or after these, never between them
    TMyIniFile ini(fileName);
    ini.BeginUpdate();
    WriteLayout(ini, kMainApp, settings.MainApp);
    // the value read at start-up: a run that closes cleanly does not count
    ini.WriteInteger(kMainApp, kFailedRunCount, settings.FailedRunCount);

    WriteLayout(ini, kTimeLine, settings.TimeLine);
    const TTimeLineSettings& timeLine = settings.TimeLineSettings;
    ini.WriteInteger(kTimeLine, "First Frame", timeLine.FirstFrame);
    ini.WriteInteger(kTimeLine, "Icon Size", timeLine.IconSize);
    ini.WriteInteger(kTimeLine, "Zoom", timeLine.Zoom);
    ini.WriteInteger(kTimeLine, "Time Base", timeLine.TimeBase);
    ini.WriteString(kTimeLine, "Initial Directory",
                    Storable(timeLine.InitialDirectory, DataFolder()));
    ini.WriteBool(kTimeLine, "Snap Items", timeLine.SnapItems);

    WriteLayout(ini, kResources, settings.Resources);
    ini.WriteInteger(kResources, "Icon Size", settings.ResourceList.IconSize);
    ini.WriteString(kResources, "Initial Directory",
                    Storable(settings.ResourceList.InitialDirectory, DataFolder()));

    WriteLayout(ini, kSequences, settings.Sequences);

    for (int i = 0; i < kRecentFileCount; ++i)
      ini.WriteString(kMainApp, RecentFileKey(i), Storable(settings.RecentFiles[i]));
    ini.EndUpdate();
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace movara
