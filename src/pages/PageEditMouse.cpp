// Mouse and key editing of a page. The window converts its pointer positions with
// ViewToPage and forwards them here; the page decides selection, dragging and the
// rubber band, and tells the window what to repaint and which pointer to show.
#include <algorithm>
#include <climits>
#include <cmath>

#include "base/Rounding.h"
#include "pages/PageEditBox.h"

namespace movara {
namespace {

bool Contains(const TRect& r, TPagePoint p) {
  return p.X >= r.Left && p.X < r.Right && p.Y >= r.Top && p.Y < r.Bottom;
}

bool Inside(const TRect& inner, const TRect& outer) {
  return inner.Left >= outer.Left && inner.Right <= outer.Right && inner.Top >= outer.Top &&
         inner.Bottom <= outer.Bottom;
}

// The rectangle spanned by two corners, grown to whole pixels.
TRect BandRect(TPagePoint a, TPagePoint b) {
  const auto lo = [](double u, double v) { return static_cast<int>(std::floor(std::clamp(std::min(u, v), -1e9, 1e9))); };
  const auto hi = [](double u, double v) { return static_cast<int>(std::ceil(std::clamp(std::max(u, v), -1e9, 1e9))); };
  return Rect(lo(a.X, b.X), lo(a.Y, b.Y), hi(a.X, b.X), hi(a.Y, b.Y));
}

int ShiftInt(int v, int64_t d) { return static_cast<int>(std::clamp<int64_t>(v + d, INT_MIN, INT_MAX)); }

}  // namespace

TFontItem* TPageEditBox::ItemAt(TPagePoint point) const {
  for (auto i = items_.rbegin(); i != items_.rend(); ++i)
    if (Contains((*i)->Bounds, point)) return i->get();
  return nullptr;
}

TRect TPageEditBox::RubberBand() const {
  return drag_.banding ? BandRect(drag_.start, drag_.current) : TRect();
}

void TPageEditBox::MouseDown(TMouseButton button, TPagePoint point, TShiftState shift) {
  if (drag_.pressed) {
    // A second button during a gesture only counts as involved.
    drag_.buttons |= 1u << button;
    return;
  }
  if (button != mbLeft) return;
  UpdateBounds();
  drag_ = TDragState();
  drag_.pressed = true;
  drag_.buttons = 1u << mbLeft;
  drag_.start = drag_.current = point;
  TFontItem* hit = ItemAt(point);
  drag_.item = hit;
  drag_.onItem = hit != nullptr;
  const bool withShift = shift & ssShift, withCtrl = shift & ssCtrl;
  if (hit) {
    if (withShift) {
      hit->Selected = true;
    } else if (withCtrl) {
      hit->Selected = !hit->Selected;
    } else if (hit->Selected) {
      drag_.clickedSelected = true;  // may start editing on release
    } else {
      SelectOnly(hit);
    }
    cursor_ = pcSizeAll;
    Invalidate();
    if (OnClickFontItem) OnClickFontItem(*this, hit);
  } else if (!withShift && !withCtrl) {
    DeselectAll();
  }
}

void TPageEditBox::StartDrag() {
  drag_.origins.clear();
  for (TFontItem* it : SelectedItems()) drag_.origins.push_back({it, {it->PosX, it->PosY}});
  drag_.dragging = true;
}

void TPageEditBox::DragTo(TPagePoint point) {
  drag_.current = point;
  // Positions follow the whole pointer movement since the press, so no rounding
  // accumulates over many small moves.
  const int64_t dx = RoundHalfEven(std::clamp(point.X - drag_.start.X, -1e10, 1e10));
  const int64_t dy = RoundHalfEven(std::clamp(point.Y - drag_.start.Y, -1e10, 1e10));
  for (auto& [it, origin] : drag_.origins) {
    if (IndexOf(it) < 0) continue;
    const int32_t nx = static_cast<int32_t>(std::clamp<int64_t>(origin.first + dx, INT32_MIN, INT32_MAX));
    const int32_t ny = static_cast<int32_t>(std::clamp<int64_t>(origin.second + dy, INT32_MIN, INT32_MAX));
    const int64_t mx = int64_t(nx) - it->PosX, my = int64_t(ny) - it->PosY;
    it->PosX = nx;
    it->PosY = ny;
    it->Bounds = Rect(ShiftInt(it->Bounds.Left, mx), ShiftInt(it->Bounds.Top, my),
                      ShiftInt(it->Bounds.Right, mx), ShiftInt(it->Bounds.Bottom, my));
  }
  Invalidate();
}

void TPageEditBox::MouseMove(TPagePoint point, TShiftState shift) {
  if (!drag_.pressed) {
    cursor_ = ItemAt(point) ? pcCross : pcDefault;
    return;
  }
  if (drag_.dragging) {
    DragTo(point);
    return;
  }
  if (drag_.banding) {
    drag_.current = point;
    Invalidate();
    return;
  }
  // Five view pixels before anything moves.
  const double threshold = 500.0 / scale_;
  const bool far = std::abs(point.X - drag_.start.X) > threshold ||
                   std::abs(point.Y - drag_.start.Y) > threshold;
  if (!far) return;
  if (!drag_.onItem) {
    drag_.banding = true;
    drag_.current = point;
    Invalidate();
  } else if (!(shift & (ssShift | ssCtrl))) {
    StartDrag();
    DragTo(point);
  }
}

void TPageEditBox::FinishBand(TPagePoint a, TPagePoint b, TShiftState shift) {
  const TRect band = BandRect(a, b);
  for (auto& it : items_) {
    if (!Inside(it->Bounds, band)) continue;
    it->Selected = (shift & ssCtrl) ? !it->Selected : true;
  }
  Invalidate();
}

void TPageEditBox::MouseUp(TMouseButton button, TPagePoint point, TShiftState shift) {
  if (!drag_.pressed) return;
  if (button != mbLeft && button != mbRight) return;
  TDragState gesture = std::move(drag_);
  drag_ = TDragState();
  gesture.current = point;
  cursor_ = ItemAt(point) ? pcCross : pcDefault;
  if (gesture.dragging) {
    MarkModified();
    Invalidate();
    return;
  }
  if (gesture.banding) {
    FinishBand(gesture.start, point, shift);
    return;
  }
  if (gesture.clickedSelected && IndexOf(gesture.item) >= 0) {
    SelectOnly(gesture.item);
    if (gesture.buttons == (1u << mbLeft) && button == mbLeft && OnEnterEditMode)
      OnEnterEditMode(*this, TextIndexAt(*gesture.item, point));
  }
}

bool TPageEditBox::KeyDown(TPageKey key, TShiftState shift) {
  if (shift & (ssShift | ssCtrl | ssAlt)) return false;
  switch (key) {
    case pkDelete:
      DeleteSelected();
      return true;
    case pkF2:
      if (SelectedCount() == 1) {
        textEditing_ = !textEditing_;
        Invalidate();
      }
      return true;
    default:
      return false;
  }
}

}  // namespace movara
