#pragma once
// TRangeList: the stretches of the time line that film generation renders, each a
// start and a length in milliseconds (40 ms per frame).
#include <cstdint>
#include <vector>

namespace movara {

// Which stretches of the time line a film takes: the range block, the sequence blocks,
// or everything up to the project's end.
enum TRangeKind : uint8_t { rkRange = 0, rkSequences = 1, rkAll = 2 };

struct TRange {
  int32_t Start = 0;   // milliseconds
  int32_t Length = 0;  // milliseconds
};

class TRangeList {
 public:
  // Appends (StartFrame x 40, LengthFrames x 40).
  void Add(int StartFrame, int LengthFrames);
  int Count() const { return static_cast<int>(FRanges.size()); }
  // The range at Index; nullptr outside 0 .. Count - 1.
  const TRange* Ranges(int Index) const;
  void Clear() { FRanges.clear(); }
  // Total length of the ranges after the position Ms: every range that ends after it
  // counts with the part that lies after it.
  int64_t LengthAfter(int64_t Ms) const;
  // LengthAfter(0) in whole frames.
  int TotalFrames() const;

 private:
  std::vector<TRange> FRanges;
};

}  // namespace movara
