#pragma once
// TScriptLevelList: the level envelope of one sound command of a film script. Points are
// a time (ms from the start of the command), a level and the sample index of the time at
// the list's sample rate; a start point at time 0 and an end point at the length frame
// the sorted inner points. The gain at a level is (level - low) / (high - low) of the
// unity range, so with the range 0..50 level 50 keeps the sound, 100 doubles it and 0
// silences it.
#include <cstdint>
#include <memory>
#include <vector>

namespace movara {

struct TScriptLevelPoint {
  int32_t Time = 0;
  int32_t Level = 0;
  int32_t Sample = 0;
};

class TScriptLevelList {
 public:
  TScriptLevelList();
  TScriptLevelList(const TScriptLevelList&) = delete;
  TScriptLevelList& operator=(const TScriptLevelList&) = delete;

  // Length, clamp range, sample rate, unity range and default level in one call; each
  // value is taken under the rule of its own setter.
  void Setup(int Length, int ClampLow, int Rate, int UnityHigh, int UnityLow, int DefaultLevel, int ClampHigh);

  int Length() const { return FLength; }
  // Only a positive length acts: the end point moves there, inner points at or after
  // it go.
  void SetLength(int Length);
  int SampleRate() const { return FRate; }
  // Recomputes every point's sample index; a rate of 0 or less is refused.
  void SetSampleRate(int Rate);
  int DefaultLevel() const { return FDefaultLevel; }
  // Taken only within 0..100.
  void SetDefaultLevel(int Level);
  int ClampLow() const { return FClampLow; }
  int ClampHigh() const { return FClampHigh; }
  // Refused when inverted (low above high).
  void SetClampRange(int Low, int High);
  int UnityLow() const { return FUnityLow; }
  int UnityHigh() const { return FUnityHigh; }
  // Taken only when low < high.
  void SetUnityRange(int Low, int High);

  // Start point 0, end point Count() - 1; nullptr outside.
  int Count() const { return static_cast<int>(FInner.size()) + 2; }
  TScriptLevelPoint* Points(int Index) const;
  // Every point takes the default level.
  void ResetLevels();
  // The point at that time (an end point included), or a new inner point there with
  // the default level.
  TScriptLevelPoint* InsertItem(int Time);
  // Sets the level, clamped to the clamp range.
  void SetLevel(TScriptLevelPoint* Point, int Level);
  void UpdateMinMaxValues(TScriptLevelPoint* Point);

  // Level at a sample index, interpolated between the points around it.
  int GetLevelAtSample(int64_t Sample) const;
  double GainAtSample(int64_t Sample) const;
  double GainOfLevel(int Level) const;

 private:
  int SampleOf(int Time) const;

  TScriptLevelPoint FStart;
  TScriptLevelPoint FEnd;
  std::vector<std::unique_ptr<TScriptLevelPoint>> FInner;
  int FDefaultLevel = 100;
  int FLength = 1000;
  int FClampLow = 0;
  int FClampHigh = 100;
  int FRate = 44100;
  int FUnityLow = 0;
  int FUnityHigh = 100;
};

}  // namespace movara
