// TDIB: depth conversion and stretching.
//
// Conversions go through B,G,R,X rows. Indexed targets get the picture's own colours
// when they fit, else an optimised palette (median cut, splitting by variance) with
// nearest-colour mapping; 1-bit pictures with more than two colours become black and
// white by brightness.
// Stretching is separable with per-axis integer weights: area averaging along an axis
// that shrinks, bilinear along one that grows, so results are the same on every machine.
#include <algorithm>
#include <array>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "base/Dib.h"
#include "base/DibStretch.h"
#include "base/Exceptions.h"
#include "base/Format.h"

namespace movara {

namespace {

inline uint8_t Expand5(unsigned v) { return static_cast<uint8_t>((v << 3) | (v >> 2)); }
inline uint8_t Expand6(unsigned v) { return static_cast<uint8_t>((v << 2) | (v >> 4)); }
inline unsigned To5(unsigned v) { return (v * 31 + 127) / 255; }
inline unsigned To6(unsigned v) { return (v * 63 + 127) / 255; }

inline uint32_t Key(const uint8_t* bgrx) { return bgrx[0] | (bgrx[1] << 8) | (bgrx[2] << 16); }

// Decodes rows of any depth into B,G,R,X bytes (X is the source's fourth byte for
// 32-bit pictures, else 0).
class TRowDecoder {
 public:
  explicit TRowDecoder(const TDIB& d) : d_(d) {
    if (d.BitCount() <= 8) {
      const auto& pal = d.Palette();
      for (size_t i = 0; i < pal.size() && i < 256; ++i)
        pal_[i] = {pal[i].rgbBlue, pal[i].rgbGreen, pal[i].rgbRed, 0};
    }
  }

  // Pixels x0 .. x1-1 of row y (from the top) into out, 4 bytes each.
  void Decode(int y, int x0, int x1, uint8_t* out) const {
    const uint8_t* row = d_.ScanLine(y);
    switch (d_.BitCount()) {
      case 1:
        for (int x = x0; x < x1; ++x, out += 4) Put(out, pal_[(row[x >> 3] >> (7 - (x & 7))) & 1]);
        break;
      case 4:
        for (int x = x0; x < x1; ++x, out += 4)
          Put(out, pal_[(x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4)]);
        break;
      case 8:
        for (int x = x0; x < x1; ++x, out += 4) Put(out, pal_[row[x]]);
        break;
      case 16: {
        const bool f565 = d_.PixelFormat() == pf565;
        for (int x = x0; x < x1; ++x, out += 4) {
          unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
          out[0] = Expand5(v & 31);
          if (f565) {
            out[1] = Expand6((v >> 5) & 63);
            out[2] = Expand5((v >> 11) & 31);
          } else {
            out[1] = Expand5((v >> 5) & 31);
            out[2] = Expand5((v >> 10) & 31);
          }
          out[3] = 0;
        }
        break;
      }
      case 24:
        for (int x = x0; x < x1; ++x, out += 4) {
          out[0] = row[3 * x];
          out[1] = row[3 * x + 1];
          out[2] = row[3 * x + 2];
          out[3] = 0;
        }
        break;
      case 32:
        std::memcpy(out, row + 4 * x0, static_cast<size_t>(x1 - x0) * 4);
        break;
    }
  }

 private:
  static void Put(uint8_t* out, const std::array<uint8_t, 4>& c) { std::memcpy(out, c.data(), 4); }
  const TDIB& d_;
  std::array<std::array<uint8_t, 4>, 256> pal_{};  // entries past the palette are black
};

// ---- palettes for the indexed depths --------------------------------------------

// Optimised palette by variance splitting over a 5-5-5 histogram: repeatedly take the
// box whose colours spread most (largest sum of squared distances to its mean) and cut
// it where the two halves together spread least.
class TMedianCut {
 public:
  void Add(const uint8_t* bgrx) {
    int i = ((bgrx[2] >> 3) << 10) | ((bgrx[1] >> 3) << 5) | (bgrx[0] >> 3);
    Moments& b = bins_[static_cast<size_t>(i)];
    b.n += 1;
    b.r += bgrx[2];
    b.g += bgrx[1];
    b.b += bgrx[0];
    b.sq += bgrx[2] * bgrx[2] + bgrx[1] * bgrx[1] + bgrx[0] * bgrx[0];
  }

