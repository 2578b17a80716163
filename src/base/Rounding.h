#pragma once
// The two rounding rules of the program. Never round with an ad-hoc cast.
#include <cstdint>

namespace movara {

// Nearest integer, halves to even (the default rounding of times and counts).
int64_t RoundHalfEven(long double x);
inline int RoundInt(long double x) { return static_cast<int>(RoundHalfEven(x)); }

// a * b / c computed in 128 bits, rounded to nearest with halves away from zero.
// Returns false (result untouched) when c is 0 or the quotient does not fit 64 bits.
bool MulDivRound(int64_t a, int64_t b, int64_t c, int64_t& result);
// Convenience: 0 when the division fails.
int64_t MulDiv64(int64_t a, int64_t b, int64_t c);

}  // namespace movara
