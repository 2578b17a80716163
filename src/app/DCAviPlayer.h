#pragma once
// TDCAviPlayer: the playback clock of the clip player. It plays an AVI's video (TAVI)
// and/or a sound reader (through TAudioPlay on the waveOut device) from a start time for
// a length, pauses, resumes, stops and moves to a frame. No window is involved: the
// window around it (TClipPlayer) paints the frame it hands out and listens to its events.
//
// The clock runs on a timer thread of its own with the period of one frame (100 ms for
// sound only). A tick does nothing while the previous one is still busy; a stop from the
// user's thread waits for a running tick at most 2333 ms (handing the wait to
// ProcessMessages so the windows stay alive), then at most 110 ms more, and goes on
// regardless. Events raised by a tick (OnChangePosition, OnChangeState, OnStop,
// OnRepaint) come on the timer thread.
//
// For sound only, "frames" are blocks of 100 ms of the sound.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "base/Dib.h"
#include "base/VfxTypes.h"
#include "project/VfxData.h"

namespace movara {

class TAVI;
class TAudioPlay;
class TCustomAudioReader;

class TDCAviPlayer {
 public:
  // Milliseconds on a clock that never goes back.
  using TMsClock = std::function<int64_t()>;

  TDCAviPlayer();
  ~TDCAviPlayer();
  TDCAviPlayer(const TDCAviPlayer&) = delete;
  TDCAviPlayer& operator=(const TDCAviPlayer&) = delete;

  // The clock of the playback (default: the monotonic clock). Set before playing.
  void SetClock(TMsClock clock);

  // Stops, attaches (not owned; either may be nullptr) and derives the clip type.
  void Attach(TAVI* video, TCustomAudioReader* sound);
  TAVI* Video() const { return FVideo; }
  TCustomAudioReader* Sound() const { return FSound; }

  // Plays lengthTime ms from startTime (lengthTime < 1: to the end). False, leaving the
  // state as it was, when nothing is attached or the run would be empty.
  bool Play(int startTime, int lengthTime);
  void Stop() { Stop(false); }
  void Pause();
  void Resume();

  TClipType ClipType() const { return FClipType; }
  TClipState ClipState() const { return FClipState.load(); }
  int StartFrame() const { return FStartFrame.load(); }
  int StopFrame() const { return FStopFrame.load(); }
  int CurrentFrame() const { return FCurrentFrame.load(); }
  int CurrentTime() const { return FCurrentTime.load(); }
  // The video's length when there is video, else the sound's; 0 with nothing attached.
  int LengthTime() const;
  // Stops a running or paused playback and moves to the frame at ms.
  void SetCurrentTime(int ms);
  // Stops a running or paused playback and moves to the frame.
  void SetCurrentFrame(int frame);

  // Time of n frames and the frame at a time (the video's rate, or 100 ms blocks).
  int TimeOfFrames(int frames) const;
  int FrameAtTime(int ms) const;
  // The timer's period of the last run (ms).
  int TimerPeriod() const { return FPeriod; }

  // A copy of the picture shown (empty for sound only or before anything was shown).
  bool CopyPicture(TDIB& picture) const;

  // Frames the clock moved to, and of them the late ones: frames skipped over because
  // a tick came too late, and frames whose picture was ready only after their time
  // had passed. Counted from the last Play.
  int FramesShown() const { return FFramesShown.load(); }
  int LateFrames() const { return FLateFrames.load(); }

  std::function<void()> OnOpen;
  std::function<void()> OnClose;
  std::function<void()> OnStart;
  std::function<void()> OnStop;
  // After the clock moved; setting stop ends the playback.
  std::function<void(bool& stop)> OnChangePosition;
  std::function<void(TClipState state)> OnChangeState;
  // The picture changed: the window repaints.
  std::function<void()> OnRepaint;
  // Called while a stop waits for a running tick (the window processes its events).
  std::function<void()> ProcessMessages;

  static constexpr int kStopWaitMs = 2333;
  static constexpr int kStopAfterWaitMs = 110;
  static constexpr int kSoundPeriodMs = 100;

 private:
  void Stop(bool fromTimer);
  void SetState(TClipState state);
  TClipState IdleState() const;
  void MoveTo(int frame, int64_t dueMs);
  void TimerLoop(int period, uint64_t run);
  void TimerTick(uint64_t run);
  void JoinTimer();
  int64_t Now() const { return FClock(); }

  TMsClock FClock;
  TAVI* FVideo = nullptr;
  TCustomAudioReader* FSound = nullptr;
  std::unique_ptr<TAudioPlay> FAudioPlay;
  TClipType FClipType = ctNone;
  std::atomic<TClipState> FClipState{csNone};
  std::atomic<int> FStartFrame{0};
  std::atomic<int> FStopFrame{0};
  std::atomic<int> FCurrentFrame{0};
  std::atomic<int> FCurrentTime{0};
  int FPeriod = 40;
  std::atomic<int64_t> FStartTick{0};
  std::atomic<int> FStartTime{0};
  std::atomic<int64_t> FPauseTick{0};
  std::atomic<int> FFramesShown{0};
  std::atomic<int> FLateFrames{0};

  // The timer: its thread, the run it serves (a tick of an older run does nothing),
  // whether it still runs, and the busy flag of the tick in progress.
  std::thread FTimer;
  std::atomic<uint64_t> FRun{0};
  std::atomic<bool> FTimerRunning{false};
  std::atomic<bool> FBusy{false};
  std::atomic<bool> FDestroying{false};
  std::mutex FWakeLock;  // only for waking the timer early
  std::condition_variable FWake;

  // The picture shown, copied out of the video after each move.
  mutable std::mutex FPictureLock;
  TDIB FPicture;
};

}  // namespace movara
