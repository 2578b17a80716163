#include "dv/DvController.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "base/AppPaths.h"
#include "base/Clock.h"
#include "base/Trace.h"
#include "base/UserMessages.h"
#include "dv/DvMessages.h"

namespace movara {

namespace {

bool ContainsDv(const std::string& name) {
  for (size_t i = 0; i + 1 < name.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(name[i])) == 'D' &&
        std::toupper(static_cast<unsigned char>(name[i + 1])) == 'V')
      return true;
  return false;
}

int FromBcd(uint32_t v) { return static_cast<int>((v >> 4 & 0xF) * 10 + (v & 0xF)); }

}  // namespace

TDvTime DvDecodeTimeCode(uint32_t bcd) {
  TDvTime t;
  t.Hours = std::min(FromBcd(bcd >> 24 & 0xFF), 23);
  t.Minutes = std::min(FromBcd(bcd >> 16 & 0xFF), 59);
  t.Seconds = std::min(FromBcd(bcd >> 8 & 0xFF), 59);
  t.Frames = std::min(FromBcd(bcd & 0xFF), 24);
  return t;
}

TDvTime DvFileTime(double seconds) {
  const int64_t hundredths = std::llround(std::max(seconds, 0.0) * 100.0);
  TDvTime t;
  t.Hours = static_cast<int>(std::min<int64_t>(hundredths / 360000, 23));
  t.Minutes = static_cast<int>(hundredths / 6000 % 60);
  t.Seconds = static_cast<int>(hundredths / 100 % 60);
  t.Frames = static_cast<int>(hundredths % 100);
  return t;
}

void TPlayList::Clear() {
  FFiles.clear();
  FIndex = -1;
}

bool TPlayList::Add(const std::string& fileName) {
  if (!FileExists(fileName)) return false;
  FFiles.push_back(fileName);
  return true;
}

void TPlayList::Assign(const std::vector<std::string>& files) {
  Clear();
  for (const std::string& f : files) Add(f);
}

std::string TPlayList::Current() const {
  return FIndex >= 0 && FIndex < Count() ? FFiles[static_cast<size_t>(FIndex)] : std::string();
}

int TPlayList::Next() {
  if (FIndex >= 0 && FIndex + 1 < Count()) return ++FIndex;
  FIndex = -1;
  return -1;
}

TDvController::TDvController(std::shared_ptr<IDvClock> clock)
    : FClock(clock ? std::move(clock) : DvSystemClock()) {}

TDvController::~TDvController() {
  if (Capturing()) StopCapture();
  else if (FMode == dmCameraPreview) StopCameraPreview();
  else if (FMode == dmFilePreview) StopFilePreview();
  else if (Sending()) StopSendToCamera();
  SleepMs(33);
  TearDown();
}

bool TDvController::Fail(int message, HRESULT result) {
  TraceF("[TDvController] step %d failed: $%X", message, static_cast<unsigned>(result));
  ShowMessage(DvMessageText(message, result, FLanguage), TMsgKind::Warning);
  TearDown();
  return false;
}

void TDvController::TearDown() {
  if (FGraph) FGraph->Stop();
  FGraph.reset();
  FTimerEnabled = false;
  FCaptureRunning = false;
  FMode = dmNone;
}

bool TDvController::FindCamera() {
  if (FCamera) return true;
  std::vector<std::string> names;
  HRESULT r = DvEnumerateDevices(names);
  if (FAILED(r)) return Fail(48, r);
  auto it = std::find_if(names.begin(), names.end(), ContainsDv);
  if (it == names.end()) return Fail(48, VFW_E_NOT_FOUND);
  r = DvOpenDevice(*it, FCamera);
  if (FAILED(r) || !FCamera) {
    FCamera.reset();
    return Fail(1, FAILED(r) ? r : E_FAIL);
  }
  FCameraName = *it;
  if (FCamera->OutputPinCount() < 1) {
    FCamera.reset();
    return Fail(2, VFW_E_NOT_FOUND);
  }
  if (FCamera->InputPinCount() < 1) {
    FCamera.reset();
    return Fail(3, VFW_E_NOT_FOUND);
  }
  int w = 0, h = 0;
  bool dvInfo = false;
  r = FCamera->StreamConfig(w, h, dvInfo);
  if (FAILED(r)) {
    FCamera.reset();
    return Fail(4, r);
  }
  FPictureWidth = dvInfo ? 0 : w;
  FPictureHeight = dvInfo ? 0 : std::abs(h);
  SetPreviewPanelSize(FPanelWidth, FPanelHeight);
  if (OnPictureSize) OnPictureSize(FPictureWidth, FPictureHeight);
  return true;
}