  std::vector<TRGBQuad> Palette(int colours) {
    std::vector<Box> boxes;
    Box all;
    all.lo = {0, 0, 0};
    all.hi = {31, 31, 31};
    Shrink(all);
    if (all.m.n == 0) return {};
    boxes.push_back(all);
    while (static_cast<int>(boxes.size()) < colours) {
      int best = -1;
      double bestSpread = 0;
      for (size_t i = 0; i < boxes.size(); ++i) {
        const Box& b = boxes[i];
        if (b.lo == b.hi) continue;  // one histogram cell: cannot be cut
        double s = b.m.Spread();
        if (best < 0 || s > bestSpread) {
          bestSpread = s;
          best = static_cast<int>(i);
        }
      }
      if (best < 0) break;
      Box a = boxes[static_cast<size_t>(best)], b;
      Split(a, b);
      boxes[static_cast<size_t>(best)] = a;
      boxes.push_back(b);
    }
    std::vector<TRGBQuad> pal;
    for (const Box& bx : boxes) {
      const Moments& m = bx.m;
      pal.push_back(TRGBQuad{static_cast<uint8_t>((m.b + m.n / 2) / m.n), static_cast<uint8_t>((m.g + m.n / 2) / m.n),
                             static_cast<uint8_t>((m.r + m.n / 2) / m.n), 0});
    }
    return pal;
  }

 private:
  struct Moments {
    uint64_t n = 0, r = 0, g = 0, b = 0, sq = 0;
    void operator+=(const Moments& o) {
      n += o.n;
      r += o.r;
      g += o.g;
      b += o.b;
      sq += o.sq;
    }
    Moments operator-(const Moments& o) const { return {n - o.n, r - o.r, g - o.g, b - o.b, sq - o.sq}; }
    // Sum of squared distances of the colours to their mean.
    double Spread() const {
      if (n == 0) return 0;
      double rr = double(r), gg = double(g), bb = double(b);
      return double(sq) - (rr * rr + gg * gg + bb * bb) / double(n);
    }
  };
  struct Box {
    std::array<int, 3> lo{}, hi{};  // r, g, b in 5-bit steps, inclusive
    Moments m;
  };
  static size_t Index(const std::array<int, 3>& v) {
    return static_cast<size_t>((v[0] << 10) | (v[1] << 5) | v[2]);
  }

  // Tightens the box around its populated cells and sums their moments.
  void Shrink(Box& bx) const {
    std::array<int, 3> lo = {32, 32, 32}, hi = {-1, -1, -1}, v;
    Moments m;
    for (v[0] = bx.lo[0]; v[0] <= bx.hi[0]; ++v[0])
      for (v[1] = bx.lo[1]; v[1] <= bx.hi[1]; ++v[1])
        for (v[2] = bx.lo[2]; v[2] <= bx.hi[2]; ++v[2]) {
          const Moments& c = bins_[Index(v)];
          if (c.n == 0) continue;
          m += c;
          for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], v[k]);
            hi[k] = std::max(hi[k], v[k]);
          }
        }
    bx.m = m;
    if (m.n > 0) {
      bx.lo = lo;
      bx.hi = hi;
    }
  }

  void Split(Box& a, Box& b) const {
    // Moments of every slice of the box along each axis.
    std::array<std::array<Moments, 32>, 3> slices{};
    std::array<int, 3> v;
    for (v[0] = a.lo[0]; v[0] <= a.hi[0]; ++v[0])
      for (v[1] = a.lo[1]; v[1] <= a.hi[1]; ++v[1])
        for (v[2] = a.lo[2]; v[2] <= a.hi[2]; ++v[2]) {
          const Moments& c = bins_[Index(v)];
          if (c.n == 0) continue;
          for (int k = 0; k < 3; ++k) slices[static_cast<size_t>(k)][static_cast<size_t>(v[k])] += c;
        }
    int bestAxis = -1, bestCut = 0;
    double bestSpread = 0;
    for (int k : {1, 0, 2}) {  // green first on ties: the eye sees it best
      Moments left;
      for (int cut = a.lo[k]; cut < a.hi[k]; ++cut) {
        left += slices[static_cast<size_t>(k)][static_cast<size_t>(cut)];
        double s = left.Spread() + (a.m - left).Spread();
        if (bestAxis < 0 || s < bestSpread) {
          bestAxis = k;
          bestCut = cut;
          bestSpread = s;
        }
      }
    }
    b = a;
    a.hi[static_cast<size_t>(bestAxis)] = bestCut;
    b.lo[static_cast<size_t>(bestAxis)] = bestCut + 1;
    Shrink(a);
    Shrink(b);
  }

  std::vector<Moments> bins_ = std::vector<Moments>(32768);
};

