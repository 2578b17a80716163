#include "platform/codecs/VideoRgbToYuv.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace movara::videoff {
namespace {

// swscale's BT.601 input coefficients (its default table), 15 fraction bits.
struct TCoefficients {
  int32_t ry, gy, by, ru, gu, bu, rv, gv, bv;
};
TCoefficients Bt601() {
  constexpr int kShift = 15;
  TCoefficients k;
  k.by = static_cast<int>(0.114 * 219 / 255 * (1 << kShift) + 0.5);
  k.bv = -static_cast<int>(0.081 * 224 / 255 * (1 << kShift) + 0.5);
  k.bu = static_cast<int>(0.500 * 224 / 255 * (1 << kShift) + 0.5);
  k.gy = static_cast<int>(0.587 * 219 / 255 * (1 << kShift) + 0.5);
  k.gv = -static_cast<int>(0.419 * 224 / 255 * (1 << kShift) + 0.5);
  k.gu = -static_cast<int>(0.331 * 224 / 255 * (1 << kShift) + 0.5);
  k.ry = static_cast<int>(0.299 * 219 / 255 * (1 << kShift) + 0.5);
  k.rv = static_cast<int>(0.500 * 224 / 255 * (1 << kShift) + 0.5);
  k.ru = -static_cast<int>(0.169 * 224 / 255 * (1 << kShift) + 0.5);
  return k;
}
const TCoefficients kK = Bt601();

// Limited-range luma and chroma (14 bits) of one pixel.
constexpr int32_t kLumaOffset = (32 << 14) + (1 << 8);
constexpr int32_t kChromaOffset = (256 << 14) + (1 << 8);
inline int16_t Luma14(int r, int g, int b) { return static_cast<int16_t>((kK.ry * r + kK.gy * g + kK.by * b + kLumaOffset) >> 9); }
inline int16_t U14(int r, int g, int b) { return static_cast<int16_t>((kK.ru * r + kK.gu * g + kK.bu * b + kChromaOffset) >> 9); }
inline int16_t V14(int r, int g, int b) { return static_cast<int16_t>((kK.rv * r + kK.gv * g + kK.bv * b + kChromaOffset) >> 9); }

// 15-bit values widened to full range, then rounded to bytes.
inline uint8_t LumaByte(int32_t y15) {
  const int16_t j = static_cast<int16_t>((std::min(y15, 30189) * 19077 - 39057361) >> 14);
  return static_cast<uint8_t>(std::clamp((j + 64) >> 7, 0, 255));
}
inline uint8_t ChromaByte(int32_t c15) {
  const int16_t j = static_cast<int16_t>((std::min(c15, 30775) * 4663 - 9289992) >> 12);
  return static_cast<uint8_t>(std::clamp((j + 64) >> 7, 0, 255));
}

int Log2(unsigned v) {
  int n = 0;
  while (v >>= 1) ++n;
  return n;
}

int64_t RoundedDiv(int64_t a, int64_t b) { return (a >= 0 ? a + (b >> 1) : a - (b >> 1)) / b; }

// swscale's bicubic horizontal filter (B = 0, C = 0.6) with its reductions, alignment to
// filterAlign taps, border fixes and normalisation to `one`, as made with SWS_BITEXACT.
// False where swscale would cascade or the sizes make no filter.
bool BicubicFilter(int srcW, int dstW, int xInc, int srcPos, int dstPos, int filterAlign, int one,
                   std::vector<int16_t>& out, std::vector<int32_t>& pos, int& outSize) {
  if (srcW < 4 || dstW < 1 || srcW <= dstW) return false;
  const int64_t fone = int64_t(1) << (54 - std::min(Log2(static_cast<unsigned>(srcW / dstW)), 8));
  pos.assign(static_cast<size_t>(dstW) + 3, 0);
  int filterSize = 1 + (4 * srcW + dstW - 1) / dstW;
  filterSize = std::max(std::min(filterSize, srcW - 2), 1);
  std::vector<int64_t> filter(static_cast<size_t>(dstW) * filterSize);
  const int64_t B = 0;
  const int64_t C = static_cast<int64_t>(0.6 * (1 << 24));
  int64_t xDstInSrc = ((dstPos * static_cast<int64_t>(xInc)) >> 7) - ((srcPos * 0x10000LL) >> 7);
  for (int i = 0; i < dstW; ++i) {
    int xx = static_cast<int>((xDstInSrc - (filterSize - 2) * (1LL << 16)) / (1 << 17));
    pos[static_cast<size_t>(i)] = xx;
    for (int j = 0; j < filterSize; ++j) {
      int64_t d = std::llabs(static_cast<int64_t>(xx) * (1 << 17) - xDstInSrc) << 13;
      d = d * dstW / srcW;  // downscaling
      int64_t coeff;
      if (d >= 1LL << 31) {
        coeff = 0;
      } else {
        const int64_t dd = (d * d) >> 30;
        const int64_t ddd = (dd * d) >> 30;
        if (d < 1LL << 30)
          coeff = (12 * (1 << 24) - 9 * B - 6 * C) * ddd + (-18 * (1 << 24) + 12 * B + 6 * C) * dd +
                  (6 * (1 << 24) - 2 * B) * (1 << 30);
        else
          coeff = (-B - 6 * C) * ddd + (6 * B + 30 * C) * dd + (-12 * B - 48 * C) * d + (8 * B + 24 * C) * (1 << 30);
      }
      coeff /= (1LL << 54) / fone;
      filter[static_cast<size_t>(i) * filterSize + j] = coeff;
      ++xx;
    }
    xDstInSrc += 2 * static_cast<int64_t>(xInc);
  }

  // Near-zero coefficients dropped on the left (the pixel moves right), counted on the right.
  const double cutOffMax = 0.002 * static_cast<double>(fone);
  int minFilterSize = 0;
  for (int i = dstW - 1; i >= 0; --i) {
    int64_t* f = filter.data() + static_cast<size_t>(i) * filterSize;
    int min = filterSize;
    int64_t cutOff = 0;
    for (int j = 0; j < filterSize; ++j) {
      cutOff += std::llabs(f[0]);
      if (static_cast<double>(cutOff) > cutOffMax) break;
      if (i < dstW - 1 && pos[static_cast<size_t>(i)] >= pos[static_cast<size_t>(i) + 1]) break;
      int k;
      for (k = 1; k < filterSize; ++k) f[k - 1] = f[k];
      f[k - 1] = 0;
      ++pos[static_cast<size_t>(i)];
    }
    cutOff = 0;
    for (int j = filterSize - 1; j > 0; --j) {
      cutOff += std::llabs(f[j]);
      if (static_cast<double>(cutOff) > cutOffMax) break;
      --min;
    }
    minFilterSize = std::max(minFilterSize, min);
  }
  if (minFilterSize < 1) return false;
  const int size = (minFilterSize + (filterAlign - 1)) & ~(filterAlign - 1);
  if (size >= 256) return false;
  std::vector<int64_t> reduced(static_cast<size_t>(dstW) * size);
  for (int i = 0; i < dstW; ++i)
    for (int j = 0; j < size; ++j) {
      int64_t v = j >= filterSize ? 0 : filter[static_cast<size_t>(i) * filterSize + j];
      if (j >= minFilterSize) v = 0;  // bit-exact
      reduced[static_cast<size_t>(i) * size + j] = v;
    }

  // Borders: taps before the first pixel or past the last go to the pixels at the edge.
  for (int i = 0; i < dstW; ++i) {
    int64_t* f = reduced.data() + static_cast<size_t>(i) * size;
    int32_t& p = pos[static_cast<size_t>(i)];
    if (p < 0) {
      for (int j = 1; j < size; ++j) {
        const int left = std::max(j + p, 0);
        f[left] += f[j];
        f[j] = 0;
      }
      p = 0;
    }
    if (p + size > srcW) {
      const int shift = p + std::min(size - srcW, 0);
      int64_t acc = 0;
      for (int j = size - 1; j >= 0; --j)
        if (p + j >= srcW) {
          acc += f[j];
          f[j] = 0;
        }
      for (int j = size - 1; j >= 0; --j) f[j] = j < shift ? 0 : f[j - shift];
      p -= shift;
      f[srcW - 1 - p] += acc;
    }
    if (p < 0 || p >= srcW) return false;
  }

  // Normalised to `one`, the rounding error carried along the taps.
  out.assign(static_cast<size_t>(dstW) * size, 0);
  for (int i = 0; i < dstW; ++i) {
    const int64_t* f = reduced.data() + static_cast<size_t>(i) * size;
    int64_t sum = 0;
    for (int j = 0; j < size; ++j) sum += f[j];
    sum = (sum + one / 2) / one;
    if (!sum) sum = 1;
    int64_t error = 0;
    for (int j = 0; j < size; ++j) {
      const int64_t v = f[j] + error;
      const int64_t intV = RoundedDiv(v, sum);
      out[static_cast<size_t>(i) * size + j] = static_cast<int16_t>(intV);
      error = v - intV * sum;
    }
  }
  pos.resize(static_cast<size_t>(dstW));
  outSize = size;
  return true;
}

#if defined(__x86_64__)
#define YUV_AVX2 __attribute__((target("avx2")))

bool HaveAvx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}
const bool gHaveAvx2 = HaveAvx2();
std::atomic<bool> gAvx2{gHaveAvx2};

