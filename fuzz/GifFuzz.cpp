// Feeds arbitrary bytes to the GIF loader; no picture may hold more pixels than its
// bytes can (a few bytes declaring a huge screen are refused); small pictures that load
// are written again and must come back with the same pixels, palette colours and
// transparent index.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/GifFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  movara::TDIB dib;
  if (!movara::LoadGifFromBytes(data, size, dib)) return 0;
  if (dib.BitCount() != 8 || dib.Empty()) __builtin_trap();
  if (static_cast<int64_t>(dib.Width()) * dib.Height() > std::max<int64_t>(int64_t(1) << 22, int64_t(size) * 4096))
    __builtin_trap();
  if (static_cast<int64_t>(dib.Width()) * dib.Height() > 512 * 512) return 0;
  std::vector<uint8_t> out;
  if (!movara::SaveGifToBytes(dib, out)) __builtin_trap();
  movara::TDIB again;
  if (!movara::LoadGifFromBytes(out.data(), out.size(), again)) __builtin_trap();
  if (again.Width() != dib.Width() || again.Height() != dib.Height() ||
      again.TransparentIndex() != dib.TransparentIndex())
    __builtin_trap();
  for (int y = 0; y < dib.Height(); ++y)
    for (int x = 0; x < dib.Width(); ++x)
      if (again.ScanLine(y)[x] != dib.ScanLine(y)[x] || again.Pixel(x, y) != dib.Pixel(x, y))
        __builtin_trap();
  return 0;
}
