#pragma once
// The DV camera graph: what the DV controller calls to find a camera, build the chain
// of a working mode filter by filter, run it, read its events, drive the tape transport
// and read the time code. The calls and results keep the platform's media-graph order
// (create a filter, add it under its graph name, connect it), so each failing step can
// be told to the user by its own message.
//
// Two back ends: the simulated camera "Symulator kamery DV", whose tape is a DV AVI
// file (listed when a tape file is named: $MOVARA_DV_TAPE or the key "TapeFile" of the
// settings section "DvSimulator"), and IEEE 1394 cameras (when the build has them).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Dib.h"

namespace movara {

using HRESULT = int32_t;

// Results (the platform's values).
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT VFW_S_STATE_INTERMEDIATE = 0x00040237;
inline constexpr HRESULT VFW_S_CANT_CUE = 0x00040268;
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
inline constexpr HRESULT VFW_E_CANNOT_CONNECT = static_cast<HRESULT>(0x80040217u);
inline constexpr HRESULT VFW_E_NOT_CONNECTED = static_cast<HRESULT>(0x80040209u);
inline constexpr HRESULT VFW_E_INVALID_FILE_FORMAT = static_cast<HRESULT>(0x8004022Fu);
inline constexpr HRESULT VFW_E_NOT_FOUND = static_cast<HRESULT>(0x80040216u);
inline constexpr HRESULT VFW_E_TIMEOUT = static_cast<HRESULT>(0x8004022Eu);
inline constexpr HRESULT HRESULT_DISK_FULL = static_cast<HRESULT>(0x80070070u);
inline constexpr bool FAILED(HRESULT r) { return r < 0; }
inline constexpr bool SUCCEEDED(HRESULT r) { return r >= 0; }

// Transport modes of the tape (ED_MODE values).
inline constexpr int ED_MODE_PLAY = 4296;
inline constexpr int ED_MODE_STOP = 4297;
inline constexpr int ED_MODE_FREEZE = 4298;
inline constexpr int ED_MODE_THAW = 4299;
inline constexpr int ED_MODE_FF = 4300;
inline constexpr int ED_MODE_REW = 4301;
inline constexpr int ED_MODE_RECORD = 4302;
inline constexpr int ED_MODE_STEP_FWD = 4304;
inline constexpr int ED_MODE_SHUTTLE = 4305;
inline constexpr int ED_MODE_RECORD_FREEZE = 4904;
inline constexpr int ED_MODE_STEP_REV = 4905;
inline constexpr int ED_MODE_PLAY_FASTEST_FWD = 5029;
inline constexpr int ED_MODE_PLAY_FASTEST_REV = 5031;

// Graph events.
inline constexpr int EC_COMPLETE = 1;
inline constexpr int EC_ERRORABORT = 3;
inline constexpr int EC_TIMECODE_AVAILABLE = 48;
inline constexpr int EC_CAPTURE_KB_WRITTEN = 32769;  // first parameter: KB in the file

struct TDvEvent {
  int Code = 0;
  int64_t Param1 = 0;
  int64_t Param2 = 0;
};

enum TDvGraphState { gsStopped, gsPaused, gsRunning };

// The filters of the graphs.
enum TDvFilterKind {
  dfCamera, dfDvSplitter, dfDvVideoDecoder, dfVideoRenderer, dfAudioRenderer, dfAviMuxFileWriter,
  dfFileSource, dfAviSplitter, dfDvMux, dfFilterCount
};

// The steps of finding the camera and building a graph, for fault injection.
enum TDvStep {
  dsEnumerate, dsOutputPin, dsInputPin, dsStreamConfig, dsCreateGraph, dsMediaControl, dsCreate, dsAdd,
  dsConnect, dsFileSink, dsFileName, dsLoad, dsVideoWindow, dsRun, dsPause, dsStop
};

// The millisecond clock of a camera and its graphs (the tape moves on it).
class IDvClock {
 public:
  virtual ~IDvClock() = default;
  virtual int64_t NowMs() = 0;
  // True for the system clock: the graph then moves data on a thread of its own;
  // otherwise data moves when the graph or camera is asked anything.
  virtual bool RealTime() const { return false; }
};
std::shared_ptr<IDvClock> DvSystemClock();

// A clock that moves only when told (tests). The simulated camera listens to it: the
// tape and the running graph move when it is advanced, on the caller's thread.
class TManualDvClock : public IDvClock {
 public:
  int64_t NowMs() override { return FNow; }
  void Advance(int64_t ms) {
    FNow += ms;
    if (FListener) FListener();
  }
  void SetListener(std::function<void()> listener) { FListener = std::move(listener); }

