#pragma once
// TMyProgressBar: the model of the film window's progress bar. It holds the range and the
// position, draws its text as "%s %d %%" (info text and percentage) and keeps an
// estimate of when the work will end, for the label linked below it. The window draws
// it; the command line prints its text. Positions may be moved from the film thread.
#include <cstdint>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>

namespace movara {

class TMyProgressBar {
 public:
  TMyProgressBar();

  int Min() const;
  int Max() const;
  int Position() const;
  void SetMin(int value);
  void SetMax(int value);
  // Moves the position (clamped to Min..Max); returning to Min restarts the estimate.
  void SetPosition(int value);
  void StepBy(int delta);
  int Step() const { return FStep; }
  void SetStep(int value) { FStep = value; }
  void StepIt() { StepBy(FStep); }

  std::string InfoText() const;
  void SetInfoText(const std::string& text);
  bool ShowPercentage() const { return FShowPercentage; }
  void SetShowPercentage(bool v) { FShowPercentage = v; }

  // 0..100, rounded down.
  int Percent() const;
  // What the bar draws: "Animacja i dźwięk: 42 %" (only the info text without percentage).
  std::string Text() const;
  // "Przewidywany czas zakończenia operacji: 8 grudnia 2026, godz. 20:45.07"; empty
  // before the first estimate.
  std::string EstimateText() const;
  // The estimated end, seconds since the epoch (0 before the first estimate).
  std::time_t EstimatedFinish() const;

  // Called after every change of the position, on the thread that changed it.
  std::function<void(TMyProgressBar&)> OnChangePosition;

  // The clocks (wall time in seconds, a tick in ms), replaceable for tests.
  std::function<std::time_t()> WallClock;
  std::function<int64_t()> TickClock;

  // The date and time as the estimate writes them: "d mmmm yyyy, godz. h:nn.ss".
  static std::string FormatFinish(std::time_t when);

 private:
  void Restart();
  void Estimate();

  mutable std::mutex FLock;
  int FMin = 0, FMax = 100, FPosition = 0, FStep = 1;
  std::string FInfoText;
  bool FShowPercentage = true;
  std::time_t FStartTime = 0;
  int64_t FStartTick = 0;
  std::time_t FFinish = 0;
};

}  // namespace movara
