#pragma once
// TDvController: drives a DV camera. It captures from the camera into a DV AVI file,
// shows the camera's picture, previews DV AVI files, and sends a list of DV AVI files
// to the camera's tape. One graph per working mode is built step by step; a failing
// step shows its numbered message (DvMessages.h) and leaves no graph.
//
// Threads: the calls come from one (the user-interface) thread. The graph calls
// OnGraphNotify from its own thread when events wait; the owner hands that to its
// thread and calls ServiceNotify there. The owner calls OnTimer every TimerInterval ms
// while TimerEnabled(). Pictures for the preview come to OnPicture on graph threads.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Dib.h"
#include "platform/dvgraph/DvGraph.h"

namespace movara {

enum DvMode {
  dmNone, dmCaptureToFile, dmCameraPreview, dmCaptureWithPreview, dmFilePreview, dmFileToCamera,
  dmFileToCameraWithPreview
};

// A time for the display: hours, minutes, seconds and frames (of the tape's time code)
// or hundredths (of a played file).
struct TDvTime {
  int Hours = 0;
  int Minutes = 0;
  int Seconds = 0;
  int Frames = 0;
  bool operator==(const TDvTime&) const = default;
};

struct TDvRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool operator==(const TDvRect&) const = default;
};

// A position in a played file as hours (up to 23), minutes, seconds and hundredths.
TDvTime DvFileTime(double seconds);

// Hours, minutes, seconds and frames of a binary-coded time code, each clamped (23, 59,
// 59, 24).
TDvTime DvDecodeTimeCode(uint32_t bcd);

// The list of files to preview or send to the camera.
class TPlayList {
 public:
  void Clear();
  // Only an existing file is added; false otherwise.
  bool Add(const std::string& fileName);
  void Assign(const std::vector<std::string>& files);  // the existing ones of them
  int Count() const { return static_cast<int>(FFiles.size()); }
  const std::vector<std::string>& Files() const { return FFiles; }
  // The current file ("" when none), and the move to the next (-1 at the end).
  std::string Current() const;
  int Index() const { return FIndex; }
  void First() { FIndex = FFiles.empty() ? -1 : 0; }
  int Next();

 private:
  std::vector<std::string> FFiles;
  int FIndex = -1;
};

class TDvController {
 public:
  static constexpr int TimerInterval = 99;
  static constexpr int StateWaitMs = 5000;
  static constexpr int RecordWaitMs = 10000;
  // Capture stops when fewer KB than this remain below the size limit.
  static constexpr int64_t SizeLimitReserveKB = 16384;

  // clock: the clock of the capture start and the time limit (the system's by default).
  explicit TDvController(std::shared_ptr<IDvClock> clock = nullptr);
  ~TDvController();
  TDvController(const TDvController&) = delete;
  TDvController& operator=(const TDvController&) = delete;

  // Callbacks.
  std::function<void(const TDvTime& time, int64_t kbWritten)> OnTimeDisplay;  // kb -1: none
  std::function<void()> OnTick;
  std::function<void()> OnLimitReached;
  std::function<void()> OnEndOfList;
  std::function<void(int width, int height)> OnPictureSize;
  std::function<void()> OnGraphNotify;               // any thread
  std::function<void(const TDIB&)> OnPicture;        // any thread

  DvMode Mode() const { return FMode; }
  // Builds the mode's graph (keeps it when the camera is there and the mode is the
  // same). False, with the message shown and no graph, when a step fails.
  bool SetMode(DvMode mode);
  const std::string& CameraName() const { return FCameraName; }
  bool HasCamera() const { return FCamera != nullptr; }
  int PictureWidth() const { return FPictureWidth; }
  int PictureHeight() const { return FPictureHeight; }
  // The preview's place in a panel of this client size.
  void SetPreviewPanelSize(int width, int height);
  TDvRect VideoWindowRect() const { return FVideoRect; }

  // Graph control.
  bool Run();
  bool Pause();
  bool Stop();
  TDvGraphState GraphState();

