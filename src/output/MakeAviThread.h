#pragma once
// TMakeAviThread: generates the film in a thread of its own. Every frame of the chosen
// ranges of the time line is rendered by the render thread, the sound is mixed by the
// audio engine block by block, and both go to the film writer (or the frames to a
// numbered picture sequence). The progress window (or the command line) starts it,
// watches the progress bar and may stop it at any time; a stopped film is still a valid
// file.
//
// Writing overlaps with rendering: the film thread renders frame k+1 while a writer
// thread compresses and writes frame k. Jobs are done strictly in order and the first
// failed one ends the film exactly where a single thread would have ended it, so the
// file is the same byte for byte (SetPipeline(false) does everything on the film thread).
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/Dib.h"
#include "base/Exceptions.h"
#include "media/Avi.h"
#include "output/AviMaker.h"
#include "output/Mp4Maker.h"
#include "output/FilmOutput.h"
#include "output/FilmSettings.h"
#include "output/ProgressBar.h"
#include "project/RangeList.h"

namespace movara {

class TAudioEngine;
class TAudioPcmManager;
class TFxRenderThread;
class TLayerBox;

MOVARA_EXCEPTION(EMakeAvi);

// The box the film thread shows frames in while it works (the window's paint box).
class TPreviewBox {
 public:
  virtual ~TPreviewBox() = default;
  virtual int ClientWidth() const = 0;
  virtual int ClientHeight() const = 0;
  // A picture of the client size; called on the film thread.
  virtual void Paint(const TDIB& picture) = 0;
  // Set by the film thread, read by the window's.
  std::atomic<bool> Stretch{false};
};

// PreviewMode: no preview, every frame, every 25th frame.
enum TPreviewMode { pmNone = 0, pmEveryFrame = 1, pmEvery25th = 2 };

// FError: how the work ended.
enum TMakeAviError {
  meNone = 0,       // no error
  meInit = 1,       // the film could not be begun
  meNoWork = 3,     // nothing to make
  meBadFrame = 5,   // a frame could not be made or written
  meException = 10  // the work stopped on an exception (its message)
};

class TMakeAviThread {
 public:
  // previewMode non-zero: frames are shown in box and nothing is written. Without a
  // layer box the whole script is generated (its video tracks' length). The render
  // thread, the box, the bar and the layer box stay the caller's and must outlive the
  // thread. createSuspended: nothing runs until StartThread.
  TMakeAviThread(TWindowHandle owner, TPreviewMode previewMode, bool createSuspended, TMyProgressBar* progressBar,
                 TPreviewBox* box, const std::string& scriptText, TFxRenderThread* renderThread,
                 const TLayerBox* layerBox, const TFilmSettingsData& settings);
  // Stops the work (DoNothingAndTerminate) and joins the thread.
  ~TMakeAviThread();
  TMakeAviThread(const TMakeAviThread&) = delete;
  TMakeAviThread& operator=(const TMakeAviThread&) = delete;

  // Sets started and resumes the thread, unless it has terminated.
  void StartThread();
  // Asks the work to stop and waits, at most 15000 ms, for the thread to end; returns as
  // soon as it has. ProcessMessages runs every 333 ms of the wait.
  void DoNothingAndTerminate();
  // Asks the work to stop without waiting (a window waits with its events running).
  void RequestStop();
  // Waits at most ms for the end of the thread; true when it has ended.
  bool WaitFor(int ms);
  std::string GetErrorText() const;

  // Ignored after termination; a non-zero mode needs a box.
  void SetPreviewBox(TPreviewBox* box);
  void SetPreviewMode(TPreviewMode mode);
  TPreviewMode PreviewMode() const { return FPreviewMode; }

  // Writing on a thread of its own (default true); set before StartThread.
  void SetPipeline(bool on) { FPipeline = on; }
  // Called at the end of the work, on the film thread (the done callback).
  std::function<void()> OnDone;
  // Called last on the film thread, after the thread counts as terminated.
  std::function<void()> OnTerminate;
  // (The destructor detaches both and waits for a call under way: they hand their work to
  // another thread and never wait for one.)
  // Called while DoNothingAndTerminate waits (the window processes its messages).
  std::function<void()> ProcessMessages;

  bool Terminated() const { return FTerminated; }
  bool Started() const { return FStarted; }
  TMakeAviError Error() const { return FError; }
  int BadBlockCount() const { return FBadBlockCount; }
  int GoodBlockCount() const { return FGoodBlockCount; }
  int CurrentTime() const { return FCurrentTime; }
  // Files of a picture sequence saved so far.
  int SequenceCount() const { return FSequenceCount; }
  int AudioBlocksMade() const { return FAudioBlocks; }

