#include "platform/render3d/RmStretch.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "base/DibStretch.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace movara::rm {
namespace {

// One axis of TDIB::StretchFrom's weights (the whole source over the whole surface),
// with the horizontal weights laid out for the vector pass.
struct TAxis : TStretchAxis {
  int64_t srcLen = 0, dstLen = 0;
  // Horizontal use, pixels taken two at a time (i even, i + 1), taps four at a time (a
  // group): per group 32 16-bit weights, taps 0 and 1 of the group of pixel i, of pixel
  // i + 1, then taps 2 and 3 of both; each pair repeated for the four channels, zero past
  // the taps (and for the missing pixel of an odd end).
  std::vector<int16_t> pairs;
  int groups = 0;  // 1 up to four taps, 2 up to eight; 0: too many for the vector pass
  int maxFirst = 0;
};

// All of srcLen source pixels over all of dstLen destination pixels.
void MakeAxis(int64_t srcLen, int64_t dstLen, TAxis& a) {
  static_cast<TStretchAxis&>(a) =
      StretchAxisWeights(srcLen, dstLen, 0, static_cast<int>(dstLen), 0, static_cast<int>(srcLen));
  a.srcLen = srcLen;
  a.dstLen = dstLen;
  const size_t taps = static_cast<size_t>(a.taps);
  const size_t n = a.first.size();
  a.pairs.clear();
  a.maxFirst = 0;
  a.groups = taps <= 4 ? 1 : taps <= 8 ? 2 : 0;
  if (a.groups > 0) {
    const size_t g = static_cast<size_t>(a.groups);
    a.pairs.assign((n + 1) / 2 * 32 * g, 0);
    for (size_t i = 0; i < n; ++i) {
      int16_t w[8] = {0, 0, 0, 0, 0, 0, 0, 0};
      for (size_t k = 0; k < taps; ++k) w[k] = static_cast<int16_t>(a.weights[i * taps + k]);
      for (size_t group = 0; group < g; ++group) {
        int16_t* p = a.pairs.data() + ((i / 2) * g + group) * 32 + (i % 2) * 8;
        const int16_t* gw = w + 4 * group;
        for (int c = 0; c < 4; ++c) {
          p[2 * c] = gw[0];
          p[2 * c + 1] = gw[1];
          p[16 + 2 * c] = gw[2];
          p[16 + 2 * c + 1] = gw[3];
        }
      }
      a.maxFirst = std::max(a.maxFirst, a.first[i] - a.lo);
    }
  }
}

// The axes of the last stretches of this thread (a film stretches the same sizes over
// and over). keep is not replaced: the other axis of the same stretch.
const TAxis& AxisFor(int64_t srcLen, int64_t dstLen, const TAxis* keep = nullptr) {
  constexpr size_t kKept = 4;
  thread_local std::vector<TAxis> cache = [] {
    std::vector<TAxis> c;
    c.reserve(kKept);  // entries never move
    return c;
  }();
  thread_local size_t next = 0;
  for (const TAxis& a : cache)
    if (a.srcLen == srcLen && a.dstLen == dstLen) return a;
  if (cache.size() < kKept) {
    cache.emplace_back();
    MakeAxis(srcLen, dstLen, cache.back());
    return cache.back();
  }
  if (&cache[next] == keep) next = (next + 1) % kKept;
  TAxis& a = cache[next];
  next = (next + 1) % kKept;
  MakeAxis(srcLen, dstLen, a);
  return a;
}

#if defined(__x86_64__)
#define RM_AVX2 __attribute__((target("avx2")))

// Four taps of two pixels, one in each half: 16 bytes read from each group's first tap
// on, spread by the masks into 16-bit pairs, taps 0 and 1 and taps 2 and 3, times the
// pair weights w, summed: four 32-bit channels a half, not yet rounded.
RM_AVX2 __attribute__((always_inline)) inline __m256i FilterGroup(const uint8_t* p0, const uint8_t* p1,
                                                                  __m256i maskA, __m256i maskB, const int16_t* w) {
  const __m256i v = _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p0))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(p1)), 1);
  const __m256i a = _mm256_madd_epi16(_mm256_shuffle_epi8(v, maskA),
                                      _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w)));
  const __m256i b = _mm256_madd_epi16(_mm256_shuffle_epi8(v, maskB),
                                      _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + 16)));
  return _mm256_add_epi32(a, b);
}

