// movara info FILE: what a media, project or title-page file holds. One describer per
// file kind; a kind without one is not a file movara can describe yet.
#include <cstdio>
#include <string>

#include "app/CommandLine.h"
#include "base/AppPaths.h"
#include "base/Dib.h"
#include "base/FileKind.h"
#include "media/PictureFile.h"

namespace movara {
namespace {

// Prints the description on stdout and returns the exit code; failures print one line
// on stderr.
using TDescriber = int (*)(const std::string& file, TFileKind kind);

const char* PictureKindName(TFileKind kind) {
  switch (kind) {
    case fkBmp: return "BMP";
    case fkJpg: return "JPEG";
    case fkGif: return "GIF";
    default: return "?";
  }
}

int DescribePicture(const std::string& file, TFileKind kind) {
  TDIB dib;
  std::string path = file;
  if (!LoadPictureFile(dib, path, false)) {
    std::fprintf(stderr, "movara info: '%s' is not a readable %s picture\n", file.c_str(),
                 PictureKindName(kind));
    return kExitUsage;
  }
  std::printf("%s picture %d x %d, %d bits\n", PictureKindName(kind), dib.Width(), dib.Height(),
              dib.BitCount());
  if (dib.BitCount() <= 8) std::printf("palette: %zu colours\n", dib.Palette().size());
  if (dib.TransparentIndex() >= 0) std::printf("transparent index: %d\n", dib.TransparentIndex());
  return kExitOk;
}

struct TDescriberEntry {
  TFileKind kind;
  TDescriber describe;
};

const TDescriberEntry kDescribers[] = {
    {fkBmp, DescribePicture},
    {fkJpg, DescribePicture},
    {fkGif, DescribePicture},
};

}  // namespace

int CmdInfo(const TArgs& args) {
  if (args.size() != 1) {
    std::fprintf(stderr, "movara info: expected one FILE\n");
    return kExitUsage;
  }
  const std::string& file = args[0];
  if (!FileExists(file)) {
    std::fprintf(stderr, "movara info: cannot read '%s'\n", file.c_str());
    return kExitUsage;
  }
  const TFileKind kind = FileKindOfName(file);
  for (const TDescriberEntry& e : kDescribers)
    if (e.kind == kind) return e.describe(file, kind);
  std::fprintf(stderr, "movara info: '%s' is not a file movara knows\n", file.c_str());
  return kExitUsage;
}

}  // namespace movara
