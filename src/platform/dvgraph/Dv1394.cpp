// DV cameras on IEEE 1394 buses: found through their configuration ROM (AV/C units
// with a tape recorder subunit), driven with AV/C tape commands, received with
// libiec61883's DV frame reception and fed with its DV transmission. The chain of
// filters around the camera is the one of the simulated camera's graph.
#ifdef MOVARA_HAVE_IEC61883

#include <libavc1394/avc1394.h>
#include <libavc1394/avc1394_vcr.h>
#include <libavc1394/rom1394.h>
#include <libiec61883/iec61883.h>
#include <libraw1394/raw1394.h>
#include <poll.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "base/Clock.h"
#include "base/Trace.h"
#include "platform/dvgraph/DvDif.h"
#include "platform/dvgraph/DvGraphImpl.h"

namespace movara::dv1394 {

namespace {

struct TNode {
  std::string Name;
  int Port = 0;
  nodeid_t Node = 0;
  octlet_t Guid = 0;
};

struct THandle {
  raw1394handle_t H = nullptr;
  explicit THandle(int port = -1) {
    H = raw1394_new_handle();
    if (H && port >= 0 && raw1394_set_port(H, port) < 0) Close();
  }
  ~THandle() { Close(); }
  void Close() {
    if (H) raw1394_destroy_handle(H);
    H = nullptr;
  }
};

std::vector<TNode> FindCameras() {
  std::vector<TNode> out;
  THandle probe;
  if (!probe.H) return out;  // no FireWire stack or no right to its device nodes
  raw1394_portinfo ports[16];
  const int nports = raw1394_get_port_info(probe.H, ports, 16);
  for (int p = 0; p < nports && p < 16; ++p) {
    THandle h(p);
    if (!h.H) continue;
    const int nodes = raw1394_get_nodecount(h.H);
    for (int n = 0; n < nodes; ++n) {
      const nodeid_t node = static_cast<nodeid_t>(0xFFC0 | n);
      rom1394_directory dir;
      if (rom1394_get_directory(h.H, node, &dir) < 0) continue;
      const bool avc = rom1394_get_node_type(&dir) == ROM1394_NODE_TYPE_AVC;
      std::string label = dir.label ? dir.label : "";
      rom1394_free_directory(&dir);
      if (!avc || !avc1394_check_subunit_type(h.H, node, AVC1394_SUBUNIT_TYPE_VCR)) continue;
      TNode c;
      c.Port = p;
      c.Node = node;
      c.Guid = rom1394_get_guid(h.H, node);
      char guid[32];
      std::snprintf(guid, sizeof guid, "%016llx", static_cast<unsigned long long>(c.Guid));
      c.Name = "Kamera DV IEEE 1394: " + (label.empty() ? std::string(guid) : label);
      out.push_back(c);
    }
  }
  return out;
}

constexpr quadlet_t kVcr = AVC1394_SUBUNIT_TYPE_VCR | AVC1394_SUBUNIT_ID_0;

class TCamera1394 : public IDvCamera {
 public:
  explicit TCamera1394(const TNode& node) : FNode(node), FControl(node.Port) {}
  ~TCamera1394() override { StopStreams(); }

  bool Ready() const { return FControl.H != nullptr; }
  std::string FriendlyName() const override { return FNode.Name; }
  int OutputPinCount() const override { return 2; }
  int InputPinCount() const override { return 1; }
  HRESULT StreamConfig(int& width, int& height, bool& dvInfo) override {
    width = height = 0;
    dvInfo = true;  // the camera says DV; the picture size comes with the frames
    return S_OK;
  }
  HRESULT CreateGraph(std::unique_ptr<IDvGraph>& graph) override {
    dvsim::TGraphHooks hooks;
    hooks.OnState = [this](bool receive, bool transmit) { return SetStreams(receive, transmit); };
    hooks.CameraInput = [this](const std::vector<uint8_t>& dif) { Queue(dif); };
    graph = dvsim::CreateGraph(true, std::move(hooks));
    FGraph = graph.get();
    return S_OK;
  }