int NearestIndex(const std::vector<TRGBQuad>& pal, int used, const uint8_t* bgrx) {
  int best = 0, bestD = 1 << 30;
  for (int i = 0; i < used; ++i) {
    const TRGBQuad& q = pal[static_cast<size_t>(i)];
    int db = q.rgbBlue - bgrx[0], dg = q.rgbGreen - bgrx[1], dr = q.rgbRed - bgrx[2];
    int d = dr * dr + dg * dg + db * db;
    if (d < bestD) {
      bestD = d;
      best = i;
      if (d == 0) break;
    }
  }
  return best;
}

// Chooses the palette of an indexed target and maps colours to its entries.
class TQuantiser {
 public:
  TQuantiser(const TDIB& src, const TRowDecoder& dec, int bits) : size_(1 << bits) {
    const int w = src.Width(), h = src.Height();
    std::vector<uint8_t> row(static_cast<size_t>(w) * 4);
    // The picture's own colours when they fit.
    std::unordered_set<uint32_t> seen;
    bool fits = true;
    for (int y = 0; y < h && fits; ++y) {
      dec.Decode(y, 0, w, row.data());
      for (int x = 0; x < w; ++x) {
        seen.insert(Key(&row[static_cast<size_t>(x) * 4]));
        if (static_cast<int>(seen.size()) > size_) {
          fits = false;
          break;
        }
      }
    }
    if (fits) {
      std::vector<uint32_t> colours(seen.begin(), seen.end());
      std::sort(colours.begin(), colours.end());
      for (uint32_t c : colours)
        pal_.push_back(TRGBQuad{static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8),
                                static_cast<uint8_t>(c >> 16), 0});
    } else if (bits == 1) {
      byBrightness_ = true;
      pal_ = {TRGBQuad{0, 0, 0, 0}, TRGBQuad{255, 255, 255, 0}};
    } else {
      TMedianCut mc;
      for (int y = 0; y < h; ++y) {
        dec.Decode(y, 0, w, row.data());
        for (int x = 0; x < w; ++x) mc.Add(&row[static_cast<size_t>(x) * 4]);
      }
      pal_ = mc.Palette(size_);
    }
    used_ = static_cast<int>(pal_.size());
    pal_.resize(static_cast<size_t>(size_));
  }

  const std::vector<TRGBQuad>& Palette() const { return pal_; }

  int Map(const uint8_t* bgrx) {
    if (byBrightness_) return (bgrx[2] * 299 + bgrx[1] * 587 + bgrx[0] * 114) >= 128 * 1000 ? 1 : 0;
    uint32_t k = Key(bgrx);
    if (k == lastKey_) return lastIndex_;
    auto it = cache_.find(k);
    int idx;
    if (it != cache_.end()) {
      idx = it->second;
    } else {
      idx = NearestIndex(pal_, used_, bgrx);
      if (cache_.size() >= kMaxCached) cache_.clear();  // a huge picture of all colours
      cache_.emplace(k, static_cast<uint8_t>(idx));
    }
    lastKey_ = k;
    lastIndex_ = idx;
    return idx;
  }

 private:
  static constexpr size_t kMaxCached = size_t(1) << 20;
  int size_;
  int used_ = 0;
  bool byBrightness_ = false;
  std::vector<TRGBQuad> pal_;
  std::unordered_map<uint32_t, uint8_t> cache_;
  uint32_t lastKey_ = 0xFFFFFFFFu;
  int lastIndex_ = 0;
};

void PutIndexed(uint8_t* row, int x, int bits, int v) {
  switch (bits) {
    case 1: {
      uint8_t m = static_cast<uint8_t>(0x80 >> (x & 7));
      row[x >> 3] = static_cast<uint8_t>(v ? (row[x >> 3] | m) : (row[x >> 3] & ~m));
      break;
    }
    case 4: {
      uint8_t& b = row[x >> 1];
      b = (x & 1) ? static_cast<uint8_t>((b & 0xF0) | (v & 0x0F)) : static_cast<uint8_t>((b & 0x0F) | (v << 4));
      break;
    }
    default:
      row[x] = static_cast<uint8_t>(v);
  }
}

