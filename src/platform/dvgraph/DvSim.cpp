// The simulated camera: a deck whose tape is a DV AVI file, moved on a clock, and the
// graphs that capture from it, preview it, play files and record them onto it.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "base/Clock.h"
#include "base/MyIniFile.h"
#include "base/Trace.h"
#include "platform/codecs/VideoDecoder.h"
#include "platform/codecs/VideoFormat.h"
#include "platform/dvgraph/DvAviFile.h"
#include "platform/dvgraph/DvDif.h"
#include "platform/dvgraph/DvGraph.h"
#include "platform/dvgraph/DvGraphImpl.h"

namespace movara {

namespace {

class TSystemClock : public IDvClock {
 public:
  int64_t NowMs() override { return movara::NowMs(); }
  bool RealTime() const override { return true; }
};

std::mutex gSettingsLock;
TDvSimSettings gSettings;

class TSimGraph;

struct TTapeFrame {
  std::vector<uint8_t> Dv;
  std::vector<int16_t> Pcm;
};

// Tape speeds in frames per second of the clock.
int Speed(int mode) {
  switch (mode) {
    case ED_MODE_PLAY: return 25;
    case ED_MODE_FF: return 250;
    case ED_MODE_REW: return -250;
    case ED_MODE_PLAY_FASTEST_FWD: return 750;
    case ED_MODE_PLAY_FASTEST_REV: return -750;
    default: return 0;
  }
}

// The deck: the tape, its position and the transport. One per process; every open
// camera of the simulator and its graphs share it.
class TSimDeck {
 public:
  std::mutex Lock;

  void Configure(const TDvSimSettings& s) {
    std::lock_guard<std::mutex> g(Lock);
    FlushLocked();
    if (auto* manual = dynamic_cast<TManualDvClock*>(Clock.get())) manual->SetListener(nullptr);
    if (auto* manual = dynamic_cast<TManualDvClock*>(s.Clock.get()))
      manual->SetListener([this] {
        std::lock_guard<std::mutex> l(Lock);
        UpdateLocked();
      });
    Settings = s;
    Clock = s.Clock ? s.Clock : DvSystemClock();
    LastMs = Clock->NowMs();
    Pos = 0;
    Mode = ED_MODE_STOP;
    Reader.reset();
    Written.clear();
    TapeFrames = 0;
    TapeLoaded = false;
  }

  HRESULT Fault(TDvStep step, TDvFilterKind kind = dfFilterCount) const {
    for (const TDvSimFault& f : Settings.Faults)
      if (f.Step == step && (f.Filter == dfFilterCount || f.Filter == kind)) return f.Result;
    return S_OK;
  }

  void LoadTapeLocked() {
    if (TapeLoaded) return;
    TapeLoaded = true;
    Reader.reset();
    TapeFrames = 0;
    if (Settings.NoTape || Settings.TapeFile.empty()) return;
    std::string why;
    Reader = TDvAviReader::Open(Settings.TapeFile, &why);
    if (Reader) TapeFrames = Reader->Frames();
    else if (FILE* f = std::fopen(Settings.TapeFile.c_str(), "rb")) {
      std::fclose(f);
      TraceF("[DvSimulator] the tape %s is no DV AVI (%s): it reads as blank", Settings.TapeFile.c_str(), why.c_str());
    }
  }

  bool Present() { return !Settings.NoTape && !Settings.TapeFile.empty(); }

  int Length() const {
    int n = TapeFrames;
    if (!Written.empty()) n = std::max(n, Written.rbegin()->first + 1);
    return n;
  }

  bool ReadTapeFrame(int n, TTapeFrame& f) {
    auto it = Written.find(n);
    if (it != Written.end()) {
      f = it->second;
      return true;
    }
    return Reader && Reader->ReadFrame(n, f.Dv, f.Pcm);
  }

  // The frame as the camera sends it: the picture with its sound in the DIF blocks.
  bool CameraFrame(int n, std::vector<uint8_t>& dif) {
    TTapeFrame f;
    if (!ReadTapeFrame(n, f)) return false;
    if (!DvInsertAudio(f.Dv.data(), f.Dv.size(), f.Pcm.data(), static_cast<int>(f.Pcm.size() / 2), dif)) dif = f.Dv;
    return true;
  }

