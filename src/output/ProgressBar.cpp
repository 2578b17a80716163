#include "output/ProgressBar.h"

#include <algorithm>
#include <chrono>

#include "base/Clock.h"
#include "base/Format.h"

namespace movara {
namespace {

// Month names as a date is read out in Polish ("8 grudnia 2026").
const char* const kMonths[12] = {"stycznia", "lutego",   "marca",    "kwietnia",    "maja",     "czerwca",
                                 "lipca",    "sierpnia", "września", "października", "listopada", "grudnia"};

}  // namespace

TMyProgressBar::TMyProgressBar() {
  WallClock = [] { return std::time(nullptr); };
  TickClock = NowMs;
}

int TMyProgressBar::Min() const {
  std::lock_guard<std::mutex> l(FLock);
  return FMin;
}

int TMyProgressBar::Max() const {
  std::lock_guard<std::mutex> l(FLock);
  return FMax;
}

int TMyProgressBar::Position() const {
  std::lock_guard<std::mutex> l(FLock);
  return FPosition;
}

void TMyProgressBar::SetMin(int value) {
  {
    std::lock_guard<std::mutex> l(FLock);
    FMin = value;
    if (FMax < FMin) FMax = FMin;
    if (FPosition < FMin) FPosition = FMin;
  }
  SetPosition(Position());
}

void TMyProgressBar::SetMax(int value) {
  {
    std::lock_guard<std::mutex> l(FLock);
    FMax = std::max(value, FMin);
    if (FPosition > FMax) FPosition = FMax;
  }
}

void TMyProgressBar::SetPosition(int value) {
  {
    std::lock_guard<std::mutex> l(FLock);
    value = std::clamp(value, FMin, FMax);
    const bool changed = value != FPosition;
    FPosition = value;
    if (value == FMin) {
      Restart();
    } else if (changed && (value % 4 == 0 || value < 4)) {
      Estimate();
    }
  }
  if (OnChangePosition) OnChangePosition(*this);
}

void TMyProgressBar::StepBy(int delta) {
  int next;
  {
    std::lock_guard<std::mutex> l(FLock);
    next = FPosition + delta;
  }
  SetPosition(next);
}

void TMyProgressBar::Restart() {
  FStartTime = WallClock();
  FStartTick = TickClock();
  Estimate();
}

void TMyProgressBar::Estimate() {
  const int64_t span = static_cast<int64_t>(FMax) - FMin;
  const int64_t done = static_cast<int64_t>(FPosition) - FMin;
  int64_t totalMs;
  if (done <= 0)
    totalMs = span * 1000;
  else
    totalMs = static_cast<int64_t>(static_cast<double>(span) / static_cast<double>(done) *
                                   static_cast<double>(TickClock() - FStartTick));
  FFinish = FStartTime + static_cast<std::time_t>(totalMs / 1000);
}

std::string TMyProgressBar::InfoText() const {
  std::lock_guard<std::mutex> l(FLock);
  return FInfoText;
}

void TMyProgressBar::SetInfoText(const std::string& text) {
  std::lock_guard<std::mutex> l(FLock);
  FInfoText = text;
}

int TMyProgressBar::Percent() const {
  std::lock_guard<std::mutex> l(FLock);
  if (FMax <= FMin) return 0;
  return static_cast<int>((static_cast<int64_t>(FPosition) - FMin) * 100 / (static_cast<int64_t>(FMax) - FMin));
}

std::string TMyProgressBar::Text() const {
  const int percent = Percent();
  std::lock_guard<std::mutex> l(FLock);
  if (!FShowPercentage) return FInfoText;
  return Format("%s %d %%", FInfoText.c_str(), percent);
}

std::time_t TMyProgressBar::EstimatedFinish() const {
  std::lock_guard<std::mutex> l(FLock);
  return FFinish;
}

std::string TMyProgressBar::EstimateText() const {
  const std::time_t finish = EstimatedFinish();
  if (finish == 0) return std::string();
  return "Przewidywany czas zakończenia operacji: " + FormatFinish(finish);
}

std::string TMyProgressBar::FormatFinish(std::time_t when) {
  std::tm t{};
  localtime_r(&when, &t);
  return Format("%d %s %d, godz. %d:%.2d.%.2d", t.tm_mday, kMonths[std::clamp(t.tm_mon, 0, 11)], t.tm_year + 1900,
                t.tm_hour, t.tm_min, t.tm_sec);
}

}  // namespace movara
