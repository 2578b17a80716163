// movara effects: the transition catalogue. movara fx: one step of one transition.
#include <cctype>
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
  long long v = 0;
  const bool hex = text.compare(0, 1, "$") == 0 || text.compare(0, 2, "0x") == 0 || text.compare(0, 2, "0X") == 0;
  if (!hex) {
    if (!ParseInt(text, 0, 0xFFFFFFFFll, v)) return false;
  } else {
    size_t i = text[0] == '$' ? 1 : 2;
    if (i == text.size()) return false;
    while (i + 1 < text.size() && text[i] == '0') ++i;
    if (text.size() - i > 8) return false;
    for (; i < text.size(); ++i) {
      const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
      if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
      v = v * 16 + (c <= '9' ? c - '0' : c - 'a' + 10);
    }
  }
  id = static_cast<int32_t>(static_cast<uint32_t>(v));
  return true;
}

int CmdEffects(const TArgs& args) {
  TCommandArgs parsed;
  const int split = SplitArgs("effects", args, {}, parsed);
  if (split != kExitOk) return split == kExitHelp ? kExitOk : split;
  if (!parsed.Words.empty()) {
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
  TCommandArgs parsed;
  const int split =
      SplitArgs("fx", args, {{"-o", true}, {"--size", true}, {"--texture", true}, {"--filter", true}}, parsed);
  if (split != kExitOk) return split == kExitHelp ? kExitOk : split;
  const std::vector<std::string>& pos = parsed.Words;
  std::string out;
  int w = 720, h = 576, texture = 512, filter = 0;
  for (const auto& [name, v] : parsed.Options) {
    long long n = 0;
    if (name == "-o") {
      out = v;
    } else if (name == "--size") {
      if (!ParseSize(v, w, h)) {
        std::fprintf(stderr, "movara fx: bad --size '%s' (WxH, sides 16..8192)\n", v.c_str());
        return kExitUsage;
      }
    } else if (name == "--texture") {
      if (!ParseInt(v, 512, 2048, n) || (n != 512 && n != 1024 && n != 2048)) {
        std::fprintf(stderr, "movara fx: bad --texture '%s' (512, 1024 or 2048)\n", v.c_str());
        return kExitUsage;
      }
      texture = static_cast<int>(n);
    } else if (name == "--filter") {
      if (!ParseInt(v, 0, 1, n)) {
        std::fprintf(stderr, "movara fx: bad --filter '%s' (0 or 1)\n", v.c_str());
        return kExitUsage;
      }
      filter = static_cast<int>(n);
    }
  }
  if (pos.size() != 4 || out.empty()) {
    std::fprintf(stderr, "movara fx: %s (see 'movara fx --help')\n",
                 pos.size() != 4 ? "expected ID STEP PICTURE_A PICTURE_B" : "-o FILE is needed");
    return kExitUsage;
  }
  if (!OutputPictureKnown(out)) {
    std::fprintf(stderr, "movara fx: cannot tell the picture format of '%s' from its name (%s)\n", out.c_str(),
                 kOutputPictureKinds);
    return kExitUsage;
  }
  int32_t id = 0;
  if (!ParseFxId(pos[0], id)) {
    std::fprintf(stderr, "movara fx: bad effect id '%s' ($101, 0x101 or decimal)\n", pos[0].c_str());
    return kExitUsage;
  }
  long long step = 0;
  if (!ParseInt(pos[1], 0, 1000, step)) {
    std::fprintf(stderr, "movara fx: bad STEP '%s' (0..1000)\n", pos[1].c_str());
    return kExitUsage;
  }
  TFxList& list = EnsureFxList();
  if (!list.FindByID(id & ~ReverseFlag)) {
    // "movara effects" prints the IDs in hexadecimal: digits copied without their '$' read as decimal
    int32_t hex = 0;
    const bool decimal = std::isdigit(static_cast<unsigned char>(pos[0][0])) && pos[0].find_first_of("xX") == std::string::npos;
    if (decimal && ParseFxId("$" + pos[0], hex) && list.FindByID(hex & ~ReverseFlag))
      std::fprintf(stderr, "movara fx: unknown effect %s (decimal); did you mean $%s?\n", pos[0].c_str(),
                   pos[0].c_str());
    else
      std::fprintf(stderr, "movara fx: unknown effect %s (see 'movara effects')\n", pos[0].c_str());
    return kExitUsage;
  }
  TDIB pictures[2];
  for (int k = 0; k < 2; ++k) {
    std::string path = pos[2 + k];
    if (const int readable = CheckInputFile("fx", path); readable != kExitOk) return readable;
    if (!LoadPictureFile(pictures[k], path, false)) {
      std::fprintf(stderr, "movara fx: cannot read picture '%s'\n", pos[2 + k].c_str());
      return kExitUsage;
    }
  }
  TFxScene scene(w, h, texture, filter == 1);
  RenderTransitionStep(scene, id, static_cast<int>(step), pictures[0], pictures[1]);
  TDIB frame;
  scene.ReadFrame(frame);
  if (!SaveOutputPicture(frame, out)) {
    std::fprintf(stderr, "movara fx: cannot write '%s'\n", out.c_str());
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace movara
