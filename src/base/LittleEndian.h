#pragma once
// Little-endian fields of the binary files (RIFF, BMP, project and page files, codec
// state blocks): read and written byte by byte, so that the layout never depends on
// the compiler or the machine.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace movara {

// Fields in memory.
inline uint16_t GetLE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t GetLE32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t GetLE64(const uint8_t* p) {
  return static_cast<uint64_t>(GetLE32(p)) | (static_cast<uint64_t>(GetLE32(p + 4)) << 32);
}
inline int32_t GetLEI32(const uint8_t* p) { return static_cast<int32_t>(GetLE32(p)); }
inline void PutLE16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutLE64(uint8_t* p, uint64_t v) {
  PutLE32(p, static_cast<uint32_t>(v));
  PutLE32(p + 4, static_cast<uint32_t>(v >> 32));
}
inline void PutLEI32(uint8_t* p, int32_t v) { PutLE32(p, static_cast<uint32_t>(v)); }

// Appends little-endian fields to a byte vector.
class TLEWriter {
 public:
  explicit TLEWriter(std::vector<uint8_t>& out) : out_(out) {}
  void U8(uint8_t v) { out_.push_back(v); }
  void U16(uint16_t v);
  void U32(uint32_t v);
  void U64(uint64_t v);
  void I16(int16_t v) { U16(static_cast<uint16_t>(v)); }
  void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
  void FourCC(uint32_t v) { U32(v); }
  void Bytes(const void* data, size_t n);
  void Zeros(size_t n) { out_.insert(out_.end(), n, 0); }
  size_t Size() const { return out_.size(); }

 private:
  std::vector<uint8_t>& out_;
};

// Reads little-endian fields from a byte range; a field past the end reads as 0 and
// clears Ok(), so a short record reads as zeros beyond its end.
class TLEReader {
 public:
  TLEReader(const uint8_t* data, size_t size) : p_(data), size_(size) {}
  uint8_t U8();
  uint16_t U16();
  uint32_t U32();
  uint64_t U64();
  int16_t I16() { return static_cast<int16_t>(U16()); }
  int32_t I32() { return static_cast<int32_t>(U32()); }
  void Skip(size_t n);
  size_t Pos() const { return pos_; }
  size_t Left() const { return pos_ < size_ ? size_ - pos_ : 0; }
  bool Ok() const { return ok_; }

 private:
  // The next n bytes, or nullptr (the reader then at its end and not Ok) when fewer are left.
  const uint8_t* Take(size_t n);

  const uint8_t* p_;
  size_t size_;
  size_t pos_ = 0;
  bool ok_ = true;
};

}  // namespace movara
