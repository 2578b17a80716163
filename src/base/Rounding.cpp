#include "base/Rounding.h"

#include <cmath>
#include <limits>

namespace movara {

int64_t RoundHalfEvenSlow(long double x) {
  if (std::isnan(x)) return 0;
  long double r = std::nearbyintl(x);  // default FE_TONEAREST: halves to even
  if (r >= 9.2233720368547758e18L) return std::numeric_limits<int64_t>::max();
  if (r <= -9.2233720368547758e18L) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(r);
}

bool MulDivRound(int64_t a, int64_t b, int64_t c, int64_t& result) {
  if (c == 0) return false;
  __int128 p = static_cast<__int128>(a) * b;
  bool neg = (p < 0) != (c < 0);
  unsigned __int128 up = p < 0 ? static_cast<unsigned __int128>(-p) : static_cast<unsigned __int128>(p);
  unsigned __int128 uc = c < 0 ? static_cast<unsigned __int128>(-static_cast<__int128>(c))
                               : static_cast<unsigned __int128>(c);
  unsigned __int128 q = up / uc;
  unsigned __int128 rem = up % uc;
  if (rem * 2 >= uc) ++q;
  if (q > static_cast<unsigned __int128>(std::numeric_limits<int64_t>::max())) return false;
  result = neg ? -static_cast<int64_t>(q) : static_cast<int64_t>(q);
  return true;
}

int64_t MulDiv64(int64_t a, int64_t b, int64_t c) {
  int64_t r = 0;
  return MulDivRound(a, b, c, r) ? r : 0;
}

}  // namespace movara
