#pragma once
// What a double-click on a resource thumbnail opens. The windows that do it live above
// the project window (the clip player, the resource view), so the editor installs them
// here; a kind without its window says it is not available. Title pages open their
// editor through the clip box's own double-click event.
#include <functional>
#include <string>

namespace movara {

class TClipGraphic;

struct TClipOpeners {
  std::function<void(TClipGraphic& clip)> PlayClip;           // AVI and WAV
  std::function<bool(const std::string& file)> ViewPicture;  // BMP, JPEG, GIF
};

// The process's openers (empty until the editor installs them).
TClipOpeners& ClipOpeners();

// Opens the thumbnail's window by the kind of its file. False, after the message
// "Ta funkcja nie jest jeszcze dostępna.", when no window is installed for it; false
// without a message for a kind that has none here (colours, title pages).
bool OpenClipWindow(TClipGraphic& clip);

}  // namespace movara
