// TLayerRow: mouse gestures (select, move, resize, envelope points, the razor) and drops.
#include <algorithm>
#include <cstdlib>
#include <exception>

#include "base/Rounding.h"
#include "base/Trace.h"
#include "project/ClipGraphic.h"
#include "project/Layers.h"

namespace movara {

namespace {

constexpr int MoveThreshold = 10;  // pixels sideways before a press becomes a move

bool TakesPictures(TLayerType t) { return t == ltBmpAvi || t == ltImage; }

}  // namespace

void TLayerRow::SelectRun(TLayerItem* Clicked) {
  int c = IndexOf(Clicked);
  int firstSel = -1, lastSel = -1;
  for (int k = 0; k < ItemCount(); ++k) {
    if (FItems[static_cast<size_t>(k)]->Selected()) {
      if (firstSel < 0) firstSel = k;
      lastSel = k;
    }
  }
  if (c < 0 || firstSel < 0) return;
  int other = std::abs(c - firstSel) >= std::abs(c - lastSel) ? firstSel : lastSel;
  int lo = std::min(c, other), hi = std::max(c, other);
  for (int k = lo; k <= hi; ++k) FItems[static_cast<size_t>(k)]->SetSelected(true);
}

void TLayerRow::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbRight) {
    EndGesture();
    return;
  }
  if (Button != mbLeft) return;

  if (FBox && FBox->Tool() == ttRazor) {
    // the razor is dropped here: one cut, then the pointer again
    FBox->SetTool(ttPointer);
    TDragSource razor = TDragSource::Razor();
    if (DragOver(razor, X, Y)) DragDrop(razor, X, Y);
    return;
  }

  int px = TimeLinePixel(X);
  FGesture = TGesture{};
  FGesture.DownX = X;
  FGesture.DownY = Y;
  FGesture.DownShift = Shift;

  // envelope points come first where envelopes are shown
  if (FLevelBoxVisible && (FLayerType == ltAudio || FLayerType == ltImage)) {
    TLayerItem* owner = nullptr;
    TLevelItem* point = LevelPointAtPoint(X, Y, &owner);
    if (!point) {
      owner = ItemAtPoint(X, Y);
      if (owner && owner->LevelBoxIfAny()) point = owner->LevelBoxIfAny()->PointOnLine(px - owner->Left(), Y);
    }
    if (point && owner) {
      FGesture.ButtonDown = true;
      FGesture.Point = point;
      FGesture.PointItem = owner;
      Fire(OnModified);
      return;
    }
  }

  TLayerItem* item = ItemAtPoint(X, Y);
  if (!item) {
    if (FBox)
      FBox->DeselectAll();
    else
      DeselectAll();
    return;
  }

  // selection (range blocks are never selected by clicking)
  if (FLayerType != ltRange) {
    if (Shift & ssCtrl) {
      if (FBox)
        if (TLayerRow* range = FBox->RowByNumber(lnRange)) range->DeselectAll();
      item->SetSelected(!item->Selected());
    } else if ((Shift & ssShift) && SelectedCount() > 0) {
      SelectRun(item);
    } else if (!item->Selected()) {
      if (FBox) {
        for (int r = 0; r < FBox->RowCount(); ++r)
          if (FBox->Rows(r)->LayerType() != ltRange) FBox->Rows(r)->DeselectAll();
      } else {
        DeselectAll();
      }
      item->SetSelected(true);
    }
  }

  FGesture.ButtonDown = true;
  FGesture.Item = item;
  FGesture.Edge = EdgeAt(item, px);
  FGesture.GrabOffset = px - item->Left();
}

void TLayerRow::LevelDrag(TShiftState, int X, int Y) {
  TLayerItem* item = FGesture.PointItem;
  TLevelItem* point = FGesture.Point;
  TLevelBox* lb = item ? item->LevelBoxIfAny() : nullptr;
  if (!lb || lb->IndexOf(point) < 0) return;
  int band = lb->BottomPixel() - lb->TopPixel() + 1;
  if (band <= 0) return;
  int level = RoundInt(static_cast<long double>(Height() - Y - 6) * 101 / band);
  if (level >= -19 && level <= -1) level = 0;
  if (level >= 101 && level <= 119) level = 100;
  bool changed = false;
  if (level != point->Level) {
    point->Level = level;
    changed = true;
  }
  if (!(FGesture.DownShift & ssShift)) {
    int frame = PixelToFrame(FZoom, FIconSize, TimeLinePixel(X) - item->Left());
    if (lb->DragPoint(point, frame)) changed = true;
  }
  lb->UpdateMarks();
  if (changed) Fire(OnModified);
}

void TLayerRow::MouseMove(TShiftState Shift, int X, int Y) {
  if (!FGesture.ButtonDown) {
    TLayerItem* item = ItemAtPoint(X, Y);
    FHoverEdge = item ? EdgeAt(item, TimeLinePixel(X)) : ieNone;
    return;
  }
  if (FGesture.Point) {
    LevelDrag(Shift, X, Y);
    return;
  }
  TLayerItem* item = FGesture.Item;
  if (!item) return;
  if (FGesture.Edge != ieNone) {
    ResizeItem(X, item, FGesture.Edge);
    return;
  }
  if (!FGesture.Moving) {
    if (std::abs(X - FGesture.DownX) <= MoveThreshold && Y >= 0 && Y < Height()) return;
    FGesture.Moving = true;
    Fire(OnStartMoving);
  }
  TGesture state = FGesture;
  bool moved = MoveItem(X, Y, state.GrabOffset, item);
  // the gesture may have passed to another row with the block
  TLayerRow* owner = item->Parent();
  if (moved && owner) owner->FGesture.Moved = true;
}

