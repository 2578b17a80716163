#pragma once
// TScaleGraphic: the time ruler of the time line (between the sequence row and the
// image row). It shows the time code every few thumbnails with long, short and small
// ticks, and a position slider the user drags with the mouse: pressing the left button
// shows the slider, every move puts it under the pointer, releasing hides it. The box
// hears of the slider through the events and follows it (preview, position line,
// scrolling when the slider leaves the view). Geometry only: the window draws it.
#include <functional>
#include <string>
#include <vector>

#include "base/MouseInput.h"
#include "project/VfxData.h"

namespace movara {

// One tick of the ruler: a vertical line at X from Top to Bottom (both drawn).
struct TScaleTick {
  int X = 0;
  int Top = 0;
  int Bottom = 0;
};

// One time code, centred on X with its top at Top.
struct TScaleLabel {
  int X = 0;
  int Top = 0;
  int Frame = 0;
  std::string Text;
};

class TScaleGraphic {
 public:
  using TScaleEvent = std::function<void(TScaleGraphic*)>;

  TScaleGraphic();
  TScaleGraphic(const TScaleGraphic&) = delete;
  TScaleGraphic& operator=(const TScaleGraphic&) = delete;

  // ---- colours and lines
  TColor Color() const { return FColor; }
  void SetColor(TColor Value) { FColor = Value; }
  TColor LineColor() const { return FLineColor; }
  void SetLineColor(TColor Value) { FLineColor = Value; }
  TColor FrameTopColor() const { return FFrameTopColor; }
  void SetFrameTopColor(TColor Value) { FFrameTopColor = Value; }
  TColor FrameBottomColor() const { return FFrameBottomColor; }
  void SetFrameBottomColor(TColor Value) { FFrameBottomColor = Value; }
  bool TopLine() const { return FTopLine; }
  void SetTopLine(bool Value) { FTopLine = Value; }
  bool BottomLine() const { return FBottomLine; }
  void SetBottomLine(bool Value) { FBottomLine = Value; }

  // ---- time
  TIconSize IconSize() const { return FIconSize; }
  void SetIconSize(TIconSize Value);
  TZoom Zoom() const { return FZoom; }
  void SetZoom(TZoom Value);
  TCountType CountType() const { return FCountType; }
  void SetCountType(TCountType Value);
  int TimeBase() const { return FTimeBase; }
  // Only values above 0 are taken.
  void SetTimeBase(int Value);
  int CursorPos() const { return FCursorPos; }
  void SetCursorPos(int Value) { FCursorPos = Value; }
  // First frame of the view; writes below 0 become 0 and, while the slider is shown,
  // raise OnChangeFirstFrame.
  int FirstFrame() const { return FFirstFrame; }
  void SetFirstFrame(int Value);
  // The box's setter: the first frame rounded down to a thumbnail boundary.
  void MoveFirstFrame(int Value);
  int FramesPerThumbnail() const;

  // ---- geometry
  int Width() const { return FWidth; }
  void SetWidth(int Value) { FWidth = Value < 0 ? 0 : Value; }
  // Only 4..50 are taken.
  int LineLength() const { return FLineLength; }
  void SetLineLength(int Value);
  // Height of the text "0" in the scale's font, from the window; 0 or less while there
  // is nothing to measure with.
  int TextHeight() const { return FTextHeight; }
  void SetTextHeight(int Value) { FTextHeight = Value; }
  // The text height + LineLength + 3, or 22 while no text height is known.
  int Height() const;
  // The slider picture's size (its width is 3 when there is no picture).
  int SliderWidth() const { return FSliderWidth; }
  int SliderHeight() const { return FSliderHeight; }
  void SetSliderSize(int Width, int Height);

  // ---- the slider
  int SliderFrame() const { return FSliderFrame; }
  // Below 0 becomes 0; raises OnRepaint and, while shown, OnMoveSlider.
  void SetSliderFrame(int Value);
  // x of the slider in the scale: FrameToPixel(SliderFrame - FirstFrame).
  int SliderPosition() const;
  bool ShowSlider() const { return FShowSlider; }
  // Showing raises OnShowSlider then OnMoveSlider; hiding raises OnHideSlider.
  void SetShowSlider(bool Value);

  // ---- mouse (scale coordinates)
  // Left button down takes the mouse and shows the slider; right button down releases
  // it and hides the slider.
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
  // Puts the slider under the pointer; while shown, raises OnMoveOutside.
  void MouseMove(TShiftState Shift, int X, int Y);
  // Left button up releases the mouse and hides the slider.
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
  bool MouseCaptured() const { return FCaptured; }
  // Modifier keys of the last mouse event (the preview plays sound while Ctrl is held).
  TShiftState LastShift() const { return FLastShift; }

  // The grid line nearest to scale x: x rounded to a multiple of the thumbnail width.
  int GridPosition(int X) const;

  // ---- drawing plan for the current width
  // Long ticks at frames on a step, short ones at other thumbnail boundaries, then the
  // small ticks of every thumbnail's subdivisions.
  std::vector<TScaleTick> Ticks() const;
  std::vector<TScaleLabel> Labels() const;
  // Whether the slider lies within the width and is shown.
  bool SliderVisible() const;

  TScaleEvent OnMoveSlider;
  TScaleEvent OnShowSlider;
  TScaleEvent OnHideSlider;
  TScaleEvent OnMoveOutside;
  TScaleEvent OnChangeFirstFrame;
  // Something the scale shows changed.
  TScaleEvent OnRepaint;

 private:
  void Fire(const TScaleEvent& e) {
    if (e) e(this);
  }
  // Walks the thumbnail boundaries of the view: (x, frame) of each.
  template <typename F>
  void ForEachBoundary(F&& f) const;

  TColor FColor = 0x8000000F;
  TColor FLineColor = 0;
  TColor FFrameTopColor = 0xFFFFFF;
  TColor FFrameBottomColor = 0;
  bool FTopLine = true;
  bool FBottomLine = true;
  TIconSize FIconSize = isNormal;
  TZoom FZoom = zmOneSecond;
  TCountType FCountType = ctSMPTE;
  int FTimeBase = DefaultTimeBase;
  int FCursorPos = 0;
  int FFirstFrame = 0;
  int FSliderFrame = 0;
  int FLineLength = 6;
  int FTextHeight = 0;
  int FWidth = 800;
  int FSliderWidth = 3;
  int FSliderHeight = 0;
  bool FShowSlider = false;
  bool FCaptured = false;
  TShiftState FLastShift = 0;
};

}  // namespace movara
