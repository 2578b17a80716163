#pragma once
// The headless subcommands of the movara program. Each returns the process exit code
// and writes a one-line error to stderr on failure.
#include <cstdint>
#include <string>
#include <vector>

#include <memory>

#include "project/Layers.h"

namespace movara {

using TArgs = std::vector<std::string>;
class TClipBox;
class TClipBoxResources;

int RunCommandLine(int argc, char** argv);
void PrintUsage();

int CmdInfo(const TArgs& args);
int CmdDemo(const TArgs& args);
int CmdEffects(const TArgs& args);
int CmdFx(const TArgs& args);
int CmdScript(const TArgs& args);
int CmdFrame(const TArgs& args);
int CmdRender(const TArgs& args);

// A project read from its file with its time line and its film script.
struct TLoadedProject {
  TLoadedProject();
  ~TLoadedProject();
  std::unique_ptr<TClipBox> Clips;
  std::unique_ptr<TClipBoxResources> Resources;
  TLayerBox Box;
  std::string Script;
  int Read = 0, Total = 0;  // blocks read of the blocks stored
};
// Reads the project and makes its script: kExitOk, kExitUsage when the file is no project,
// kExitFailure when blocks could not be read (the message on stderr, under "movara COMMAND:").
int LoadProject(const char* command, const std::string& file, TLoadedProject& project);

// The film script of a project file into text: kExitOk, kExitUsage when the file is no
// project, kExitFailure when blocks could not be read (the message on stderr, under
// "movara COMMAND:").
int MakeProjectScript(const char* command, const std::string& file, std::string& text);

// "$101", "0x101" or decimal; ReverseFlag may be included.
bool ParseFxId(const std::string& text, int32_t& id);
// "WxH" with sides 16..8192.
bool ParseSize(const std::string& text, int& w, int& h);
// A decimal integer in lo..hi, nothing else in the text.
bool ParseInt(const std::string& text, long long lo, long long hi, long long& value);

// A text of a file on one line of `movara info`: every line break (CR LF, LF or CR
// alone) as \n, tabs as \t, quotes and backslashes escaped.
std::string OneLine(const std::string& text);

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;   // the work failed
inline constexpr int kExitUsage = 2;     // unknown subcommand, bad arguments, unreadable file

}  // namespace movara
