#include <gtest/gtest.h>

#include "base/AppPaths.h"
#include "support/TestSupport.h"

using namespace movara;
using namespace movara::test;

TEST(CmdDemo, MakesMediaAProjectAndAFilmOtherProgramsRead) {
  if (!FileExists(MovaraProgram())) GTEST_SKIP() << "movara not built";
  TTempDir tmp;
  std::string dir = tmp.File("demo");
  TCommandResult r = RunCommand(Quote(MovaraProgram()) + " demo " + Quote(dir));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find("film length: 360 frames, 14.40 s"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("frames a second"), std::string::npos) << r.output;
  ASSERT_TRUE(FileExists(dir + "/demo.mvf"));
  ASSERT_TRUE(FileExists(dir + "/film.avi"));
  if (HaveProgram("ffprobe")) {
    TCommandResult p = RunCommand("ffprobe -v error -count_frames -show_entries "
                                  "stream=codec_name,width,height,nb_read_frames -of csv=p=0 " + Quote(dir + "/film.avi"));
    EXPECT_EQ(p.output.substr(0, p.output.find('\n')), "mjpeg,720,576,360") << p.output;
    EXPECT_NE(p.output.find("pcm_s16le"), std::string::npos) << p.output;
    TCommandResult d = RunCommand("ffmpeg -nostdin -v error -i " + Quote(dir + "/film.avi") + " -f null - 2>&1");
    EXPECT_EQ(d.exitCode, 0);
    EXPECT_EQ(d.output, "");
  }
  for (const char* name : {"paski.bmp", "gradient.jpg", "szachownica.gif"}) {
    std::string file = dir + "/" + name;
    ASSERT_TRUE(FileExists(file)) << name;
    EXPECT_NE(r.output.find(name), std::string::npos) << "the demo says what it made";
    if (HaveProgram("ffprobe")) {
      TCommandResult p = RunCommand("ffprobe -v error -select_streams v:0 -show_entries "
                                    "stream=width,height -of csv=p=0 " + Quote(file));
      EXPECT_EQ(p.output, "720,576\n") << name;
    }
  }
}

// The phone demo: made with the ffmpeg program (a portrait MP4 stored turned, an M4A),
// its MP4 film read by ffprobe; without the ffmpeg program the demo says it skipped it
// and still succeeds.
TEST(CmdDemo, PhoneDemoWithTheFfmpegProgramAndWithout) {
  if (!FileExists(MovaraProgram())) GTEST_SKIP() << "movara not built";
  TTempDir tmp;
  const std::string without = tmp.File("without");
  TCommandResult r = RunCommand("env PATH=" + Quote(tmp.Path()) + " " + Quote(MovaraProgram()) + " demo " +
                                Quote(without));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find("phone demo skipped: the ffmpeg program is not installed"), std::string::npos) << r.output;
  EXPECT_FALSE(FileExists(without + "/phone.mvf"));
  if (!HaveProgram("ffmpeg") || !HaveProgram("ffprobe")) GTEST_SKIP() << "ffmpeg not installed";
  const std::string dir = tmp.File("with");
  r = RunCommand(Quote(MovaraProgram()) + " demo " + Quote(dir));
  ASSERT_EQ(r.exitCode, 0) << r.output;
  ASSERT_TRUE(FileExists(dir + "/phone.mvf")) << r.output;
  TCommandResult info = RunCommand(Quote(MovaraProgram()) + " info " + Quote(dir + "/telefon.mp4"));
  EXPECT_NE(info.output.find("video 1080 x 1920, h264"), std::string::npos) << info.output;
  EXPECT_NE(info.output.find("sound: aac"), std::string::npos) << info.output;
  TCommandResult p = RunCommand("ffprobe -v error -count_frames -show_entries "
                                "stream=codec_type,codec_name,width,height,nb_read_frames -of csv=p=0 " +
                                Quote(dir + "/phone.mp4"));
  EXPECT_NE(p.output.find("h264,video,540,960,100"), std::string::npos) << p.output;
  EXPECT_NE(p.output.find("aac,audio"), std::string::npos) << p.output;
}

TEST(CmdDemo, UnwritableFolderFailsWithOneLine) {
  if (!FileExists(MovaraProgram())) GTEST_SKIP() << "movara not built";
  TTempDir tmp;
  WriteBytes(tmp.File("plainfile"), {1, 2, 3});
  TCommandResult r = RunCommand(Quote(MovaraProgram()) + " demo " + Quote(tmp.File("plainfile/sub")));
  EXPECT_NE(r.exitCode, 0);
  EXPECT_NE(r.output.find("cannot"), std::string::npos) << r.output;
}
