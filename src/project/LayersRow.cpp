// TLayerRow: the blocks of one row and the editing of one row (insertion, overlap
// correction, snapping, moving, resizing, the razor, partners' alignment).
#include <algorithm>
#include <climits>
#include <cstdlib>

#include "base/Rounding.h"
#include "base/ScopeGuard.h"
#include "base/Trace.h"
#include "base/UserMessages.h"
#include "project/ClipGraphic.h"
#include "project/Layers.h"
#include "project/ShortCut.h"

namespace movara {

namespace {

bool TakesPictures(TLayerType t) { return t == ltBmpAvi || t == ltImage; }

// Rows between which a block may move: the same type, or the image row and a clip row.
bool RowsCompatible(TLayerType from, TLayerType to) {
  return from == to || (TakesPictures(from) && TakesPictures(to));
}

}  // namespace

TLayerRow::TLayerRow(TLayerBox* Box, TLayerType LayerType, TLayerNumber LayerNumber)
    : FBox(Box), FLayerType(ValidEnum(LayerType) ? LayerType : ltNone),
      FLayerNumber(ValidEnum(LayerNumber) ? LayerNumber : lnNone) {
  FDrawCrossIf = FLayerType == ltBmpAvi || FLayerType == ltAudio || FLayerType == ltImage;
}

TLayerRow::~TLayerRow() {
  FGesture = TGesture{};
  // Blocks go from the last to the first; their events no longer reach the row.
  while (!FItems.empty()) {
    std::unique_ptr<TLayerItem> item = std::move(FItems.back());
    FItems.pop_back();
    item->OnDestroyItem = nullptr;
    item->OnModified = nullptr;
    item->OnNeedUpdateLayerFx3d = nullptr;
    item->OnSelectedChange = nullptr;
    item->OnNeedShow = nullptr;
    item->OnDuration = nullptr;
    item.reset();
  }
}

// ---------------------------------------------------------------------------------
// Properties and geometry

void TLayerRow::SetIconSize(TIconSize Value) {
  if (!ValidEnum(Value)) return;
  FIconSize = Value;
  for (auto& i : FItems) i->UpdateRect();
}

void TLayerRow::SetZoom(TZoom Value) {
  if (!ValidEnum(Value)) return;
  FZoom = Value;
  for (auto& i : FItems) i->UpdateRect();
}

int TLayerRow::TimeBase() const { return FBox ? DefaultTimeBase : 1; }

void TLayerRow::SetLayerType(TLayerType t) {
  FLayerType = ValidEnum(t) ? t : ltNone;
  for (auto& i : FItems) i->UpdateRect();
}

void TLayerRow::SetFirstFrame(int Value) { FFirstFrame = std::max(0, Value); }

bool TLayerRow::SnapItems() const { return FBox ? FBox->SnapItems() : true; }

void TLayerRow::SetLevelBoxVisible(bool Value) {
  if (Value == FLevelBoxVisible) return;
  FLevelBoxVisible = Value;
  for (auto& i : FItems) i->UpdateRect();
  if (FBox) FBox->ArrangeRows();
}

void TLayerRow::SetVisible(bool Value) {
  if (Value == FVisible) return;
  FVisible = Value;
  if (FBox) FBox->ArrangeRows();
}

int32_t TLayerRow::DefaultFx3dID() const { return FBox ? FBox->DefaultFx3dID() : FDefaultFx3dID; }

void TLayerRow::SetDefaultFx3dID(int32_t Value) {
  if (FBox)
    FBox->SetDefaultFx3dID(Value);
  else
    FDefaultFx3dID = Value;
}

int TLayerRow::BaseHeight() const {
  int thumb = ThumbSize[FIconSize].Height;
  switch (FLayerType) {
    case ltFx3d: return 28;
    case ltAudio: return RoundInt(static_cast<long double>(thumb) / 2);
    case ltSequence: return 16;
    case ltRange: return 10;
    case ltKey: return 11;
    default: return thumb + 1;
  }
}

int TLayerRow::Height() const {
  int h = BaseHeight();
  if (FLevelBoxVisible) {
    if (FLayerType == ltAudio) h += 33;
    if (FLayerType == ltImage) h += 38;
  }
  return h;
}

int TLayerRow::PixelOfFrame(int Frame) const { return TimeLinePixelOfFrame(FZoom, FIconSize, Frame); }

int TLayerRow::TimeLinePixel(int X) const {
  long long p = static_cast<long long>(X) + PixelOfFrame(FFirstFrame);
  return static_cast<int>(std::clamp<long long>(p, INT_MIN, INT_MAX));
}

int TLayerRow::FrameAtX(int X) const { return PixelToFrame(FZoom, FIconSize, TimeLinePixel(X)); }

int TLayerRow::StepValue() const { return ZoomStep[FZoom][FIconSize].Step; }

int TLayerRow::FramesPerThumbnail() const { return FramesPerThumb(FZoom, FIconSize); }

// ---------------------------------------------------------------------------------
// List upkeep

bool TLayerRow::IsSorted() const {
  for (size_t i = 1; i < FItems.size(); ++i)
    if (FItems[i - 1]->FFirstFrame > FItems[i]->FFirstFrame) return false;
  return true;
}

void TLayerRow::RelinkAll() {
  for (size_t i = 0; i < FItems.size(); ++i) {
    FItems[i]->FPrevItem = i > 0 ? FItems[i - 1].get() : nullptr;
    FItems[i]->FNextItem = i + 1 < FItems.size() ? FItems[i + 1].get() : nullptr;
  }
}

void TLayerRow::RelinkAround(size_t Index) {
  size_t lo = Index > 0 ? Index - 1 : 0;
  size_t hi = std::min(Index + 1, FItems.size() ? FItems.size() - 1 : 0);
  for (size_t i = lo; i <= hi && i < FItems.size(); ++i) {
    FItems[i]->FPrevItem = i > 0 ? FItems[i - 1].get() : nullptr;
    FItems[i]->FNextItem = i + 1 < FItems.size() ? FItems[i + 1].get() : nullptr;
  }
}

// Every change of the list relinks the blocks it touches, so the links follow the list
// order at all times; only a real reordering needs a full relink.
void TLayerRow::SortItems() {
  if (IsSorted()) return;
  std::stable_sort(FItems.begin(), FItems.end(),
                   [](const std::unique_ptr<TLayerItem>& a, const std::unique_ptr<TLayerItem>& b) {
                     return a->FFirstFrame < b->FFirstFrame;
                   });
  RelinkAll();
}

size_t TLayerRow::LowerBound(int Frame) const {
  auto it = std::lower_bound(FItems.begin(), FItems.end(), Frame,
                             [](const std::unique_ptr<TLayerItem>& a, int f) { return a->FFirstFrame < f; });
  return static_cast<size_t>(it - FItems.begin());
}

std::unique_ptr<TLayerItem> TLayerRow::TakeAt(size_t Index) {
  std::unique_ptr<TLayerItem> item = std::move(FItems[Index]);
  FItems.erase(FItems.begin() + static_cast<std::ptrdiff_t>(Index));
  if (!FItems.empty()) RelinkAround(std::min(Index, FItems.size() - 1));
  item->FPrevItem = nullptr;
  item->FNextItem = nullptr;
  if (FGesture.Item == item.get() || FGesture.PointItem == item.get()) FGesture = TGesture{};
  return item;
}

void TLayerRow::HookItem(TLayerItem* Item) {
  Item->FParent = this;
  Item->OnModified = [this](TLayerItem* i) { ItemModified(i); };
  Item->OnNeedUpdateLayerFx3d = [this](TLayerItem* i) { ItemNeedUpdate(i); };
  Item->OnSelectedChange = [this](TLayerItem* i) { ItemSelectedChange(i); };
  Item->OnNeedShow = [this](TLayerItem* i) { ItemNeedShow(i); };
  Item->OnDestroyItem = [this](TLayerItem* i) {
    // a block destroyed by someone else leaves the list without being freed twice
    for (size_t k = 0; k < FItems.size(); ++k) {
      if (FItems[k].get() == i) {
        FItems[k].release();
        FItems.erase(FItems.begin() + static_cast<std::ptrdiff_t>(k));
        RelinkAll();
        return;
      }
    }
  };
}

void TLayerRow::ItemModified(TLayerItem* Item) {
  Fire(OnModified);
  if (Item->InClipboard()) Fire(OnModifyClipboarded);
}

void TLayerRow::ItemNeedUpdate(TLayerItem*) { UpdateLayerFx3d(); }

void TLayerRow::ItemSelectedChange(TLayerItem*) { Fire(OnSelectedItems); }

void TLayerRow::ItemNeedShow(TLayerItem* Item) {
  if (FBox) {
    FBox->ShowItem(Item);
  } else {
    DeselectAll();
    Item->SetSelected(true);
  }
}

void TLayerRow::UpdateLayerFx3d() {
  if (FBox && FUpdateFx3dEnabled && (FLayerNumber == lnFirstClipTop || FLayerNumber == lnFirstClipBottom))
    FBox->UpdateLayerFx3d();
}

// ---------------------------------------------------------------------------------
// Lookups

TLayerItem* TLayerRow::Items(int Index) const {
  if (Index < 0 || Index >= ItemCount()) return nullptr;
  return FItems[static_cast<size_t>(Index)].get();
}

int TLayerRow::IndexOf(const TLayerItem* Item) const {
  if (!Item) return -1;
  // a sorted row finds the block near its first frame
  size_t i = LowerBound(Item->FFirstFrame);
  for (size_t k = i; k < FItems.size() && FItems[k]->FFirstFrame == Item->FFirstFrame; ++k)
    if (FItems[k].get() == Item) return static_cast<int>(k);
  for (size_t k = 0; k < FItems.size(); ++k)
    if (FItems[k].get() == Item) return static_cast<int>(k);
  return -1;
}

TLayerItem* TLayerRow::FirstClipboardItem() const {
  for (auto& i : FItems)
    if (i->InClipboard()) return i.get();
  return nullptr;
}

int TLayerRow::SelectedCount() const {
  int n = 0;
  for (auto& i : FItems) n += i->Selected() ? 1 : 0;
  return n;
}

int TLayerRow::ClipboardCount() const {
  int n = 0;
  for (auto& i : FItems) n += i->InClipboard() ? 1 : 0;
  return n;
}

TLayerItem* TLayerRow::ItemAtFrames(int A, int B, bool SkipChecked, const TLayerItem* Ignore) const {
  for (auto& i : FItems) {
    if (i.get() == Ignore || (SkipChecked && i->Checked())) continue;
    if (i->SpansFrames(A, B)) return i.get();
  }
  return nullptr;
}

TLayerItem* TLayerRow::ItemAtPixels(int A, int B) const {
  for (auto& i : FItems)
    if (i->SpansPixels(A, B)) return i.get();
  return nullptr;
}

void TLayerRow::ItemsInPixels(int A, int B, int& From, int& To) const {
  auto from = std::partition_point(FItems.begin(), FItems.end(),
                                   [A](const std::unique_ptr<TLayerItem>& i) { return i->Right() <= A; });
  auto to = std::partition_point(from, FItems.end(),
                                 [B](const std::unique_ptr<TLayerItem>& i) { return i->Left() < B; });
  From = static_cast<int>(from - FItems.begin());
  To = static_cast<int>(to - FItems.begin());
}

TLayerItem* TLayerRow::LastItemEndingBefore(int Frame, const TLayerItem* Ignore1, const TLayerItem* Ignore2) const {
  TLayerItem* best = nullptr;
  for (auto& i : FItems) {
    if (i.get() == Ignore1 || i.get() == Ignore2) continue;
    if (i->LastFrame() <= Frame && (!best || i->LastFrame() >= best->LastFrame())) best = i.get();
  }
  return best;
}

TLayerItem* TLayerRow::FirstItemStartingAfter(int Frame, const TLayerItem* Ignore1, const TLayerItem* Ignore2) const {
  TLayerItem* best = nullptr;
  for (auto& i : FItems) {
    if (i.get() == Ignore1 || i.get() == Ignore2) continue;
    if (i->FirstFrame() >= Frame && (!best || i->FirstFrame() < best->FirstFrame())) best = i.get();
  }
  return best;
}

TLayerItem* TLayerRow::ItemAtPoint(int X, int Y) const {
  if (X < 0 || Y < 0 || Y >= Height()) return nullptr;
  int px = TimeLinePixel(X);
  bool column = FLevelBoxVisible && (FLayerType == ltAudio || FLayerType == ltImage);
  for (auto& i : FItems) {
    if (px < i->Left() || px > i->Right()) continue;
    if (column || (Y >= i->Top() && Y < i->Bottom())) return i.get();
  }
  return nullptr;
}

TLevelItem* TLayerRow::LevelPointAtPoint(int X, int Y, TLayerItem** Item) const {
  if (Item) *Item = nullptr;
  if (!FLevelBoxVisible) return nullptr;
  int px = TimeLinePixel(X);
  for (auto& i : FItems) {
    TLevelBox* lb = i->LevelBoxIfAny();
    if (!lb || px < i->Left() - 3 || px > i->Right() + 3) continue;
    if (TLevelItem* p = lb->PointAtPixel(px - i->Left(), Y)) {
      if (Item) *Item = i.get();
      return p;
    }
  }
  return nullptr;
}

bool TLayerRow::Fits(int Start, int Duration, const TLayerItem* Ignore1, const TLayerItem* Ignore2) const {
  if (Start < 0 || Duration < 1) return false;
  int end = Start + Duration;
  for (auto& i : FItems) {
    if (i.get() == Ignore1 || i.get() == Ignore2) continue;
    if (i->SpansFrames(Start, end)) return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------
// Insertion and overlaps

TLayerItem* TLayerRow::InsertLayerItem(int Frame, bool UseClipLength, bool UpdateFx3d, bool Centre,
                                       int32_t Fx3dID, TClipGraphic* Clip, int Duration) {
  int duration;
  if (UseClipLength && Clip && Clip->HasMaxDuration() && Clip->MaxDuration() >= 1) {
    duration = Clip->MaxDuration();
  } else {
    duration = Duration;
    if (duration <= 0) duration = StepValue();
  }
  duration = std::min(duration, MaxTimeLineFrames);

  TScopedValue<bool> updatesOff(FUpdateFx3dEnabled, false);
  SortItems();
  Frame = std::clamp(Frame, 0, MaxTimeLineFrames);

  // before a block that starts at the same frame
  size_t pos = LowerBound(Frame);
  auto owned = std::make_unique<TLayerItem>(this);
  TLayerItem* item = owned.get();
  item->FFirstFrame = Frame;
  item->FDuration = duration;
  HookItem(item);
  FItems.insert(FItems.begin() + static_cast<std::ptrdiff_t>(pos), std::move(owned));
  RelinkAround(pos);
  item->UpdateRect();
  if (FLayerType == ltAudio || FLayerType == ltImage) item->LevelBox();
  item->SetLinkClipGraphic(Clip);
  item->SetFx3dID(Fx3dID);
  SortItems();

  if (Centre) {
    int start = Frame - item->Duration() / 2;
    if (TLayerItem* prev = item->PrevItem(); prev && start < prev->LastFrame()) start = prev->LastFrame();
    item->SetFirstFrame(std::max(0, start));
    SortItems();
  }
  CorrectOverlaps(item);
  if (OnInsertItem) OnInsertItem(this, item);
  Fire(OnModified);
  updatesOff.Restore();
  if (UpdateFx3d) UpdateLayerFx3d();
  return item;
}

void TLayerRow::CorrectOverlaps(TLayerItem* Inserted) {
  if (FLayerType == ltFx3d) return;
  bool trace = Inserted && TraceEnabled();
  auto dump = [this]() {
    for (size_t k = 0; k < FItems.size(); ++k)
      TraceF(" #%d: FF =%3d, LF =%3d (DUR =%3d)", static_cast<int>(k), FItems[k]->FirstFrame(),
             FItems[k]->LastFrame(), FItems[k]->Duration());
  };
  if (trace) {
    Trace("Before correcting...");
    dump();
  }
  for (size_t k = 0; k + 1 < FItems.size(); ++k) {
    TLayerItem* p = FItems[k].get();
    TLayerItem* n = FItems[k + 1].get();
    if (n->FirstFrame() >= p->LastFrame()) continue;
    if (p == Inserted) {
      int room = k == 0 ? p->FirstFrame() : p->FirstFrame() - FItems[k - 1]->LastFrame();
      room = std::max(room, 0);
      int overlap = p->LastFrame() - n->FirstFrame();
      if (room < overlap) {
        int newStart = p->FirstFrame() - room;
        int newDuration = n->FirstFrame() - newStart;
        if (newDuration >= 1 && !p->ConstDuration()) {
          // the new block shrinks into the gap
          p->SetFirstFrame(newStart);
          p->SetDuration(newDuration);
          continue;
        }
        // No gap at all (or a locked length): shrinking would leave a block of no
        // length on top of its neighbour, so the later blocks make room instead.
        n->SetFirstFrame(p->LastFrame());
      } else {
        p->SetFirstFrame(p->FirstFrame() - overlap);
      }
    } else {
      n->SetFirstFrame(p->LastFrame());
    }
  }
  if (trace) {
    Trace("After correcting");
    dump();
  }
}

// ---------------------------------------------------------------------------------
// Snapping, moving, resizing

int TLayerRow::SnapFrame(int X, int Threshold, const TLayerItem* Ignore1, const TLayerItem* Ignore2) const {
  if (!SnapItems()) return -1;
  int bestDist = INT_MAX;
  int bestPriority = INT_MAX;
  int bestFrame = -1;
  auto consider = [&](int pixel, int frame, int priority) {
    long long d = std::llabs(static_cast<long long>(pixel) - X);
    if (d > Threshold) return;
    int dist = static_cast<int>(d);
    if (dist < bestDist || (dist == bestDist && priority < bestPriority)) {
      bestDist = dist;
      bestPriority = priority;
      bestFrame = frame;
    }
  };
  // the grid line wins ties, then an end edge, then a start edge
  int width = ThumbSize[FIconSize].Width;
  int grid = static_cast<int>(RoundHalfEven(static_cast<long double>(X) / width)) * width;
  consider(grid, std::max(0, PixelToFrame(FZoom, FIconSize, grid)), 0);
  auto scan = [&](const TLayerRow* row) {
    if (!row || row->LayerType() == ltFx3d) return;
    for (auto& i : row->FItems) {
      if (i.get() == Ignore1 || i.get() == Ignore2) continue;
      consider(i->Right(), i->LastFrame(), 1);
      consider(i->Left(), i->FirstFrame(), 2);
    }
  };
  if (FBox) {
    for (TLayerNumber n : {lnRange, lnSequence, lnImage, lnFirstClipTop, lnFirstClipBottom, lnAudioFirst,
                           lnAudioSecond, lnAudioThird})
      scan(FBox->RowByNumber(n));
  } else {
    scan(this);
  }
  return bestFrame;
}

int TLayerRow::FindFreeStart(TLayerItem* Item, int, bool MovingLeft) const {
  TLayerItem* partner = Item->LinkSynchronizeItem();
  if (MovingLeft) {
    TLayerItem* prev = LastItemEndingBefore(Item->FirstFrame(), Item, partner);
    return prev ? prev->LastFrame() : -1;
  }
  TLayerItem* next = FirstItemStartingAfter(Item->LastFrame(), Item, partner);
  return next ? std::max(0, next->FirstFrame() - Item->Duration()) : -1;
}

bool TLayerRow::MoveItem(int X, int Y, int GrabOffset, TLayerItem* Item) {
  if (!Item || Item->Parent() != this) return false;
  int px = TimeLinePixel(X);
  int leftX = std::max(0, px - GrabOffset);
  int newStart = std::max(0, PixelToFrame(FZoom, FIconSize, leftX));
  int duration = Item->Duration();
  // taking the block out of this row clears the gesture here; the row that receives
  // the block continues it
  TGesture gesture = FGesture;

  if (FBox && FLayerType != ltRange && FBox->SelectedLayerItemCount() > 1) {
    TLayerRow* pointerRow = FBox->RowAtPoint(FTop + Y);
    bool moved = FBox->MoveSelection(Item, newStart, pointerRow);
    if (Item->Parent() && Item->Parent() != this) {
      TLayerRow* to = Item->Parent();
      to->FGesture = gesture;
      FGesture = TGesture{};
      FBox->SetCaptureRow(to);
    }
    return moved;
  }

  // over another row that takes the block
  if (FBox && (Y < 0 || Y >= Height())) {
    TLayerRow* other = FBox->RowAtPoint(FTop + Y);
    if (other && other != this && other->Visible() && RowsCompatible(FLayerType, other->LayerType()) &&
        other->Fits(newStart, duration)) {
      TScopedValue<bool> updatesOff(FUpdateFx3dEnabled, false);
      TScopedValue<bool> otherUpdatesOff(other->FUpdateFx3dEnabled, false);
      std::unique_ptr<TLayerItem> owned = DetachItem(Item);
      if (!owned) return false;
      owned->FFirstFrame = newStart;
      other->AttachItem(std::move(owned));
      Item->UpdateRect();
      if (Item->LinkClipGraphic()) Item->LinkClipGraphic()->SetPosition(newStart);
      other->SortItems();
      other->FGesture = gesture;
      FGesture = TGesture{};
      FBox->SetCaptureRow(other);
      otherUpdatesOff.Restore();
      updatesOff.Restore();
      UpdateLayerFx3d();
      other->UpdateLayerFx3d();
      return true;
    }
  }

  TLayerItem* partner = Item->LinkSynchronizeItem();
  if (!Fits(newStart, duration, Item, partner)) {
    int free = FindFreeStart(Item, newStart, leftX < Item->Left());
    if (free >= 0 && free != newStart) {
      newStart = free;
      leftX = PixelOfFrame(newStart);
    }
  }
  int snap = SnapFrame(leftX, 5, Item, partner);
  if (snap >= 0) {
    newStart = snap;
  } else {
    snap = SnapFrame(leftX + Item->Width(), 10, Item, partner);
    if (snap >= 0) newStart = std::max(0, snap - duration);
  }
  if (!Fits(newStart, duration, Item, partner)) return false;
  if (newStart == Item->FirstFrame()) return false;

  TScopedValue<bool> updatesOff(FUpdateFx3dEnabled, false);
  Item->SetFirstFrame(newStart);
  SortItems();
  CorrectOverlaps(nullptr);
  updatesOff.Restore();
  UpdateLayerFx3d();
  return true;
}

TItemEdge TLayerRow::EdgeAt(const TLayerItem* Item, int X) const {
  if (!Item || Item->ConstDuration()) return ieNone;
  int width = Item->Width();
  int grab = 10;
  if (width / 2 < 10) grab = std::max(1, width / 3);
  if (X >= Item->Left() && X <= Item->Left() + grab) return ieLeft;
  if (X <= Item->Right() && X >= Item->Right() - grab) return ieRight;
  return ieNone;
}

bool TLayerRow::ResizeItem(int X, TLayerItem* Item, TItemEdge Edge) {
  if (!Item || Item->Parent() != this || Item->ConstDuration() || (Edge != ieLeft && Edge != ieRight)) return false;
  int px = TimeLinePixel(X);
  TLayerItem* link = Item->LinkSynchronizeItem();
  TLayerItem* partner = Item->SynchronizeBothItem() ? link : nullptr;
  TLayerRow* partnerRow = partner ? partner->Parent() : nullptr;
  if (!partnerRow) partner = nullptr;
  int minWidth = std::max(1, MinItemWidth());
  int first = Item->FirstFrame();
  int last = Item->LastFrame();
  int newFirst = first;
  int newLast = last;

  if (Edge == ieLeft) {
    int s = PixelToFrame(FZoom, FIconSize, std::max(px, 0));
    int snap = SnapFrame(px, 10, Item, link);
    if (snap >= 0) {
      s = snap;
      TraceF("[TLayerRow.ResizeItem] RowPoint.x = %d, AlignFrame = %d", X, snap);
    }
    s = std::min(s, last - 1);
    s = std::min(s, last - minWidth);
    if (TLayerItem* prev = LastItemEndingBefore(first, Item, link)) s = std::max(s, prev->LastFrame());
    if (partner) {
      TLayerItem* pprev = partnerRow->LastItemEndingBefore(partner->FirstFrame(), partner, Item);
      int gap = partner->FirstFrame() - (pprev ? pprev->LastFrame() : 0);
      s = std::max(s, first - std::max(gap, 0));
    }
    if (Item->HasMaxDuration()) s = std::max(s, last - Item->MaxDuration());
    s = std::max(s, 0);
    s = std::min(s, last - 1);
    newFirst = s;
  } else {
    int e = PixelToFrame(FZoom, FIconSize, px);
    int snap = SnapFrame(px, 10, Item, link);
    if (snap >= 0) e = snap;
    e = std::max(e, first + minWidth);
    if (Item->HasMaxDuration()) e = std::min(e, Item->MaxLastFrame());
    if (partner) {
      TLayerItem* pnext = partnerRow->FirstItemStartingAfter(partner->LastFrame(), partner, Item);
      if (pnext) e = std::min(e, last + std::max(0, pnext->FirstFrame() - partner->LastFrame()));
    }
    e = std::max(e, first + 1);
    e = std::min(e, MaxTimeLineFrames);
    newLast = e;
  }
  if (newFirst == first && newLast == last) return false;

  if (!FGesture.Resized) {
    FGesture.Resized = true;
    Fire(OnStartResizing);
  }
  TScopedValue<bool> updatesOff(FUpdateFx3dEnabled, false);
  TScopedValue<bool> partnerUpdatesOff(partnerRow ? &partnerRow->FUpdateFx3dEnabled : nullptr, false);

  if (Edge == ieLeft) {
    Item->SetFirstFrame(newFirst);
    Item->SetDuration(last - newFirst);
  } else {
    Item->SetDuration(newLast - first);
  }
  SortItems();
  CorrectOverlaps(nullptr);

  if (partner) {
    int pFirst = partner->FirstFrame();
    int pLast = partner->LastFrame();
    // The partner takes the same change; its own limits may hold the change back but
    // never turn it into a different one (a short partner is not lengthened).
    if (Edge == ieLeft) {
      int delta = newFirst - first;
      int ps = pFirst + delta;
      if (delta > 0) ps = std::min(ps, std::max(pFirst, pLast - minWidth));
      if (TLayerItem* pprev = partnerRow->LastItemEndingBefore(pFirst, partner, Item))
        ps = std::max(ps, pprev->LastFrame());
      ps = std::clamp(ps, 0, std::max(0, pLast - 1));
      partner->SetFirstFrame(ps);
      partner->SetDuration(pLast - ps);
    } else {
      int delta = newLast - last;
      int pe = pLast + delta;
      if (delta < 0) pe = std::max(pe, std::min(pLast, pFirst + minWidth));
      if (TLayerItem* pnext = partnerRow->FirstItemStartingAfter(pLast, partner, Item))
        pe = std::min(pe, pnext->FirstFrame());
      pe = std::max(pe, pFirst + 1);
      partner->SetDuration(pe - pFirst);
    }
    partnerRow->SortItems();
    partnerRow->CorrectOverlaps(nullptr);
  }

  updatesOff.Restore();
  partnerUpdatesOff.Restore();
  UpdateLayerFx3d();
  if (partnerRow) partnerRow->UpdateLayerFx3d();
  if (OnResizing) OnResizing(this, (Edge == ieLeft ? Item->Left() : Item->Right()) - PixelOfFrame(FFirstFrame));
  return true;
}

// ---------------------------------------------------------------------------------
// The razor

namespace {

// The attributes a copy takes from its source (paste and razor), its own length kept.
void CopyAttributes(const TLayerItem* From, TLayerItem* To) {
  To->SetMediaType(From->StoredMediaType());
  To->SetConstDuration(From->ConstDuration());
  To->SetComposeMode(From->StoredComposeMode());
  To->SetUniformColor(From->UniformColor());
  To->SetUniformColorValue(From->UniformColorValue());
  To->SetColorKey(From->ColorKey());
  To->SetYUVLo(From->YUVLo());
  To->SetYUVHi(From->YUVHi());
  To->SetSpeed(From->Speed());
  To->SetFx3dID(From->Fx3dID());
  To->SetShowAnimationBox(From->ShowAnimationBox());
  To->SetOffsetFrame(From->OffsetFrame());
}

// Cuts Item at frame F: it keeps [first, F), a new selected block takes [F, last).
TLayerItem* SplitAt(TLayerRow* Row, TLayerItem* Item, int F) {
  int first = Item->FirstFrame();
  int oldLast = Item->LastFrame();
  Item->SetDuration(F - first);
  TLayerItem* added =
      Row->InsertLayerItem(F, false, false, false, Item->Fx3dID(), Item->LinkClipGraphic(), oldLast - F);
  if (!added) {
    Trace("[TLayerRow.DoSplitItem] InsertLayerItem failed! NewItem = nil.");
    return nullptr;
  }
  CopyAttributes(Item, added);
  added->SetOffsetFrame(Item->OffsetFrame() + (F - first));
  added->SetSelected(true);
  return added;
}

}  // namespace

void CopyItemAttributes(const TLayerItem* From, TLayerItem* To) { CopyAttributes(From, To); }

bool TLayerRow::DoSplitItem(int X, int Y) {
  if (FLayerType != ltBmpAvi && FLayerType != ltAudio && FLayerType != ltImage) return false;
  TLayerItem* item = ItemAtPoint(X, Y);
  if (!item) return false;
  int f = FrameAtX(X);
  if (!(item->FirstFrame() < f && f < item->LastFrame())) return false;
  // a block whose length is locked cannot be shortened, so it is not cut
  if (item->ConstDuration()) return false;

  if (FBox)
    FBox->DeselectAll();
  else
    DeselectAll();
  TBoxStateItemScope noDrawing(FBox ? &FBox->FBoxState : nullptr, bsNoDrawing);
  TScopedValue<bool> updatesOff(FUpdateFx3dEnabled, false);

  TLayerItem* partner = item->LinkSynchronizeItem();
  TLayerItem* added = SplitAt(this, item, f);
  TLayerRow* partnerRow = partner ? partner->Parent() : nullptr;
  if (added && partner && partnerRow && partner->FirstFrame() < f && f < partner->LastFrame() &&
      !partner->ConstDuration()) {
    TScopedValue<bool> partnerUpdatesOff(partnerRow->FUpdateFx3dEnabled, false);
    bool sync = item->SynchronizeBothItem();
    TLayerItem* addedPartner = SplitAt(partnerRow, partner, f);
    if (addedPartner) {
      added->SetLinkSynchronizeItem(addedPartner);
      if (!sync) added->Desynchronize();
    }
  }

  updatesOff.Restore();
  noDrawing.Restore();
  UpdateLayerFx3d();
  if (partnerRow) partnerRow->UpdateLayerFx3d();
  return added != nullptr;
}

// ---------------------------------------------------------------------------------
// Partners

void TLayerRow::AlignSynchronizeItem(TLayerItem* B1, TLayerItem* B2) {
  if (!B1 || !B2 || !B1->Parent() || !B2->Parent()) return;
  int start = std::min(B1->FirstFrame(), B2->FirstFrame());
  if (B1->PrevItem()) start = std::max(start, B1->PrevItem()->LastFrame());
  if (B2->PrevItem()) start = std::max(start, B2->PrevItem()->LastFrame());
  int end = std::max(B1->LastFrame(), B2->LastFrame());
  if (B1->NextItem()) end = std::min(end, B1->NextItem()->FirstFrame());
  if (B2->NextItem()) end = std::min(end, B2->NextItem()->FirstFrame());
  if (B1->HasMaxDuration() && end - start > B1->MaxDuration()) end = start + B1->MaxDuration();
  if (start >= end) {
    TraceF("[TLayerRow.AlignSynchronizeItem] Failed! LF >= FF. (%d >= %d)", end, start);
    return;
  }
  TLayerRow* r1 = B1->Parent();
  TLayerRow* r2 = B2->Parent();
  TScopedValue<bool> updatesOff1(r1->FUpdateFx3dEnabled, false);
  TScopedValue<bool> updatesOff2(r2->FUpdateFx3dEnabled, false);
  for (TLayerItem* b : {B1, B2}) {
    b->SetFirstFrame(start);
    b->SetDuration(end - start);
  }
  r1->SortItems();
  r1->CorrectOverlaps(nullptr);
  if (r2 != r1) {
    r2->SortItems();
    r2->CorrectOverlaps(nullptr);
  }
  updatesOff2.Restore();
  updatesOff1.Restore();
  Fire(OnModified);
  r1->UpdateLayerFx3d();
  if (r2 != r1) r2->UpdateLayerFx3d();
}

// ---------------------------------------------------------------------------------
// Deleting and moving blocks between rows

void TLayerRow::DeleteItem(TLayerItem* Item) {
  if (!Item) return;
  int i = IndexOf(Item);
  if (i < 0) {
    ShowMessage("[502] Niepowodzenie usunięcia elementu LayerItem.", TMsgKind::Error);
    if (Item->FPrevItem && Item->FPrevItem->FNextItem == Item) Item->FPrevItem->FNextItem = Item->FNextItem;
    if (Item->FNextItem && Item->FNextItem->FPrevItem == Item) Item->FNextItem->FPrevItem = Item->FPrevItem;
    return;
  }
  std::unique_ptr<TLayerItem> owned = TakeAt(static_cast<size_t>(i));
  owned.reset();
  Fire(OnModified);
  UpdateLayerFx3d();
}

void TLayerRow::DeleteWhere(const std::function<bool(const TLayerItem*)>& Doomed) {
  bool any = false;
  for (auto& i : FItems)
    if (Doomed(i.get())) {
      any = true;
      break;
    }
  if (!any) return;
  std::vector<std::unique_ptr<TLayerItem>> keep, gone;
  keep.reserve(FItems.size());
  for (auto& i : FItems) (Doomed(i.get()) ? gone : keep).push_back(std::move(i));
  FItems = std::move(keep);
  RelinkAll();
  for (auto& g : gone) {
    g->FPrevItem = g->FNextItem = nullptr;
    if (FGesture.Item == g.get() || FGesture.PointItem == g.get()) FGesture = TGesture{};
  }
  // from the last to the first, each deletion reported
  while (!gone.empty()) {
    gone.back().reset();
    gone.pop_back();
    Fire(OnModified);
    UpdateLayerFx3d();
  }
}

void TLayerRow::DeleteSelected() {
  DeleteWhere([](const TLayerItem* i) { return i->Selected(); });
}

void TLayerRow::ClearItems() {
  DeleteWhere([](const TLayerItem*) { return true; });
}

std::unique_ptr<TLayerItem> TLayerRow::DetachItem(TLayerItem* Item) {
  int i = IndexOf(Item);
  if (i < 0) {
    ShowMessage("[513] Niepowodzenie usunięcia elementu z listy.", TMsgKind::Error);
    if (Item) {
      if (Item->FPrevItem && Item->FPrevItem->FNextItem == Item) Item->FPrevItem->FNextItem = Item->FNextItem;
      if (Item->FNextItem && Item->FNextItem->FPrevItem == Item) Item->FNextItem->FPrevItem = Item->FPrevItem;
    }
    return nullptr;
  }
  std::unique_ptr<TLayerItem> owned = TakeAt(static_cast<size_t>(i));
  owned->FParent = nullptr;
  Fire(OnModified);
  return owned;
}

TLayerItem* TLayerRow::AttachItem(std::unique_ptr<TLayerItem> Owned) {
  if (!Owned) return nullptr;
  TLayerItem* item = Owned.get();
  SortItems();
  size_t pos = LowerBound(item->FFirstFrame);
  HookItem(item);
  FItems.insert(FItems.begin() + static_cast<std::ptrdiff_t>(pos), std::move(Owned));
  RelinkAround(pos);
  item->UpdateRect();
  if ((FLayerType == ltAudio || FLayerType == ltImage) && !item->LevelBoxIfAny()) item->LevelBox();
  if (item->Selected()) Fire(OnSelectedItems);
  Fire(OnModified);
  return item;
}

void TLayerRow::DeselectAll() {
  for (auto& i : FItems) i->SetSelected(false);
}

// ---------------------------------------------------------------------------------
// Colour, keying and sequence blocks

TLayerItem* TLayerRow::InsertUniformColor(int X, TUniformColor Kind, TColor Value) {
  if (!TakesPictures(FLayerType) || Kind == ucNone || !ValidEnum(Kind)) return nullptr;
  TLayerItem* item = InsertLayerItem(FrameAtX(X), false, true, true, -1, nullptr, StepValue());
  RecolorItem(item, Kind, Value);
  return item;
}

void TLayerRow::RecolorItem(TLayerItem* Item, TUniformColor Kind, TColor Value) {
  if (!Item || !ValidEnum(Kind) || Kind == ucNone) return;
  if (Kind == ucBlue) Value = UniformColorBlue;
  if (Kind == ucMagenta) Value = UniformColorMagenta;
  Item->SetMediaType(ltImage);
  Item->SetUniformColor(Kind);
  Item->SetUniformColorValue(Value);
}

TLayerRow::TColorMenuState TLayerRow::ColorMenuState(int X, int Y) const {
  TColorMenuState s;
  s.Visible = TakesPictures(FLayerType);
  if (!s.Visible) return s;
  s.Item = ItemAtPoint(X, Y);
  bool colourOrEmpty = !s.Item || s.Item->UniformColor() != ucNone;
  s.BlueChecked = s.Item && s.Item->UniformColor() == ucBlue;
  s.MagentaChecked = s.Item && s.Item->UniformColor() == ucMagenta;
  s.BlueEnabled = !s.BlueChecked && colourOrEmpty;
  s.MagentaEnabled = !s.MagentaChecked && colourOrEmpty;
  s.DeleteVisible = s.Item && s.Item->UniformColor() != ucNone;
  return s;
}

TLayerItem* TLayerRow::ApplyUniformColor(int X, int Y, TUniformColor Kind, TColor Value) {
  if (!TakesPictures(FLayerType)) return nullptr;
  TLayerItem* item = ItemAtPoint(X, Y);
  if (item) {
    if (item->UniformColor() == ucNone) return nullptr;  // a media block is not recoloured
    RecolorItem(item, Kind, Value);
    return item;
  }
  return InsertUniformColor(X, Kind, Value);
}

TLayerItem* TLayerRow::SetKeyItem(int X, int Y, TColor ColorKey, TComposeMode Mode, int32_t YUVHi, int32_t YUVLo) {
  if (FLayerType != ltKey) return nullptr;
  TLayerItem* item = ItemAtPoint(X, Y);
  if (!item) item = InsertLayerItem(FrameAtX(X), false, false, false, -1, nullptr, StepValue());
  item->SetColorKey(ColorKey);
  item->SetComposeMode(Mode);
  item->SetYUVHi(YUVHi);
  item->SetYUVLo(YUVLo);
  return item;
}

TLayerItem* TLayerRow::SetSequenceShortcut(int X, int Y, int32_t Code) {
  if (FLayerType != ltSequence) return nullptr;
  TLayerItem* item = ItemAtPoint(X, Y);
  if (!item) item = InsertLayerItem(FrameAtX(X), false, false, false, Code, nullptr, StepValue());
  item->SetFx3dID(Code);
  return item;
}

std::vector<std::string> TLayerRow::UsedShortcutTexts(const TLayerItem* Except) const {
  std::vector<std::string> texts;
  for (auto& i : FItems) {
    if (i.get() == Except) continue;
    std::string t = ShortCutToText(static_cast<uint32_t>(i->Fx3dID()) & 0xFFFF);
    if (!t.empty()) texts.push_back(t);
  }
  return texts;
}

}  // namespace movara
