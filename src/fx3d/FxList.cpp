#include "fx3d/FxList.h"

#include <chrono>
#include <mutex>

#include "fx3d/FxFlat.h"
#include "fx3d/FxMesh.h"

namespace movara {

TFxList::TFxList(bool fill) {
  if (!fill) {
    generator_.seed(0);
    return;
  }
  AddFlatEffects(*this);
  AddMeshEffects(*this);
  generator_.seed(static_cast<uint32_t>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count()));
}

TFxList::~TFxList() = default;

TFx3d* TFxList::Items(int Index) const {
  if (Index < 0 || Index >= Count()) return nullptr;
  return items_[static_cast<size_t>(Index)].second.get();
}

std::string TFxList::Strings(int Index) const {
  if (Index < 0 || Index >= Count()) return std::string();
  return items_[static_cast<size_t>(Index)].first;
}

int TFxList::Add(std::unique_ptr<TFx3d> Fx) {
  if (!Fx) return -1;
  std::string description = Fx->GetDescription();
  items_.emplace_back(std::move(description), std::move(Fx));
  return Count() - 1;
}

TFx3d* TFxList::FindByID(int32_t ID) const {
  for (const auto& item : items_)
    if (item.second && item.second->GetFxID() == ID) return item.second.get();
  return nullptr;
}

std::string TFxList::DescriptionByID(int32_t ID) const {
  const TFx3d* fx = FindByID(ID);
  return fx ? fx->GetDescription() : std::string();
}

void TFxList::Randomize(uint32_t Seed) { generator_.seed(Seed); }

void TFxList::SetRandomSource(std::function<int(int)> Source) { source_ = std::move(Source); }

int TFxList::Random(int Range) {
  if (Range <= 1) return 0;
  int r = source_ ? source_(Range)
                  : std::uniform_int_distribution<int>(0, Range - 1)(generator_);
  // A foreign source out of range must not index outside the list.
  if (r < 0 || r >= Range) r = ((r % Range) + Range) % Range;
  return r;
}

TFx3d* TFxList::RandomFx(int From) {
  if (From < 0) From = 0;
  if (Count() <= From) return nullptr;
  // The still-picture effect is never chosen on purpose; after twelve picks in a row
  // that land on it the search gives up with the entry after the last pick.
  int stillPicks = 0;
  for (;;) {
    const int pick = From + Random(Count() - From);
    TFx3d* fx = Items(pick);
    if (!fx) return nullptr;
    if (fx->GetFxID() != StillFxID) return fx;
    if (++stillPicks == 12) return Items(pick + 1);
  }
}

int32_t TFxList::RandomFxID(int From) {
  const TFx3d* fx = RandomFx(From);
  return fx ? fx->GetFxID() : 0;
}

std::string TFxList::CategoryName(int Index) {
  static const char* const names[FxCategoryCount] = {
      "Efekty płaskie - przesuwanie", "Efekty płaskie - skalowanie",
      "Efekty płaskie - przepychanie", "Efekty płaskie - różne",
      "Irys", "Efekty trójwymiarowe", "Pozostałe efekty"};
  if (Index < 0 || Index >= FxCategoryCount) return std::string();
  return names[Index];
}

uint8_t TFxList::CategoryOf(int32_t ID) {
  struct TRange {
    int32_t from, to;
    uint8_t category;
  };
  // Searched in this order, first match wins; $320 is kept with the iris effects.
  static const TRange ranges[] = {
      {0x100, 0x108, 0}, {0x109, 0x12F, 1}, {0x130, 0x14F, 2}, {0x199, 0x210, 3},
      {0x160, 0x17F, 4}, {0x320, 0x320, 4}, {0x300, 0x31F, 5}, {0x340, 0x36F, 5},
  };
  for (const TRange& r : ranges)
    if (ID >= r.from && ID <= r.to) return r.category;
  return 6;
}

int TFxList::CountInCategory(int Category) const {
  int n = 0;
  for (const auto& item : items_)
    if (item.second && CategoryOf(item.second->GetFxID()) == Category) ++n;
  return n;
}

// ---------------------------------------------------------------------------------

namespace {

std::mutex& ListMutex() {
  static std::mutex m;
  return m;
}

std::unique_ptr<TFxList>& ListInstance() {
  static std::unique_ptr<TFxList> list;
  return list;
}

}  // namespace

TFxList* FxList() {
  std::lock_guard<std::mutex> lock(ListMutex());
  return ListInstance().get();
}

TFxList& EnsureFxList() {
  std::lock_guard<std::mutex> lock(ListMutex());
  if (!ListInstance()) ListInstance() = std::make_unique<TFxList>();
  return *ListInstance();
}

void FreeFxList() {
  std::lock_guard<std::mutex> lock(ListMutex());
  ListInstance().reset();
}

}  // namespace movara
