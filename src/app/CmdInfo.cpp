// movara info FILE: what a media, project or title-page file holds. One describer per
// file kind; a kind without one is not a file movara can describe yet.
#include <cstdio>
#include <string>

#include "app/CommandLine.h"
#include "base/AppPaths.h"
#include "base/Dib.h"
#include "base/FileKind.h"
#include "media/PictureFile.h"
#include "pages/PageEditBox.h"

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

const char* PageSizeName(TPageSize size) {
  switch (size) {
    case psFullVideo: return "psFullVideo";
    case psSquare512: return "psSquare512";
    default: return "psVideo";
  }
}

// A text on one line: line breaks as \n, tabs as \t, quotes and backslashes escaped.
std::string OneLine(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      out += "\\n";
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else {
      out += c;
    }
  }
  return out;
}

// The page and one line per item; the page file's own messages go to stderr.
int DescribeTitlePage(const std::string& file, TFileKind) {
  TPageEditBox box;
  box.OpenFileNamed(file);
  const TPageOpenResult r = box.LastOpenResult();
  if (r != porOk && r != porDamaged) {
    std::fprintf(stderr, "movara info: '%s' is not a readable title page\n", file.c_str());
    return kExitUsage;
  }
  std::printf("title page %d x %d (%s), colour $%06X, %d items%s\n", box.PageRect().Width(),
              box.PageRect().Height(), PageSizeName(box.PageSize()), box.PageColor(),
              box.ItemCount(), r == porDamaged ? " (damaged: read in part)" : "");
  for (int i = 0; i < box.ItemCount(); ++i) {
    const TFontItem& it = *box.Items(i);
    std::string style;
    if (it.Bold) style += " bold";
    if (it.Italic) style += " italic";
    if (it.Underline) style += " underline";
    std::printf("item %d: at %d,%d font \"%s\" %d pt%s, colour $%06X%s", i + 1, it.PosX,
                it.PosY, OneLine(it.FontName).c_str(), it.FontSize, style.c_str(), it.FontColor,
                it.TextVisible ? "" : " (text hidden)");
    if (it.Shadowed)
      std::printf(", shadow %d,%d $%06X", it.ShadowX, it.ShadowY, it.ShadowColor);
    if (it.Outlined) std::printf(", outline %d $%06X", it.OutlineWidth, it.OutlineColor);
    if (it.WordWrap) std::printf(", word wrap");
    std::printf(", text \"%s\"\n", OneLine(it.Text).c_str());
  }
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
    {fkPte, DescribeTitlePage},
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
