#include "media/AudioCompressor.h"

#include <algorithm>
#include <cstring>

#include "base/Format.h"
#include "base/Rounding.h"
#include "base/Trace.h"
#include "media/MmResultText.h"

namespace movara {
namespace {

// The first allocation of a buffer stays below this; a buffer grows past it only as far
// as a conversion really delivers.
constexpr int64_t kInitialBufferCap = 64ll << 20;
constexpr size_t kMaxBuffer = size_t(1) << 30;
constexpr size_t kMinGrowth = 4096;

bool IsStandardRate(uint32_t rate) {
  return rate == 8000 || rate == 11025 || rate == 16000 || rate == 22050 || rate == 44100;
}

bool IsMedialBits(uint16_t bits) { return bits == 4 || bits == 8 || bits == 16; }

class TBusyCursor {
 public:
  explicit TBusyCursor(bool show) : show_(show && TAudioCompressor::BusyCursorHook()) {
    if (show_) TAudioCompressor::BusyCursorHook()(true);
  }
  ~TBusyCursor() {
    if (show_) TAudioCompressor::BusyCursorHook()(false);
  }
  TBusyCursor(const TBusyCursor&) = delete;
  TBusyCursor& operator=(const TBusyCursor&) = delete;

 private:
  bool show_;
};

}  // namespace

TAudioCompressor::TAudioCompressor() = default;

TAudioCompressor::~TAudioCompressor() { CloseCompression(); }

std::function<void(bool)>& TAudioCompressor::BusyCursorHook() {
  static std::function<void(bool)> hook;
  return hook;
}

std::string TAudioCompressor::FormatText(const char* name, const WAVEFORMATEX& format) {
  return Format("%s: format: %s, %u channels, %u bits, %u samples per second", name,
                FormatTagName(format.wFormatTag).c_str(), format.nChannels, format.wBitsPerSample,
                format.nSamplesPerSec);
}

// destination bytes per second x 1.8 x source buffer size / source bytes per second.
int TAudioCompressor::BufferSizeFor(uint32_t bytesPerSecond) const {
  const long double srcBps = source_.wf.nAvgBytesPerSec;
  const long double srcSize = static_cast<long double>(sourceBuffer_.size());
  long double size;
  if (srcBps > 0) {
    size = static_cast<long double>(bytesPerSecond) * 1.8L * srcSize / srcBps;
  } else {
    size = srcSize * 4;  // a source that does not say its rate: the buffer grows as needed
  }
  // A header that claims a tiny source rate cannot make a huge first buffer: no codec
  // gives more than about a hundred times its input (the buffer grows if one does).
  size = std::min<long double>(size, srcSize * 128 + 65536);
  // Never empty: a buffer grows from there when a conversion gives more.
  return std::max(1, static_cast<int>(RoundHalfEven(std::min<long double>(size, kInitialBufferCap))));
}

bool TAudioCompressor::SetSourceFormat(const TWaveFormat& format, int bufferSize) {
  CloseCompression();
  if (bufferSize < 0 || static_cast<size_t>(bufferSize) > kMaxBuffer) return false;
  source_ = format;
  source_.wf.cbSize = static_cast<uint16_t>(source_.extra.size());
  sourceBuffer_.assign(static_cast<size_t>(bufferSize), 0);
  sourceLength_ = static_cast<uint32_t>(bufferSize);
  showHourglass_ = !(source_.wf.wFormatTag == WAVE_FORMAT_PCM && dest_.wf.wFormatTag == WAVE_FORMAT_PCM);
  return true;
}

bool TAudioCompressor::SetDestFormat(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
  CloseCompression();
  dest_ = TWaveFormat();
  dest_.wf.wFormatTag = tag;
  dest_.wf.nChannels = channels;
  dest_.wf.nSamplesPerSec = rate;
  dest_.wf.wBitsPerSample = bits;
  if (const TAudioCodecFormat* f = AudioCodecList().FindFormat(tag, channels, rate, bits)) {
    dest_ = f->Format;
  } else {
    dest_.wf.nBlockAlign = static_cast<uint16_t>(bits != 0 ? channels * bits / 8 : channels * 2);
    dest_.wf.nAvgBytesPerSec = static_cast<uint32_t>(dest_.wf.nBlockAlign) * rate;
  }
  destBuffer_.assign(static_cast<size_t>(BufferSizeFor(dest_.wf.nAvgBytesPerSec)), 0);
  showHourglass_ = !(source_.wf.wFormatTag == WAVE_FORMAT_PCM && tag == WAVE_FORMAT_PCM);
  return true;
}

bool TAudioCompressor::TryMedial(const TAudioFormatHead& head, HACMDRIVERID& id0,
                                 TWaveFormat& med0, HACMDRIVERID& id1, TWaveFormat& med1,
                                 TWaveFormat& dst1) {
  TAudioCodecList& list = AudioCodecList();
  TWaveFormat src0;
  return list.FindConversion(HeadOf(source_), head, id0, src0, med0) &&
         list.FindConversion(head, HeadOf(dest_), id1, med1, dst1);
}

void TAudioCompressor::SetHeader(int stage, uint8_t* src, uint32_t srcLength, uint8_t* dst,
                                 uint32_t dstLength) {
  ACMSTREAMHEADER& h = header_[static_cast<size_t>(stage)];
  h = ACMSTREAMHEADER();
  h.pbSrc = src;
  h.cbSrcLength = srcLength;
  h.pbDst = dst;
  h.cbDstLength = dstLength;
}

bool TAudioCompressor::InitCompression() {
  CloseCompression();
  totalSource_ = 0;
  totalDest_ = 0;
  twoStage_ = false;
  TAudioCodecList& list = AudioCodecList();
  const TAudioFormatHead src = HeadOf(source_);
  const TAudioFormatHead dst = HeadOf(dest_);
  // The stream reads the real source format: a file's ADPCM blocks or MP3 frames may
  // differ from the driver's own format of the same head.
  const TWaveFormat streamSource =
      src.Tag == WAVE_FORMAT_PCM ? PcmFormatOf(src) : source_;

  HACMDRIVERID id = nullptr;
  TWaveFormat s;
  TWaveFormat d;
  if (list.FindConversion(src, dst, id, s, d)) {
    driverId_[0] = id;
    stageSource_[0] = streamSource;
    stageDest_[0] = d;
    dest_ = d;
  } else {
    TAudioFormatHead medial;
    if (src.Tag == WAVE_FORMAT_PCM) {
      medial = dst;
      medial.Bits = IsMedialBits(dst.Bits) ? dst.Bits : src.Bits;
    } else {
      medial = src;
      medial.Bits = IsMedialBits(src.Bits) ? src.Bits : dst.Bits;
    }
    medial.Tag = WAVE_FORMAT_PCM;
    HACMDRIVERID id0 = nullptr;
    HACMDRIVERID id1 = nullptr;
    TWaveFormat med0;
    TWaveFormat med1;
    TWaveFormat dst1;
    // Each try changes one value of the head as built.
    bool found = TryMedial(medial, id0, med0, id1, med1, dst1);
    if (!found && !IsStandardRate(medial.Rate)) {
      TAudioFormatHead h = medial;
      h.Rate = IsStandardRate(dst.Rate) ? dst.Rate : 44100;
      found = TryMedial(h, id0, med0, id1, med1, dst1);
    }
    if (!found && medial.Bits == 4) {
      TAudioFormatHead h = medial;
      h.Bits = dst.Bits == 16 ? 16 : 8;
      found = TryMedial(h, id0, med0, id1, med1, dst1);
    }
    if (!found && medial.Channels == 1) {
      TAudioFormatHead h = medial;
      h.Channels = 2;
      found = TryMedial(h, id0, med0, id1, med1, dst1);
    }
    if (!found) return false;
    twoStage_ = true;
    driverId_[0] = id0;
    driverId_[1] = id1;
    stageSource_[0] = streamSource;
    stageDest_[0] = med0;
    stageSource_[1] = med1;
    stageDest_[1] = dst1;
    medial_ = med0;
    dest_ = dst1;
    medialBuffer_.assign(static_cast<size_t>(BufferSizeFor(medial_.wf.nAvgBytesPerSec)), 0);
  }
  destBuffer_.assign(static_cast<size_t>(BufferSizeFor(dest_.wf.nAvgBytesPerSec)), 0);

  if (twoStage_) {
    SetHeader(0, sourceBuffer_.data(), sourceLength_, medialBuffer_.data(),
              static_cast<uint32_t>(medialBuffer_.size()));
    SetHeader(1, medialBuffer_.data(), static_cast<uint32_t>(medialBuffer_.size() * 2 / 3),
              destBuffer_.data(), static_cast<uint32_t>(destBuffer_.size()));
  } else {
    SetHeader(0, sourceBuffer_.data(), sourceLength_, destBuffer_.data(),
              static_cast<uint32_t>(destBuffer_.size()));
  }

  auto openStage = [&](int stage, const char* error) {
    const size_t i = static_cast<size_t>(stage);
    MMRESULT r = acmDriverOpen(&driver_[i], driverId_[i], 0);
    if (r == MMSYSERR_NOERROR) {
      r = acmStreamOpen(&stream_[i], driver_[i], &stageSource_[i], &stageDest_[i],
                        ACM_STREAMOPENF_NONREALTIME);
    }
    if (r != MMSYSERR_NOERROR) {
      lastResult_ = r;
      throw EAudioError(Format(error, MmResultText(r).c_str()));
    }
  };
  if (twoStage_) {
    openStage(1, "(Error $A09) Cannot open stream[1]: %s !");
    openStage(0, "(Error $A08) Cannot open stream[0]: %s !");
  } else {
    openStage(0, "(Error $A04) Cannot open stream: %s !");
  }
  MMRESULT r = acmStreamPrepareHeader(stream_[0], &header_[0], 0);
  if (r != MMSYSERR_NOERROR) {
    lastResult_ = r;
    throw EAudioError(Format("(Error $A05) Cannot prepare stream[0] %s !", MmResultText(r).c_str()));
  }
  if (twoStage_) {
    r = acmStreamPrepareHeader(stream_[1], &header_[1], 0);
    if (r != MMSYSERR_NOERROR) {
      lastResult_ = r;
      throw EAudioError(Format("(Error $A10) Cannot prepare stream[1] %s !", MmResultText(r).c_str()));
    }
  }
  ready_ = stream_[0] != nullptr && driver_[0] != nullptr && !destBuffer_.empty() &&
           (!twoStage_ || (stream_[1] != nullptr && driver_[1] != nullptr && !medialBuffer_.empty()));
  return ready_;
}

// One stage's conversion into out. A destination that fills up may hold back more: the
// buffer then grows and the rest is collected, so that nothing converted is lost.
bool TAudioCompressor::RunStage(int stage, uint32_t srcLength, uint32_t flags,
                                std::vector<uint8_t>& out, uint32_t& srcUsed,
                                uint32_t& produced) {
  const size_t i = static_cast<size_t>(stage);
  ACMSTREAMHEADER& h = header_[i];
  uint8_t* src = stage == 0 ? sourceBuffer_.data() : medialBuffer_.data();
  h.pbSrc = src;
  h.cbSrcLength = srcLength;
  h.pbDst = out.data();
  h.cbDstLength = static_cast<uint32_t>(out.size());
  MMRESULT r = acmStreamConvert(stream_[i], &h, flags);
  if (r != MMSYSERR_NOERROR) {
    lastResult_ = r;
    return false;
  }
  srcUsed = h.cbSrcLengthUsed;
  size_t total = h.cbDstLengthUsed;
  while (total == out.size()) {
    const size_t grown = std::max(out.size() * 2, kMinGrowth);
    if (grown > kMaxBuffer) {
      lastResult_ = MMSYSERR_NOMEM;
      return false;
    }
    // The buffer moves: the header is prepared again for it.
    acmStreamUnprepareHeader(stream_[i], &h, 0);
    out.resize(grown);
    h.pbSrc = src;
    h.cbSrcLength = 0;
    h.pbDst = out.data() + total;
    h.cbDstLength = static_cast<uint32_t>(out.size() - total);
    r = acmStreamPrepareHeader(stream_[i], &h, 0);
    if (r == MMSYSERR_NOERROR) {
      r = acmStreamConvert(stream_[i], &h, flags & ~(ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_END));
    }
    if (r != MMSYSERR_NOERROR) {
      lastResult_ = r;
      return false;
    }
    total += h.cbDstLengthUsed;
  }
  h.pbDst = out.data();
  h.cbDstLength = static_cast<uint32_t>(out.size());
  produced = static_cast<uint32_t>(total);
  return true;
}

bool TAudioCompressor::Convert(uint32_t flags, int& convertedSize) {
  convertedSize = 0;
  bool ok;
  uint32_t used0 = 0;
  uint32_t produced = 0;
  {
    TBusyCursor cursor(showHourglass_);
    uint32_t produced0 = 0;
    ok = RunStage(0, sourceLength_, flags, twoStage_ ? medialBuffer_ : destBuffer_, used0, produced0);
    produced = produced0;
    if (ok && twoStage_) {
      if (produced0 > medialBuffer_.size()) throw EAudioError("(Error $A13) Middle Buffer Size not enough !");
      uint32_t used1 = 0;
      ok = RunStage(1, produced0, flags, destBuffer_, used1, produced);
    }
  }
  if (!ok) {
    TraceF("[TAudioCompressor.CompressData] Error: %s", MmResultText(lastResult_).c_str());
    return false;
  }
  lastResult_ = MMSYSERR_NOERROR;
  totalSource_ += used0;
  totalDest_ += produced;
  convertedSize = static_cast<int>(produced);
  return true;
}

bool TAudioCompressor::CompressData(int& convertedSize) {
  convertedSize = 0;
  if (!ready_ && !InitCompression()) throw EAudioError("(Error $A03) Cannot initialize Compression !");
  return Convert(ACM_STREAMCONVERTF_BLOCKALIGN, convertedSize);
}

bool TAudioCompressor::CompressBlock(const void* data, int size, int& convertedSize) {
  convertedSize = 0;
  if (size < 0 || (size > 0 && data == nullptr) || static_cast<size_t>(size) > kMaxBuffer) return false;
  if (static_cast<size_t>(size) > sourceBuffer_.size()) {
    CloseCompression();
    sourceBuffer_.assign(static_cast<size_t>(size), 0);
    sourceLength_ = static_cast<uint32_t>(size);
    if (!InitCompression()) {
      throw EAudioError(
          Format("(Error $A06) Cannot init compressing for changed source data size: %d !", size));
    }
  } else {
    sourceLength_ = static_cast<uint32_t>(size);
  }
  if (size > 0) std::memcpy(sourceBuffer_.data(), data, static_cast<size_t>(size));
  return CompressData(convertedSize);
}

bool TAudioCompressor::FlushCompression(int& convertedSize) {
  convertedSize = 0;
  if (!ready_) return true;
  const uint32_t keep = sourceLength_;
  sourceLength_ = 0;
  const bool ok = Convert(ACM_STREAMCONVERTF_END, convertedSize);
  sourceLength_ = keep;
  return ok;
}

void TAudioCompressor::CloseCompression() {
  for (size_t i = 0; i < 2; ++i) {
    if (stream_[i] != nullptr) {
      acmStreamUnprepareHeader(stream_[i], &header_[i], 0);
      acmStreamClose(stream_[i], 0);
      stream_[i] = nullptr;
    }
    if (driver_[i] != nullptr) {
      acmDriverClose(driver_[i], 0);
      driver_[i] = nullptr;
    }
    header_[i] = ACMSTREAMHEADER();
  }
  ready_ = false;
  twoStage_ = false;
}

}  // namespace movara