  HRESULT TransportSet(int mode) override {
    std::lock_guard<std::mutex> g(FControlLock);
    raw1394handle_t h = FControl.H;
    const nodeid_t n = FNode.Node;
    auto command = [&](quadlet_t opcode, quadlet_t operand) {
      return avc1394_send_command(h, n, AVC1394_CTYPE_CONTROL | kVcr | opcode | operand) >= 0 ? S_OK : E_FAIL;
    };
    switch (mode) {
      case ED_MODE_PLAY: case ED_MODE_THAW: return command(AVC1394_VCR_COMMAND_PLAY, AVC1394_VCR_OPERAND_PLAY_FORWARD);
      case ED_MODE_STOP: return command(AVC1394_VCR_COMMAND_WIND, AVC1394_VCR_OPERAND_WIND_STOP);
      case ED_MODE_FREEZE: return command(AVC1394_VCR_COMMAND_PLAY, AVC1394_VCR_OPERAND_PLAY_FORWARD_PAUSE);
      case ED_MODE_FF: return command(AVC1394_VCR_COMMAND_WIND, AVC1394_VCR_OPERAND_WIND_FAST_FORWARD);
      case ED_MODE_REW: return command(AVC1394_VCR_COMMAND_WIND, AVC1394_VCR_OPERAND_WIND_REWIND);
      case ED_MODE_PLAY_FASTEST_FWD: return command(AVC1394_VCR_COMMAND_PLAY, AVC1394_VCR_OPERAND_PLAY_FASTEST_FORWARD);
      case ED_MODE_PLAY_FASTEST_REV: return command(AVC1394_VCR_COMMAND_PLAY, AVC1394_VCR_OPERAND_PLAY_FASTEST_REVERSE);
      case ED_MODE_STEP_FWD: return command(AVC1394_VCR_COMMAND_PLAY, AVC1394_VCR_OPERAND_PLAY_NEXT_FRAME);
      case ED_MODE_STEP_REV: return command(AVC1394_VCR_COMMAND_PLAY, AVC1394_VCR_OPERAND_PLAY_PREVIOUS_FRAME);
      case ED_MODE_RECORD: return command(AVC1394_VCR_COMMAND_RECORD, AVC1394_VCR_OPERAND_RECORD_RECORD);
      case ED_MODE_RECORD_FREEZE: return command(AVC1394_VCR_COMMAND_RECORD, AVC1394_VCR_OPERAND_RECORD_PAUSE);
      default: return E_FAIL;
    }
  }

  HRESULT TransportGet(int& mode) override {
    std::lock_guard<std::mutex> g(FControlLock);
    const quadlet_t status = avc1394_vcr_status(FControl.H, FNode.Node);
    if (status == 0) return E_FAIL;
    const quadlet_t opcode = AVC1394_MASK_OPCODE(status), operand = AVC1394_MASK_OPERAND0(status);
    if (opcode == AVC1394_VCR_RESPONSE_TRANSPORT_STATE_PLAY) {
      if (operand == AVC1394_VCR_OPERAND_PLAY_FORWARD || operand == AVC1394_VCR_OPERAND_PLAY_X1_FORWARD) mode = ED_MODE_PLAY;
      else if (operand == AVC1394_VCR_OPERAND_PLAY_FORWARD_PAUSE || operand == AVC1394_VCR_OPERAND_PLAY_REVERSE_PAUSE)
        mode = ED_MODE_FREEZE;
      else if (operand == AVC1394_VCR_OPERAND_PLAY_FASTEST_FORWARD) mode = ED_MODE_PLAY_FASTEST_FWD;
      else if (operand == AVC1394_VCR_OPERAND_PLAY_FASTEST_REVERSE) mode = ED_MODE_PLAY_FASTEST_REV;
      else mode = ED_MODE_SHUTTLE;
    } else if (opcode == AVC1394_VCR_RESPONSE_TRANSPORT_STATE_RECORD) {
      mode = operand == AVC1394_VCR_OPERAND_RECORD_PAUSE ? ED_MODE_RECORD_FREEZE : ED_MODE_RECORD;
    } else if (opcode == AVC1394_VCR_RESPONSE_TRANSPORT_STATE_WIND) {
      mode = operand == AVC1394_VCR_OPERAND_WIND_FAST_FORWARD ? ED_MODE_FF
             : operand == AVC1394_VCR_OPERAND_WIND_REWIND || operand == AVC1394_VCR_OPERAND_WIND_HIGH_SPEED_REWIND
                 ? ED_MODE_REW
                 : ED_MODE_STOP;
    } else {
      mode = ED_MODE_STOP;
    }
    return S_OK;
  }

