// TDIB: reading and writing BMP files.
//
// Reading accepts what real files contain: Windows info headers of 40, 52, 56, 108 and
// 124 bytes, OS/2 1.x core headers (12 bytes, 3-byte palette entries) and OS/2 2.x
// headers (16..64 bytes), bottom-up and top-down rows, 1/4/8/16/24/32 bits, bit-field
// masks, RLE4 and RLE8. Every size is checked against the bytes the file really holds
// before anything is allocated; on any fault the picture is left as it was.
#include <algorithm>
#include <cstring>

#include "base/Dib.h"
#include "base/LittleEndian.h"

namespace movara {

namespace {

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitFields = 3;
constexpr uint32_t kBiAlphaBitFields = 6;

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;

// An RLE stream can describe a big blank picture in a few bytes (end-of-bitmap, delta).
// Real files never come close to this many pixels per byte of data; a lying header does.
constexpr int64_t kRleFreePixels = int64_t(1) << 22;
constexpr int64_t kRlePixelsPerByte = 2048;

// One colour channel described by a bit mask: value = (pixel & mask) >> shift, scaled
// from 0..max to 0..255.
struct TMaskChannel {
  uint32_t mask = 0;
  int shift = 0;
  uint64_t max = 0;

  explicit TMaskChannel(uint32_t m) : mask(m) {
    if (m == 0) return;
    while (((m >> shift) & 1) == 0) ++shift;
    max = m >> shift;
  }
  uint8_t Get(uint32_t px) const {
    if (max == 0) return 0;
    uint64_t v = (px & mask) >> shift;
    return static_cast<uint8_t>((v * 255 + max / 2) / max);
  }
};

void PutIndex(uint8_t* row, int x, int bits, int v) {
  if (bits == 8) {
    row[x] = static_cast<uint8_t>(v);
  } else {
    uint8_t& b = row[x >> 1];
    b = (x & 1) ? static_cast<uint8_t>((b & 0xF0) | (v & 0x0F))
                : static_cast<uint8_t>((b & 0x0F) | ((v & 0x0F) << 4));
  }
}

// Decodes an RLE8 / RLE4 stream into the (zero-filled, bottom-up) picture. Pixels that
// fall outside the picture are dropped. A stream that simply stops without the
// end-of-bitmap code is accepted; one that stops in the middle of a code is not.
bool DecodeRle(const uint8_t* p, size_t n, TDIB& out) {
  const int w = out.Width(), h = out.Height(), bits = out.BitCount();
  const bool four = bits == 4;
  auto row = [&](int64_t y) { return out.Bits() + static_cast<size_t>(y) * out.RowSize(); };
  int64_t x = 0, y = 0;
  size_t i = 0;
  while (y < h) {
    if (n - i < 2) return i == n;
    const int count = p[i], value = p[i + 1];
    i += 2;
    if (count > 0) {  // encoded run: one index (RLE8) or two alternating ones (RLE4)
      if (x < w) {
        uint8_t* r = row(y);
        int64_t end = std::min<int64_t>(x + count, w);
        for (int64_t k = 0; x + k < end; ++k)
          PutIndex(r, static_cast<int>(x + k), bits, four ? ((k & 1) ? value & 0x0F : value >> 4) : value);
      }
      x += count;
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      ++y;
    } else if (value == 1) {  // end of bitmap
      break;
    } else if (value == 2) {  // delta
      if (n - i < 2) return false;
      x += p[i];
      y += p[i + 1];
      i += 2;
    } else {  // absolute run of `value` pixels, padded to a 16-bit boundary
      const size_t bytes = four ? (static_cast<size_t>(value) + 1) / 2 : static_cast<size_t>(value);
      if (n - i < bytes) return false;
      if (x < w) {
        uint8_t* r = row(y);
        for (int k = 0; k < value && x + k < w; ++k) {
          int v = four ? ((k & 1) ? p[i + k / 2] & 0x0F : p[i + k / 2] >> 4) : p[i + k];
          PutIndex(r, static_cast<int>(x + k), bits, v);
        }
      }
      x += value;
      i += std::min(n - i, (bytes + 1) & ~size_t(1));
    }
  }
  return true;
}

}  // namespace

bool TDIB::LoadFromBmpBytes(const uint8_t* data, size_t size) {
  if (data == nullptr || size < kFileHeaderSize + 12) return false;
  if (data[0] != 'B' || data[1] != 'M') return false;  // no file header: not a BMP
  const uint32_t offBits = GetLE32(data + 10);
  const uint8_t* ih = data + kFileHeaderSize;
  const uint32_t hs = GetLE32(ih);
  const bool core = hs == 12;
  const bool os2v2 = hs >= 16 && hs <= 64 && hs != 40 && hs != 52 && hs != 56;
  if (!core && !(hs >= 16 && hs <= 64) && hs != 108 && hs != 124) return false;
  if (size - kFileHeaderSize < hs) return false;

  int64_t width, height;
  int bits;
  uint32_t compression = kBiRgb, clrUsed = 0;
  uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
  size_t pos = kFileHeaderSize + hs;
  if (core) {
    width = GetLE16(ih + 4);
    height = GetLE16(ih + 6);
    bits = GetLE16(ih + 10);
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24) return false;
  } else {
    // OS/2 2.x headers may end after any field; the fields left out read as zero.
    uint8_t h[124] = {};
    std::memcpy(h, ih, hs);
    width = GetLEI32(h + 4);
    height = GetLEI32(h + 8);
    bits = GetLE16(h + 14);
    compression = GetLE32(h + 16);
    clrUsed = GetLE32(h + 32);
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    switch (compression) {
      case kBiRgb:
        break;
      case kBiRle8:
        if (bits != 8) return false;
        break;
      case kBiRle4:
        if (bits != 4) return false;
        break;
      case kBiBitFields:
      case kBiAlphaBitFields:
        // OS/2 uses these numbers for Huffman and RLE24, which we do not read.
        if (os2v2 || (bits != 16 && bits != 32)) return false;
        if (hs == kInfoHeaderSize) {
          const size_t n = compression == kBiAlphaBitFields ? 16 : 12;
          if (size - pos < n) return false;
          for (size_t k = 0; k < n / 4; ++k) masks[k] = GetLE32(data + pos + 4 * k);
          pos += n;
        } else {
          for (int k = 0; k < 4; ++k) masks[k] = GetLE32(h + 40 + 4 * k);  // V2 has no alpha: zero
        }
        break;
      default:
        return false;  // JPEG, PNG, CMYK...
    }
  }

