#include "app/CommandLine.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>

namespace movara {
namespace {

struct TCommandUsage {
  const char* Command;
  const char* Text;  // lines of "movara --help", each ended by a line feed
};

// What "movara --help" prints for each subcommand, and "movara COMMAND --help" for one.
const TCommandUsage kUsages[] = {
    {"demo",
     "  movara demo [DIR]                      make demo media and a demo project in DIR\n"
     "                                         (default ./movara-demo), generate DIR/film.avi,\n"
     "                                         print its length and speed; with the ffmpeg program\n"
     "                                         also phone.mvf (portrait H.264 MP4, M4A) and phone.mp4\n"},
    {"render",
     "  movara render PROJECT.mvf [options]    generate the film; progress and the estimated finish on\n"
     "                                         stderr; Ctrl+C stops cleanly and leaves a valid file\n"
     "      -o FILE (the project's name with .avi, .mp4, .bmp, .gif or .jpg)  --kind avi|mp4|bmp|gif|jpeg (avi)\n"
     "          (mp4: H.264 through libx264 and AAC, --quality as constant quality, no size limit)\n"
     "      --size WxH (720x576; multiples of 4)  --fps N (25)  --depth 16|24|32 (24)\n"
     "      --vcodec FOURCC (MJPG; DIB = uncompressed; FMP4, HFYU, FFV1, dvsd, ...)  --quality 0..10000\n"
     "      --acodec pcm|msadpcm|imaadpcm|alaw|mulaw|gsm|mp3 or a tag such as 0x55 (pcm)  --rate HZ (44100)\n"
     "      --audio mono8|stereo8|mono16|stereo16 (stereo16)  --block second|half|frame|first (second)\n"
     "      --content both|video|audio (both)  --range range|sequences|all (all)\n"
     "      --mode max|medium|none (max)  --max-size BYTES (2147483647, at least 20971521;\n"
     "          continuation files NAME01.AVI, ...; an MP4 is one file of any size)\n"
     "          (--mode max copies nothing into an MP4: every frame is compressed anew)\n"
     "      --skip-missing (render a project whose media are partly gone)  --single-thread  --quiet\n"},
    {"script",
     "  movara script PROJECT.mvf              print the film script of the time line\n"},
    {"frame",
     "  movara frame PROJECT.mvf|SCRIPT --at MS -o FILE [--size WxH (720x576)]\n"
     "                                         one film frame; FILE ends in .bmp, .png, .jpg or .gif\n"},
    {"fx",
     "  movara fx ID STEP PICTURE_A PICTURE_B -o FILE [--size WxH (720x576)] [--texture 512|1024|2048]\n"
     "        [--filter 0|1]                   one step (0..1000) of one transition between two pictures;\n"
     "                                         ID as $101, 0x101 or 257; FILE ends in .bmp, .png, .jpg or .gif\n"},
    {"effects",
     "  movara effects                         the transition catalogue, one line each:\n"
     "                                         $101<TAB>0<TAB>Przesuwanie w prawo (id, category, description)\n"},
    {"info",
     "  movara info FILE                       what a picture, AVI, WAV, project (.mvf) or title page (.pte)\n"
     "                                         holds\n"},
};

const char* const kOptionRules =
    "options: a value follows its option or is joined to it by '=' (--size=320x240); numbers are\n"
    "decimal digits (no sign, no blanks); words and FOURCCs are taken in any case; each option is\n"
    "given at most once; -- ends the options (for file names starting with '-').\n";

const char* UsageOf(const std::string& command) {
  for (const TCommandUsage& u : kUsages)
    if (command == u.Command) return u.Text;
  return "";
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

void PrintUsage() {
  std::fputs("Movara 2.0 DV - domowy montaż filmów\nusage:\n", stdout);
  std::fputs("  movara [PROJECT.mvf]                   the editor (windows), open on the project when one is named\n",
             stdout);
  for (const TCommandUsage& u : kUsages) std::fputs(u.Text, stdout);
  std::fputs("  movara --help                          this text; movara COMMAND --help: that command alone\n",
             stdout);
  std::fputs(kOptionRules, stdout);
}

const std::string* TCommandArgs::Value(const std::string& name) const {
  for (const auto& o : Options)
    if (o.first == name) return &o.second;
  return nullptr;
}

int SplitArgs(const char* command, const TArgs& args, const std::vector<TOptionSpec>& options, TCommandArgs& out) {
  out = TCommandArgs();
  auto find = [&](const std::string& name) -> const TOptionSpec* {
    for (const TOptionSpec& o : options)
      if (name == o.Name) return &o;
    return nullptr;
  };
  // The argument after an option is its value unless it is an option itself.
  auto isOption = [&](const std::string& a) {
    return a.compare(0, 2, "--") == 0 || find(a.substr(0, a.find('='))) != nullptr || a == "-h";
  };
  bool words = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (words || a.size() < 2 || a[0] != '-' || IsDigit(a[1])) {
      out.Words.push_back(a);
      continue;
    }
    if (a == "--") {
      words = true;
      continue;
    }
    if (a == "-h" || a == "--help") {
      std::printf("usage:\n%s%s", UsageOf(command), kOptionRules);
      return kExitHelp;
    }
    const size_t eq = a.find('=');
    const std::string name = a.substr(0, eq);
    const TOptionSpec* spec = find(name);
    if (!spec) {
      std::fprintf(stderr, "movara %s: unknown option '%s' (see 'movara %s --help')\n", command, name.c_str(),
                   command);
      return kExitUsage;
    }
    if (out.Value(name)) {
      std::fprintf(stderr, "movara %s: %s is given twice\n", command, name.c_str());
      return kExitUsage;
    }
    std::string value;
    if (!spec->TakesValue) {
      if (eq != std::string::npos) {
        std::fprintf(stderr, "movara %s: %s takes no value\n", command, name.c_str());
        return kExitUsage;
      }
    } else if (eq != std::string::npos) {
      value = a.substr(eq + 1);
    } else if (i + 1 < args.size() && !isOption(args[i + 1])) {
      value = args[++i];
    } else {
      std::fprintf(stderr, "movara %s: %s needs a value\n", command, name.c_str());
      return kExitUsage;
    }
    out.Options.emplace_back(name, value);
  }
  return kExitOk;
}

int CheckInputFile(const char* command, const std::string& file) {
  struct stat st {};
  if (file.empty() || ::stat(file.c_str(), &st) != 0) {
    const int error = file.empty() ? ENOENT : errno;
    if (error == ENOENT || error == ENOTDIR)
      std::fprintf(stderr, "movara %s: '%s': no such file\n", command, file.c_str());
    else
      std::fprintf(stderr, "movara %s: cannot read '%s': %s\n", command, file.c_str(), std::strerror(error));
    return kExitUsage;
  }
  if (S_ISDIR(st.st_mode)) {
    std::fprintf(stderr, "movara %s: '%s' is a folder, not a file\n", command, file.c_str());
    return kExitUsage;
  }
  if (!S_ISREG(st.st_mode)) {
    std::fprintf(stderr, "movara %s: '%s' is not a regular file (pipes and devices are not read)\n", command,
                 file.c_str());
    return kExitUsage;
  }
  // a plain file opens at once; O_NONBLOCK keeps a pipe put in its place meanwhile from waiting
  const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    std::fprintf(stderr, "movara %s: cannot read '%s': %s\n", command, file.c_str(), std::strerror(errno));
    return kExitUsage;
  }
  ::close(fd);
  return kExitOk;
}

bool ParseInt(const std::string& text, long long lo, long long hi, long long& value) {
  if (text.empty()) return false;
  size_t i = 0;
  while (i + 1 < text.size() && text[i] == '0') ++i;  // leading zeros: still decimal
  if (text.size() - i > 18) return false;              // past every range asked for
  long long v = 0;
  for (; i < text.size(); ++i) {
    if (!IsDigit(text[i])) return false;
    v = v * 10 + (text[i] - '0');
  }
  if (v < lo || v > hi) return false;
  value = v;
  return true;
}

bool ParseSize(const std::string& text, int& w, int& h) {
  const size_t x = text.find_first_of("xX");
  long long a = 0, b = 0;
  if (x == std::string::npos || !ParseInt(text.substr(0, x), 16, 8192, a) ||
      !ParseInt(text.substr(x + 1), 16, 8192, b))
    return false;
  w = static_cast<int>(a);
  h = static_cast<int>(b);
  return true;
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
