#pragma once
// The headless subcommands of the movara program. Each returns the process exit code
// and writes a one-line error to stderr on failure.
#include <string>
#include <vector>

namespace movara {

using TArgs = std::vector<std::string>;

int RunCommandLine(int argc, char** argv);
void PrintUsage();

int CmdInfo(const TArgs& args);
int CmdDemo(const TArgs& args);

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;   // the work failed
inline constexpr int kExitUsage = 2;     // unknown subcommand, bad arguments, unreadable file

}  // namespace movara