int GetIndexed(const uint8_t* row, int x, int bits) {
  switch (bits) {
    case 1:
      return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4:
      return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    default:
      return row[x];
  }
}

// ---- stretching ----------------------------------------------------------------

// First destination index whose pixel centre maps at or past source position c.
int64_t FirstDestAt(int64_t c, int64_t srcLen, int64_t dstLen) {
  int64_t num = 2 * c * dstLen - srcLen, den = 2 * srcLen;
  return num >= 0 ? (num + den - 1) / den : -((-num) / den);
}

// Horizontal pass of one source row: `src` holds source pixels from index `base` on,
// Bpp bytes each; the result has C channels (a fourth channel missing in the source
// is 0) with 8 fraction bits. T is the number of taps, 0 when only known at run time.
template <int C, int Bpp, int T>
void FilterRow(const TStretchAxis& xw, const uint8_t* src, int base, uint16_t* out) {
  const int taps = T > 0 ? T : xw.taps;
  const size_t n = xw.first.size();
  const int32_t* wp = xw.weights.data();
  for (size_t i = 0; i < n; ++i, out += C, wp += taps) {
    const uint8_t* p = src + static_cast<size_t>(xw.first[i] - base) * Bpp;
    uint32_t acc[C] = {};
    for (int k = 0; k < taps; ++k, p += Bpp) {
      const uint32_t wgt = static_cast<uint32_t>(wp[k]);
      for (int c = 0; c < C && c < Bpp; ++c) acc[c] += wgt * p[c];
    }
    for (int c = 0; c < C; ++c) out[c] = static_cast<uint16_t>((acc[c] + 32) >> 6);
  }
}

using TFilterRowFn = void (*)(const TStretchAxis&, const uint8_t*, int, uint16_t*);

template <int C, int Bpp>
TFilterRowFn PickFilterRow(int taps) {
  switch (taps) {
    case 1:
      return FilterRow<C, Bpp, 1>;
    case 2:
      return FilterRow<C, Bpp, 2>;
    case 3:
      return FilterRow<C, Bpp, 3>;
    default:
      return FilterRow<C, Bpp, 0>;
  }
}

// Vertical pass: n output bytes from `taps` filtered rows. Works in blocks of fixed
// length so that the compiler turns the inner loops into vector code.
template <int T>
void BlendRows(const uint16_t* const* rows, const int32_t* w, int taps, size_t n, uint8_t* out) {
  if (T > 0) taps = T;
  constexpr size_t kBlock = 16;
  size_t e = 0;
  for (; e + kBlock <= n; e += kBlock) {
    uint32_t acc[kBlock];
    for (size_t k = 0; k < kBlock; ++k) acc[k] = StretchFinalRound;
    for (int t = 0; t < taps; ++t) {
      const uint32_t wt = static_cast<uint32_t>(w[t]);
      const uint16_t* r = rows[t] + e;
      for (size_t k = 0; k < kBlock; ++k) acc[k] += wt * r[k];
    }
    for (size_t k = 0; k < kBlock; ++k) out[e + k] = static_cast<uint8_t>(acc[k] >> 22);
  }
  for (; e < n; ++e) {
    uint32_t acc = StretchFinalRound;
    for (int t = 0; t < taps; ++t) acc += static_cast<uint32_t>(w[t]) * rows[t][e];
    out[e] = static_cast<uint8_t>(acc >> 22);
  }
}

}  // namespace

