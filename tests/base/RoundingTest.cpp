#include <gtest/gtest.h>

#include <cmath>

#include "base/Format.h"
#include "base/Rounding.h"

using namespace movara;

TEST(Rounding, HalvesGoToEvenByDefault) {
  EXPECT_EQ(RoundHalfEven(0.5L), 0);
  EXPECT_EQ(RoundHalfEven(1.5L), 2);
  EXPECT_EQ(RoundHalfEven(2.5L), 2);
  EXPECT_EQ(RoundHalfEven(-2.5L), -2);
  EXPECT_EQ(RoundHalfEven(2.4999L), 2);
  EXPECT_EQ(RoundHalfEven(2.5001L), 3);
}

TEST(Rounding, TheQuickWayAgreesWithTheLibrary) {
  // halves and their neighbours one unit of the last place away, at every magnitude
  uint64_t seed = 42;
  for (int e = -3; e < 62; ++e) {
    for (int k = 0; k < 200; ++k) {
      seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
      const long double base = std::ldexp(static_cast<long double>(seed >> 11), e - 53);
      for (long double x : {base, std::floor(base) + 0.5L, std::nextafter(std::floor(base) + 0.5L, 0.0L),
                            std::nextafter(std::floor(base) + 0.5L, 1e30L)}) {
        EXPECT_EQ(RoundHalfEven(x), RoundHalfEvenSlow(x)) << static_cast<double>(x);
        EXPECT_EQ(RoundHalfEven(-x), RoundHalfEvenSlow(-x)) << static_cast<double>(-x);
      }
    }
  }
  EXPECT_EQ(RoundHalfEven(std::nanl("")), 0);
  EXPECT_EQ(RoundHalfEven(1e30L), INT64_MAX);
  EXPECT_EQ(RoundHalfEven(-1e30L), INT64_MIN);
}

TEST(Rounding, MulDivRoundsHalvesAwayFromZero) {
  int64_t r = 0;
  ASSERT_TRUE(MulDivRound(1, 1, 2, r));
  EXPECT_EQ(r, 1);
  ASSERT_TRUE(MulDivRound(-1, 1, 2, r));
  EXPECT_EQ(r, -1);
  ASSERT_TRUE(MulDivRound(3, 1000, 25, r));
  EXPECT_EQ(r, 120);
  // 60 ms at 25 fps = 1.5 frames -> 2
  ASSERT_TRUE(MulDivRound(60, 25, 1000, r));
  EXPECT_EQ(r, 2);
  ASSERT_TRUE(MulDivRound(20, 25, 1000, r));  // 0.5 -> 1, away from zero
  EXPECT_EQ(r, 1);
  // the product does not overflow 64 bits on the way
  ASSERT_TRUE(MulDivRound(INT64_MAX / 2, 4, 8, r));
  EXPECT_EQ(r, INT64_MAX / 4 + 1);  // .5 rounds up
  EXPECT_FALSE(MulDivRound(5, 5, 0, r));
  EXPECT_EQ(MulDiv64(5, 5, 0), 0);
  EXPECT_FALSE(MulDivRound(INT64_MAX, 4, 1, r));
}

TEST(Format, PrintfPatternsAndPadding) {
  EXPECT_EQ(Format("%s = $%x (%x + %d).", "X", 0x80004005u, 0x8000u, 16389),
            "X = $80004005 (8000 + 16389).");
  std::string longText(1000, 'a');
  EXPECT_EQ(Format("%s!", longText.c_str()).size(), 1001u);
  EXPECT_EQ(PadZeros("7", 2), "07");
  EXPECT_EQ(PadZeros("123", 2), "123");
  EXPECT_TRUE(SameText("Main App", "MAIN app"));
  EXPECT_FALSE(SameText("Main", "Mainx"));
}
