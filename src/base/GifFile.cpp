#include "base/GifFile.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <unordered_map>

#include "base/Format.h"
#include "base/LoadFailure.h"
#include "base/Trace.h"

namespace movara {

namespace {

// ---------------------------------------------------------------------------------
// Reading

// A 12-bit LZW code stands for at most 4096 pixels, so a frame holds under 2731 pixels
// per byte of data, and the screen around a smaller frame holds none: a picture of
// more pixels than this per byte of file (past a free allowance for small pictures)
// comes from a lying header, and is refused before anything is allocated.
constexpr int64_t kGifFreePixels = int64_t(1) << 22;
constexpr int64_t kGifPixelsPerByte = 4096;

struct TGifSource {
  const uint8_t* data = nullptr;
  size_t size = 0;
  size_t pos = 0;
};

int GifReadMemory(GifFileType* gif, GifByteType* buf, int n) {
  auto* src = static_cast<TGifSource*>(gif->UserData);
  if (n <= 0 || src->pos >= src->size) return 0;
  size_t k = std::min(static_cast<size_t>(n), src->size - src->pos);
  std::memcpy(buf, src->data + src->pos, k);
  src->pos += k;
  return static_cast<int>(k);
}

struct TGifReaderCloser {
  void operator()(GifFileType* gif) const {
    int err = 0;
    DGifCloseFile(gif, &err);
  }
};
using TGifReaderPtr = std::unique_ptr<GifFileType, TGifReaderCloser>;

bool GifFailed(GifFileType* gif, const char* what) {
  TraceF("[GifFile] %s: %s", what, GifErrorString(gif->Error));
  return false;
}

// Row of the picture that the i-th decoded row of an interlaced frame belongs to:
// rows 0, 8, 16... first, then 4, 12..., then 2, 6, 10..., then the odd rows.
int InterlacedRow(int i, int height) {
  static const int kStart[4] = {0, 4, 2, 1};
  static const int kStep[4] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass) {
    int rows = kStart[pass] < height ? (height - kStart[pass] + kStep[pass] - 1) / kStep[pass] : 0;
    if (i < rows) return kStart[pass] + i * kStep[pass];
    i -= rows;
  }
  return -1;
}

std::vector<TRGBQuad> PaletteOf(const ColorMapObject* map) {
  std::vector<TRGBQuad> pal;
  if (!map || !map->Colors) return pal;
  int n = std::clamp(map->ColorCount, 0, 256);
  pal.resize(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i)
    pal[static_cast<size_t>(i)] =
        TRGBQuad{map->Colors[i].Blue, map->Colors[i].Green, map->Colors[i].Red, 0};
  return pal;
}

bool DecodeGif(const uint8_t* data, size_t size, TDIB& out) {
  TGifSource src{data, size, 0};
  int err = 0;
  TGifReaderPtr gif(DGifOpen(&src, GifReadMemory, &err));
  if (!gif) {
    TraceF("[GifFile] not a GIF: %s", GifErrorString(err));
    return false;
  }

  // Extensions up to the first image; its graphic control block may name a
  // transparent index.
  int transparent = -1;
  for (;;) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) return GifFailed(gif.get(), "record");
    if (type == IMAGE_DESC_RECORD_TYPE) break;
    if (type != EXTENSION_RECORD_TYPE) {
      TraceF("[GifFile] no image in the file");
      return false;
    }
    int code = 0;
    GifByteType* ext = nullptr;
    if (DGifGetExtension(gif.get(), &code, &ext) == GIF_ERROR)
      return GifFailed(gif.get(), "extension");
    if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4)
      transparent = (ext[1] & 0x01) ? ext[4] : -1;
    while (ext) {
      if (DGifGetExtensionNext(gif.get(), &ext) == GIF_ERROR)
        return GifFailed(gif.get(), "extension data");
    }
  }
  if (DGifGetImageDesc(gif.get()) == GIF_ERROR) return GifFailed(gif.get(), "image descriptor");

  const GifImageDesc& desc = gif->Image;
  const int64_t left = desc.Left, top = desc.Top, fw = desc.Width, fh = desc.Height;
  if (fw <= 0 || fh <= 0 || left < 0 || top < 0) {
    TraceF("[GifFile] empty first frame");
    return false;
  }
  // A frame reaching past the logical screen grows the picture rather than being cut.
  const int64_t cw = std::max<int64_t>(gif->SWidth, left + fw);
  const int64_t ch = std::max<int64_t>(gif->SHeight, top + fh);
  if (cw > kMaxDibSide || ch > kMaxDibSide || cw * ch > kMaxDibPixels) {
    TraceF("[GifFile] picture size %lld x %lld refused", static_cast<long long>(cw),
           static_cast<long long>(ch));
    NoteLoadFailure(Format("a GIF picture of %lld x %lld pixels is too large", static_cast<long long>(cw),
                           static_cast<long long>(ch)));
    return false;
  }
  if (cw * ch > std::max(kGifFreePixels, static_cast<int64_t>(std::min<size_t>(size, INT32_MAX)) * kGifPixelsPerByte)) {
    TraceF("[GifFile] %lld x %lld pixels cannot come from %zu bytes", static_cast<long long>(cw),
           static_cast<long long>(ch), size);
    NoteLoadFailure(Format("a GIF of %zu bytes cannot hold a picture of %lld x %lld pixels", size,
                           static_cast<long long>(cw), static_cast<long long>(ch)));
    return false;
  }

  // The frame is decoded before the picture is allocated, growing with the rows that
  // really arrive: a lying descriptor over a few bytes of data costs nothing.
  const int w = static_cast<int>(fw), h = static_cast<int>(fh);
  std::vector<uint8_t> frame;
  for (int i = 0; i < h; ++i) {
    frame.resize(static_cast<size_t>(i + 1) * static_cast<size_t>(w));
    if (DGifGetLine(gif.get(), frame.data() + static_cast<size_t>(i) * w, w) == GIF_ERROR)
      return GifFailed(gif.get(), "image data");
  }

  const bool local = desc.ColorMap != nullptr;
  std::vector<TRGBQuad> palette = PaletteOf(local ? desc.ColorMap : gif->SColorMap);
  const bool covers = left == 0 && top == 0 && fw >= cw && fh >= ch;
  int background = transparent >= 0 ? transparent : gif->SBackGroundColor;
  if (!covers && transparent < 0 && local && gif->SColorMap) {
    // The background index belongs to the global table; find its colour in the
    // local one, adding it when there is room.
    std::vector<TRGBQuad> global = PaletteOf(gif->SColorMap);
    if (background >= 0 && static_cast<size_t>(background) < global.size()) {
      TRGBQuad want = global[static_cast<size_t>(background)];
      auto it = std::find(palette.begin(), palette.end(), want);
      if (it != palette.end()) {
        background = static_cast<int>(it - palette.begin());
      } else if (palette.size() < 256) {
        background = static_cast<int>(palette.size());
        palette.push_back(want);
      }
    }
  }
  background = std::clamp(background, 0, 255);

  TDIB dib(static_cast<int>(cw), static_cast<int>(ch), 8);
  if (!palette.empty()) dib.Palette() = palette;  // no table at all: grey ramp
  dib.SetTransparentIndex(transparent);
  if (!covers) {
    for (int y = 0; y < dib.Height(); ++y) std::memset(dib.ScanLine(y), background, static_cast<size_t>(dib.Width()));
  }
  for (int i = 0; i < h; ++i) {
    int row = desc.Interlace ? InterlacedRow(i, h) : i;
    if (row < 0) continue;
    std::memcpy(dib.ScanLine(static_cast<int>(top) + row) + left,
                frame.data() + static_cast<size_t>(i) * w, static_cast<size_t>(w));
  }
  out = std::move(dib);
  return true;
}