  bool topDown = false;
  if (height < 0) {
    if (compression == kBiRle8 || compression == kBiRle4) return false;
    topDown = true;
    height = -height;
  }
  if (width <= 0 || height <= 0 || width > kMaxDibSide || height > kMaxDibSide ||
      width * height > kMaxDibPixels)
    return false;

  // Palette: entries up to the pixel data, at most what the header announces.
  const size_t entrySize = core ? 3 : 4;
  const size_t palStart = pos;
  uint64_t palCount = 0;
  if (bits <= 8) {
    if (clrUsed > 256) return false;
    palCount = (clrUsed == 0 || core) ? (1u << bits) : clrUsed;
  } else {
    palCount = clrUsed;  // an optional display palette; skipped
  }
  uint64_t dataStart;
  if (offBits >= palStart && offBits <= size) {
    dataStart = offBits;
    if (bits <= 8) palCount = std::min<uint64_t>(palCount, (offBits - palStart) / entrySize);
  } else if (offBits > size) {
    return false;
  } else {  // an offset into the headers is a writer's bug: the data follows the palette
    if (palCount > size) return false;
    dataStart = palStart + palCount * entrySize;
  }
  if (bits <= 8 && palStart + palCount * entrySize > size) return false;
  if (dataStart > size) return false;
  const uint8_t* pixels = data + dataStart;
  const size_t avail = size - static_cast<size_t>(dataStart);

  const int w = static_cast<int>(width), hgt = static_cast<int>(height);
  const bool rle = compression == kBiRle8 || compression == kBiRle4;
  const size_t fileRow = static_cast<size_t>(RowSizeFor(w, bits));
  if (rle) {
    if (width * height > std::max<int64_t>(kRleFreePixels, static_cast<int64_t>(avail) * kRlePixelsPerByte))
      return false;
  } else {
    // The last row's padding is sometimes left out; its pixels are not.
    const size_t need = fileRow * static_cast<size_t>(hgt - 1) + (static_cast<size_t>(w) * bits + 7) / 8;
    if (need > avail) return false;
  }

