#include "platform/audioout/WaveOut.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>

#include "base/Trace.h"
#include "platform/audioout/WaveOutQueue.h"

namespace movara {

// ---------------------------------------------------------------- queue

void TWaveQueue::CompleteHeadLocked() {
  WAVEHDR* h = queue.front().hdr;
  queue.pop_front();
  headPos = 0;
  h->dwFlags = (h->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
  notes.push_back({WOM_DONE, h});
  notesCv.notify_all();
}

void TWaveQueue::FlushLocked() {
  while (!queue.empty()) CompleteHeadLocked();
}

size_t TWaveQueue::Pull(uint8_t* dst, size_t max) {
  std::lock_guard<std::mutex> lock(m);
  if (paused || quit) return 0;
  max -= max % static_cast<size_t>(blockAlign);
  size_t got = 0;
  while (!queue.empty()) {
    const TEntry& e = queue.front();
    if (headPos >= e.length) {
      CompleteHeadLocked();
      continue;
    }
    if (got == max) break;
    const size_t take = std::min(e.length - headPos, max - got);
    if (dst) std::memcpy(dst + got, e.hdr->lpData + headPos, take);
    got += take;
    headPos += take;
  }
  pulled += got;
  return got;
}

// ---------------------------------------------------------------- clocks

int64_t TSteadyWaveOutClock::NowMicros() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

TScaledWaveOutClock::TScaledWaveOutClock(double factor)
    : factor_(factor >= 1.0 ? factor : 1.0), start_(TSteadyWaveOutClock().NowMicros()) {}

int64_t TScaledWaveOutClock::NowMicros() {
  const int64_t real = TSteadyWaveOutClock().NowMicros() - start_;
  return static_cast<int64_t>(static_cast<double>(real) * factor_);
}

namespace {

struct TWaveOutSettings {
  std::mutex m;
  std::shared_ptr<TWaveOutClock> clock;
  bool forceSilent = false;
};

// Never destroyed: devices may still be closed from static destructors.
TWaveOutSettings& Settings() {
  static TWaveOutSettings* s = new TWaveOutSettings;
  return *s;
}

std::shared_ptr<TWaveOutClock> CurrentClock() {
  TWaveOutSettings& s = Settings();
  std::lock_guard<std::mutex> lock(s.m);
  if (!s.clock) s.clock = std::make_shared<TSteadyWaveOutClock>();
  return s.clock;
}

bool SilentWanted() {
  {
    TWaveOutSettings& s = Settings();
    std::lock_guard<std::mutex> lock(s.m);
    if (s.forceSilent) return true;
  }
  const char* env = std::getenv("MOVARA_AUDIO");
  return env != nullptr && std::string(env) == "silent";
}

// ---------------------------------------------------------------- silent backend

// Consumes the queue at the format's byte rate by the clock, polled every few
// milliseconds of real time. Time that passes with nothing queued (or paused) is lost,
// as on a sound card that runs dry.
class TSilentBackend : public TWaveOutBackend {
 public:
  TSilentBackend(std::shared_ptr<TWaveQueue> queue, const WAVEFORMATEX& format,
                 std::shared_ptr<TWaveOutClock> clock)
      : queue_(std::move(queue)),
        bytesPerSec_(format.nAvgBytesPerSec),
        blockAlign_(format.nBlockAlign),
        clock_(std::move(clock)) {}
  ~TSilentBackend() override { Shutdown(); }

  MMRESULT Start() override {
    // The clock is read here, not in the thread: time that passes from the open on counts.
    const int64_t start = clock_->NowMicros();
    try {
      thread_ = std::thread([this, start] { Run(start); });
    } catch (const std::exception&) {
      return MMSYSERR_NOMEM;
    }
    return MMSYSERR_NOERROR;
  }
  void SetPaused(bool) override { Wake(); }
  void Reset() override {
    std::lock_guard<std::mutex> lock(m_);
    resetCredit_ = true;
    wake_ = true;
    cv_.notify_all();
  }
  void Wake() override {
    std::lock_guard<std::mutex> lock(m_);
    wake_ = true;
    cv_.notify_all();
  }
  uint64_t BufferedBytes() override { return 0; }
  void Shutdown() override {
    {
      std::lock_guard<std::mutex> lock(m_);
      stop_ = true;
      cv_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
  }

 private:
  static constexpr int64_t kMicros = 1000000;
  static constexpr int64_t kMaxStepMicros = 3600LL * kMicros;

  void Run(int64_t last) {
    int64_t credit = 0;  // bytes x 1e6 that the clock has granted
    for (;;) {
      bool resetCredit;
      {
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait_for(lock, std::chrono::milliseconds(4), [this] { return stop_ || wake_; });
        if (stop_) break;
        wake_ = false;
        resetCredit = resetCredit_;
        resetCredit_ = false;
      }
      const int64_t now = clock_->NowMicros();
      const int64_t dt = std::clamp<int64_t>(now - last, 0, kMaxStepMicros);
      last = now;
      if (resetCredit) credit = 0;
      credit += dt * bytesPerSec_;
      int64_t want = credit / kMicros;
      want -= want % blockAlign_;
      const size_t got = queue_->Pull(nullptr, static_cast<size_t>(want));
      if (static_cast<int64_t>(got) < want)
        credit = 0;
      else
        credit -= static_cast<int64_t>(got) * kMicros;
    }
  }

  std::shared_ptr<TWaveQueue> queue_;
  const int64_t bytesPerSec_;
  const int64_t blockAlign_;
  std::shared_ptr<TWaveOutClock> clock_;
  std::thread thread_;
  std::mutex m_;
  std::condition_variable cv_;
  bool stop_ = false;
  bool wake_ = false;
  bool resetCredit_ = false;
};

}  // namespace

std::unique_ptr<TWaveOutBackend> MakeSilentWaveOutBackend(std::shared_ptr<TWaveQueue> queue,
                                                          const WAVEFORMATEX& format,
                                                          std::shared_ptr<TWaveOutClock> clock) {
  return std::make_unique<TSilentBackend>(std::move(queue), format, std::move(clock));
}

// ---------------------------------------------------------------- device

class TWaveOutDevice {
 public:
  TWaveOutDevice(const WAVEFORMATEX& format, TWaveOutCallback callback, TWaveOutKind kind,
                 std::unique_ptr<TWaveOutBackend> backend, std::shared_ptr<TWaveQueue> queue)
      : format_(format),
        callback_(std::move(callback)),
        kind_(kind),
        backend_(std::move(backend)),
        q_(std::move(queue)) {}

  ~TWaveOutDevice() { ForceClose(); }

  MMRESULT Start() {
    try {
      notifier_ = std::thread([this] { RunNotifier(); });
    } catch (const std::exception&) {
      return MMSYSERR_NOMEM;
    }
    const MMRESULT r = backend_->Start();
    if (r != MMSYSERR_NOERROR) {
      ForceClose();
      return r;
    }
    std::lock_guard<std::mutex> lock(q_->m);
    q_->notes.push_back({WOM_OPEN, nullptr});
    q_->notesCv.notify_all();
    return MMSYSERR_NOERROR;
  }

  TWaveOutKind Kind() const { return kind_; }

  MMRESULT Prepare(WAVEHDR* hdr) {
    if (hdr == nullptr || (hdr->lpData == nullptr && hdr->dwBufferLength > 0))
      return MMSYSERR_INVALPARAM;
    std::lock_guard<std::mutex> lock(q_->m);
    if (closing_) return MMSYSERR_INVALHANDLE;
    if (hdr->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    hdr->dwFlags = WHDR_PREPARED;
    return MMSYSERR_NOERROR;
  }

  MMRESULT Unprepare(WAVEHDR* hdr) {
    if (hdr == nullptr) return MMSYSERR_INVALPARAM;
    std::lock_guard<std::mutex> lock(q_->m);
    if (hdr->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    hdr->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
  }

  MMRESULT Write(WAVEHDR* hdr) {
    if (hdr == nullptr || (hdr->lpData == nullptr && hdr->dwBufferLength > 0))
      return MMSYSERR_INVALPARAM;
    {
      std::lock_guard<std::mutex> lock(q_->m);
      if (closing_) return MMSYSERR_INVALHANDLE;
      if (!(hdr->dwFlags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
      if (hdr->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
      hdr->dwFlags = (hdr->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
      size_t length = hdr->dwBufferLength;
      length -= length % static_cast<size_t>(q_->blockAlign);
      q_->queue.push_back({hdr, length});
    }
    backend_->Wake();
    return MMSYSERR_NOERROR;
  }

  MMRESULT SetPaused(bool paused) {
    {
      std::lock_guard<std::mutex> lock(q_->m);
      if (closing_) return MMSYSERR_INVALHANDLE;
      q_->paused = paused;
    }
    backend_->SetPaused(paused);
    return MMSYSERR_NOERROR;
  }

  MMRESULT Reset() {
    {
      std::lock_guard<std::mutex> lock(q_->m);
      if (closing_) return MMSYSERR_INVALHANDLE;
      q_->FlushLocked();
    }
    backend_->Reset();
    std::unique_lock<std::mutex> lock(q_->m);
    q_->pulled = 0;
    if (std::this_thread::get_id() != notifierId_) {
      // Every WOM_DONE of the flushed buffers is delivered before we return.
      q_->drainedCv.wait_for(lock, std::chrono::seconds(5), [this] {
        return q_->notes.empty() && !q_->delivering;
      });
    }
    return MMSYSERR_NOERROR;
  }

  MMRESULT GetPosition(uint64_t* samples) {
    if (samples == nullptr) return MMSYSERR_INVALPARAM;
    uint64_t pulled;
    {
      std::lock_guard<std::mutex> lock(q_->m);
      if (closing_) return MMSYSERR_INVALHANDLE;
      pulled = q_->pulled;
    }
    const uint64_t buffered = backend_->BufferedBytes();
    const uint64_t heard = pulled > buffered ? pulled - buffered : 0;
    *samples = heard / static_cast<uint64_t>(q_->blockAlign);
    return MMSYSERR_NOERROR;
  }

  MMRESULT Close() {
    {
      std::lock_guard<std::mutex> lock(q_->m);
      if (closing_) return MMSYSERR_INVALHANDLE;
      if (std::this_thread::get_id() == notifierId_) return MMSYSERR_HANDLEBUSY;
      if (!q_->queue.empty()) return WAVERR_STILLPLAYING;
      closing_ = true;
    }
    backend_->Shutdown();
    StopNotifier(true);
    return MMSYSERR_NOERROR;
  }

 private:
  void RunNotifier() {
    const std::shared_ptr<TWaveQueue> q = q_;
    std::unique_lock<std::mutex> lock(q->m);
    notifierId_ = std::this_thread::get_id();
    for (;;) {
      q->notesCv.wait(lock, [&q] { return !q->notes.empty() || q->quit; });
      if (q->notes.empty()) break;
      const TWaveNote note = q->notes.front();
      q->notes.pop_front();
      q->delivering = true;
      lock.unlock();
      if (callback_) {
        try {
          callback_(this, note.msg, note.hdr);
        } catch (const std::exception& e) {
          TraceF("[waveOut] callback raised: %s", e.what());
        } catch (...) {
          Trace("[waveOut] callback raised");
        }
      }
      lock.lock();
      q->delivering = false;
      q->drainedCv.notify_all();
    }
  }

  void StopNotifier(bool sendClose) {
    {
      std::lock_guard<std::mutex> lock(q_->m);
      if (sendClose) q_->notes.push_back({WOM_CLOSE, nullptr});
      q_->quit = true;
      q_->notesCv.notify_all();
    }
    if (notifier_.joinable()) {
      if (notifier_.get_id() == std::this_thread::get_id())
        notifier_.detach();
      else
        notifier_.join();
    }
  }

  // The last resort of the destructor and of a failed start: no buffer is left queued
  // and no thread keeps running.
  void ForceClose() {
    {
      std::lock_guard<std::mutex> lock(q_->m);
      q_->FlushLocked();
      closing_ = true;
    }
    backend_->Shutdown();
    StopNotifier(false);
  }

  const WAVEFORMATEX format_;
  TWaveOutCallback callback_;
  const TWaveOutKind kind_;
  std::unique_ptr<TWaveOutBackend> backend_;
  std::shared_ptr<TWaveQueue> q_;
  std::thread notifier_;
  std::thread::id notifierId_;  // guarded by q_->m
  bool closing_ = false;        // guarded by q_->m
};

namespace {

// The open devices by handle; a handle not in here is invalid. Never destroyed, so that
// a device can be closed from a static destructor.
struct TRegistry {
  std::mutex m;
  std::unordered_map<HWAVEOUT, std::shared_ptr<TWaveOutDevice>> devices;
};

TRegistry& Registry() {
  static TRegistry* r = new TRegistry;
  return *r;
}

std::shared_ptr<TWaveOutDevice> Find(HWAVEOUT h) {
  TRegistry& r = Registry();
  std::lock_guard<std::mutex> lock(r.m);
  auto it = r.devices.find(h);
  return it == r.devices.end() ? nullptr : it->second;
}

bool FormatSupported(const WAVEFORMATEX& f) {
  return f.wFormatTag == WAVE_FORMAT_PCM && (f.nChannels == 1 || f.nChannels == 2) &&
         (f.wBitsPerSample == 8 || f.wBitsPerSample == 16) && f.nSamplesPerSec >= 1000 &&
         f.nSamplesPerSec <= 384000 && f.nBlockAlign == f.nChannels * f.wBitsPerSample / 8;
}

}  // namespace

TWaveOutKind waveOutNextKind() {
  if (SilentWanted()) return wokSilent;
  return QtWaveOutAvailable() ? wokQt : wokSilent;
}

MMRESULT waveOutOpen(HWAVEOUT* device, uint32_t deviceId, const WAVEFORMATEX* format,
                     TWaveOutCallback callback) {
  if (device == nullptr) return MMSYSERR_INVALPARAM;
  *device = nullptr;
  if (format == nullptr) return MMSYSERR_INVALPARAM;
  if (deviceId != WAVE_MAPPER && deviceId != 0) return MMSYSERR_BADDEVICEID;
  if (!FormatSupported(*format)) return WAVERR_BADFORMAT;
  WAVEFORMATEX f = *format;
  f.nAvgBytesPerSec = f.nBlockAlign * f.nSamplesPerSec;  // the rate we play at
  f.cbSize = 0;

  TWaveOutKind kind = waveOutNextKind();
  std::shared_ptr<TWaveOutDevice> dev;
  MMRESULT r = MMSYSERR_ERROR;
  if (kind == wokQt) {
    auto queue = std::make_shared<TWaveQueue>(f.nBlockAlign);
    dev = std::make_shared<TWaveOutDevice>(f, callback, wokQt, MakeQtWaveOutBackend(queue, f),
                                           queue);
    r = dev->Start();
    if (r != MMSYSERR_NOERROR) {
      // A sound device that will not play this: the program goes on silently.
      TraceF("[waveOutOpen] sound device failed (%u), using the silent device", r);
      kind = wokSilent;
    }
  }
  if (kind == wokSilent) {
    auto queue = std::make_shared<TWaveQueue>(f.nBlockAlign);
    dev = std::make_shared<TWaveOutDevice>(
        f, callback, wokSilent, MakeSilentWaveOutBackend(queue, f, CurrentClock()), queue);
    r = dev->Start();
  }
  if (r != MMSYSERR_NOERROR) return r;
  TRegistry& reg = Registry();
  std::lock_guard<std::mutex> lock(reg.m);
  reg.devices[dev.get()] = dev;
  *device = dev.get();
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutClose(HWAVEOUT device) {
  auto dev = Find(device);
  if (!dev) return MMSYSERR_INVALHANDLE;
  const MMRESULT r = dev->Close();
  if (r == MMSYSERR_NOERROR) {
    TRegistry& reg = Registry();
    std::lock_guard<std::mutex> lock(reg.m);
    reg.devices.erase(device);
  }
  return r;
}

MMRESULT waveOutPrepareHeader(HWAVEOUT device, WAVEHDR* hdr) {
  auto dev = Find(device);
  return dev ? dev->Prepare(hdr) : MMSYSERR_INVALHANDLE;
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT device, WAVEHDR* hdr) {
  auto dev = Find(device);
  return dev ? dev->Unprepare(hdr) : MMSYSERR_INVALHANDLE;
}

MMRESULT waveOutWrite(HWAVEOUT device, WAVEHDR* hdr) {
  auto dev = Find(device);
  return dev ? dev->Write(hdr) : MMSYSERR_INVALHANDLE;
}

MMRESULT waveOutPause(HWAVEOUT device) {
  auto dev = Find(device);
  return dev ? dev->SetPaused(true) : MMSYSERR_INVALHANDLE;
}

MMRESULT waveOutRestart(HWAVEOUT device) {
  auto dev = Find(device);
  return dev ? dev->SetPaused(false) : MMSYSERR_INVALHANDLE;
}

MMRESULT waveOutReset(HWAVEOUT device) {
  auto dev = Find(device);
  return dev ? dev->Reset() : MMSYSERR_INVALHANDLE;
}

MMRESULT waveOutGetPosition(HWAVEOUT device, uint64_t* samples) {
  auto dev = Find(device);
  return dev ? dev->GetPosition(samples) : MMSYSERR_INVALHANDLE;
}

TWaveOutKind waveOutKindOf(HWAVEOUT device) {
  auto dev = Find(device);
  return dev ? dev->Kind() : wokSilent;
}

int waveOutOpenCount() {
  TRegistry& reg = Registry();
  std::lock_guard<std::mutex> lock(reg.m);
  return static_cast<int>(reg.devices.size());
}

void SetSilentWaveOutClock(std::shared_ptr<TWaveOutClock> clock) {
  TWaveOutSettings& s = Settings();
  std::lock_guard<std::mutex> lock(s.m);
  s.clock = std::move(clock);
}

void SetWaveOutForceSilent(bool silent) {
  TWaveOutSettings& s = Settings();
  std::lock_guard<std::mutex> lock(s.m);
  s.forceSilent = silent;
}

}  // namespace movara
