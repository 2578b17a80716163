#pragma once
// Inside of the sound output service: the buffers queued on one device and the
// backends that consume them (the silent clock-driven one and the Qt Multimedia one).
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/audioout/WaveOut.h"

namespace movara {

struct TWaveNote {
  TWaveOutMessage msg;
  WAVEHDR* hdr;
};

// The queue of one device, shared by the device (its calls and its notifier thread) and
// the backend thread that pulls the bytes. Everything below is guarded by m.
class TWaveQueue {
 public:
  explicit TWaveQueue(int blockAlign) : blockAlign(blockAlign > 0 ? blockAlign : 1) {}

  // Takes up to max bytes (whole frames) from the queued buffers, copying them to dst
  // (nullptr drops them); a buffer whose last byte was taken is done. Buffers of no
  // bytes at the head are done at once. Nothing is taken while paused.
  size_t Pull(uint8_t* dst, size_t max);
  // Marks every queued buffer done (lock held by the caller).
  void FlushLocked();
  void CompleteHeadLocked();

  struct TEntry {
    WAVEHDR* hdr;
    size_t length;  // whole frames, fixed when written
  };

  const int blockAlign;
  std::mutex m;
  std::condition_variable notesCv;    // a note arrived, or quit
  std::condition_variable drainedCv;  // a note was delivered
  std::deque<TEntry> queue;
  size_t headPos = 0;
  std::deque<TWaveNote> notes;
  bool delivering = false;
  bool quit = false;
  bool paused = false;
  uint64_t pulled = 0;  // bytes taken since the open or the last reset
};

class TWaveOutBackend {
 public:
  virtual ~TWaveOutBackend() = default;
  virtual MMRESULT Start() = 0;
  virtual void SetPaused(bool paused) = 0;
  // Drops what the backend holds beyond the queue.
  virtual void Reset() = 0;
  // Buffers were queued or the device was restarted.
  virtual void Wake() = 0;
  // Bytes taken from the queue but not yet heard.
  virtual uint64_t BufferedBytes() = 0;
  // Stops the backend's threads; nothing is pulled afterwards.
  virtual void Shutdown() = 0;
};

std::unique_ptr<TWaveOutBackend> MakeSilentWaveOutBackend(std::shared_ptr<TWaveQueue> queue,
                                                          const WAVEFORMATEX& format,
                                                          std::shared_ptr<TWaveOutClock> clock);
// True when a QCoreApplication exists and Qt reports a default audio output.
bool QtWaveOutAvailable();
std::unique_ptr<TWaveOutBackend> MakeQtWaveOutBackend(std::shared_ptr<TWaveQueue> queue,
                                                      const WAVEFORMATEX& format);

}  // namespace movara