  HRESULT TransportWait(int mode, int timeoutMs) override {
    const int64_t until = NowMs() + timeoutMs;
    for (;;) {
      int now = 0;
      if (SUCCEEDED(TransportGet(now)) && now == mode) return S_OK;
      if (NowMs() >= until) return VFW_E_TIMEOUT;
      SleepMs(50);
    }
  }

  HRESULT TimeCode(TDvTimeCode& tc) override {
    std::lock_guard<std::mutex> g(FControlLock);
    char text[32] = {};
    if (!avc1394_vcr_get_timecode2(FControl.H, FNode.Node, text)) return E_FAIL;
    int h = 0, m = 0, s = 0, f = 0;
    if (std::sscanf(text, "%d:%d:%d:%d", &h, &m, &s, &f) != 4) return E_FAIL;
    auto bcd = [](int v) { return static_cast<uint32_t>((v / 10 % 10) << 4 | (v % 10)); };
    tc.dwFrames = bcd(h) << 24 | bcd(m) << 16 | bcd(s) << 8 | bcd(f);
    return S_OK;
  }

  bool MediumPresent() override { return MediumInfo(false); }
  bool WriteProtected() override { return MediumInfo(true); }

 private:
  // MEDIUM INFO: the cassette type (0x60: none), then the tape grade with the
  // record-inhibit bit.
  bool MediumInfo(bool writeProtect) {
    std::lock_guard<std::mutex> g(FControlLock);
    quadlet_t request[2] = {AVC1394_CTYPE_STATUS | kVcr | AVC1394_VCR_COMMAND_MEDIUM_INFO | 0x7F, 0x7FFFFFFF};
    quadlet_t* r = avc1394_transaction_block(FControl.H, FNode.Node, request, 2, 2);
    if (!r) return false;
    const quadlet_t cassette = AVC1394_MASK_OPERAND0(r[0]);
    const quadlet_t grade = r[1] >> 24;
    avc1394_transaction_block_close(FControl.H);
    if (cassette == AVC1394_VCR_OPERAND_MEDIUM_INFO_NONE) return false;
    return writeProtect ? (grade & 0x01) != 0 : true;
  }

  HRESULT SetStreams(bool receive, bool transmit) {
    StopStreams();
    if (!receive && !transmit) return S_OK;
    FStream.reset(new THandle(FNode.Port));
    if (!FStream->H) return E_ACCESSDENIED;
    raw1394handle_t h = FStream->H;
    const nodeid_t local = raw1394_get_local_id(h);
    int oplug = -1, iplug = -1, bandwidth = 0;
    FChannel = receive ? iec61883_cmp_connect(h, FNode.Node, &oplug, local, &iplug, &bandwidth)
                       : iec61883_cmp_connect(h, local, &oplug, FNode.Node, &iplug, &bandwidth);
    if (FChannel < 0) FChannel = 63;  // broadcast channel: cameras without plugs
    FOPlug = oplug;
    FIPlug = iplug;
    FBandwidth = bandwidth;
    FTransmitting = transmit;
    if (receive) {
      FFb = iec61883_dv_fb_init(h, &TCamera1394::Received, this);
      if (!FFb || iec61883_dv_fb_start(FFb, FChannel) < 0) return StreamFailed();
    } else {
      FXmit = iec61883_dv_xmit_init(h, 1, &TCamera1394::Transmit, this);
      if (!FXmit || iec61883_dv_xmit_start(FXmit, FChannel) < 0) return StreamFailed();
    }
    FStop = false;
    FLoop = std::thread([this, h] {
      pollfd p{raw1394_get_fd(h), POLLIN | POLLPRI, 0};
      while (!FStop.load())
        if (poll(&p, 1, 100) > 0 && raw1394_loop_iterate(h) < 0) break;
    });
    return S_OK;
  }

