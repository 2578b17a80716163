// movara demo [DIR]: makes the demo media in DIR with no input from the user and says
// what it made.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/CommandLine.h"
#include "app/DemoMedia.h"
#include "base/AppPaths.h"

namespace movara {

int CmdDemo(const TArgs& args) {
  if (args.size() > 1) {
    std::fprintf(stderr, "movara demo: expected at most one DIR\n");
    return kExitUsage;
  }
  std::string dir = IncludeTrailingSlash(FullPathName(args.empty() ? "movara-demo" : args[0]));
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec || !std::filesystem::is_directory(dir)) {
    std::fprintf(stderr, "movara demo: cannot make the folder '%s'\n", dir.c_str());
    return kExitFailure;
  }
  std::printf("demo folder: %s\n", dir.c_str());
  for (const TDemoFile& f : MakeDemoPictures(dir)) std::printf("made %s (%s)\n", f.path.c_str(), f.what.c_str());
  return kExitOk;
}

}  // namespace movara
