#include "project/LevelBox.h"

#include <algorithm>
#include <cstdlib>

#include "base/Rounding.h"
#include "base/Trace.h"

namespace movara {

TLevelBox::TLevelBox(int defaultLevel, int maxLevel, int minLevel)
    : FStart(std::make_unique<TLevelItem>(this)), FEnd(std::make_unique<TLevelItem>(this)) {
  FMaxLevel = maxLevel;
  FMinLevel = minLevel;
  if (FMinLevel > FMaxLevel) std::swap(FMinLevel, FMaxLevel);
  SetDefaultLevel(defaultLevel);
  FStart->Frame = 0;
  FEnd->Frame = FLengthFrames;  // the end point sits at the length
}

TLevelItem* TLevelBox::Points(int Index) const {
  if (Index < 0 || Index >= Count()) return nullptr;
  if (Index == 0) return FStart.get();
  if (Index == Count() - 1) return FEnd.get();
  return FInner[static_cast<size_t>(Index - 1)].get();
}

int TLevelBox::IndexOf(const TLevelItem* Point) const {
  if (!Point) return -1;
  if (Point == FStart.get()) return 0;
  if (Point == FEnd.get()) return Count() - 1;
  for (size_t i = 0; i < FInner.size(); ++i)
    if (FInner[i].get() == Point) return static_cast<int>(i) + 1;
  return -1;
}

TLevelItem* TLevelBox::PrevPoint(const TLevelItem* Point) const {
  int i = IndexOf(Point);
  return i > 0 ? Points(i - 1) : nullptr;
}

TLevelItem* TLevelBox::NextPoint(const TLevelItem* Point) const {
  int i = IndexOf(Point);
  return i >= 0 && i < Count() - 1 ? Points(i + 1) : nullptr;
}

void TLevelBox::SetDefaultLevel(int Value) {
  if (Value >= 0 && Value <= 100) FDefaultLevel = Value;
}

void TLevelBox::ResetLevels() {
  for (int i = 0; i < Count(); ++i) Points(i)->Level = FDefaultLevel;
}

int TLevelBox::PixelOfFrame(int Frame) const {
  if (FLengthFrames <= 0) return 0;
  return RoundInt(static_cast<long double>(Frame) / FLengthFrames * FWidthPixels);
}

void TLevelBox::UpdatePixels() {
  for (int i = 0; i < Count(); ++i) {
    TLevelItem* p = Points(i);
    p->PixelX = PixelOfFrame(p->Frame);
  }
}

void TLevelBox::SetLength(int Frames) {
  if (Frames <= 0 || Frames == FLengthFrames) return;
  FLengthFrames = Frames;
  FEnd->Frame = Frames;
  FEnd->PixelX = PixelOfFrame(Frames);
  FInner.erase(std::remove_if(FInner.begin(), FInner.end(),
                              [Frames](const std::unique_ptr<TLevelItem>& p) { return p->Frame >= Frames; }),
               FInner.end());
}

void TLevelBox::SetWidth(int Pixels) {
  FWidthPixels = Pixels;
  UpdatePixels();
}

void TLevelBox::SetBand(int Top, int Bottom) {
  if (Bottom < Top) return;
  FTopPixel = Top;
  FBottomPixel = Bottom;
}

TLevelItem* TLevelBox::PointAtFrame(int Frame) const {
  if (FStart->Frame == Frame) return FStart.get();
  if (FEnd->Frame == Frame) return FEnd.get();
  for (const auto& p : FInner)
    if (p->Frame == Frame) return p.get();
  return nullptr;
}

TLevelItem* TLevelBox::AddPoint(int Frame) {
  if (TLevelItem* p = PointAtFrame(Frame)) return p;
  // A point before the start or after the end would break the order of the points.
  if (Frame < 0 || Frame > FEnd->Frame) return nullptr;
  auto point = std::make_unique<TLevelItem>(this);
  point->Frame = Frame;
  point->Level = FDefaultLevel;
  point->PixelX = PixelOfFrame(Frame);
  TLevelItem* result = point.get();
  auto at = std::find_if(FInner.begin(), FInner.end(),
                         [Frame](const std::unique_ptr<TLevelItem>& p) { return p->Frame > Frame; });
  FInner.insert(at, std::move(point));
  return result;
}

void TLevelBox::MovePoint(TLevelItem* Point, int Frame) {
  int i = IndexOf(Point);
  if (i <= 0 || i >= Count() - 1) return;
  int lo = Points(i - 1)->Frame + 1;
  int hi = Points(i + 1)->Frame - 1;
  Frame = std::min(std::max(Frame, lo), hi);
  Point->Frame = Frame;
  Point->PixelX = PixelOfFrame(Frame);
}

bool TLevelBox::DragPoint(TLevelItem* Point, int Frame) {
  if (Frame < 0) return false;
  int i = IndexOf(Point);
  if (i <= 0 || i >= Count() - 1) return false;
  int lo = Points(i - 1)->Frame + 1;
  int hi = Points(i + 1)->Frame - 1;
  Frame = std::min(std::max(Frame, lo), hi);
  if (Frame == Point->Frame) return false;
  Point->Frame = Frame;
  UpdatePixels();
  return true;
}

int TLevelBox::GetLevelAtPixel(int X) const {
  X = std::max(X, FStart->PixelX);
  X = std::min(X, FEnd->PixelX);
  bool haveAverage = false;
  int average = FDefaultLevel;
  for (int i = 0; i + 1 < Count(); ++i) {
    const TLevelItem* p0 = Points(i);
    const TLevelItem* p1 = Points(i + 1);
    if (p0->PixelX == p1->PixelX) {
      average = (p0->Level + p1->Level) / 2;
      haveAverage = true;
      continue;
    }
    if (p0->PixelX <= X && X <= p1->PixelX) {
      long double v = static_cast<long double>(X - p0->PixelX) * (p1->Level - p0->Level) /
                          (p1->PixelX - p0->PixelX) +
                      p0->Level;
      return RoundInt(v);
    }
  }
  TraceF("[TLevelBox.GetLevelAtPixel] Failed. Seraching sample = %d", X);
  return haveAverage ? average : FDefaultLevel;
}

int TLevelBox::LevelToY(int Level) const {
  return RoundInt(static_cast<long double>(FBottomPixel - FTopPixel) * (100 - Level) / 100 + FTopPixel);
}

TLevelItem* TLevelBox::PointAtPixel(int X, int Y) const {
  for (int i = 0; i < Count(); ++i) {
    TLevelItem* p = Points(i);
    if (std::abs(X - p->PixelX) <= 3 && std::abs(Y - LevelToY(p->Level)) <= 3) return p;
  }
  return nullptr;
}

TLevelItem* TLevelBox::PointOnLine(int X, int Y) {
  for (int i = 0; i + 1 < Count(); ++i) {
    TLevelItem* p0 = Points(i);
    TLevelItem* p1 = Points(i + 1);
    int y0 = LevelToY(p0->Level);
    int y1 = LevelToY(p1->Level);
    bool hit = false;
    if (p0->PixelX == p1->PixelX) {
      // a vertical piece of the line counts only at its own x
      hit = X == p0->PixelX && Y >= std::min(y0, y1) - 1 && Y <= std::max(y0, y1) + 1;
    } else if (p0->PixelX < X && X < p1->PixelX) {
      long double yl = y0 + static_cast<long double>(X - p0->PixelX) * (y1 - y0) / (p1->PixelX - p0->PixelX);
      long double d = Y - yl;
      hit = d >= -1 && d <= 1;
    }
    if (hit) return AddPoint(p0->Frame + 1);
  }
  return nullptr;
}

void TLevelBox::UpdateMarks() {
  for (int i = 0; i < Count(); ++i) {
    TLevelItem* p = Points(i);
    p->Marked = p->Level < FMinLevel || p->Level > FMaxLevel;
  }
}

int TLevelBox::RemoveMarkedPoints() {
  int handled = 0;
  for (TLevelItem* end : {FStart.get(), FEnd.get()}) {
    if (end->Marked) {
      end->Level = FDefaultLevel;
      end->Marked = false;
      ++handled;
    }
  }
  size_t before = FInner.size();
  FInner.erase(std::remove_if(FInner.begin(), FInner.end(),
                              [](const std::unique_ptr<TLevelItem>& p) { return p->Marked; }),
               FInner.end());
  handled += static_cast<int>(before - FInner.size());
  return handled;
}

}  // namespace movara