void TDvController::SetPreviewPanelSize(int width, int height) {
  FPanelWidth = width;
  FPanelHeight = height;
  if (FPictureWidth < 10 || FPictureHeight < 10)
    FVideoRect = TDvRect{2, 2, std::max(width - 2, 2), std::max(height - 2, 2)};
  else
    FVideoRect = TDvRect{0, 0, FPictureWidth / 4, FPictureHeight / 4};
}

bool TDvController::SetMode(DvMode mode) {
  if (mode == dmCaptureWithPreview) {
    ShowMessage(DvMessageText(24, 0, FLanguage), TMsgKind::Warning);
    return false;
  }
  if (FCamera && FGraph && mode == FMode) return true;
  TearDown();
  if (mode == dmNone) return true;
  if (!FindCamera()) return false;
  if (!BuildGraph(mode)) return false;
  FMode = mode;
  return true;
}

bool TDvController::BuildGraph(DvMode mode) {
  HRESULT r = FCamera->CreateGraph(FGraph);
  if (FAILED(r) || !FGraph) return Fail(5, r);
  if (HRESULT q = FGraph->QueryMediaControl(); FAILED(q)) return Fail(33, q);
  FGraph->SetNotify([this] {
    if (OnGraphNotify) OnGraphNotify();
  });
  const bool needCamera = mode == dmCaptureToFile || mode == dmCameraPreview;
  if (needCamera) {
    if (FAILED(r = FGraph->AddCamera("MsCamcoder"))) return Fail(6, r);
    if (FAILED(r = FGraph->CreateFilter(dfDvSplitter))) return Fail(7, r);
    if (FAILED(r = FGraph->AddFilter(dfDvSplitter, "DvSplitter"))) return Fail(8, r);
    if (FAILED(r = FGraph->Connect(dfCamera, dfDvSplitter))) return Fail(9, r);
  }
  if (mode == dmCaptureToFile) {
    if (FAILED(r = FGraph->CreateFilter(dfAviMuxFileWriter))) return Fail(10, r);
    if (FAILED(r = FGraph->QueryFileSink())) return Fail(11, r);
    if (FAILED(r = FGraph->SetOutputFileName(FCaptureFileName))) return Fail(12, r);
    if (FAILED(r = FGraph->AddFilter(dfAviMuxFileWriter, "AviMuxFileWriter2GB"))) return Fail(13, r);
    if (FAILED(r = FGraph->Connect(dfDvSplitter, dfAviMuxFileWriter))) return Fail(14, r);
    return true;
  }
  if (mode == dmCameraPreview) return BuildDecoderChain(dfDvSplitter);
  return BuildFileChain(mode);
}

bool TDvController::BuildDecoderChain(TDvFilterKind from) {
  HRESULT r;
  if (FAILED(r = FGraph->CreateFilter(dfDvVideoDecoder))) return Fail(15, r);
  if (FAILED(r = FGraph->AddFilter(dfDvVideoDecoder, "DvVideoDecoder"))) return Fail(16, r);
  if (FAILED(r = FGraph->Connect(from, dfDvVideoDecoder))) return Fail(17, r);
  if (FAILED(r = FGraph->CreateFilter(dfVideoRenderer))) return Fail(18, r);
  if (FAILED(r = FGraph->AddFilter(dfVideoRenderer, "VideoRenderer"))) return Fail(19, r);
  if (FAILED(r = FGraph->Connect(dfDvVideoDecoder, dfVideoRenderer))) return Fail(20, r);
  if (FAILED(r = FGraph->CreateFilter(dfAudioRenderer))) return Fail(21, r);
  if (FAILED(r = FGraph->AddFilter(dfAudioRenderer, "AudioRenderer"))) return Fail(22, r);
  if (FAILED(r = FGraph->Connect(from, dfAudioRenderer))) return Fail(23, r);
  return ConnectVideoWindow();
}

