#include "project/VfxData.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <limits>

#include "base/AppPaths.h"
#include "base/Format.h"
#include "base/Rounding.h"
#include "base/Trace.h"
#include "base/UserMessages.h"

namespace movara {
namespace {

int Clamp(int64_t v, int lo, int hi) { return static_cast<int>(std::clamp<int64_t>(v, lo, hi)); }

bool ValidZoomAndSize(TZoom zoom, TIconSize iconSize) {
  return ValidEnum(zoom) && ValidEnum(iconSize);
}

std::string Pad2(int64_t v) { return PadZeros(std::to_string(v), 2); }

// Default system colours of current Windows versions (GetSysColor index 0..30), so
// that system colour values in project and configuration files keep their look.
constexpr TColor kSystemColors[] = {
    RGBColor(200, 200, 200),  //  0 scroll bar
    RGBColor(0, 0, 0),        //  1 desktop
    RGBColor(153, 180, 209),  //  2 active caption
    RGBColor(191, 205, 219),  //  3 inactive caption
    RGBColor(240, 240, 240),  //  4 menu
    RGBColor(255, 255, 255),  //  5 window
    RGBColor(100, 100, 100),  //  6 window frame
    RGBColor(0, 0, 0),        //  7 menu text
    RGBColor(0, 0, 0),        //  8 window text
    RGBColor(0, 0, 0),        //  9 caption text
    RGBColor(180, 180, 180),  // 10 active border
    RGBColor(244, 247, 252),  // 11 inactive border
    RGBColor(171, 171, 171),  // 12 application workspace
    RGBColor(0, 120, 215),    // 13 highlight
    RGBColor(255, 255, 255),  // 14 highlight text
    RGBColor(240, 240, 240),  // 15 button face
    RGBColor(160, 160, 160),  // 16 button shadow
    RGBColor(109, 109, 109),  // 17 grey text
    RGBColor(0, 0, 0),        // 18 button text
    RGBColor(0, 0, 0),        // 19 inactive caption text
    RGBColor(255, 255, 255),  // 20 button highlight
    RGBColor(105, 105, 105),  // 21 3D dark shadow
    RGBColor(227, 227, 227),  // 22 3D light
    RGBColor(0, 0, 0),        // 23 tooltip text
    RGBColor(255, 255, 225),  // 24 tooltip background
    RGBColor(0, 0, 0),        // 25 (unused index)
    RGBColor(0, 102, 204),    // 26 hot-tracked item
    RGBColor(185, 209, 234),  // 27 active caption gradient
    RGBColor(215, 228, 242),  // 28 inactive caption gradient
    RGBColor(51, 153, 255),   // 29 menu highlight
    RGBColor(240, 240, 240),  // 30 menu bar
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

}  // namespace

// ---------------------------------------------------------------------------------

TColor UniformColorToColor(TUniformColor uc, TColor ownValue) {
  switch (uc) {
    case ucSelected: return ownValue;
    case ucBlue: return UniformColorBlue;
    case ucMagenta: return UniformColorMagenta;
    default: return 0;
  }
}

const char* ClipTypeName(TClipType ct) {
  static constexpr const char* kNames[] = {"Brak",   "Obrazek", "Animacja", "Dźwięk",
                                           "Animacja z dźwiękiem", "Jednolity kolor"};
  return ValidEnum(ct) ? kNames[ct] : "";
}

const char* UniformColorName(TUniformColor uc) {
  static constexpr const char* kNames[] = {"", "Kolor użytkownika", "Kolor niebieski",
                                           "Kolor różowy"};
  return ValidEnum(uc) ? kNames[uc] : "";
}

const char* ChannelName(int channels) {
  if (channels == 1) return "Mono";
  if (channels == 2) return "Stereo";
  return "";
}

const char* BoolName(bool b) { return b ? "True" : "False"; }

// ---------------------------------------------------------------------------------

int FramesPerThumb(TZoom zoom, TIconSize iconSize) {
  if (!ValidZoomAndSize(zoom, iconSize)) return 0;
  return ZoomStep[zoom][iconSize].Step / IconSizeFactor[iconSize];
}

int FrameToPixel(TZoom zoom, TIconSize iconSize, int frames) {
  const char* failure = nullptr;
  if (!ValidZoomAndSize(zoom, iconSize)) {
    failure = "invalid zoom or icon size";
  } else {
    long double pixelsPerFrame = static_cast<long double>(IconSizeFactor[iconSize]) *
                                 ThumbSize[iconSize].Width / ZoomStep[zoom][iconSize].Step;
    long double x = pixelsPerFrame * frames;
    int64_t r = RoundHalfEven(x);
    if (r >= std::numeric_limits<int>::min() && r <= std::numeric_limits<int>::max())
      return static_cast<int>(r);
    failure = "result out of range";
  }
  ShowMessage(Format("[301] Błąd przeliczania: FrameToPixel( %d, %d %d) [Zoom, IconSize, Duration] (%s)",
                     static_cast<int>(zoom), static_cast<int>(iconSize), frames, failure),
              TMsgKind::Error);
  return 1;
}

int PixelToFrame(TZoom zoom, TIconSize iconSize, int pixels) {
  if (ValidZoomAndSize(zoom, iconSize)) {
    // The product is a 32-bit quantity: a product that does not fit is a failure,
    // never a wrapped (and wildly wrong) frame count.
    int64_t product = static_cast<int64_t>(pixels) * ZoomStep[zoom][iconSize].Step;
    if (product >= std::numeric_limits<int32_t>::min() &&
        product <= std::numeric_limits<int32_t>::max()) {
      long double x = static_cast<long double>(product) /
                      (IconSizeFactor[iconSize] * ThumbSize[iconSize].Width);
      return static_cast<int>(RoundHalfEven(x));
    }
  }
  ShowMessage(Format("[301] Błąd przeliczania: PixelToFrame( %d, %d %d) [Zoom, IconSize, Pixels]",
                     static_cast<int>(zoom), static_cast<int>(iconSize), pixels),
              TMsgKind::Error);
  return 1;
}

int64_t FramesToMilliseconds(int64_t frames, int timeBase) {
  int64_t r = 0;
  return MulDivRound(frames, 1000, timeBase, r) ? r : 0;
}

int64_t MillisecondsToFrames(int64_t ms, int timeBase) {
  int64_t r = 0;
  return MulDivRound(ms, timeBase, 1000, r) ? r : 0;
}

int64_t MillisecondClock() {
  auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                std::chrono::steady_clock::now().time_since_epoch())
                .count();
  return MulDiv64(ns, 1, 1000000);
}

// ---------------------------------------------------------------------------------

std::string FormatFrameCode(int frame, TCountType countType, int timeBase) {
  switch (countType) {
    case ctFrameNumber:
      return Format("%d", frame);
    case ctSMPTE:
    case ctTime: {
      if (timeBase <= 0) return std::string();
      int ff = frame % timeBase;
      int s = frame / timeBase;
      int seconds = s % 60;
      int minutes = (s / 60) % 60;
      int hours = (s / 3600) % 24;
      int last = ff;
      if (countType == ctTime)
        last = RoundInt(static_cast<long double>(ff) * 100 / timeBase);
      return Format("%d:%s:%s:%s", hours, Pad2(minutes).c_str(), Pad2(seconds).c_str(),
                    Pad2(last).c_str());
    }
    default:
      return std::string();
  }
}

std::string FormatShortDuration(int frames, int timeBase) {
  if (timeBase <= 0) return std::string();
  int s = frames / timeBase;
  int minutes = (s / 60) % 60;
  int seconds = s % 60;
  int hundredths = RoundInt(static_cast<long double>(frames % timeBase) * 100 / timeBase);
  return Format("%s:%s.%s", std::to_string(minutes).c_str(), Pad2(seconds).c_str(),
                Pad2(hundredths).c_str());
}

std::string FormatMilliseconds(int64_t ms) {
  int hours = static_cast<int>((ms / 3600000) % 24);
  int minutes = static_cast<int>((ms / 60000) % 60);
  int seconds = static_cast<int>((ms / 1000) % 60);
  int hundredths = static_cast<int>((ms % 1000) / 10);
  return Format("%.2d:%.2d:%.2d.%.2d", hours, minutes, seconds, hundredths);
}

// ---------------------------------------------------------------------------------

TColor ColorToRGB(TColor color) {
  if (color & 0x80000000u) {
    unsigned index = color & 0xFF;
    return index < std::size(kSystemColors) ? kSystemColors[index] : 0;
  }
  return color & 0xFFFFFF;
}

TColor LightenColor(TColor color, int n) {
  TColor c = ColorToRGB(color);
  return RGBColor(Clamp(int64_t(GetRValue(c)) + n, 0, 255), Clamp(int64_t(GetGValue(c)) + n, 0, 255),
                  Clamp(int64_t(GetBValue(c)) + n, 0, 255));
}

TColor DarkenColor(TColor color, int n) { return LightenColor(color, -std::clamp(n, -255, 255)); }

TShades ThreeShades(TColor color) {
  return TShades{color, LightenColor(color, 48), DarkenColor(color, 48)};
}

uint32_t RgbToYuv(int r, int g, int b) {
  int64_t R = r, G = g, B = b;
  int64_t y = (R * 813000 / 1596 + B * 391000 / 2018 + G * 1000) / 1702;
  int Y = Clamp(y * 1000 / 1164 + 16, 16, 235);
  int U = Clamp((B - y) * 1000 / 2018 + 128, 16, 240);
  int V = Clamp((R - y) * 1000 / 1596 + 128, 16, 240);
  return static_cast<uint32_t>(Y | (U << 8) | (V << 16));
}

uint32_t YuvToRgb(int y, int u, int v) {
  int64_t Y = int64_t(y) * 1164, U = u, V = v;
  int R = Clamp((V * 1596 + Y - 222912) / 1000, 0, 255);
  int G = Clamp((Y - V * 813 - U * 391 + 135488) / 1000, 0, 255);
  int B = Clamp((Y + U * 2018 - 276928) / 1000, 0, 255);
  return static_cast<uint32_t>(B | (G << 8) | (R << 16));
}

TColor ShadeColorV(TColor color, int n) {
  TColor c = ColorToRGB(color);
  uint32_t yuv = RgbToYuv(GetRValue(c), GetGValue(c), GetBValue(c));
  int y = yuv & 0xFF, u = (yuv >> 8) & 0xFF, v = (yuv >> 16) & 0xFF;
  v = Clamp(int64_t(v) + n, 0, 255);
  uint32_t bgr = YuvToRgb(y, u, v);
  return RGBColor((bgr >> 16) & 0xFF, (bgr >> 8) & 0xFF, bgr & 0xFF);
}

TColor HsvToRgb(int h, int s, int v) {
  h %= 240;
  if (h < 0) h += 240;
  s = std::clamp(s, 0, 240);
  v = std::clamp(v, 0, 240);
  // Channel values on 0..255 from fractions of 240 (value) and 240*40 (sector part).
  auto scaled = [v](long double frac) { return RoundInt(v * 255.0L / 240 * frac); };
  if (s == 0) {
    int c = scaled(1);
    return RGBColor(c, c, c);
  }
  int sector = h / 40;
  int f = h % 40;
  int V = scaled(1);
  int p = scaled((240.0L - s) / 240);
  int q = scaled((240.0L * 40 - static_cast<long double>(s) * f) / (240 * 40));
  int t = scaled((240.0L * 40 - static_cast<long double>(s) * (40 - f)) / (240 * 40));
  switch (sector) {
    case 0: return RGBColor(V, t, p);
    case 1: return RGBColor(q, V, p);
    case 2: return RGBColor(p, V, t);
    case 3: return RGBColor(p, q, V);
    case 4: return RGBColor(t, p, V);
    default: return RGBColor(V, p, q);
  }
}

THsv RgbToHsv(TColor color) {
  TColor c = ColorToRGB(color);
  int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
  int mx = std::max({r, g, b});
  int mn = std::min({r, g, b});
  int delta = mx - mn;
  THsv out{0, 0, RoundInt(mx * 240.0L / 255)};
  if (mx > 0) out.S = RoundInt(delta * 240.0L / mx);
  if (delta > 0) {
    long double h;
    if (mx == r)
      h = 40.0L * (g - b) / delta;
    else if (mx == g)
      h = 80 + 40.0L * (b - r) / delta;
    else
      h = 160 + 40.0L * (r - g) / delta;
    out.H = RoundInt(h) % 240;
    if (out.H < 0) out.H += 240;
  }
  return out;
}

// ---------------------------------------------------------------------------------

int HexToBuf(const std::string& text, uint8_t* buffer, int size) {
  if (!buffer || size < 0) size = 0;
  int64_t count = static_cast<int64_t>(text.size() / 2);
  if (count > size) {
    TraceF("[VfxData.HexToBuf] Buffer to small. String data trimed ! (%lld -> %d)",
           static_cast<long long>(count), size);
    count = size;
  }
  for (int64_t i = 0; i < count; ++i)
    buffer[i] = static_cast<uint8_t>(HexDigit(text[2 * i]) << 4 | HexDigit(text[2 * i + 1]));
  return static_cast<int>(count);
}

std::string BufToHex(const uint8_t* buffer, int size) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  if (!buffer || size <= 0) return out;
  out.reserve(static_cast<size_t>(size) * 2);
  for (int i = 0; i < size; ++i) {
    out += kDigits[buffer[i] >> 4];
    out += kDigits[buffer[i] & 0x0F];
  }
  return out;
}

