#include "pages/PageEditBox.h"

#include <algorithm>
#include <climits>

#include "base/Rounding.h"

namespace movara {
namespace {

// Moves a position by d, staying inside int32.
void MoveBy(int32_t& v, int64_t d) {
  v = static_cast<int32_t>(std::clamp<int64_t>(int64_t(v) + d, INT32_MIN, INT32_MAX));
}

int ClampInt(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX)); }

void ShiftBounds(TRect& r, int64_t dx, int64_t dy) {
  r.Left = ClampInt(r.Left + dx);
  r.Right = ClampInt(r.Right + dx);
  r.Top = ClampInt(r.Top + dy);
  r.Bottom = ClampInt(r.Bottom + dy);
}

void MoveItem(TFontItem& it, int64_t dx, int64_t dy) {
  MoveBy(it.PosX, dx);
  MoveBy(it.PosY, dy);
  ShiftBounds(it.Bounds, dx, dy);
}

// Edges of the bounds along one axis.
int64_t Lo(const TFontItem* it, bool horz) { return horz ? it->Bounds.Left : it->Bounds.Top; }
int64_t Hi(const TFontItem* it, bool horz) { return horz ? it->Bounds.Right : it->Bounds.Bottom; }
int64_t Size(const TFontItem* it, bool horz) { return Hi(it, horz) - Lo(it, horz); }
// Centre as the editor computes it: left + width div 2.
int64_t Centre(const TFontItem* it, bool horz) { return Lo(it, horz) + Size(it, horz) / 2; }

void MoveAlong(TFontItem* it, bool horz, int64_t d) {
  if (horz)
    MoveItem(*it, d, 0);
  else
    MoveItem(*it, 0, d);
}

}  // namespace

TPageEditBox::TPageEditBox() : pageRect_(PageSizeRect(psVideo)) {}

TPageEditBox::~TPageEditBox() = default;

void TPageEditBox::Invalidate() {
  if (OnInvalidate) OnInvalidate(*this);
}

void TPageEditBox::SetModified(bool modified) {
  modified_ = modified;
  if (modified && OnModified) OnModified(*this);
}

void TPageEditBox::SetPageSize(TPageSize size) {
  if (size < 0 || size >= kPageSizeCount) return;
  pageSize_ = size;
  pageRect_ = PageSizeRect(size);
  Invalidate();
  MarkModified();
}

void TPageEditBox::SetPageColor(TColor color) {
  pageColor_ = color;
  Invalidate();
  MarkModified();
}

void TPageEditBox::SetScale(int percent) {
  if (percent < 10 || percent > 500) return;
  scale_ = percent;
  Invalidate();
}

TFontItem* TPageEditBox::AddFontItem(bool deselectOthers, bool selected) {
  if (deselectOthers) DeselectAll();
  auto item = std::make_unique<TFontItem>(this);
  item->Selected = selected;
  // The page point at the view's top-left: the scroll position when the page does not
  // fit the view along that axis, else the page's own edge.
  const int64_t scaledW = int64_t(pageRect_.Width()) * scale_ / 100;
  const int64_t scaledH = int64_t(pageRect_.Height()) * scale_ / 100;
  const int left = scaledW > viewWidth_ ? RoundInt((long double)scrollX_ * 100 / scale_) : 0;
  const int top = scaledH > viewHeight_ ? RoundInt((long double)scrollY_ * 100 / scale_) : 0;
  item->PosX = left + 12;
  item->PosY = top + 5;
  items_.push_back(std::move(item));
  return items_.back().get();
}

TFontItem* TPageEditBox::Items(int index) const {
  if (index < 0 || index >= ItemCount()) return nullptr;
  return items_[static_cast<size_t>(index)].get();
}

int TPageEditBox::IndexOf(const TFontItem* item) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].get() == item) return static_cast<int>(i);
  return -1;
}

void TPageEditBox::ClearItems() {
  drag_ = TDragState();
  items_.clear();
  Invalidate();
}

void TPageEditBox::DeleteSelected() {
  const size_t before = items_.size();
  std::erase_if(items_, [](const std::unique_ptr<TFontItem>& it) { return it->Selected; });
  if (items_.size() != before) {
    drag_ = TDragState();
    MarkModified();
    Invalidate();
  }
}

void TPageEditBox::SelectAll() {
  for (auto& it : items_) it->Selected = true;
  Invalidate();
}

void TPageEditBox::DeselectAll() {
  for (auto& it : items_) it->Selected = false;
  Invalidate();
}

void TPageEditBox::SelectOnly(TFontItem* item) {
  for (auto& it : items_) it->Selected = it.get() == item;
  Invalidate();
}

void TPageEditBox::ToggleSelected(TFontItem* item) {
  if (IndexOf(item) < 0) return;
  item->Selected = !item->Selected;
  Invalidate();
}

int TPageEditBox::SelectedCount() const {
  return static_cast<int>(std::count_if(items_.begin(), items_.end(),
                                        [](const auto& it) { return it->Selected; }));
}

std::vector<TFontItem*> TPageEditBox::SelectedItems() const {
  std::vector<TFontItem*> out;
  for (const auto& it : items_)
    if (it->Selected) out.push_back(it.get());
  return out;
}

