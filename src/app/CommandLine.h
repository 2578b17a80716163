#pragma once
// The headless subcommands of the movara program. Each returns the process exit code
// and writes a one-line error to stderr on failure.
#include <cstdint>
#include <string>
#include <vector>

#include <memory>
#include <utility>

#include "project/Layers.h"

namespace movara {

using TArgs = std::vector<std::string>;
class TClipBox;
class TClipBoxResources;
class TClipGraphic;
class TDIB;
class TProjectResources;

int RunCommandLine(int argc, char** argv);
void PrintUsage();

int CmdInfo(const TArgs& args);
int CmdDemo(const TArgs& args);
int CmdEffects(const TArgs& args);
int CmdFx(const TArgs& args);
int CmdScript(const TArgs& args);
int CmdFrame(const TArgs& args);
int CmdRender(const TArgs& args);

// A project read from its file with its time line and its film script. A medium that does
// not load keeps its blocks in place through a clip marked missing (black and silent in
// the film), so everything else keeps its time.
struct TLoadedProject {
  TLoadedProject();
  ~TLoadedProject();
  std::unique_ptr<TClipBox> Clips;
  std::vector<std::unique_ptr<TClipGraphic>> MissingClips;
  std::unique_ptr<TProjectResources> Resources;
  TLayerBox Box;
  std::string Script;
  int Read = 0, Total = 0;  // blocks read of the blocks stored
  std::vector<std::string> MissingFiles;  // the media that did not load
};
// Reads the project and makes its script: kExitOk, kExitUsage when the file is no project,
// kExitFailure when blocks could not be read or media are missing (the message on stderr,
// under "movara COMMAND:").
int LoadProject(const char* command, const std::string& file, TLoadedProject& project);

// The film script of a project file into text: kExitOk, kExitUsage when the file is no
// project, kExitFailure when blocks could not be read (the message on stderr, under
// "movara COMMAND:").
int MakeProjectScript(const char* command, const std::string& file, std::string& text);

// "$101", "0x101" or decimal; ReverseFlag may be included.
bool ParseFxId(const std::string& text, int32_t& id);
// "WxH" (or "WXH") with sides 16..8192, digits only.
bool ParseSize(const std::string& text, int& w, int& h);
// A decimal integer in lo..hi: digits only (leading zeros allowed), no sign, no blanks.
bool ParseInt(const std::string& text, long long lo, long long hi, long long& value);

// A text of a file on one line of `movara info`: every line break (CR LF, LF or CR
// alone) as \n, tabs as \t, quotes and backslashes escaped.
std::string OneLine(const std::string& text);

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;   // the work failed
inline constexpr int kExitUsage = 2;     // unknown subcommand, bad arguments, unreadable file
inline constexpr int kExitHelp = -1;     // SplitArgs printed the usage: the command ends with kExitOk

// One option of a subcommand: "-o" or "--size", followed by a value or not (a flag).
struct TOptionSpec {
  const char* Name;
  bool TakesValue;
};

// The arguments of a subcommand sorted into its options and its other words.
struct TCommandArgs {
  std::vector<std::string> Words;
  std::vector<std::pair<std::string, std::string>> Options;  // in the order given; flags with ""
  const std::string* Value(const std::string& name) const;  // nullptr when not given
};

// Sorts the arguments of "movara COMMAND". A value follows its option as the next argument
// ("--size 320x240") or after '=' ("--size=320x240"); a flag takes none. "--" makes every
// later argument a word; "-" and negative numbers ("-5") are words. "-h" or "--help" prints
// the command's part of "movara --help" on stdout and returns kExitHelp. Returns kExitOk, or
// kExitUsage after one line on stderr for an unknown option, an option given twice, a missing
// value (nothing or an option follows) or a value given to a flag.
int SplitArgs(const char* command, const TArgs& args, const std::vector<TOptionSpec>& options, TCommandArgs& out);

// Whether a file named on the command line can be read without waiting: kExitOk, or kExitUsage
// after one line on stderr ("no such file", a folder, a pipe or device, no permission). Pipes are
// refused: nothing reads them twice or waits for a writer.
int CheckInputFile(const char* command, const std::string& file);

// A picture written in the format its name asks for: ".bmp", ".png", ".jpg"/".jpeg" or ".gif"
// (any case). OutputPictureKnown tells whether the name has one of those.
bool OutputPictureKnown(const std::string& file);
bool SaveOutputPicture(const TDIB& picture, const std::string& file);
inline constexpr const char* kOutputPictureKinds = ".bmp, .png, .jpg or .gif";

}  // namespace movara
