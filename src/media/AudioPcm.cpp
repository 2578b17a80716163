#include "media/AudioPcm.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <thread>

#include "base/Format.h"
#include "base/Rounding.h"
#include "base/Trace.h"
#include "platform/audioout/PlaySound.h"

namespace movara {

// ---------------------------------------------------------------- TAudioPcmManager

namespace {

// A sample's value around silence: 8-bit samples are stored + 128.
inline int SampleValue(const uint8_t* p, int bits) {
  if (bits == 8) return static_cast<int>(p[0]) - 128;
  return static_cast<int16_t>(GetLE16(p));
}

inline void StoreSample(uint8_t* p, int bits, int64_t v) {
  if (bits == 8) {
    p[0] = static_cast<uint8_t>(std::clamp<int64_t>(v, -128, 127) + 128);
  } else {
    PutLE16(p, static_cast<uint16_t>(static_cast<int16_t>(std::clamp<int64_t>(v, -32768, 32767))));
  }
}

}  // namespace

TAudioPcmManager::TAudioPcmManager() { Init(8, 1, 1, 44100); }

void TAudioPcmManager::Init(int bits, int channels, int durationMs, int samplesPerSecond) {
  bool ok = (bits == 8 || bits == 16) && (channels == 1 || channels == 2) &&
            samplesPerSecond > 0 && durationMs > 0;
  int64_t frames = 0;
  const int bytesPerFrame = channels * bits / 8;
  if (ok) {
    frames = RoundHalfEven(static_cast<long double>(samplesPerSecond) * durationMs / 1000.0L);
    // The block is addressed with int sizes: more than 2 GB is not a block we make.
    ok = frames * bytesPerFrame <= std::numeric_limits<int32_t>::max();
  }
  if (!ok)
    throw EAudioPcm(Format(
        "[TAudioPcmManager.Init] Error $1A01. One of the following params are not allowed: "
        "Bits = %d, Channels = %d, SamplesPerSec = %d, Duration = %d",
        bits, channels, samplesPerSecond, durationMs));

  bits_ = bits;
  channels_ = channels;
  rate_ = samplesPerSecond;
  kind_ = (bits == 8 ? 0 : 2) + channels;
  bytesPerFrame_ = bytesPerFrame;
  frames_ = static_cast<int>(frames);
  durationMs_ =
      static_cast<int>(RoundHalfEven(static_cast<long double>(frames) / samplesPerSecond * 1000.0L));
  const size_t size = static_cast<size_t>(frames) * static_cast<size_t>(bytesPerFrame);
  if (block_.size() != size) {
    std::vector<uint8_t>().swap(block_);
    block_.resize(size);
  }
  ClearBlock();
}

void TAudioPcmManager::ClearBlock() {
  std::fill(block_.begin(), block_.end(), static_cast<uint8_t>(bits_ == 8 ? 128 : 0));
}

uint8_t* TAudioPcmManager::SamplePtr(int i) {
  if (frames_ <= 0) return nullptr;
  i = std::clamp(i, 0, frames_ - 1);
  return block_.data() + static_cast<size_t>(i) * static_cast<size_t>(bytesPerFrame_);
}

const uint8_t* TAudioPcmManager::SamplePtr(int i) const {
  return const_cast<TAudioPcmManager*>(this)->SamplePtr(i);
}

void TAudioPcmManager::PutScaledSample(int i, const uint8_t* sourceFrame, double gain) {
  uint8_t* dst = SamplePtr(i);
  if (dst == nullptr || sourceFrame == nullptr) return;
  if (gain == 1.0) {
    std::memmove(dst, sourceFrame, static_cast<size_t>(bytesPerFrame_));
    return;
  }
  if (!(gain >= 0.0)) gain = 0.0;  // NaN too
  if (gain > 2.0) gain = 2.0;
  const int step = bits_ / 8;
  for (int ch = 0; ch < channels_; ++ch) {
    const int v = SampleValue(sourceFrame + ch * step, bits_);
    StoreSample(dst + ch * step, bits_, RoundHalfEven(static_cast<long double>(v) * gain));
  }
}

void TAudioPcmManager::MixSamples(int i, const uint8_t* a, const uint8_t* b, const uint8_t* c) {
  uint8_t* dst = SamplePtr(i);
  if (dst == nullptr) return;
  const int step = bits_ / 8;
  for (int ch = 0; ch < channels_; ++ch) {
    const int off = ch * step;
    int64_t sum = 0;
    if (a) sum += SampleValue(a + off, bits_);
    if (b) sum += SampleValue(b + off, bits_);
    if (c) sum += SampleValue(c + off, bits_);
    StoreSample(dst + off, bits_, sum);
  }
}

// ---------------------------------------------------------------- TAudioPlay

TAudioPlay::TAudioPlay(TAudioPlaySource* reader) : reader_(reader) {
  state_ = reader_ != nullptr && reader_->Opened() ? apsStopped : apsNoSound;
}

TAudioPlay::TAudioPlay(std::unique_ptr<TAudioPlaySource> adapter)
    : adapter_(std::move(adapter)), reader_(adapter_.get()) {
  state_ = reader_ != nullptr && reader_->Opened() ? apsStopped : apsNoSound;
}

TAudioPlay::~TAudioPlay() {
  std::lock_guard<std::mutex> control(controlLock_);
  StopLocked();
}

bool TAudioPlay::Play(int timeOffsetMs, int lengthMs) {
  std::lock_guard<std::mutex> control(controlLock_);
  if (reader_ == nullptr) return false;
  switch (state_.load()) {
    case apsNoSound:
      return false;
    case apsPlaying:
    case apsPaused:
    case apsFinished:
      StopLocked();
      break;
    case apsStopping:
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      break;
    default:
      break;
  }
  if (timeOffsetMs < 0) timeOffsetMs = 0;
  const int duration = reader_->Duration();
  if (lengthMs < 1 || static_cast<int64_t>(timeOffsetMs) + lengthMs > duration)
    lengthMs = duration - timeOffsetMs;
  if (lengthMs < 1) return false;
  offset_ = timeOffsetMs;
  left_ = lengthMs;
  startOffset_ = timeOffsetMs;
  TraceF("[TAudioPlay.Play] Try to play the sound. FCurrentTimeOffset = %d, FLeftLengthTime = %d",
         offset_.load(), left_.load());

  if (!OpenDevice()) {
    Trace("[TAudioPlay.Play] OpenDevice FAILED !");
    return false;
  }
  MMRESULT r = waveOutPause(device_);
  if (r != MMSYSERR_NOERROR)
    TraceF("[TAudioPlay.Play] waveOutPAUSE FAILED ! Eror Ignored. MmResult = %d ($%x)",
           static_cast<int>(r), r);
  {
    std::lock_guard<std::mutex> fill(fillLock_);
    for (int k = 0; k < kBuffersInFlight; ++k) FillBuffer();
    // With nothing queued no buffer will ever come back to end the play.
    state_ = queued_ > 0 ? apsPlaying : apsFinished;
  }
  r = waveOutRestart(device_);
  if (r != MMSYSERR_NOERROR) Trace("[TAudioPlay.Play] waveOutRestart FAILED !");
  return true;
}

bool TAudioPlay::OpenDevice() {
  StopLocked();
  PlaySound(nullptr, 0, 0);
  format_ = reader_->DestFormat();
  // The rate the device plays at, a tenth of it per buffer.
  const int64_t bytesPerSec = static_cast<int64_t>(format_.nBlockAlign) * format_.nSamplesPerSec;
  bufferSize_ = static_cast<int>(RoundHalfEven(static_cast<long double>(bytesPerSec) * 0.1L));
  HWAVEOUT dev = nullptr;
  const MMRESULT r = waveOutOpen(&dev, WAVE_MAPPER, &format_,
                                 [this](HWAVEOUT, TWaveOutMessage msg, WAVEHDR* hdr) {
                                   OnDeviceMessage(msg, hdr);
                                 });
  if (r != MMSYSERR_NOERROR) {
    TraceF("[TAudioPlay.OpenDevice] waveOutOpen FAILED ! MmResult = %d ($%x)",
           static_cast<int>(r), r);
    return false;
  }
  std::lock_guard<std::mutex> fill(fillLock_);
  playRate_ = static_cast<int>(format_.nSamplesPerSec);
  device_ = dev;
  return true;
}

bool TAudioPlay::FillBuffer() {
  const int st = state_.load();
  if (device_ == nullptr || st == apsNoSound || st == apsStopping || st == apsFinished)
    return false;
  const int n = std::min(left_.load(), kBufferMs);
  if (n < 1) return true;

  std::unique_ptr<TPlayBuffer> buf;
  try {
    buf = std::make_unique<TPlayBuffer>();
    buf->data.assign(static_cast<size_t>(bufferSize_), 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  WAVEHDR* h = &buf->hdr;
  h->lpData = buf->data.data();
  h->dwBufferLength = static_cast<uint32_t>(bufferSize_);
  h->dwUser = reinterpret_cast<uintptr_t>(buf.get());
  if (waveOutPrepareHeader(device_, h) != MMSYSERR_NOERROR) {
    Trace("[TAudioPlay.FillBuffer] waveOutPrepareHeader FALED !");
    return false;
  }
  int got = reader_->ReadData(offset_, n, bufferSize_, buf->data.data());
  // Only what was read is played, in whole frames: the zeros behind a short read would
  // be a click for 8-bit sound. A buffer of nothing comes back at once and keeps the
  // refill going.
  got = std::clamp(got, 0, bufferSize_);
  if (format_.nBlockAlign > 0) got -= got % format_.nBlockAlign;
  h->dwBufferLength = static_cast<uint32_t>(got);
  left_ -= n;
  offset_ += n;
  buffers_[h] = std::move(buf);
  ++queued_;
  if (waveOutWrite(device_, h) != MMSYSERR_NOERROR) {
    Trace("[TAudioPlay.FillNextBuffer] waveOutWrite FAILED !");
    --queued_;
    waveOutUnprepareHeader(device_, h);
    buffers_.erase(h);
    return false;
  }
  return true;
}

void TAudioPlay::OnDeviceMessage(TWaveOutMessage msg, WAVEHDR* hdr) {
  if (msg != WOM_DONE) return;
  std::lock_guard<std::mutex> fill(fillLock_);
  auto it = buffers_.find(hdr);
  if (it == buffers_.end()) return;
  if (device_ != nullptr) waveOutUnprepareHeader(device_, hdr);
  buffers_.erase(it);
  --queued_;
  if (queued_ > 0 || state_ == apsStopping) {
    FillBuffer();
  } else {
    state_ = apsFinished;
  }
}

void TAudioPlay::Stop() {
  std::lock_guard<std::mutex> control(controlLock_);
  StopLocked();
}

void TAudioPlay::StopLocked() {
  HWAVEOUT dev;
  {
    std::lock_guard<std::mutex> fill(fillLock_);
    dev = device_;
    if (dev == nullptr) {
      state_ = reader_ != nullptr && reader_->Opened() ? apsStopped : apsNoSound;
      queued_ = 0;
      return;
    }
    state_ = apsStopping;
  }
  // The reset returns every queued buffer through the notifier (which frees it and, while
  // stopping, queues nothing new) before it returns; the fill lock is not held meanwhile.
  waveOutReset(dev);
  MMRESULT r = waveOutClose(dev);
  if (r == WAVERR_STILLPLAYING) {
    waveOutReset(dev);
    r = waveOutClose(dev);
  }
  if (r != MMSYSERR_NOERROR)
    TraceF("[TAudioPlay.Stop] waveOutClose FAILED ! MmResult = %d ($%x)", static_cast<int>(r), r);
  {
    std::lock_guard<std::mutex> fill(fillLock_);
    buffers_.clear();
    device_ = nullptr;
    state_ = apsStopped;
    queued_ = 0;
  }
  Trace("[TAudioPlay.Stop] Stopped.");
}

void TAudioPlay::Pause() {
  std::lock_guard<std::mutex> control(controlLock_);
  std::lock_guard<std::mutex> fill(fillLock_);
  if (state_ == apsPlaying && device_ != nullptr) {
    waveOutPause(device_);
    state_ = apsPaused;
  }
}

void TAudioPlay::Resume() {
  std::lock_guard<std::mutex> control(controlLock_);
  std::lock_guard<std::mutex> fill(fillLock_);
  if (state_ == apsPaused && device_ != nullptr) {
    waveOutRestart(device_);
    state_ = apsPlaying;
  }
}

uint64_t TAudioPlay::DevicePosition() const {
  HWAVEOUT dev = device_;
  uint64_t samples = 0;
  if (dev == nullptr || waveOutGetPosition(dev, &samples) != MMSYSERR_NOERROR) return 0;
  return samples;
}

int TAudioPlay::PlayPosition() const {
  HWAVEOUT dev = device_;
  uint64_t samples = 0;
  if (dev == nullptr || waveOutGetPosition(dev, &samples) != MMSYSERR_NOERROR) return -1;
  const int rate = playRate_;
  if (rate <= 0) return startOffset_;
  return startOffset_ +
         static_cast<int>(RoundHalfEven(static_cast<long double>(samples) * 1000.0L / rate));
}

// ---------------------------------------------------------------- TAudioPlaySound

namespace {

constexpr FOURCC ckidFACT = mmioFOURCC('f', 'a', 'c', 't');

// The samples a non-PCM "data" chunk holds, when its format tells: one sample frame per
// block for float and the G.711 laws, a fixed count per block for the ADPCM kinds (whole
// blocks). 0 for any other format.
uint32_t FactSampleCount(const TWaveFormat& f, size_t size) {
  const uint16_t align = f.wf.nBlockAlign;
  if (align == 0) return 0;
  uint64_t samples = 0;
  switch (f.wf.wFormatTag) {
    case WAVE_FORMAT_IEEE_FLOAT:
    case WAVE_FORMAT_ALAW:
    case WAVE_FORMAT_MULAW:
      samples = size / align;
      break;
    case WAVE_FORMAT_ADPCM:
    case WAVE_FORMAT_IMA_ADPCM:
      if (f.extra.size() >= 2) samples = static_cast<uint64_t>(size / align) * GetLE16(f.extra.data());
      break;
    default:
      break;
  }
  return static_cast<uint32_t>(std::min<uint64_t>(samples, 0xFFFFFFFFu));
}

}  // namespace

bool TAudioPlaySound::BuildWaveImage(const TWaveFormat* format, const uint8_t* data, size_t size) {
  image_.clear();
  if (format == nullptr || data == nullptr || size == 0) return false;
  const bool pcm = format->wf.wFormatTag == WAVE_FORMAT_PCM;
  const size_t extra = pcm ? 0 : std::min<size_t>(format->extra.size(), 0xFFFF);
  const size_t fmtSize = pcm ? WAVEFORMATEX::kPcmSize : WAVEFORMATEX::kSize + extra;
  const uint64_t total = 12 + 8 + fmtSize + (pcm ? 0 : 12) + 8 + static_cast<uint64_t>(size) + 1;
  if (total - 8 > 0xFFFFFFFFu) return false;  // the RIFF size field is 32 bits
  try {
    image_.reserve(static_cast<size_t>(total));
  } catch (const std::bad_alloc&) {
    return false;
  }
  TLEWriter w(image_);
  w.FourCC(ckidRIFF);
  w.U32(static_cast<uint32_t>(total - 8));
  w.FourCC(formtypeWAVE);
  w.FourCC(ckidWAVEFORMAT);
  w.U32(static_cast<uint32_t>(fmtSize));
  const WAVEFORMATEX& wf = format->wf;
  w.U16(wf.wFormatTag);
  w.U16(wf.nChannels);
  w.U32(wf.nSamplesPerSec);
  w.U32(wf.nAvgBytesPerSec);
  w.U16(wf.nBlockAlign);
  w.U16(wf.wBitsPerSample);
  if (!pcm) {
    w.U16(static_cast<uint16_t>(extra));
    w.Bytes(format->extra.data(), extra);
    w.FourCC(ckidFACT);
    w.U32(4);
    w.U32(FactSampleCount(*format, size));
  }
  w.FourCC(ckidWAVEDATA);
  w.U32(static_cast<uint32_t>(size));
  w.Bytes(data, size);
  w.U8(0);
  return image_.size() == total;
}

bool TAudioPlaySound::Play(const TWaveFormat* format, const uint8_t* data, size_t size) {
  if (!BuildWaveImage(format, data, size)) return false;
  return PlaySound(image_.data(), image_.size(), SND_MEMORY | SND_ASYNC | SND_NODEFAULT);
}

void TAudioPlaySound::Stop() { PlaySound(nullptr, 0, 0); }

}  // namespace movara
