#include <cstdio>

#include "app/CommandLine.h"
#include "base/AppPaths.h"

namespace movara {

int CmdInfo(const TArgs& args) {
  if (args.size() != 1) {
    std::fprintf(stderr, "movara info: expected one FILE\n");
    return kExitUsage;
  }
  const std::string& file = args[0];
  if (!FileExists(file)) {
    std::fprintf(stderr, "movara info: cannot read '%s'\n", file.c_str());
    return kExitUsage;
  }
  std::fprintf(stderr, "movara info: '%s' is not a file movara knows\n", file.c_str());
  return kExitUsage;
}

}  // namespace movara
