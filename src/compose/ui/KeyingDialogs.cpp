#include "compose/ui/KeyingDialogs.h"

#include <algorithm>
#include <string>

#include "base/FileKind.h"
#include "base/Rounding.h"
#include "compose/ui/ComposeForm.h"
#include "media/Avi.h"
#include "media/PictureFile.h"
#include "project/ClipGraphic.h"
#include "project/Layers.h"

namespace movara {

bool BlockPictureAt(const TLayerItem& item, int64_t timeMs, TDIB& picture) {
  picture.Clear();
  if (item.UniformColor() != ucNone) {
    picture.SetSize(64, 48, 24);
    picture.Fill(ColorToRGB(item.UniformColorValue()));
    return true;
  }
  const TClipGraphic* clip = item.LinkClipGraphic();
  if (!clip) return false;
  if (clip->ClipType() == ctUniformColor) {
    picture.SetSize(64, 48, 24);
    picture.Fill(ColorToRGB(clip->UniformColorValue()));
    return true;
  }
  std::string file = clip->FullFileName();
  if (FileKindOfName(file) == fkAvi) {
    TAVI avi;
    if (!avi.Open(file)) return false;
    // the block shows the clip from its offset on, at its speed
    const int64_t offsetMs = FramesToMilliseconds(item.OffsetFrame(), DefaultTimeBase);
    const int64_t speed = item.Speed() > 0 ? item.Speed() : 100;
    avi.SetPositionOfTime(static_cast<int>(std::clamp<int64_t>(offsetMs + MulDiv64(timeMs, speed, 100), 0, 0x7FFFFFFF)));
    if (!avi.Opened() || avi.DIB()->Empty()) return false;
    picture = *avi.DIB();
    return true;
  }
  return LoadPictureFile(picture, file, true);
}

bool ChooseImageKey(QWidget* parent, const TLayerItem& item, int64_t timeMs, TColor& colorKey, TComposeMode& mode) {
  TDIB picture;
  const bool have = BlockPictureAt(item, timeMs, picture);
  uint8_t m = static_cast<uint8_t>(mode);
  SelectImageKey(parent, colorKey, m, have ? &picture : nullptr);
  mode = m == 2 ? cmKeyOnOtherLayer : m == 1 ? cmKeyOnThisLayer : cmNone;
  return true;
}

bool ChooseKeyRowColor(QWidget* parent, TColor& colorKey, TComposeMode& mode, int32_t& yuvHi, int32_t& yuvLo) {
  uint8_t m = static_cast<uint8_t>(mode);
  int32_t lo = 0, hi = 0;
  if (!SelectKeyColor(parent, colorKey, m, lo, hi)) return false;
  mode = m == 2 ? cmKeyOnOtherLayer : m == 1 ? cmKeyOnThisLayer : cmNone;
  yuvLo = lo;
  yuvHi = hi;
  return true;
}

}  // namespace movara