// Two pixels of the horizontal pass (Groups groups of four taps each), rounded.
template <int Bpp, int Groups>
RM_AVX2 __attribute__((always_inline)) inline __m256i FilterPixels(const uint8_t* p0, const uint8_t* p1,
                                                                   __m256i maskA, __m256i maskB, const int16_t* w) {
  __m256i sum = FilterGroup(p0, p1, maskA, maskB, w);
  if constexpr (Groups == 2) sum = _mm256_add_epi32(sum, FilterGroup(p0 + 4 * Bpp, p1 + 4 * Bpp, maskA, maskB, w + 32));
  return _mm256_srli_epi32(_mm256_add_epi32(sum, _mm256_set1_epi32(32)), 6);
}

// One source row filtered horizontally into four 16-bit channels with 8 fraction bits:
// out[c] = (sum of weight * byte + 32) >> 6, as the scalar pass of TDIB does it. src
// points at source pixel a.lo; 16 bytes are read from every group's first tap on.
template <int Bpp, int Groups>
RM_AVX2 void FilterRowVector(const TAxis& a, const uint8_t* src, uint16_t* out) {
  // Per channel the bytes of two taps side by side as 16-bit numbers: taps 0 and 1
  // (maskA), taps 2 and 3 (maskB); a 24-bit source has no fourth channel: zero.
  alignas(32) int8_t m[2][32];
  for (int half = 0; half < 2; ++half)
    for (int lane = 0; lane < 2; ++lane)
      for (int c = 0; c < 4; ++c)
        for (int t = 0; t < 2; ++t) {
          const int at = lane * 16 + c * 4 + t * 2;
          m[half][at] = c < Bpp ? static_cast<int8_t>((half * 2 + t) * Bpp + c) : static_cast<int8_t>(-128);
          m[half][at + 1] = -128;
        }
  const __m256i maskA = _mm256_load_si256(reinterpret_cast<const __m256i*>(m[0]));
  const __m256i maskB = _mm256_load_si256(reinterpret_cast<const __m256i*>(m[1]));
  const int n = static_cast<int>(a.first.size());
  const int16_t* w = a.pairs.data();
  const int* first = a.first.data();
  const int lo = a.lo;
  auto at = [&](int i) { return src + static_cast<size_t>(first[i] - lo) * Bpp; };
  int i = 0;
  // Four pixels a round: two pairs, packed to 16 bits and put back in order.
  constexpr int kPairWeights = 32 * Groups;  // the weights of two pixels
  for (; i + 4 <= n; i += 4) {
    const __m256i p01 = FilterPixels<Bpp, Groups>(at(i), at(i + 1), maskA, maskB, w + kPairWeights / 2 * i);
    const __m256i p23 =
        FilterPixels<Bpp, Groups>(at(i + 2), at(i + 3), maskA, maskB, w + kPairWeights / 2 * (i + 2));
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi32(p01, p23), 0xD8);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * i), packed);
  }
  for (; i < n; i += 2) {
    const bool two = i + 1 < n;
    const __m256i p =
        FilterPixels<Bpp, Groups>(at(i), at(two ? i + 1 : i), maskA, maskB, w + kPairWeights / 2 * i);
    const __m128i packed = _mm_packus_epi32(_mm256_castsi256_si128(p), _mm256_extracti128_si256(p, 1));
    if (two)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * i), packed);
    else
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 4 * i), packed);
  }
}

// n output bytes from taps filtered rows: (2^21 + sum of weight * value) >> 22. Rows go
// in pairs through 16-bit multiply-adds: values lowered by 32768 to fit, the sum raised
// again by 32768 times the pair's weights (exact: every number stays within 32 bits).
RM_AVX2 void BlendRowsVector(const uint16_t* const* rows, const int32_t* w, int taps, size_t n, uint8_t* out) {
  int64_t weightSum = 0;
  for (int t = 0; t < taps; ++t) weightSum += w[t];
  const __m256i start = _mm256_set1_epi32(static_cast<int32_t>(static_cast<uint32_t>(StretchFinalRound) +
                                                               static_cast<uint32_t>(weightSum * 32768)));
  const __m256i flip = _mm256_set1_epi16(static_cast<int16_t>(0x8000));
  size_t e = 0;
  for (; e + 16 <= n; e += 16) {
    __m256i lo = start, hi = start;
    for (int t = 0; t < taps; t += 2) {
      const __m256i r0 = _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[t] + e)), flip);
      const bool pair = t + 1 < taps;
      const __m256i r1 =
          pair ? _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[t + 1] + e)), flip)
               : _mm256_setzero_si256();
      const int32_t w1 = pair ? w[t + 1] : 0;
      const __m256i wt = _mm256_set1_epi32(static_cast<int32_t>((static_cast<uint32_t>(w1) << 16) |
                                                                (static_cast<uint32_t>(w[t]) & 0xFFFF)));
      lo = _mm256_add_epi32(lo, _mm256_madd_epi16(_mm256_unpacklo_epi16(r0, r1), wt));
      hi = _mm256_add_epi32(hi, _mm256_madd_epi16(_mm256_unpackhi_epi16(r0, r1), wt));
    }
    // per half: values 0-3 in lo, 4-7 in hi: packing keeps them in order
    const __m256i p16 = _mm256_packus_epi32(_mm256_srli_epi32(lo, 22), _mm256_srli_epi32(hi, 22));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + e),
                     _mm_packus_epi16(_mm256_castsi256_si128(p16), _mm256_extracti128_si256(p16, 1)));
  }
  for (; e < n; ++e) {
    uint32_t acc = StretchFinalRound;
    for (int t = 0; t < taps; ++t) acc += static_cast<uint32_t>(w[t]) * rows[t][e];
    out[e] = static_cast<uint8_t>(acc >> 22);
  }
}

