#pragma once
// TRmSurface: a 32-bit pixel buffer, B,G,R,X bytes per pixel, the drawing surface of the
// renderer (render targets, textures, background pictures, keying scratch surfaces).
//
// The pixels live in a 32-bit TDIB, so rows are stored bottom-up exactly as in a DIB:
// Row(y) is the row y counted from the top and Pitch() (the byte distance from Row(y)
// to Row(y + 1)) is negative. Always address rows through Row(y) and Pitch().
//
// A pixel value (TRmPixel) read as a little-endian uint32 is 0xXXRRGGBB. The top byte is
// not alpha: the renderer writes it as 0 and never reads it, colour keys ignore it.
#include <cstdint>

#include "base/Dib.h"
#include "platform/render3d/RmResult.h"

namespace movara {

using TRmPixel = uint32_t;

inline constexpr TRmPixel RmPixel(int r, int g, int b) {
  return (static_cast<uint32_t>(r & 0xFF) << 16) | (static_cast<uint32_t>(g & 0xFF) << 8) |
         static_cast<uint32_t>(b & 0xFF);
}
inline constexpr int RmRed(TRmPixel p) { return (p >> 16) & 0xFF; }
inline constexpr int RmGreen(TRmPixel p) { return (p >> 8) & 0xFF; }
inline constexpr int RmBlue(TRmPixel p) { return p & 0xFF; }
// The program's TColor (red in the low byte) as a pixel, and back.
inline constexpr TRmPixel RmPixelFromColor(TColor c) {
  return RmPixel(GetRValue(c), GetGValue(c), GetBValue(c));
}
inline constexpr TColor RmColorFromPixel(TRmPixel p) {
  return RGBColor(RmRed(p), RmGreen(p), RmBlue(p));
}

// A source colour key: a pixel is keyed (left out) when each of its red, green and blue
// lies within the same channel of Low .. High. One key colour has Low = High.
struct TRmColorKey {
  TRmPixel Low = 0;
  TRmPixel High = 0;
  static constexpr TRmColorKey Single(TRmPixel c) { return TRmColorKey{c, c}; }
  constexpr bool Keyed(TRmPixel p) const {
    return RmRed(p) >= RmRed(Low) && RmRed(p) <= RmRed(High) && RmGreen(p) >= RmGreen(Low) &&
           RmGreen(p) <= RmGreen(High) && RmBlue(p) >= RmBlue(Low) && RmBlue(p) <= RmBlue(High);
  }
};

// Largest side of a surface.
inline constexpr int kRmMaxSurfaceSide = 16384;

class TRmSurface {
 public:
  TRmSurface() = default;
  TRmSurface(const TRmSurface&) = delete;
  TRmSurface& operator=(const TRmSurface&) = delete;

  // Makes the buffer (black). DDERR_INVALIDPARAMS for a side below 1 or above
  // kRmMaxSurfaceSide, DDERR_OUTOFMEMORY when it cannot be allocated.
  TRmResult Create(int width, int height);
  void Release();
  bool Valid() const { return !dib_.Empty(); }

  int Width() const { return dib_.Width(); }
  int Height() const { return dib_.Height(); }
  int Pitch() const { return -dib_.RowSize(); }
  TRmPixel* Row(int y) { return reinterpret_cast<TRmPixel*>(dib_.ScanLine(y)); }
  const TRmPixel* Row(int y) const { return reinterpret_cast<const TRmPixel*>(dib_.ScanLine(y)); }
  TRmPixel Pixel(int x, int y) const { return Row(y)[x] & 0xFFFFFF; }
  TRect Bounds() const { return Rect(0, 0, Width(), Height()); }
  // The pixels as a 32-bit DIB (for saving or stretching).
  const TDIB& Dib() const { return dib_; }

  // Counts every change made through this class; who writes through Row() calls
  // Changed() afterwards, so that cached copies (the stretched scene background) are
  // made again.
  uint64_t Version() const { return version_; }
  void Changed() { ++version_; }
  // True when the surface is all one colour since its last whole fill (or Clear).
  bool Uniform(TRmPixel& colour) const {
    colour = uniformColour_;
    return Valid() && uniformVersion_ == version_;
  }

  // Fills the whole surface or a rectangle (clipped to the surface).
  TRmResult Clear(TRmPixel colour);
  TRmResult Fill(const TRect& rect, TRmPixel colour);

  // Copies srcRect of src into dstRect of this surface, stretched with area averaging
  // when shrinking and bilinear filtering when enlarging; a plain copy when the sizes
  // agree. Rectangles are clipped to their surfaces. src must be another surface.
  TRmResult Blt(const TRect& dstRect, const TRmSurface& src, const TRect& srcRect);
  // Unstretched copy of srcRect to (x, y).
  TRmResult BltFast(int x, int y, const TRmSurface& src, const TRect& srcRect);
  // As BltFast, leaving out the source pixels that the key covers.
  TRmResult BltKeyed(int x, int y, const TRmSurface& src, const TRect& srcRect,
                     const TRmColorKey& key);
  // Draws srcRect at (x, y) with constant opacity alpha (0 .. 255):
  // dst = (src * alpha + dst * (255 - alpha)) / 255, rounded, per channel.
  TRmResult DrawAlpha(int x, int y, const TRmSurface& src, const TRect& srcRect, int alpha);

  // Stretches the source rectangle of dib (top-down coordinates) over the whole surface
  // with good filtering; flipRows puts its top row into the surface's last row.
  // DDERR_INVALIDPARAMS for an empty picture or rectangle.
  TRmResult LoadFromDIB(const TDIB& dib, const TRect& source, bool flipRows = false);
  // Copies the whole surface into the target rectangle of dib, stretched when the sizes
  // differ. dib keeps its depth. DDERR_INVALIDPARAMS for an empty picture or rectangle.
  TRmResult SaveToDIB(TDIB& dib, const TRect& target) const;

 private:
  // Clips a same-size copy of srcRect of src to (x, y) against both surfaces; false when
  // nothing is left. On success r is the source part and (x, y) its destination.
  bool ClipCopy(int& x, int& y, const TRmSurface& src, const TRect& srcRect, TRect& r) const;

  TDIB dib_;
  uint64_t version_ = 0;
  uint64_t uniformVersion_ = ~uint64_t(0);  // version_ right after a whole fill
  TRmPixel uniformColour_ = 0;
};

}  // namespace movara
