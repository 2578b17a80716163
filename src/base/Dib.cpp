#include "base/Dib.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "base/Exceptions.h"
#include "base/FileUpdate.h"
#include "base/Format.h"

namespace movara {

TDIB::TDIB(int width, int height, int bitCount) { SetSize(width, height, bitCount); }

int TDIB::RowSizeFor(int width, int bitCount) {
  return static_cast<int>(((static_cast<int64_t>(width) * bitCount + 31) / 32) * 4);
}

void TDIB::SetSize(int width, int height, int bitCount) {
  if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
      bitCount != 32)
    throw EConvertError(Format("TDIB: unsupported depth %d", bitCount));
  if (width < 0 || height < 0 || width > kMaxDibSide || height > kMaxDibSide ||
      static_cast<int64_t>(width) * height > kMaxDibPixels)
    throw EConvertError(Format("TDIB: picture size %d x %d out of range", width, height));
  width_ = width;
  height_ = height;
  bitCount_ = bitCount;
  stride_ = RowSizeFor(width, bitCount);
  const size_t size = static_cast<size_t>(stride_) * static_cast<size_t>(height);
  if (size > bits_.capacity()) {
    // new memory, zero from the allocator: nothing is written here
    decltype(bits_) fresh;
    fresh.resize(size);
    bits_.swap(fresh);
  } else {
    bits_.assign(size, 0);
  }
  palette_.clear();
  transparentIndex_ = -1;
  if (bitCount <= 8) {
    int n = 1 << bitCount;
    palette_.resize(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
      uint8_t v = static_cast<uint8_t>(n == 1 ? 0 : i * 255 / (n - 1));
      palette_[static_cast<size_t>(i)] = TRGBQuad{v, v, v, 0};
    }
  }
  if (bitCount == 16) {
    if (pixelFormat_ == pf888) pixelFormat_ = pf555;
  } else {
    pixelFormat_ = pf888;
  }
}

void TDIB::Clear() {
  width_ = height_ = bitCount_ = stride_ = 0;
  pixelFormat_ = pf888;
  transparentIndex_ = -1;
  palette_.clear();
  bits_.clear();
  bits_.shrink_to_fit();
}

TColor TDIB::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  const uint8_t* row = ScanLine(y);
  auto pal = [&](int idx) -> TColor {
    if (idx < 0 || static_cast<size_t>(idx) >= palette_.size()) return 0;
    const TRGBQuad& q = palette_[static_cast<size_t>(idx)];
    return RGBColor(q.rgbRed, q.rgbGreen, q.rgbBlue);
  };
  switch (bitCount_) {
    case 1:
      return pal((row[x >> 3] >> (7 - (x & 7))) & 1);
    case 4:
      return pal((x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4));
    case 8:
      return pal(row[x]);
    case 16: {
      unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
      int r, g, b;
      if (pixelFormat_ == pf565) {
        r = (v >> 11) & 31;
        g = (v >> 5) & 63;
        b = v & 31;
        return RGBColor((r << 3) | (r >> 2), (g << 2) | (g >> 4), (b << 3) | (b >> 2));
      }
      r = (v >> 10) & 31;
      g = (v >> 5) & 31;
      b = v & 31;
      return RGBColor((r << 3) | (r >> 2), (g << 3) | (g >> 2), (b << 3) | (b >> 2));
    }
    case 24:
      return RGBColor(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
    case 32:
      return RGBColor(row[4 * x + 2], row[4 * x + 1], row[4 * x]);
  }
  return 0;
}

namespace {
int NearestPaletteIndex(const std::vector<TRGBQuad>& pal, TColor c) {
  int best = 0;
  int bestD = 1 << 30;
  for (size_t i = 0; i < pal.size(); ++i) {
    int dr = pal[i].rgbRed - GetRValue(c);
    int dg = pal[i].rgbGreen - GetGValue(c);
    int db = pal[i].rgbBlue - GetBValue(c);
    int d = dr * dr + dg * dg + db * db;
    if (d < bestD) {
      bestD = d;
      best = static_cast<int>(i);
      if (d == 0) break;
    }
  }
  return best;
}
}  // namespace

