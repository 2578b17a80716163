#pragma once
// The format of a video stream as an AVI file stores it: a 40-byte BITMAPINFOHEADER,
// then a colour table (indexed depths), the three colour masks (BI_BITFIELDS) or a
// codec's extra data. Read and written field by field, little-endian.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/Dib.h"

namespace movara {

// Four characters packed as a RIFF file stores them (the first one in the low byte).
constexpr uint32_t VideoFourCC(const char (&s)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(s[0])) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 8) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[3])) << 24);
}
// "MJPG"; a code with a character outside the printable ASCII range is written as
// its number in hexadecimal ("0x00000001").
std::string VideoFourCCText(uint32_t fourcc);
// The code of a four-character text (shorter texts are padded with blanks); 0 for an
// empty or longer text.
uint32_t VideoFourCCFromText(const std::string& text);
// Same code ignoring ASCII case ("mjpg" = "MJPG").
bool VideoSameFourCC(uint32_t a, uint32_t b);

struct TVideoFormat {
  // Values of biCompression that are not four-character codes.
  static constexpr uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3;
  static constexpr size_t kHeaderSize = 40;

  uint32_t biSize = kHeaderSize;
  int32_t biWidth = 0;
  int32_t biHeight = 0;  // negative: rows stored top-down
  uint16_t biPlanes = 1;
  uint16_t biBitCount = 0;
  uint32_t biCompression = kRgb;
  uint32_t biSizeImage = 0;
  int32_t biXPelsPerMeter = 0;
  int32_t biYPelsPerMeter = 0;
  uint32_t biClrUsed = 0;
  uint32_t biClrImportant = 0;

  // Colour table of a depth of 8 bits or less (also for RLE and other indexed codecs).
  std::vector<TRGBQuad> Palette;
  // Colour masks of BI_BITFIELDS.
  uint32_t RedMask = 0, GreenMask = 0, BlueMask = 0;
  // Every byte after the 40-byte header as the file holds it: for compressed formats
  // the codec's extra data (an MPEG-4 header, HuffYUV tables).
  std::vector<uint8_t> Extra;

  // Parses a stored format. False for a block shorter than the header; the colour
  // table and masks are taken only as far as the block holds them.
  bool FromBytes(const uint8_t* data, size_t size);
  // Header, then for uncompressed formats the colour table (indexed depths) or the
  // masks (BI_BITFIELDS), for compressed formats the extra data.
  std::vector<uint8_t> ToBytes() const;

  // The uncompressed 40-byte format of frames of a picture (with its colour table).
  static TVideoFormat ForDib(const TDIB& dib);
  // An uncompressed format of the given size and depth (bottom-up rows).
  static TVideoFormat ForFrame(int width, int height, int bitCount);

  int Width() const { return biWidth; }
  int Height() const { return biHeight < 0 ? -biHeight : biHeight; }
  bool TopDown() const { return biHeight < 0; }
  // Rows of pixels as a DIB stores them: BI_RGB, BI_BITFIELDS, or the "DIB ", "RGB "
  // and "RAW " codes some files use for the same thing.
  bool IsUncompressed() const;
  // Stored row size of uncompressed frames (4-byte aligned); 0 for a bad width/depth.
  int64_t RowSize() const;
  // Bytes of one uncompressed frame; 0 when the size is not sensible.
  int64_t FrameBytes() const;
  // Width and height inside the picture limits of the program.
  bool SaneSize() const;
};

}  // namespace movara
