#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/AppPaths.h"
#include "base/MyIniFile.h"
#include "base/Trace.h"
#include "persist/Config.h"
#include "support/TestSupport.h"

using namespace movara;
using movara::test::TTempDir;

namespace {

// Collects trace lines while it lives.
using movara::test::TTraceRecorder;

// A record whose every field differs from its default, so that a read that forgets to
// set a field shows.
TGeneralSettings Scrambled() {
  TGeneralSettings s;
  for (TWindowLayout* l : {&s.MainApp, &s.TimeLine, &s.Resources, &s.Sequences})
    *l = TWindowLayout{-1, -1, -1, -1, -1, false};
  s.TimeLineSettings = TTimeLineSettings{-1, -1, -1, -1, "garbage", false};
  s.ResourceList = TResourceListSettings{-1, "garbage"};
  s.RecentFiles.fill("garbage");
  s.FailedRunCount = -1;
  return s;
}

TGeneralSettings Custom() {
  TGeneralSettings s;
  s.MainApp = TWindowLayout{10, 20, 1024, 700, 0, true};
  s.TimeLine = TWindowLayout{1, 2, 600, 400, 1, false};
  s.Resources = TWindowLayout{700, 3, 240, 430, 0, true};
  s.Sequences = TWindowLayout{300, 250, 260, 140, 2, false};
  s.TimeLineSettings = TTimeLineSettings{3, 9, 1234, 30, "/home/ala/Filmy ąę", false};
  s.ResourceList = TResourceListSettings{1, "/home/ala/Zasoby"};
  s.RecentFiles = {"/a/one.mvf", "/a/dwa ż.mvf", "", "/a/four.mvf", "", "/a/six.mvf"};
  return s;
}

void ExpectLayout(const TWindowLayout& l, int left, int top, int width, int height, int state,
                  bool visible, const char* which) {
  SCOPED_TRACE(which);
  EXPECT_EQ(l.Left, left);
  EXPECT_EQ(l.Top, top);
  EXPECT_EQ(l.Width, width);
  EXPECT_EQ(l.Height, height);
  EXPECT_EQ(l.WindowState, state);
  EXPECT_EQ(l.Visible, visible);
}

void ExpectDefaults(const TGeneralSettings& s) {
  ExpectLayout(s.MainApp, 0, 0, 800, 600, 2, true, "Main App");
  ExpectLayout(s.TimeLine, 0, 0, 558, 363, 0, true, "Time Line");
  ExpectLayout(s.Resources, 559, 0, 235, 420, 0, true, "Resources");
  ExpectLayout(s.Sequences, 322, 291, 235, 130, 0, true, "Sequences");
  EXPECT_EQ(s.TimeLineSettings.IconSize, 2);
  EXPECT_EQ(s.TimeLineSettings.Zoom, 5);
  EXPECT_EQ(s.TimeLineSettings.FirstFrame, 0);
  EXPECT_EQ(s.TimeLineSettings.TimeBase, 25);
  EXPECT_EQ(s.TimeLineSettings.InitialDirectory, DataFolder());
  EXPECT_TRUE(s.TimeLineSettings.SnapItems);
  EXPECT_EQ(s.ResourceList.IconSize, 2);
  EXPECT_EQ(s.ResourceList.InitialDirectory, DataFolder());
  for (const std::string& f : s.RecentFiles) EXPECT_EQ(f, "");
}

int FileCounter(const std::string& file) {
  return TMyIniFile(file).ReadInteger("Main App", "Failed Run Count", -99);
}

}  // namespace

TEST(Config, FileNameIsInTheUserFolder) {
  TTempDir dir;
  EXPECT_EQ(ConfigFileName(), dir.Path() + "home/Movara.Ini");
}

TEST(Config, NoFileReadsEveryDefault) {
  TTempDir dir;
  TGeneralSettings s = Scrambled();
  ASSERT_TRUE(ReadConfig(dir.File("Movara.Ini"), s));
  ExpectDefaults(s);
  EXPECT_EQ(s.FailedRunCount, 0);
  // this start is counted in the file
  EXPECT_EQ(FileCounter(dir.File("Movara.Ini")), 1);
}