// Pixels from..w - 1 stay for the plain loop: eight a step read 28 bytes from the
// step's first pixel.
YUV_AVX2 int RowVector(const uint8_t* bgr, int w, uint8_t* y, int16_t* u, int16_t* v) {
  // Per half (four pixels): blue and green of each pixel as a 16-bit pair, then red
  // with a zero.
  const __m256i pickBG = _mm256_setr_epi8(0, -1, 1, -1, 3, -1, 4, -1, 6, -1, 7, -1, 9, -1, 10, -1,
                                          0, -1, 1, -1, 3, -1, 4, -1, 6, -1, 7, -1, 9, -1, 10, -1);
  const __m256i pickR = _mm256_setr_epi8(2, -1, -1, -1, 5, -1, -1, -1, 8, -1, -1, -1, 11, -1, -1, -1,
                                         2, -1, -1, -1, 5, -1, -1, -1, 8, -1, -1, -1, 11, -1, -1, -1);
  auto pair = [](int32_t lo, int32_t hi) { return (static_cast<uint32_t>(hi) << 16) | (static_cast<uint32_t>(lo) & 0xFFFF); };
  const __m256i kBGy = _mm256_set1_epi32(static_cast<int32_t>(pair(kK.by, kK.gy)));
  const __m256i kRy = _mm256_set1_epi32(static_cast<int32_t>(pair(kK.ry, 0)));
  const __m256i kBGu = _mm256_set1_epi32(static_cast<int32_t>(pair(kK.bu, kK.gu)));
  const __m256i kRu = _mm256_set1_epi32(static_cast<int32_t>(pair(kK.ru, 0)));
  const __m256i kBGv = _mm256_set1_epi32(static_cast<int32_t>(pair(kK.bv, kK.gv)));
  const __m256i kRv = _mm256_set1_epi32(static_cast<int32_t>(pair(kK.rv, 0)));
  const __m256i lumaOffset = _mm256_set1_epi32(kLumaOffset), chromaOffset = _mm256_set1_epi32(kChromaOffset);
  const __m256i max15 = _mm256_set1_epi32(32767), lumaTop = _mm256_set1_epi32(30189);
  // (y * 19077 - 39057361) >> 14 as ((y, 1) . (19077, -14289)) >> 14, less 2383, plus the
  // rounding's 64: one multiply-add (39057361 = 2383 * 16384 + 14289)
  const __m256i one = _mm256_set1_epi32(1 << 16);
  const __m256i lumaMul = _mm256_set1_epi32(static_cast<int32_t>(pair(19077, -14289)));
  const __m256i lumaAdd = _mm256_set1_epi32(64 - 2383);
  int x = 0;
  for (; x + 10 <= w; x += 8) {
    const uint8_t* p = bgr + 3 * x;
    const __m256i s = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 12)), 1);
    const __m256i bg = _mm256_shuffle_epi8(s, pickBG), r = _mm256_shuffle_epi8(s, pickR);
    const __m256i y14 = _mm256_srai_epi32(
        _mm256_add_epi32(_mm256_add_epi32(_mm256_madd_epi16(bg, kBGy), _mm256_madd_epi16(r, kRy)), lumaOffset), 9);
    const __m256i u14 = _mm256_srai_epi32(
        _mm256_add_epi32(_mm256_add_epi32(_mm256_madd_epi16(bg, kBGu), _mm256_madd_epi16(r, kRu)), chromaOffset), 9);
    const __m256i v14 = _mm256_srai_epi32(
        _mm256_add_epi32(_mm256_add_epi32(_mm256_madd_epi16(bg, kBGv), _mm256_madd_epi16(r, kRv)), chromaOffset), 9);
    // luma: 15 bits, full range, rounded
    const __m256i y15 = _mm256_min_epi32(_mm256_slli_epi32(y14, 1), max15);
    const __m256i yj =
        _mm256_srai_epi32(_mm256_madd_epi16(_mm256_blend_epi16(_mm256_min_epi32(y15, lumaTop), one, 0xAA), lumaMul), 14);
    const __m256i yb = _mm256_srai_epi32(_mm256_add_epi32(yj, lumaAdd), 7);
    const __m128i y16 = _mm_packs_epi32(_mm256_castsi256_si128(yb), _mm256_extracti128_si256(yb, 1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(y + x), _mm_packus_epi16(y16, y16));
    // chroma: kept at 14 bits for the filter
    const __m256i uv = _mm256_permute4x64_epi64(_mm256_packs_epi32(u14, v14), 0xD8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(u + x), _mm256_castsi256_si128(uv));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(v + x), _mm256_extracti128_si256(uv, 1));
  }
  return x;
}

