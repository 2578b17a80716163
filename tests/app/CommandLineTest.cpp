// The movara program's arguments: what "--help" promises, which near-misses of the option
// syntax are taken and which are refused (one line on stderr, nothing written), pipes given
// for files, and pictures written in the format their names ask for.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "base/AppPaths.h"
#include "base/Dib.h"
#include "media/ResourceLists.h"
#include "persist/ProjectFile.h"
#include "project/ClipBox.h"
#include "project/Layers.h"
#include "support/TestSupport.h"

namespace movara {
namespace {

using test::Quote;
using test::RunCommand;

struct TRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

class CommandLine : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!FileExists(test::MovaraProgram())) GTEST_SKIP() << "movara program not built";
  }

  // Runs "movara ARGS" by bash in the test's folder, stopped after 20 s (exit code 124).
  TRun Movara(const std::string& args) {
    const std::string out = tmp_.File("stdout.txt"), err = tmp_.File("stderr.txt");
    const std::string cmd = "cd " + Quote(tmp_.Path()) + " && timeout 20 bash -c " +
                            Quote(Quote(test::MovaraProgram()) + " " + args) + " >" + Quote(out) + " 2>" + Quote(err);
    TRun r;
    r.exitCode = RunCommand("(" + cmd + ")").exitCode;
    const auto o = test::ReadBytes(out), e = test::ReadBytes(err);
    r.out.assign(o.begin(), o.end());
    r.err.assign(e.begin(), e.end());
    return r;
  }

  // A still (left half red, right half blue) for 50 frames on row A: 2000 ms.
  void WriteProject() {
    CreateResourceLists();
    TDIB d(64, 48, 24);
    for (int y = 0; y < 48; ++y)
      for (int x = 0; x < 64; ++x) d.SetPixel(x, y, x < 32 ? RGBColor(255, 0, 0) : RGBColor(0, 0, 255));
    ASSERT_TRUE(d.SaveToFile(tmp_.File("a.bmp")));
    d.Fill(RGBColor(0, 255, 0));
    ASSERT_TRUE(d.SaveToFile(tmp_.File("b.bmp")));
    TClipBox clips;
    TLayerBox box;
    TClipGraphic* p = clips.AddFile(tmp_.File("a.bmp"));
    ASSERT_TRUE(p);
    box.RowByNumber(lnFirstClipTop)->InsertLayerItem(0, false, true, false, box.DefaultFx3dID(), p, 50);
    TClipBoxResources resources(clips);
    TProjectStream out(tmp_.File("p.mvf"), nullptr, &resources, &box, false);
    ASSERT_TRUE(out.WriteProject(tmp_.File("p.mvf")));
  }

  test::TTempDir tmp_;
};

int Lines(const std::string& text) {
  int n = 0;
  for (char c : text) n += c == '\n';
  return n;
}

TEST_F(CommandLine, HelpListsEveryOptionAndSubcommandOfTheReadme) {
  std::ifstream in(std::string(MOVARA_SOURCE_DIR) + "/README.md");
  ASSERT_TRUE(in) << "README.md";
  std::stringstream all;
  all << in.rdbuf();
  const std::string readme = all.str();
  const size_t from = readme.find("## The command line");
  ASSERT_NE(from, std::string::npos);
  const std::string section = readme.substr(from, readme.find("\n## ", from + 1) - from);

  const TRun help = Movara("--help");
  ASSERT_EQ(help.exitCode, 0);
  std::set<std::string> options, commands;
  const std::regex option("(^|[\\s\\[])(-o|--[a-z][a-z-]*)"), command("movara ([a-z]+)");
  for (std::sregex_iterator i(section.begin(), section.end(), option), e; i != e; ++i) options.insert((*i)[2]);
  for (std::sregex_iterator i(section.begin(), section.end(), command), e; i != e; ++i) commands.insert((*i)[1]);
  EXPECT_GT(options.size(), 20u);
  EXPECT_EQ(commands.size(), 7u);
  for (const std::string& o : options)
    EXPECT_TRUE(std::regex_search(help.out, std::regex("(^|[\\s\\[])" + o + "[\\s=\\]]"))) << o << " missing";
  for (const std::string& c : commands) {
    EXPECT_NE(help.out.find("  movara " + c), std::string::npos) << c;
    // each subcommand's part of it alone
    const TRun one = Movara(c + " --help");
    EXPECT_EQ(one.exitCode, 0) << c << ": " << one.err;
    const size_t start = one.out.find("  movara " + c), end = one.out.find("\noptions:");
    ASSERT_TRUE(start != std::string::npos && end != std::string::npos) << c << ": " << one.out;
    EXPECT_NE(help.out.find(one.out.substr(start, end - start)), std::string::npos) << c << ": " << one.out;
  }
}

