#pragma once
// Page files written by hand from the byte tables, independent of our writer.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace movara::test {

inline void PutLE32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  if (b.size() < at + 4) b.resize(at + 4, 0);
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// The 32-byte header.
inline std::vector<uint8_t> HandHeader(uint8_t pageSize, uint32_t color, uint32_t count) {
  std::vector<uint8_t> b(32, 0);
  std::memcpy(b.data(), "PTE1.0", 6);
  b[6] = pageSize;
  PutLE32(b, 8, color);
  PutLE32(b, 28, count);
  return b;
}

struct THandItem {
  uint32_t selected = 0;
  int32_t x = 0, y = 0;
  uint8_t bold = 0, italic = 0, underline = 0;
  int32_t size = 20;
  uint32_t color = 0x00FFFF;
  uint8_t visible = 1, shadowed = 0, outlined = 0;
  int32_t sx = 1, sy = 1, outline = 1;
  uint32_t shadowColor = 0x008080, outlineColor = 0x000080;
  uint8_t wordWrap = 0;
  std::string text;
  std::string font = "Arial";
};

// One record as the table lays it out; lengthOverride replaces the length field.
inline std::vector<uint8_t> HandRecord(const THandItem& it, int64_t lengthOverride = -1) {
  std::vector<uint8_t> r(80, 0);
  PutLE32(r, 4, it.selected);
  PutLE32(r, 8, static_cast<uint32_t>(it.x));
  PutLE32(r, 12, static_cast<uint32_t>(it.y));
  r[16] = it.bold;
  r[17] = it.italic;
  r[18] = it.underline;
  PutLE32(r, 20, static_cast<uint32_t>(it.size));
  PutLE32(r, 24, it.color);
  r[28] = it.visible;
  r[29] = it.shadowed;
  r[30] = it.outlined;
  PutLE32(r, 32, static_cast<uint32_t>(it.sx));
  PutLE32(r, 36, static_cast<uint32_t>(it.sy));
  PutLE32(r, 40, static_cast<uint32_t>(it.outline));
  PutLE32(r, 44, it.shadowColor);
  PutLE32(r, 48, it.outlineColor);
  r[52] = it.wordWrap;
  r.insert(r.end(), it.text.begin(), it.text.end());
  r.push_back(0);
  r.insert(r.end(), it.font.begin(), it.font.end());
  r.push_back(0);
  PutLE32(r, 0, lengthOverride >= 0 ? static_cast<uint32_t>(lengthOverride)
                                    : static_cast<uint32_t>(r.size()));
  return r;
}

inline void Append(std::vector<uint8_t>& to, const std::vector<uint8_t>& more) {
  to.insert(to.end(), more.begin(), more.end());
}

}  // namespace movara::test