  // A frame from the camera's input: written at the head when recording.
  void ReceiveLocked(const std::vector<uint8_t>& dif) {
    if (Mode != ED_MODE_RECORD || !Present() || Settings.WriteProtected) return;
    const int at = static_cast<int>(Pos / 1000);
    TTapeFrame f;
    f.Dv = dif;
    if (!DvExtractAudio(dif.data(), dif.size(), f.Pcm)) f.Pcm.assign(kDvPalSamplesPerFrame * 2, 0);
    Written[at] = std::move(f);
    Pos = static_cast<int64_t>(at + 1) * 1000;
  }

  // Moves the tape to now; frames that passed the head while playing are handed to the
  // running graph.
  void UpdateLocked();

  HRESULT SetModeLocked(int mode) {
    UpdateLocked();
    LoadTapeLocked();
    if (!Present()) return mode == ED_MODE_STOP ? S_OK : VFW_E_NOT_FOUND;
    if ((mode == ED_MODE_RECORD || mode == ED_MODE_RECORD_FREEZE) && Settings.WriteProtected) return E_ACCESSDENIED;
    const bool wasRecording = Mode == ED_MODE_RECORD || Mode == ED_MODE_RECORD_FREEZE;
    switch (mode) {
      case ED_MODE_THAW: Mode = ED_MODE_PLAY; break;
      case ED_MODE_STEP_FWD:
      case ED_MODE_STEP_REV: {
        // A step shows the next or the previous frame and holds it.
        const int64_t frame = Pos / 1000 + (mode == ED_MODE_STEP_FWD ? 1 : -1);
        Pos = std::clamp<int64_t>(frame, 0, std::max(Length() - 1, 0)) * 1000;
        Mode = ED_MODE_FREEZE;
        break;
      }
      case ED_MODE_PLAY: case ED_MODE_STOP: case ED_MODE_FREEZE: case ED_MODE_FF: case ED_MODE_REW:
      case ED_MODE_RECORD: case ED_MODE_RECORD_FREEZE: case ED_MODE_PLAY_FASTEST_FWD: case ED_MODE_PLAY_FASTEST_REV:
        Mode = mode;
        break;
      default: return E_FAIL;
    }
    if (wasRecording && Mode != ED_MODE_RECORD && Mode != ED_MODE_RECORD_FREEZE) FlushLocked();
    return S_OK;
  }

  bool FlushLocked() {
    if (Written.empty()) return true;
    const std::string tmp = Settings.TapeFile + ".tmp";
    bool ok = false;
    {
      std::unique_ptr<TDvAviWriter> w = TDvAviWriter::Create(tmp, 0);
      ok = w != nullptr;
      const int n = Length();
      TTapeFrame f, blank;
      for (int i = 0; ok && i < n; ++i) {
        if (!ReadTapeFrame(i, f)) {
          // A gap on the tape reads as the nearest earlier frame's picture in silence.
          if (blank.Dv.empty() && !Written.empty()) blank.Dv = Written.begin()->second.Dv;
          f.Dv = blank.Dv;
          f.Pcm.assign(kDvPalSamplesPerFrame * 2, 0);
        }
        ok = w->WriteFrame(f.Dv.data(), f.Dv.size(), f.Pcm.data(), static_cast<int>(f.Pcm.size() / 2));
      }
      ok = w && w->Close() && ok;
    }
    Reader.reset();
    if (ok) ok = std::rename(tmp.c_str(), Settings.TapeFile.c_str()) == 0;
    if (!ok) {
      std::remove(tmp.c_str());
      TraceF("[DvSimulator] the tape %s could not be written", Settings.TapeFile.c_str());
    }
    Written.clear();
    TapeLoaded = false;
    LoadTapeLocked();
    return ok;
  }

  TDvSimSettings Settings;
  std::shared_ptr<IDvClock> Clock = DvSystemClock();
  int64_t LastMs = 0;
  int64_t Pos = 0;  // thousandths of a frame
  int Mode = ED_MODE_STOP;
  std::unique_ptr<TDvAviReader> Reader;
  std::map<int, TTapeFrame> Written;  // recorded, not yet in the file
  int TapeFrames = 0;
  bool TapeLoaded = false;
  TSimGraph* Graph = nullptr;  // the running graph
};

TSimDeck& Deck() {
  static TSimDeck deck;
  return deck;
}


class TSimGraph : public IDvGraph {
 public:
  // Without hooks the camera is the simulated deck; with them, another camera.
  TSimGraph(bool hasCamera, dvsim::TGraphHooks hooks = {})
      : FHasCameraInput(hasCamera), FHooks(std::move(hooks)), FSimCamera(!FHooks.OnState) {}
  ~TSimGraph() override {
    StopPump();
    std::lock_guard<std::mutex> g(Deck().Lock);
    CloseWriterLocked();
    if (Deck().Graph == this) Deck().Graph = nullptr;
  }