bool TDvController::ConnectVideoWindow() {
  HRESULT r = FGraph->SetVideoWindow([this](const TDIB& picture) {
    if (OnPicture) OnPicture(picture);
  });
  if (FAILED(r)) return Fail(0, r);
  return true;
}

bool TDvController::BuildFileChain(DvMode mode) {
  if (mode == dmFileToCameraWithPreview) {
    ShowMessage("Brak implementacji kodu automatycznej zmiany nazwy pliku zapisu z podglądem!", TMsgKind::Warning);
    TearDown();
    return false;
  }
  if (FPlayList.Index() < 0) FPlayList.First();
  HRESULT r;
  if (FAILED(r = FGraph->CreateFilter(dfFileSource))) return Fail(35, r);
  if (FAILED(r = FGraph->AddFilter(dfFileSource, "FileSourceFilter"))) return Fail(36, r);
  if (FAILED(r = FGraph->LoadSourceFile(FPlayList.Current()))) return Fail(37, r);
  if (FAILED(r = FGraph->CreateFilter(dfAviSplitter))) return Fail(38, r);
  if (FAILED(r = FGraph->AddFilter(dfAviSplitter, "AviSplitterFilter"))) return Fail(39, r);
  if (FAILED(r = FGraph->Connect(dfFileSource, dfAviSplitter))) return Fail(40, r);
  if (mode == dmFilePreview) return BuildDecoderChain(dfAviSplitter);
  if (FAILED(r = FGraph->CreateFilter(dfDvMux))) return Fail(41, r);
  if (FAILED(r = FGraph->AddFilter(dfDvMux, "DvMux"))) return Fail(42, r);
  if (FAILED(r = FGraph->Connect(dfAviSplitter, dfDvMux))) return Fail(43, r);
  if (FAILED(r = FGraph->AddCamera("MsCamcoder"))) return Fail(6, r);
  if (FAILED(r = FGraph->Connect(dfDvMux, dfCamera))) return Fail(44, r);
  return true;
}

TDvGraphState TDvController::GraphState() {
  TDvGraphState s = gsStopped;
  if (!FGraph) return s;
  const HRESULT r = FGraph->GetState(StateWaitMs, s);
  // A change still under way counts as done; a graph that cannot cue counts as paused.
  if (r == VFW_S_CANT_CUE) s = gsPaused;
  return s;
}

bool TDvController::Run() {
  if (!FGraph) return false;
  if (GraphState() == gsRunning) return true;
  if (FMode == dmFileToCamera && FRecordOnTape) SetTransport(ED_MODE_RECORD, true);
  HRESULT r = FGraph->Run();
  if (r == S_FALSE) GraphState();
  if (FAILED(r)) {
    ShowMessage(DvMessageText(30, r, FLanguage), TMsgKind::Warning);
    FGraph->Stop();
    ShowMessage(DvMessageText(31, r, FLanguage), TMsgKind::Warning);
    FTimerEnabled = false;
    return false;
  }
  FTimerEnabled = true;
  return true;
}

bool TDvController::Pause() {
  if (!FGraph) return false;
  if (GraphState() == gsPaused) return true;
  if (FMode == dmFileToCamera && FRecordOnTape) SetTransport(ED_MODE_RECORD_FREEZE, true);
  HRESULT r = FGraph->Pause();
  if (r == S_FALSE) GraphState();
  if (FAILED(r)) {
    ShowMessage(DvMessageText(47, r, FLanguage), TMsgKind::Warning);
    FGraph->Stop();
    return false;
  }
  return true;
}

