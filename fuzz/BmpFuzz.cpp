// Feeds arbitrary bytes to the BMP reader. A picture that loads must be readable in
// every pixel, convert to 24 bits, stretch, and survive a save and reload unchanged.
#include <cstddef>
#include <cstdint>

#include "base/Dib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  movara::TDIB pic;
  if (!pic.LoadFromBmpBytes(data, size)) {
    if (!pic.Empty()) __builtin_trap();  // a refused file leaves the picture as it was
    return 0;
  }
  uint32_t sum = 0;
  for (int y = 0; y < pic.Height(); ++y)
    for (int x = 0; x < pic.Width(); ++x) sum += pic.Pixel(x, y);
  movara::TDIB rgb = pic.ConvertTo(24);
  if (rgb.Width() != pic.Width() || rgb.Height() != pic.Height()) __builtin_trap();
  if (pic.Width() > 0 && rgb.Pixel(0, 0) != pic.Pixel(0, 0)) __builtin_trap();

  // Stretch to a size that varies with the input, shrinking one axis or growing it.
  const int w = 1 + static_cast<int>(size % 37), h = 1 + static_cast<int>(size / 37 % 29);
  movara::TDIB small = pic.Stretched(w, h);
  if (small.Width() != w || small.Height() != h || small.BitCount() != 24) __builtin_trap();
  sum += small.Pixel(w - 1, h - 1);

  std::vector<uint8_t> saved = pic.SaveToBmpBytes();
  movara::TDIB again;
  if (!again.LoadFromBmpBytes(saved.data(), saved.size()) || !(again == pic)) __builtin_trap();
  // Keeps the pixel loops from being optimised away.
  asm volatile("" : : "r"(sum));
  return 0;
}
