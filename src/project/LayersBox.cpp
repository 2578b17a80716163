// TLayerBox: the nine rows, the view (zoom, icon size, first frame, scroll bar), the
// counts and ranges, the mouse and the keys of the time line.
#include <algorithm>
#include <climits>

#include "base/ScopeGuard.h"
#include "base/UserMessages.h"
#include "project/ClipGraphic.h"
#include "project/Layers.h"

namespace movara {

namespace {

struct TRowSpec {
  TLayerType Type;
  TLayerNumber Number;
  TColor Marked;
};

// Creation (enumeration) order of the rows.
constexpr TRowSpec RowSpecs[] = {
    {ltRange, lnRange, 0xF1B165},           {ltSequence, lnSequence, 0xF9C17F},
    {ltImage, lnImage, 0xC2E6F4},           {ltBmpAvi, lnFirstClipTop, 0xC2E6F4},
    {ltBmpAvi, lnFirstClipBottom, 0xC2E6F4}, {ltFx3d, lnFirstFx3d, 0xD7C683},
    {ltAudio, lnAudioFirst, 0xC0D4F6},      {ltAudio, lnAudioSecond, 0xC0D4F6},
    {ltAudio, lnAudioThird, 0xC0D4F6},
};

// Vertical (and link-identifier) order: by layer number.
constexpr TLayerNumber ScreenOrder[] = {lnRange,           lnSequence,   lnImage,       lnFirstClipTop, lnFirstFx3d,
                                        lnFirstClipBottom, lnAudioFirst, lnAudioSecond, lnAudioThird};

}  // namespace

TLayerBox::TLayerBox() {
  FBoxState = TBoxState{bsCreating};
  for (const TRowSpec& s : RowSpecs) {
    auto row = std::make_unique<TLayerRow>(this, s.Type, s.Number);
    row->SetColorMarked(s.Marked);
    row->SetStyle(lsRaised);
    row->SetIconSize(FIconSize);
    row->SetZoom(FZoom);
    row->SetWidth(FClientWidth);
    TLayerRow* r = row.get();
    r->OnModified = [this](TLayerRow* x) { RowModified(x); };
    r->OnModifyClipboarded = [this](TLayerRow*) { ClearClipboardMarks(); };
    r->OnSelectedItems = [this](TLayerRow* x) { RowSelected(x); };
    r->OnInsertItem = [this](TLayerRow* x, TLayerItem*) { RowInserted(x); };
    r->OnStartMoving = [this](TLayerRow* x) { RowStartMoving(x); };
    r->OnEndMoving = [this](TLayerRow* x) { RowEndMoving(x); };
    r->OnStartResizing = [this](TLayerRow*) {
      FResizeActive = true;
      if (OnStartResizing) OnStartResizing(this);
    };
    r->OnResizing = [this](TLayerRow*, int X) {
      FResizeActive = true;
      FResizeX = X;
      Repaint(nullptr);
      if (OnResizing) OnResizing(this, X);
    };
    r->OnEndResizing = [this](TLayerRow*) {
      FResizeActive = false;
      FResizeX = -1;
      Repaint(nullptr);
      if (OnEndResizing) OnEndResizing(this);
    };
    FRows.push_back(std::move(row));
  }
  TLayerRow* prev = nullptr;
  for (TLayerNumber n : ScreenOrder) {
    TLayerRow* r = RowByNumber(n);
    r->SetPrevRow(prev);
    if (prev) prev->SetNextRow(r);
    prev = r;
  }
  // the scale between the sequence row and the image row, its frame in two shades
  FScale.SetFrameTopColor(LightenColor(clBtnFace, 50));
  FScale.SetFrameBottomColor(DarkenColor(clBtnFace, 50));
  FScale.SetWidth(FClientWidth);
  FScale.OnShowSlider = [this](TScaleGraphic*) {
    DeselectAll();
    if (OnShowSlider) OnShowSlider(this);
  };
  FScale.OnMoveSlider = [this](TScaleGraphic*) {
    Repaint(nullptr);
    if (OnMoveSlider) OnMoveSlider(this);
  };
  FScale.OnHideSlider = [this](TScaleGraphic*) {
    if (OnHideSlider) OnHideSlider(this);
    Repaint(nullptr);
  };
  FScale.OnMoveOutside = [this](TScaleGraphic*) { ScrollToSlider(); };
  FScale.OnRepaint = [this](TScaleGraphic*) { Repaint(nullptr); };
  ArrangeRows();
  EnsureRangeItem();
  FBoxState = TBoxState{};
  UpdateScrollBar();
  FModified = false;
}

TLayerBox::~TLayerBox() {
  // rows go with their blocks; nothing reports back while they do
  FBoxState.Include(bsDeletingItems);
  FCaptureRow = nullptr;
  for (auto& r : FRows) {
    r->OnModified = nullptr;
    r->OnModifyClipboarded = nullptr;
    r->OnSelectedItems = nullptr;
    r->OnInsertItem = nullptr;
    r->OnStartMoving = nullptr;
    r->OnEndMoving = nullptr;
    r->OnStartResizing = nullptr;
    r->OnResizing = nullptr;
    r->OnEndResizing = nullptr;
  }
  FScale.OnShowSlider = nullptr;
  FScale.OnMoveSlider = nullptr;
  FScale.OnHideSlider = nullptr;
  FScale.OnMoveOutside = nullptr;
  FScale.OnRepaint = nullptr;
  OnRepaint = nullptr;
  // Partners across rows unlink themselves as each block goes.
  while (!FRows.empty()) FRows.pop_back();
}

// ---------------------------------------------------------------------------------
// Rows

TLayerRow* TLayerBox::RowByNumber(TLayerNumber Number) const {
  for (auto& r : FRows)
    if (r->LayerNumber() == Number && Number != lnNone) return r.get();
  return nullptr;
}

TLayerRow* TLayerBox::Rows(int Index) const {
  if (Index < 0 || Index >= RowCount()) return nullptr;
  return FRows[static_cast<size_t>(Index)].get();
}

TLayerRow* TLayerBox::RowOfTypes(TLayerTypes Types, int N) const {
  for (auto& r : FRows) {
    if (!InLayerTypes(r->LayerType(), Types)) continue;
    if (N == 0) return r.get();
    --N;
  }
  return nullptr;
}

int TLayerBox::CountRowsOfTypes(TLayerTypes Types) const {
  int n = 0;
  for (auto& r : FRows) n += InLayerTypes(r->LayerType(), Types) ? 1 : 0;
  return n;
}

TLayerRow* TLayerBox::AudioRowOf(const TLayerRow* Row) const {
  if (!Row) return nullptr;
  switch (Row->LayerNumber()) {
    case lnImage: return RowByNumber(lnAudioFirst);
    case lnFirstClipTop: return RowByNumber(lnAudioSecond);
    case lnFirstClipBottom: return RowByNumber(lnAudioThird);
    default: return nullptr;
  }
}

TLayerRow* TLayerBox::PictureRowOf(const TLayerRow* Row) const {
  if (!Row) return nullptr;
  switch (Row->LayerNumber()) {
    case lnAudioFirst: return RowByNumber(lnImage);
    case lnAudioSecond: return RowByNumber(lnFirstClipTop);
    case lnAudioThird: return RowByNumber(lnFirstClipBottom);
    default: return nullptr;
  }
}

void TLayerBox::ArrangeRows() {
  int y = 0;
  for (TLayerNumber n : ScreenOrder) {
    TLayerRow* r = RowByNumber(n);
    if (!r) continue;
    r->SetTop(y);
    if (r->Visible()) y += r->Height();
    if (n == lnSequence) {
      FScaleTop = y;
      y += ScaleHeight();
    }
  }
  Repaint(nullptr);
}

int TLayerBox::TotalHeight() const {
  TLayerRow* last = RowByNumber(lnAudioThird);
  return last ? last->Top() + (last->Visible() ? last->Height() : 0) : 0;
}

TLayerRow* TLayerBox::RowAtPoint(int Y) const {
  for (TLayerNumber n : ScreenOrder) {
    TLayerRow* r = RowByNumber(n);
    if (r && r->Visible() && Y >= r->Top() && Y < r->Top() + r->Height()) return r;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------------
// View

void TLayerBox::SetIconSize(TIconSize Value) {
  if (!ValidEnum(Value)) return;
  FIconSize = Value;
  for (auto& r : FRows) r->SetIconSize(Value);
  FScale.SetIconSize(Value);
  ArrangeRows();
  UpdateScrollBar();
  SetModified(true);
}

int TLayerBox::VisibleFrames() const { return PixelToFrame(FZoom, FIconSize, FClientWidth); }

void TLayerBox::SetZoom(TZoom Value) {
  if (!ValidEnum(Value)) return;
  int middle = FFirstFrame + VisibleFrames() / 2;
  middle = std::min(middle, ProjectEndFrame());
  FZoom = Value;
  for (auto& r : FRows) r->SetZoom(Value);
  FScale.SetZoom(Value);
  SetFirstFrame(std::max(0, middle - VisibleFrames() / 2));
  UpdateScrollBar();
  SetModified(true);
}

void TLayerBox::SetFirstFrame(int Value) {
  Value = std::clamp(Value, 0, MaxTimeLineFrames);
  // the scale moves first and rounds to a thumbnail boundary; the rows follow it
  TScopedValue<bool> scrolling(FScrolling, true);
  {
    TBoxStateItemScope noDrawing(&FBoxState, bsNoDrawing);
    FScale.MoveFirstFrame(Value);
    Value = FScale.FirstFrame();
    FFirstFrame = Value;
    for (auto& r : FRows) r->SetFirstFrame(Value);
  }
  FScrollBar.Position = Value;
  SetModified(true);
  scrolling.Restore();
  Repaint(nullptr);
}

void TLayerBox::ScrollToSlider() {
  int s = FScale.SliderFrame();
  if (s < FFirstFrame)
    SetFirstFrame(s);
  else if (s > LastFrame() && s < ProjectEndFrame())
    SetFirstFrame(s + FramesPerThumb(FZoom, FIconSize) - VisibleFrames());
}

void TLayerBox::SetClientWidth(int Pixels) {
  FClientWidth = std::max(0, Pixels);
  for (auto& r : FRows) r->SetWidth(FClientWidth);
  FScale.SetWidth(FClientWidth);
  UpdateScrollBar();
  Repaint(nullptr);
}

bool TLayerBox::DrawingSuspended() const {
  return FBoxState.Contains(bsLoadingItems) || FBoxState.Contains(bsDeletingItems) ||
         FBoxState.Contains(bsNoDrawing);
}

void TLayerBox::SetBoxState(TBoxState Value) {
  bool was = DrawingSuspended();
  FBoxState = Value;
  if (was && !DrawingSuspended()) Repaint(nullptr);
}

void TLayerBox::TStateScope::Restore() noexcept {
  if (!FOwned) return;
  FOwned = false;
  try {
    FBox->ExcludeState(FItem);
  } catch (...) {
    // a repaint that fails must not keep the box from drawing again
    FBox->FBoxState.Exclude(FItem);
  }
}

void TLayerBox::ExcludeState(TBoxStateItem i) {
  bool was = DrawingSuspended();
  FBoxState.Exclude(i);
  if (was && !DrawingSuspended()) Repaint(nullptr);
}

void TLayerBox::Repaint(TLayerRow* Row) {
  if (OnRepaint && !DrawingSuspended()) OnRepaint(this, Row);
}

TLayerBox::TPositionLine TLayerBox::PositionLine() const {
  TPositionLine line;
  const TLayerRow* last = RowByNumber(lnAudioThird);
  line.Bottom = last ? last->Top() + (last->Visible() ? last->Height() : 0) : 0;
  if (FResizeX >= 0) {
    const TLayerRow* range = RowByNumber(lnRange);
    line.X = FResizeX;
    line.Top = (range ? range->Top() : 0) + 2;
  } else if (FScale.ShowSlider()) {
    line.X = FScale.SliderPosition();
    line.Top = FScaleTop + ScaleHeight();
  } else {
    return line;
  }
  line.Visible = line.X >= 0 && line.X < FClientWidth && line.Bottom > line.Top;
  return line;
}

void TLayerBox::SetFirstLayerDoKey(bool Value) {
  if (Value == FFirstLayerDoKey) return;
  FFirstLayerDoKey = Value;
  SetModified(true);
}

void TLayerBox::SetModified(bool Value) {
  if (Value && ProjectItemCount() == 0) Value = false;
  // the view moving does not change the film: the script stays valid while the box
  // scrolls or the slider is dragged
  bool slider = FScale.ShowSlider();
  if (Value && !slider && !FScrolling && OnAnyModified) OnAnyModified(this);
  FModified = Value;
  if (!slider && OnModified) OnModified(this);
}

void TLayerBox::UpdateScrollBar() {
  int end = ProjectEndFrame();
  int visible = VisibleFrames();
  int step = ZoomStep[FZoom][FIconSize].Step;
  FScrollBar.LargeChange = step;
  FScrollBar.SmallChange = std::max(1, FramesPerThumb(FZoom, FIconSize));
  FScrollBar.Min = 0;
  if (end + end / 3 < visible) {
    FScrollBar.Visible = false;
  } else {
    FScrollBar.Visible = true;
    FScrollBar.Max = std::max(0, end - step);
  }
  FScrollBar.Position = FFirstFrame;
}

void TLayerBox::MarchingTick() {
  // the frames stand still while blocks are moved
  if (FBoxState.Contains(bsDraggingItems)) return;
  FMarchingPhase = (FMarchingPhase + 1) % 8;
  for (auto& r : FRows)
    if (r->SelectedCount() > 0) {
      r->SetMotionOffset(8 - FMarchingPhase);
      Repaint(r.get());
    }
}

// ---------------------------------------------------------------------------------
// Row events

void TLayerBox::RowModified(TLayerRow* Row) {
  Repaint(Row);
  if (Row->LayerNumber() == lnRange) return;
  SetModified(true);
  if (Row->LayerNumber() == lnSequence && OnSequence) OnSequence(this);
}

void TLayerBox::RowSelected(TLayerRow* Row) {
  FMarchingTimer = SelectedLayerItemCount() > 0;
  Repaint(Row);
  if (OnSelected) OnSelected(this);
}

void TLayerBox::RowInserted(TLayerRow* Row) {
  if (Row->LayerNumber() != lnFirstFx3d) UpdateScrollBar();
}

void TLayerBox::RowStartMoving(TLayerRow*) { FBoxState.Include(bsDraggingItems); }

void TLayerBox::RowEndMoving(TLayerRow*) {
  FBoxState.Exclude(bsDraggingItems);
  UpdateLayerFx3d();
  UpdateScrollBar();
  Repaint(nullptr);
}

// ---------------------------------------------------------------------------------
// Counts

int TLayerBox::SelectedLayerItemCount() const {
  int n = 0;
  for (auto& r : FRows) n += r->SelectedCount();
  return n;
}

int TLayerBox::ExecutableItemCount() const {
  int n = 0;
  for (TLayerNumber ln : {lnImage, lnFirstClipTop, lnFirstClipBottom}) {
    TLayerRow* r = RowByNumber(ln);
    if (r && r->Visible()) n += r->ItemCount();
  }
  return n;
}

int TLayerBox::TotalItemCount() const {
  int n = 0;
  for (auto& r : FRows) n += r->ItemCount();
  return n;
}

int TLayerBox::ProjectItemCount() const {
  int n = 0;
  for (auto& r : FRows)
    if (r->LayerNumber() != lnRange) n += r->ItemCount();
  return n;
}

TLayerItem* TLayerBox::ItemByIndex(int Index) const {
  if (Index < 0) return nullptr;
  for (TLayerNumber n : ScreenOrder) {
    TLayerRow* r = RowByNumber(n);
    if (Index < r->ItemCount()) return r->Items(Index);
    Index -= r->ItemCount();
  }
  return nullptr;
}

int TLayerBox::IndexOfItem(const TLayerItem* Item) const {
  if (!Item || !Item->Parent()) return -1;
  int base = 0;
  for (TLayerNumber n : ScreenOrder) {
    TLayerRow* r = RowByNumber(n);
    if (r == Item->Parent()) {
      int i = r->IndexOf(Item);
      return i < 0 ? -1 : base + i;
    }
    base += r->ItemCount();
  }
  return -1;
}

int TLayerBox::ProjectEndFrame(bool WithSequences) const {
  int end = 0;
  for (auto& r : FRows) {
    if (r->LayerNumber() == lnRange) continue;
    if (r->LayerNumber() == lnSequence && !WithSequences) continue;
    if (r->ItemCount() > 0) end = std::max(end, r->Items(r->ItemCount() - 1)->LastFrame());
  }
  return end;
}

TLayerItem* TLayerBox::ItemAtPoint(int X, int Y) const {
  TLayerRow* r = RowAtPoint(Y);
  return r ? r->ItemAtPoint(X, Y - r->Top()) : nullptr;
}

// ---------------------------------------------------------------------------------
// Ranges

void TLayerBox::FillRangeList(TRangeList& List, TRangeKind Kind) const {
  List.Clear();
  switch (Kind) {
    case rkRange:
      if (TLayerItem* r = RowByNumber(lnRange)->Items(0)) List.Add(r->FirstFrame(), r->Duration());
      break;
    case rkSequences: {
      TLayerRow* seq = RowByNumber(lnSequence);
      for (int i = 0; i < seq->ItemCount(); ++i) List.Add(seq->Items(i)->FirstFrame(), seq->Items(i)->Duration());
      break;
    }
    case rkAll:
      List.Add(0, ProjectEndFrame(false));
      break;
    default:
      break;
  }
}

int TLayerBox::RangeDuration(TRangeKind Kind) const {
  switch (Kind) {
    case rkRange: {
      TLayerItem* r = RowByNumber(lnRange)->Items(0);
      return r ? r->Duration() : 0;
    }
    case rkSequences: {
      TLayerRow* seq = RowByNumber(lnSequence);
      long long sum = 0;
      for (int i = 0; i < seq->ItemCount(); ++i) sum += seq->Items(i)->Duration();
      return static_cast<int>(std::min<long long>(sum, INT_MAX));
    }
    case rkAll:
      return ProjectEndFrame(false);
    default:
      return 0;
  }
}

void TLayerBox::EnsureRangeItem() {
  TLayerRow* range = RowByNumber(lnRange);
  if (range->ItemCount() == 0) range->InsertLayerItem(0, false, false, false, -1, nullptr, 50);
}

// ---------------------------------------------------------------------------------
// Selection and view of a block

void TLayerBox::DeselectAll() {
  for (auto& r : FRows) r->DeselectAll();
}

void TLayerBox::ShowItem(TLayerItem* Item) {
  if (!Item || !Item->Parent()) return;
  DeselectAll();
  Item->SetSelected(true);
  if (Item->FirstFrame() < FFirstFrame)
    SetFirstFrame(Item->FirstFrame());
  else if (Item->LastFrame() > LastFrame())
    SetFirstFrame(Item->LastFrame() + FramesPerThumb(FZoom, FIconSize) - VisibleFrames());
}

// ---------------------------------------------------------------------------------
// Mouse and keys

bool TLayerBox::OverScale(int Y) const { return Y >= FScaleTop && Y < FScaleTop + ScaleHeight(); }

void TLayerBox::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  // the scale keeps the mouse from a press on it until the button is released
  if (FScale.MouseCaptured() || (!FCaptureRow && OverScale(Y))) {
    FScale.MouseDown(Button, Shift, X, Y - FScaleTop);
    return;
  }
  if (Button == mbRight && FCaptureRow) {
    TLayerRow* r = FCaptureRow;
    FCaptureRow = nullptr;
    r->MouseDown(Button, Shift, X, Y - r->Top());
    return;
  }
  TLayerRow* row = RowAtPoint(Y);
  if (!row) {
    if (Button == mbLeft) {
      FTool = ttPointer;
      DeselectAll();
    }
    return;
  }
  row->MouseDown(Button, Shift, X, Y - row->Top());
  if (Button == mbLeft && row->GestureActive()) FCaptureRow = row;
}

void TLayerBox::MouseMove(TShiftState Shift, int X, int Y) {
  if (FScale.MouseCaptured() || (!FCaptureRow && OverScale(Y))) {
    FScale.MouseMove(Shift, X, Y - FScaleTop);
    return;
  }
  TLayerRow* row = FCaptureRow ? FCaptureRow : RowAtPoint(Y);
  if (row) row->MouseMove(Shift, X, Y - row->Top());
}

void TLayerBox::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (FScale.MouseCaptured()) {
    FScale.MouseUp(Button, Shift, X, Y - FScaleTop);
    return;
  }
  TLayerRow* row = FCaptureRow;
  if (!row) return;
  if (Button == mbLeft) FCaptureRow = nullptr;
  row->MouseUp(Button, Shift, X, Y - row->Top());
}

bool TLayerBox::DragOver(const TDragSource& Source, int X, int Y) {
  TLayerRow* row = RowAtPoint(Y);
  return row && row->DragOver(Source, X, Y - row->Top());
}

bool TLayerBox::DragDrop(const TDragSource& Source, int X, int Y) {
  TLayerRow* row = RowAtPoint(Y);
  return row && row->DragDrop(Source, X, Y - row->Top());
}

bool TLayerBox::KeyDown(TTimeLineKey Key, TShiftState Shift, int Code) {
  if (Shift == 0) {
    switch (Key) {
      case tkEscape:
        DeselectAll();
        return true;
      case tkLeft:
        SetFirstFrame(FFirstFrame - FScrollBar.SmallChange);
        return true;
      case tkRight:
        SetFirstFrame(FFirstFrame + FScrollBar.SmallChange);
        return true;
      case tkDelete:
        DeleteSelected();
        return true;
      case tkAdd:
        if (FZoom > zmOneFrame) SetZoom(static_cast<TZoom>(FZoom - 1));
        return true;
      case tkSubtract:
        if (FZoom < zmTwoMinutes) SetZoom(static_cast<TZoom>(FZoom + 1));
        return true;
      default:
        break;
    }
  }
  return OnSequenceKey ? OnSequenceKey(Code, Shift) : false;
}

}  // namespace movara