// ---------------------------------------------------------------------------------
// Colour reduction

// Row y of any depth as B,G,R bytes.
void ReadRowBgr(const TDIB& dib, int y, uint8_t* bgr) {
  const int w = dib.Width();
  const uint8_t* row = dib.ScanLine(y);
  if (dib.BitCount() == 24) {
    std::memcpy(bgr, row, static_cast<size_t>(w) * 3);
  } else if (dib.BitCount() == 32) {
    for (int x = 0; x < w; ++x, row += 4, bgr += 3) {
      bgr[0] = row[0];
      bgr[1] = row[1];
      bgr[2] = row[2];
    }
  } else {
    for (int x = 0; x < w; ++x, bgr += 3) {
      TColor c = dib.Pixel(x, y);
      bgr[0] = static_cast<uint8_t>(GetBValue(c));
      bgr[1] = static_cast<uint8_t>(GetGValue(c));
      bgr[2] = static_cast<uint8_t>(GetRValue(c));
    }
  }
}

inline uint32_t PackRgb(int r, int g, int b) {
  return static_cast<uint32_t>(r) << 16 | static_cast<uint32_t>(g) << 8 | static_cast<uint32_t>(b);
}

// Median cut over a 5-5-5 histogram that keeps the true colour sums of each cell, so
// the palette colours are averages of real pixels. The box with the largest squared
// error is split on its widest channel where the two halves' error is least.
class TMedianCut {
 public:
  explicit TMedianCut(const TDIB& dib) {
    std::vector<uint8_t> row(static_cast<size_t>(dib.Width()) * 3);
    for (int y = 0; y < dib.Height(); ++y) {
      ReadRowBgr(dib, y, row.data());
      const uint8_t* p = row.data();
      for (int x = 0; x < dib.Width(); ++x, p += 3) {
        TCell& c = cells_[static_cast<size_t>(((p[2] >> 3) << 10) | ((p[1] >> 3) << 5) | (p[0] >> 3))];
        c.count++;
        c.sum[0] += p[2];
        c.sum[1] += p[1];
        c.sum[2] += p[0];
      }
    }
    for (size_t i = 0; i < cells_.size(); ++i)
      if (cells_[i].count) used_.push_back(static_cast<int>(i));
  }

