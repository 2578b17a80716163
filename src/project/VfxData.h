#pragma once
// VfxData: the types every part of the editor shares (layer kinds and rows, clip kinds,
// zoom steps, icon sizes, time-code kinds), the time base, the conversions between
// frames and time-line pixels, the time-code texts, the file kind of a name and a few
// small helpers (colour arithmetic, hexadecimal text, player window placement).
// Everything here is plain data and pure functions.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "base/Dib.h"
#include "base/FileKind.h"  // TFileKind, FileKindOfName, FileNameWithoutExt
#include "base/VfxTypes.h"  // TZoom, TClipType

namespace movara {

class TClipGraphic;

// ---------------------------------------------------------------------------------
// Time base

// Frames per second of every project; positions and lengths are whole frames.
inline constexpr int DefaultTimeBase = 25;
// The range list converts frames to time with this fixed frame length.
inline constexpr int MillisecondsPerFrame = 40;

// ---------------------------------------------------------------------------------
// Enumerations. Files store the ordinal in one byte, so the order never changes.
// (TZoom and TClipType come from base/VfxTypes.h.)

enum TCountType { ctSMPTE, ctFrameNumber, ctTime };

enum TIconSize { isSmallest, isSmall, isNormal, isLarge };

enum TClipState { csNone, csPlaying, csPaused, csReady };

enum TLayerType { ltNone, ltBmpAvi, ltFx3d, ltAudio, ltSequence, ltImage, ltRange, ltKey };

enum TLayerNumber {
  lnNone,
  lnRange,
  lnSequence,
  lnImage,
  lnFirstClipTop,
  lnFirstFx3d,
  lnFirstClipBottom,
  lnAudioFirst,
  lnAudioSecond,
  lnAudioThird
};

enum TUniformColor { ucNone, ucSelected, ucBlue, ucMagenta };

enum TComposeMode { cmNone, cmKeyOnThisLayer, cmKeyOnOtherLayer };

enum TLayerStyle { lsNone, lsLowered, lsRaised };

// Elements of TBoxState.
enum TBoxStateItem { bsCreating, bsLoadingItems, bsDraggingItems, bsDeletingItems, bsNoDrawing };

inline constexpr TZoom DefaultZoom = zmOneSecond;
inline constexpr TIconSize DefaultIconSize = isNormal;
inline constexpr TLayerStyle DefaultLayerStyle = lsRaised;

// Number of values of each enumeration (one past the highest ordinal).
template <typename E>
inline constexpr int EnumCount = 0;
template <> inline constexpr int EnumCount<TCountType> = 3;
template <> inline constexpr int EnumCount<TZoom> = 12;
template <> inline constexpr int EnumCount<TIconSize> = 4;
template <> inline constexpr int EnumCount<TClipType> = 6;
template <> inline constexpr int EnumCount<TClipState> = 4;
template <> inline constexpr int EnumCount<TLayerType> = 8;
template <> inline constexpr int EnumCount<TLayerNumber> = 10;
template <> inline constexpr int EnumCount<TUniformColor> = 4;
template <> inline constexpr int EnumCount<TComposeMode> = 3;
template <> inline constexpr int EnumCount<TLayerStyle> = 3;
template <> inline constexpr int EnumCount<TBoxStateItem> = 5;

// True when the ordinal names a value of E.
template <typename E>
constexpr bool ValidOrdinal(int ordinal) {
  return ordinal >= 0 && ordinal < EnumCount<E>;
}
template <typename E>
constexpr bool ValidEnum(E value) {
  return ValidOrdinal<E>(static_cast<int>(value));
}
// The value of an ordinal read from a file; false (out untouched) when out of range.
template <typename E>
constexpr bool EnumFromOrdinal(int ordinal, E& out) {
  if (!ValidOrdinal<E>(ordinal)) return false;
  out = static_cast<E>(ordinal);
  return true;
}

// A set of TBoxStateItem flags.
class TBoxState {
 public:
  constexpr TBoxState() = default;
  constexpr TBoxState(std::initializer_list<TBoxStateItem> items) {
    for (TBoxStateItem i : items) bits_ |= Bit(i);
  }
  constexpr bool Contains(TBoxStateItem i) const { return (bits_ & Bit(i)) != 0; }
  constexpr void Include(TBoxStateItem i) { bits_ |= Bit(i); }
  constexpr void Exclude(TBoxStateItem i) { bits_ &= static_cast<uint8_t>(~Bit(i)); }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr uint8_t Bits() const { return bits_; }
  constexpr bool operator==(const TBoxState&) const = default;
  constexpr TBoxState operator+(TBoxStateItem i) const {
    TBoxState s = *this;
    s.Include(i);
    return s;
  }
  constexpr TBoxState operator-(TBoxStateItem i) const {
    TBoxState s = *this;
    s.Exclude(i);
    return s;
  }

