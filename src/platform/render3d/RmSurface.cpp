#include "platform/render3d/RmSurface.h"

#include <algorithm>
#include <cstring>
#include <new>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "base/Exceptions.h"
#include "platform/render3d/RmStretch.h"

namespace movara {
namespace {

// round(x / 255) for 0 <= x <= 255 * 255; exact (x / 255 never ends in a half).
inline uint32_t Div255(uint32_t x) {
  x += 128;
  return (x + (x >> 8)) >> 8;
}

bool ValidRect(const TRect& r) { return r.Right >= r.Left && r.Bottom >= r.Top; }

TRect Intersect(const TRect& a, const TRect& b) {
  return Rect(std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
              std::min(a.Bottom, b.Bottom));
}

bool IsEmpty(const TRect& r) { return r.Right <= r.Left || r.Bottom <= r.Top; }

// n pixels into B, G, R bytes.
void PackRowPlain(const TRmPixel* s, uint8_t* d, int n) {
  for (int x = 0; x < n; ++x, d += 3, ++s) {
    d[0] = static_cast<uint8_t>(*s);
    d[1] = static_cast<uint8_t>(*s >> 8);
    d[2] = static_cast<uint8_t>(*s >> 16);
  }
}

// n B, G, R byte triples into pixels.
void UnpackRowPlain(const uint8_t* s, TRmPixel* d, int n) {
  for (int x = 0; x < n; ++x, s += 3) d[x] = RmPixel(s[2], s[1], s[0]);
}

// n B, G, R, X pixels into pixels (the fourth byte is not kept).
void UnpackRow32(const uint8_t* s, TRmPixel* d, int n) {
  for (int x = 0; x < n; ++x) {
    uint32_t p;
    std::memcpy(&p, s + 4 * static_cast<size_t>(x), sizeof p);
    d[x] = p & 0xFFFFFF;
  }
}

#if defined(__x86_64__)
// The same four pixels at a time; every load stays inside the row.
__attribute__((target("ssse3"))) void UnpackRowVector(const uint8_t* s, TRmPixel* d, int n) {
  const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  int x = 0;
  for (; x + 6 <= n; x += 4)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x),
                     _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 3 * x)), spread));
  UnpackRowPlain(s + 3 * x, d + x, n - x);
}

// The same four pixels at a time; every store stays inside the row.
__attribute__((target("ssse3"))) void PackRowVector(const TRmPixel* s, uint8_t* d, int n) {
  const __m128i pick = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  int x = 0;
  for (; x + 6 <= n; x += 4)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 3 * x),
                     _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + x)), pick));
  PackRowPlain(s + x, d + 3 * x, n - x);
}

bool HasSsse3() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("ssse3");
}
const auto PackRow = HasSsse3() ? &PackRowVector : &PackRowPlain;
const auto UnpackRow = HasSsse3() ? &UnpackRowVector : &UnpackRowPlain;
#else
const auto PackRow = &PackRowPlain;
const auto UnpackRow = &UnpackRowPlain;
#endif

}  // namespace

TRmResult TRmSurface::Create(int width, int height) {
  if (width < 1 || height < 1 || width > kRmMaxSurfaceSide || height > kRmMaxSurfaceSide)
    return DDERR_INVALIDPARAMS;
  try {
    dib_.SetSize(width, height, 32);
  } catch (const std::bad_alloc&) {
    dib_.Clear();
    return DDERR_OUTOFMEMORY;
  } catch (const EMovara&) {
    dib_.Clear();
    return DDERR_INVALIDPARAMS;
  }
  ++version_;
  return DD_OK;
}

void TRmSurface::Release() {
  dib_.Clear();
  ++version_;
}

TRmResult TRmSurface::Clear(TRmPixel colour) { return Fill(Bounds(), colour); }

TRmResult TRmSurface::Fill(const TRect& rect, TRmPixel colour) {
  if (!Valid()) return DDERR_SURFACELOST;
  if (!ValidRect(rect)) return DDERR_INVALIDRECT;
  const TRect r = Intersect(rect, Bounds());
  if (IsEmpty(r)) return DD_OK;
  colour &= 0xFFFFFF;
  if (colour == 0) {
    for (int y = r.Top; y < r.Bottom; ++y) std::memset(Row(y) + r.Left, 0, static_cast<size_t>(r.Width()) * 4);
  } else {
    for (int y = r.Top; y < r.Bottom; ++y) std::fill(Row(y) + r.Left, Row(y) + r.Right, colour);
  }
  ++version_;
  if (r.Left == 0 && r.Top == 0 && r.Right == Width() && r.Bottom == Height()) {
    uniformVersion_ = version_;
    uniformColour_ = colour;
  }
  return DD_OK;
}

