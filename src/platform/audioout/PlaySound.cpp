#include "platform/audioout/PlaySound.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "base/Trace.h"
#include "platform/audioout/WaveOut.h"

namespace movara {
namespace {

bool ParseWaveImage(const uint8_t* p, size_t n, WAVEFORMATEX& fmt, const uint8_t*& data,
                    size_t& dataSize) {
  if (n < 12 || GetLE32(p) != ckidRIFF || GetLE32(p + 8) != formtypeWAVE) return false;
  bool haveFmt = false;
  bool haveData = false;
  size_t pos = 12;
  while (pos + 8 <= n && !(haveFmt && haveData)) {
    const FOURCC id = GetLE32(p + pos);
    const size_t size = GetLE32(p + pos + 4);
    const size_t body = pos + 8;
    const size_t avail = n - body;
    if (id == ckidWAVEFORMAT) {
      if (size < WAVEFORMATEX::kPcmSize || avail < WAVEFORMATEX::kPcmSize) return false;
      fmt.Read(p + body, std::min(size, avail));
      haveFmt = true;
    } else if (id == ckidWAVEDATA) {
      data = p + body;
      dataSize = std::min(size, avail);  // a chunk that claims more is cut to the image
      haveData = true;
    }
    pos = body + size + (size & 1);
  }
  return haveFmt && haveData;
}

// The one sound of PlaySound. Calls are serialised by m; the device's notifier only
// touches the atomics and the done signal, never m (a reset waits for it).
struct TMemorySound {
  std::mutex m;
  HWAVEOUT dev = nullptr;
  std::vector<uint8_t> pcm;
  std::vector<std::unique_ptr<WAVEHDR>> hdrs;

  std::atomic<int> left{0};
  std::atomic<uint64_t> generation{0};
  std::mutex doneM;
  std::condition_variable doneCv;

  ~TMemorySound() {
    std::lock_guard<std::mutex> lock(m);
    StopLocked();
  }

  void StopLocked() {
    if (dev == nullptr) return;
    waveOutReset(dev);
    for (auto& h : hdrs) waveOutUnprepareHeader(dev, h.get());
    if (waveOutClose(dev) != MMSYSERR_NOERROR) Trace("[PlaySound] waveOutClose FAILED !");
    dev = nullptr;
    hdrs.clear();
    pcm.clear();
    left = 0;
    Signal();
  }

  void Signal() {
    std::lock_guard<std::mutex> lock(doneM);
    doneCv.notify_all();
  }

  void OnMessage(TWaveOutMessage msg) {
    if (msg == WOM_DONE && left.fetch_sub(1) == 1) Signal();
  }
};

TMemorySound& Player() {
  static TMemorySound player;
  return player;
}

}  // namespace

bool PlaySound(const uint8_t* image, size_t size, uint32_t flags) {
  TMemorySound& p = Player();
  std::unique_lock<std::mutex> lock(p.m);
  p.StopLocked();
  ++p.generation;
  if (image == nullptr) return true;
  if (!(flags & SND_MEMORY)) return false;

  WAVEFORMATEX fmt;
  const uint8_t* data = nullptr;
  size_t dataSize = 0;
  if (!ParseWaveImage(image, size, fmt, data, dataSize)) return false;
  if (fmt.wFormatTag != WAVE_FORMAT_PCM) return false;  // no decoder behind this call
  fmt = MakePcmFormat(fmt.nChannels, static_cast<int>(fmt.nSamplesPerSec), fmt.wBitsPerSample);
  if (fmt.nBlockAlign == 0) return false;
  dataSize -= dataSize % fmt.nBlockAlign;
  if (dataSize == 0) return true;  // nothing to hear

  TMemorySound* pp = &p;
  MMRESULT r = waveOutOpen(&p.dev, WAVE_MAPPER, &fmt,
                           [pp](HWAVEOUT, TWaveOutMessage msg, WAVEHDR*) { pp->OnMessage(msg); });
  if (r != MMSYSERR_NOERROR) {
    TraceF("[PlaySound] waveOutOpen FAILED ! MmResult = %u", r);
    p.dev = nullptr;
    return false;
  }
  p.pcm.assign(data, data + dataSize);
  // Tenth-of-a-second buffers, all queued at once: the whole sound is in memory.
  size_t chunk = std::max<size_t>(fmt.nAvgBytesPerSec / 10, fmt.nBlockAlign);
  chunk -= chunk % fmt.nBlockAlign;
  waveOutPause(p.dev);
  for (size_t pos = 0; pos < dataSize; pos += chunk) {
    auto h = std::make_unique<WAVEHDR>();
    h->lpData = p.pcm.data() + pos;
    h->dwBufferLength = static_cast<uint32_t>(std::min(chunk, dataSize - pos));
    if (waveOutPrepareHeader(p.dev, h.get()) != MMSYSERR_NOERROR) break;
    ++p.left;
    if (waveOutWrite(p.dev, h.get()) != MMSYSERR_NOERROR) {
      --p.left;
      waveOutUnprepareHeader(p.dev, h.get());
      break;
    }
    p.hdrs.push_back(std::move(h));
  }
  if (p.hdrs.empty()) {
    p.StopLocked();
    return false;
  }
  waveOutRestart(p.dev);
  if (flags & SND_ASYNC) return true;

  const uint64_t gen = p.generation.load();
  const auto limit = std::chrono::milliseconds(
      static_cast<int64_t>(dataSize * 1000 / fmt.nAvgBytesPerSec) + 2000);
  lock.unlock();
  std::unique_lock<std::mutex> wait(p.doneM);
  p.doneCv.wait_for(wait, limit, [&p, gen] { return p.left == 0 || p.generation != gen; });
  return true;
}

bool PlaySoundIsPlaying() {
  TMemorySound& p = Player();
  return p.left.load() > 0;
}

}  // namespace movara