void TDIB::SetPixel(int x, int y, TColor c) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  uint8_t* row = ScanLine(y);
  int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
  switch (bitCount_) {
    case 1: {
      int idx = NearestPaletteIndex(palette_, c);
      uint8_t mask = static_cast<uint8_t>(0x80 >> (x & 7));
      row[x >> 3] = static_cast<uint8_t>(idx ? (row[x >> 3] | mask) : (row[x >> 3] & ~mask));
      break;
    }
    case 4: {
      int idx = NearestPaletteIndex(palette_, c) & 0x0F;
      uint8_t& byte = row[x >> 1];
      byte = (x & 1) ? static_cast<uint8_t>((byte & 0xF0) | idx)
                     : static_cast<uint8_t>((byte & 0x0F) | (idx << 4));
      break;
    }
    case 8:
      row[x] = static_cast<uint8_t>(NearestPaletteIndex(palette_, c));
      break;
    case 16: {
      unsigned v = pixelFormat_ == pf565
                       ? ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3)
                       : ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
      row[2 * x] = static_cast<uint8_t>(v & 0xFF);
      row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
      break;
    }
    case 24:
      row[3 * x] = static_cast<uint8_t>(b);
      row[3 * x + 1] = static_cast<uint8_t>(g);
      row[3 * x + 2] = static_cast<uint8_t>(r);
      break;
    case 32:
      row[4 * x] = static_cast<uint8_t>(b);
      row[4 * x + 1] = static_cast<uint8_t>(g);
      row[4 * x + 2] = static_cast<uint8_t>(r);
      row[4 * x + 3] = 0;
      break;
  }
}

void TDIB::FillRect(const TRect& rc, TColor c) {
  int l = std::max(0, rc.Left), t = std::max(0, rc.Top);
  int r = std::min(width_, rc.Right), b = std::min(height_, rc.Bottom);
  if (l >= r || t >= b) return;
  if (bitCount_ == 24 || bitCount_ == 32) {
    int bpp = bitCount_ / 8;
    uint8_t px[4] = {static_cast<uint8_t>(GetBValue(c)), static_cast<uint8_t>(GetGValue(c)),
                     static_cast<uint8_t>(GetRValue(c)), 0};
    for (int y = t; y < b; ++y) {
      uint8_t* row = ScanLine(y) + l * bpp;
      for (int x = l; x < r; ++x, row += bpp) std::memcpy(row, px, static_cast<size_t>(bpp));
    }
    return;
  }
  for (int y = t; y < b; ++y)
    for (int x = l; x < r; ++x) SetPixel(x, y, c);
}

void TDIB::Fill(TColor c) { FillRect(Rect(0, 0, width_, height_), c); }

bool TDIB::operator==(const TDIB& o) const {
  return width_ == o.width_ && height_ == o.height_ && bitCount_ == o.bitCount_ &&
         (bitCount_ != 16 || pixelFormat_ == o.pixelFormat_) && palette_ == o.palette_ &&
         bits_ == o.bits_;
}

bool ReadWholeFile(const std::string& fileName, std::vector<uint8_t>& out, size_t maxBytes) {
  out.clear();
  int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st{};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) > maxBytes) {
    ::close(fd);
    return false;
  }
  out.resize(static_cast<size_t>(st.st_size));
  size_t got = 0;
  while (got < out.size()) {
    ssize_t n = ::read(fd, out.data() + got, out.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  out.resize(got);
  return true;
}

bool WriteWholeFile(const std::string& fileName, const void* data, size_t size) {
  TFileUpdate update(fileName);
  return update.Commit(data, size);
}

}  // namespace movara
