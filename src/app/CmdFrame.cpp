// movara frame PROJECT.mvf|SCRIPT --at MS -o FILE.bmp [--size WxH]: one frame of the film
// rendered as the film generation renders it, written as a 24-bit BMP.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/CommandLine.h"
#include "media/ResourceLists.h"
#include "script/RenderThread.h"
#include "base/Dib.h"

namespace movara {
namespace {

bool ReadWholeFile(const std::string& file, std::string& text) {
  std::FILE* f = std::fopen(file.c_str(), "rb");
  if (!f) return false;
  text.clear();
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
    text.append(buf, n);
    if (text.size() > (64u << 20)) {  // no script is that long
      std::fclose(f);
      return false;
    }
  }
  std::fclose(f);
  return true;
}

bool ParseTime(const std::string& s, int& ms) {
  char* end = nullptr;
  const long v = std::strtol(s.c_str(), &end, 10);
  if (s.empty() || *end != 0 || v < 0 || v > 0x7FFFFFFF) return false;
  ms = static_cast<int>(v);
  return true;
}

}  // namespace

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
      if (!ParseTime(*v, at)) {
        std::fprintf(stderr, "movara frame: bad time '%s' (milliseconds)\n", v->c_str());
        return kExitUsage;
      }
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

  std::string text;
  if (!ReadWholeFile(input, text)) {
    std::fprintf(stderr, "movara frame: cannot read '%s'\n", input.c_str());
    return kExitUsage;
  }
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
    thread.SetFilmMode(true, roRender, w, h, 25, 0, 24);
    thread.SetLinkOutDIB(&frame);
    result = thread.RenderFrame(at);
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