TDIB TDIB::ConvertTo(int bitCount, TDIBPixelFormat pf) const {
  if (bitCount == 16 && pf == pf888) pf = pf555;
  if (bitCount == bitCount_ && (bitCount != 16 || pf == pixelFormat_)) return *this;
  TDIB out;
  out.SetSize(width_, height_, bitCount);  // refuses a bad depth
  if (bitCount == 16) out.SetPixelFormat(pf);
  if (Empty()) return out;
  const int w = width_, h = height_;

  // Indexed to a deeper indexed depth: same palette, same indices.
  if (bitCount_ <= 8 && bitCount <= 8 && bitCount > bitCount_) {
    auto& pal = out.Palette();
    std::fill(pal.begin(), pal.end(), TRGBQuad{});
    std::copy_n(palette_.begin(), std::min(palette_.size(), pal.size()), pal.begin());
    for (int y = 0; y < h; ++y) {
      const uint8_t* s = ScanLine(y);
      uint8_t* d = out.ScanLine(y);
      for (int x = 0; x < w; ++x) PutIndexed(d, x, bitCount, GetIndexed(s, x, bitCount_));
    }
    return out;
  }

  TRowDecoder dec(*this);
  std::vector<uint8_t> row(static_cast<size_t>(w) * 4);
  if (bitCount <= 8) {
    TQuantiser q(*this, dec, bitCount);
    out.Palette() = q.Palette();
    for (int y = 0; y < h; ++y) {
      dec.Decode(y, 0, w, row.data());
      uint8_t* d = out.ScanLine(y);
      for (int x = 0; x < w; ++x) PutIndexed(d, x, bitCount, q.Map(&row[static_cast<size_t>(x) * 4]));
    }
    return out;
  }
  for (int y = 0; y < h; ++y) {
    dec.Decode(y, 0, w, row.data());
    uint8_t* d = out.ScanLine(y);
    const uint8_t* s = row.data();
    switch (bitCount) {
      case 16:
        for (int x = 0; x < w; ++x, s += 4) {
          unsigned v = pf == pf565 ? (To5(s[2]) << 11) | (To6(s[1]) << 5) | To5(s[0])
                                   : (To5(s[2]) << 10) | (To5(s[1]) << 5) | To5(s[0]);
          d[2 * x] = static_cast<uint8_t>(v);
          d[2 * x + 1] = static_cast<uint8_t>(v >> 8);
        }
        break;
      case 24:
        for (int x = 0; x < w; ++x, s += 4, d += 3) {
          d[0] = s[0];
          d[1] = s[1];
          d[2] = s[2];
        }
        break;
      case 32:
        std::memcpy(d, s, static_cast<size_t>(w) * 4);
        break;
    }
  }
  return out;
}

void TDIB::SetBitCount(int bitCount) {
  TDIBPixelFormat pf = bitCount_ == 16 ? pixelFormat_ : pf555;
  if (bitCount == bitCount_ && (bitCount != 16 || pf == pixelFormat_)) return;
  *this = ConvertTo(bitCount, pf);
}