TEST(Config, WrittenSettingsReadBack) {
  TTempDir dir;
  std::string file = dir.File("Movara.Ini");
  TGeneralSettings written = Custom();
  ASSERT_TRUE(WriteConfig(file, written));

  TGeneralSettings s = Scrambled();
  ASSERT_TRUE(ReadConfig(file, s));
  ExpectLayout(s.MainApp, 10, 20, 1024, 700, 0, true, "Main App");
  ExpectLayout(s.TimeLine, 1, 2, 600, 400, 1, false, "Time Line");
  ExpectLayout(s.Resources, 700, 3, 240, 430, 0, true, "Resources");
  ExpectLayout(s.Sequences, 300, 250, 260, 140, 2, false, "Sequences");
  EXPECT_EQ(s.TimeLineSettings.IconSize, 3);
  EXPECT_EQ(s.TimeLineSettings.Zoom, 9);
  EXPECT_EQ(s.TimeLineSettings.TimeBase, 30);
  EXPECT_EQ(s.TimeLineSettings.InitialDirectory, "/home/ala/Filmy ąę");
  EXPECT_FALSE(s.TimeLineSettings.SnapItems);
  EXPECT_EQ(s.ResourceList.IconSize, 1);
  EXPECT_EQ(s.ResourceList.InitialDirectory, "/home/ala/Zasoby");
  EXPECT_EQ(s.RecentFiles, written.RecentFiles);

  // "First Frame" is written but the time line always opens at frame 0
  EXPECT_EQ(TMyIniFile(file).ReadInteger("Time Line", "First Frame", 0), 1234);
  EXPECT_EQ(s.TimeLineSettings.FirstFrame, 0);
}

TEST(Config, EveryZoomStepRoundTrips) {
  TTempDir dir;
  std::string file = dir.File("Movara.Ini");
  for (int zoom = 0; zoom < 12; ++zoom) {
    TGeneralSettings w;
    w.TimeLineSettings.Zoom = zoom;
    ASSERT_TRUE(WriteConfig(file, w));
    TGeneralSettings r = Scrambled();
    ASSERT_TRUE(ReadConfig(file, r));
    EXPECT_EQ(r.TimeLineSettings.Zoom, zoom);
  }
}

TEST(Config, KeysAreWrittenInTheirOrder) {
  TTempDir dir;
  std::string file = dir.File("Movara.Ini");
  ASSERT_TRUE(WriteConfig(file, Custom()));
  TMyIniFile ini(file);
  EXPECT_EQ(ini.ReadSections(),
            (std::vector<std::string>{"Main App", "Time Line", "Resources", "Sequences"}));
  EXPECT_EQ(ini.ReadSection("Main App"),
            (std::vector<std::string>{"Left", "Top", "Width", "Height", "Window State", "Visible",
                                      "Failed Run Count", "Recent File 0", "Recent File 1",
                                      "Recent File 2", "Recent File 3", "Recent File 4",
                                      "Recent File 5"}));
  EXPECT_EQ(ini.ReadSection("Time Line"),
            (std::vector<std::string>{"Left", "Top", "Width", "Height", "Window State", "Visible",
                                      "First Frame", "Icon Size", "Zoom", "Time Base",
                                      "Initial Directory", "Snap Items"}));
  EXPECT_EQ(ini.ReadSection("Resources"),
            (std::vector<std::string>{"Left", "Top", "Width", "Height", "Window State", "Visible",
                                      "Icon Size", "Initial Directory"}));
  EXPECT_EQ(ini.ReadSection("Sequences"),
            (std::vector<std::string>{"Left", "Top", "Width", "Height", "Window State",
                                      "Visible"}));
  EXPECT_EQ(ini.ReadString("Main App", "Visible", ""), "1");
  EXPECT_EQ(ini.ReadString("Time Line", "Snap Items", ""), "0");
}

TEST(Config, HandEditedFileMixesValuesAndDefaults) {
  TTempDir dir;
  std::string file = dir.File("Movara.Ini");
  movara::test::WriteBytes(file, [] {
    std::string t =
        "; edited by hand\r\n[TIME LINE]\r\nzoom = 7\r\nVisible=0\r\n"
        "[main app]\r\nrecent file 2=/x/Łąka.mvf\r\nWidth=abc\r\n";
    return std::vector<uint8_t>(t.begin(), t.end());
  }());
  TGeneralSettings s = Scrambled();
  ASSERT_TRUE(ReadConfig(file, s));
  EXPECT_EQ(s.TimeLineSettings.Zoom, 7);
  EXPECT_FALSE(s.TimeLine.Visible);
  EXPECT_EQ(s.TimeLine.Width, 558);
  EXPECT_EQ(s.MainApp.Width, 800);  // not a number: the default
  EXPECT_EQ(s.RecentFiles[2], "/x/Łąka.mvf");
  EXPECT_EQ(s.RecentFiles[1], "");
  EXPECT_EQ(s.TimeLineSettings.TimeBase, 25);
}

TEST(Config, UnwritableFileFailsQuietly) {
  TTempDir dir;
  TGeneralSettings s = Custom();
  EXPECT_FALSE(WriteConfig(dir.Path(), s));  // a folder
  EXPECT_FALSE(WriteConfig(dir.File("missing/Movara.Ini"), s));
  EXPECT_FALSE(std::filesystem::exists(dir.File("missing")));
  // reading such a file cannot count the start and stops there
  TGeneralSettings r = Scrambled();
  EXPECT_FALSE(ReadConfig(dir.File("missing/Movara.Ini"), r));
  EXPECT_EQ(r.FailedRunCount, 0);
  // a line break cannot go into the file: that one name is left out
  s.RecentFiles[0] = "/a/two\nlines.mvf";
  ASSERT_TRUE(WriteConfig(dir.File("Movara.Ini"), s));
  ASSERT_TRUE(ReadConfig(dir.File("Movara.Ini"), r));
  EXPECT_EQ(r.RecentFiles[0], "");
  EXPECT_EQ(r.RecentFiles[1], "/a/dwa ż.mvf");
}

