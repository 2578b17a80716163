#include "project/ItemList.h"

#include <cstddef>

namespace movara {

TLayerItem* TItemList::Items(int Index) const {
  if (Index < 0 || Index >= Count()) return nullptr;
  return FItems[static_cast<std::size_t>(Index)];
}

int TItemList::Add(TLayerItem* Item) {
  FItems.push_back(Item);
  return Count() - 1;
}

int TItemList::IndexOf(const TLayerItem* Item) const {
  for (std::size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i] == Item) return static_cast<int>(i);
  return -1;
}

}  // namespace movara
