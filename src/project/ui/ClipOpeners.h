#pragma once
// What a double-click on a resource thumbnail opens. The windows that do it live above
// the project window (the clip player, the resource view, the title page editor), so
// the editor installs them here; a kind without its window says it is not available.
#include <functional>
#include <string>

namespace movara {

class TClipGraphic;

struct TClipOpeners {
  std::function<void(TClipGraphic& clip)> PlayClip;           // AVI and WAV
  std::function<bool(const std::string& file)> ViewPicture;  // BMP, JPEG, GIF
  std::function<bool(const std::string& file)> EditPage;     // title pages
};

// The process's openers (empty until the editor installs them).
TClipOpeners& ClipOpeners();

// Opens the thumbnail's window by the kind of its file. False, after the message
// "Ta funkcja nie jest jeszcze dostępna.", when no window is installed for it; false
// without a message for a kind that has none (colours).
bool OpenClipWindow(TClipGraphic& clip);

}  // namespace movara