bool TRmSurface::ClipCopy(int& x, int& y, const TRmSurface& src, const TRect& srcRect,
                          TRect& r) const {
  r = Intersect(srcRect, src.Bounds());
  // Keep the destination in step with what the source clip removed.
  x += r.Left - srcRect.Left;
  y += r.Top - srcRect.Top;
  if (x < 0) {
    r.Left -= x;
    x = 0;
  }
  if (y < 0) {
    r.Top -= y;
    y = 0;
  }
  r.Right = std::min(r.Right, r.Left + (Width() - x));
  r.Bottom = std::min(r.Bottom, r.Top + (Height() - y));
  return !IsEmpty(r);
}

TRmResult TRmSurface::BltFast(int x, int y, const TRmSurface& src, const TRect& srcRect) {
  if (!Valid() || !src.Valid()) return DDERR_SURFACELOST;
  if (&src == this) return DDERR_INVALIDPARAMS;
  if (!ValidRect(srcRect)) return DDERR_INVALIDRECT;
  TRect r;
  if (!ClipCopy(x, y, src, srcRect, r)) return DD_OK;
  const size_t bytes = static_cast<size_t>(r.Width()) * sizeof(TRmPixel);
  for (int j = 0; j < r.Height(); ++j) std::memcpy(Row(y + j) + x, src.Row(r.Top + j) + r.Left, bytes);
  ++version_;
  return DD_OK;
}

TRmResult TRmSurface::Blt(const TRect& dstRect, const TRmSurface& src, const TRect& srcRect) {
  if (!Valid() || !src.Valid()) return DDERR_SURFACELOST;
  if (&src == this) return DDERR_INVALIDPARAMS;
  if (!ValidRect(srcRect) || !ValidRect(dstRect)) return DDERR_INVALIDRECT;
  if (IsEmpty(srcRect) || IsEmpty(dstRect)) return DD_OK;
  if (srcRect.Width() == dstRect.Width() && srcRect.Height() == dstRect.Height())
    return BltFast(dstRect.Left, dstRect.Top, src, srcRect);
  const bool whole = dstRect.Left == 0 && dstRect.Top == 0 && dstRect.Right == Width() && dstRect.Bottom == Height();
  if (!whole || !rm::StretchToSurface(src.dib_, srcRect, *this, false)) {
    try {
      dib_.StretchFrom(src.dib_, srcRect, dstRect);
    } catch (const std::bad_alloc&) {
      return DDERR_OUTOFMEMORY;
    }
  }
  ++version_;
  return DD_OK;
}

TRmResult TRmSurface::BltKeyed(int x, int y, const TRmSurface& src, const TRect& srcRect,
                               const TRmColorKey& key) {
  if (!Valid() || !src.Valid()) return DDERR_SURFACELOST;
  if (&src == this) return DDERR_INVALIDPARAMS;
  if (!ValidRect(srcRect)) return DDERR_INVALIDRECT;
  TRect r;
  if (!ClipCopy(x, y, src, srcRect, r)) return DD_OK;
  const bool single = (key.Low & 0xFFFFFF) == (key.High & 0xFFFFFF);
  const TRmPixel one = key.Low & 0xFFFFFF;
  for (int j = 0; j < r.Height(); ++j) {
    const TRmPixel* s = src.Row(r.Top + j) + r.Left;
    TRmPixel* d = Row(y + j) + x;
    if (single) {
      for (int i = 0; i < r.Width(); ++i)
        if ((s[i] & 0xFFFFFF) != one) d[i] = s[i] & 0xFFFFFF;
    } else {
      for (int i = 0; i < r.Width(); ++i)
        if (!key.Keyed(s[i])) d[i] = s[i] & 0xFFFFFF;
    }
  }
  ++version_;
  return DD_OK;
}