  std::vector<TRGBQuad> Palette(int maxColours) {
    std::vector<TBox> boxes;
    boxes.push_back(MakeBox(0, used_.size()));
    while (static_cast<int>(boxes.size()) < maxColours) {
      int best = -1;
      for (size_t i = 0; i < boxes.size(); ++i)
        if (boxes[i].end - boxes[i].begin > 1 && (best < 0 || boxes[i].error > boxes[static_cast<size_t>(best)].error))
          best = static_cast<int>(i);
      if (best < 0 || boxes[static_cast<size_t>(best)].error <= 0) break;
      TBox box = boxes[static_cast<size_t>(best)];
      size_t cut = Split(box);
      boxes[static_cast<size_t>(best)] = MakeBox(box.begin, cut);
      boxes.push_back(MakeBox(cut, box.end));
    }
    std::vector<TRGBQuad> pal;
    for (const TBox& b : boxes) {
      uint64_t n = 0, s[3] = {0, 0, 0};
      for (size_t i = b.begin; i < b.end; ++i) {
        const TCell& c = cells_[static_cast<size_t>(used_[i])];
        n += c.count;
        for (int k = 0; k < 3; ++k) s[k] += c.sum[k];
      }
      if (!n) continue;
      auto avg = [&](int k) { return static_cast<uint8_t>((s[k] * 2 + n) / (2 * n)); };
      pal.push_back(TRGBQuad{avg(2), avg(1), avg(0), 0});
    }
    return pal;
  }

 private:
  struct TCell {
    uint64_t count = 0;
    uint64_t sum[3] = {0, 0, 0};  // R, G, B
  };
  struct TBox {
    size_t begin = 0, end = 0;  // range of used_
    double error = 0;
  };

  double Mean(const TCell& c, int k) const { return static_cast<double>(c.sum[k]) / static_cast<double>(c.count); }

  TBox MakeBox(size_t begin, size_t end) const {
    TBox b{begin, end, 0};
    double n = 0, s[3] = {0, 0, 0}, sq = 0;
    for (size_t i = begin; i < end; ++i) {
      const TCell& c = cells_[static_cast<size_t>(used_[i])];
      double cn = static_cast<double>(c.count);
      n += cn;
      for (int k = 0; k < 3; ++k) {
        double m = Mean(c, k);
        s[k] += cn * m;
        sq += cn * m * m;
      }
    }
    if (n > 0) b.error = sq - (s[0] * s[0] + s[1] * s[1] + s[2] * s[2]) / n;
    return b;
  }

