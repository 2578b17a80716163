// TLayerBox: editing across rows: moving the selection, copy and paste, deleting, and
// the transition row derived from the overlaps of video rows A and B.
#include <algorithm>
#include <climits>
#include <map>
#include <utility>

#include "base/ScopeGuard.h"
#include "base/Trace.h"
#include "base/UserMessages.h"
#include "fx3d/FxList.h"
#include "project/ClipGraphic.h"
#include "project/Layers.h"

namespace movara {

namespace {

// Allowed row shifts (rows down, rows up) for the occupancy mask of a group of three
// rows (bit 0 = the group's first row holds marked blocks).
constexpr int ShiftTable[8][2] = {{2, 2}, {2, 0}, {1, 1}, {1, 0}, {0, 2}, {0, 0}, {0, 1}, {0, 0}};

constexpr TLayerNumber MoveRows[6] = {lnImage,      lnFirstClipTop, lnFirstClipBottom,
                                      lnAudioFirst, lnAudioSecond,  lnAudioThird};

// Whether [Start, Start + Duration) overlaps a block of a sorted, overlap-free list of
// intervals (first, last).
bool OverlapsSorted(const std::vector<std::pair<int, int>>& Spans, int Start, int Duration) {
  int end = Start + Duration;
  auto it = std::lower_bound(Spans.begin(), Spans.end(), end,
                             [](const std::pair<int, int>& s, int e) { return s.first < e; });
  // the block starting last before `end` is the only one that can reach past Start
  if (it == Spans.begin()) return false;
  --it;
  return it->second > Start;
}

// Restores the automatic transition update of every row when it goes.
class TUpdatesOff {
 public:
  explicit TUpdatesOff(const TLayerBox& box) {
    for (int i = 0; i < box.RowCount(); ++i) {
      TLayerRow* r = box.Rows(i);
      saved_.emplace_back(r, r->UpdateFx3dEnabled());
      r->SetUpdateFx3dEnabled(false);
    }
  }
  ~TUpdatesOff() {
    for (auto& s : saved_) s.first->SetUpdateFx3dEnabled(s.second);
  }

