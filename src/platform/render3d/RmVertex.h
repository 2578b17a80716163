#pragma once
// The 36-byte vertex of the retained-mode renderer: position, normal, texture
// coordinates and a D3DCOLOR (alpha in the top byte, then red, green, blue in the low
// byte). The effects write their frame buffers in this layout and the renderer reads
// them as they are.
#include <cstdint>

namespace movara {

struct TRmVertex {
  float x = 0, y = 0, z = 0;
  float nx = 0, ny = 0, nz = 0;
  float tu = 0, tv = 0;
  uint32_t color = 0;
};
static_assert(sizeof(TRmVertex) == 36, "the vertex layout is 36 bytes");

using TD3DColor = uint32_t;
inline constexpr TD3DColor RGBA_MAKE(int r, int g, int b, int a) {
  return (static_cast<uint32_t>(a & 0xFF) << 24) | (static_cast<uint32_t>(r & 0xFF) << 16) |
         (static_cast<uint32_t>(g & 0xFF) << 8) | static_cast<uint32_t>(b & 0xFF);
}

}  // namespace movara