  HRESULT QueryMediaControl() override { return Deck().Fault(dsMediaControl); }
  HRESULT AddCamera(const std::string& name) override {
    if (HRESULT r = Deck().Fault(dsAdd, dfCamera); FAILED(r)) return r;
    FCreated[dfCamera] = FAdded[dfCamera] = true;
    FNames[dfCamera] = name;
    return S_OK;
  }
  HRESULT CreateFilter(TDvFilterKind kind) override {
    if (kind == dfCamera || kind >= dfFilterCount) return E_FAIL;
    if (HRESULT r = Deck().Fault(dsCreate, kind); FAILED(r)) return r;
    FCreated[kind] = true;
    return S_OK;
  }
  HRESULT AddFilter(TDvFilterKind kind, const std::string& name) override {
    if (kind >= dfFilterCount || !FCreated[kind]) return E_FAIL;
    if (HRESULT r = Deck().Fault(dsAdd, kind); FAILED(r)) return r;
    FAdded[kind] = true;
    FNames[kind] = name;
    return S_OK;
  }
  HRESULT Connect(TDvFilterKind from, TDvFilterKind to) override {
    if (from >= dfFilterCount || to >= dfFilterCount || !FAdded[from] || !FAdded[to]) return VFW_E_NOT_CONNECTED;
    if (HRESULT r = Deck().Fault(dsConnect, to); FAILED(r)) return r;
    const bool ok =
        (from == dfCamera && to == dfDvSplitter) ||
        (from == dfDvSplitter && to == dfAviMuxFileWriter && !FOutputFile.empty()) ||
        (from == dfDvSplitter && (to == dfDvVideoDecoder || to == dfAudioRenderer)) ||
        (from == dfDvVideoDecoder && to == dfVideoRenderer && (FLinks[dfDvSplitter][dfDvVideoDecoder] ||
                                                               FLinks[dfAviSplitter][dfDvVideoDecoder])) ||
        (from == dfFileSource && to == dfAviSplitter && FSourceCheck != dfcNotAvi && !FSourceFile.empty()) ||
        (from == dfAviSplitter && (to == dfDvVideoDecoder || to == dfAudioRenderer || to == dfDvMux) &&
         FLinks[dfFileSource][dfAviSplitter] && FSourceCheck == dfcDv) ||
        (from == dfDvMux && to == dfCamera && FHasCameraInput && FLinks[dfAviSplitter][dfDvMux]);
    if (!ok) return VFW_E_CANNOT_CONNECT;
    FLinks[from][to] = true;
    return S_OK;
  }
  HRESULT RemoveFilter(TDvFilterKind kind) override {
    if (kind >= dfFilterCount || !FAdded[kind]) return VFW_E_NOT_FOUND;
    std::lock_guard<std::mutex> g(Deck().Lock);
    FAdded[kind] = FCreated[kind] = false;
    for (int i = 0; i < dfFilterCount; ++i) FLinks[kind][i] = FLinks[i][kind] = false;
    if (kind == dfFileSource) {
      FSource.reset();
      FSourceFile.clear();
      FFilePos = 0;
    }
    return S_OK;
  }
  HRESULT QueryFileSink() override {
    if (!FCreated[dfAviMuxFileWriter]) return E_NOINTERFACE;
    return Deck().Fault(dsFileSink, dfAviMuxFileWriter);
  }
  HRESULT SetOutputFileName(const std::string& fileName) override {
    if (HRESULT r = Deck().Fault(dsFileName, dfAviMuxFileWriter); FAILED(r)) return r;
    if (fileName.empty()) return E_FAIL;
    FOutputFile = fileName;
    return S_OK;
  }
  HRESULT LoadSourceFile(const std::string& fileName) override {
    if (HRESULT r = Deck().Fault(dsLoad, dfFileSource); FAILED(r)) return r;
    FSourceCheck = DvCheckAviFile(fileName);
    if (FSourceCheck == dfcNoFile) return static_cast<HRESULT>(0x80070002u);  // file not found
    std::lock_guard<std::mutex> g(Deck().Lock);
    FSourceFile = fileName;
    FSource = FSourceCheck == dfcDv ? TDvAviReader::Open(fileName) : nullptr;
    FFilePos = 0;
    return S_OK;
  }
  HRESULT SetVideoWindow(std::function<void(const TDIB&)> sink) override {
    if (HRESULT r = Deck().Fault(dsVideoWindow); FAILED(r)) return r;
    std::lock_guard<std::mutex> g(Deck().Lock);
    FVideoSink = std::move(sink);
    return S_OK;
  }

