// Texts and settings of the DV windows.
#include <gtest/gtest.h>

#include "base/AppPaths.h"
#include "base/MyIniFile.h"
#include "dv/DvSettings.h"
#include "support/TestSupport.h"

namespace movara {
namespace {

TEST(DvSettings, SizesFreeSpaceAndFileNamesReadAsTheWindowShowsThem) {
  const std::pair<int64_t, const char*> sizes[] = {
      {0, "000.0MB"},          {1536, "001.5MB"},          {1023 * 1024 + 1023, "1.023GB"},
      {999 * 1024 + 950, "999.9MB"}, {999 * 1024 + 1000, "999.0MB"}, {2097152, "2.048GB"}, {9999LL * 1024, "9.999GB"},
      {12345LL * 1024, "12.34GB"},    {123456LL * 1024, "123.4GB"}, {1234567LL * 1024, "1.234TB"}};
  for (const auto& [kb, text] : sizes) EXPECT_EQ(FormatCaptureSize(kb), text) << kb;
  EXPECT_EQ(FormatCaptureSize(-5), "000.0MB");

  EXPECT_EQ(FormatFreeSpace(0), "0.0 MB");
  EXPECT_EQ(FormatFreeSpace(1020 * 7 + 510), "7.5 MB");
  EXPECT_EQ(FormatFreeSpace(1048576), "1028.0 MB");

  EXPECT_EQ(CompleteCaptureFileName("film", "/video"), "/video/film.AVI");
  EXPECT_EQ(CompleteCaptureFileName("", "/video/"), "/video/capture.avi");
  EXPECT_EQ(CompleteCaptureFileName("/a/b/../take.avi", "/video"), "/a/take.avi");
  EXPECT_EQ(CompleteCaptureFileName("/a/", "/video"), "/a/capture.avi");

  test::TTempDir dir;
  EXPECT_GT(CaptureRoomKB(dir.File("new.avi")), 0);
  test::WriteBytes(dir.File("old.avi"), std::vector<uint8_t>(3 * 1024 * 1024));
  const int64_t withOld = CaptureRoomKB(dir.File("old.avi")), without = CaptureRoomKB(dir.File("new.avi"));
  EXPECT_NEAR(static_cast<double>(withOld - without), 3072.0, 2048.0);
  EXPECT_EQ(CaptureRoomKB("/no/such/folder/x.avi"), -1);
}

TEST(DvSettings, SectionsKeepTheirKeys) {
  test::TTempDir dir;
  const std::string ini = dir.File("Movara.Ini");
  TDvCaptureSettings c;
  c.Read(ini);
  EXPECT_EQ(c.FileName, UserFolder() + "capture.avi");
  EXPECT_FALSE(c.UseTimeLimit);
  EXPECT_EQ(c.TimeLimitValue, 1332000);
  EXPECT_TRUE(c.AutoPauseCamera);
  c = {"/v/a.avi", true, 60000, false};
  c.Write(ini);
  TDvRecordSettings r;
  r.FileListDefaultDir = "/v";
  r.CameraControl = true;
  r.Files = {"/v/1.avi", "/v/2 b.avi", "/v/3.avi"};
  r.Write(ini);
  r.Files.resize(1);
  r.Write(ini);  // a shorter list leaves no older keys behind
  TMyIniFile f(ini);
  EXPECT_EQ(f.ReadSection("DvCapture"),
            (std::vector<std::string>{"DvCaptureFileName", "UseTimeLimit", "TimeLimitValue", "AutoPauseCamera"}));
  EXPECT_EQ(f.ReadSection("DvRecord"),
            (std::vector<std::string>{"FileListDefaultDir", "CameraControl", "FileListCount", "FileListName00"}));
  TDvCaptureSettings c2;
  c2.Read(ini);
  EXPECT_EQ(c2.FileName, "/v/a.avi");
  EXPECT_TRUE(c2.UseTimeLimit);
  EXPECT_EQ(c2.TimeLimitValue, 60000);
  EXPECT_FALSE(c2.AutoPauseCamera);
  TDvRecordSettings r2;
  r2.Read(ini);
  EXPECT_EQ(r2.Files, std::vector<std::string>{"/v/1.avi"});
  EXPECT_TRUE(r2.CameraControl);
  EXPECT_EQ(r2.FileListDefaultDir, "/v");
}

}  // namespace
}  // namespace movara
