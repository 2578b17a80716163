#pragma once
// One text item of a title page, the page sizes, and the default item of the page
// editor's settings.
#include <cstdint>
#include <string>

#include "base/Dib.h"

namespace movara {

class TPageEditBox;
class TMyIniFile;

// Page sizes in pixels: 720 x 576, 768 x 576, 512 x 512.
enum TPageSize { psVideo, psFullVideo, psSquare512 };
inline constexpr int kPageSizeCount = 3;
int PageSizeWidth(TPageSize size);
int PageSizeHeight(TPageSize size);
inline TRect PageSizeRect(TPageSize size) { return Rect(0, 0, PageSizeWidth(size), PageSizeHeight(size)); }

// Texts and font names longer than this do not fit the file and clipboard records.
inline constexpr size_t kMaxItemTextBytes = 4095;

class TFontItem {
 public:
  explicit TFontItem(TPageEditBox* owner = nullptr) : Owner(owner) {}

  // Copies the item's content (Selected to WordWrap); owner, frame and bounds stay.
  void Assign(const TFontItem& source);
  // True when the content (Selected to WordWrap) is the same.
  bool SameContent(const TFontItem& other) const;

  TPageEditBox* Owner = nullptr;
  TRect Frame;   // on-screen frame (editor use)
  TRect Bounds;  // bounding box on the page, set when the item is laid out or drawn

  bool Selected = false;
  int32_t PosX = 0;  // top-left of the text on the page
  int32_t PosY = 0;
  std::string Text;  // UTF-8, lines separated by CR LF
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  std::string FontName = "Time New Roman";
  int32_t FontSize = 20;  // points
  TColor FontColor = 0x00FFFF;
  bool TextVisible = true;  // false: the body is drawn in the page colour
  bool Shadowed = false;
  bool Outlined = false;
  int32_t ShadowX = 1;
  int32_t ShadowY = 1;
  int32_t OutlineWidth = 1;  // radius of the outline ring
  TColor ShadowColor = 0x008080;
  TColor OutlineColor = 0x000080;
  bool WordWrap = false;  // carried through files and the clipboard only
};

// The settings section of the page editor window.
inline constexpr char kPageEditSection[] = "Page Edit Section";

// Reads the editor's default item from its settings keys ("Font Item Selected" to
// "FontItem WordWrap"); a missing key keeps the item's current value. Line breaks of
// the text are kept as "\n" in the settings file.
void ReadFontItemSettings(const TMyIniFile& ini, const std::string& section, TFontItem& item);
// Writes the same keys (throws EIniFileError when the file cannot be written).
void WriteFontItemSettings(TMyIniFile& ini, const std::string& section, const TFontItem& item);

}  // namespace movara