  // Output layout: 16- and 32-bit pictures with the usual masks keep their bytes; any
  // other masks become 24 bits (32 when an alpha mask is present).
  bool generic = false;
  int outBits = bits;
  TDIBPixelFormat pf = pf555;
  if (compression == kBiBitFields || compression == kBiAlphaBitFields) {
    if (bits == 16)
      for (uint32_t& m : masks) m &= 0xFFFF;
    if ((masks[0] | masks[1] | masks[2]) == 0) return false;
    if (bits == 16 && masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F) {
      pf = pf555;
    } else if (bits == 16 && masks[0] == 0xF800 && masks[1] == 0x07E0 && masks[2] == 0x001F) {
      pf = pf565;
    } else if (bits == 32 && masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF &&
               (masks[3] == 0 || masks[3] == 0xFF000000u)) {
    } else {
      generic = true;
      outBits = masks[3] != 0 ? 32 : 24;
    }
  }

  TDIB pic;
  pic.SetSize(w, hgt, outBits);
  if (outBits == 16) pic.SetPixelFormat(pf);
  if (bits <= 8) {
    std::vector<TRGBQuad>& pal = pic.Palette();
    std::fill(pal.begin(), pal.end(), TRGBQuad{});
    const uint8_t* pp = data + palStart;
    for (size_t k = 0; k < palCount && k < pal.size(); ++k, pp += entrySize)
      pal[k] = TRGBQuad{pp[0], pp[1], pp[2], 0};
  }

  if (rle) {
    if (!DecodeRle(pixels, avail, pic)) return false;
  } else {
    for (int r = 0; r < hgt; ++r) {
      const uint8_t* src = pixels + fileRow * static_cast<size_t>(r);
      const size_t len = std::min(fileRow, avail - fileRow * static_cast<size_t>(r));
      const int stored = topDown ? hgt - 1 - r : r;
      uint8_t* dst = pic.Bits() + static_cast<size_t>(stored) * pic.RowSize();
      if (!generic) {
        std::memcpy(dst, src, std::min(len, static_cast<size_t>(pic.RowSize())));
        continue;
      }
      const TMaskChannel cr(masks[0]), cg(masks[1]), cb(masks[2]), ca(masks[3]);
      const int outBytes = outBits / 8;
      for (int x = 0; x < w; ++x, dst += outBytes) {
        const uint32_t px = bits == 16 ? GetLE16(src + 2 * x) : GetLE32(src + 4 * x);
        dst[0] = cb.Get(px);
        dst[1] = cg.Get(px);
        dst[2] = cr.Get(px);
        if (outBytes == 4) dst[3] = ca.Get(px);
      }
    }
  }
  *this = std::move(pic);
  return true;
}

bool TDIB::LoadFromFile(const std::string& fileName) {
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(fileName, bytes)) return false;
  return LoadFromBmpBytes(bytes.data(), bytes.size());
}

std::vector<uint8_t> TDIB::SaveToBmpBytes() const {
  if (Empty()) return {};
  const bool fields = bitCount_ == 16 && pixelFormat_ == pf565;
  const size_t palEntries = bitCount_ <= 8 ? (size_t(1) << bitCount_) : 0;
  const size_t offBits = kFileHeaderSize + kInfoHeaderSize + (fields ? 12 : 0) + palEntries * 4;
  const size_t total = offBits + bits_.size();
  std::vector<uint8_t> out;
  out.reserve(total);
  TLEWriter w(out);
  w.U8('B');
  w.U8('M');
  w.U32(static_cast<uint32_t>(total));
  w.U32(0);  // reserved
  w.U32(static_cast<uint32_t>(offBits));
  w.U32(kInfoHeaderSize);
  w.I32(width_);
  w.I32(height_);
  w.U16(1);
  w.U16(static_cast<uint16_t>(bitCount_));
  w.U32(fields ? kBiBitFields : kBiRgb);
  w.U32(static_cast<uint32_t>(bits_.size()));
  w.U32(2835);  // 72 dpi
  w.U32(2835);
  w.U32(0);  // every palette entry is written
  w.U32(0);
  if (fields) {
    w.U32(0xF800);
    w.U32(0x07E0);
    w.U32(0x001F);
  }
  for (size_t k = 0; k < palEntries; ++k) {
    TRGBQuad q = k < palette_.size() ? palette_[k] : TRGBQuad{};
    w.U8(q.rgbBlue);
    w.U8(q.rgbGreen);
    w.U8(q.rgbRed);
    w.U8(0);
  }
  w.Bytes(bits_.data(), bits_.size());
  return out;
}

bool TDIB::SaveToFile(const std::string& fileName) const {
  std::vector<uint8_t> bytes = SaveToBmpBytes();
  if (bytes.empty()) return false;
  return WriteWholeFile(fileName, bytes.data(), bytes.size());
}

}  // namespace movara