  // Sorts the box's cells along its widest channel and returns the first index of the
  // upper half.
  size_t Split(const TBox& box) {
    double n = 0, s[3] = {0, 0, 0}, sq[3] = {0, 0, 0};
    for (size_t i = box.begin; i < box.end; ++i) {
      const TCell& c = cells_[static_cast<size_t>(used_[i])];
      double cn = static_cast<double>(c.count);
      n += cn;
      for (int k = 0; k < 3; ++k) {
        s[k] += cn * Mean(c, k);
        sq[k] += cn * Mean(c, k) * Mean(c, k);
      }
    }
    int axis = 0;
    double widest = -1;
    for (int k = 0; k < 3; ++k) {
      double var = sq[k] - s[k] * s[k] / n;
      if (var > widest) {
        widest = var;
        axis = k;
      }
    }
    std::sort(used_.begin() + static_cast<std::ptrdiff_t>(box.begin),
              used_.begin() + static_cast<std::ptrdiff_t>(box.end), [&](int a, int b) {
                double ma = Mean(cells_[static_cast<size_t>(a)], axis);
                double mb = Mean(cells_[static_cast<size_t>(b)], axis);
                return ma != mb ? ma < mb : a < b;
              });
    // error of a part = sum of squares - |sum|^2 / count, over all three channels
    double ln = 0, ls[3] = {0, 0, 0}, lsq = 0;
    double totalSq = sq[0] + sq[1] + sq[2];
    size_t cut = box.begin + 1;
    double bestErr = -1;
    for (size_t i = box.begin; i + 1 < box.end; ++i) {
      const TCell& c = cells_[static_cast<size_t>(used_[i])];
      double cn = static_cast<double>(c.count);
      ln += cn;
      for (int k = 0; k < 3; ++k) {
        ls[k] += cn * Mean(c, k);
        lsq += cn * Mean(c, k) * Mean(c, k);
      }
      double rn = n - ln;
      double rs[3] = {s[0] - ls[0], s[1] - ls[1], s[2] - ls[2]};
      double err = (lsq - (ls[0] * ls[0] + ls[1] * ls[1] + ls[2] * ls[2]) / ln) +
                   ((totalSq - lsq) - (rs[0] * rs[0] + rs[1] * rs[1] + rs[2] * rs[2]) / rn);
      if (bestErr < 0 || err < bestErr) {
        bestErr = err;
        cut = i + 1;
      }
    }
    return cut;
  }

  std::array<TCell, 32768> cells_{};
  std::vector<int> used_;
};

// Nearest palette entry by squared RGB distance, lowest index on ties. Each 8x8x8
// cell of the colour cube keeps, once asked, the entries that can be nearest for
// some colour inside it.
class TNearestColour {
 public:
  explicit TNearestColour(const std::vector<TRGBQuad>& pal) : pal_(pal), cells_(32768) {}

  int Find(int r, int g, int b) {
    std::vector<uint8_t>& cand = cells_[static_cast<size_t>(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3))];
    if (cand.empty()) Fill(cand, r & ~7, g & ~7, b & ~7);
    int best = cand[0];
    int bestD = 1 << 30;
    for (uint8_t i : cand) {
      const TRGBQuad& q = pal_[i];
      int dr = q.rgbRed - r, dg = q.rgbGreen - g, db = q.rgbBlue - b;
      int d = dr * dr + dg * dg + db * db;
      if (d < bestD) {
        bestD = d;
        best = i;
      }
    }
    return best;
  }

 private:
  static int MinD(int v, int lo) {
    int hi = lo + 7;
    return v < lo ? lo - v : (v > hi ? v - hi : 0);
  }
  static int MaxD(int v, int lo) { return std::max(std::abs(v - lo), std::abs(v - lo - 7)); }

  void Fill(std::vector<uint8_t>& cand, int r0, int g0, int b0) const {
    int minMax = 1 << 30;
    std::vector<int> minDist(pal_.size());
    for (size_t i = 0; i < pal_.size(); ++i) {
      const TRGBQuad& q = pal_[i];
      int a = MinD(q.rgbRed, r0), b = MinD(q.rgbGreen, g0), c = MinD(q.rgbBlue, b0);
      minDist[i] = a * a + b * b + c * c;
      a = MaxD(q.rgbRed, r0);
      b = MaxD(q.rgbGreen, g0);
      c = MaxD(q.rgbBlue, b0);
      minMax = std::min(minMax, a * a + b * b + c * c);
    }
    for (size_t i = 0; i < pal_.size(); ++i)
      if (minDist[i] <= minMax) cand.push_back(static_cast<uint8_t>(i));
  }

  const std::vector<TRGBQuad>& pal_;
  std::vector<std::vector<uint8_t>> cells_;
};