TEST(Config, CleanCloseDoesNotCount) {
  TTempDir dir;
  std::string file = dir.File("Movara.Ini");
  TGeneralSettings s;
  ASSERT_TRUE(ReadConfig(file, s));  // crashes
  ASSERT_TRUE(ReadConfig(file, s));  // closes cleanly
  EXPECT_EQ(s.FailedRunCount, 1);
  EXPECT_EQ(FileCounter(file), 2);
  ASSERT_TRUE(WriteConfig(file, s));
  EXPECT_EQ(FileCounter(file), 1);
  ASSERT_TRUE(ReadConfig(file, s));
  EXPECT_EQ(s.FailedRunCount, 1);
  EXPECT_EQ(FileCounter(file), 2);
}

TEST(Config, ThreeFailedStartsResetOnceAndTheCleanCloseKeepsNewSettings) {
  TTempDir dir;
  std::string file = dir.File("Movara.Ini");
  TTraceRecorder trace;
  ASSERT_TRUE(WriteConfig(file, Custom()));
  TMyIniFile(file).WriteString("DvCapture", "Folder", "/video");  // another window's section

  TGeneralSettings s;
  for (int start = 0; start < 3; ++start) {  // three starts that never close
    s = Scrambled();
    ASSERT_TRUE(ReadConfig(file, s));
    EXPECT_EQ(s.FailedRunCount, start);
    EXPECT_EQ(s.TimeLineSettings.Zoom, 9);
    EXPECT_EQ(FileCounter(file), start + 1);
  }
  EXPECT_EQ(trace.Count("[Config.ReadConfig]"), 0);

  // the fourth start resets every setting, other windows' sections too
  s = Scrambled();
  ASSERT_TRUE(ReadConfig(file, s));
  const std::string deleted = "[Config.ReadConfig] Configuration File deleted (" + file + ")";
  ASSERT_EQ(trace.lines, std::vector<std::string>{deleted});
  ExpectDefaults(s);
  EXPECT_EQ(s.FailedRunCount, 0);
  EXPECT_EQ(FileCounter(file), 1);  // this run counts should it fail too
  EXPECT_FALSE(TMyIniFile(file).SectionExists("DvCapture"));

  // it closes cleanly with settings of its own
  s.TimeLineSettings.Zoom = 8;
  s.RecentFiles[0] = "/new.mvf";
  ASSERT_TRUE(WriteConfig(file, s));
  EXPECT_EQ(FileCounter(file), 0);

  // the next start does not reset again and sees them
  TGeneralSettings next = Scrambled();
  ASSERT_TRUE(ReadConfig(file, next));
  EXPECT_EQ(trace.lines.size(), 1u);
  EXPECT_EQ(next.FailedRunCount, 0);
  EXPECT_EQ(next.TimeLineSettings.Zoom, 8);
  EXPECT_EQ(next.RecentFiles[0], "/new.mvf");
}

TEST(Config, AfterAResetThreeMoreFailedStartsResetAgain) {
  TTempDir dir;
  std::string file = dir.File("Movara.Ini");
  TTraceRecorder trace;
  TGeneralSettings s;
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(ReadConfig(file, s));
  EXPECT_EQ(trace.Count("[Config.ReadConfig] Configuration File deleted"), 1);
  // the start that reset fails, then two more
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(ReadConfig(file, s));
  EXPECT_EQ(s.FailedRunCount, 2);
  EXPECT_EQ(trace.Count("[Config.ReadConfig] Configuration File deleted"), 1);
  ASSERT_TRUE(ReadConfig(file, s));
  EXPECT_EQ(trace.Count("[Config.ReadConfig] Configuration File deleted"), 2);
  EXPECT_EQ(s.FailedRunCount, 0);
}

TEST(Config, FailedEmptyingIsTraced) {
  TTempDir dir;
  std::string file = dir.File("Movara.Ini");
  TMyIniFile(file).WriteInteger("Main App", "Failed Run Count", 3);
  // a folder where the rewrite puts its temporary file makes every rewrite fail
  std::filesystem::create_directory(file + ".tmp~");
  TTraceRecorder trace;
  TGeneralSettings s = Scrambled();
  EXPECT_FALSE(ReadConfig(file, s));
  EXPECT_EQ(trace.lines,
            std::vector<std::string>{"[Config.ReadConfig] Failed deleting file " + file});
  EXPECT_EQ(FileCounter(file), 3);
}
