#include "base/LittleEndian.h"

namespace movara {

void TLEWriter::U16(uint16_t v) {
  uint8_t b[2];
  PutLE16(b, v);
  out_.insert(out_.end(), b, b + 2);
}

void TLEWriter::U32(uint32_t v) {
  uint8_t b[4];
  PutLE32(b, v);
  out_.insert(out_.end(), b, b + 4);
}

void TLEWriter::U64(uint64_t v) {
  uint8_t b[8];
  PutLE64(b, v);
  out_.insert(out_.end(), b, b + 8);
}

void TLEWriter::Bytes(const void* data, size_t n) {
  if (n == 0) return;
  const auto* p = static_cast<const uint8_t*>(data);
  out_.insert(out_.end(), p, p + n);
}

const uint8_t* TLEReader::Take(size_t n) {
  if (Left() < n) {
    ok_ = false;
    pos_ = size_;
    return nullptr;
  }
  const uint8_t* p = p_ + pos_;
  pos_ += n;
  return p;
}

uint8_t TLEReader::U8() {
  const uint8_t* p = Take(1);
  return p ? *p : 0;
}

uint16_t TLEReader::U16() {
  const uint8_t* p = Take(2);
  return p ? GetLE16(p) : 0;
}

uint32_t TLEReader::U32() {
  const uint8_t* p = Take(4);
  return p ? GetLE32(p) : 0;
}

uint64_t TLEReader::U64() {
  const uint8_t* p = Take(8);
  return p ? GetLE64(p) : 0;
}

void TLEReader::Skip(size_t n) { Take(n); }

}  // namespace movara
