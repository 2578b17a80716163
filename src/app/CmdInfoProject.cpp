// movara info PROJECT.mvf: the header settings and every block row by row.
#include <cstdio>
#include <exception>
#include <string>

#include "app/CommandLine.h"
#include "base/AppPaths.h"
#include "base/FileKind.h"
#include "persist/ProjectFile.h"
#include "project/ClipGraphic.h"

namespace movara {

std::string OneLine(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      out += "\\n";
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;  // CR LF is one break
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

// Project: the header settings, then every block row by row as the project loads; the
// media files need not exist (a missing one is marked).
int DescribeProject(const std::string& file, TFileKind) {
  static const char* const kLayerTypes[] = {"none", "picture", "transition", "sound", "sequence",
                                            "image", "range", "key"};
  static const char* const kRows[] = {"", "range", "sequence", "image", "A", "transitions", "B",
                                      "sound 1", "sound 2", "sound 3"};
  char magic[4] = {};
  if (std::FILE* f = std::fopen(file.c_str(), "rb")) {
    if (std::fread(magic, 1, 4, f) != 4) magic[0] = 0;
    std::fclose(f);
  }
  if (std::string(magic, 4) != "MV10") {
    std::fprintf(stderr, "movara info: '%s' is not a Movara project\n", file.c_str());
    return kExitUsage;
  }
  static const char* const kIconSizes[] = {"smallest", "small", "normal", "large"};
  static const char* const kZooms[] = {"1 frame", "2 frames", "4 frames", "6 frames", "12 frames", "1 s",
                                       "2 s", "4 s", "10 s", "20 s", "1 min", "2 min"};
  static const char* const kCountTypes[] = {"SMPTE", "frame number", "time"};
  TLayerBox box;
  box.ClearProject(false);
  TProjectClipList clips;
  clips.SetAcceptMissing(true);
  int total = 0, read = 0;
  TCountType countType = ctSMPTE;
  try {
    TProjectStream stream(file, nullptr, &clips, &box, true);
    read = stream.ReadProject(total);
    countType = stream.CountType();
  } catch (const std::exception&) {
    std::fprintf(stderr, "movara info: '%s' is not a readable project\n", file.c_str());
    return kExitUsage;
  }
  std::printf("project: %d of %d blocks read\n", read, total);
  std::printf("time line: icon size %s, zoom %s, first frame %d, count type %s, snap %s, key on row A %s\n",
              kIconSizes[box.IconSize()], kZooms[box.Zoom()], box.FirstFrame(), kCountTypes[countType],
              box.SnapItems() ? "on" : "off", box.FirstLayerDoKey() ? "on" : "off");
  std::printf("resource list: icon size %s, time base %d\n", kIconSizes[clips.ClipIconSize()], clips.ClipTimeBase());
  for (TLayerNumber n = lnRange; n <= lnAudioThird; n = static_cast<TLayerNumber>(n + 1)) {
    const TLayerRow* row = box.RowByNumber(n);
    if (row->ItemCount() == 0 && !row->LevelBoxVisible()) continue;
    std::printf("row %s: %d blocks%s\n", kRows[n], row->ItemCount(), row->LevelBoxVisible() ? ", envelopes shown" : "");
    for (int i = 0; i < row->ItemCount(); ++i) {
      const TLayerItem* it = row->Items(i);
      std::printf("  block %d: first %d, duration %d, offset %d, %s", box.IndexOfItem(it), it->FirstFrame(),
                  it->Duration(), it->OffsetFrame(), kLayerTypes[it->MediaType()]);
      if (const TClipGraphic* c = it->LinkClipGraphic())
        std::printf(", %s \"%s\"%s", ClipTypeName(c->ClipType()), OneLine(c->FullFileName()).c_str(),
                    FileExists(c->FullFileName()) ? "" : " (missing)");
      else if (it->UniformColor() != ucNone)
        std::printf(", %s $%06X", UniformColorName(it->UniformColor()), it->UniformColorValue());
      if (it->MediaType() == ltFx3d || it->MediaType() == ltSequence)
        std::printf(", %s $%X \"%s\"", it->MediaType() == ltFx3d ? "effect" : "shortcut", it->Fx3dID(),
                    OneLine(it->Fx3dName()).c_str());
      if (it->StoredComposeMode() != cmNone)
        std::printf(", key %d $%06X YUV %d..%d", it->StoredComposeMode(), it->ColorKey(), it->YUVLo(), it->YUVHi());
      if (it->Speed() != 100) std::printf(", speed %d", it->Speed());
      if (it->ConstDuration()) std::printf(", length locked");
      if (const TLevelBox* lv = it->LevelBoxIfAny()) {
        std::printf(", envelope");
        for (int k = 0; k < lv->Count(); ++k) std::printf(" %d:%d", lv->Points(k)->Frame, lv->Points(k)->Level);
      }
      if (const TLayerItem* p = it->LinkSynchronizeItem()) std::printf(", partner block %d", box.IndexOfItem(p));
      std::printf("\n");
    }
  }
  if (read != total) {
    std::fprintf(stderr, "movara info: only %d of %d blocks of '%s' could be read\n", read, total, file.c_str());
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace movara
