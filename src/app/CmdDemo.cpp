#include <cstdio>

#include "app/CommandLine.h"

namespace movara {

int CmdDemo(const TArgs& args) {
  std::string dir = args.empty() ? "movara-demo" : args[0];
  std::printf("demo: nothing to make yet in %s\n", dir.c_str());
  return kExitOk;
}

}  // namespace movara