// ---------------------------------------------------------------------------------
// Writing

int GifWriteMemory(GifFileType* gif, const GifByteType* buf, int n) {
  auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
  if (n <= 0) return 0;
  try {
    out->insert(out->end(), buf, buf + n);
  } catch (const std::exception&) {
    return 0;  // giflib reports a failed write
  }
  return n;
}

// Palette index of pixel x in a row of 1, 4 or 8 bits.
int IndexAt(const uint8_t* row, int x, int bitCount) {
  switch (bitCount) {
    case 1:
      return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4:
      return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    default:
      return row[x];
  }
}

bool EncodeIndexed(const TDIB& dib, std::vector<uint8_t>& out) {
  const int w = dib.Width(), h = dib.Height();
  // The colour table must be a power of two of at least 2 entries and cover every
  // index the rows use.
  int maxIndex = 0;
  for (int y = 0; y < h; ++y) {
    const uint8_t* row = dib.ScanLine(y);
    for (int x = 0; x < w; ++x) maxIndex = std::max(maxIndex, IndexAt(row, x, dib.BitCount()));
  }
  int used = std::max({static_cast<int>(std::min<size_t>(dib.Palette().size(), 256)), maxIndex + 1,
                       dib.TransparentIndex() + 1, 2});
  int bits = 1;
  while ((1 << bits) < used) ++bits;
  std::vector<GifColorType> colours(static_cast<size_t>(1) << bits, GifColorType{0, 0, 0});
  for (size_t i = 0; i < colours.size() && i < dib.Palette().size(); ++i) {
    const TRGBQuad& q = dib.Palette()[i];
    colours[i] = GifColorType{q.rgbRed, q.rgbGreen, q.rgbBlue};
  }

  int err = 0;
  GifFileType* gif = EGifOpen(&out, GifWriteMemory, &err);
  if (!gif) {
    TraceF("[GifFile] EGifOpen: %s", GifErrorString(err));
    return false;
  }
  ColorMapObject* map = GifMakeMapObject(static_cast<int>(colours.size()), colours.data());
  bool ok = map != nullptr;
  EGifSetGifVersion(gif, true);
  if (ok) ok = EGifPutScreenDesc(gif, w, h, 8, 0, map) != GIF_ERROR;
  if (ok && dib.TransparentIndex() >= 0) {
    GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, dib.TransparentIndex()};
    GifByteType ext[4];
    size_t len = EGifGCBToExtension(&gcb, ext);
    ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(len), ext) != GIF_ERROR;
  }
  if (ok) ok = EGifPutImageDesc(gif, 0, 0, w, h, false, nullptr) != GIF_ERROR;
  if (ok) {
    std::vector<GifPixelType> line(static_cast<size_t>(w));
    for (int y = 0; y < h && ok; ++y) {
      const uint8_t* row = dib.ScanLine(y);
      for (int x = 0; x < w; ++x) line[static_cast<size_t>(x)] = static_cast<GifPixelType>(IndexAt(row, x, dib.BitCount()));
      ok = EGifPutLine(gif, line.data(), w) != GIF_ERROR;
    }
  }
  if (!ok) TraceF("[GifFile] writing: %s", GifErrorString(gif->Error));
  if (map) GifFreeMapObject(map);
  if (EGifCloseFile(gif, &err) == GIF_ERROR) {
    if (ok) TraceF("[GifFile] closing: %s", GifErrorString(err));
    ok = false;
  }
  return ok;
}

}  // namespace

bool LoadGifFromBytes(const uint8_t* data, size_t size, TDIB& dib) {
  if (!data || size < 13) return false;
  try {
    return DecodeGif(data, size, dib);
  } catch (const std::exception& e) {  // bad_alloc, EConvertError
    TraceF("[GifFile] %s", e.what());
    return false;
  }
}