  HRESULT Run() override { return Transition(gsRunning, dsRun); }
  HRESULT Pause() override { return Transition(gsPaused, dsPause); }
  HRESULT Stop() override { return Transition(gsStopped, dsStop); }
  HRESULT GetState(int, TDvGraphState& state) override {
    std::lock_guard<std::mutex> g(Deck().Lock);
    Deck().UpdateLocked();
    state = FState;
    return S_OK;
  }

  void SetNotify(std::function<void()> notify) override {
    std::lock_guard<std::mutex> g(Deck().Lock);
    FNotify = std::move(notify);
  }
  bool GetEvent(TDvEvent& event) override {
    std::lock_guard<std::mutex> g(Deck().Lock);
    Deck().UpdateLocked();
    if (FEvents.empty()) return false;
    event = FEvents.front();
    FEvents.pop_front();
    return true;
  }

  HRESULT GetPosition(double& seconds) override {
    std::lock_guard<std::mutex> g(Deck().Lock);
    Deck().UpdateLocked();
    if (!FSource) return E_NOINTERFACE;
    seconds = static_cast<double>(FFilePos) / 25000.0;
    return S_OK;
  }
  HRESULT GetDuration(double& seconds) override {
    std::lock_guard<std::mutex> g(Deck().Lock);
    if (!FSource) return E_NOINTERFACE;
    seconds = FSource->Frames() / 25.0;
    return S_OK;
  }
  HRESULT SetPosition(double seconds) override {
    std::lock_guard<std::mutex> g(Deck().Lock);
    Deck().UpdateLocked();
    if (!FSource) return E_NOINTERFACE;
    if (!(seconds >= 0) || seconds > FSource->Frames() / 25.0) return E_FAIL;
    FFilePos = std::llround(seconds * 25000.0);
    FCompleted = false;
    ShowFileFrameLocked(static_cast<int>(std::min<int64_t>(FFilePos / 1000, FSource->Frames() - 1)));
    return S_OK;
  }

  // Called with the deck locked, as the clock moves by elapsedMs.
  void MoveLocked(int64_t elapsedMs) {
    if (FState != gsRunning || !FSource || FCompleted) return;
    const int frames = FSource->Frames();
    const int64_t before = FFilePos / 1000;
    FFilePos += elapsedMs * 25;
    int64_t after = FFilePos / 1000;
    TTapeFrame f;
    std::vector<uint8_t> dif;
    int shown = -1;
    for (int64_t n = before; n < std::min<int64_t>(after, frames); ++n) {
      if (FLinks[dfDvMux][dfCamera]) {
        if (FSource->ReadFrame(static_cast<int>(n), f.Dv, f.Pcm) &&
            DvInsertAudio(f.Dv.data(), f.Dv.size(), f.Pcm.data(), static_cast<int>(f.Pcm.size() / 2), dif))
          FHooks.CameraInput ? FHooks.CameraInput(dif) : Deck().ReceiveLocked(dif);
      }
      shown = static_cast<int>(n);
    }
    if (shown >= 0) ShowFileFrameLocked(shown);
    if (after >= frames) {
      FFilePos = static_cast<int64_t>(frames) * 1000;
      FCompleted = true;
      PostLocked({EC_COMPLETE, 0, 0});
    }
  }

