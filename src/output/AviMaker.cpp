#include "output/AviMaker.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "base/Format.h"
#include "base/LittleEndian.h"
#include "base/Rounding.h"
#include "base/Trace.h"
#include "base/UserMessages.h"
#include "media/AudioCodecList.h"

namespace movara {
namespace {

namespace fs = std::filesystem;

// What a file costs before its first chunk (headers), as the size estimate counts it.
constexpr int64_t kEmptyFileSize = 2056;
// What a chunk costs besides its data: its header and its idx1 entry.
constexpr int64_t kChunkOverhead = 24;

// "Created 8.12.2026 at 9:05.07 - Movara"
std::string StreamName() {
  const std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  return Format("Created %d.%.2d.%d at %d:%.2d.%.2d - Movara", t.tm_mday, t.tm_mon + 1, t.tm_year + 1900,
                t.tm_hour, t.tm_min, t.tm_sec);
}

// Removes a file that holds no film; a folder of that name stays.
void RemoveFile(const std::string& name) {
  std::error_code ec;
  if (fs::is_directory(fs::symlink_status(name, ec))) return;
  fs::remove(name, ec);
}

}  // namespace

TAVIMaker::TAVIMaker(TWindowHandle window, const TAviAudioOptions& audio, const TAviVideoOptions& video,
                     const std::string& fileName)
    : FWindow(window), FAO(audio), FVO(video), FFileName(fileName), FCurrentFileName(fileName) {
  FBaseName = fs::path(fileName).replace_extension().string();
  FFrameDuration = FVO.FramesPerSecond > 0 ? 1000.0 / FVO.FramesPerSecond : 0;
  if (FVO.MakeVideo && FVO.DIB && !FVO.DIB->Empty()) {
    FVideoInputHeader = TVideoFormat::ForDib(*FVO.DIB);
    if (FVO.Compress) {
      FVideoCompressor =
          std::make_unique<TVideoCompressor>(FWindow, FVO.StateSize, FVO.StateBlock, FVO.DIB->Bits(),
                                             &FVideoInputHeader, &FVO.Compvars, FVO.UseGivenSettings);
      FVideoCompressor->SetFrameRate(FVO.FramesPerSecond);
    }
  }
  try {
    InitAviFile();
    // a film that cannot be written leaves nothing, and an older one as it was
    if (!FInitialized) Abandon();
  } catch (...) {
    Abandon();
    throw;
  }
}

TAVIMaker::~TAVIMaker() {
  try {
    Close();
  } catch (const std::exception& e) {
    TraceF("[TAviMaker.Destroy] %s", e.what());
  }
}

bool TAVIMaker::Close() {
  if (FClosed) return FClosedWell;
  FClosed = true;
  const bool hadFile = FFile != nullptr;
  FlushAudio();
  CloseAudioStream();
  FAudioCompressor.reset();
  CloseVideoStream();
  if (FVideoCompressor) FVideoCompressor->CloseCompressor();
  ReleaseFile();
  FVideoCompressor.reset();
  FInitialized = false;
  if (hadFile) {
    if (FContinuationCount > 0 && FVideoFramesWritten == 0 && FAudioSamplesWritten == 0 &&
        FAudioBlocksWritten == 0) {
      // a continuation file begun right after the film's last frame holds nothing
      TraceF("[TAviMaker.Close] Empty continuation file \"%s\" left out", FCurrentFileName.c_str());
      FOutput.Drop(FCurrentFileName);
    } else {
      TrimFile(FCurrentTempName);
    }
  }
  FClosedWell = FOutput.Commit();
  if (FClosedWell) {
    RemoveLeftoverFiles();
  } else {
    ShowMessage(Format("Nie mogę utworzyć pliku \"%s\"", FOutput.Failed().c_str()) + ": " + FOutput.Reason(),
                TMsgKind::Error);
  }
  FOutput.Release();
  return FClosedWell;
}

void TAVIMaker::Abandon() {
  if (FClosed) return;
  FClosed = true;
  CloseAudioStream();
  FAudioCompressor.reset();
  CloseVideoStream();
  if (FVideoCompressor) FVideoCompressor->CloseCompressor();
  ReleaseFile();
  FVideoCompressor.reset();
  FInitialized = false;
  FOutput.Discard();
  FOutput.Release();
}

// Continuation files past the last one of this film that an older, longer film of ours
// left: the folder holds this film alone.
void TAVIMaker::RemoveLeftoverFiles() {
  const int last = static_cast<int>(FOutput.Committed().size()) - 1;
  if (last < 0) return;
  for (int k = last + 1;; ++k) {
    const std::string name = Format("%s%.2d.AVI", FBaseName.c_str(), k);
    std::error_code ec;
    const fs::file_status st = fs::symlink_status(name, ec);
    if (!fs::exists(st)) break;
    if (fs::is_regular_file(st) && IsOwnFilm(name)) {
      TraceF("[TAviMaker.Close] \"%s\" of an older film removed", name.c_str());
      fs::remove(name, ec);
    }
  }
}

// "Nie mogę utworzyć pliku ..." and why.
void TAVIMaker::ShowCannotCreate(bool firstFile, HRESULT code, const std::string& reason) const {
  std::string text = firstFile ? Format("Nie mogę utworzyć pliku \"%s\". (Błąd nr $%x)", FCurrentFileName.c_str(),
                                        static_cast<unsigned>(code))
                               : Format("Nie mogę utworzyć pliku \"%s\"", FCurrentFileName.c_str());
  if (!reason.empty()) text += ": " + reason;
  ShowMessage(text, TMsgKind::Error);
  TraceF("Unable to create file \"%s\"", FCurrentFileName.c_str());
}

// The current file under a temporary name; the film's name is locked with the first.
bool TAVIMaker::OpenFile(bool firstFile) {
  FFile = nullptr;
  if (firstFile && !FOutput.Opened() && !FOutput.Open(FFileName)) {
    ShowCannotCreate(firstFile, AVIERR_FILEOPEN, FOutput.Reason());
    return false;
  }
  FCurrentTempName = FOutput.Create(FCurrentFileName);
  if (FCurrentTempName.empty()) {
    ShowCannotCreate(firstFile, AVIERR_FILEOPEN, FOutput.Reason());
    return false;
  }
  const HRESULT r = AVIFileOpen(&FFile, FCurrentTempName, OF_WRITE | OF_CREATE);
  if (r != AVIERR_OK) {
    const int error = errno;
    FFile = nullptr;
    ShowCannotCreate(firstFile, r, error ? std::strerror(error) : std::string());
    return false;
  }
  return true;
}

// The header goes to the disk before any frame, so a disk without room for it shows now.
bool TAVIMaker::WriteHeader(bool firstFile) {
  const HRESULT r = AVIFileWriteHeader(FFile);
  if (r == AVIERR_OK) return true;
  const int error = AVIFileSystemError(FFile);
  ShowCannotCreate(firstFile, r, error ? std::strerror(error) : std::string());
  return false;
}

void TAVIMaker::CloseAudioStream() {
  if (FAudioStream) AVIStreamRelease(FAudioStream);
  FAudioStream = nullptr;
}

void TAVIMaker::CloseVideoStream() {
  if (FVideoStream) AVIStreamRelease(FVideoStream);
  FVideoStream = nullptr;
}

void TAVIMaker::ReleaseFile() {
  // The last reference finalises the file: indexes and headers are written.
  if (FFile) AVIFileRelease(FFile);
  FFile = nullptr;
}

void TAVIMaker::CountWritten(int bytes) {
  fTotalWrittenDataSize += bytes + kChunkOverhead + (bytes & 1);
}

void TAVIMaker::InitAviFile() {
  CloseAudioStream();
  CloseVideoStream();
  ReleaseFile();
  FInitialized = false;
  if (!OpenFile(true)) return;
  FMaxFrameDataSize = 0;
  FInitialized = CreateVideoStream() && CreateAudioStream() && WriteHeader(true);
  if (FVO.MakeVideo) {
    FMaxFrameDataSize *= FAO.MakeAudio ? FVO.FramesPerSecond + 1 : 2;
    TraceF("[TAviMaker.InitAviFile] FMaxFrameDataSize = %lld", static_cast<long long>(FMaxFrameDataSize));
  }
}

bool TAVIMaker::CreateVideoStream() {
  CloseVideoStream();
  if (!FVO.MakeVideo) return FAO.MakeAudio;
  // Without a picture there is nothing to compress or store.
  if (!FVO.DIB || FVO.DIB->ImageSize() == 0)
    throw EAviMaker("Błąd struktury DIB ((FVO.DIB = nil) or (FVO.DIB.Size = 0))");
  if (FVO.Compress) {
    if (!FVideoCompressor) {
      FVideoCompressor = std::make_unique<TVideoCompressor>(FWindow, FVO.StateSize, FVO.StateBlock,
                                                            FVO.DIB->Bits(), &FVideoInputHeader, &FVO.Compvars,
                                                            FVO.UseGivenSettings);
      FVideoCompressor->SetFrameRate(FVO.FramesPerSecond);
    }
    if (!FVideoCompressor->Opened() || !FVideoCompressor->OutputBI()) {
      // with no dialog to choose another compressor, the refusal shown ends the film
      if (FVideoCompressor->Refused() && !TVideoCompressor::CompressorDialogHook()) return false;
      if (!FVideoCompressor->SelectCompressor()) {
        ShowMessage("Kompresja anulowana.", TMsgKind::Warning);
        return false;
      }
    }
  }

  FVideoInfo = AVISTREAMINFO();
  FVideoInfo.fccType = streamtypeVIDEO;
  FVideoInfo.rcFrame = RECT{0, 0, FVO.DIB->Width(), FVO.DIB->Height()};
  FVideoInfo.dwScale = 1;
  FVideoInfo.dwRate = static_cast<uint32_t>(FVO.FramesPerSecond > 0 ? FVO.FramesPerSecond : 0);
  if (FVideoCompressor) {
    FVideoInfo.fccHandler = FVideoCompressor->ChooseCompvars().hic->Handler();
    FVideoInfo.dwQuality = static_cast<uint32_t>(FVideoCompressor->ChooseCompvars().lQ);
    FVideoInfo.dwSuggestedBufferSize = 0x4000;
    FVideoInfo.dwSampleSize = 0;
  } else {
    FVideoInfo.fccHandler = VideoFourCC("DIB ");
    FVideoInfo.dwQuality = 0xFFFFFFFFu;
    FVideoInfo.dwSuggestedBufferSize = 0;
    FVideoInfo.dwSampleSize = static_cast<uint32_t>(FVO.DIB->ImageSize());
  }
  FVideoInfo.SetName(StreamName());
  if (AVIFileCreateStream(FFile, &FVideoStream, &FVideoInfo) != AVIERR_OK) {
    FVideoStream = nullptr;
    return false;
  }

  if (FVideoCompressor) {
    if (!FVideoCompressor->StartCompression()) return false;
    FMaxFrameDataSize += FVideoCompressor->MaxCompressedSize() + kChunkOverhead;
  } else {
    FMaxFrameDataSize += static_cast<int64_t>(FVO.DIB->ImageSize()) + kChunkOverhead;
  }
  return StartVideoStream("CreateVideoStream");
}

// A new video stream counts its frames and file size from zero and gets the format.
bool TAVIMaker::StartVideoStream(const char* where) {
  FVideoFramesWritten = 0;
  fTotalWrittenDataSize = kEmptyFileSize;
  FBreakVideoSeriesLoop = false;
  const std::vector<uint8_t> format =
      FVideoCompressor ? FVideoCompressor->OutputBIBytes() : FVideoInputHeader.ToBytes();
  const HRESULT r = AVIStreamSetFormat(FVideoStream, 0, format.data(), static_cast<int32_t>(format.size()));
  if (r != AVIERR_OK) {
    TraceF("[TAviMaker.%s] AVIStreamSetFormat failed! Result = 0x%x", where, static_cast<unsigned>(r));
    return false;
  }
  return true;
}

bool TAVIMaker::CanMakeSound(const TAviAudioOptions& audio) {
  if (!audio.MakeAudio) return true;
  try {
    TAudioCompressor c;
    return audio.BlockSize > 0 && c.SetSourceFormat(audio.SourceFormat, audio.BlockSize) &&
           c.SetDestFormat(audio.DestFormat.wFormatTag, audio.DestFormat.nChannels, audio.DestFormat.nSamplesPerSec,
                           audio.DestFormat.wBitsPerSample) &&
           c.InitCompression() &&
           AudioCodecList().FindFormat(audio.DestFormat.wFormatTag, audio.DestFormat.nChannels,
                                       audio.DestFormat.nSamplesPerSec, audio.DestFormat.wBitsPerSample);
  } catch (const EAudioError& e) {
    TraceF("[TAviMaker.CanMakeSound] %s", e.what());
    return false;
  }
}

bool TAVIMaker::CreateAudioStream() {
  CloseAudioStream();
  FAudioCompressor.reset();
  FAudioPending.clear();
  if (!FAO.MakeAudio) return true;

  FAudioCompressor = std::make_unique<TAudioCompressor>();
  bool ready = false;
  try {
    ready = FAO.BlockSize > 0 && FAudioCompressor->SetSourceFormat(FAO.SourceFormat, FAO.BlockSize) &&
            FAudioCompressor->SetDestFormat(FAO.DestFormat.wFormatTag, FAO.DestFormat.nChannels,
                                            FAO.DestFormat.nSamplesPerSec, FAO.DestFormat.wBitsPerSample) &&
            FAudioCompressor->InitCompression();
  } catch (const EAudioError& e) {
    TraceF("[TAviMaker.CreateAudioStream] %s", e.what());
    ready = false;
  }
  if (!ready) {
    TraceF("[TAviMaker.CreateAudioStream] AudioCompress.CompressData failed !");
    return false;
  }
  if (!AudioCodecList().FindFormat(FAO.DestFormat.wFormatTag, FAO.DestFormat.nChannels,
                                   FAO.DestFormat.nSamplesPerSec, FAO.DestFormat.wBitsPerSample))
    throw EAviMaker("Nie znaleziono codec`a o zadanych parametrach !");
  FDestFormat = FAudioCompressor->Destination();
  if (FDestFormat.wf.nBlockAlign == 0 || FDestFormat.wf.nAvgBytesPerSec == 0) {
    TraceF("[TAviMaker.CreateAudioStream] AudioCompress.CompressData failed !");
    return false;
  }

  FAudioInfo = AVISTREAMINFO();
  FAudioInfo.fccType = streamtypeAUDIO;
  FAudioInfo.fccHandler = 0;
  FAudioInfo.dwFlags = 0;
  FAudioInfo.wPriority = FVO.MakeVideo ? 1 : 0;
  FAudioInfo.dwScale = FDestFormat.wf.nBlockAlign;
  FAudioInfo.dwRate = FDestFormat.wf.nAvgBytesPerSec;
  FAudioInfo.dwStart = 0;
  FAudioInfo.dwLength = 1;
  FAudioInfo.dwSuggestedBufferSize = 0;
  FAudioInfo.dwQuality = 10000;
  FAudioInfo.dwSampleSize = FDestFormat.wf.nBlockAlign;
  if (!StartAudioStream("CreateAudioStream")) return false;
  FMaxFrameDataSize += FAO.BlockSize + kChunkOverhead;
  return true;
}

// A new sound stream in the file counts its samples and file size from zero and gets
// the format.
bool TAVIMaker::StartAudioStream(const char* where) {
  if (AVIFileCreateStream(FFile, &FAudioStream, &FAudioInfo) != AVIERR_OK) {
    FAudioStream = nullptr;
    return false;
  }
  FAudioSamplesWritten = 0;
  FAudioBlocksWritten = 0;
  fTotalWrittenDataSize = kEmptyFileSize;
  const std::vector<uint8_t> format = FDestFormat.Bytes();
  const HRESULT r = AVIStreamSetFormat(FAudioStream, 0, format.data(), static_cast<int32_t>(format.size()));
  if (r != AVIERR_OK) {
    TraceF("[TAviMaker.%s] AVIStreamSetFormat failed! Result = 0x%x", where, static_cast<unsigned>(r));
    return false;
  }
  return true;
}

bool TAVIMaker::AskRetryWrite(HRESULT code) {
  const std::string text = Format(
      "Nestąpił błąd podczas zapisu danych na dysk ($%x). Prawdopodobnie nie ma wystarczająco dużo wolnego "
      "miejsca. Aby kontynuować zwolnij część dysku i naciśnij klawisz `Tak`.",
      static_cast<unsigned>(code));
  return AskMessage(text, TMsgButtons::YesNo, TMsgAnswer::No) == TMsgAnswer::Yes;
}

bool TAVIMaker::CreateVideoFrame() {
  if (!FInitialized || !FVideoStream || !FVO.DIB) return false;
  const int n = FVideoFramesWritten;
  // The picture must keep the size the stream was made for.
  if (FVO.DIB->Width() != FVideoInputHeader.Width() || FVO.DIB->Height() != FVideoInputHeader.Height() ||
      FVO.DIB->BitCount() != FVideoInputHeader.biBitCount) {
    TraceF("[TAviMaker.CreateVideoFrame] The frame picture changed its size (%dx%dx%d)", FVO.DIB->Width(),
           FVO.DIB->Height(), FVO.DIB->BitCount());
    TraceF("[TAviMaker.CreateVideoFrame] AVIStreamWrite failed for Frame nr = %d", n);
    return false;
  }
  HRESULT r = AVIERR_OK;
  int32_t samplesWritten = 0;
  int32_t bytesWritten = 0;
  if (!FVideoCompressor) {
    const auto size = static_cast<int32_t>(FVO.DIB->ImageSize());
    const uint8_t* bits = FVO.DIB->Bits();
    if (FVO.DIB->BitCount() == 32) {
      // The fourth byte is unused here, but players read it as alpha: 0 would make
      // every pixel transparent.
      FOpaqueFrame.assign(bits, bits + size);
      for (size_t i = 3; i < FOpaqueFrame.size(); i += 4) FOpaqueFrame[i] = 0xFF;
      bits = FOpaqueFrame.data();
    }
    do {
      r = AVIStreamWrite(FVideoStream, n, 1, bits, size, 0, &samplesWritten, &bytesWritten);
    } while (r != AVIERR_OK && AskRetryWrite(r));
    if (r != AVIERR_OK) {
      ShowMessage(Format("Nieudana próba zapisu nieskompresowanej klatki nr %d.", n), TMsgKind::Error);
      TraceF("[TAviMaker.CreateVideoFrame] AVIStreamWrite failed for Frame nr = %d", n);
      return false;
    }
    if (bytesWritten != size) {
      ShowMessage(Format("Nieudana próba zapisu skompresowanej klatki nr %d. Prawdopodobnie przekroczony limit 2GB = %d",
                         n, IsSave2GB() ? 0 : 1),
                  TMsgKind::Error);
      TraceF("[TAviMaker.CreateVideoFrame] AVIStreamWrite failed for Frame nr = %d", n);
      return false;
    }
  } else {
    bool key = false;
    int32_t size = 0;
    const uint8_t* data = FVideoCompressor->CompressFrame(FVO.DIB->Bits(), key, size);
    if (!data) {
      ShowMessage(Format("Nieudana próba kompresji klatki nr %d.", n), TMsgKind::Error);
      TraceF("[TAviMaker.CreateVideoFrame] AVIStreamWrite failed for Frame nr = %d", n);
      return false;
    }
    const uint32_t flags = key ? AVIIF_KEYFRAME : 0;
    TraceF("[TAviMaker.CreateVideoFrame] Frame #%d: dwFlags = %u, CompressedSize = %d", n, flags, size);
    do {
      r = AVIStreamWrite(FVideoStream, n, 1, data, size, flags, &samplesWritten, &bytesWritten);
    } while (r != AVIERR_OK && AskRetryWrite(r));
    if (r != AVIERR_OK) {
      ShowMessage(Format("Nieudana próba zapisu skompresowanej klatki nr %d.", n), TMsgKind::Error);
      TraceF("[TAviMaker.CreateVideoFrame] AVIStreamWrite failed for Frame nr = %d", n);
      return false;
    }
    if (bytesWritten != size) {
      ShowMessage(Format("Nieudana próba zapisu skompresowanej klatki nr %d. Prawdopodobnie brakuje wolnego miejsca "
                         "na dysku (IsSave2GB = %d)",
                         n, IsSave2GB() ? 1 : 0),
                  TMsgKind::Error);
      TraceF("[TAviMaker.CreateVideoFrame] AVIStreamWrite failed for Frame nr = %d", n);
      return false;
    }
  }
  ++FVideoFramesWritten;
  CountWritten(bytesWritten);
  return true;
}

bool TAVIMaker::SplitCheck(const char* traceAfterSplit) {
  // A file holds a frame (or a block of sound) before the film goes on in the next: a
  // split right after a split would leave a file with nothing in it.
  if (FVO.MakeVideo ? FVideoFramesWritten == 0 : FAudioBlocksWritten == 0) return true;
  if (IsSave2GB() || !CanSplit2GB()) return true;
  const bool ok = SplitToNextFile();
  if (ok && traceAfterSplit) TraceF(traceAfterSplit, FCurrentFileName.c_str());
  return ok;
}

bool TAVIMaker::AddVideoFrame() {
  if (!FInitialized) return false;
  if (!CreateVideoFrame()) return false;
  return SplitCheck(nullptr);
}

int TAVIMaker::CreateVideoSeriesFrames() {
  TAVIData* data = FVO.AVIData;
  if (!data) throw EAviMaker("[TAviMaker.CreateVideoSeriesFrames] FVO.AVIData = nil !");
  TAVI* avi = data->LinkAvi();
  if (!avi) throw EAviMaker("[TAviMaker.CreateVideoSeriesFrames] FVO.AVIData.LinkAvi = nil !");
  const int first = data->FirstFrame();
  const int last = data->LastFrame();
  const int count = data->Count();
  int written = 0;
  for (int i = first; i <= last; ++i) {
    const uint32_t flags = data->KeyFramed() && avi->IsKeyFrame(i) ? AVIIF_KEYFRAME : 0;
    if (!avi->AVIStreamReadSingleFrame(data, i)) {
      ShowMessage(
          "[TAviMaker.CreateVideoSeriesFrames] Błąd odczytu pojedynczej klatki strumienia video! Skontaktuj się ze "
          "sprzedawcą oprogramowania.",
          TMsgKind::Error);
      return 0;
    }
    if (!FInitialized || !FVideoStream) return 0;
    HRESULT r;
    int32_t samplesWritten = 0;
    int32_t bytesWritten = 0;
    do {
      r = AVIStreamWrite(FVideoStream, FVideoFramesWritten, data->Samples(), data->Memory(), data->Bytes(), flags,
                         &samplesWritten, &bytesWritten);
    } while (r != AVIERR_OK && AskRetryWrite(r));
    if (r != AVIERR_OK) {
      ShowMessage("[TAviMaker.CreateVideoSeriesFrames] Błąd zapisu pojedynczej klatki strumienia video!",
                  TMsgKind::Error);
      return 0;
    }
    if (bytesWritten != data->Bytes()) {
      ShowMessage(Format("Nieudana próba zapisu skompresowanej klatki nr %d. Prawdopodobnie przekroczony limit 2GB = %d",
                         FVideoFramesWritten, IsSave2GB() ? 0 : 1),
                  TMsgKind::Error);
      return 0;
    }
    FVideoFramesWritten += samplesWritten;
    written += samplesWritten;
    CountWritten(bytesWritten);
    // A continuation file must begin with a key frame: in a source with key frames the
    // split waits for the frame before one.
    const bool nextIsKey = i == last || !data->KeyFramed() || avi->IsKeyFrame(i + 1);
    // A new file clears the flag; a stop asked for before it still ends the run.
    const bool stopAsked = FBreakVideoSeriesLoop || (FVO.Break && *FVO.Break);
    if (nextIsKey && !IsSave2GB() && CanSplit2GB()) {
      if (!SplitToNextFile()) return 0;
      TraceF("[TAviMaker.CreateVideoSeriesFrames] Continue loop on new avi file (%s)", FCurrentFileName.c_str());
    }
    if (stopAsked || FBreakVideoSeriesLoop) {
      TraceF("[TAviMaker.CreateVideoSeriesFrames] FBreakVideoSeriesLoop = True, breaking loop.");
      break;
    }
  }
  if (FVideoCompressor && !FVideoCompressor->SetNextFrameAsKeyFrame()) {
    TraceF(
        "[TAviMaker.CreateVideoSeriesFrames] FVideoCompressor.SetNextFrameAsKeyFrame failed! Compression not "
        "possible!");
    return 0;
  }
  if (written != count)
    TraceF("[TAviMaker.CreateVideoSeriesFrames] AVIStreamWrite written only %d of %d frames ", written, count);
  return written > 0 ? written : 0;
}

bool TAVIMaker::AddVideoSeries(int maxFrames) {
  FLastSeriesFrames = 0;
  if (!FInitialized || !FVO.AVIData) return false;
  const int count = FVO.AVIData->Count();
  if (maxFrames > 0 && maxFrames < count) FVO.AVIData->SetCount(maxFrames);
  const int n = CreateVideoSeriesFrames();
  FLastSeriesFrames = n;
  if (n <= 0) return false;
  return SplitCheck(nullptr);
}

bool TAVIMaker::WriteAudioBytes(const uint8_t* data, int size, int& samplesWritten) {
  samplesWritten = 0;
  if (size <= 0) return true;
  const int position = FAudioSamplesWritten;
  // The stream counts destination blocks: an ADPCM block, an MP3 byte, a PCM frame.
  const int blocks = size / FDestFormat.wf.nBlockAlign;
  HRESULT r;
  int32_t sw = 0;
  int32_t bw = 0;
  do {
    r = AVIStreamWrite(FAudioStream, position, blocks, data, size, 0, &sw, &bw);
  } while (r != AVIERR_OK && AskRetryWrite(r));
  if (r != AVIERR_OK) {
    ShowMessage(Format("Nieudana próba zapisu dźwięku. Próbka nr %d. ($%x).", position, static_cast<unsigned>(r)),
                TMsgKind::Error);
    return false;
  }
  if (bw != size) {
    ShowMessage(Format("Nieudana próba dźwięku - blok %d. Przekroczony limit 2GB = $d", position), TMsgKind::Error);
    return false;
  }
  TraceF("[TAviMaker.CreateAudioData] SamplesWritten = %d, BytesWritten = %d", sw, bw);
  CountWritten(bw);
  samplesWritten = sw;
  return true;
}

bool TAVIMaker::CreateAudioData(const void* data, int size, int& samplesWritten) {
  samplesWritten = 0;
  int converted = 0;
  bool ok;
  try {
    ok = FAudioCompressor->CompressBlock(data, size, converted);
  } catch (const EAudioError& e) {
    TraceF("[TAviMaker.CreateAudioData] %s", e.what());
    ok = false;
  }
  if (!ok) return false;
  const uint8_t* out = FAudioCompressor->DestBuffer();
  FAudioPending.insert(FAudioPending.end(), out, out + converted);
  // Whole destination blocks only; the rest waits for the next block.
  const size_t align = FDestFormat.wf.nBlockAlign;
  const size_t whole = FAudioPending.size() / align * align;
  if (!WriteAudioBytes(FAudioPending.data(), static_cast<int>(whole), samplesWritten)) return false;
  FAudioPending.erase(FAudioPending.begin(), FAudioPending.begin() + static_cast<ptrdiff_t>(whole));
  return true;
}

bool TAVIMaker::AddAudioData(const void* data, int size) {
  if (!FInitialized || !FAudioStream || !FAudioCompressor) return false;
  if (size < 0 || (size > 0 && !data)) return false;
  int samples = 0;
  if (!CreateAudioData(data, size, samples)) return false;
  FAudioSamplesWritten += samples;
  ++FAudioBlocksWritten;
  if (!FVO.MakeVideo) SplitCheck("[TAviMaker.CreateVideoSeriesFrames] Continue loop on new avi file (%s)");
  return true;
}

void TAVIMaker::FlushAudio() {
  if (!FInitialized || !FAudioStream || !FAudioCompressor) return;
  // What the encoder still holds (its last frames) ends the sound.
  int converted = 0;
  bool ok;
  try {
    ok = FAudioCompressor->FlushCompression(converted);
  } catch (const EAudioError& e) {
    TraceF("[TAviMaker.FlushAudio] %s", e.what());
    ok = false;
  }
  if (ok && converted > 0) {
    const uint8_t* out = FAudioCompressor->DestBuffer();
    FAudioPending.insert(FAudioPending.end(), out, out + converted);
  }
  const size_t align = FDestFormat.wf.nBlockAlign;
  const size_t whole = FAudioPending.size() / align * align;
  int samples = 0;
  if (whole > 0 && WriteAudioBytes(FAudioPending.data(), static_cast<int>(whole), samples))
    FAudioSamplesWritten += samples;
  if (FAudioPending.size() > whole)
    TraceF("[TAviMaker.FlushAudio] %d bytes short of a whole block left out",
           static_cast<int>(FAudioPending.size() - whole));
  FAudioPending.clear();
}

bool TAVIMaker::IsSave2GB() {
  if (FMaxFileSizeHigh != 0) return true;
  const int64_t total = FMaxFrameDataSize + fTotalWrittenDataSize;
  const bool safe = total < static_cast<int64_t>(FMaxFileSize);
  if (!safe)
    TraceF("[TAviMaker.IsSave2GB] WARNING ! File may exceed 2GB ! FMaxFrameDataSize + fTotalWrittenDataSize = $%llx",
           static_cast<unsigned long long>(total));
  return safe;
}

bool TAVIMaker::CanSplit2GB() {
  bool can = true;
  if (FVO.MakeVideo && FAO.MakeAudio) {
    // The file may end only where the video has reached the sound written.
    const int64_t videoEnd = RoundHalfEven(static_cast<long double>(FFrameDuration) +
                                           static_cast<long double>(FVideoFramesWritten) * FFrameDuration - 1);
    can = videoEnd >= static_cast<int64_t>(FAO.BlockDuration) * FAudioBlocksWritten;
  }
  TraceF("[TAviMaker.CanSplit2GB] Can split 2GB = %d", can ? 1 : 0);
  return can;
}

bool TAVIMaker::SplitToNextFile() {
  CloseAudioStream();
  CloseVideoStream();
  ReleaseFile();
  TrimFile(FCurrentTempName);
  ++FContinuationCount;
  FCurrentFileName = Format("%s%.2d.AVI", FBaseName.c_str(), FContinuationCount);
  FInitialized = false;
  if (!OpenFile(false)) return false;
  const bool video = ReCreateVideoStream();
  const bool audio = ReCreateAudioStream();
  FInitialized = video && audio && WriteHeader(false);
  return FInitialized;
}

bool TAVIMaker::ReCreateVideoStream() {
  if (!FVO.MakeVideo) return FAO.MakeAudio;
  if (AVIFileCreateStream(FFile, &FVideoStream, &FVideoInfo) != AVIERR_OK) {
    FVideoStream = nullptr;
    return false;
  }
  // Every file begins with a key frame.
  if (FVideoCompressor && !FVideoCompressor->SetNextFrameAsKeyFrame()) return false;
  return StartVideoStream("ReCreateVideoStream");
}

bool TAVIMaker::ReCreateAudioStream() {
  if (!FAO.MakeAudio) return true;
  return StartAudioStream("ReCreateAudioStream");
}

void TAVIMaker::SetMaxFileSize(int64_t limit) {
  const auto high = static_cast<uint32_t>(static_cast<uint64_t>(limit) >> 32);
  if (limit < 0 || (limit < kSmallestMaxAviFileSize && high == 0)) {
    FMaxFileSize = 0x7FFFFFFF;
    FMaxFileSizeHigh = 0;
  } else {
    FMaxFileSize = static_cast<uint32_t>(limit);
    FMaxFileSizeHigh = high;  // 4 GB or more: never split
  }
}

namespace {

// Whether the chunks of b (inside the lists "hdrl" and "strl") hold a stream name of ours.
bool HasOwnStreamName(const uint8_t* b, size_t size) {
  size_t at = 0;
  while (at + 8 <= size) {
    const uint32_t chunk = GetLE32(b + at + 4);
    const uint8_t* data = b + at + 8;
    const size_t length = std::min<size_t>(chunk, size - at - 8);
    if (std::memcmp(b + at, "LIST", 4) == 0 && length >= 4 &&
        (std::memcmp(data, "hdrl", 4) == 0 || std::memcmp(data, "strl", 4) == 0)) {
      if (HasOwnStreamName(data + 4, length - 4)) return true;
    } else if (std::memcmp(b + at, "strn", 4) == 0) {
      const std::string name(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), length));
      static const std::string kHead = "Created ", kTail = " - Movara";
      if (name.size() > kHead.size() + kTail.size() && name.compare(0, kHead.size(), kHead) == 0 &&
          name.compare(name.size() - kTail.size(), kTail.size(), kTail) == 0)
        return true;
    }
    at += 8 + uint64_t(chunk) + (chunk & 1);
  }
  return false;
}

}  // namespace

