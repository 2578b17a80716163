#include "platform/codecs/VideoFormat.h"

#include <algorithm>

#include "base/Format.h"
#include "base/LittleEndian.h"

namespace movara {

namespace {

int UpperAscii(int c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }

}  // namespace

std::string VideoFourCCText(uint32_t fourcc) {
  std::string text;
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>((fourcc >> (8 * i)) & 0xFF);
    if (c < 32 || c > 126) return Format("0x%08X", fourcc);
    text += c;
  }
  return text;
}

uint32_t VideoFourCCFromText(const std::string& text) {
  if (text.empty() || text.size() > 4) return 0;
  uint32_t code = 0;
  for (size_t i = 0; i < 4; ++i) {
    const uint8_t c = i < text.size() ? static_cast<uint8_t>(text[i]) : ' ';
    code |= static_cast<uint32_t>(c) << (8 * i);
  }
  return code;
}

bool VideoSameFourCC(uint32_t a, uint32_t b) {
  for (int i = 0; i < 4; ++i)
    if (UpperAscii((a >> (8 * i)) & 0xFF) != UpperAscii((b >> (8 * i)) & 0xFF)) return false;
  return true;
}

bool TVideoFormat::FromBytes(const uint8_t* data, size_t size) {
  if (!data || size < kHeaderSize) return false;
  biSize = GetLE32(data);
  biWidth = GetLEI32(data + 4);
  biHeight = GetLEI32(data + 8);
  biPlanes = GetLE16(data + 12);
  biBitCount = GetLE16(data + 14);
  biCompression = GetLE32(data + 16);
  biSizeImage = GetLE32(data + 20);
  biXPelsPerMeter = GetLEI32(data + 24);
  biYPelsPerMeter = GetLEI32(data + 28);
  biClrUsed = GetLE32(data + 32);
  biClrImportant = GetLE32(data + 36);
  Extra.assign(data + kHeaderSize, data + size);

  Palette.clear();
  RedMask = GreenMask = BlueMask = 0;
  if (biBitCount >= 1 && biBitCount <= 8) {
    const uint32_t most = 1u << biBitCount;
    const uint32_t count = (biClrUsed == 0 || biClrUsed > most) ? most : biClrUsed;
    // The table follows the header as its size field says; a size field that points
    // past the block is a lie, the table then starts right after the 40 bytes.
    size_t at = (biSize >= kHeaderSize && biSize <= size) ? biSize : kHeaderSize;
    for (uint32_t i = 0; i < count && at + 4 <= size; ++i, at += 4)
      Palette.push_back(TRGBQuad{data[at], data[at + 1], data[at + 2], 0});
  }
  if (biCompression == kBitFields && size >= kHeaderSize + 12) {
    RedMask = GetLE32(data + 40);
    GreenMask = GetLE32(data + 44);
    BlueMask = GetLE32(data + 48);
  }
  return true;
}

std::vector<uint8_t> TVideoFormat::ToBytes() const {
  std::vector<uint8_t> out;
  out.reserve(kHeaderSize + std::max(Extra.size(), Palette.size() * 4 + 12));
  TLEWriter w(out);
  w.U32(biSize);
  w.U32(static_cast<uint32_t>(biWidth));
  w.U32(static_cast<uint32_t>(biHeight));
  w.U16(biPlanes);
  w.U16(biBitCount);
  w.U32(biCompression);
  w.U32(biSizeImage);
  w.U32(static_cast<uint32_t>(biXPelsPerMeter));
  w.U32(static_cast<uint32_t>(biYPelsPerMeter));
  w.U32(biClrUsed);
  w.U32(biClrImportant);
  if (biCompression == kRgb && biBitCount <= 8) {
    for (const TRGBQuad& q : Palette) {
      out.push_back(q.rgbBlue);
      out.push_back(q.rgbGreen);
      out.push_back(q.rgbRed);
      out.push_back(0);
    }
  } else if (biCompression == kBitFields) {
    w.U32(RedMask);
    w.U32(GreenMask);
    w.U32(BlueMask);
  } else {
    out.insert(out.end(), Extra.begin(), Extra.end());
  }
  return out;
}

TVideoFormat TVideoFormat::ForFrame(int width, int height, int bitCount) {
  TVideoFormat f;
  f.biWidth = width;
  f.biHeight = height;
  f.biBitCount = static_cast<uint16_t>(bitCount);
  f.biSizeImage = static_cast<uint32_t>(std::max<int64_t>(0, f.FrameBytes()));
  return f;
}

TVideoFormat TVideoFormat::ForDib(const TDIB& dib) {
  TVideoFormat f = ForFrame(dib.Width(), dib.Height(), dib.BitCount());
  if (dib.BitCount() <= 8) {
    f.Palette = dib.Palette();
    f.biClrUsed = static_cast<uint32_t>(f.Palette.size());
  } else if (dib.BitCount() == 16 && dib.PixelFormat() == pf565) {
    f.biCompression = kBitFields;
    f.RedMask = 0xF800;
    f.GreenMask = 0x07E0;
    f.BlueMask = 0x001F;
  }
  return f;
}

bool TVideoFormat::IsUncompressed() const {
  return biCompression == kRgb || biCompression == kBitFields ||
         biCompression == VideoFourCC("DIB ") || biCompression == VideoFourCC("RGB ") ||
         biCompression == VideoFourCC("RAW ");
}

bool TVideoFormat::SaneSize() const {
  const int64_t w = biWidth, h = Height();
  return w > 0 && h > 0 && w <= kMaxDibSide && h <= kMaxDibSide && w * h <= kMaxDibPixels;
}

int64_t TVideoFormat::RowSize() const {
  if (biWidth <= 0 || biBitCount == 0 || biBitCount > 32) return 0;
  return ((static_cast<int64_t>(biWidth) * biBitCount + 31) / 32) * 4;
}

int64_t TVideoFormat::FrameBytes() const {
  if (!SaneSize()) return 0;
  return RowSize() * Height();
}

}  // namespace movara
