#include <gtest/gtest.h>

#include <vector>

#include "base/LittleEndian.h"

using namespace movara;

// Every field kind written, its bytes checked, read back; then a record cut short.
TEST(LittleEndian, FieldsKeepTheirBytesAndShortRecordsReadAsZeros) {
  std::vector<uint8_t> b;
  TLEWriter w(b);
  w.U8(0xA5);
  w.U16(0x1234);
  w.I16(-2);
  w.U32(0x89ABCDEFu);
  w.I32(-100000);
  w.U64(0x0102030405060708ull);
  w.FourCC(0x20424944u);  // "DIB "
  const std::vector<uint8_t> want = {0xA5, 0x34, 0x12, 0xFE, 0xFF, 0xEF, 0xCD, 0xAB, 0x89, 0x60, 0x79,
                                     0xFE, 0xFF, 0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01, 'D',
                                     'I',  'B',  ' '};
  ASSERT_EQ(b, want);
  EXPECT_EQ(GetLE16(b.data() + 1), 0x1234);
  EXPECT_EQ(GetLE32(b.data() + 5), 0x89ABCDEFu);
  EXPECT_EQ(GetLEI32(b.data() + 9), -100000);
  EXPECT_EQ(GetLE64(b.data() + 13), 0x0102030405060708ull);
  uint8_t p[8] = {};
  PutLEI32(p, -100000);
  PutLE16(p + 4, 0xBEEF);
  EXPECT_EQ(GetLEI32(p), -100000);
  EXPECT_EQ(GetLE16(p + 4), 0xBEEF);

  TLEReader r(b.data(), b.size());
  EXPECT_EQ(r.U8(), 0xA5);
  EXPECT_EQ(r.U16(), 0x1234);
  EXPECT_EQ(r.I16(), -2);
  EXPECT_EQ(r.U32(), 0x89ABCDEFu);
  EXPECT_EQ(r.I32(), -100000);
  EXPECT_EQ(r.U64(), 0x0102030405060708ull);
  EXPECT_EQ(r.U32(), 0x20424944u);
  EXPECT_TRUE(r.Ok());
  EXPECT_EQ(r.Left(), 0u);

  // Three bytes left: a 32-bit field reads as 0, and so does everything after it.
  TLEReader cut(b.data(), 8);
  cut.Skip(5);
  EXPECT_EQ(cut.U32(), 0u);
  EXPECT_FALSE(cut.Ok());
  EXPECT_EQ(cut.U8(), 0);
  EXPECT_EQ(cut.Pos(), 8u);
}