  // Capture (mode 1).
  bool StartCapture();
  void StopCapture();
  bool Capturing() const { return FMode == dmCaptureToFile && FCaptureRunning; }
  void SetCaptureFileName(const std::string& name) { FCaptureFileName = name; }
  const std::string& CaptureFileName() const { return FCaptureFileName; }
  void SetTimeLimit(bool on, int64_t ms) { FTimeLimitOn = on; FTimeLimitMs = ms; }
  void SetSizeLimit(bool on, int64_t kb) { FSizeLimitOn = on; FSizeLimitKB = kb; }
  void SetStopTapeAfterCapture(bool on) { FStopTapeAfterCapture = on; }
  void SetPreviewAfterCapture(bool on) { FPreviewAfterCapture = on; }
  int64_t KBWritten() const { return FKBWritten; }

  // Camera preview (mode 2).
  bool StartCameraPreview();
  void StopCameraPreview();
  // File preview (mode 4) from the first list file.
  bool StartFilePreview(bool paused);
  void StopFilePreview();
  void SetRestartPreview(bool on) { FRestartPreview = on; }
  // Sending the list to the camera (mode 5) from the first list file, paused; with
  // recordOnTape every pause puts the tape into record freeze and every run into record.
  bool StartSendToCamera(bool recordOnTape);
  void StopSendToCamera();
  bool Sending() const { return FMode == dmFileToCamera || FMode == dmFileToCameraWithPreview; }

  // Tape transport.
  int TransportMode();
  bool Play();
  bool StopTape();
  bool Freeze();
  bool FastForward();
  bool Rewind();
  bool StepForward();
  bool StepBack();
  bool Record();
  bool RecordFreeze();
  // Which command is possible now.
  bool CanPlay();
  bool CanFreeze();
  bool CanStopTape();
  bool CanFastForward();
  bool CanRewind();
  bool CanStep();
  bool MediumPresent();
  bool WriteProtected();
  // The tape's time code now; false without one.
  bool TimeCode(TDvTime& time);

  // Position in the played file.
  double MediaPosition();
  double MediaDuration();
  void StepMediaPosition(double step);  // +0.04 or -0.04
  void SetNewMediaPosition(double seconds);

  TPlayList& PlayList() { return FPlayList; }

  // The 99 ms timer.
  bool TimerEnabled() const { return FTimerEnabled; }
  void OnTimer();
  // Drains the graph's events (on the owner's thread).
  void ServiceNotify();

  void SetLanguage(int language) { FLanguage = language; }
  int Language() const { return FLanguage; }

 private:
  bool FindCamera();
  bool BuildGraph(DvMode mode);
  bool BuildFileChain(DvMode mode);
  bool BuildDecoderChain(TDvFilterKind from);
  bool ConnectVideoWindow();
  bool Fail(int message, HRESULT result);
  void TearDown();
  bool NextListFile();
  void ShowTime(const TDvTime& time, int64_t kb);
  int64_t Now() { return FClock->NowMs(); }
  bool SetTransport(int mode, bool wait);

  std::shared_ptr<IDvClock> FClock;
  std::unique_ptr<IDvCamera> FCamera;
  std::unique_ptr<IDvGraph> FGraph;
  DvMode FMode = dmNone;
  std::string FCameraName;
  std::string FCaptureFileName = "capture.avi";
  int FPictureWidth = 0;
  int FPictureHeight = 0;
  int FPanelWidth = 0;
  int FPanelHeight = 0;
  TDvRect FVideoRect;
  bool FTimerEnabled = false;
  int64_t FCaptureStart = 0;
  bool FCaptureRunning = false;
  bool FTimeLimitOn = false;
  int64_t FTimeLimitMs = 0;
  bool FSizeLimitOn = false;
  int64_t FSizeLimitKB = 0;
  int64_t FKBWritten = -1;
  bool FStopTapeAfterCapture = true;
  bool FPreviewAfterCapture = false;
  bool FRestartPreview = false;
  bool FRecordOnTape = false;
  TPlayList FPlayList;
  int FLanguage = 1;
};

}  // namespace movara
