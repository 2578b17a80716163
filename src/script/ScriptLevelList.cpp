#include "script/ScriptLevelList.h"

#include <algorithm>

#include "base/Rounding.h"
#include "base/Trace.h"

namespace movara {

TScriptLevelList::TScriptLevelList() {
  FStart.Level = FDefaultLevel;
  FEnd.Level = FDefaultLevel;
  FEnd.Time = FLength;
  FEnd.Sample = SampleOf(FLength);
}

int TScriptLevelList::SampleOf(int Time) const {
  return static_cast<int>(RoundHalfEven(static_cast<long double>(FRate) * Time / 1000));
}

void TScriptLevelList::Setup(int Length, int ClampLow, int Rate, int UnityHigh, int UnityLow, int DefaultLevel,
                             int ClampHigh) {
  SetLength(Length);
  SetClampRange(ClampLow, ClampHigh);
  SetSampleRate(Rate);
  SetUnityRange(UnityLow, UnityHigh);
  SetDefaultLevel(DefaultLevel);
}

void TScriptLevelList::SetLength(int Length) {
  if (Length <= 0) return;
  FLength = Length;
  FStart.Time = 0;
  FStart.Sample = 0;
  FEnd.Time = Length;
  FEnd.Sample = SampleOf(Length);
  FInner.erase(std::remove_if(FInner.begin(), FInner.end(), [&](const auto& p) { return p->Time >= Length; }),
               FInner.end());
}

void TScriptLevelList::SetSampleRate(int Rate) {
  if (Rate <= 0) return;
  FRate = Rate;
  FStart.Sample = SampleOf(FStart.Time);
  FEnd.Sample = SampleOf(FEnd.Time);
  for (auto& p : FInner) p->Sample = SampleOf(p->Time);
}

void TScriptLevelList::SetDefaultLevel(int Level) {
  if (Level >= 0 && Level <= 100) FDefaultLevel = Level;
}

void TScriptLevelList::SetClampRange(int Low, int High) {
  if (Low > High) return;
  FClampLow = Low;
  FClampHigh = High;
}

void TScriptLevelList::SetUnityRange(int Low, int High) {
  if (Low >= High) return;
  FUnityLow = Low;
  FUnityHigh = High;
}

TScriptLevelPoint* TScriptLevelList::Points(int Index) const {
  if (Index < 0 || Index >= Count()) return nullptr;
  if (Index == 0) return const_cast<TScriptLevelPoint*>(&FStart);
  if (Index == Count() - 1) return const_cast<TScriptLevelPoint*>(&FEnd);
  return FInner[static_cast<size_t>(Index - 1)].get();
}

void TScriptLevelList::ResetLevels() {
  for (int i = 0; i < Count(); ++i) Points(i)->Level = FDefaultLevel;
}

TScriptLevelPoint* TScriptLevelList::InsertItem(int Time) {
  if (Time == FStart.Time) return &FStart;
  if (Time == FEnd.Time) return &FEnd;
  for (auto& p : FInner)
    if (p->Time == Time) {
      TraceF("[TScriptLevelList.InsertItem] Updating item at time = %d. Found item: FF=%d, Dur=%d.", Time, p->Time,
             FLength);
      return p.get();
    }
  auto point = std::make_unique<TScriptLevelPoint>();
  point->Time = Time;
  point->Level = FDefaultLevel;
  point->Sample = SampleOf(Time);
  auto at = FInner.end();
  if (Time < FEnd.Time)
    at = std::find_if(FInner.begin(), FInner.end(), [&](const auto& p) { return p->Time > Time; });
  return FInner.insert(at, std::move(point))->get();
}

void TScriptLevelList::SetLevel(TScriptLevelPoint* Point, int Level) {
  if (!Point) return;
  Point->Level = Level;
  UpdateMinMaxValues(Point);
}

void TScriptLevelList::UpdateMinMaxValues(TScriptLevelPoint* Point) {
  if (!Point) return;
  if (Point->Level < FClampLow) {
    TraceF("[TScriptLevelList.UpdateMinMaxValues] Updated MinY value from %d to %d.", Point->Level, FClampLow);
    Point->Level = FClampLow;
  }
  if (Point->Level > FClampHigh) {
    TraceF("[TScriptLevelList.UpdateMinMaxValues] Updated MaxY value from %d to %d.", Point->Level, FClampHigh);
    Point->Level = FClampHigh;
  }
}

int TScriptLevelList::GetLevelAtSample(int64_t Sample) const {
  int64_t x = std::clamp<int64_t>(Sample, FStart.Sample, std::max(FStart.Sample, FEnd.Sample));
  bool haveMean = false;
  int mean = 0;
  const int n = Count();
  for (int i = 0; i + 1 < n; ++i) {
    const TScriptLevelPoint* a = Points(i);
    const TScriptLevelPoint* b = Points(i + 1);
    if (a->Sample > x || x > b->Sample) continue;
    if (a->Sample == b->Sample) {
      // halves towards minus infinity
      int64_t sum = static_cast<int64_t>(a->Level) + b->Level;
      mean = static_cast<int>(sum >= 0 ? sum / 2 : -((-sum + 1) / 2));
      haveMean = true;
      continue;
    }
    // (x - a) x (level b - level a) / (b - a), halves to even, in integers: this runs
    // for every sample of an envelope
    const int64_t num = (x - a->Sample) * static_cast<int64_t>(b->Level - a->Level);
    const int64_t den = b->Sample - a->Sample;
    int64_t q = num / den;
    const int64_t r = num % den;
    if (r != 0) {
      const int64_t twice = 2 * (r < 0 ? -r : r);
      if (twice > den || (twice == den && (q & 1) != 0)) q += num < 0 ? -1 : 1;
    }
    return a->Level + static_cast<int>(q);
  }
  TraceF("[TScriptLevelList.GetLevelAtSample] Failed. Seraching sample = %lld", static_cast<long long>(Sample));
  return haveMean ? mean : FDefaultLevel;
}

double TScriptLevelList::GainOfLevel(int Level) const {
  return static_cast<double>(Level - FUnityLow) / static_cast<double>(FUnityHigh - FUnityLow);
}

double TScriptLevelList::GainAtSample(int64_t Sample) const { return GainOfLevel(GetLevelAtSample(Sample)); }

}  // namespace movara