// ---------------------------------------------------------------------------------

std::string IniFileName() { return UserFolder() + IniFileBaseName; }

std::string HelpFileName() { return DataFolder() + HelpFileBaseName; }

bool HelpFileNameValid(const std::string& helpFile) {
  return UpperCase(ExtractFileExt(helpFile)) == ".CHM";
}

// ---------------------------------------------------------------------------------

bool IsProjectWindowCaption(const std::string& caption) {
  static const std::string kPrefix = std::string(ProjectWindowCaption).substr(0, 13);
  return caption.compare(0, kPrefix.size(), kPrefix) == 0;
}

TRect PlayerWindowRect(const std::vector<TChildWindowInfo>& children, const TRect& clientArea) {
  constexpr int kWidth = 312, kHeight = 256;
  const TChildWindowInfo* project = nullptr;
  for (const auto& w : children)
    if (IsProjectWindowCaption(w.Caption)) {
      project = &w;
      break;
    }
  if (!project) return Rect(0, 30, kWidth, 30 + kHeight);

  const TRect& p = project->Bounds;
  const int bottom = clientArea.Bottom;
  TRect r;
  if (p.Bottom + 100 < bottom) {
    // under the project window, raised to end at the client area's bottom
    r = Rect(p.Left, p.Bottom, p.Left + kWidth, p.Bottom + kHeight);
    if (r.Bottom > bottom) r = Rect(r.Left, bottom - kHeight, r.Right, bottom);
  } else {
    // beside the project window, at its top
    int left = p.Left - kWidth;
    if (left <= 0) left = p.Left;
    r = Rect(left, p.Top, left + kWidth, p.Top + kHeight);
  }
  if (r.Bottom > bottom - 44) r = Rect(r.Left, bottom - 150 - kHeight, r.Right, bottom - 150);
  if (r.Left < 0) r = Rect(0, r.Top, kWidth, r.Bottom);
  if (r.Top < 0) r = Rect(r.Left, 0, r.Right, kHeight);
  return r;
}

}  // namespace movara
