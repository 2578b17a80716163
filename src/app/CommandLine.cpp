#include "app/CommandLine.h"

#include <cstdio>
#include <cstring>
#include <exception>

namespace movara {

void PrintUsage() {
  std::fputs(
      "Movara 2.0 DV - domowy montaż filmów\n"
      "usage:\n"
      "  movara demo [DIR]                      make the demo pictures in DIR (default ./movara-demo)\n"
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
