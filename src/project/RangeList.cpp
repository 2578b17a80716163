#include "project/RangeList.h"

#include <limits>

#include "project/VfxData.h"

namespace movara {

namespace {
// Milliseconds of a frame count, kept within int32 (the width the ranges are stored in).
int32_t FramesToRangeMs(int frames) {
  int64_t ms = static_cast<int64_t>(frames) * MillisecondsPerFrame;
  if (ms > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (ms < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(ms);
}
}  // namespace

void TRangeList::Add(int StartFrame, int LengthFrames) {
  FRanges.push_back({FramesToRangeMs(StartFrame), FramesToRangeMs(LengthFrames)});
}

const TRange* TRangeList::Ranges(int Index) const {
  if (Index < 0 || Index >= Count()) return nullptr;
  return &FRanges[static_cast<size_t>(Index)];
}

int64_t TRangeList::LengthAfter(int64_t Ms) const {
  int64_t total = 0;
  for (const TRange& r : FRanges) {
    int64_t end = static_cast<int64_t>(r.Start) + r.Length;
    if (end <= Ms) continue;
    int64_t before = Ms > r.Start ? Ms - r.Start : 0;
    total += r.Length - before;
  }
  return total;
}

int TRangeList::TotalFrames() const {
  return static_cast<int>(LengthAfter(0) / MillisecondsPerFrame);
}

}  // namespace movara