  // A frame from the camera, as it passes the head while the tape plays.
  void CameraFrameLocked(const std::vector<uint8_t>& dif, bool last, const uint8_t bcd[4]) {
    (void)bcd;
    if (FState != gsRunning || !FLinks[dfCamera][dfDvSplitter]) return;
    if (FWriter) {
      std::vector<int16_t> pcm;
      DvExtractAudio(dif.data(), dif.size(), pcm);
      if (!FWriter->WriteFrame(dif.data(), dif.size(), pcm.data(), static_cast<int>(pcm.size() / 2))) {
        CloseWriterLocked();
        PostLocked({EC_ERRORABORT, HRESULT_DISK_FULL, 0});
        return;
      }
      if (FWriter->Frames() % 25 == 0)
        PostLocked({EC_CAPTURE_KB_WRITTEN, static_cast<int64_t>(FWriter->BytesWritten() / 1024), 0});
    }
    if (last && FLinks[dfDvVideoDecoder][dfVideoRenderer]) {
      ShowLocked(dif);
      PostLocked({EC_TIMECODE_AVAILABLE, 0, 0});
    }
  }

  bool Capturing() const { return FSimCamera && FState == gsRunning && FLinks[dfCamera][dfDvSplitter]; }

 private:
  HRESULT Transition(TDvGraphState to, TDvStep step) {
    if (HRESULT r = Deck().Fault(step); FAILED(r)) return r;
    bool startPump = false;
    {
      std::lock_guard<std::mutex> g(Deck().Lock);
      Deck().UpdateLocked();
      if (to != gsStopped && FState == gsStopped && FAdded[dfAviMuxFileWriter] && FLinks[dfDvSplitter][dfAviMuxFileWriter]) {
        // The writer makes its file when the graph leaves the stopped state.
        std::string why;
        FWriter = TDvAviWriter::Create(FOutputFile, Deck().Settings.DiskCapacity, &why);
        if (!FWriter) {
          TraceF("[DvSimulator] %s cannot be made: %s", FOutputFile.c_str(), why.c_str());
          return static_cast<HRESULT>(0x80070000u | 0x52);  // cannot make the file
        }
      }
      if (to == gsStopped) {
        CloseWriterLocked();
        if (FSource) FFilePos = 0, FCompleted = false;
      }
      FState = to;
      if (to == gsRunning) Deck().Graph = this;
      else if (Deck().Graph == this && to == gsStopped) Deck().Graph = nullptr;
      startPump = to == gsRunning && Deck().Clock->RealTime();
    }
    if (startPump) StartPump();
    else if (to != gsRunning) StopPump();
    if (FHooks.OnState) {
      const bool running = to == gsRunning;
      if (HRESULT r = FHooks.OnState(running && FLinks[dfCamera][dfDvSplitter], running && FLinks[dfDvMux][dfCamera]);
          FAILED(r) && running) {
        Transition(gsStopped, dsStop);
        return r;
      }
    }
    return S_OK;
  }

  void CloseWriterLocked() {
    if (FWriter) {
      FWriter->Close();
      FWriter.reset();
    }
  }

  // The notify callback only hands the news on (it must not call into the graph).
  void PostLocked(const TDvEvent& e) {
    FEvents.push_back(e);
    if (FNotify) FNotify();
  }

  void ShowFileFrameLocked(int n) {
    if (!FVideoSink || !FLinks[dfDvVideoDecoder][dfVideoRenderer]) return;
    TTapeFrame f;
    if (FSource && FSource->ReadFrame(n, f.Dv, f.Pcm)) ShowLocked(f.Dv);
  }

  void ShowLocked(const std::vector<uint8_t>& dv) {
    if (!FVideoSink) return;
    if (!FDecoder) {
      TVideoFormat fmt;
      fmt.biWidth = kDvPalWidth;
      fmt.biHeight = kDvPalHeight;
      fmt.biBitCount = 24;
      fmt.biCompression = VideoFourCC("dvsd");
      FDecoder = TVideoDecoder::Create(fmt);
      if (!FDecoder) return;
    }
    if (!FDecoder->SendPacket(dv.data(), dv.size(), true, FShown++)) return;
    int pos = 0;
    TDIB pic;
    while (FDecoder->ReceiveFrame(&pos)) {
      if (FDecoder->CopyTo(pic)) FVideoSink(pic);
    }
  }

