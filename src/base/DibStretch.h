#pragma once
// The weights of stretching a picture (TDIB::StretchFrom), kept in one place because the
// vector stretch of the renderer must give the same bytes: area averaging when
// shrinking, bilinear between the two nearest pixels when enlarging, 14-bit integer
// weights that sum to exactly one.
#include <cstdint>
#include <vector>

namespace movara {

inline constexpr int StretchWeightBits = 14;
inline constexpr int32_t StretchWeightOne = 1 << StretchWeightBits;
// The horizontal pass keeps 8 fraction bits; the vertical pass adds this and ends with >> 22.
inline constexpr uint32_t StretchFinalRound = 1u << 21;

// Per destination pixel of one axis: the first source index and `taps` weights of the
// consecutive source pixels from there (summing to StretchWeightOne). Every pixel has
// the same number of taps, so the inner loops have a fixed length.
struct TStretchAxis {
  std::vector<int> first;
  std::vector<int32_t> weights;  // taps per pixel
  int taps = 1;
  int lo = 0, hi = 0;  // source span used, inclusive
};

// Destination pixels d0..d1-1 of srcLen source pixels stretched over dstLen; source
// indices are clamped to c0..c1-1 (the part of the source inside its picture).
TStretchAxis StretchAxisWeights(int64_t srcLen, int64_t dstLen, int d0, int d1, int c0, int c1);

}  // namespace movara