// Eight chroma pixels k..k+7 of a regular run: pairs of taps over 16 source values.
YUV_AVX2 void ChromaVector(const int16_t* src, int k, int base, const int16_t* pairs, int pairCount, uint8_t* out) {
  __m256i acc = _mm256_setzero_si256();
  const int16_t* s = src + 2 * k + base;
  for (int a = 0; a < pairCount; ++a) {
    const __m256i w = _mm256_set1_epi32(static_cast<int32_t>(
        (static_cast<uint32_t>(static_cast<uint16_t>(pairs[2 * a + 1])) << 16) | static_cast<uint16_t>(pairs[2 * a])));
    acc = _mm256_add_epi32(acc, _mm256_madd_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 2 * a)), w));
  }
  // (c * 4663 - 9289992) >> 12 as ((c, 1) . (4663, -264)) >> 12, less 2268, plus the
  // rounding's 64 (9289992 = 2268 * 4096 + 264); c lies within -4096 .. 30775 here
  const __m256i c15 = _mm256_min_epi32(_mm256_srai_epi32(acc, 13), _mm256_set1_epi32(30775));
  const __m256i cj = _mm256_srai_epi32(
      _mm256_madd_epi16(_mm256_blend_epi16(c15, _mm256_set1_epi32(1 << 16), 0xAA), _mm256_set1_epi32(static_cast<int32_t>(
                                                                             (static_cast<uint32_t>(static_cast<uint16_t>(-264)) << 16) | 4663u))),
      12);
  const __m256i cb = _mm256_srai_epi32(_mm256_add_epi32(cj, _mm256_set1_epi32(64 - 2268)), 7);
  const __m128i c16 = _mm_packs_epi32(_mm256_castsi256_si128(cb), _mm256_extracti128_si256(cb, 1));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out + k), _mm_packus_epi16(c16, c16));
}
#else
const bool gHaveAvx2 = false;
std::atomic<bool> gAvx2{false};
#endif
// switches that compressing threads read
std::atomic<bool> gFastYuv{true};

}  // namespace