TFontItem* TPageEditBox::NextSelected(const TFontItem* item) const {
  size_t i = 0;
  if (item) {
    const int at = IndexOf(item);
    if (at < 0) return nullptr;
    i = static_cast<size_t>(at) + 1;
  }
  for (; i < items_.size(); ++i)
    if (items_[i]->Selected) return items_[i].get();
  return nullptr;
}

void TPageEditBox::BringToFront(TFontItem* item) {
  const int at = IndexOf(item);
  if (at < 0) return;
  std::rotate(items_.begin() + at, items_.begin() + at + 1, items_.end());
  Invalidate();
}

void TPageEditBox::SendToBack(TFontItem* item) {
  const int at = IndexOf(item);
  if (at < 0) return;
  std::rotate(items_.begin(), items_.begin() + at, items_.begin() + at + 1);
  Invalidate();
}

void TPageEditBox::BringSelectedToFront() {
  for (TFontItem* it : SelectedItems()) BringToFront(it);
}

void TPageEditBox::SendSelectedToBack() {
  std::vector<TFontItem*> sel = SelectedItems();
  for (auto i = sel.rbegin(); i != sel.rend(); ++i) SendToBack(*i);
}

void TPageEditBox::AlignSelected(uint8_t horizontal, uint8_t vertical) {
  std::vector<TFontItem*> sel = SelectedItems();
  if (sel.empty() || (horizontal == 0 && vertical == 0)) return;
  UpdateBounds();
  // One axis: mode 1 low edges equal, 2 centres, 3 high edges; several items follow
  // the first in the order across the other axis, a single item follows the page.
  auto align = [&](uint8_t mode, bool horz) {
    if (mode < 1 || mode > 3) return;
    std::stable_sort(sel.begin(), sel.end(), [horz](const TFontItem* a, const TFontItem* b) {
      return horz ? a->PosY < b->PosY : a->PosX < b->PosX;
    });
    const int64_t pageLo = horz ? pageRect_.Left : pageRect_.Top;
    const int64_t pageHi = horz ? pageRect_.Right : pageRect_.Bottom;
    const int64_t pageCentre = pageLo + (pageHi - pageLo) / 2;
    const TFontItem* first = sel.front();
    const int64_t lo = sel.size() == 1 ? pageLo : Lo(first, horz);
    const int64_t hi = sel.size() == 1 ? pageHi : Hi(first, horz);
    const int64_t centre = sel.size() == 1 ? pageCentre : Centre(first, horz);
    for (size_t i = sel.size() == 1 ? 0 : 1; i < sel.size(); ++i) {
      TFontItem* it = sel[i];
      const int64_t d = mode == 1 ? lo - Lo(it, horz)
                        : mode == 2 ? centre - Centre(it, horz)
                                    : hi - Hi(it, horz);
      MoveAlong(it, horz, d);
    }
  };
  align(horizontal, true);
  align(vertical, false);
  MarkModified();
  Invalidate();
}

void TPageEditBox::SpaceSelected(bool horz) {
  std::vector<TFontItem*> sel = SelectedItems();
  if (sel.empty()) return;
  UpdateBounds();
  std::stable_sort(sel.begin(), sel.end(), [horz](const TFontItem* a, const TFontItem* b) {
    return Centre(a, horz) < Centre(b, horz);
  });
  const int64_t pageLo = horz ? pageRect_.Left : pageRect_.Top;
  const int64_t pageSize = horz ? pageRect_.Width() : pageRect_.Height();
  if (sel.size() == 1) {
    MoveAlong(sel[0], horz, pageLo + pageSize / 2 - Centre(sel[0], horz));
  } else if (sel.size() == 2) {
    const int64_t a = pageSize / 3;
    MoveAlong(sel[0], horz, pageLo + a - Centre(sel[0], horz));
    MoveAlong(sel[1], horz, pageLo + 2 * a - Centre(sel[1], horz));
  } else {
    int64_t sum = 0;
    for (const TFontItem* it : sel) sum += Size(it, horz);
    const long double gap =
        static_cast<long double>(Hi(sel.back(), horz) - Lo(sel.front(), horz) - sum) /
        static_cast<long double>(sel.size() - 1);
    const int64_t step = RoundHalfEven(gap);
    for (size_t i = 1; i + 1 < sel.size(); ++i)
      MoveAlong(sel[i], horz, Hi(sel[i - 1], horz) + step - Lo(sel[i], horz));
  }
  MarkModified();
  Invalidate();
}

void TPageEditBox::SetViewSize(int width, int height) {
  viewWidth_ = std::max(0, width);
  viewHeight_ = std::max(0, height);
}

void TPageEditBox::SetScrollPos(int x, int y) {
  scrollX_ = std::max(0, x);
  scrollY_ = std::max(0, y);
}

TPagePoint TPageEditBox::ViewToPage(int x, int y) const {
  // A page smaller than the view is centred in it.
  const int64_t scaledW = int64_t(pageRect_.Width()) * scale_ / 100;
  const int64_t scaledH = int64_t(pageRect_.Height()) * scale_ / 100;
  const int64_t marginX = std::max<int64_t>(0, (viewWidth_ - scaledW) / 2);
  const int64_t marginY = std::max<int64_t>(0, (viewHeight_ - scaledH) / 2);
  TPagePoint p;
  p.X = static_cast<double>(x - marginX + scrollX_) * 100.0 / scale_;
  p.Y = static_cast<double>(y - marginY + scrollY_) * 100.0 / scale_;
  return p;
}

}  // namespace movara