void TDIB::StretchFrom(const TDIB& srcPic, const TRect& srcRect, const TRect& dstRect) {
  if (bitCount_ != 24 && bitCount_ != 32)
    throw EConvertError(Format("TDIB: cannot stretch into a %d-bit picture", bitCount_));
  if (&srcPic == this) {
    TDIB copy(*this);
    StretchFrom(copy, srcRect, dstRect);
    return;
  }
  // Extents in 64 bits: rectangles may be anything, their differences overflow int.
  const int64_t sw = int64_t(srcRect.Right) - srcRect.Left, sh = int64_t(srcRect.Bottom) - srcRect.Top;
  const int64_t dw = int64_t(dstRect.Right) - dstRect.Left, dh = int64_t(dstRect.Bottom) - dstRect.Top;
  if (srcPic.Empty() || Empty() || sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
  constexpr int64_t kMaxExtent = int64_t(1) << 30;
  if (sw > kMaxExtent || sh > kMaxExtent || dw > kMaxExtent || dh > kMaxExtent) return;

  // The part of the source rectangle inside the source picture, relative to srcRect.
  const int64_t cx0 = std::max(srcRect.Left, 0) - int64_t(srcRect.Left);
  const int64_t cx1 = std::min(srcRect.Right, srcPic.Width()) - int64_t(srcRect.Left);
  const int64_t cy0 = std::max(srcRect.Top, 0) - int64_t(srcRect.Top);
  const int64_t cy1 = std::min(srcRect.Bottom, srcPic.Height()) - int64_t(srcRect.Top);
  if (cx0 >= cx1 || cy0 >= cy1) return;  // from here on all four fit an int
  // Destination pixels whose centres map into that part and lie inside this picture.
  const int64_t ex0 = std::max<int64_t>({FirstDestAt(cx0, sw, dw), -int64_t(dstRect.Left), 0});
  const int64_t ex1 = std::min<int64_t>({FirstDestAt(cx1, sw, dw), int64_t(width_) - dstRect.Left, dw});
  const int64_t ey0 = std::max<int64_t>({FirstDestAt(cy0, sh, dh), -int64_t(dstRect.Top), 0});
  const int64_t ey1 = std::min<int64_t>({FirstDestAt(cy1, sh, dh), int64_t(height_) - dstRect.Top, dh});
  if (ex0 >= ex1 || ey0 >= ey1) return;
  // Within [0, dw] and [0, dh], so int from here on.
  const int dx0 = static_cast<int>(ex0), dx1 = static_cast<int>(ex1);
  const int dy0 = static_cast<int>(ey0), dy1 = static_cast<int>(ey1);

  const TStretchAxis xw = StretchAxisWeights(sw, dw, dx0, dx1, static_cast<int>(cx0), static_cast<int>(cx1));
  const TStretchAxis yw = StretchAxisWeights(sh, dh, dy0, dy1, static_cast<int>(cy0), static_cast<int>(cy1));
  const int srcBits = srcPic.BitCount();
  const bool direct = srcBits == 24 || srcBits == 32;  // else rows are decoded to B,G,R,X
  const int srcBpp = srcBits == 24 ? 3 : 4;
  // Filtered rows have the layout of this picture's rows: 3 or 4 bytes per pixel (the
  // fourth byte of a 32-bit source is carried along, else 0).
  const int outBpp = bitCount_ / 8;
  TFilterRowFn filter = outBpp == 3 ? (srcBpp == 3 ? PickFilterRow<3, 3>(xw.taps) : PickFilterRow<3, 4>(xw.taps))
                                    : (srcBpp == 3 ? PickFilterRow<4, 3>(xw.taps) : PickFilterRow<4, 4>(xw.taps));
  const size_t rowLen = static_cast<size_t>(dx1 - dx0) * outBpp;

  // Horizontally filtered source rows, kept in a ring as long as a destination row needs them.
  const int ringRows = yw.taps;
  std::vector<uint16_t> ring(rowLen * static_cast<size_t>(ringRows));
  std::vector<int> ringTag(static_cast<size_t>(ringRows), -1);
  TRowDecoder dec(srcPic);
  std::vector<uint8_t> decoded;
  if (!direct) decoded.resize(static_cast<size_t>(xw.hi - xw.lo + 1) * 4);

  auto filtered = [&](int sy) -> const uint16_t* {
    const size_t slot = static_cast<size_t>(sy % ringRows);
    uint16_t* out = ring.data() + slot * rowLen;
    if (ringTag[slot] == sy) return out;
    ringTag[slot] = sy;
    const int y = srcRect.Top + sy;
    const int x0 = srcRect.Left + xw.lo;
    if (direct) {
      filter(xw, srcPic.ScanLine(y) + static_cast<size_t>(x0) * srcBpp, xw.lo, out);
    } else {
      dec.Decode(y, x0, srcRect.Left + xw.hi + 1, decoded.data());
      filter(xw, decoded.data(), xw.lo, out);
    }
    return out;
  };

  auto blend = yw.taps == 1 ? BlendRows<1> : yw.taps == 2 ? BlendRows<2> : yw.taps == 3 ? BlendRows<3> : BlendRows<0>;
  std::vector<const uint16_t*> rows(static_cast<size_t>(yw.taps));
  for (int j = dy0; j < dy1; ++j) {
    const size_t jj = static_cast<size_t>(j - dy0);
    for (int k = 0; k < yw.taps; ++k) rows[static_cast<size_t>(k)] = filtered(yw.first[jj] + k);
    uint8_t* d = ScanLine(dstRect.Top + j) + static_cast<size_t>(dstRect.Left + dx0) * outBpp;
    blend(rows.data(), yw.weights.data() + jj * static_cast<size_t>(yw.taps), yw.taps, rowLen, d);
  }
}

TDIB TDIB::Stretched(int width, int height, int bitCount) const {
  TDIB out;
  out.SetSize(width, height, bitCount == 32 ? 32 : 24);
  out.StretchFrom(*this, Rect(0, 0, width_, height_), Rect(0, 0, width, height));
  if (bitCount != 24 && bitCount != 32) out.SetBitCount(bitCount);
  return out;
}

}  // namespace movara
