#pragma once
// TItemList: a plain list of time-line blocks (not owned), the scratch lists of the
// operations that span several rows.
#include <vector>

namespace movara {

class TLayerItem;

class TItemList {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  // The block at Index; nullptr outside 0 .. Count - 1.
  TLayerItem* Items(int Index) const;
  void Clear() { FItems.clear(); }
  // Appends and returns the index.
  int Add(TLayerItem* Item);
  // Index of Item; -1 when absent.
  int IndexOf(const TLayerItem* Item) const;

 private:
  std::vector<TLayerItem*> FItems;
};

}  // namespace movara