bool TAVIMaker::IsOwnFilm(const std::string& fileName) {
  std::FILE* f = std::fopen(fileName.c_str(), "rb");
  if (!f) return false;
  // the header lists come first and are small
  std::vector<uint8_t> b(64 * 1024);
  b.resize(std::fread(b.data(), 1, b.size(), f));
  std::fclose(f);
  if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "AVI ", 4) != 0)
    return false;
  return HasOwnStreamName(b.data() + 12, b.size() - 12);
}

bool TAVIMaker::TrimFile(const std::string& fileName) {
  std::error_code ec;
  const uintmax_t size = fs::file_size(fileName, ec);
  if (ec) return false;
  std::FILE* f = std::fopen(fileName.c_str(), "rb");
  if (!f) return false;
  // Walk the RIFF parts: "AVI " first, then the OpenDML "AVIX" parts. The file ends
  // after the last whole part; only what lies behind it is cut.
  uint64_t end = 0;
  bool unsure = false;
  for (;;) {
    uint8_t head[12];
    if (end + 12 > size || std::fseek(f, static_cast<long>(end), SEEK_SET) != 0 ||
        std::fread(head, 1, 12, f) != 12)
      break;
    const bool riff = std::memcmp(head, "RIFF", 4) == 0;
    const bool form = std::memcmp(head + 8, end == 0 ? "AVI " : "AVIX", 4) == 0;
    if (!riff || !form) break;
    const uint32_t partSize = GetLE32(head + 4);
    const uint64_t next = end + 8 + partSize + (partSize & 1);
    // A part whose size was never written, or one that runs past the end of the file,
    // is not ours to judge: the file stays as it is.
    if (partSize < 4 || next > size) {
      unsure = true;
      break;
    }
    end = next;
  }
  std::fclose(f);
  if (unsure) return true;
  if (end == 0) {
    // Not even the header could be written (a full disk): the file holds no film.
    TraceF("[TAviMaker.TrimFile] \"%s\" holds no AVI; removed", fileName.c_str());
    RemoveFile(fileName);
    return true;
  }
  if (end < size) {
    TraceF("[TAviMaker.TrimFile] \"%s\" cut from %llu to %llu bytes", fileName.c_str(),
           static_cast<unsigned long long>(size), static_cast<unsigned long long>(end));
    fs::resize_file(fileName, end, ec);
    if (ec) return false;
  }
  return true;
}

}  // namespace movara