void EnableYuvVector(bool on) { gAvx2 = on && gHaveAvx2; }
void EnableFastYuv(bool on) { gFastYuv = on; }
bool FastYuvEnabled() { return gFastYuv; }

bool TBgrToYuvj422::Init(int width) {
  w_ = 0;
  if (width < 8 || width > (1 << 16)) return false;
  const int cw = (width + 1) / 2;
  const int xInc = static_cast<int>(((static_cast<int64_t>(width) << 16) + (cw >> 1)) / cw);
  // chroma sited as swscale sites it by default: 128 (in 1/256 pixel) on both sides
  if (!BicubicFilter(width, cw, xInc, 128, 128, 4, 1 << 14, coef_, pos_, taps_)) return false;
  // every sum of the filter stays within 32 bits, as swscale's does
  w_ = width;
  cw_ = cw;
  uRow_.assign(static_cast<size_t>(width) + 32, 0);
  vRow_.assign(static_cast<size_t>(width) + 32, 0);
  // the run around the middle with the middle's coefficients at 2k + base
  const int mid = cw / 2;
  base_ = pos_[static_cast<size_t>(mid)] - 2 * mid;
  const int16_t* m = coef_.data() + static_cast<size_t>(mid) * taps_;
  pairs_.assign(m, m + taps_);
  if (taps_ % 2) pairs_.push_back(0);
  auto regular = [&](int k) {
    // the vector reads 16 values a pair from 2k + base of eight pixels from k on
    return pos_[static_cast<size_t>(k)] == 2 * k + base_ && 2 * k + base_ >= 0 &&
           2 * k + base_ + static_cast<int>(pairs_.size()) <= width &&
           std::equal(m, m + taps_, coef_.data() + static_cast<size_t>(k) * taps_);
  };
  first_ = last_ = mid;
  while (first_ > 0 && regular(first_ - 1)) --first_;
  while (last_ < cw && regular(last_)) ++last_;
  if (last_ - first_ < 8) first_ = last_ = 0;  // no vector run
  return true;
}