  void StartPump() {
    StopPump();
    FPumpStop = false;
    FPump = std::thread([this] {
      while (!FPumpStop.load()) {
        {
          std::lock_guard<std::mutex> g(Deck().Lock);
          Deck().UpdateLocked();
        }
        std::unique_lock<std::mutex> l(FWake);
        FWakeCv.wait_for(l, std::chrono::milliseconds(10), [this] { return FPumpStop.load(); });
      }
    });
  }
  void StopPump() {
    if (!FPump.joinable()) return;
    {
      std::lock_guard<std::mutex> l(FWake);
      FPumpStop = true;
    }
    FWakeCv.notify_all();
    FPump.join();
  }

  bool FHasCameraInput;
  dvsim::TGraphHooks FHooks;
  bool FSimCamera;
  bool FCreated[dfFilterCount] = {};
  bool FAdded[dfFilterCount] = {};
  bool FLinks[dfFilterCount][dfFilterCount] = {};
  std::string FNames[dfFilterCount];
  std::string FOutputFile;
  std::string FSourceFile;
  TDvFileCheck FSourceCheck = dfcNoFile;
  std::unique_ptr<TDvAviReader> FSource;
  int64_t FFilePos = 0;  // thousandths of a frame
  bool FCompleted = false;
  std::unique_ptr<TDvAviWriter> FWriter;
  std::unique_ptr<TVideoDecoder> FDecoder;
  int FShown = 0;
  std::function<void(const TDIB&)> FVideoSink;
  TDvGraphState FState = gsStopped;
  std::deque<TDvEvent> FEvents;
  std::function<void()> FNotify;
  std::thread FPump;
  std::atomic<bool> FPumpStop{false};
  std::mutex FWake;
  std::condition_variable FWakeCv;
};

void TSimDeck::UpdateLocked() {
  const int64_t now = Clock->NowMs();
  const int64_t elapsed = now - LastMs;
  if (elapsed <= 0) return;
  LastMs = now;
  LoadTapeLocked();
  if (Graph) Graph->MoveLocked(elapsed);
  const int speed = Speed(Mode);
  if (speed == 0) return;
  const int64_t end = static_cast<int64_t>(Length()) * 1000;
  const int64_t before = Pos;
  Pos = std::clamp<int64_t>(Pos + elapsed * speed, 0, end);
  if (Mode == ED_MODE_PLAY && Graph && Graph->Capturing()) {
    const int64_t first = before / 1000, last = std::min<int64_t>(Pos / 1000, Length());
    std::vector<uint8_t> dif;
    for (int64_t n = first; n < last; ++n)
      if (CameraFrame(static_cast<int>(n), dif)) Graph->CameraFrameLocked(dif, n + 1 == last, nullptr);
  }
  // The tape stops at either end.
  if ((speed > 0 && Pos >= end) || (speed < 0 && Pos <= 0)) Mode = ED_MODE_STOP;
}

class TSimCamera : public IDvCamera {
 public:
  explicit TSimCamera(std::string name) : FName(std::move(name)) {}
  std::string FriendlyName() const override { return FName; }
  int OutputPinCount() const override { return FAILED(Deck().Fault(dsOutputPin)) ? 0 : 2; }
  int InputPinCount() const override { return FAILED(Deck().Fault(dsInputPin)) ? 0 : 1; }
  HRESULT StreamConfig(int& width, int& height, bool& dvInfo) override {
    if (HRESULT r = Deck().Fault(dsStreamConfig); FAILED(r)) return r;
    width = kDvPalWidth;
    height = kDvPalHeight;
    dvInfo = false;
    return S_OK;
  }
  HRESULT CreateGraph(std::unique_ptr<IDvGraph>& graph) override {
    if (HRESULT r = Deck().Fault(dsCreateGraph); FAILED(r)) return r;
    graph = std::make_unique<TSimGraph>(InputPinCount() > 0);
    return S_OK;
  }
  HRESULT TransportSet(int mode) override {
    std::lock_guard<std::mutex> g(Deck().Lock);
    return Deck().SetModeLocked(mode);
  }
  HRESULT TransportGet(int& mode) override {
    std::lock_guard<std::mutex> g(Deck().Lock);
    Deck().UpdateLocked();
    mode = Deck().Mode;
    return S_OK;
  }
  HRESULT TransportWait(int mode, int timeoutMs) override {
    const int64_t until = movara::NowMs() + timeoutMs;
    for (;;) {
      int now = 0;
      TransportGet(now);
      if (now == mode) return S_OK;
      if (movara::NowMs() >= until) return VFW_E_TIMEOUT;
      SleepMs(10);
    }
  }
  HRESULT TimeCode(TDvTimeCode& tc) override {
    std::lock_guard<std::mutex> g(Deck().Lock);
    Deck().UpdateLocked();
    if (!Deck().Present()) return VFW_E_NOT_FOUND;
    tc.dwFrames = DvBcdTimeCode(static_cast<int>(Deck().Pos / 1000));
    return S_OK;
  }
  bool MediumPresent() override {
    std::lock_guard<std::mutex> g(Deck().Lock);
    return Deck().Present();
  }
  bool WriteProtected() override {
    std::lock_guard<std::mutex> g(Deck().Lock);
    return Deck().Present() && Deck().Settings.WriteProtected;
  }