bool TDvController::Stop() {
  if (!FGraph) return false;
  FTimerEnabled = false;
  const HRESULT r = FGraph->Stop();
  if (FAILED(r)) {
    ShowMessage(DvMessageText(32, r, FLanguage), TMsgKind::Warning);
    return false;
  }
  return true;
}

bool TDvController::StartCapture() {
  if (!SetMode(dmCaptureToFile)) return false;
  FKBWritten = -1;
  if (!Run()) {
    TearDown();
    return false;
  }
  if (FCamera) FCamera->TransportSet(ED_MODE_PLAY);
  FCaptureStart = Now();
  FCaptureRunning = true;
  return true;
}

void TDvController::StopCapture() {
  if (FMode != dmCaptureToFile) return;
  if (FStopTapeAfterCapture && TransportMode() == ED_MODE_PLAY) {
    FCamera->TransportSet(ED_MODE_FREEZE);
    SleepMs(111);
  }
  Stop();
  FCaptureRunning = false;
  if (FPreviewAfterCapture) StartCameraPreview();
}

bool TDvController::StartCameraPreview() {
  if (!SetMode(dmCameraPreview)) return false;
  return Run();
}

void TDvController::StopCameraPreview() {
  if (FMode != dmCameraPreview) return;
  Stop();
}

bool TDvController::StartFilePreview(bool paused) {
  if (FPlayList.Count() == 0) return false;
  TearDown();
  FPlayList.First();
  if (!SetMode(dmFilePreview)) return false;
  return paused ? Pause() : Run();
}

void TDvController::StopFilePreview() {
  if (FMode != dmFilePreview) return;
  Stop();
  SetMode(dmNone);
}

bool TDvController::StartSendToCamera(bool recordOnTape) {
  if (FPlayList.Count() == 0) return false;
  TearDown();
  FPlayList.First();
  FRecordOnTape = recordOnTape;
  if (!SetMode(dmFileToCamera)) return false;
  return Pause();
}

void TDvController::StopSendToCamera() {
  if (!Sending()) return;
  Stop();
  // The tape leaves record when sending ends, so what was recorded stays as it is.
  if (FRecordOnTape && FCamera) {
    const int m = TransportMode();
    if (m == ED_MODE_RECORD || m == ED_MODE_RECORD_FREEZE) FCamera->TransportSet(ED_MODE_STOP);
  }
  SetMode(dmNone);
}

int TDvController::TransportMode() {
  int m = 0;
  if (!FCamera || FAILED(FCamera->TransportGet(m))) return 0;
  return m;
}

bool TDvController::SetTransport(int mode, bool wait) {
  if (!FCamera) return false;
  if (FAILED(FCamera->TransportSet(mode))) return false;
  if (wait && FAILED(FCamera->TransportWait(mode, RecordWaitMs))) {
    TraceF("[TDvController.SetTransport] the transport did not reach %d", mode);
    return false;
  }
  return true;
}

bool TDvController::Play() { return SetTransport(TransportMode() == ED_MODE_FREEZE ? ED_MODE_THAW : ED_MODE_PLAY, false); }
bool TDvController::StopTape() { return SetTransport(ED_MODE_STOP, false); }
bool TDvController::Freeze() { return SetTransport(ED_MODE_FREEZE, false); }
bool TDvController::FastForward() {
  // Playing without a sound renderer winds at the fastest speed.
  const bool fastest = TransportMode() == ED_MODE_PLAY && FMode != dmCameraPreview;
  return SetTransport(fastest ? ED_MODE_PLAY_FASTEST_FWD : ED_MODE_FF, false);
}
bool TDvController::Rewind() {
  const bool fastest = TransportMode() == ED_MODE_PLAY && FMode != dmCameraPreview;
  return SetTransport(fastest ? ED_MODE_PLAY_FASTEST_REV : ED_MODE_REW, false);
}
bool TDvController::StepForward() { return SetTransport(ED_MODE_STEP_FWD, false); }
bool TDvController::StepBack() { return SetTransport(ED_MODE_STEP_REV, false); }
bool TDvController::Record() { return SetTransport(ED_MODE_RECORD, true); }
bool TDvController::RecordFreeze() { return SetTransport(ED_MODE_RECORD_FREEZE, true); }