TDIB QuantizeTo8Bit(const TDIB& dib) {
  TDIB out;
  if (dib.Empty()) return out;
  const int w = dib.Width(), h = dib.Height();
  out.SetSize(w, h, 8);
  std::vector<uint8_t> row(static_cast<size_t>(w) * 3);

  // Few colours: each one gets its own entry, in order of first appearance, and
  // every pixel keeps its exact colour.
  std::unordered_map<uint32_t, uint8_t> exact;
  std::vector<TRGBQuad> pal;
  bool few = true;
  for (int y = 0; y < h && few; ++y) {
    ReadRowBgr(dib, y, row.data());
    const uint8_t* p = row.data();
    for (int x = 0; x < w; ++x, p += 3) {
      uint32_t key = PackRgb(p[2], p[1], p[0]);
      if (exact.count(key)) continue;
      if (pal.size() == 256) {
        few = false;
        break;
      }
      exact.emplace(key, static_cast<uint8_t>(pal.size()));
      pal.push_back(TRGBQuad{p[0], p[1], p[2], 0});
    }
  }
  if (few) {
    out.Palette() = pal;
    for (int y = 0; y < h; ++y) {
      ReadRowBgr(dib, y, row.data());
      uint8_t* dst = out.ScanLine(y);
      const uint8_t* p = row.data();
      for (int x = 0; x < w; ++x, p += 3) dst[x] = exact.at(PackRgb(p[2], p[1], p[0]));
    }
    return out;
  }
  exact.clear();

  {
    auto cut = std::make_unique<TMedianCut>(dib);
    pal = cut->Palette(256);
  }
  out.Palette() = pal;
  TNearestColour nearest(out.Palette());

  // Floyd-Steinberg, serpentine: errors in sixteenths, one spare column each side.
  std::vector<int> errCur(static_cast<size_t>(w + 2) * 3, 0), errNext(errCur.size(), 0);
  for (int y = 0; y < h; ++y) {
    ReadRowBgr(dib, y, row.data());
    uint8_t* dst = out.ScanLine(y);
    const bool rtl = (y & 1) != 0;
    const int step = rtl ? -1 : 1;
    std::fill(errNext.begin(), errNext.end(), 0);
    for (int i = 0; i < w; ++i) {
      const int x = rtl ? w - 1 - i : i;
      const uint8_t* p = row.data() + static_cast<size_t>(x) * 3;
      int* e = errCur.data() + static_cast<size_t>(x + 1) * 3;
      int v[3];
      for (int k = 0; k < 3; ++k)  // k: 0 = R, 1 = G, 2 = B
        v[k] = std::clamp(p[2 - k] + ((e[k] + 8) >> 4), 0, 255);
      const int idx = nearest.Find(v[0], v[1], v[2]);
      dst[x] = static_cast<uint8_t>(idx);
      const TRGBQuad& q = pal[static_cast<size_t>(idx)];
      const int d[3] = {v[0] - q.rgbRed, v[1] - q.rgbGreen, v[2] - q.rgbBlue};
      int* ahead = errCur.data() + static_cast<size_t>(x + 1 + step) * 3;
      int* below = errNext.data() + static_cast<size_t>(x + 1) * 3;
      for (int k = 0; k < 3; ++k) {
        ahead[k] += d[k] * 7;
        below[k - 3 * step] += d[k] * 3;
        below[k] += d[k] * 5;
        below[k + 3 * step] += d[k];
      }
    }
    std::swap(errCur, errNext);
  }
  return out;
}

bool SaveGifToBytes(const TDIB& dib, std::vector<uint8_t>& out) {
  if (dib.Empty() || dib.Width() > 65535 || dib.Height() > 65535) return false;
  std::vector<uint8_t> bytes;
  bool ok = false;
  try {
    if (dib.BitCount() <= 8) {
      ok = EncodeIndexed(dib, bytes);
    } else {
      ok = EncodeIndexed(QuantizeTo8Bit(dib), bytes);
    }
  } catch (const std::exception& e) {
    TraceF("[GifFile] %s", e.what());
    ok = false;
  }
  if (!ok) return false;
  out = std::move(bytes);
  return true;
}

}  // namespace movara