 private:
  std::string FName;
};

}  // namespace

std::shared_ptr<IDvClock> DvSystemClock() {
  static std::shared_ptr<IDvClock> clock = std::make_shared<TSystemClock>();
  return clock;
}

uint32_t DvBcdTimeCode(int frameIndex) {
  if (frameIndex < 0) frameIndex = 0;
  const int f = frameIndex % 25, s = frameIndex / 25 % 60, m = frameIndex / 1500 % 60, h = frameIndex / 90000 % 24;
  auto bcd = [](int v) { return static_cast<uint32_t>((v / 10) << 4 | (v % 10)); };
  return bcd(h) << 24 | bcd(m) << 16 | bcd(s) << 8 | bcd(f);
}

void DvSetSimulator(const TDvSimSettings& settings) {
  {
    std::lock_guard<std::mutex> g(gSettingsLock);
    gSettings = settings;
  }
  Deck().Configure(settings);
}

void DvSetSimulatorFromSettings(const std::string& iniFile) {
  const TDvSimSettings now = DvSimulator();
  TDvSimSettings s;
  if (const char* env = std::getenv("MOVARA_DV_TAPE"); env && *env) s.TapeFile = env;
  else if (!iniFile.empty()) s.TapeFile = TMyIniFile(iniFile).ReadString("DvSimulator", "TapeFile", "");
  if (!iniFile.empty()) {
    TMyIniFile ini(iniFile);
    s.NoTape = ini.ReadBool("DvSimulator", "NoTape", false);
    s.WriteProtected = ini.ReadBool("DvSimulator", "WriteProtected", false);
  }
  // The same tape stays where it is (another window may be using the camera).
  if (s.TapeFile == now.TapeFile && s.NoTape == now.NoTape && s.WriteProtected == now.WriteProtected &&
      now.Faults.empty() && !now.Clock)
    return;
  DvSetSimulator(s);
}

TDvSimSettings DvSimulator() {
  std::lock_guard<std::mutex> g(gSettingsLock);
  return gSettings;
}

bool DvFlushSimulatedTape() {
  std::lock_guard<std::mutex> g(Deck().Lock);
  return Deck().FlushLocked();
}

namespace dvsim {

void ListDevices(std::vector<std::string>& names) {
  const TDvSimSettings s = DvSimulator();
  if (s.TapeFile.empty()) return;
  if (s.DeviceNames.empty()) names.push_back(kDvSimulatorName);
  else names.insert(names.end(), s.DeviceNames.begin(), s.DeviceNames.end());
}

HRESULT EnumerateFault() { return Deck().Fault(dsEnumerate); }

std::unique_ptr<IDvGraph> CreateGraph(bool hasCameraInput, TGraphHooks hooks) {
  return std::make_unique<TSimGraph>(hasCameraInput, std::move(hooks));
}

void DeliverCameraFrame(IDvGraph* graph, const std::vector<uint8_t>& dif) {
  std::lock_guard<std::mutex> g(Deck().Lock);
  Deck().UpdateLocked();
  static_cast<TSimGraph*>(graph)->CameraFrameLocked(dif, true, nullptr);
}

std::unique_ptr<IDvCamera> Open(const std::string& name) {
  std::vector<std::string> names;
  ListDevices(names);
  if (std::find(names.begin(), names.end(), name) == names.end()) return nullptr;
  return std::make_unique<TSimCamera>(name);
}

}  // namespace dvsim

}  // namespace movara
