#include "project/ui/ClipOpeners.h"

#include "base/FileKind.h"
#include "base/UserMessages.h"
#include "project/ClipGraphic.h"

namespace movara {

TClipOpeners& ClipOpeners() {
  static TClipOpeners openers;
  return openers;
}

bool OpenClipWindow(TClipGraphic& clip) {
  const TClipOpeners& o = ClipOpeners();
  auto notAvailable = [] {
    ShowMessage("Ta funkcja nie jest jeszcze dostępna.", "Uwaga !", TMsgKind::Information);
    return false;
  };
  switch (FileKindOfName(clip.FileShortName())) {
    case fkAvi:
    case fkWav:
      if (!o.PlayClip) return notAvailable();
      o.PlayClip(clip);
      return true;
    case fkBmp:
    case fkJpg:
    case fkGif:
      return o.ViewPicture ? o.ViewPicture(clip.FullFileName()) : notAvailable();
    default:
      return false;
  }
}

}  // namespace movara