  HRESULT StreamFailed() {
    TraceF("[Dv1394] the DV stream on channel %d does not start", FChannel);
    StopStreams();
    return E_FAIL;
  }

  void StopStreams() {
    FStop = true;
    if (FLoop.joinable()) FLoop.join();
    if (FFb) iec61883_dv_fb_close(FFb);
    if (FXmit) iec61883_dv_close(FXmit);
    FFb = nullptr;
    FXmit = nullptr;
    if (FStream && FStream->H && FChannel >= 0 && FChannel != 63) {
      const nodeid_t local = raw1394_get_local_id(FStream->H);
      if (FTransmitting) iec61883_cmp_disconnect(FStream->H, local, FOPlug, FNode.Node, FIPlug, FChannel, FBandwidth);
      else iec61883_cmp_disconnect(FStream->H, FNode.Node, FOPlug, local, FIPlug, FChannel, FBandwidth);
    }
    FChannel = -1;
    FStream.reset();
    std::lock_guard<std::mutex> g(FQueueLock);
    FQueue.clear();
    FOffset = 0;
  }

  static int Received(unsigned char* data, int len, int complete, void* self) {
    auto* me = static_cast<TCamera1394*>(self);
    if (complete && len > 0 && me->FGraph) dvsim::DeliverCameraFrame(me->FGraph, std::vector<uint8_t>(data, data + len));
    return 0;
  }

  // Frames for the camera wait here; the transmitter takes them block by block and
  // repeats the last frame when the file side is late.
  void Queue(const std::vector<uint8_t>& dif) {
    std::lock_guard<std::mutex> g(FQueueLock);
    if (FQueue.size() < 50) FQueue.push_back(dif);
  }

  static int Transmit(unsigned char* data, int blocks, unsigned int, void* self) {
    auto* me = static_cast<TCamera1394*>(self);
    std::lock_guard<std::mutex> g(me->FQueueLock);
    size_t want = static_cast<size_t>(blocks) * 80;
    while (want > 0) {
      if (me->FQueue.empty()) {
        if (me->FLast.empty()) return -1;
        me->FQueue.push_back(me->FLast);
      }
      const std::vector<uint8_t>& f = me->FQueue.front();
      const size_t n = std::min(want, f.size() - me->FOffset);
      std::memcpy(data, f.data() + me->FOffset, n);
      data += n;
      want -= n;
      me->FOffset += n;
      if (me->FOffset == f.size()) {
        me->FLast = f;
        me->FQueue.pop_front();
        me->FOffset = 0;
      }
    }
    return 0;
  }

  TNode FNode;
  THandle FControl;
  std::mutex FControlLock;
  IDvGraph* FGraph = nullptr;
  std::unique_ptr<THandle> FStream;
  iec61883_dv_fb_t FFb = nullptr;
  iec61883_dv_t FXmit = nullptr;
  int FChannel = -1, FOPlug = -1, FIPlug = -1, FBandwidth = 0;
  bool FTransmitting = false;
  std::thread FLoop;
  std::atomic<bool> FStop{false};
  std::mutex FQueueLock;
  std::deque<std::vector<uint8_t>> FQueue;
  std::vector<uint8_t> FLast;
  size_t FOffset = 0;
};

}  // namespace

void ListDevices(std::vector<std::string>& names) {
  for (const TNode& c : FindCameras()) names.push_back(c.Name);
}

std::unique_ptr<IDvCamera> Open(const std::string& name) {
  for (const TNode& c : FindCameras())
    if (c.Name == name) {
      auto camera = std::make_unique<TCamera1394>(c);
      if (camera->Ready()) return camera;
    }
  return nullptr;
}

}  // namespace movara::dv1394

#endif