 private:
  std::vector<std::pair<TLayerRow*, bool>> saved_;
};

}  // namespace

TLayerRow* TLayerBox::MoveRow(int Index) const {
  if (Index < 0 || Index >= 6) return nullptr;
  return RowByNumber(MoveRows[Index]);
}

int TLayerBox::MoveRowIndex(const TLayerRow* Row) const {
  if (!Row) return -1;
  for (int i = 0; i < 6; ++i)
    if (MoveRows[i] == Row->LayerNumber()) return i;
  return -1;
}

void TLayerBox::ShiftLimits(const std::function<bool(const TLayerItem*)>& Marked, bool PictureLocked, int& Down,
                            int& Up) const {
  int masks[2] = {0, 0};
  for (int i = 0; i < 6; ++i) {
    TLayerRow* r = MoveRow(i);
    for (int k = 0; k < r->ItemCount(); ++k)
      if (Marked(r->Items(k))) {
        masks[i / 3] |= 1 << (i % 3);
        break;
      }
  }
  if (PictureLocked) masks[0] = 7;
  Down = std::min(ShiftTable[masks[0]][0], ShiftTable[masks[1]][0]);
  Up = std::min(ShiftTable[masks[0]][1], ShiftTable[masks[1]][1]);
}

// ---------------------------------------------------------------------------------
// Moving the selection

bool TLayerBox::MoveSelection(TLayerItem* Dragged, int NewStart, TLayerRow* PointerRow) {
  if (!Dragged || !Dragged->Parent()) return false;
  NewStart = std::max(0, NewStart);
  if (MoveSelectionVertical(Dragged, NewStart, PointerRow)) return true;
  return MoveSelectionHorizontal(Dragged, NewStart);
}

bool TLayerBox::MoveSelectionVertical(TLayerItem* Dragged, int NewStart, TLayerRow* PointerRow) {
  int from = MoveRowIndex(Dragged->Parent());
  int to = MoveRowIndex(PointerRow);
  if (from < 0 || to < 0 || from == to) return false;
  auto selected = [](const TLayerItem* i) { return i->Selected(); };
  bool any = false;
  for (int i = 0; i < 6 && !any; ++i) any = MoveRow(i)->SelectedCount() > 0;
  if (!any) return false;
  int shift = from - to;  // positive: upwards
  bool locked = RowByNumber(lnFirstFx3d)->SelectedCount() > 0 || RowByNumber(lnRange)->SelectedCount() > 0;
  int down, up;
  ShiftLimits(selected, locked, down, up);
  if ((shift > 0 && shift > up) || (shift < 0 && -shift > down)) return false;
  int delta = NewStart - Dragged->FirstFrame();

  // every selected block must land at frame 0 or later, clear of unselected blocks
  for (int i = 0; i < 6; ++i) {
    TLayerRow* src = MoveRow(i);
    if (src->SelectedCount() == 0) continue;
    int t = i - shift;
    if (t < 0 || t >= 6 || t / 3 != i / 3) return false;
    TLayerRow* dst = MoveRow(t);
    if (!dst->Visible()) return false;
    std::vector<std::pair<int, int>> fixed;
    for (int k = 0; k < dst->ItemCount(); ++k) {
      TLayerItem* u = dst->Items(k);
      if (!u->Selected()) fixed.emplace_back(u->FirstFrame(), u->LastFrame());
    }
    for (int k = 0; k < src->ItemCount(); ++k) {
      TLayerItem* b = src->Items(k);
      if (!b->Selected()) continue;
      long long nf = static_cast<long long>(b->FirstFrame()) + delta;
      if (nf < 0 || nf > MaxTimeLineFrames) return false;
      if (OverlapsSorted(fixed, static_cast<int>(nf), b->Duration())) return false;
    }
  }

  {
    TUpdatesOff off(*this);
    // rows that receive blocks give theirs away first
    std::vector<int> order;
    for (int i = 0; i < 6; ++i) order.push_back(i);
    if (shift < 0) std::reverse(order.begin(), order.end());
    for (int i : order) {
      TLayerRow* src = MoveRow(i);
      if (src->SelectedCount() == 0) continue;
      TLayerRow* dst = MoveRow(i - shift);
      std::vector<TLayerItem*> moving;
      for (int k = 0; k < src->ItemCount(); ++k)
        if (src->Items(k)->Selected()) moving.push_back(src->Items(k));
      for (TLayerItem* b : moving) {
        int nf = b->FirstFrame() + delta;
        std::unique_ptr<TLayerItem> owned = src->DetachItem(b);
        if (!owned) throw ELayerBox("[L01] Nieprawidłowa operacja przemieszczania elementów");
        if (!dst->Visible() || !dst->Fits(nf, owned->Duration())) {
          src->AttachItem(std::move(owned));  // the block stays where it was
          throw ELayerBox("[L01] Nieprawidłowa operacja przemieszczania elementów");
        }
        owned->FFirstFrame = nf;
        dst->AttachItem(std::move(owned));
        if (b->LinkClipGraphic()) b->LinkClipGraphic()->SetPosition(nf);
      }
      dst->SortItems();
    }
  }
  UpdateLayerFx3d();
  // a drag under way continues on the row under the pointer
  if (FCaptureRow) FCaptureRow = Dragged->Parent();
  return true;
}

bool TLayerBox::MoveSelectionHorizontal(TLayerItem* Dragged, int NewStart) {
  long long delta = static_cast<long long>(NewStart) - Dragged->FirstFrame();
  if (delta == 0) return false;
  long long lo = LLONG_MIN, hi = LLONG_MAX;
  bool any = false;
  for (auto& r : FRows) {
    // no selected block passes frame 0 or runs into an unselected neighbour
    long long prevEnd = 0;
    for (int k = 0; k < r->ItemCount(); ++k) {
      TLayerItem* i = r->Items(k);
      if (i->Selected()) {
        lo = std::max(lo, prevEnd - i->FirstFrame());
        any = true;
      } else {
        prevEnd = std::max<long long>(prevEnd, i->LastFrame());
      }
    }
    long long nextStart = LLONG_MAX;
    for (int k = r->ItemCount() - 1; k >= 0; --k) {
      TLayerItem* i = r->Items(k);
      if (i->Selected()) {
        if (nextStart != LLONG_MAX) hi = std::min(hi, nextStart - i->LastFrame());
        hi = std::min<long long>(hi, MaxTimeLineFrames - i->FirstFrame());
      } else {
        nextStart = std::min<long long>(nextStart, i->FirstFrame());
      }
    }
  }
  if (!any || lo > hi) return false;
  delta = std::clamp(delta, lo, hi);
  if (delta == 0) return false;

  TBoxStateItemScope noDrawing(&FBoxState, bsNoDrawing);
  {
    TUpdatesOff off(*this);
    for (auto& r : FRows) {
      bool changed = false;
      for (int k = 0; k < r->ItemCount(); ++k) {
        TLayerItem* i = r->Items(k);
        if (!i->Selected()) continue;
        i->SetFirstFrame(static_cast<int>(i->FirstFrame() + delta));
        changed = true;
      }
      if (changed) r->SortItems();
    }
  }
  noDrawing.Restore();
  UpdateLayerFx3d();
  return true;
}

// ---------------------------------------------------------------------------------
// Copy and paste

void TLayerBox::CopyToClipboard() {
  constexpr TLayerTypes copied = LayerTypeBit(ltBmpAvi) | LayerTypeBit(ltFx3d) | LayerTypeBit(ltAudio) |
                                 LayerTypeBit(ltSequence) | LayerTypeBit(ltImage) | LayerTypeBit(ltKey);
  for (auto& r : FRows) {
    bool takes = InLayerTypes(r->LayerType(), copied);
    for (int k = 0; k < r->ItemCount(); ++k) {
      TLayerItem* i = r->Items(k);
      i->SetInClipboard(takes && i->Selected());
    }
  }
  FPasteValid = false;
  if (OnClipboard) OnClipboard(this);
}

void TLayerBox::ClearClipboardMarks() {
  for (auto& r : FRows)
    for (int k = 0; k < r->ItemCount(); ++k) r->Items(k)->SetInClipboard(false);
  FPasteValid = false;
  if (OnClipboard) OnClipboard(this);
}

namespace {

// Source and target rows of a paste for a row shift.
std::vector<std::pair<TLayerRow*, TLayerRow*>> PastePairs(const TLayerBox& box, int shift,
                                                         TLayerRow* (TLayerBox::*moveRow)(int) const) {
  std::vector<std::pair<TLayerRow*, TLayerRow*>> pairs;
  if (shift == 0) {
    constexpr TLayerTypes set = LayerTypeBit(ltBmpAvi) | LayerTypeBit(ltFx3d) | LayerTypeBit(ltAudio) |
                                LayerTypeBit(ltSequence) | LayerTypeBit(ltImage);
    for (int i = 0; i < box.RowCount(); ++i)
      if (InLayerTypes(box.Rows(i)->LayerType(), set)) pairs.emplace_back(box.Rows(i), box.Rows(i));
    return pairs;
  }
  // the sequence row keeps its blocks on itself; the six picture and sound rows shift
  if (TLayerRow* seq = box.RowByNumber(lnSequence)) pairs.emplace_back(seq, seq);
  for (int i = 0; i < 6; ++i) {
    int t = i - shift;
    if (t < 0 || t >= 6 || t / 3 != i / 3) continue;
    pairs.emplace_back((box.*moveRow)(i), (box.*moveRow)(t));
  }
  return pairs;
}

}  // namespace

bool TLayerBox::CanPasteAt(int Frame, TLayerRow* Target) {
  FPasteValid = false;
  if (!Target || Target->LayerType() == ltFx3d || Target->LayerType() == ltRange) return false;
  TLayerItem* first = nullptr;
  for (auto& r : FRows)
    if ((first = r->FirstClipboardItem())) break;
  if (!first) return false;

  int srcIndex = -1;
  for (int i = 0; i < 6 && srcIndex < 0; ++i)
    if (MoveRow(i)->FirstClipboardItem()) srcIndex = i;
  int dstIndex = MoveRowIndex(Target);
  int shift = srcIndex >= 0 && dstIndex >= 0 ? srcIndex - dstIndex : 0;
  bool locked =
      RowByNumber(lnFirstFx3d)->FirstClipboardItem() != nullptr || RowByNumber(lnRange)->FirstClipboardItem() != nullptr;
  int down, up;
  ShiftLimits([](const TLayerItem* i) { return i->InClipboard(); }, locked, down, up);
  if ((shift > 0 && shift > up) || (shift < 0 && -shift > down)) return false;
  long long delta = static_cast<long long>(std::max(Frame, 0)) - first->FirstFrame();
  TraceF("InsertFrame = %d", Frame);

  auto pairs = PastePairs(*this, shift, &TLayerBox::MoveRow);
  for (auto& p : pairs) {
    TLayerRow* src = p.first;
    TLayerRow* dst = p.second;
    if (!src->FirstClipboardItem()) continue;
    std::vector<std::pair<int, int>> spans;
    for (int k = 0; k < dst->ItemCount(); ++k) spans.emplace_back(dst->Items(k)->FirstFrame(), dst->Items(k)->LastFrame());
    bool sorted = std::is_sorted(spans.begin(), spans.end());
    for (int k = 0; k < src->ItemCount(); ++k) {
      TLayerItem* b = src->Items(k);
      if (!b->InClipboard()) continue;
      long long nf = b->FirstFrame() + delta;
      if (nf < 0 || nf > MaxTimeLineFrames) return false;
      bool hit = sorted ? OverlapsSorted(spans, static_cast<int>(nf), b->Duration())
                        : !dst->Fits(static_cast<int>(nf), b->Duration());
      if (hit) return false;
    }
  }
  FPasteShift = shift;
  FPasteDelta = static_cast<int>(delta);
  FPasteValid = true;
  return true;
}

void TLayerBox::PasteItems(TLayerRow* Target) {
  if (!FPasteValid || !Target) return;
  FPasteValid = false;
  DeselectAll();
  auto pairs = PastePairs(*this, FPasteShift, &TLayerBox::MoveRow);
  for (auto& p : pairs)
    for (int k = 0; k < p.first->ItemCount(); ++k) p.first->Items(k)->SetChecked(false);

  TBoxStateItemScope loading(&FBoxState, bsLoadingItems);
  std::map<const TLayerItem*, TLayerItem*> copies;
  std::vector<const TLayerItem*> order;
  for (auto& p : pairs) {
    TLayerRow* src = p.first;
    TLayerRow* dst = p.second;
    std::vector<TLayerItem*> marked;
    for (int k = 0; k < src->ItemCount(); ++k)
      if (src->Items(k)->InClipboard()) marked.push_back(src->Items(k));
    for (TLayerItem* b : marked) {
      if (b->Checked()) continue;
      b->SetChecked(true);
      int nf = b->FirstFrame() + FPasteDelta;
      if (!dst->Fits(nf, b->Duration()))
        throw ELayerBox("[L02] Nieprawidłowa operacja wklejenia elementów ze schowka");
      TLayerItem* c = dst->InsertLayerItem(nf, false, false, false, b->Fx3dID(), b->LinkClipGraphic(), b->Duration());
      if (!c) throw ELayerBox("[L02] Nieprawidłowa operacja wklejenia elementów ze schowka");
      c->SetDuration(b->Duration());
      CopyItemAttributes(b, c);
      c->SetSelected(true);
      c->SetInClipboard(false);
      b->SetSelected(false);
      copies[b] = c;
      order.push_back(b);
    }
  }
  // copies of a picture block and of its sound partner become partners
  for (const TLayerItem* src : order) {
    TLayerType t = src->LayerType();
    if (t != ltImage && t != ltBmpAvi) continue;
    TLayerItem* partner = src->LinkSynchronizeItem();
    if (!partner) continue;
    TLayerItem* copy = copies[src];
    auto found = copies.find(partner);
    if (found == copies.end()) {
      TraceF("[L03] Update synchronized item skipped (LT = %d, FF = %d)", static_cast<int>(copy->LayerType()),
             copy->FirstFrame());
      continue;
    }
    copy->SetLinkSynchronizeItem(found->second);
    if (!src->SynchronizeBothItem()) copy->Desynchronize();
  }
  loading.Restore();
  UpdateScrollBar();
  UpdateLayerFx3d();
  FMarchingTimer = SelectedLayerItemCount() > 0;
  SetModified(true);
}

bool TLayerBox::PasteAt(int Frame, TLayerRow* Target) {
  if (!CanPasteAt(Frame, Target)) return false;
  PasteItems(Target);
  return true;
}

// ---------------------------------------------------------------------------------
// Deleting

void TLayerBox::DeleteSelected() {
  {
    TBoxStateItemScope deleting(&FBoxState, bsDeletingItems);
    for (auto& r : FRows) r->DeleteSelected();
  }
  UpdateLayerFx3d();
  UpdateScrollBar();
}

void TLayerBox::ClearProject(bool KeepRange) {
  {
    TBoxStateItemScope deleting(&FBoxState, bsDeletingItems);
    for (auto& r : FRows)
      if (!(KeepRange && r->LayerNumber() == lnRange)) r->ClearItems();
  }
  UpdateLayerFx3d();
  UpdateScrollBar();
}

bool TLayerBox::ConfirmClearProject() {
  TMsgAnswer a = AskMessage("Czy napewno chcesz usunąć wszystkie elementy ?", "Uwaga !", TMsgButtons::OkCancel,
                            TMsgAnswer::Cancel);
  if (a != TMsgAnswer::Yes && a != TMsgAnswer::Ok) return false;
  ClearProject(true);
  return true;
}

void TLayerBox::RemoveClipUses(TClipGraphic* Clip, TLayerItem* Keep) {
  if (!Clip) return;
  {
    TBoxStateItemScope deleting(&FBoxState, bsDeletingItems);
    for (auto& r : FRows)
      r->DeleteWhere([Clip, Keep](const TLayerItem* i) { return i != Keep && i->LinkClipGraphic() == Clip; });
  }
  UpdateLayerFx3d();
  UpdateScrollBar();
}

// ---------------------------------------------------------------------------------
// Effects

void TLayerBox::ChooseEffect(TLayerItem* Item, int32_t Fx3dID) {
  if (!Item || Item->LayerType() != ltFx3d) return;
  Item->SetFx3dID(Fx3dID);
  FDefaultFx3dID = Fx3dID;
}

void TLayerBox::MakeRandomFx3d() {
  TLayerRow* t = RowByNumber(lnFirstFx3d);
  TFxList& list = EnsureFxList();
  for (int k = 0; k < t->ItemCount(); ++k) {
    int32_t id = list.RandomFxID(0);
    if (id != 0 && id != -1) t->Items(k)->SetFx3dID(id);
  }
}

// ---------------------------------------------------------------------------------
// The transition row

void TLayerBox::UpdateLayerFx3d() {
  if (FBoxState.Contains(bsLoadingItems) || FBoxState.Contains(bsDeletingItems) ||
      FBoxState.Contains(bsDraggingItems) || FUpdatingFx3d)
    return;
  TScopedValue<bool> updating(FUpdatingFx3d, true);

  TLayerRow* A = RowByNumber(lnFirstClipTop);
  TLayerRow* B = RowByNumber(lnFirstClipBottom);
  TLayerRow* T = RowByNumber(lnFirstFx3d);
  for (TLayerRow* r : {A, B, T})
    for (auto& i : r->FItems) i->FChecked = false;

  auto& ta = A->FItems;
  auto& tb = B->FItems;
  // T's list stays as it is until the end: removals and insertions are gathered
  std::vector<TLayerItem*> tt;
  tt.reserve(T->FItems.size());
  for (auto& i : T->FItems) tt.push_back(i.get());
  std::vector<char> doomed(tt.size(), 0);
  // With T sorted and the spans rising (rows A and B sorted and free of overlaps), a T
  // block that ends before a span never meets a later one: two cursors do the search.
  bool fast = T->IsSorted();
  int lastSpanStart = INT_MIN;
  size_t cursor = 0, doomCursor = 0;
  struct TNewSpan {
    int s, e;
    bool selected;
  };
  std::vector<TNewSpan> created;

  size_t ia = 0, ib = 0;
  while (ia < ta.size() && ib < tb.size()) {
    TLayerItem* a = ta[ia].get();
    TLayerItem* b = tb[ib].get();
    int as = a->FirstFrame(), ae = a->LastFrame(), bs = b->FirstFrame(), be = b->LastFrame();
    if (!(as < be && bs < ae)) {
      // no overlap: the earlier one is done
      if (be > as) {
        a->FChecked = true;
        ++ia;
      } else {
        b->FChecked = true;
        ++ib;
      }
      continue;
    }
    int s, e;
    if (as < bs && ae <= be) {
      s = bs, e = ae;
      a->FChecked = true, ++ia;
    } else if (as <= bs && ae >= be) {
      s = bs, e = be;
      b->FChecked = true, ++ib;
    } else if (as >= bs && ae <= be) {
      s = as, e = ae;
      a->FChecked = true, ++ia;
    } else {
      s = as, e = be;
      b->FChecked = true, ++ib;
    }
    if (s < lastSpanStart) fast = false;
    lastSpanStart = s;
    bool bothSelected = a->Selected() && b->Selected();

    TLayerItem* found = nullptr;
    if (fast) {
      while (cursor < tt.size() && (tt[cursor]->FChecked || doomed[cursor] || tt[cursor]->LastFrame() <= s)) ++cursor;
      for (size_t j = cursor; j < tt.size(); ++j) {
        TLayerItem* t = tt[j];
        if (t->FChecked || doomed[j]) continue;
        if (t->FirstFrame() >= e) break;
        if (t->LastFrame() > s) {
          found = t;
          break;
        }
      }
    } else {
      for (size_t j = 0; j < tt.size(); ++j)
        if (!tt[j]->FChecked && !doomed[j] && tt[j]->SpansFrames(s, e)) {
          found = tt[j];
          break;
        }
    }
    if (found) {
      // an existing transition keeps its effect
      found->SetFirstFrame(s);
      found->SetDuration(e - s);
      found->FChecked = true;
      if (bothSelected) found->SetSelected(true);
      continue;
    }
    if (fast) {
      for (; doomCursor < tt.size() && tt[doomCursor]->FirstFrame() < e; ++doomCursor)
        if (!tt[doomCursor]->FChecked) doomed[doomCursor] = 1;
    } else {
      for (size_t j = 0; j < tt.size(); ++j)
        if (!tt[j]->FChecked && tt[j]->FirstFrame() < e) doomed[j] = 1;
    }
    created.push_back({s, e, bothSelected});
  }

  // every transition left unchecked has lost its overlap
  T->DeleteWhere([](const TLayerItem* i) { return !i->FChecked; });
  std::vector<std::pair<TLayerItem*, bool>> added;
  for (const TNewSpan& c : created) {
    auto owned = std::make_unique<TLayerItem>(T);
    TLayerItem* item = owned.get();
    item->FFirstFrame = c.s;
    item->FDuration = c.e - c.s;
    item->FFx3dID = FDefaultFx3dID;
    item->FChecked = true;
    T->HookItem(item);
    T->FItems.push_back(std::move(owned));
    item->UpdateRect();
    added.emplace_back(item, c.selected);
  }
  if (!added.empty()) {
    T->SortItems();
    T->RelinkAll();
    for (auto& [item, selected] : added) {
      if (selected) item->SetSelected(true);
      if (T->OnInsertItem) T->OnInsertItem(T, item);
      T->Fire(T->OnModified);
    }
  } else {
    T->SortItems();
  }
}

}  // namespace movara
