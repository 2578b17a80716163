#include "platform/dvgraph/DvAviFile.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/avifile/AviIO.h"
#include "platform/avifile/RiffTypes.h"
#include "platform/codecs/VideoFormat.h"
#include "platform/dvgraph/DvDif.h"

namespace movara {

namespace {

// A file store that refuses writes past a capacity, as a full disk does.
class TCappedIO : public TAviIO {
 public:
  TCappedIO(std::unique_ptr<TAviIO> inner, uint64_t capacity) : FInner(std::move(inner)), FCapacity(capacity) {}
  uint64_t Size() const override { return FInner->Size(); }
  size_t ReadAt(uint64_t offset, void* buffer, size_t n) override { return FInner->ReadAt(offset, buffer, n); }
  bool WriteAt(uint64_t offset, const void* data, size_t n) override {
    if (FCapacity && offset + n > FCapacity) {
      FError = ENOSPC;
      return false;
    }
    return FInner->WriteAt(offset, data, n);
  }
  bool Truncate(uint64_t size) override { return FInner->Truncate(size); }
  bool Flush() override { return FInner->Flush(); }
  int LastError() const override { return FError ? FError : FInner->LastError(); }

 private:
  std::unique_ptr<TAviIO> FInner;
  uint64_t FCapacity;
  int FError = 0;
};

// Room kept for the index and headers written when the file closes: two index entries
// of 16 bytes (idx1) and two of 8 (OpenDML) per frame, and the part headers.
uint64_t IndexReserve(int frames) { return static_cast<uint64_t>(frames) * 48 + (1u << 20); }

uint64_t FreeBytes(const std::string& fileName) {
  struct statvfs s;
  std::string folder = fileName;
  const size_t slash = folder.rfind('/');
  folder = slash == std::string::npos ? "." : folder.substr(0, slash + 1);
  if (statvfs(folder.c_str(), &s) != 0) return UINT64_MAX;
  return static_cast<uint64_t>(s.f_bavail) * s.f_frsize;
}

bool IsDvHandler(uint32_t fcc) {
  for (const char* name : {"dvsd", "dv25", "dvc ", "cdvc", "dvhd", "dvsl"})
    if (VideoSameFourCC(fcc, FourCCFromString(name))) return true;
  return false;
}

}  // namespace

std::unique_ptr<TDvAviWriter> TDvAviWriter::Create(const std::string& fileName, uint64_t capacity,
                                                   std::string* error) {
  std::unique_ptr<TAviIO> file = OpenAviFileIO(fileName, true);
  if (!file) {
    if (error) *error = std::strerror(errno);
    return nullptr;
  }
  std::unique_ptr<TDvAviWriter> w(new TDvAviWriter());
  w->FFileName = fileName;
  w->FCapacity = capacity;
  w->FIO = std::make_shared<TCappedIO>(std::move(file), capacity);
  PAVIFILE f = nullptr;
  if (AVIFileOpenIO(&f, w->FIO, OF_WRITE | OF_CREATE) != AVIERR_OK) {
    if (error) *error = "AVI";
    return nullptr;
  }
  w->FFile.reset(f);

  AVISTREAMINFO vi;
  vi.fccType = streamtypeVIDEO;
  vi.fccHandler = FourCCFromString("dvsd");
  vi.dwScale = 1;
  vi.dwRate = 25;
  vi.dwSuggestedBufferSize = kDvPalFrameBytes;
  vi.dwQuality = 0xFFFFFFFF;
  vi.rcFrame = RECT{0, 0, kDvPalWidth, kDvPalHeight};
  PAVISTREAM s = nullptr;
  if (AVIFileCreateStream(f, &s, &vi) != AVIERR_OK) return nullptr;
  w->FVideo.reset(s);
  BITMAPINFOHEADER bi;
  bi.biWidth = kDvPalWidth;
  bi.biHeight = kDvPalHeight;
  bi.biBitCount = 24;
  bi.biCompression = FourCCFromString("dvsd");
  bi.biSizeImage = kDvPalFrameBytes;
  const std::vector<uint8_t> vf = bi.Bytes();
  if (AVIStreamSetFormat(s, 0, vf.data(), static_cast<int32_t>(vf.size())) != AVIERR_OK) return nullptr;

  AVISTREAMINFO ai;
  ai.fccType = streamtypeAUDIO;
  ai.wPriority = 1;
  ai.dwScale = 4;
  ai.dwRate = kDvAudioRate * 4;
  ai.dwSampleSize = 4;
  ai.dwQuality = 0xFFFFFFFF;
  if (AVIFileCreateStream(f, &s, &ai) != AVIERR_OK) return nullptr;
  w->FAudio.reset(s);
  WAVEFORMATEX wf;
  wf.wFormatTag = WAVE_FORMAT_PCM;
  wf.nChannels = kDvAudioChannels;
  wf.nSamplesPerSec = kDvAudioRate;
  wf.nAvgBytesPerSec = kDvAudioRate * 4;
  wf.nBlockAlign = 4;
  wf.wBitsPerSample = 16;
  std::vector<uint8_t> af;
  wf.AppendTo(af);
  if (AVIStreamSetFormat(s, 0, af.data(), static_cast<int32_t>(af.size())) != AVIERR_OK) return nullptr;
  if (AVIFileWriteHeader(f) != AVIERR_OK) {
    if (error) *error = std::strerror(ENOSPC);
    return nullptr;
  }
  return w;
}

TDvAviWriter::~TDvAviWriter() { Close(); }

uint64_t TDvAviWriter::BytesWritten() const { return FIO ? FIO->Size() : 0; }

bool TDvAviWriter::Room(uint64_t more) {
  const uint64_t need = BytesWritten() + more + IndexReserve(FFrames + 1);
  if (FCapacity) return need <= FCapacity;
  // The free space is looked at again every second of film and when it seems short.
  if (FFrames % 25 == 0 || need > FDiskRoom) {
    const uint64_t free = FreeBytes(FFileName);
    FDiskRoom = free == UINT64_MAX ? UINT64_MAX : BytesWritten() + free;
  }
  return need <= FDiskRoom;
}

bool TDvAviWriter::WriteFrame(const uint8_t* dv, size_t size, const int16_t* pcm, int sampleFrames) {
  if (!FFile || FFailed) return false;
  const uint64_t more = size + 8 + static_cast<uint64_t>(std::max(sampleFrames, 0)) * 4 + 8 + 64;
  if (!Room(more)) {
    FFailed = true;
    return false;
  }
  int32_t samples = 0, bytes = 0;
  if (AVIStreamWrite(FVideo.get(), FFrames, 1, dv, static_cast<int32_t>(size), AVIIF_KEYFRAME, &samples,
                     &bytes) != AVIERR_OK) {
    FFailed = true;
    return false;
  }
  if (sampleFrames > 0 && AVIStreamWrite(FAudio.get(), -1, sampleFrames, pcm, sampleFrames * 4, 0, &samples,
                                         &bytes) != AVIERR_OK) {
    FFailed = true;
    ++FFrames;
    return false;
  }
  ++FFrames;
  return true;
}

bool TDvAviWriter::Close() {
  if (!FFile) return true;
  FVideo.reset();
  FAudio.reset();
  FFile.reset();  // the last reference finalises the file
  const bool ok = FIO->LastError() == 0;
  FIO.reset();
  return ok;
}

std::unique_ptr<TDvAviReader> TDvAviReader::Open(const std::string& fileName, std::string* error) {
  std::unique_ptr<TDvAviReader> r(new TDvAviReader());
  PAVIFILE f = nullptr;
  if (AVIFileOpen(&f, fileName, OF_READ) != AVIERR_OK) {
    if (error) *error = "no AVI";
    return nullptr;
  }
  r->FFile.reset(f);
  PAVISTREAM s = nullptr;
  if (AVIFileGetStream(f, &s, streamtypeVIDEO, 0) != AVIERR_OK) {
    if (error) *error = "no video";
    return nullptr;
  }
  r->FVideo.reset(s);
  AVISTREAMINFO vi;
  AVIStreamInfo(s, &vi, sizeof vi);
  int32_t fsize = 0;
  AVIStreamReadFormat(s, 0, nullptr, &fsize);
  std::vector<uint8_t> fmt(static_cast<size_t>(std::max(fsize, 0)));
  BITMAPINFOHEADER bi;
  if (fsize <= 0 || AVIStreamReadFormat(s, 0, fmt.data(), &fsize) != AVIERR_OK || !bi.Read(fmt.data(), fmt.size()) ||
      !(IsDvHandler(bi.biCompression) || IsDvHandler(vi.fccHandler)) || bi.biWidth != kDvPalWidth ||
      std::abs(bi.biHeight) != kDvPalHeight) {
    if (error) *error = "no PAL DV video";
    return nullptr;
  }
  r->FFrames = AVIStreamLength(s);
  if (AVIFileGetStream(f, &s, streamtypeAUDIO, 0) == AVIERR_OK) {
    r->FAudio.reset(s);
    AVIStreamReadFormat(s, 0, nullptr, &fsize);
    fmt.assign(static_cast<size_t>(std::max(fsize, 0)), 0);
    WAVEFORMATEX wf;
    if (fsize <= 0 || AVIStreamReadFormat(s, 0, fmt.data(), &fsize) != AVIERR_OK || !wf.Read(fmt.data(), fmt.size()) ||
        wf.wFormatTag != WAVE_FORMAT_PCM || wf.nChannels != kDvAudioChannels || wf.wBitsPerSample != 16 ||
        wf.nSamplesPerSec != static_cast<uint32_t>(kDvAudioRate))
      r->FAudio.reset();  // another sound format: the DIF blocks' own sound is used
  }
  return r;
}

TDvAviReader::~TDvAviReader() = default;

bool TDvAviReader::ReadFrame(int n, std::vector<uint8_t>& dv, std::vector<int16_t>& pcm) {
  if (n < 0 || n >= FFrames) return false;
  int32_t bytes = 0;
  if (AVIStreamRead(FVideo.get(), n, 1, nullptr, 0, &bytes, nullptr) != AVIERR_OK || bytes <= 0) return false;
  dv.resize(static_cast<size_t>(bytes));
  if (AVIStreamRead(FVideo.get(), n, 1, dv.data(), bytes, &bytes, nullptr) != AVIERR_OK) return false;
  pcm.assign(static_cast<size_t>(kDvPalSamplesPerFrame) * 2, 0);
  if (FAudio) {
    const int32_t start = n * kDvPalSamplesPerFrame;
    int32_t got = 0, samples = 0;
    const int32_t end = AVIStreamEnd(FAudio.get());
    const int32_t want = std::min(kDvPalSamplesPerFrame, std::max(end - start, 0));
    if (want > 0 &&
        AVIStreamRead(FAudio.get(), start, want, pcm.data(), want * 4, &got, &samples) != AVIERR_OK)
      return false;
    // Sound is little-endian in the file; the samples are taken as the machine has them.
    return true;
  }
  std::vector<int16_t> dif;
  if (DvExtractAudio(dv.data(), dv.size(), dif))
    std::copy(dif.begin(), dif.begin() + std::min(dif.size(), pcm.size()), pcm.begin());
  return true;
}

TDvFileCheck DvCheckAviFile(const std::string& fileName) {
  PAVIFILE f = nullptr;
  FILE* probe = std::fopen(fileName.c_str(), "rb");
  if (!probe) return dfcNoFile;
  std::fclose(probe);
  if (AVIFileOpen(&f, fileName, OF_READ) != AVIERR_OK) return dfcNotAvi;
  AVIFileRelease(f);
  return TDvAviReader::Open(fileName) ? dfcDv : dfcNotDv;
}

}  // namespace movara
