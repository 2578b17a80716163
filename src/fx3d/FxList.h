#pragma once
// The effect catalogue: one instance of every effect, in the order of construction,
// found by its Fx ID. The process-wide instance is FxList().
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "fx3d/Fx3d.h"

namespace movara {

// The effect through which the render thread shows plain still pictures; random
// choice avoids it.
inline constexpr int32_t StillFxID = 0x199;

// Number of effect categories (CategoryName 0 .. 6).
inline constexpr int FxCategoryCount = 7;

class TFxList {
 public:
  // With fill, the 47 flat effects and then the mesh effects in catalogue order, and a
  // random generator seeded from the clock; without it an empty list (tests).
  explicit TFxList(bool fill = true);
  ~TFxList();
  TFxList(const TFxList&) = delete;
  TFxList& operator=(const TFxList&) = delete;

  int Count() const { return static_cast<int>(items_.size()); }
  // The effect at Index; nullptr out of range.
  TFx3d* Items(int Index) const;
  // The description under which the effect at Index was added; empty out of range.
  std::string Strings(int Index) const;
  // Adds Fx under its description and owns it; the index, or -1 for no effect.
  int Add(std::unique_ptr<TFx3d> Fx);
  // The first effect whose GetFxID is ID; nullptr when none. The caller masks
  // ReverseFlag off first.
  TFx3d* FindByID(int32_t ID) const;
  // The description of FindByID(ID), or an empty string.
  std::string DescriptionByID(int32_t ID) const;
  // A random effect from index From on that is not the still-picture effect; nullptr
  // when Count <= From. Twelve picks in a row on the still effect end the search with
  // the effect after the last pick (nullptr when it was the last one).
  TFx3d* RandomFx(int From);
  // The Fx ID of RandomFx(From), 0 when there is none.
  int32_t RandomFxID(int From);

  static std::string CategoryName(int Index);
  static uint8_t CategoryOf(int32_t ID);
  int CountInCategory(int Category) const;

  // Seeds the random generator (tests make the choice repeatable).
  void Randomize(uint32_t Seed);
  // Replaces the generator by a function giving a number in 0 .. Range - 1; an empty
  // function restores the built-in one.
  void SetRandomSource(std::function<int(int Range)> Source);

 private:
  int Random(int Range);

  std::vector<std::pair<std::string, std::unique_ptr<TFx3d>>> items_;
  std::mt19937 generator_;
  std::function<int(int)> source_;
};

// The process-wide catalogue; nullptr before EnsureFxList and after FreeFxList.
TFxList* FxList();
// Builds the process-wide catalogue when it is missing (program start, or a render
// thread that finds none) and returns it.
TFxList& EnsureFxList();
// Frees the process-wide catalogue and every effect in it (program end).
void FreeFxList();

}  // namespace movara
