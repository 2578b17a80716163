#pragma once
// TDIB: the picture of the whole program. Width, height, 1/4/8/16/24/32 bits per
// pixel, a palette for the indexed depths, bottom-up rows with a 4-byte aligned stride
// (the first row in memory is the bottom row of the picture), exactly as a BMP file
// stores them. 16-bit pictures are 5-5-5 (or 5-6-5), 32-bit ones B,G,R,X bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace movara {

// The bytes of pictures come zeroed from the system (calloc): a big picture's pages are
// mapped when first written, so a surface that is made but never drawn on costs neither
// the clearing nor the memory. Growing a vector of them with no value writes nothing
// (the bytes are zero already); only TDIB::SetSize grows one, and only into new memory.
template <typename T>
struct TZeroedAllocator {
  using value_type = T;
  TZeroedAllocator() = default;
  template <typename U>
  TZeroedAllocator(const TZeroedAllocator<U>&) noexcept {}
  T* allocate(size_t n) {
    if (void* p = std::calloc(n, sizeof(T))) return static_cast<T*>(p);
    throw std::bad_alloc();
  }
  void deallocate(T* p, size_t) noexcept { std::free(p); }
  template <typename U>
  void construct(U*) noexcept {}
  template <typename U, typename A, typename... More>
  void construct(U* p, A&& a, More&&... more) {
    ::new (static_cast<void*>(p)) U(std::forward<A>(a), std::forward<More>(more)...);
  }
  template <typename U>
  bool operator==(const TZeroedAllocator<U>&) const noexcept { return true; }
};

// 32-bit colour: red in the low byte, then green, then blue. Top bit set = system colour.
using TColor = uint32_t;
inline constexpr TColor RGBColor(int r, int g, int b) {
  return static_cast<TColor>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
inline constexpr int GetRValue(TColor c) { return c & 0xFF; }
inline constexpr int GetGValue(TColor c) { return (c >> 8) & 0xFF; }
inline constexpr int GetBValue(TColor c) { return (c >> 16) & 0xFF; }

struct TRGBQuad {
  uint8_t rgbBlue = 0, rgbGreen = 0, rgbRed = 0, rgbReserved = 0;
  bool operator==(const TRGBQuad&) const = default;
};

struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool operator==(const TRect&) const = default;
};
inline TRect Rect(int l, int t, int r, int b) { return TRect{l, t, r, b}; }

// Pixel layout of the 16- and 32-bit depths.
enum TDIBPixelFormat { pf555, pf565, pf888 };

// Largest picture the program makes or loads: loaders refuse anything bigger instead
// of allocating absurd amounts for a lying header.
inline constexpr int kMaxDibSide = 32768;
inline constexpr int64_t kMaxDibPixels = int64_t(1) << 28;  // 256 Mpixel

class TDIB {
 public:
  TDIB() = default;
  TDIB(int width, int height, int bitCount);

  // Allocates zero-filled rows; an empty size (0) makes an empty picture. Throws
  // EConvertError for a bad depth or a size past the limits. Indexed depths get a
  // grey-scale palette of 2^bits entries.
  void SetSize(int width, int height, int bitCount);
  void Clear();  // empty picture

  int Width() const { return width_; }
  int Height() const { return height_; }
  int BitCount() const { return bitCount_; }
  bool Empty() const { return width_ <= 0 || height_ <= 0; }
  // Stored row size in bytes (4-byte aligned).
  int RowSize() const { return stride_; }
  static int RowSizeFor(int width, int bitCount);
  size_t ImageSize() const { return bits_.size(); }

  uint8_t* Bits() { return bits_.data(); }
  const uint8_t* Bits() const { return bits_.data(); }
  // Row y counted from the top of the picture (y = 0 is the top row).
  uint8_t* ScanLine(int y) { return bits_.data() + static_cast<size_t>(height_ - 1 - y) * stride_; }
  const uint8_t* ScanLine(int y) const {
    return bits_.data() + static_cast<size_t>(height_ - 1 - y) * stride_;
  }

  std::vector<TRGBQuad>& Palette() { return palette_; }
  const std::vector<TRGBQuad>& Palette() const { return palette_; }

  TDIBPixelFormat PixelFormat() const { return pixelFormat_; }
  void SetPixelFormat(TDIBPixelFormat pf) { pixelFormat_ = pf; }

  // Transparent palette index of a GIF, -1 when none.
  int TransparentIndex() const { return transparentIndex_; }
  void SetTransparentIndex(int i) { transparentIndex_ = i; }

  // Colour of one pixel (x from the left, y from the top), whatever the depth.
  TColor Pixel(int x, int y) const;
  void SetPixel(int x, int y, TColor c);  // indexed depths: nearest palette entry
  void Fill(TColor c);
  void FillRect(const TRect& r, TColor c);

  // A copy of this picture at another depth (1/4/8 quantise to a palette; 16 uses the
  // 5-5-5 layout unless pf565 is asked).
  TDIB ConvertTo(int bitCount, TDIBPixelFormat pf = pf555) const;
  // Converts in place.
  void SetBitCount(int bitCount);

  // Stretches the source rectangle of src over the dest rectangle of this picture
  // with area-averaging when shrinking and bilinear filtering when enlarging (the
  // "good filtering" of a HALFTONE stretch). Rectangles are in top-down coordinates
  // and are clipped to both pictures. This picture must be 24 or 32 bits.
  void StretchFrom(const TDIB& src, const TRect& srcRect, const TRect& dstRect);
  // A new picture of the given size holding the whole of this one, stretched.
  TDIB Stretched(int width, int height, int bitCount = 24) const;

  // BMP file image (BITMAPFILEHEADER + 40-byte info header + palette + rows).
  std::vector<uint8_t> SaveToBmpBytes() const;
  bool SaveToFile(const std::string& fileName) const;  // BMP
  // Reads any BMP that real files contain; false (picture untouched) on bad data.
  bool LoadFromBmpBytes(const uint8_t* data, size_t size);
  bool LoadFromFile(const std::string& fileName);  // BMP

  bool operator==(const TDIB& other) const;

 private:
  int width_ = 0;
  int height_ = 0;
  int bitCount_ = 0;
  int stride_ = 0;
  TDIBPixelFormat pixelFormat_ = pf888;
  int transparentIndex_ = -1;
  std::vector<TRGBQuad> palette_;
  std::vector<uint8_t, TZeroedAllocator<uint8_t>> bits_;
};

// Reads a whole file into memory; false when it cannot be read or is larger than
// maxBytes.
bool ReadWholeFile(const std::string& fileName, std::vector<uint8_t>& out,
                   size_t maxBytes = size_t(1) << 31);
// Writes through a temporary file in the same folder and renames it over the target,
// so an existing file is never left half written; writers of one file take turns
// (TFileUpdate).
bool WriteWholeFile(const std::string& fileName, const void* data, size_t size);

}  // namespace movara