void TLayerRow::MouseUp(TMouseButton Button, TShiftState, int, int) {
  if (Button != mbLeft || !FGesture.ButtonDown) return;
  TLayerItem* item = FGesture.Item;
  if (item && !FGesture.Point && !FGesture.Moved && !FGesture.Resized && FLayerType != ltRange &&
      !(FGesture.DownShift & (ssShift | ssCtrl))) {
    // a plain click on a selected block leaves it alone selected
    if (FBox)
      FBox->DeselectAll();
    else
      DeselectAll();
    item->SetSelected(true);
  }
  EndGesture();
}

void TLayerRow::EndGesture() {
  if (!FGesture.ButtonDown) return;
  TGesture g = FGesture;
  FGesture = TGesture{};
  if (g.Point && g.PointItem) {
    if (TLevelBox* lb = g.PointItem->LevelBoxIfAny()) {
      lb->UpdateMarks();
      if (lb->RemoveMarkedPoints() > 0) Fire(OnModified);
    }
  }
  if (g.Moving) Fire(OnEndMoving);
  if (FBox) FBox->UpdateLayerFx3d();
  Fire(OnChangeByUser);
  if (g.Resized) Fire(OnEndResizing);
}

// ---------------------------------------------------------------------------------
// Drag and drop

bool TLayerRow::DragOver(const TDragSource& Source, int X, int Y) {
  TLayerItem* under = ItemAtPoint(X, Y);
  if (Source.Kind == TDragSource::dkRazor)
    return under && (FLayerType == ltBmpAvi || FLayerType == ltAudio || FLayerType == ltImage);
  if (under) return false;
  switch (Source.Kind) {
    case TDragSource::dkClip: {
      if (!Source.Clip) return false;
      TClipType ct = Source.Clip->ClipType();
      if (TakesPictures(FLayerType)) return ct == ctStillImage || ct == ctAnimation || ct == ctMovie;
      if (FLayerType == ltAudio) return ct == ctAudio || ct == ctMovie;
      return false;
    }
    case TDragSource::dkClipPart: {
      if (!Source.Part || !Source.Part->ClipGraphic) return false;
      TClipType ct = Source.Part->ClipType;
      if (TakesPictures(FLayerType)) return ct == ctAnimation || ct == ctMovie;
      if (FLayerType == ltAudio) return ct == ctAudio || ct == ctMovie;
      return false;
    }
    case TDragSource::dkLayerBox:
      return FBox && Source.Box == FBox && FBox->CanPasteAt(FrameAtX(X), this);
    case TDragSource::dkLayerItem:
      return Source.Item && Source.Item->Parent() && Source.Item->Parent()->LayerType() == FLayerType;
    default:
      return false;
  }
}

bool TLayerRow::DragDrop(const TDragSource& Source, int X, int Y) {
  if (!DragOver(Source, X, Y)) return false;
  switch (Source.Kind) {
    case TDragSource::dkRazor:
      return DoSplitItem(X, Y);
    case TDragSource::dkLayerBox:
      FBox->PasteItems(this);
      return true;
    case TDragSource::dkClip:
    case TDragSource::dkClipPart:
      break;
    default:
      return false;  // blocks move by the mouse gesture, not by a drop
  }

  TBoxStateItemScope noDrawing(FBox ? &FBox->FBoxState : nullptr, bsNoDrawing);
  try {
    TClipGraphic* clip;
    TClipType ct;
    bool whole;
    int length = 0;
    int offset = 0;
    if (Source.Kind == TDragSource::dkClipPart) {
      clip = Source.Part->ClipGraphic;
      ct = Source.Part->ClipType;
      whole = Source.Part->WholeClip();
      if (!whole) {
        length = static_cast<int>(std::clamp<int64_t>(MillisecondsToFrames(Source.Part->Length, DefaultTimeBase), 0,
                                                       MaxTimeLineFrames));
        offset = static_cast<int>(std::clamp<int64_t>(MillisecondsToFrames(Source.Part->Offset, DefaultTimeBase), 0,
                                                       MaxTimeLineFrames));
      }
    } else {
      clip = Source.Clip;
      ct = clip->ClipType();
      whole = true;
    }
    if (whole) length = clip->HasMaxDuration() && clip->MaxDuration() >= 1 ? clip->MaxDuration() : StepValue();
    int frame = FrameAtX(X);
    TLayerItem* item = InsertLayerItem(frame, whole, true, true, -1, clip, length);
    if (!whole) item->SetOffsetFrame(offset);
    if (ct == ctMovie && FBox) {
      if (TLayerRow* sound = FBox->AudioRowOf(this)) {
        TLayerItem* part = sound->InsertLayerItem(frame, whole, true, true, -1, clip, length);
        if (!whole) part->SetOffsetFrame(offset);
        item->SetLinkSynchronizeItem(part);
      }
    }
    noDrawing.Restore();
    return true;
  } catch (const std::exception&) {
    TraceF("[TLayerRow.DragDrop] Exception. X = %d, Y = %d", X, Y);
    noDrawing.Restore();
    return false;
  }
}

}  // namespace movara
