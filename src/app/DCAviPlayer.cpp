#include "app/DCAviPlayer.h"

#include <algorithm>
#include <chrono>

#include "base/Clock.h"
#include "base/Rounding.h"
#include "base/Trace.h"
#include "media/AudioPcm.h"
#include "media/AudioReader.h"
#include "media/Avi.h"

namespace movara {

TDCAviPlayer::TDCAviPlayer() : FClock([] { return NowMs(); }) {}

TDCAviPlayer::~TDCAviPlayer() {
  Trace("[TDCAviPlayer.Destroy] Destroying...");
  // no further tick does any work; one in progress ends first
  FDestroying = true;
  JoinTimer();
  // its owner is going: no event reaches it any more
  OnOpen = OnClose = OnStart = OnStop = OnRepaint = ProcessMessages = nullptr;
  OnChangePosition = nullptr;
  OnChangeState = nullptr;
  Stop(false);
  FAudioPlay.reset();
}

void TDCAviPlayer::SetClock(TMsClock clock) {
  FClock = clock ? std::move(clock) : TMsClock([] { return NowMs(); });
}

void TDCAviPlayer::Attach(TAVI* video, TCustomAudioReader* sound) {
  Stop(false);
  // a tick that outlived the stop's waits still reads the readers: it ends first
  JoinTimer();
  if (FVideo != nullptr || FSound != nullptr) {
    if (OnClose) OnClose();
  }
  FAudioPlay.reset();
  FVideo = video != nullptr && video->Opened() ? video : nullptr;
  FSound = sound != nullptr && sound->Opened() ? sound : nullptr;
  if (FVideo != nullptr)
    FClipType = FSound != nullptr ? ctMovie : ctAnimation;
  else
    FClipType = FSound != nullptr ? ctAudio : ctNone;
  if (FSound != nullptr) FAudioPlay = std::make_unique<TAudioPlay>(FSound);
  FStartFrame = 0;
  FStopFrame = 0;
  FCurrentFrame = 0;
  FCurrentTime = 0;
  {
    std::lock_guard<std::mutex> lock(FPictureLock);
    FPicture.Clear();
    if (FVideo != nullptr) {
      FVideo->SetPosition(0);
      FPicture = *FVideo->DIB();
    }
  }
  SetState(IdleState());
  if (FClipType != ctNone && OnOpen) OnOpen();
}

TClipState TDCAviPlayer::IdleState() const { return FClipType == ctNone ? csNone : csReady; }

void TDCAviPlayer::SetState(TClipState state) {
  if (FClipState.exchange(state) != state && OnChangeState) OnChangeState(state);
}

int TDCAviPlayer::LengthTime() const {
  if (FVideo != nullptr) return FVideo->LengthTime();
  if (FSound != nullptr) return FSound->Duration();
  return 0;
}

int TDCAviPlayer::TimeOfFrames(int frames) const {
  if (FClipType == ctAnimation || FClipType == ctMovie) return FVideo->FramesToMs(frames);
  if (FClipType == ctAudio) return frames * kSoundPeriodMs;
  return 0;
}

int TDCAviPlayer::FrameAtTime(int ms) const {
  if (FClipType == ctAnimation || FClipType == ctMovie) return FVideo->MsToFrames(ms);
  if (FClipType == ctAudio) return static_cast<int>(RoundHalfEven(static_cast<double>(ms) / kSoundPeriodMs));
  return 0;
}

bool TDCAviPlayer::Play(int startTime, int lengthTime) {
  Stop(false);
  if (FClipType == ctNone) return false;
  if (startTime < 0) startTime = 0;
  int start, stop;
  if (FVideo != nullptr) {
    const int last = FVideo->StopFrame();
    start = FrameAtTime(startTime);
    stop = lengthTime >= 1 ? std::min(FrameAtTime(startTime + lengthTime), last) : last;
    FPeriod = std::max(1, TimeOfFrames(1));
  } else {
    const int end = FrameAtTime(FSound->Duration());
    start = FrameAtTime(startTime);
    stop = lengthTime >= 1 ? std::min(FrameAtTime(startTime + lengthTime), end) : end;
    FPeriod = kSoundPeriodMs;
  }
  if (start >= stop) {
    TraceF("[TDCAviPlayer.Play] Nothing to play. StartFrame = %d, StopFrame = %d", start, stop);
    return false;
  }
  FStartFrame = start;
  FStopFrame = stop;
  FFramesShown = 0;
  FLateFrames = 0;
  if (FVideo != nullptr)
    MoveTo(start, -1);
  else
    FCurrentFrame = start;
  FCurrentTime = startTime;
  if (OnStart) OnStart();
  SetState(csPlaying);
  if (FAudioPlay && (FClipType == ctMovie || FClipType == ctAudio))
    FAudioPlay->Play(startTime, TimeOfFrames(stop) - startTime);

  FStartTime = startTime;
  FStartTick = Now();
  JoinTimer();
  const uint64_t run = ++FRun;
  FTimerRunning = true;
  FTimer = std::thread([this, run, period = FPeriod] { TimerLoop(period, run); });
  return true;
}

void TDCAviPlayer::Pause() {
  if (FClipState != csPlaying) return;
  if (FAudioPlay && (FClipType == ctMovie || FClipType == ctAudio)) FAudioPlay->Pause();
  FPauseTick = Now();
  SetState(csPaused);
}

void TDCAviPlayer::Resume() {
  if (FClipState != csPaused) return;
  if (FAudioPlay && (FClipType == ctMovie || FClipType == ctAudio)) FAudioPlay->Resume();
  FStartTick += Now() - FPauseTick;
  SetState(csPlaying);
}

void TDCAviPlayer::Stop(bool fromTimer) {
  SetState(IdleState());
  if (fromTimer) {
    // the tick itself ends the timer: its thread leaves after this tick and is joined
    // by the next play or stop from the user's side
    FTimerRunning = false;
    if (FAudioPlay) FAudioPlay->Stop();
    if (OnStop) OnStop();
    if (OnRepaint) OnRepaint();
    return;
  }
  const bool hadTimer = FTimer.joinable();
  if (hadTimer) {
    const int64_t until = NowMs() + kStopWaitMs;
    while (FBusy && NowMs() < until) {
      if (ProcessMessages) ProcessMessages();
      SleepMs(1);
    }
    if (FBusy) Trace("[TDCAviPlayer.Stop] The timer's tick did not end in time.");
    {
      std::lock_guard<std::mutex> lock(FWakeLock);
      FTimerRunning = false;
      ++FRun;  // a tick that starts late does nothing
    }
    FWake.notify_all();
  }
  if (FAudioPlay) FAudioPlay->Stop();
  if (hadTimer) {
    for (int waited = 0; FBusy && waited < kStopAfterWaitMs; waited += 33) SleepMs(33);
    // a tick still running keeps the thread: it is joined by the next play or the end
    if (!FBusy) JoinTimer();
  }
  if (OnStop) OnStop();
  if (OnRepaint) OnRepaint();
}

void TDCAviPlayer::JoinTimer() {
  if (!FTimer.joinable()) return;
  if (FTimer.get_id() == std::this_thread::get_id()) {
    FTimer.detach();
    return;
  }
  {
    std::lock_guard<std::mutex> lock(FWakeLock);
    FTimerRunning = false;
  }
  FWake.notify_all();
  FTimer.join();
}

void TDCAviPlayer::SetCurrentTime(int ms) {
  const TClipState st = FClipState;
  if (st == csPlaying || st == csPaused) Stop(false);
  if (FClipType == ctNone) return;
  const int frame = FrameAtTime(std::max(0, ms));
  FStopFrame = 0;
  SetCurrentFrame(frame);
}

void TDCAviPlayer::SetCurrentFrame(int frame) {
  const TClipState st = FClipState;
  if (st == csPlaying || st == csPaused) Stop(false);
  if (FClipType == ctNone) return;
  frame = std::max(0, frame);
  if (FVideo != nullptr) {
    MoveTo(frame, -1);
  } else {
    FCurrentFrame = std::min(frame, FrameAtTime(FSound->Duration()));
  }
  FCurrentTime = TimeOfFrames(FCurrentFrame);
  if (OnRepaint) OnRepaint();
}

void TDCAviPlayer::MoveTo(int frame, int64_t dueMs) {
  FVideo->SetPosition(frame);
  const int shown = FVideo->Position();
  {
    std::lock_guard<std::mutex> lock(FPictureLock);
    FPicture = *FVideo->DIB();
  }
  const int previous = FCurrentFrame.exchange(shown);
  if (dueMs < 0) return;
  // a frame is late when frames were skipped before it or its picture came after the
  // time of the frame that follows it
  ++FFramesShown;
  int late = std::max(0, shown - previous - 1);
  if (Now() > dueMs) ++late;
  FLateFrames += late;
}

bool TDCAviPlayer::CopyPicture(TDIB& picture) const {
  std::lock_guard<std::mutex> lock(FPictureLock);
  if (FPicture.Empty()) return false;
  picture = FPicture;
  return true;
}

void TDCAviPlayer::TimerLoop(int period, uint64_t run) {
  using namespace std::chrono;
  // frame k is the frame of the times that round to it, [k - 1/2, k + 1/2) periods: a
  // tick a little before the frame's own time still shows it, and then may come up to
  // 7/8 of a period late before a frame is skipped
  const auto lead = microseconds(period * 375);
  auto next = steady_clock::now() + milliseconds(period) - lead;
  std::unique_lock<std::mutex> lock(FWakeLock);
  while (FTimerRunning && FRun == run && !FDestroying) {
    FWake.wait_until(lock, next, [&] { return !FTimerRunning || FRun != run || FDestroying; });
    if (!FTimerRunning || FRun != run || FDestroying) break;
    lock.unlock();
    TimerTick(run);
    lock.lock();
    // a periodic timer: ticks missed while one was busy are not made up for
    next += milliseconds(period);
    const auto now = steady_clock::now();
    if (next < now) next = now + milliseconds(period) - (now - next) % milliseconds(period);
  }
}

void TDCAviPlayer::TimerTick(uint64_t run) {
  if (FDestroying || FBusy.exchange(true)) return;
  struct TBusyEnd {
    std::atomic<bool>& busy;
    ~TBusyEnd() { busy = false; }
  } busyEnd{FBusy};
  if (FRun != run) return;
  const TClipState state = FClipState;
  if (state != csPlaying) {
    SleepMs(33);
    return;
  }
  if (FClipType == ctAnimation || FClipType == ctMovie) {
    const int time = static_cast<int>(Now() - FStartTick + FStartTime);
    FCurrentTime = time;
    const int stopFrame = FStopFrame;
    const int frame = std::clamp(FrameAtTime(time), 0, stopFrame);
    if (frame < stopFrame) {
      if (frame == FCurrentFrame) return;
      // the picture of the frame is due before the next frame's time
      MoveTo(frame, FStartTick + TimeOfFrames(frame + 1) - FStartTime);
      if (OnRepaint) OnRepaint();
      bool stop = false;
      if (OnChangePosition) OnChangePosition(stop);
      if (!stop) return;
    } else if (FCurrentFrame != stopFrame) {
      MoveTo(stopFrame, -1);
      FCurrentTime = TimeOfFrames(stopFrame);
    }
    Stop(true);
    return;
  }
  // sound only: the position is the sound's own
  const int position = FAudioPlay ? FAudioPlay->PlayPosition() : -1;
  if (position >= 0) FCurrentTime = position;
  FCurrentFrame = std::min(FrameAtTime(FCurrentTime), FStopFrame.load());
  bool stop = false;
  if (OnChangePosition) OnChangePosition(stop);
  const bool soundLeft = FAudioPlay && FAudioPlay->State() == apsPlaying && FAudioPlay->QueuedBuffers() > 0;
  if (!stop && soundLeft) return;
  if (!soundLeft) {
    FCurrentFrame = FStopFrame.load();
    FCurrentTime = TimeOfFrames(FCurrentFrame);
  }
  Stop(true);
}

}  // namespace movara
