// movara frame PROJECT.mvf|SCRIPT --at MS -o FILE [--size WxH]: one frame of the film
// rendered as the film generation renders it, written as BMP, PNG, JPEG or GIF by the
// output's name.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "base/Format.h"
#include "media/ResourceLists.h"
#include "script/RenderThread.h"
#include "base/Dib.h"

namespace movara {

int CmdFrame(const TArgs& args) {
  TCommandArgs parsed;
  const int split = SplitArgs("frame", args, {{"--at", true}, {"-o", true}, {"--size", true}}, parsed);
  if (split != kExitOk) return split == kExitHelp ? kExitOk : split;
  if (parsed.Words.size() != 1) {
    std::fprintf(stderr, "movara frame: expected one PROJECT.mvf or SCRIPT%s (see 'movara frame --help')\n",
                 parsed.Words.empty() ? "" : Format(", not %zu", parsed.Words.size()).c_str());
    return kExitUsage;
  }
  const std::string& input = parsed.Words[0];
  int at = -1, w = 720, h = 576;
  std::string out;
  for (const auto& [name, v] : parsed.Options) {
    if (name == "--at") {
      long long ms = 0;
      if (!ParseInt(v, 0, 0x7FFFFFFF, ms)) {
        std::fprintf(stderr, "movara frame: bad --at '%s' (milliseconds from the film's start)\n", v.c_str());
        return kExitUsage;
      }
      at = static_cast<int>(ms);
    } else if (name == "-o") {
      out = v;
    } else if (name == "--size" && !ParseSize(v, w, h)) {
      std::fprintf(stderr, "movara frame: bad --size '%s' (WxH, sides 16..8192)\n", v.c_str());
      return kExitUsage;
    }
  }
  if (at < 0 || out.empty()) {
    std::fprintf(stderr, "movara frame: %s (see 'movara frame --help')\n",
                 at < 0 ? "--at MS is needed" : "-o FILE is needed");
    return kExitUsage;
  }
  if (!OutputPictureKnown(out)) {
    std::fprintf(stderr, "movara frame: cannot tell the picture format of '%s' from its name (%s)\n", out.c_str(),
                 kOutputPictureKinds);
    return kExitUsage;
  }
  if (const int readable = CheckInputFile("frame", input); readable != kExitOk) return readable;

  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(input, bytes, size_t(64) << 20)) {  // no script is that long
    std::fprintf(stderr, "movara frame: cannot read '%s'\n", input.c_str());
    return kExitUsage;
  }
  // a project is read by name once it shows its mark; anything else is taken for a script
  std::string text(bytes.begin(), bytes.end());
  int status = kExitOk;
  if (text.compare(0, 4, "MV10") == 0) {
    status = MakeProjectScript("frame", input, text);
    if (status == kExitUsage) return status;
  }
  CreateResourceLists();

  TDIB frame(w, h, 24);
  TRenderResult result = rfNothing;
  {
    TFxRenderThread thread;
    try {
      thread.LoadScript(text);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "movara frame: no frame to render: '%s' is no film script (%s)\n", input.c_str(), e.what());
      return kExitFailure;
    }
    const int end = thread.Actions().VideoEnd();
    if (end <= 0) {
      std::fprintf(stderr, "movara frame: no frame to render: '%s' holds no pictures\n", input.c_str());
      return kExitFailure;
    }
    if (at >= end) {
      std::fprintf(stderr, "movara frame: --at %d is past the film's end (its pictures last %d ms)\n", at, end);
      return kExitUsage;
    }
    thread.SetFilmMode(true, roRender, w, h, 25, 0, 24);
    thread.SetLinkOutDIB(&frame);
    try {
      result = thread.RenderFrame(at);
    } catch (const ERenderFrame&) {
      result = rfNothing;  // nothing drawn there
    }
  }
  if (result != rfPicture) {
    std::fprintf(stderr, "movara frame: no frame to render at %d ms\n", at);
    return kExitFailure;
  }
  // the renderer works in sides rounded up to multiples of 4
  const TDIB picture = frame.Width() == w && frame.Height() == h ? frame : frame.Stretched(w, h, 24);
  if (!SaveOutputPicture(picture, out)) {
    std::fprintf(stderr, "movara frame: cannot write '%s'\n", out.c_str());
    return kExitFailure;
  }
  return status;
}

}  // namespace movara
