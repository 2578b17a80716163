#include <gtest/gtest.h>

#include "base/AppPaths.h"
#include "support/TestSupport.h"

using namespace movara;
using namespace movara::test;

TEST(CmdDemo, MakesPicturesOtherProgramsRead) {
  if (!FileExists(MovaraProgram())) GTEST_SKIP() << "movara not built";
  TTempDir tmp;
  std::string dir = tmp.File("demo");
  TCommandResult r = RunCommand(Quote(MovaraProgram()) + " demo " + Quote(dir));
  ASSERT_EQ(r.exitCode, 0) << r.output;
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

TEST(CmdDemo, UnwritableFolderFailsWithOneLine) {
  if (!FileExists(MovaraProgram())) GTEST_SKIP() << "movara not built";
  TTempDir tmp;
  WriteBytes(tmp.File("plainfile"), {1, 2, 3});
  TCommandResult r = RunCommand(Quote(MovaraProgram()) + " demo " + Quote(tmp.File("plainfile/sub")));
  EXPECT_NE(r.exitCode, 0);
  EXPECT_NE(r.output.find("cannot"), std::string::npos) << r.output;
}
