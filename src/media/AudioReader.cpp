#include "media/AudioReader.h"

#include <algorithm>
#include <cstring>

#include "base/AppPaths.h"
#include "base/Format.h"
#include "base/LoadFailure.h"
#include "base/Rounding.h"
#include "base/Trace.h"
#include "media/AudioPcm.h"
#include "media/MmResultText.h"
#include "platform/avifile/AviIO.h"

namespace movara {
namespace {

// PCM sources larger than this are read in blocks of one second.
constexpr int kWholeSourceLimit = 999999;

bool ValidDestination(const WAVEFORMATEX& f) {
  return (f.nChannels == 1 || f.nChannels == 2) && (f.wBitsPerSample == 8 || f.wBitsPerSample == 16) &&
         f.nSamplesPerSec > 0 && f.nBlockAlign > 0 && f.nAvgBytesPerSec > 0;
}

int64_t AlignUp(int64_t value, int64_t align) {
  if (align <= 1) return value;
  return (value + align - 1) / align * align;
}

// A sound format in words: "24-bit PCM, 6 channels, 48000 Hz" (the sample kind of an
// extensible format from its sub-format).
std::string SoundFormatWords(const TWaveFormat& f) {
  const WAVEFORMATEX& wf = f.wf;
  uint16_t kind = wf.wFormatTag;
  if (kind == WAVE_FORMAT_EXTENSIBLE && f.extra.size() >= 8) kind = GetLE16(f.extra.data() + 6);
  std::string sample;
  if (kind == WAVE_FORMAT_PCM)
    sample = Format("%u-bit PCM", wf.wBitsPerSample);
  else if (kind == WAVE_FORMAT_IEEE_FLOAT)
    sample = Format("%u-bit floating-point", wf.wBitsPerSample);
  else
    sample = FormatTagName(wf.wFormatTag);
  return Format("%s, %u channel%s, %u Hz", sample.c_str(), wf.nChannels, wf.nChannels == 1 ? "" : "s",
                wf.nSamplesPerSec);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// TCustomAudioReader

TCustomAudioReader::TCustomAudioReader()
    : FPlaySound(std::make_unique<TAudioPlaySound>()), FDestFormat(MakePcmFormat(2, 44100, 16)) {}

TCustomAudioReader::~TCustomAudioReader() { Close(); }

bool TCustomAudioReader::OpenStream(const std::string&) { return false; }
void TCustomAudioReader::CloseStream() {}
void TCustomAudioReader::SeekStream(int64_t) {}
int TCustomAudioReader::ReadStream(void*, int) { return 0; }

bool TCustomAudioReader::SetDestinationFormat(int channels, int bits, int rate) {
  const WAVEFORMATEX wanted = MakePcmFormat(channels, rate, bits);
  if (FOpened && !(wanted == FDestFormat)) {
    FDestFormat = wanted;
    const std::string name = FFileName;
    return OpenFile(name);
  }
  if (FOpened) {
    TraceF("[TCustomAudioReader.SetDestinationFormat] Reopening File \"%s\" skipped. No needed.",
           FFileName.c_str());
  }
  FDestFormat = wanted;
  return true;
}

void TCustomAudioReader::Close() {
  CloseStream();
  FCompressor.CloseCompression();
  FOpened = false;
  FSourceIsPCM = false;
  FConverterSet = false;
  FSourceFormat = TWaveFormat();
  FDataStart = 0;
  FDataSize = 0;
  FBlockCount = 0;
  FBlockSize = 0;
  FLastBlockSize = 0;
  FRawData.clear();
  FRawData.shrink_to_fit();
  FRawDataSize = 0;
  FDestReadData.clear();
  FDestReadData.shrink_to_fit();
  FDestReadDataSize = 0;
  FBlockIndex = -1;
  FDuration = 0;
  FTimePosition = -1;
  FReadPos = 0;
  FLeft = 0;
}

bool TCustomAudioReader::OpenFile(const std::string& fileName) {
  Close();
  std::string name = fileName;
  if (!FileExists(name)) {
    name = DataFolder() + ExtractFileName(fileName);
    if (!FileExists(name)) return false;
  }
  if (!ValidDestination(FDestFormat)) return false;
  bool converting = false;
  try {
    FFileName = name;
    if (!OpenStream(name)) {
      Close();
      return false;
    }
    WAVEFORMATEX& wf = FSourceFormat.wf;
    FSourceIsPCM = wf.wFormatTag == WAVE_FORMAT_PCM;
    if (FSourceIsPCM && (wf.nChannels == 0 || wf.wBitsPerSample == 0 || wf.nSamplesPerSec == 0)) {
      Close();  // no sound at all
      return false;
    }
    if (FSourceIsPCM && wf.nAvgBytesPerSec == 0) {
      wf.nBlockAlign = static_cast<uint16_t>(wf.nChannels * wf.wBitsPerSample / 8);
      wf.nAvgBytesPerSec = static_cast<uint32_t>(wf.nBlockAlign) * wf.nSamplesPerSec;
    }
    if (FSourceIsPCM && (wf.nBlockAlign == 0 || wf.nAvgBytesPerSec == 0)) {
      Close();
      return false;
    }
    FOpened = true;
    converting = true;
    if (FSourceIsPCM && FDataSize > kWholeSourceLimit) {
      // Blocks of one second of source, whole sample frames each.
      int64_t size = std::min<int64_t>(wf.nAvgBytesPerSec, FDataSize);
      size -= size % wf.nBlockAlign;
      FBlockSize = static_cast<int>(std::max<int64_t>(size, wf.nBlockAlign));
      FBlockCount = FDataSize / FBlockSize + 1;
      FLastBlockSize = FDataSize % FBlockSize;
      FDuration = RoundInt(static_cast<long double>(FDataSize) / wf.nAvgBytesPerSec * 1000);
      // The first block now: a source no converter takes is refused here rather than
      // played as silence.
      if (!UpdateBlock(0)) {
        Close();
        return false;
      }
    } else {
      FBlockCount = 1;
      FBlockSize = FDataSize;
      FLastBlockSize = FDataSize;
      if (!UpdateBlock(0)) {
        Close();
        return false;
      }
      FDuration = RoundInt(static_cast<long double>(FDestReadDataSize) / FDestFormat.nAvgBytesPerSec * 1000);
    }
  } catch (...) {
    // The conversion cannot be set up: the source format is why.
    if (converting)
      NoteLoadFailure(Format("its sound format (%s) cannot be converted (movara reads 8- and 16-bit PCM and "
                             "compressed sound of one or two channels)",
                             SoundFormatWords(FSourceFormat).c_str()));
    Close();
    throw;
  }
  TraceF("[TCustomAudioReader.OpenFile] O.K. FileName = %s", FFileName.c_str());
  TraceF("[TCustomAudioReader.OpenFile] %s", TAudioCompressor::FormatText("Source", FSourceFormat.wf).c_str());
  TraceF("[TCustomAudioReader.OpenFile] %s", TAudioCompressor::FormatText("Destination", FDestFormat).c_str());
  return true;
}

int TCustomAudioReader::BlockBytes(int index) const {
  if (FBlockCount <= 1) return FDataSize;
  return index == FBlockCount - 1 ? FLastBlockSize : FBlockSize;
}

bool TCustomAudioReader::UpdateBlock(int index) {
  if (FBlockCount <= 0) return false;
  index = std::clamp(index, 0, FBlockCount - 1);
  if (index == FBlockIndex) return true;
  const int size = BlockBytes(index);
  if (static_cast<int>(FRawData.size()) < size) FRawData.resize(static_cast<size_t>(size));
  SeekStream(FDataStart + static_cast<int64_t>(index) * FBlockSize);
  FRawDataSize = ReadStream(FRawData.data(), size);
  if (FRawDataSize != size) {
    TraceF("[TCustomAudioReader.UpdateBlock] Error in StreamReadData: %d <> %d", FRawDataSize, size);
    return false;
  }
  if (!FConverterSet) {
    FCompressor.SetSourceFormat(FSourceFormat, static_cast<int>(FRawData.size()));
    FCompressor.SetDestFormat(WAVE_FORMAT_PCM, FDestFormat.nChannels, FDestFormat.nSamplesPerSec,
                              FDestFormat.wBitsPerSample);
    FConverterSet = true;
  } else if (index != FBlockIndex + 1) {
    // Not the block after the one held: the converter starts afresh rather than carry
    // the end of another block into this one.
    FCompressor.CloseCompression();
  }
  FBlockIndex = -1;
  int converted = 0;
  if (!FCompressor.CompressBlock(FRawData.data(), FRawDataSize, converted)) return false;
  FDestReadData.assign(FCompressor.DestBuffer(), FCompressor.DestBuffer() + converted);
  if (FBlockCount == 1) {
    // The whole source in one go: what the converter still holds belongs to it too.
    int rest = 0;
    if (FCompressor.FlushCompression(rest) && rest > 0) {
      FDestReadData.insert(FDestReadData.end(), FCompressor.DestBuffer(), FCompressor.DestBuffer() + rest);
    }
  }
  FDestReadDataSize = static_cast<int>(FDestReadData.size());
  if (FDestReadDataSize <= 0) return false;
  FBlockIndex = index;
  return true;
}

bool TCustomAudioReader::SetTimePosition(int ms) {
  if (ms == FTimePosition) return true;
  const int64_t destBps = FDestFormat.nAvgBytesPerSec;
  int64_t cnt;
  if (FBlockCount <= 1) {
    if (!UpdateBlock(0)) return false;
    cnt = RoundHalfEven(static_cast<long double>(ms) / 1000 * destBps);
  } else {
    const int64_t srcBps = FSourceFormat.wf.nAvgBytesPerSec;
    const int64_t srcByte = RoundHalfEven(static_cast<long double>(srcBps) * ms / 1000);
    if (!UpdateBlock(static_cast<int>(std::min<int64_t>(srcByte / FBlockSize, INT32_MAX)))) return false;
    cnt = RoundHalfEven(static_cast<long double>(destBps) / srcBps * (srcByte % FBlockSize));
  }
  cnt = AlignUp(cnt, FDestFormat.nBlockAlign);
  if (cnt > FDestReadDataSize) {
    TraceF("[TCustomAudioReader.SetTimePosition] Error. Cnt > FDestReadDataSize (%d > %d)",
           static_cast<int>(std::min<int64_t>(cnt, INT32_MAX)), FDestReadDataSize);
    return false;
  }
  FReadPos = static_cast<int>(cnt);
  FLeft = FDestReadDataSize - FReadPos;
  FTimePosition = ms;
  return true;
}

int TCustomAudioReader::ReadData(int timeMs, int durationMs, int maxBytes, void* buffer) {
  try {
    return ReadDataAt(timeMs, durationMs, maxBytes, buffer);
  } catch (const std::exception& e) {
    // A block whose conversion cannot be set up reads as nothing.
    TraceF("[TCustomAudioReader.ReadData] %s", e.what());
    FTimePosition = -1;
    return 0;
  }
}

int TCustomAudioReader::ReadDataAt(int timeMs, int durationMs, int maxBytes, void* buffer) {
  if (!FOpened || buffer == nullptr || maxBytes <= 0 || timeMs < 0) return 0;
  if (durationMs < 0 || static_cast<int64_t>(timeMs) + durationMs > FDuration) durationMs = FDuration - timeMs;
  if (durationMs <= 0) return 0;
  if (!SetTimePosition(timeMs)) {
    TraceF("[TCustomAudioReader.ReadData] SetTimePosition( %d) FAILED. Exit.", timeMs);
    return 0;
  }
  int64_t cnt = RoundHalfEven(static_cast<long double>(FDestFormat.nAvgBytesPerSec) * durationMs / 1000);
  if (cnt > maxBytes) {
    TraceF("[TCustomAudioReader.ReadData] Updating Cnt. Cnt > MaxDestSize (%d > %d)",
           static_cast<int>(std::min<int64_t>(cnt, INT32_MAX)), maxBytes);
    cnt = maxBytes;
  }
  // Whole sample frames only.
  cnt -= cnt % FDestFormat.nBlockAlign;
  auto* out = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (done < cnt) {
    if (FLeft == 0) {
      const int next = FBlockIndex + 1;
      if (next >= FBlockCount || BlockBytes(next) == 0) break;  // the end of the sound
      if (!UpdateBlock(next)) {
        FTimePosition = -1;
        return 0;
      }
      FReadPos = 0;
      FLeft = FDestReadDataSize;
    }
    const int n = static_cast<int>(std::min<int64_t>(FLeft, cnt - done));
    std::memcpy(out + done, FDestReadData.data() + FReadPos, static_cast<size_t>(n));
    done += n;
    FReadPos += n;
    FLeft -= n;
  }
  // The read pointer has moved on: the next read finds its position again.
  FTimePosition = -1;
  return static_cast<int>(done);
}

int TCustomAudioReader::SamplesToTime(int64_t samples) const {
  if (!FOpened || FDestFormat.nSamplesPerSec == 0) return 0;
  return RoundInt(static_cast<long double>(samples) / FDestFormat.nSamplesPerSec * 1000);
}

int64_t TCustomAudioReader::TimeToSamples(int ms) const {
  if (!FOpened) return 0;
  return RoundHalfEven(static_cast<long double>(ms) / 1000 * FDestFormat.nSamplesPerSec);
}

// ---------------------------------------------------------------------------------------
// TWaveAudioReader

TWaveAudioReader::~TWaveAudioReader() { Close(); }

void TWaveAudioReader::ReadExact(uint64_t offset, void* buffer, size_t count) {
  const uint64_t available = offset < FFileSize ? FFileSize - offset : 0;
  if (count > available || FStream->ReadAt(offset, buffer, count) != count) {
    throw EAudioError(Format("Error readdata. Too smallest source size: %d > %d.",
                             static_cast<int>(std::min<size_t>(count, INT32_MAX)),
                             static_cast<int>(std::min<uint64_t>(available, INT32_MAX))));
  }
}

bool TWaveAudioReader::LooksLikeChunk(uint64_t pos) {
  uint8_t id[4];
  if (pos + 8 > FFileSize || FStream->ReadAt(pos, id, 4) != 4) return false;
  return IsPrintableFourCC(GetLE32(id));
}

// The chunk after the one at pos. An odd-sized chunk is followed by a pad byte; a writer
// that left it out is recognised by a chunk id right after the data.
uint64_t TWaveAudioReader::NextChunk(uint64_t pos, uint32_t size) {
  const uint64_t next = pos + 8 + size;
  if ((size & 1) == 0) return next;
  if (!LooksLikeChunk(next + 1) && LooksLikeChunk(next)) return next;
  return next + 1;
}

bool TWaveAudioReader::FindChunk(FOURCC id, uint64_t& pos, uint32_t& size) {
  while (pos + 8 <= FFileSize) {
    uint8_t header[8];
    ReadExact(pos, header, 8);
    size = GetLE32(header + 4);
    if (GetLE32(header) == id) return true;
    pos = NextChunk(pos, size);
  }
  return false;
}

bool TWaveAudioReader::OpenStream(const std::string& fileName) {
  CloseStream();
  FStream = OpenAviFileIO(fileName, false);
  if (!FStream) return false;
  FFileSize = FStream->Size();
  // "RIFF" is entered, "WAVE" ends the walk: the chunks start after it.
  uint64_t pos = 0;
  for (;;) {
    uint8_t header[8];
    ReadExact(pos, header, 8);
    const FOURCC id = GetLE32(header);
    if (id == ckidRIFF) {
      pos += 8;
    } else if (id == formtypeWAVE) {
      pos += 4;
      break;
    } else {
      return false;
    }
  }
  const uint64_t firstChunk = pos;
  uint32_t size = 0;
  if (!FindChunk(ckidWAVEFORMAT, pos, size) || size < 16) return false;
  // The extra bytes are what the chunk holds after the 18-byte head.
  const size_t extra = size > 17 ? std::min<size_t>(size - 18, 0xFFFF) : 0;
  std::vector<uint8_t> bytes(std::max<size_t>(16, std::min<size_t>(size, 18 + extra)));
  ReadExact(pos + 8, bytes.data(), bytes.size());
  WAVEFORMATEX wf;
  wf.Read(bytes.data(), 16);
  FSourceFormat.wf = wf;
  FSourceFormat.extra.assign(bytes.begin() + std::min<size_t>(bytes.size(), 18), bytes.end());
  FSourceFormat.wf.cbSize = static_cast<uint16_t>(FSourceFormat.extra.size());

  uint64_t dataPos = NextChunk(pos, size);
  uint32_t dataSize = 0;
  if (!FindChunk(ckidWAVEDATA, dataPos, dataSize)) {
    dataPos = firstChunk;  // a "data" chunk before "fmt "
    if (!FindChunk(ckidWAVEDATA, dataPos, dataSize)) return false;
  }
  FDataStart = static_cast<int64_t>(dataPos + 8);
  // A chunk that claims more than the file holds is read to the end of the file.
  const uint64_t remain = FFileSize - std::min<uint64_t>(FFileSize, dataPos + 8);
  FDataSize = static_cast<int>(std::min<uint64_t>({dataSize, remain, uint64_t(INT32_MAX)}));
  return true;
}

void TWaveAudioReader::CloseStream() {
  FStream.reset();
  FFileSize = 0;
  FPosition = 0;
}

void TWaveAudioReader::SeekStream(int64_t bytePosition) {
  FPosition = bytePosition < 0 ? 0 : static_cast<uint64_t>(bytePosition);
}

int TWaveAudioReader::ReadStream(void* buffer, int count) {
  if (!FStream || count <= 0) return 0;
  const size_t n = FStream->ReadAt(FPosition, buffer, static_cast<size_t>(count));
  FPosition += n;
  return static_cast<int>(n);
}

// ---------------------------------------------------------------------------------------
// TAVISnd

TAVISnd::~TAVISnd() { Close(); }

void TAVISnd::Close() {
  if (FStream != nullptr) AVIStreamRelease(FStream);
  if (FFile != nullptr) AVIFileRelease(FFile);
  FStream = nullptr;
  FFile = nullptr;
  FStreamInfo = AVISTREAMINFO();
  FFormat = TWaveFormat();
  FScale = 0;
  FStart = 0;
  FLength = 0;
  FRate = 0;
  FSampleSize = 0;
  FPosition = 0;
  FChunkStart.clear();
}

bool TAVISnd::Open(const std::string& fileName) {
  Close();
  std::string name = fileName;
  if (!FileExists(name)) {
    name = DataFolder() + "LoadAvi/" + ExtractFileName(fileName);
    if (!FileExists(name)) return false;
  }
  FFileName = name;
  if (AVIFileOpen(&FFile, name, OF_READ | OF_SHARE_DENY_WRITE) != AVIERR_OK) {
    TraceF("AVIFileOpen error (FileName = %s)", name.c_str());
    FFile = nullptr;
    return false;
  }
  if (AVIFileGetStream(FFile, &FStream, streamtypeAUDIO, 0) != AVIERR_OK) {
    TraceF("AVIFileGetStream error: AVIFile doesn`t have streamtypeAUDIO (FileName = %s)", name.c_str());
    FStream = nullptr;
    Close();
    return false;
  }
  if (AVIStreamInfo(FStream, &FStreamInfo, sizeof FStreamInfo) != AVIERR_OK ||
      FStreamInfo.fccType != streamtypeAUDIO) {
    TraceF("AVIStreamInfo error: avis.fccType <> streamtypeAUDIO (FileName = %s, avisi.fccType = %d)",
           name.c_str(), static_cast<int>(FStreamInfo.fccType));
    Close();
    return false;
  }
  int32_t formatSize = 0;
  std::vector<uint8_t> format;
  bool formatRead = AVIStreamReadFormat(FStream, 0, nullptr, &formatSize) == AVIERR_OK && formatSize > 0;
  if (formatRead) {
    format.assign(std::max<size_t>(static_cast<size_t>(formatSize), WAVEFORMATEX::kSize), 0);
    int32_t size = formatSize;
    formatRead = AVIStreamReadFormat(FStream, 0, format.data(), &size) == AVIERR_OK;
    if (formatRead && formatSize < static_cast<int32_t>(WAVEFORMATEX::kSize)) {
      PutLE16(format.data() + 16, 0);  // a 16-byte PCM format has no extra bytes
    }
  }
  if (!formatRead || !FFormat.Read(format)) {
    TraceF("AVIStreamInfo error: cannot read Format Size (FileName = %s)", name.c_str());
    Close();
    return false;
  }
  FScale = FStreamInfo.dwScale;
  FStart = static_cast<int32_t>(FStreamInfo.dwStart);
  FLength = static_cast<int32_t>(FStreamInfo.dwLength);
  FRate = FScale != 0 ? static_cast<double>(FStreamInfo.dwRate) / FScale : 0;
  FSampleSize = FStreamInfo.dwSampleSize;
  FPosition = FStart;
  if (FSampleSize == 0) {
    // Chunks of varying size (MP3 frames, for one): their bytes are counted once here.
    FChunkStart.reserve(static_cast<size_t>(std::max(FLength, 0)) + 1);
    int64_t total = 0;
    for (int32_t s = 0; s < FLength; ++s) {
      FChunkStart.push_back(total);
      int32_t bytes = 0;
      if (AVIStreamRead(FStream, FStart + s, 1, nullptr, 0, &bytes, nullptr) == AVIERR_OK) total += bytes;
    }
    FChunkStart.push_back(total);
  }
  return true;
}

void TAVISnd::SetPosition(int32_t sample) {
  if (FLength <= 0) {
    FPosition = FStart;
    return;
  }
  FPosition = std::clamp(sample, FStart, FStart + FLength - 1);
}

int64_t TAVISnd::BytesBefore(int32_t sample) const {
  const int64_t rel = std::clamp<int64_t>(int64_t(sample) - FStart, 0, std::max(FLength, 0));
  if (FSampleSize > 0) return rel * FSampleSize;
  return FChunkStart.empty() ? 0 : FChunkStart[static_cast<size_t>(rel)];
}

int32_t TAVISnd::SampleAtByte(int64_t byte) const {
  if (FSampleSize > 0) return static_cast<int32_t>(std::min<int64_t>(byte / FSampleSize, INT32_MAX));
  if (FChunkStart.size() < 2) return FStart;
  const auto it = std::upper_bound(FChunkStart.begin(), FChunkStart.end() - 1, byte);
  return FStart + static_cast<int32_t>(std::max<std::ptrdiff_t>(0, it - FChunkStart.begin() - 1));
}

int TAVISnd::Read(void* buffer, int count) {
  if (FStream == nullptr || buffer == nullptr || count <= 0) return 0;
  auto* out = static_cast<uint8_t*>(buffer);
  int done = 0;
  while (FPosition < FStart + FLength && done < count) {
    int32_t samples = FSampleSize > 0 ? static_cast<int32_t>((count - done) / FSampleSize) : 1;
    if (samples <= 0) break;
    int32_t bytes = 0;
    int32_t got = 0;
    const HRESULT r = AVIStreamRead(FStream, FPosition, samples, out + done, count - done, &bytes, &got);
    if (r != AVIERR_OK || got <= 0) break;
    done += bytes;
    FPosition += got;
  }
  return done;
}

// ---------------------------------------------------------------------------------------
// TAviAudioReader

TAviAudioReader::~TAviAudioReader() { Close(); }

bool TAviAudioReader::OpenStream(const std::string& fileName) {
  if (!FAviSnd.Open(fileName)) return false;
  FAviSnd.SetPosition(FAviSnd.Start());
  FSourceFormat = FAviSnd.Format();
  // The stream's bytes are counted in its samples (the block align of the sound); the
  // header's scale says the same only for files written the platform's way.
  FDataStart = FAviSnd.BytesBefore(FAviSnd.Start());
  FDataSize = static_cast<int>(std::min<int64_t>(
      FAviSnd.BytesBefore(FAviSnd.Start() + FAviSnd.Length()) - FDataStart, INT32_MAX));
  return true;
}

void TAviAudioReader::CloseStream() { FAviSnd.Close(); }

void TAviAudioReader::SeekStream(int64_t bytePosition) {
  FAviSnd.SetPosition(FAviSnd.Start() + FAviSnd.SampleAtByte(bytePosition));
}

int TAviAudioReader::ReadStream(void* buffer, int count) { return FAviSnd.Read(buffer, count); }

}  // namespace movara
