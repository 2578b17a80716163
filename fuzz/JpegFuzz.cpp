// Feeds arbitrary bytes to the JPEG loader; small pictures that load are also encoded
// again and the result must load with the same size.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/JpegFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  movara::TDIB dib;
  if (!movara::LoadJpegFromBytes(data, size, dib)) return 0;
  if (dib.BitCount() != 24 || dib.Empty()) __builtin_trap();
  if (static_cast<int64_t>(dib.Width()) * dib.Height() > 256 * 256) return 0;
  std::vector<uint8_t> out;
  if (!movara::SaveJpegToBytes(dib, 75, out)) __builtin_trap();
  movara::TDIB again;
  if (!movara::LoadJpegFromBytes(out.data(), out.size(), again)) __builtin_trap();
  if (again.Width() != dib.Width() || again.Height() != dib.Height()) __builtin_trap();
  return 0;
}