TRmResult TRmSurface::DrawAlpha(int x, int y, const TRmSurface& src, const TRect& srcRect,
                                int alpha) {
  if (!Valid() || !src.Valid()) return DDERR_SURFACELOST;
  if (&src == this) return DDERR_INVALIDPARAMS;
  if (alpha < 0 || alpha > 255) return DDERR_INVALIDPARAMS;
  if (!ValidRect(srcRect)) return DDERR_INVALIDRECT;
  if (alpha == 255) return BltFast(x, y, src, srcRect);
  TRect r;
  if (!ClipCopy(x, y, src, srcRect, r)) return DD_OK;
  const uint32_t a = static_cast<uint32_t>(alpha), na = 255 - a;
  for (int j = 0; j < r.Height(); ++j) {
    const TRmPixel* s = src.Row(r.Top + j) + r.Left;
    TRmPixel* d = Row(y + j) + x;
    for (int i = 0; i < r.Width(); ++i) {
      const uint32_t sp = s[i], dp = d[i];
      const uint32_t rr = Div255(((sp >> 16) & 0xFF) * a + ((dp >> 16) & 0xFF) * na);
      const uint32_t gg = Div255(((sp >> 8) & 0xFF) * a + ((dp >> 8) & 0xFF) * na);
      const uint32_t bb = Div255((sp & 0xFF) * a + (dp & 0xFF) * na);
      d[i] = (rr << 16) | (gg << 8) | bb;
    }
  }
  ++version_;
  return DD_OK;
}

TRmResult TRmSurface::LoadFromDIB(const TDIB& dib, const TRect& source, bool flipRows) {
  if (!Valid()) return DDERR_SURFACELOST;
  if (dib.Empty() || source.Width() <= 0 || source.Height() <= 0) return DDERR_INVALIDPARAMS;
  const int bits = dib.BitCount();
  const bool inside = source.Left >= 0 && source.Top >= 0 && source.Right <= dib.Width() &&
                      source.Bottom <= dib.Height();
  if (inside && (bits == 24 || bits == 32) && source.Width() == Width() &&
      source.Height() == Height()) {
    // One to one: the rows copied into pixels, no resampling.
    for (int y = 0; y < Height(); ++y) {
      const uint8_t* s = dib.ScanLine(source.Top + y) + static_cast<size_t>(source.Left) * (bits / 8);
      TRmPixel* d = Row(flipRows ? Height() - 1 - y : y);
      if (bits == 32)
        UnpackRow32(s, d, Width());
      else
        UnpackRow(s, d, Width());
    }
  } else if (!rm::StretchToSurface(dib, source, *this, flipRows)) {
    try {
      dib_.StretchFrom(dib, source, Bounds());
    } catch (const std::bad_alloc&) {
      return DDERR_OUTOFMEMORY;
    }
    if (flipRows) {
      const int h = Height(), w = Width();
      for (int y = 0; y < h / 2; ++y) std::swap_ranges(Row(y), Row(y) + w, Row(h - 1 - y));
    }
  }
  ++version_;
  return DD_OK;
}

TRmResult TRmSurface::SaveToDIB(TDIB& dib, const TRect& target) const {
  if (!Valid()) return DDERR_SURFACELOST;
  if (dib.Empty() || target.Width() <= 0 || target.Height() <= 0) return DDERR_INVALIDPARAMS;
  const int bits = dib.BitCount();
  try {
    if (bits != 24 && bits != 32) {
      // Other depths go through a 24-bit copy of the picture and back.
      TDIB deep = dib.ConvertTo(24);
      TRmResult res = SaveToDIB(deep, target);
      if (res != DD_OK) return res;
      TDIB back = deep.ConvertTo(bits, bits == 16 ? dib.PixelFormat() : pf555);
      dib = std::move(back);
      return DD_OK;
    }
    if (target.Width() != Width() || target.Height() != Height()) {
      dib.StretchFrom(dib_, Bounds(), target);
      return DD_OK;
    }
  } catch (const std::bad_alloc&) {
    return DDERR_OUTOFMEMORY;
  }
  // One to one, clipped to the picture.
  const int x0 = std::max(0, target.Left), x1 = std::min(dib.Width(), target.Right);
  const int y0 = std::max(0, target.Top), y1 = std::min(dib.Height(), target.Bottom);
  for (int y = y0; y < y1; ++y) {
    const TRmPixel* s = Row(y - target.Top) + (x0 - target.Left);
    uint8_t* d = dib.ScanLine(y) + static_cast<size_t>(x0) * (bits / 8);
    if (bits == 32) {
      for (int x = x0; x < x1; ++x, d += 4, ++s) {
        d[0] = static_cast<uint8_t>(*s);
        d[1] = static_cast<uint8_t>(*s >> 8);
        d[2] = static_cast<uint8_t>(*s >> 16);
        d[3] = 0;
      }
    } else {
      PackRow(s, d, x1 - x0);
    }
  }
  return DD_OK;
}

}  // namespace movara
