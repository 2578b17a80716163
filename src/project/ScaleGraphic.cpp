// TScaleGraphic: the time ruler and its position slider.
#include "project/ScaleGraphic.h"

#include <algorithm>
#include <climits>

#include "base/Rounding.h"

namespace movara {

namespace {

// Pixels of a frame difference, saturated at the int range (a slider far from the view
// must not make the conversion fail).
int SaturatedPixels(TZoom zoom, TIconSize iconSize, long long frames) {
  long double x = static_cast<long double>(IconSizeFactor[iconSize]) * ThumbSize[iconSize].Width /
                  ZoomStep[zoom][iconSize].Step * static_cast<long double>(frames);
  if (x >= INT_MAX) return INT_MAX;
  if (x <= INT_MIN) return INT_MIN;
  return static_cast<int>(RoundHalfEven(x));
}

// Frames under a pixel offset, in 64 bits (the view may start far into the film).
long long FramesOfPixels(TZoom zoom, TIconSize iconSize, int pixels) {
  long double f = static_cast<long double>(pixels) * ZoomStep[zoom][iconSize].Step /
                  (static_cast<long double>(IconSizeFactor[iconSize]) * ThumbSize[iconSize].Width);
  return static_cast<long long>(RoundHalfEven(f));
}

}  // namespace

TScaleGraphic::TScaleGraphic() = default;

void TScaleGraphic::SetIconSize(TIconSize Value) {
  if (!ValidEnum(Value) || Value == FIconSize) return;
  FIconSize = Value;
  Fire(OnRepaint);
}

void TScaleGraphic::SetZoom(TZoom Value) {
  if (!ValidEnum(Value) || Value == FZoom) return;
  FZoom = Value;
  Fire(OnRepaint);
}

void TScaleGraphic::SetCountType(TCountType Value) {
  if (!ValidEnum(Value) || Value == FCountType) return;
  FCountType = Value;
  Fire(OnRepaint);
}

void TScaleGraphic::SetTimeBase(int Value) {
  if (Value <= 0 || Value == FTimeBase) return;
  FTimeBase = Value;
  Fire(OnRepaint);
}

int TScaleGraphic::FramesPerThumbnail() const { return std::max(1, FramesPerThumb(FZoom, FIconSize)); }

void TScaleGraphic::SetFirstFrame(int Value) {
  Value = std::max(0, Value);
  if (Value == FFirstFrame) return;
  FFirstFrame = Value;
  if (FShowSlider) Fire(OnChangeFirstFrame);
  Fire(OnRepaint);
}

void TScaleGraphic::MoveFirstFrame(int Value) {
  Value = std::max(0, Value);
  int perThumb = FramesPerThumbnail();
  SetFirstFrame(Value / perThumb * perThumb);
}

void TScaleGraphic::SetLineLength(int Value) {
  if (Value < 4 || Value > 50 || Value == FLineLength) return;
  FLineLength = Value;
  Fire(OnRepaint);
}

int TScaleGraphic::Height() const { return FTextHeight > 0 ? FTextHeight + FLineLength + 3 : 22; }

void TScaleGraphic::SetSliderSize(int Width, int Height) {
  FSliderWidth = Width > 0 ? Width : 3;
  FSliderHeight = std::max(0, Height);
}

void TScaleGraphic::SetSliderFrame(int Value) {
  Value = std::max(0, Value);
  FSliderFrame = Value;
  Fire(OnRepaint);
  if (FShowSlider) Fire(OnMoveSlider);
}

int TScaleGraphic::SliderPosition() const {
  return SaturatedPixels(FZoom, FIconSize, static_cast<long long>(FSliderFrame) - FFirstFrame);
}

void TScaleGraphic::SetShowSlider(bool Value) {
  if (Value == FShowSlider) return;
  FShowSlider = Value;
  Fire(OnRepaint);
  if (Value) {
    Fire(OnShowSlider);
    if (FShowSlider) Fire(OnMoveSlider);
  } else {
    Fire(OnHideSlider);
  }
}

void TScaleGraphic::MouseDown(TMouseButton Button, TShiftState Shift, int X, int) {
  FLastShift = Shift;
  if (Button == mbLeft) {
    FCaptured = true;
    // the slider appears under the pointer
    long long f = FramesOfPixels(FZoom, FIconSize, X) + FFirstFrame;
    FSliderFrame = static_cast<int>(std::clamp<long long>(f, 0, INT_MAX));
    SetShowSlider(true);
  } else if (Button == mbRight) {
    FCaptured = false;
    SetShowSlider(false);
  }
}

void TScaleGraphic::MouseMove(TShiftState Shift, int X, int) {
  FLastShift = Shift;
  long long f = FramesOfPixels(FZoom, FIconSize, X) + FFirstFrame;
  SetSliderFrame(static_cast<int>(std::clamp<long long>(f, 0, INT_MAX)));
  if (FShowSlider) Fire(OnMoveOutside);
}

void TScaleGraphic::MouseUp(TMouseButton Button, TShiftState Shift, int, int) {
  FLastShift = Shift;
  if (Button != mbLeft) return;
  FCaptured = false;
  SetShowSlider(false);
}

int TScaleGraphic::GridPosition(int X) const {
  int w = ThumbSize[FIconSize].Width;
  return static_cast<int>(RoundHalfEven(static_cast<long double>(X) / w)) * w;
}

template <typename F>
void TScaleGraphic::ForEachBoundary(F&& f) const {
  int perThumb = FramesPerThumbnail();
  int w = ThumbSize[FIconSize].Width;
  long long first = static_cast<long long>(FFirstFrame) / perThumb * perThumb;
  for (long long i = 0, x = 0; x < FWidth; ++i, x = i * w) f(static_cast<int>(x), first + i * perThumb);
}

std::vector<TScaleTick> TScaleGraphic::Ticks() const {
  std::vector<TScaleTick> ticks;
  int step = ZoomStep[FZoom][FIconSize].Step;
  int w = ThumbSize[FIconSize].Width;
  int n = std::max(1, ZoomStep[FZoom][FIconSize].Subdivisions);
  ForEachBoundary([&](int x, long long q) {
    bool labelled = q % step == 0;
    ticks.push_back({x, 2, labelled ? FLineLength + 6 : FLineLength + 1});
    for (int k = 0; k < n; ++k) {
      int sx = x + static_cast<int>(RoundHalfEven(static_cast<long double>(k) * w / n));
      ticks.push_back({sx, 2, FLineLength - 1});
    }
  });
  return ticks;
}

std::vector<TScaleLabel> TScaleGraphic::Labels() const {
  std::vector<TScaleLabel> labels;
  int step = ZoomStep[FZoom][FIconSize].Step;
  ForEachBoundary([&](int x, long long q) {
    if (q % step != 0 || q > INT_MAX) return;
    int frame = static_cast<int>(q);
    labels.push_back({x, FLineLength + 1, frame, FormatFrameCode(frame, FCountType, FTimeBase)});
  });
  return labels;
}

bool TScaleGraphic::SliderVisible() const {
  if (!FShowSlider) return false;
  int x = SliderPosition();
  return x >= 0 && x < FWidth;
}

}  // namespace movara
