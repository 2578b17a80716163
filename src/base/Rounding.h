#pragma once
// The two rounding rules of the program. Never round with an ad-hoc cast.
#include <cstdint>

namespace movara {

// Nearest integer, halves to even (the default rounding of times and counts). Called
// for every sound sample: the usual magnitudes are done here, without the library's
// rounding call and its saving of the floating-point state.
int64_t RoundHalfEvenSlow(long double x);
inline int64_t RoundHalfEven(long double x) {
  if (x > -4.0e18L && x < 4.0e18L) {  // also false for NaN
    int64_t i = static_cast<int64_t>(x);  // towards zero
    const long double frac = x - static_cast<long double>(i);  // exact: a fraction fits the mantissa
    if (frac > 0.5L || (frac == 0.5L && (i & 1) != 0)) ++i;
    else if (frac < -0.5L || (frac == -0.5L && (i & 1) != 0)) --i;
    return i;
  }
  return RoundHalfEvenSlow(x);
}
inline int RoundInt(long double x) { return static_cast<int>(RoundHalfEven(x)); }

// a * b / c computed in 128 bits, rounded to nearest with halves away from zero.
// Returns false (result untouched) when c is 0 or the quotient does not fit 64 bits.
bool MulDivRound(int64_t a, int64_t b, int64_t c, int64_t& result);
// Convenience: 0 when the division fails.
int64_t MulDiv64(int64_t a, int64_t b, int64_t c);

}  // namespace movara
