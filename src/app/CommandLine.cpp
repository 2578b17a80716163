#include "app/CommandLine.h"

#include <cstdio>
#include <cstring>
#include <exception>

namespace movara {

void PrintUsage() {
  std::fputs(
      "Movara 2.0 DV - domowy montaż filmów\n"
      "usage:\n"
      "  movara [PROJECT.mvf]                   the editor (windows), open on the project when one is named\n"
      "  movara demo [DIR]                      make demo media and a demo project in DIR\n"
      "                                         (default ./movara-demo), generate DIR/film.avi\n"
      "  movara render PROJECT.mvf [options]    generate the film; progress and estimated finish on stderr\n"
      "      -o FILE  --kind avi|bmp|gif|jpeg  --size WxH (720x576)  --fps N (25)  --depth 16|24|32 (24)\n"
      "      --vcodec FOURCC (MJPG; DIB = uncompressed)  --quality 0..10000  --acodec NAME (pcm)\n"
      "      --rate HZ (44100)  --audio mono8|stereo8|mono16|stereo16 (stereo16)\n"
      "      --block second|half|frame|first (second)  --content both|video|audio (both)\n"
      "      --range range|sequences|all (all)  --mode max|medium|none (max)  --max-size BYTES\n"
      "      --skip-missing (render a project whose media are partly gone)  --single-thread  --quiet\n"
      "  movara script PROJECT.mvf              print the film script of the time line\n"
      "  movara frame PROJECT.mvf|SCRIPT --at MS -o FILE.bmp [--size WxH]\n"
      "  movara fx ID STEP PICTURE_A PICTURE_B -o FILE.bmp [--size WxH]\n"
      "  movara effects                         the transition catalogue\n"
      "  movara info FILE                       what a media, project or title-page file holds\n",
      stdout);
}

int RunCommandLine(int argc, char** argv) {
  if (argc < 2) {
    PrintUsage();
    return kExitOk;
  }
  std::string cmd = argv[1];
  TArgs args(argv + 2, argv + argc);
  if (cmd == "-h" || cmd == "--help" || cmd == "help") {
    PrintUsage();
    return kExitOk;
  }
  struct Entry {
    const char* name;
    int (*fn)(const TArgs&);
  };
  static const Entry commands[] = {
      {"info", CmdInfo},
      {"demo", CmdDemo},
      {"effects", CmdEffects},
      {"fx", CmdFx},
      {"script", CmdScript},
      {"frame", CmdFrame},
      {"render", CmdRender},
  };
  for (const Entry& e : commands) {
    if (cmd == e.name) {
      try {
        return e.fn(args);
      } catch (const std::exception& ex) {
        std::fprintf(stderr, "movara %s: %s\n", e.name, ex.what());
        return kExitFailure;
      }
    }
  }
  std::fprintf(stderr, "movara: unknown subcommand '%s' (see 'movara --help')\n", cmd.c_str());
  return kExitUsage;
}

}  // namespace movara