bool Detect() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}
const bool gSupported = Detect();
// switched by tests and the command line while render threads may stretch
std::atomic<bool> gEnabled{gSupported};

#else
const bool gSupported = false;
std::atomic<bool> gEnabled{false};
#endif

}  // namespace

bool VectorStretchSupported() { return gSupported; }
void EnableVectorStretch(bool on) { gEnabled = on && gSupported; }

bool StretchToSurface(const TDIB& src, const TRect& srcRect, TRmSurface& dst, bool flipRows) {
#if defined(__x86_64__)
  if (!gEnabled || !dst.Valid() || src.Empty()) return false;
  const int bits = src.BitCount();
  if (bits != 24 && bits != 32) return false;
  if (srcRect.Left < 0 || srcRect.Top < 0 || srcRect.Right > src.Width() || srcRect.Bottom > src.Height() ||
      srcRect.Right <= srcRect.Left || srcRect.Bottom <= srcRect.Top)
    return false;
  const int sw = srcRect.Width(), sh = srcRect.Height();
  const int dw = dst.Width(), dh = dst.Height();
  const TAxis& xw = AxisFor(sw, dw);
  if (xw.groups == 0) return false;
  const TAxis& yw = AxisFor(sh, dh, &xw);
  if (yw.taps > 64) return false;
  const int bpp = bits / 8;
  const size_t rowLen = static_cast<size_t>(dw) * 4;

  // Rows whose reads would pass the end of the picture's memory are copied first.
  const size_t reach = static_cast<size_t>(xw.maxFirst) * bpp + 16 + (xw.groups - 1) * 4 * bpp;
  const uint8_t* end = src.Bits() + src.ImageSize();
  thread_local std::vector<uint8_t> spare;
  thread_local std::vector<uint16_t> ring;
  ring.resize(rowLen * static_cast<size_t>(yw.taps));
  std::vector<int> tag(static_cast<size_t>(yw.taps), -1);

  auto filtered = [&](int sy) -> const uint16_t* {
    const size_t slot = static_cast<size_t>(sy % yw.taps);
    uint16_t* out = ring.data() + slot * rowLen;
    if (tag[slot] == sy) return out;
    tag[slot] = sy;
    const uint8_t* row = src.ScanLine(srcRect.Top + sy) + static_cast<size_t>(srcRect.Left + xw.lo) * bpp;
    if (static_cast<size_t>(end - row) < reach) {
      spare.assign(reach, 0);
      std::memcpy(spare.data(), row, std::min(static_cast<size_t>(end - row), reach));
      row = spare.data();
    }
    if (bpp == 3)
      xw.groups == 1 ? FilterRowVector<3, 1>(xw, row, out) : FilterRowVector<3, 2>(xw, row, out);
    else
      xw.groups == 1 ? FilterRowVector<4, 1>(xw, row, out) : FilterRowVector<4, 2>(xw, row, out);
    return out;
  };

  const uint16_t* rows[64];
  for (int j = 0; j < dh; ++j) {
    for (int k = 0; k < yw.taps; ++k) rows[k] = filtered(yw.first[static_cast<size_t>(j)] + k);
    uint8_t* d = reinterpret_cast<uint8_t*>(dst.Row(flipRows ? dh - 1 - j : j));
    BlendRowsVector(rows, yw.weights.data() + static_cast<size_t>(j) * yw.taps, yw.taps, rowLen, d);
  }
  return true;
#else
  (void)src;
  (void)srcRect;
  (void)dst;
  (void)flipRows;
  return false;
#endif
}

}  // namespace movara::rm
