#pragma once
// PCM blocks and sound playback: TAudioPcmManager holds one block of PCM of a fixed
// duration and scales and mixes samples into it (the audio engine mixes the film's
// sound layers this way); TAudioPlay plays a sound reader through the waveOut device
// for the clip player; TAudioPlaySound plays a block in memory as a WAV image.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "base/Exceptions.h"
#include "platform/audioout/WaveOut.h"
#include "platform/avifile/RiffTypes.h"

namespace movara {

MOVARA_EXCEPTION(EAudioPcm);

class TCustomAudioReader;

// Sample kinds of a block.
inline constexpr int skMono8 = 1;
inline constexpr int skStereo8 = 2;
inline constexpr int skMono16 = 3;
inline constexpr int skStereo16 = 4;

// One block of PCM. 8-bit samples are unsigned with silence at 128, 16-bit samples are
// signed little-endian with silence at 0; a stereo frame is left then right.
class TAudioPcmManager {
 public:
  TAudioPcmManager();  // Init(8, 1, 1, 44100)

  // Raises EAudioPcm "... Error $1A01 ..." for bits other than 8 and 16, channels other
  // than 1 and 2, a rate or duration not above 0, or a block past 2 GB.
  void Init(int bits, int channels, int durationMs, int samplesPerSecond);
  // Fills every frame with silence.
  void ClearBlock();
  // Frame i, clamped to the block; nullptr when the block holds no frame.
  uint8_t* SamplePtr(int i);
  const uint8_t* SamplePtr(int i) const;
  // Frame i = source frame (same kind) x gain, rounded and clipped; a gain of exactly 1
  // copies the frame. Gains run from 0 to 2 (outside is clamped).
  void PutScaledSample(int i, const uint8_t* sourceFrame, double gain);
  // Frame i = a + b + c per channel, clipped; a missing frame counts as silence.
  void MixSamples(int i, const uint8_t* a, const uint8_t* b, const uint8_t* c);

  uint8_t* Block() { return block_.data(); }
  const uint8_t* Block() const { return block_.data(); }
  int BlockSize() const { return static_cast<int>(block_.size()); }
  int FrameCount() const { return frames_; }
  int Duration() const { return durationMs_; }  // held, in ms
  int Bits() const { return bits_; }
  int Channels() const { return channels_; }
  int SamplesPerSec() const { return rate_; }
  int SampleKind() const { return kind_; }
  int BytesPerFrame() const { return bytesPerFrame_; }

 private:
  std::vector<uint8_t> block_;
  int bits_ = 8;
  int channels_ = 1;
  int rate_ = 44100;
  int kind_ = skMono8;
  int bytesPerFrame_ = 1;
  int frames_ = 0;
  int durationMs_ = 0;
};

// What the player reads: a sound reader (delivering PCM in its destination format).
class TAudioPlaySource {
 public:
  virtual ~TAudioPlaySource() = default;
  virtual bool Opened() const = 0;
  virtual int Duration() const = 0;  // ms
  virtual WAVEFORMATEX DestFormat() const = 0;
  // The PCM of [timeMs, timeMs + durationMs), at most maxBytes; the bytes written.
  virtual int ReadData(int timeMs, int durationMs, int maxBytes, uint8_t* buffer) = 0;
};

// Player states.
enum TAudioPlayState {
  apsNoSound = 0,
  apsPlaying = 1,
  apsPaused = 2,
  apsStopping = 3,
  apsStopped = 4,  // stopped and ready
  apsFinished = 5
};

// Plays a reader's sound with ten 100 ms buffers in flight. The device's notifier
// thread returns finished buffers and queues the next ones; Play, Stop, Pause and
// Resume come from the user's thread. Destroying the player stops it.
class TAudioPlay {
 public:
  explicit TAudioPlay(TAudioPlaySource* reader);    // not owned
  explicit TAudioPlay(TCustomAudioReader* reader);  // not owned
  ~TAudioPlay();
  TAudioPlay(const TAudioPlay&) = delete;
  TAudioPlay& operator=(const TAudioPlay&) = delete;

  // Plays lengthMs from timeOffsetMs (a length below 1 or past the end: to the end).
  bool Play(int timeOffsetMs, int lengthMs);
  void Stop();
  void Pause();
  void Resume();

  int State() const { return state_.load(); }
  int QueuedBuffers() const { return queued_.load(); }
  int CurrentTimeOffset() const { return offset_.load(); }
  int LeftLengthTime() const { return left_.load(); }
  int BufferDuration() const { return kBufferMs; }
  int BufferSize() const { return bufferSize_; }
  // Sample frames the device has played since Play; 0 without a device.
  uint64_t DevicePosition() const;
  // The time in the sound being heard (ms); -1 without a device.
  int PlayPosition() const;

  static constexpr int kBufferMs = 100;
  static constexpr int kBuffersInFlight = 10;

 private:
  struct TPlayBuffer {
    WAVEHDR hdr;
    std::vector<uint8_t> data;
  };

  explicit TAudioPlay(std::unique_ptr<TAudioPlaySource> adapter);

  bool OpenDevice();
  void StopLocked();
  bool FillBuffer();  // fillLock_ held
  void OnDeviceMessage(TWaveOutMessage msg, WAVEHDR* hdr);

  std::unique_ptr<TAudioPlaySource> adapter_;  // between us and a TCustomAudioReader
  TAudioPlaySource* reader_;
  std::mutex controlLock_;  // Play/Stop/Pause/Resume one at a time
  std::mutex fillLock_;     // the buffers, times and state changes; taken by the notifier
  std::atomic<HWAVEOUT> device_{nullptr};
  WAVEFORMATEX format_;
  int bufferSize_ = 0;
  std::atomic<int> startOffset_{0};
  std::atomic<int> playRate_{0};
  std::atomic<int> offset_{0};
  std::atomic<int> left_{0};
  std::atomic<int> queued_{0};
  std::atomic<int> state_{apsNoSound};
  std::unordered_map<WAVEHDR*, std::unique_ptr<TPlayBuffer>> buffers_;
};

// One WAV file image in memory, played through PlaySound.
class TAudioPlaySound {
 public:
  // "RIFF" size "WAVE", "fmt " (16 bytes for PCM, else 18 + extra bytes), "fact" (non-PCM
  // only: the sample count when the format tells it, else 0), "data", one trailing byte.
  // False without a format, data or size, or when the image would pass 4 GB.
  bool BuildWaveImage(const TWaveFormat* format, const uint8_t* data, size_t size);
  // Builds the image and plays it asynchronously.
  bool Play(const TWaveFormat* format, const uint8_t* data, size_t size);
  // Stops any sound PlaySound plays.
  void Stop();

  const std::vector<uint8_t>& Image() const { return image_; }
  size_t ImageSize() const { return image_.size(); }

 private:
  std::vector<uint8_t> image_;
};

}  // namespace movara