 private:
  int64_t FNow = 1000;
  std::function<void()> FListener;
};

// Binary-coded time code of the tape: 0xHHMMSSFF.
struct TDvTimeCode {
  uint32_t dwFrames = 0;
};
uint32_t DvBcdTimeCode(int frameIndex);  // at 25 frames per second

class IDvGraph;

// An open camera.
class IDvCamera {
 public:
  virtual ~IDvCamera() = default;
  virtual std::string FriendlyName() const = 0;
  // Output and input pins of the camera's filter; a failed result when it has none.
  virtual int OutputPinCount() const = 0;
  virtual int InputPinCount() const = 0;
  // Stream configuration: the picture size of a video-info format, or DV-info (0 x 0).
  virtual HRESULT StreamConfig(int& width, int& height, bool& dvInfo) = 0;
  // A new empty graph for this camera.
  virtual HRESULT CreateGraph(std::unique_ptr<IDvGraph>& graph) = 0;
  virtual HRESULT TransportSet(int mode) = 0;
  virtual HRESULT TransportGet(int& mode) = 0;
  // Waits up to timeoutMs for the transport to report mode; VFW_E_TIMEOUT otherwise.
  virtual HRESULT TransportWait(int mode, int timeoutMs) = 0;
  virtual HRESULT TimeCode(TDvTimeCode& tc) = 0;
  virtual bool MediumPresent() = 0;
  virtual bool WriteProtected() = 0;
};

// A graph of one working mode. Filters are created, added under a name and connected
// one step at a time, each with its own result.
class IDvGraph {
 public:
  virtual ~IDvGraph() = default;
  virtual HRESULT QueryMediaControl() = 0;
  virtual HRESULT AddCamera(const std::string& name) = 0;
  virtual HRESULT CreateFilter(TDvFilterKind kind) = 0;
  virtual HRESULT AddFilter(TDvFilterKind kind, const std::string& name) = 0;
  // Connects an output of from to an input of to (a splitter's video or sound output
  // as the target takes it).
  virtual HRESULT Connect(TDvFilterKind from, TDvFilterKind to) = 0;
  virtual HRESULT RemoveFilter(TDvFilterKind kind) = 0;
  // The writer's file sink interface, and its file name.
  virtual HRESULT QueryFileSink() = 0;
  virtual HRESULT SetOutputFileName(const std::string& fileName) = 0;
  // The file source's file.
  virtual HRESULT LoadSourceFile(const std::string& fileName) = 0;
  // The preview: pictures shown by the video renderer go to sink (any thread).
  virtual HRESULT SetVideoWindow(std::function<void(const TDIB&)> sink) = 0;

  virtual HRESULT Run() = 0;
  virtual HRESULT Pause() = 0;
  virtual HRESULT Stop() = 0;
  virtual HRESULT GetState(int timeoutMs, TDvGraphState& state) = 0;

  // Events are queued; notify is called (on any thread, with the graph busy) when one is
  // added: it hands the news on and must not call into the graph.
  virtual void SetNotify(std::function<void()> notify) = 0;
  virtual bool GetEvent(TDvEvent& event) = 0;

  // Position and length of the played file, seconds.
  virtual HRESULT GetPosition(double& seconds) = 0;
  virtual HRESULT GetDuration(double& seconds) = 0;
  virtual HRESULT SetPosition(double seconds) = 0;
};

// Settings of the simulated camera. Faults name a step (and for filter steps the
// filter) that fails with E_FAIL.
struct TDvSimFault {
  TDvStep Step = dsEnumerate;
  TDvFilterKind Filter = dfFilterCount;  // any filter
  HRESULT Result = E_FAIL;
};

struct TDvSimSettings {
  std::string TapeFile;           // the tape: a DV AVI (made empty on the first record)
  bool NoTape = false;            // the cassette is out
  bool WriteProtected = false;
  std::vector<TDvSimFault> Faults;
  uint64_t DiskCapacity = 0;      // bytes a capture file may take (0: what the disk has)
  std::shared_ptr<IDvClock> Clock;  // nullptr: the system clock
  // Names the simulator lists (each opens the same deck); empty: kDvSimulatorName.
  std::vector<std::string> DeviceNames;
};

inline constexpr const char* kDvSimulatorName = "Symulator kamery DV";

// The simulated camera's settings for this process; tests set them, the program takes
// them from $MOVARA_DV_TAPE or the settings file. Without a tape file the simulator is
// not listed.
void DvSetSimulator(const TDvSimSettings& settings);
void DvSetSimulatorFromSettings(const std::string& iniFile);
TDvSimSettings DvSimulator();
// Flushes the simulated tape to its file (written when recording ends; tests).
bool DvFlushSimulatedTape();

// Cameras by friendly name, in the order found. A failed result when the devices
// cannot be listed at all (FireWire nodes that cannot be read count as none).
HRESULT DvEnumerateDevices(std::vector<std::string>& names);
// Opens the named camera; a failed result when it is gone.
HRESULT DvOpenDevice(const std::string& name, std::unique_ptr<IDvCamera>& camera);

}  // namespace movara
