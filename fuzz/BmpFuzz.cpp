// Feeds arbitrary bytes to the BMP reader. A picture that loads must be readable in
// every pixel, convert to 24 bits, and survive a save and reload unchanged.
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

  std::vector<uint8_t> saved = pic.SaveToBmpBytes();
  movara::TDIB again;
  if (!again.LoadFromBmpBytes(saved.data(), saved.size()) || !(again == pic)) __builtin_trap();
  return sum == 0xFFFFFFFFu ? 1 : 0;  // keeps the pixel loop from being optimised away
}