 private:
  static constexpr uint8_t Bit(TBoxStateItem i) {
    return ValidEnum(i) ? static_cast<uint8_t>(1u << static_cast<int>(i)) : 0;
  }
  uint8_t bits_ = 0;
};

// Includes an item in a box state for the length of a scope. When the scope ends (also
// by an exception), or earlier by Restore(), the item goes again unless the state held
// it before. A null state is left alone.
class TBoxStateItemScope {
 public:
  TBoxStateItemScope(TBoxState* state, TBoxStateItem item)
      : state_(state && !state->Contains(item) ? state : nullptr), item_(item) {
    if (state_) state_->Include(item_);
  }
  ~TBoxStateItemScope() { Restore(); }
  TBoxStateItemScope(const TBoxStateItemScope&) = delete;
  TBoxStateItemScope& operator=(const TBoxStateItemScope&) = delete;

  void Restore() {
    if (state_) state_->Exclude(item_);
    state_ = nullptr;
  }

 private:
  TBoxState* state_;
  TBoxStateItem item_;
};

// ---------------------------------------------------------------------------------
// Colours of the solid-colour blocks

inline constexpr TColor UniformColorBlue = 0xFF0000;
inline constexpr TColor UniformColorMagenta = 0xFF00FF;
// The colour a solid block paints: its own value for ucSelected, the fixed colours
// for ucBlue and ucMagenta, black for ucNone (and any bad ordinal).
TColor UniformColorToColor(TUniformColor uc, TColor ownValue);

// ---------------------------------------------------------------------------------
// Display names

inline constexpr const char* ProgramVersion = "2.0 DV";

const char* ClipTypeName(TClipType ct);           // "" for a bad ordinal
const char* UniformColorName(TUniformColor uc);   // ucNone and bad ordinals give ""
const char* ChannelName(int channels);            // 1 "Mono", 2 "Stereo", else ""
const char* BoolName(bool b);                     // "False", "True"

// ---------------------------------------------------------------------------------
// Zoom tables

struct TThumbSize {
  int Width;
  int Height;
};
struct TZoomStep {
  int Step;          // frames per thumbnail times the icon size factor
  int Subdivisions;  // scale divisions per thumbnail
};

inline constexpr TThumbSize ThumbSize[4] = {{24, 19}, {48, 38}, {72, 57}, {96, 77}};
inline constexpr int IconSizeFactor[4] = {8, 4, 2, 1};
inline constexpr TZoomStep ZoomStep[12][4] = {
    /* zmOneFrame      */ {{8, 1}, {4, 1}, {2, 1}, {1, 1}},
    /* zmTwoFrames     */ {{16, 2}, {8, 2}, {4, 2}, {2, 2}},
    /* zmFourFrames    */ {{32, 4}, {16, 4}, {8, 4}, {4, 4}},
    /* zmSixFrames     */ {{48, 6}, {24, 6}, {12, 6}, {6, 6}},
    /* zmTwelveFrames  */ {{96, 1}, {48, 12}, {24, 12}, {12, 12}},
    /* zmOneSecond     */ {{200, 2}, {100, 2}, {50, 10}, {25, 12}},
    /* zmTwoSeconds    */ {{400, 4}, {200, 4}, {100, 4}, {50, 4}},
    /* zmFourSeconds   */ {{800, 8}, {400, 8}, {200, 8}, {100, 8}},
    /* zmTenSeconds    */ {{2000, 5}, {1000, 5}, {500, 5}, {500, 10}},
    /* zmTwentySeconds */ {{4000, 2}, {2000, 10}, {1000, 10}, {500, 10}},
    /* zmOneMinute     */ {{12000, 4}, {6000, 4}, {3000, 15}, {1500, 15}},
    /* zmTwoMinutes    */ {{24000, 6}, {12000, 6}, {6000, 6}, {3000, 6}},
};

// Frames one thumbnail width shows (step / icon size factor); 0 for bad ordinals.
int FramesPerThumb(TZoom zoom, TIconSize iconSize);

// ---------------------------------------------------------------------------------
// Frames <-> pixels, frames <-> milliseconds

// Width in pixels of `frames` frames on the time line, rounded halves to even. On a
// failure (bad zoom or icon size, result beyond int) shows a message and returns 1.
int FrameToPixel(TZoom zoom, TIconSize iconSize, int frames);
// Frames under `pixels` pixels of the time line. On a failure (bad zoom or icon size,
// pixels x step beyond 32 bits) shows a message and returns 1.
int PixelToFrame(TZoom zoom, TIconSize iconSize, int pixels);

// 64-bit multiply-then-divide, halves away from zero; 0 when the division fails.
int64_t FramesToMilliseconds(int64_t frames, int timeBase);
int64_t MillisecondsToFrames(int64_t ms, int timeBase);

// A monotonic clock in whole milliseconds (rounded), for measuring durations.
int64_t MillisecondClock();

// ---------------------------------------------------------------------------------
// Time-code text

// ctSMPTE "h:mm:ss:ff", ctTime "h:mm:ss:hh" (hundredths), ctFrameNumber "n"; hours
// wrap at 24. A bad count type, or a time base of 0 or less for the clock forms,
// gives "".
std::string FormatFrameCode(int frame, TCountType countType, int timeBase);
// "m:ss.hh" (minutes wrap at 60, hours dropped); "" for a time base of 0 or less.
std::string FormatShortDuration(int frames, int timeBase);
// "hh:mm:ss.hh" with hours wrapping at 24.
std::string FormatMilliseconds(int64_t ms);

// ---------------------------------------------------------------------------------
// Colour helpers

// System colours (top bit set, index in the low byte) resolved through a fixed table
// of the default Windows colours; other colours lose their top byte.
TColor ColorToRGB(TColor color);
TColor LightenColor(TColor color, int n);
TColor DarkenColor(TColor color, int n);

struct TShades {
  TColor Face;
  TColor Light;
  TColor Dark;
};
// The colour with a lighter and a darker shade (48 each way) for bevelled drawing.
TShades ThreeShades(TColor color);

// Studio-range BT.601 in integer form. RgbToYuv packs Y, U, V (Y in the low byte);
// YuvToRgb packs B, G, R (B in the low byte; swap the outer bytes to get a TColor).
uint32_t RgbToYuv(int r, int g, int b);
uint32_t YuvToRgb(int y, int u, int v);
// The colour with n added to its V component (clamped to 0..255).
TColor ShadeColorV(TColor color, int n);
// The V shift of the end line of transition blocks on the time line.
inline constexpr int TransitionEndShade = 32;

// Hue, saturation and value on the 0..240 scale of the colour dialog.
struct THsv {
  int H;
  int S;
  int V;
  bool operator==(const THsv&) const = default;
};
TColor HsvToRgb(int h, int s, int v);
THsv RgbToHsv(TColor color);

// ---------------------------------------------------------------------------------
// Hexadecimal text

// Every two characters of `text` make one byte, high digit first ("0".."9", "A".."F";
// any other character counts as 0; a trailing odd character is ignored). At most
// `size` bytes are written; returns the count. A text longer than the buffer is cut
// and traced.
int HexToBuf(const std::string& text, uint8_t* buffer, int size);
// Two upper-case digits per byte.
std::string BufToHex(const uint8_t* buffer, int size);

// ---------------------------------------------------------------------------------
// Files of the program

inline constexpr const char* IniFileBaseName = "Movara.Ini";
inline constexpr const char* HelpFileBaseName = "Movara.chm";
// The INI file in the writable user folder.
std::string IniFileName();
// The help file in the program's data folder.
std::string HelpFileName();
// Help counts as available when its file name ends in ".CHM" (any case).
bool HelpFileNameValid(const std::string& helpFile);

// Screen cursors loaded at start-up.
inline constexpr int crDropperOk = 15;
inline constexpr int crRazorEnabled = 16;
inline constexpr int crRazorDisabled = 17;

// ---------------------------------------------------------------------------------
// Player window placement

struct TChildWindowInfo {
  std::string Caption;
  TRect Bounds;  // in the coordinates of the main window's client area
};

inline constexpr const char* ProjectWindowCaption = "Okno projektu - [%s]";
// A project window is recognised by the first 13 characters of its caption.
bool IsProjectWindowCaption(const std::string& caption);
// Where a new 312 x 256 player window goes, given the child windows of the main
// window and the main window's client area.
TRect PlayerWindowRect(const std::vector<TChildWindowInfo>& children, const TRect& clientArea);

// ---------------------------------------------------------------------------------
// Drag carrier of a part of a clip (dragged from the clip player onto the time line)

struct TClipDragger {
  TClipGraphic* ClipGraphic = nullptr;  // the source clip thumbnail, not owned
  TClipType ClipType = ctNone;          // content of the dragged part
  int64_t Offset = 0;                   // start of the part in the clip, milliseconds
  int64_t Length = -1;                  // milliseconds; negative means the whole clip
  std::string Caption;
  bool WholeClip() const { return Length < 0; }
};

}  // namespace movara