// Every bad argument of every subcommand: one line on stderr naming the fault, the exit
// code, nothing on stdout and nothing written. Pipes must neither hang nor be read twice.
TEST_F(CommandLine, BadArgumentsAreRefusedWithOneLine) {
  ASSERT_NO_FATAL_FAILURE(WriteProject());
  ASSERT_EQ(::mkfifo(tmp_.File("fifo.mvf").c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo(tmp_.File("fifo.txt").c_str(), 0600), 0);
  test::WriteBytes(tmp_.File("empty.txt"), {});
  const std::string junk = "*** Video1 ***\r\nno such command\r\n";
  test::WriteBytes(tmp_.File("junk.txt"), std::vector<uint8_t>(junk.begin(), junk.end()));
  struct {
    const char* Args;
    int Exit;
    const char* Says;
  } cases[] = {
      // files
      {"render missing.mvf -o out.avi", 2, "'missing.mvf': no such file"},
      {"script missing.mvf", 2, "'missing.mvf': no such file"},
      {"frame missing.mvf --at 0 -o out.bmp", 2, "'missing.mvf': no such file"},
      {"info missing.bmp", 2, "'missing.bmp': no such file"},
      {"render . -o out.avi", 2, "is a folder"},
      {"render fifo.mvf -o out.avi", 2, "'fifo.mvf' is not a regular file"},
      {"script fifo.mvf", 2, "'fifo.mvf' is not a regular file"},
      {"frame fifo.mvf --at 0 -o out.bmp", 2, "'fifo.mvf' is not a regular file"},
      {"frame fifo.txt --at 0 -o out.bmp", 2, "'fifo.txt' is not a regular file"},
      {"info fifo.mvf", 2, "'fifo.mvf' is not a regular file"},
      {"script <(cat p.mvf)", 2, "is not a regular file"},
      {"frame <(cat p.mvf) --at 0 -o out.bmp", 2, "is not a regular file"},
      {"fx '$101' 0 fifo.txt b.bmp -o out.bmp", 2, "'fifo.txt' is not a regular file"},
      // frames
      {"frame p.mvf --at 2000 -o out.bmp", 2, "--at 2000 is past the film's end (its pictures last 2000 ms)"},
      {"frame p.mvf --at 99999 -o out.png", 2, "past the film's end"},
      {"frame empty.txt --at 0 -o out.bmp", 1, "no frame to render"},
      {"frame junk.txt --at 0 -o out.bmp", 1, "no frame to render"},
      {"frame p.mvf --at 0 -o out.tif", 2, "cannot tell the picture format of 'out.tif'"},
      {"frame p.mvf --at 0 -o out", 2, "cannot tell the picture format"},
      {"frame p.mvf --at ' 5' -o out.bmp", 2, "bad --at ' 5'"},
      {"frame p.mvf --at +5 -o out.bmp", 2, "bad --at '+5'"},
      {"frame p.mvf --at -5 -o out.bmp", 2, "bad --at '-5'"},
      {"frame p.mvf --at 5ms -o out.bmp", 2, "bad --at '5ms'"},
      {"frame p.mvf --at 0 -o out.bmp --size ' 64x48'", 2, "bad --size ' 64x48'"},
      {"frame p.mvf --at 0 -o out.bmp --size 64x48x2", 2, "bad --size"},
      {"frame --quiet p.mvf --at 0 -o out.bmp", 2, "unknown option '--quiet'"},
      {"frame p.mvf -o out.bmp", 2, "--at MS is needed"},
      {"frame p.mvf --at 0 -o", 2, "-o needs a value"},
      {"frame p.mvf --at -o out.bmp", 2, "--at needs a value"},
      {"frame p.mvf p.mvf --at 0 -o out.bmp", 2, "expected one PROJECT.mvf or SCRIPT"},
      // transitions
      {"fx 202 0 a.bmp b.bmp -o out.bmp", 2, "did you mean $202?"},
      {"fx 99999 0 a.bmp b.bmp -o out.bmp", 2, "unknown effect 99999 (see 'movara effects')"},
      {"fx '$101' 0 a.bmp b.bmp -o out.tif", 2, "cannot tell the picture format"},
      {"fx '$101' -5 a.bmp b.bmp -o out.bmp", 2, "bad STEP '-5'"},
      {"fx '$101' 1001 a.bmp b.bmp -o out.bmp", 2, "bad STEP '1001'"},
      {"fx '$10G' 0 a.bmp b.bmp -o out.bmp", 2, "bad effect id"},
      {"fx '$101' 0 a.bmp b.bmp -o out.bmp --filter=2", 2, "bad --filter '2'"},
      {"fx '$101' 0 a.bmp b.bmp -o out.bmp --texture 500", 2, "bad --texture '500'"},
      {"fx '$101' 0 a.bmp b.bmp -o out.bmp --size 64x48 --size 64x48", 2, "--size is given twice"},
      {"fx '$101' 0 a.bmp -o out.bmp", 2, "expected ID STEP PICTURE_A PICTURE_B"},
      // the other subcommands
      {"script --quiet p.mvf", 2, "unknown option '--quiet'"},
      {"script p.mvf p.mvf", 2, "expected one PROJECT.mvf"},
      {"info", 2, "expected one FILE"},
      {"effects all", 2, "takes no arguments"},
      {"effects --all", 2, "unknown option '--all'"},
      {"demo --fast", 2, "unknown option '--fast'"},
      {"demo a b", 2, "expected at most one DIR"},
      {"frobnicate", 2, "unknown subcommand 'frobnicate'"},
      // render's options
      {"render", 2, "expected one PROJECT.mvf"},
      {"render p.mvf p.mvf", 2, "expected one PROJECT.mvf, not 2"},
      {"render p.mvf --skip-missing=yes", 2, "--skip-missing takes no value"},
      {"render p.mvf --single-thread=1", 2, "--single-thread takes no value"},
      {"render p.mvf --size ' 720x576'", 2, "bad --size ' 720x576'"},
      {"render p.mvf --size '720x576 '", 2, "bad --size"},
      {"render p.mvf --size '720 x 576'", 2, "bad --size"},
      {"render p.mvf --size +720x576", 2, "bad --size"},
      {"render p.mvf --size 722x576", 2, "multiples of 4"},
      {"render p.mvf --size=", 2, "bad --size ''"},
      {"render p.mvf --size", 2, "--size needs a value"},
      {"render p.mvf --size --quiet", 2, "--size needs a value"},
      {"render p.mvf --size 320x240 --size=320x240", 2, "--size is given twice"},
      {"render p.mvf --fps +25", 2, "bad --fps '+25'"},
      {"render p.mvf --fps 25fps", 2, "bad --fps"},
      {"render p.mvf --fps 0x19", 2, "bad --fps"},
      {"render p.mvf --fps ''", 2, "bad --fps ''"},
      {"render p.mvf --quality -1", 2, "bad --quality '-1'"},
      {"render p.mvf --depth 24.0", 2, "bad --depth"},
      {"render p.mvf --rate 44100Hz", 2, "bad --rate"},
      {"render p.mvf --max-size 1000", 2, "at least 20971521 bytes"},
      {"render p.mvf --max-size 20971520", 2, "at least 20971521 bytes"},
      {"render p.mvf --max-size 2G", 2, "bad --max-size"},
      {"render p.mvf --vcodec 'MJPG '", 2, "bad --vcodec"},
      {"render p.mvf --vcodec ''", 2, "bad --vcodec"},
      {"render p.mvf --acodec 0x", 2, "bad --acodec"},
      {"render p.mvf --acodec 0x10000", 2, "bad --acodec"},
      {"render p.mvf --acodec ' 85'", 2, "bad --acodec"},
      {"render p.mvf --kind png", 2, "bad --kind"},
      {"render p.mvf -o ''", 2, "bad -o ''"},
      {"render p.mvf -q", 2, "unknown option '-q'"},
      {"render p.mvf --Quiet", 2, "unknown option '--Quiet'"},
  };
  for (const auto& c : cases) {
    const std::string args = c.Args;
    const TRun r = Movara(args);
    EXPECT_EQ(r.exitCode, c.Exit) << args << "\n" << r.err;
    EXPECT_NE(r.err.find(c.Says), std::string::npos) << args << "\n" << r.err;
    EXPECT_EQ(Lines(r.err), 1) << args << "\n" << r.err;
    EXPECT_EQ(r.out, "") << args;
    for (const char* made : {"out.avi", "out.bmp", "out.png", "out.tif", "out", "p.avi", "--fast"}) {
      EXPECT_FALSE(std::filesystem::exists(tmp_.File(made))) << args << ": " << made;
      std::error_code ec;
      std::filesystem::remove_all(tmp_.File(made), ec);
    }
  }
}

// What --help documents is taken: '=' joins, leading zeros, words and codes in any case; the
// picture written is the format its name asks for.
TEST_F(CommandLine, NearMissesWithAnObviousMeaningAndPictureFormats) {
  REQUIRE_PROGRAM("ffprobe");
  ASSERT_NO_FATAL_FAILURE(WriteProject());
  struct {
    const char* Args;
    const char* File;
    const char* Probe;  // ffprobe's codec, width, height (and rate, frames for films)
  } cases[] = {
      {"frame p.mvf --at 0 -o f.bmp --size 64x48", "f.bmp", "bmp,64,48"},
      {"frame p.mvf --at 1999 -o f.png --size 64x48", "f.png", "png,64,48"},
      {"frame p.mvf --at=0400 -o f.JPG --size=0064X048", "f.JPG", "mjpeg,64,48"},
      {"frame p.mvf --at 0 -o f.gif --size 64x48", "f.gif", "gif,64,48"},
      {"frame --at 0 -o x.jpeg --size 64x48 -- p.mvf", "x.jpeg", "mjpeg,64,48"},
      {"fx 0x101 500 a.bmp b.bmp -o fx.png --size 64x48 --texture=0512 --filter 01", "fx.png", "png,64,48"},
      {"fx '$101' 0 a.bmp b.bmp -o fx.jpg --size=64x48", "fx.jpg", "mjpeg,64,48"},
      {"fx 257 1000 a.bmp b.bmp -o fx.bmp --size 64x48", "fx.bmp", "bmp,64,48"},
      {"render p.mvf --quiet --size=64x48 --fps=010 --kind=AVI --vcodec=mjpg --content Video -o=film.avi", "film.avi",
       "mjpeg,64,48,10/1,20"},
  };
  for (const auto& c : cases) {
    const TRun r = Movara(c.Args);
    EXPECT_EQ(r.exitCode, 0) << c.Args << "\n" << r.err;
    EXPECT_EQ(r.err, "") << c.Args;
    const std::string file = tmp_.File(c.File);
    const bool film = std::string(c.File).find(".avi") != std::string::npos;
    const auto p = RunCommand("ffprobe -v error -select_streams v:0 " + std::string(film ? "-count_frames " : "") +
                              "-show_entries stream=codec_name,width,height" +
                              (film ? ",r_frame_rate,nb_read_frames" : "") + " -of csv=p=0 " + Quote(file));
    EXPECT_EQ(p.output, std::string(c.Probe) + "\n") << c.Args;
  }
  // the frame shows the project's picture, the same in every lossless format
  TDIB bmp;
  ASSERT_TRUE(bmp.LoadFromFile(tmp_.File("f.bmp")));
  EXPECT_LT(GetGValue(bmp.Pixel(8, 24)) + GetBValue(bmp.Pixel(8, 24)), 16) << std::hex << bmp.Pixel(8, 24);
  EXPECT_GT(GetRValue(bmp.Pixel(8, 24)), 240) << std::hex << bmp.Pixel(8, 24);
  EXPECT_GT(GetBValue(bmp.Pixel(56, 24)), 240) << std::hex << bmp.Pixel(56, 24);
  auto rgb = [](const std::string& file) {
    return RunCommand("ffmpeg -nostdin -v error -i " + Quote(file) + " -f rawvideo -pix_fmt rgb24 - | md5sum").output;
  };
  EXPECT_EQ(rgb(tmp_.File("f.png")), rgb(tmp_.File("f.bmp")));
}

// The subcommands start without the windows' libraries, the sound card's and the
// container library (loaded at its first call): a film of a still project is made
// without any of them, and the editor is the program beside movara.
TEST_F(CommandLine, SubcommandsLoadOnlyTheLibrariesTheyCall) {
  ASSERT_NO_FATAL_FAILURE(WriteProject());
  const std::string program = RunCommand("command -v " + Quote(test::MovaraProgram())).output;
  ASSERT_FALSE(program.empty());
  const std::string path = program.substr(0, program.find('\n'));
  EXPECT_TRUE(FileExists(std::filesystem::path(path).parent_path().string() + "/movara-editor")) << path;
  const std::string linked = RunCommand("ldd " + Quote(path)).output;
  ASSERT_NE(linked.find("libavcodec"), std::string::npos) << linked;
  // the dynamic loader names every library it opens
  const auto traced = RunCommand("(cd " + Quote(tmp_.Path()) + " && LD_DEBUG=files " + Quote(path) +
                                 " render p.mvf -o g.avi --quiet >/dev/null)");
  ASSERT_EQ(traced.exitCode, 0) << traced.output.substr(0, 2000);
  ASSERT_NE(traced.output.find("libavcodec"), std::string::npos) << traced.output.substr(0, 2000);
  for (const char* lib : {"libQt6Widgets", "libQt6Multimedia", "libavformat", "libraw1394"}) {
    EXPECT_EQ(linked.find(lib), std::string::npos) << lib << " is linked";
    EXPECT_EQ(traced.output.find(lib), std::string::npos) << lib << " was loaded for a film";
  }
  EXPECT_GT(test::ReadBytes(tmp_.File("g.avi")).size(), 10000u);
}

}  // namespace
}  // namespace movara
