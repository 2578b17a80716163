#include "base/DibStretch.h"

#include <algorithm>
#include <utility>

namespace movara {

TStretchAxis StretchAxisWeights(int64_t srcLen, int64_t dstLen, int d0, int d1, int c0, int c1) {
  struct Span {
    int lo;
    std::vector<int32_t> w;
  };
  std::vector<Span> spans;
  spans.reserve(static_cast<size_t>(d1 - d0));
  std::vector<std::pair<int64_t, int64_t>> raw;  // (source index, weight numerator)
  int taps = 1;
  for (int i = d0; i < d1; ++i) {
    raw.clear();
    int64_t denom;
    if (srcLen > dstLen) {  // area average over the source span of this pixel
      const int64_t s0 = i * srcLen, s1 = (i + 1) * srcLen;  // in 1/dstLen source pixels
      // Parts of the span outside the picture count for its edge pixels; only the
      // inside is walked pixel by pixel, however wide the source rectangle is.
      const int64_t below = std::min(s1, c0 * dstLen) - s0;
      const int64_t above = s1 - std::max(s0, c1 * dstLen);
      if (below > 0) raw.emplace_back(c0, below);
      for (int64_t j = std::max<int64_t>(s0 / dstLen, c0); j < c1 && j * dstLen < s1; ++j) {
        int64_t ov = std::min((j + 1) * dstLen, s1) - std::max(j * dstLen, s0);
        if (ov > 0) raw.emplace_back(j, ov);
      }
      if (above > 0) raw.emplace_back(c1 - 1, above);
      denom = srcLen;
    } else if (srcLen == dstLen) {
      raw.emplace_back(i, 1);
      denom = 1;
    } else {  // bilinear between the two source pixels around the centre
      const int64_t twoD = 2 * dstLen;
      const int64_t s = (2 * int64_t(i) + 1) * srcLen - dstLen;  // in 1/(2*dstLen) pixels
      int64_t j0 = s >= 0 ? s / twoD : -((-s + twoD - 1) / twoD);
      int64_t frac = s - j0 * twoD;
      raw.emplace_back(j0, twoD - frac);
      raw.emplace_back(j0 + 1, frac);
      denom = twoD;
    }
    // Integer weights that sum to exactly StretchWeightOne; the remainder goes to the largest.
    size_t big = 0;
    for (size_t k = 1; k < raw.size(); ++k)
      if (raw[k].second > raw[big].second) big = k;
    int64_t sum = 0;
    for (auto& r : raw) {
      r.second = (r.second * StretchWeightOne + denom / 2) / denom;
      sum += r.second;
    }
    raw[big].second += StretchWeightOne - sum;
    int lo = c1, hi = c0 - 1;
    for (auto& [j, wgt] : raw) {
      j = std::clamp<int64_t>(j, c0, c1 - 1);
      if (wgt == 0) continue;
      lo = std::min(lo, static_cast<int>(j));
      hi = std::max(hi, static_cast<int>(j));
    }
    Span sp{lo, std::vector<int32_t>(static_cast<size_t>(hi - lo + 1), 0)};
    for (auto& [j, wgt] : raw)
      if (wgt != 0) sp.w[static_cast<size_t>(j - lo)] += static_cast<int32_t>(wgt);
    taps = std::max(taps, hi - lo + 1);
    spans.push_back(std::move(sp));
  }
  // Pad every pixel to the same number of taps, moving the start back where the
  // span would run past the end (taps never exceed c1 - c0).
  TStretchAxis a;
  a.taps = taps;
  a.lo = c1;
  a.hi = c0 - 1;
  a.weights.assign(spans.size() * static_cast<size_t>(taps), 0);
  for (size_t i = 0; i < spans.size(); ++i) {
    const int first = std::min(spans[i].lo, c1 - taps);
    a.first.push_back(first);
    a.lo = std::min(a.lo, first);
    a.hi = std::max(a.hi, first + taps - 1);
    int32_t* wp = a.weights.data() + i * static_cast<size_t>(taps);
    for (size_t k = 0; k < spans[i].w.size(); ++k)
      wp[static_cast<size_t>(spans[i].lo - first) + k] = spans[i].w[k];
  }
  return a;
}

}  // namespace movara