// The commands of the capture window, in camera preview only. Play as the camera's own
// buttons allow it; the others chosen alike (see each).
bool TDvController::CanPlay() {
  if (FMode != dmCameraPreview || !MediumPresent()) return false;
  const int m = TransportMode();
  return m == ED_MODE_STOP || m == ED_MODE_FREEZE || m == ED_MODE_FF || m == ED_MODE_REW || m == ED_MODE_SHUTTLE;
}
// Pause holds a playing or shuttling picture.
bool TDvController::CanFreeze() {
  if (FMode != dmCameraPreview || !MediumPresent()) return false;
  const int m = TransportMode();
  return m == ED_MODE_PLAY || m == ED_MODE_SHUTTLE || m == ED_MODE_PLAY_FASTEST_FWD || m == ED_MODE_PLAY_FASTEST_REV;
}
// Stop from any moving or held state.
bool TDvController::CanStopTape() {
  if (FMode != dmCameraPreview || !MediumPresent()) return false;
  const int m = TransportMode();
  return m != 0 && m != ED_MODE_STOP;
}
// Winding from stop, pause, play, shuttle or the other direction; not while winding
// the same way already.
bool TDvController::CanFastForward() {
  if (FMode != dmCameraPreview || !MediumPresent()) return false;
  const int m = TransportMode();
  return m != ED_MODE_FF && m != ED_MODE_PLAY_FASTEST_FWD && m != ED_MODE_RECORD && m != ED_MODE_RECORD_FREEZE;
}
bool TDvController::CanRewind() {
  if (FMode != dmCameraPreview || !MediumPresent()) return false;
  const int m = TransportMode();
  return m != ED_MODE_REW && m != ED_MODE_PLAY_FASTEST_REV && m != ED_MODE_RECORD && m != ED_MODE_RECORD_FREEZE;
}
// Frame steps from a held picture only.
bool TDvController::CanStep() {
  if (FMode != dmCameraPreview || !MediumPresent()) return false;
  return TransportMode() == ED_MODE_FREEZE;
}

bool TDvController::MediumPresent() { return FCamera && FCamera->MediumPresent(); }
bool TDvController::WriteProtected() { return FCamera && FCamera->WriteProtected(); }

bool TDvController::TimeCode(TDvTime& time) {
  TDvTimeCode tc;
  if (!FCamera || FAILED(FCamera->TimeCode(tc))) return false;
  time = DvDecodeTimeCode(tc.dwFrames);
  return true;
}

double TDvController::MediaPosition() {
  double s = 0;
  if (!FGraph || FAILED(FGraph->GetPosition(s))) return 0;
  return s;
}

double TDvController::MediaDuration() {
  double s = 0;
  if (!FGraph || FAILED(FGraph->GetDuration(s))) return 0;
  return s;
}

void TDvController::StepMediaPosition(double step) { SetNewMediaPosition(MediaPosition() + step); }

void TDvController::SetNewMediaPosition(double seconds) {
  if (!FGraph) return;
  const double pos = std::max(0.0, std::min(seconds, MediaDuration()));
  const HRESULT r = FGraph->SetPosition(pos);
  if (FAILED(r)) TraceF("[DvController:TDvController.SetNewMediaPosition] Error nr $%x", static_cast<unsigned>(r));
}

void TDvController::ShowTime(const TDvTime& time, int64_t kb) {
  if (OnTimeDisplay) OnTimeDisplay(time, kb);
}

