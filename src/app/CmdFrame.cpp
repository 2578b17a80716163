// movara frame PROJECT.mvf|SCRIPT --at MS -o FILE.bmp [--size WxH]: one frame of the film
// rendered as the film generation renders it, written as a 24-bit BMP.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "media/ResourceLists.h"
#include "script/RenderThread.h"
#include "base/Dib.h"

namespace movara {

int CmdFrame(const TArgs& args) {
  const char* usage = "movara frame: usage: movara frame PROJECT.mvf|SCRIPT --at MS -o FILE.bmp [--size WxH]\n";
  std::string input, out;
  int at = -1, w = 720, h = 576;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string* {
      if (i + 1 >= args.size()) {
        std::fprintf(stderr, "movara frame: %s needs a value\n", a.c_str());
        return nullptr;
      }
      return &args[++i];
    };
    if (a == "--at") {
      const std::string* v = value();
      if (!v) return kExitUsage;
      long long ms = 0;
      if (!ParseInt(*v, 0, 0x7FFFFFFF, ms)) {
        std::fprintf(stderr, "movara frame: bad time '%s' (milliseconds)\n", v->c_str());
        return kExitUsage;
      }
      at = static_cast<int>(ms);
    } else if (a == "-o") {
      const std::string* v = value();
      if (!v) return kExitUsage;
      out = *v;
    } else if (a == "--size") {
      const std::string* v = value();
      if (!v) return kExitUsage;
      if (!ParseSize(*v, w, h)) {
        std::fprintf(stderr, "movara frame: bad size '%s' (WxH, 16..8192)\n", v->c_str());
        return kExitUsage;
      }
    } else if (input.empty()) {
      input = a;
    } else {
      std::fputs(usage, stderr);
      return kExitUsage;
    }
  }
  if (input.empty() || out.empty() || at < 0) {
    std::fputs(usage, stderr);
    return kExitUsage;
  }

  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(input, bytes, size_t(64) << 20)) {  // no script is that long
    std::fprintf(stderr, "movara frame: cannot read '%s'\n", input.c_str());
    return kExitUsage;
  }
  std::string text(bytes.begin(), bytes.end());
  int status = kExitOk;
  if (text.compare(0, 4, "MV10") == 0) {
    status = MakeProjectScript("frame", input, text);
    if (status == kExitUsage) return status;
  }
  CreateResourceLists();

  TDIB frame(w, h, 24);
  int result;
  {
    TFxRenderThread thread;
    thread.LoadScript(text);
    // a text without a picture track is no film (an empty stretch of one is black)
    bool tracks = false;
    for (int track : {0, 1}) {
      thread.Actions().SelectTrack(track);
      tracks = tracks || thread.Actions().ActionCount() > 0;
    }
    thread.Actions().SelectTrack(0);
    thread.SetFilmMode(true, roRender, w, h, 25, 0, 24);
    thread.SetLinkOutDIB(&frame);
    result = tracks ? thread.RenderFrame(at) : rfNothing;
  }
  if (result != rfPicture) {
    std::fprintf(stderr, "movara frame: no frame at %d ms\n", at);
    return kExitFailure;
  }
  // the renderer works in sides rounded up to multiples of 4
  const TDIB picture = frame.Width() == w && frame.Height() == h ? frame : frame.Stretched(w, h, 24);
  if (!picture.SaveToFile(out)) {
    std::fprintf(stderr, "movara frame: cannot write '%s'\n", out.c_str());
    return kExitFailure;
  }
  return status;
}

}  // namespace movara
