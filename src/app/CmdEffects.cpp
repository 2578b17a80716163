// movara effects: the transition catalogue. movara fx: one step of one transition.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/CommandLine.h"
#include "base/AppPaths.h"
#include "base/Format.h"
#include "fx3d/FxList.h"
#include "fx3d/FxScene.h"
#include "media/PictureFile.h"

namespace movara {

bool ParseFxId(const std::string& text, int32_t& id) {
  std::string digits = text;
  int base = 10;
  if (!digits.empty() && digits[0] == '$') {
    digits = digits.substr(1);
    base = 16;
  } else if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    digits = digits.substr(2);
    base = 16;
  }
  if (digits.empty() || digits.size() > 10) return false;
  for (char c : digits)
    if (!(base == 16 ? std::isxdigit(static_cast<unsigned char>(c)) : std::isdigit(static_cast<unsigned char>(c))))
      return false;
  errno = 0;
  unsigned long v = std::strtoul(digits.c_str(), nullptr, base);
  if (errno != 0 || v > 0xFFFFFFFFul) return false;
  id = static_cast<int32_t>(static_cast<uint32_t>(v));
  return true;
}

bool ParseInt(const std::string& text, long long lo, long long hi, long long& value) {
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != 0 || errno != 0 || v < lo || v > hi) return false;
  value = v;
  return true;
}

bool ParseSize(const std::string& text, int& w, int& h) {
  int a = 0, b = 0;
  char x = 0, tail = 0;
  if (std::sscanf(text.c_str(), "%d%c%d%c", &a, &x, &b, &tail) != 3 || (x != 'x' && x != 'X'))
    return false;
  if (a < 16 || b < 16 || a > 8192 || b > 8192) return false;
  w = a;
  h = b;
  return true;
}

int CmdEffects(const TArgs& args) {
  if (!args.empty()) {
    std::fprintf(stderr, "movara effects: takes no arguments\n");
    return kExitUsage;
  }
  TFxList& list = EnsureFxList();
  for (int i = 0; i < list.Count(); ++i) {
    TFx3d* fx = list.Items(i);
    std::printf("$%X\t%d\t%s\n", static_cast<unsigned>(fx->GetFxID()),
                TFxList::CategoryOf(fx->GetFxID()), list.Strings(i).c_str());
  }
  return kExitOk;
}

int CmdFx(const TArgs& args) {
  std::vector<std::string> pos;
  std::string out;
  int w = 720, h = 576, texture = 512, filter = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](const char* name) -> const std::string* {
      if (i + 1 >= args.size()) {
        std::fprintf(stderr, "movara fx: %s needs a value\n", name);
        return nullptr;
      }
      return &args[++i];
    };
    if (a == "-o") {
      const std::string* v = value("-o");
      if (!v) return kExitUsage;
      out = *v;
    } else if (a == "--size") {
      const std::string* v = value("--size");
      if (!v) return kExitUsage;
      if (!ParseSize(*v, w, h)) {
        std::fprintf(stderr, "movara fx: bad size '%s' (WxH, 16..8192)\n", v->c_str());
        return kExitUsage;
      }
    } else if (a == "--texture") {
      const std::string* v = value("--texture");
      if (!v) return kExitUsage;
      if (*v != "512" && *v != "1024" && *v != "2048") {
        std::fprintf(stderr, "movara fx: texture size must be 512, 1024 or 2048\n");
        return kExitUsage;
      }
      texture = std::atoi(v->c_str());
    } else if (a == "--filter") {
      const std::string* v = value("--filter");
      if (!v) return kExitUsage;
      if (*v != "0" && *v != "1") {
        std::fprintf(stderr, "movara fx: filter must be 0 or 1\n");
        return kExitUsage;
      }
      filter = std::atoi(v->c_str());
    } else {
      pos.push_back(a);
    }
  }
  if (pos.size() != 4 || out.empty()) {
    std::fprintf(stderr, "movara fx: usage: movara fx ID STEP PICTURE_A PICTURE_B -o OUT.bmp "
                         "[--size WxH] [--texture 512|1024|2048] [--filter 0|1]\n");
    return kExitUsage;
  }
  int32_t id = 0;
  if (!ParseFxId(pos[0], id)) {
    std::fprintf(stderr, "movara fx: bad effect id '%s'\n", pos[0].c_str());
    return kExitUsage;
  }
  long long step = 0;
  if (!ParseInt(pos[1], 0, 1000, step)) {
    std::fprintf(stderr, "movara fx: STEP must be 0..1000\n");
    return kExitUsage;
  }
  if (!EnsureFxList().FindByID(id & ~ReverseFlag)) {
    std::fprintf(stderr, "movara fx: unknown effect %s\n", pos[0].c_str());
    return kExitUsage;
  }
  TDIB pictures[2];
  for (int k = 0; k < 2; ++k) {
    std::string path = pos[2 + k];
    if (!LoadPictureFile(pictures[k], path, false)) {
      std::fprintf(stderr, "movara fx: cannot read picture '%s'\n", pos[2 + k].c_str());
      return kExitUsage;
    }
  }
  TFxScene scene(w, h, texture, filter == 1);
  RenderTransitionStep(scene, id, static_cast<int>(step), pictures[0], pictures[1]);
  TDIB frame;
  scene.ReadFrame(frame);
  if (!frame.SaveToFile(out)) {
    std::fprintf(stderr, "movara fx: cannot write '%s'\n", out.c_str());
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace movara
