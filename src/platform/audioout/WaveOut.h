#pragma once
// The sound output service: a waveOut-like device that plays queued PCM buffers and
// tells its owner when each one is done. The calls, their order and their results are
// those of the platform's waveOut service, so the program above reads as designed:
//
//   HWAVEOUT wo;
//   if (waveOutOpen(&wo, WAVE_MAPPER, &format, callback) != MMSYSERR_NOERROR) ...
//   waveOutPause(wo);
//   waveOutPrepareHeader(wo, &hdr); waveOutWrite(wo, &hdr);   // as many as wanted
//   waveOutRestart(wo);
//   ... callback(wo, WOM_DONE, &hdr) for each buffer played ...
//   waveOutReset(wo); waveOutUnprepareHeader(wo, &hdr); waveOutClose(wo);
//
// Two devices stand behind the handle:
// - Qt Multimedia (a QAudioSink on the default output) when a sound device exists and
//   the process has a QCoreApplication. The sink lives in a private QThread with its own
//   event loop, made for the device and ended by waveOutClose; we never create an
//   application object behind the caller's back.
// - the silent device otherwise, or when MOVARA_AUDIO=silent: it consumes the buffers in
//   real time by a clock (steady by default; tests put in a manual or faster one), so
//   positions and "done" timing behave as on a sound card.
//
// Notifications (WOM_OPEN, WOM_DONE per buffer in queue order, WOM_CLOSE) come on a
// worker thread of the device, never from inside the device's lock: the callback may
// call waveOutPrepareHeader/UnprepareHeader/Write/GetPosition/Pause/Restart. A
// waveOutReset from inside the callback does not wait for the notifications it causes;
// a waveOutClose from inside the callback fails with MMSYSERR_HANDLEBUSY.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/avifile/RiffTypes.h"
#include "platform/codecs/AudioAcm.h"  // MMRESULT and the general result codes

namespace movara {

// Wave results beyond the general ones.
inline constexpr MMRESULT WAVERR_STILLPLAYING = 33;
inline constexpr MMRESULT WAVERR_UNPREPARED = 34;

// The only device id: the mapper picks the output.
inline constexpr uint32_t WAVE_MAPPER = 0xFFFFFFFFu;

// Buffer flags.
inline constexpr uint32_t WHDR_DONE = 0x01;
inline constexpr uint32_t WHDR_PREPARED = 0x02;
inline constexpr uint32_t WHDR_INQUEUE = 0x10;

// One buffer of PCM. The memory belongs to the caller and must stay valid until the
// buffer is done and unprepared.
struct WAVEHDR {
  uint8_t* lpData = nullptr;
  uint32_t dwBufferLength = 0;
  uintptr_t dwUser = 0;
  uint32_t dwFlags = 0;
};

enum TWaveOutMessage { WOM_OPEN = 0x3BB, WOM_CLOSE = 0x3BC, WOM_DONE = 0x3BD };

class TWaveOutDevice;
using HWAVEOUT = TWaveOutDevice*;
// hdr is set for WOM_DONE only.
using TWaveOutCallback = std::function<void(HWAVEOUT device, TWaveOutMessage msg, WAVEHDR* hdr)>;

// PCM only: 1 or 2 channels, 8 or 16 bits, 1000..384000 samples per second, block
// align = channels x bits / 8; anything else gives WAVERR_BADFORMAT. deviceId must be
// WAVE_MAPPER or 0.
MMRESULT waveOutOpen(HWAVEOUT* device, uint32_t deviceId, const WAVEFORMATEX* format,
                     TWaveOutCallback callback);
// WAVERR_STILLPLAYING while buffers are queued (reset first).
MMRESULT waveOutClose(HWAVEOUT device);
MMRESULT waveOutPrepareHeader(HWAVEOUT device, WAVEHDR* hdr);
MMRESULT waveOutUnprepareHeader(HWAVEOUT device, WAVEHDR* hdr);
// Queues a prepared buffer; its length is cut down to whole sample frames.
MMRESULT waveOutWrite(HWAVEOUT device, WAVEHDR* hdr);
MMRESULT waveOutPause(HWAVEOUT device);
MMRESULT waveOutRestart(HWAVEOUT device);
// Stops, marks every queued buffer done (their WOM_DONE are delivered before it
// returns), and sets the position to 0. A paused device stays paused.
MMRESULT waveOutReset(HWAVEOUT device);
// Sample frames played since the open or the last reset.
MMRESULT waveOutGetPosition(HWAVEOUT device, uint64_t* samples);

// Which device an open would use now, and which one a handle uses.
enum TWaveOutKind { wokSilent, wokQt };
TWaveOutKind waveOutNextKind();
TWaveOutKind waveOutKindOf(HWAVEOUT device);
// Number of devices open in the process (threads running behind them).
int waveOutOpenCount();

// The silent device's clock: microseconds, never going back.
class TWaveOutClock {
 public:
  virtual ~TWaveOutClock() = default;
  virtual int64_t NowMicros() = 0;
};

// std::chrono::steady_clock.
class TSteadyWaveOutClock : public TWaveOutClock {
 public:
  int64_t NowMicros() override;
};

// Moves only when told: tests play exactly as many milliseconds as they advance.
class TManualWaveOutClock : public TWaveOutClock {
 public:
  int64_t NowMicros() override { return now_.load(); }
  void Advance(int64_t micros) {
    if (micros > 0) now_.fetch_add(micros);
  }
  void AdvanceMs(int64_t ms) { Advance(ms * 1000); }

 private:
  std::atomic<int64_t> now_{0};
};

// The steady clock run faster by a factor (>= 1).
class TScaledWaveOutClock : public TWaveOutClock {
 public:
  explicit TScaledWaveOutClock(double factor);
  int64_t NowMicros() override;

 private:
  double factor_;
  int64_t start_;
};

// The clock of silent devices opened from now on (nullptr: the steady clock).
void SetSilentWaveOutClock(std::shared_ptr<TWaveOutClock> clock);
// Forces the silent device for opens from now on, as MOVARA_AUDIO=silent does.
void SetWaveOutForceSilent(bool silent);

}  // namespace movara