void TDvController::OnTimer() {
  if (!FTimerEnabled) return;
  switch (FMode) {
    case dmCaptureToFile:
      if (FTimeLimitOn && Now() - FCaptureStart >= FTimeLimitMs) {
        FTimerEnabled = false;
        if (OnLimitReached) OnLimitReached();
      }
      break;
    case dmCameraPreview: {
      const int m = TransportMode();
      TDvTime t;
      if (m != ED_MODE_FF && m != ED_MODE_REW && m != ED_MODE_STEP_FWD && m != ED_MODE_STEP_REV) TimeCode(t);
      ShowTime(t, -1);
      if (OnTick) OnTick();
      break;
    }
    case dmFilePreview:
    case dmFileToCamera:
    case dmFileToCameraWithPreview: {
      ShowTime(DvFileTime(MediaPosition()), -1);
      break;
    }
    default: break;
  }
}

void TDvController::ServiceNotify() {
  TDvEvent e;
  while (FGraph && FGraph->GetEvent(e)) {
    if (FMode == dmCameraPreview) {
      if (e.Code == EC_ERRORABORT) break;
      if (e.Code == EC_TIMECODE_AVAILABLE) {
        TDvTime t;
        if (TimeCode(t)) ShowTime(t, -1);
      }
    } else if (FMode == dmCaptureToFile) {
      if (e.Code == EC_CAPTURE_KB_WRITTEN) {
        FKBWritten = e.Param1;
        TDvTime t;
        TimeCode(t);
        ShowTime(t, FKBWritten);
        if (FSizeLimitOn && FSizeLimitKB - FKBWritten < SizeLimitReserveKB) {
          if (OnLimitReached) OnLimitReached();
        }
      } else if (e.Code == EC_ERRORABORT) {
        StopCapture();
        ShowMessage(DvMessageText(34, static_cast<int>(e.Param1), FLanguage), TMsgKind::Warning);
        break;
      }
    } else if (FMode == dmFilePreview || Sending()) {
      if (e.Code == EC_COMPLETE && NextListFile()) continue;
      if (e.Code == EC_COMPLETE || e.Code == EC_ERRORABORT) {
        const bool sending = Sending();
        Stop();
        if (sending && OnEndOfList) OnEndOfList();
        if (FRestartPreview && FMode == dmFilePreview) {
          FPlayList.First();
          StartFilePreview(true);
        }
        break;
      }
    }
  }
}

bool TDvController::NextListFile() {
  if (FPlayList.Next() < 0) return false;
  Stop();
  HRESULT r;
  FGraph->RemoveFilter(dfFileSource);
  FGraph->RemoveFilter(dfAviSplitter);
  if (FAILED(r = FGraph->CreateFilter(dfFileSource))) return Fail(35, r);
  if (FAILED(r = FGraph->AddFilter(dfFileSource, "FileSourceFilter"))) return Fail(36, r);
  if (FAILED(r = FGraph->LoadSourceFile(FPlayList.Current()))) return Fail(37, r);
  if (FAILED(r = FGraph->CreateFilter(dfAviSplitter))) return Fail(38, r);
  if (FAILED(r = FGraph->AddFilter(dfAviSplitter, "AviSplitterFilter"))) return Fail(39, r);
  if (FAILED(r = FGraph->Connect(dfFileSource, dfAviSplitter))) return Fail(40, r);
  if (FMode == dmFilePreview) {
    if (FAILED(r = FGraph->Connect(dfAviSplitter, dfDvVideoDecoder))) return Fail(27, r);
    // A file without sound plays without the sound renderer.
    FGraph->Connect(dfAviSplitter, dfAudioRenderer);
  } else if (FMode == dmFileToCamera) {
    if (FAILED(r = FGraph->Connect(dfAviSplitter, dfDvMux))) return Fail(45, r);
  } else {
    ShowMessage("Brak implementacji kodu automatycznej zmiany nazwy pliku zapisu z podglądem!", TMsgKind::Warning);
    return false;
  }
  return Run();
}

}  // namespace movara