  const TFilmSettingsData& Settings() const { return FSettings; }
  bool MakeVideo() const { return FMakeVideo; }
  bool MakeSound() const { return FMakeSound; }
  bool SoundFirst() const { return FSoundFirst; }
  bool WriteOutput() const { return FWriteOutput; }
  double FrameDuration() const { return FFrameDuration; }
  int StepTimeDuration() const { return FStepTimeDuration; }
  const WAVEFORMATEX& PcmFormat() const { return FPcmFormat; }
  const WAVEFORMATEX& DestFormat() const { return FDestFormat; }
  const TRangeList& Ranges() const { return FRanges; }
  // The files the writer made (the film and its continuation files), known at the end.
  int ContinuationCount() const { return FContinuationCount; }
  // The files the film left under their names (the film and its continuation files, or
  // the pictures), known at the end; none when it failed.
  const std::vector<std::string>& Files() const { return FFiles; }

  // "%s%.4d%s": the name of picture k of a sequence.
  static std::string SequenceFileName(const std::string& baseName, int k, TOutputKind outputKind);

 private:
  struct TJob;
  void Execute();
  bool InitAnimation();
  void EndExecute();
  void DoneAviMaker();
  void LeaveFilmMode();
  bool MakeAudio(int start, int len);
  // The sound blocks from start for len ms, mixed (touches the sound engine only).
  std::vector<TJob> MixSound(int start, int len);
  // Hands mixed blocks to the writer in order; false when the writer failed.
  bool SubmitSound(std::vector<TJob>&& jobs);
  // Frames k, k + 1, ... of the grid round(k x FrameDuration + gridStart) before end.
  bool MakeAnimation(int gridStart, int k, int end);
  void ShowPreview(const TDIB& frame);

  // Jobs for the writer: done at once, or queued for the writer thread.
  void Submit(TJob&& job);
  size_t QueueLength() const;
  void RunJob(TJob& job);
  void Drain();
  void WriterLoop();
  void StopWriter();
  bool WriterFailed() const { return FWriterFailed; }

  TWindowHandle FOwner;
  TFilmSettingsData FSettings;
  bool FMakeVideo = false, FMakeSound = false, FWriteOutput = true, FSoundFirst = false;
  std::atomic<TPreviewMode> FPreviewMode{pmNone};
  TDIB FFrame;        // the render thread draws here
  TDIB FWriterFrame;  // the writer compresses this one
  TDIB FPreview;
  TAVIData FAviData;
  TStoredPicture FStored;  // the sink's picture, until a job takes it
  TRangeList FRanges;
  const TLayerBox* FLayerBox;
  TFxRenderThread* FRenderThread;
  std::atomic<TPreviewBox*> FBox{nullptr};
  TMyProgressBar* FProgress;
  std::string FScript;
  std::unique_ptr<TFilmWriter> FAviMaker;  // the AVI or MP4 writer
  mutable std::mutex FMakerLock;  // the maker between the film thread and the writer thread
  std::unique_ptr<TAudioEngine> FAudioEngine;
  std::unique_ptr<TAudioPcmManager> FPcm;
  WAVEFORMATEX FPcmFormat{};
  WAVEFORMATEX FDestFormat{};
  double FFrameDuration = 40;
  int FStepTimeDuration = 1000;
  std::string FBaseName;
  bool FWriting = false;

  std::atomic<int> FGoodBlockCount{0};
  std::atomic<int> FBadBlockCount{0};
  std::atomic<int> FBadTime{0};
  std::atomic<int> FCurrentTime{0};
  std::atomic<int> FSequenceCount{0};
  std::atomic<int> FAudioBlocks{0};
  int FContinuationCount = 0;
  TFilmOutput FSequenceOutput;  // the pictures of a sequence until it ends
  std::vector<std::string> FFiles;
  std::atomic<bool> FStarted{false}, FStop{false}, FTerminated{false};
  std::atomic<TMakeAviError> FError{meNone};
  std::string FErrorText;

  std::thread FThread;
  std::mutex FRunLock;
  bool FResumed = false;  // the thread was made
  // Started, stop and terminated change under FStateLock and are signalled on FStateSignal
  // (the start gate and the waits for the end).
  std::mutex FStateLock;
  std::condition_variable FStateSignal;
  void SetStateFlag(std::atomic<bool>& flag);
  // OnDone and OnTerminate are called, and detached by the destructor, under this lock.
  std::mutex FCallbackLock;

  // the writer thread
  bool FPipeline = true;
  std::thread FWriterThread;
  std::mutex FQueueLock;
  std::condition_variable FQueueSignal;
  std::deque<TJob> FQueue;
  std::vector<TDIB> FFreeFrames;
  bool FWriterBusy = false, FWriterQuit = false;
  std::atomic<bool> FWriterFailed{false};
};

}  // namespace movara