void TBgrToYuvj422::ChromaScalar(int from, int to, const int16_t* src, uint8_t* out) const {
  for (int k = from; k < to; ++k) {
    const int16_t* f = coef_.data() + static_cast<size_t>(k) * taps_;
    const int16_t* s = src + pos_[static_cast<size_t>(k)];
    int32_t val = 0;
    for (int j = 0; j < taps_; ++j) val += static_cast<uint16_t>(s[j]) * f[j];
    out[k] = ChromaByte(std::min(val >> 13, 32767));
  }
}

void TBgrToYuvj422::Row(const uint8_t* bgr, uint8_t* y, uint8_t* u, uint8_t* v) {
  int x = 0;
#if defined(__x86_64__)
  if (gAvx2) x = RowVector(bgr, w_, y, uRow_.data(), vRow_.data());
#endif
  for (; x < w_; ++x) {
    const int b = bgr[3 * x], g = bgr[3 * x + 1], r = bgr[3 * x + 2];
    y[x] = LumaByte(std::min(2 * static_cast<int32_t>(Luma14(r, g, b)), 32767));
    uRow_[static_cast<size_t>(x)] = U14(r, g, b);
    vRow_[static_cast<size_t>(x)] = V14(r, g, b);
  }
  int from = 0, to = cw_;
#if defined(__x86_64__)
  if (gAvx2 && last_ > first_) {
    // eight at a time through the run, the last eight ending at its end
    const int pairs = static_cast<int>(pairs_.size()) / 2;
    for (int k = first_;; k += 8) {
      if (k + 8 > last_) k = last_ - 8;
      ChromaVector(uRow_.data(), k, base_, pairs_.data(), pairs, u);
      ChromaVector(vRow_.data(), k, base_, pairs_.data(), pairs, v);
      if (k + 8 >= last_) break;
    }
    ChromaScalar(0, first_, uRow_.data(), u);
    ChromaScalar(0, first_, vRow_.data(), v);
    from = last_;
  }
#endif
  ChromaScalar(from, to, uRow_.data(), u);
  ChromaScalar(from, to, vRow_.data(), v);
}

}  // namespace movara::videoff
