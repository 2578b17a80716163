#include "media/Avi.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>

#include "base/AppPaths.h"
#include "base/Rounding.h"
#include "base/FileKind.h"
#include "base/Trace.h"
#include "media/MediaFile.h"
#include "platform/codecs/VideoFormat.h"
#include "platform/codecs/VideoFrameGetter.h"
#include "platform/codecs/VideoGetFrame.h"

namespace movara {

namespace {

constexpr FOURCC kHandlerDIB = mmioFOURCC('D', 'I', 'B', ' ');

// The header of the frames the getter hands out: 24-bit bottom-up rows.
BITMAPINFOHEADER FrameHeaderOf(int width, int height) {
  BITMAPINFOHEADER h;
  h.biWidth = width;
  h.biHeight = height;
  h.biBitCount = 24;
  h.biCompression = BI_RGB;
  h.biSizeImage = static_cast<uint32_t>(TDIB::RowSizeFor(width, 24)) * static_cast<uint32_t>(height);
  return h;
}

}  // namespace

// ---------------------------------------------------------------------------------
// TAVIData

bool TAVIData::SetSize(int64_t size) {
  if (size < 0 || size > INT32_MAX) return false;
  if (static_cast<uint64_t>(size) <= FMemory.size()) return true;
  try {
    FMemory.resize(static_cast<size_t>(size));
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
  return true;
}

void TAVIData::SetCount(int count) { FLastFrame = count <= 0 ? FFirstFrame : FFirstFrame + count - 1; }

// ---------------------------------------------------------------------------------
// TAVI

TAVI::TAVI() = default;

// The decoding of the next frame: asked for by the film thread, done by a thread of its
// own into a picture of its own.
struct TAVI::TReadAhead {
  std::thread Thread;
  mutable std::mutex Lock;
  mutable std::condition_variable Signal;
  int Wanted = -1;  // frame to decode, not yet begun
  bool Busy = false;
  bool Quit = false;
  int Ready = -1;  // frame held in Picture
  int Last = -1;   // frame fetched last (the next is decoded ahead only after a step of one)
  TDIB Picture;
};

TAVI::~TAVI() { Close(); }

void TAVI::SetReadAhead(bool on) {
  if (on == (FAhead != nullptr)) return;
  if (on) {
    if (!FGetFrame) return;  // movies of other containers decode as they are read
    FAhead = std::make_unique<TReadAhead>();
    FAhead->Thread = std::thread([this] { ReadAheadLoop(); });
    return;
  }
  {
    std::lock_guard<std::mutex> l(FAhead->Lock);
    FAhead->Quit = true;
  }
  FAhead->Signal.notify_all();
  FAhead->Thread.join();
  FAhead.reset();
}

void TAVI::ReadAheadLoop() {
  TReadAhead& a = *FAhead;
  std::unique_lock<std::mutex> l(a.Lock);
  for (;;) {
    a.Signal.wait(l, [&a] { return a.Quit || a.Wanted >= 0; });
    if (a.Quit) return;
    const int frame = a.Wanted;
    a.Wanted = -1;
    a.Ready = -1;
    a.Busy = true;
    l.unlock();
    bool ok = false;
    try {
      ok = FGetFrame->GetFrame(frame, a.Picture);
    } catch (const std::exception& e) {
      TraceF("[TAVI.ReadAhead] Frame %d not decoded: %s", frame, e.what());
    }
    l.lock();
    a.Busy = false;
    a.Ready = ok ? frame : -1;
    a.Signal.notify_all();
  }
}

void TAVI::AwaitReadAhead() const {
  if (!FAhead) return;
  TReadAhead& a = *FAhead;
  std::unique_lock<std::mutex> l(a.Lock);
  a.Wanted = -1;  // not begun: nothing to wait for
  a.Signal.wait(l, [&a] { return !a.Busy; });
}

bool TAVI::Open(const std::string& fileName) {
  Close();
  std::string name = ExpandFileName(fileName);
  if (!FileExists(name)) {
    name = DataFolder() + "LoadAvi/" + ExtractFileName(fileName);
    if (!FileExists(name)) return false;
  }
  if (IsMediaMovieName(name)) return OpenMedia(name);

  if (AVIFileOpen(&FFile, name, OF_READ | OF_SHARE_DENY_WRITE) != AVIERR_OK) {
    FFile = nullptr;
    TraceF("AVIFileOpen error (FileName = %s)", name.c_str());
    return false;
  }
  if (AVIFileGetStream(FFile, &FVideoStream, streamtypeVIDEO, 0) != AVIERR_OK || !FVideoStream) {
    TraceF("AVIFileGetStream error: AVIFile doesn`t have streamtypeVIDEO (FileName = %s)", name.c_str());
    FVideoStream = nullptr;
    AVIFileRelease(FFile);
    FFile = nullptr;
    return false;
  }
  FStreamInfo = AVISTREAMINFO();
  AVIStreamInfo(FVideoStream, &FStreamInfo, static_cast<int32_t>(sizeof FStreamInfo));
  if (FStreamInfo.fccType != streamtypeVIDEO) {
    TraceF("AVIStreamInfo error: avis.fccType <> streamtypeVIDEO (FileName = %s, avisi.fccType = %d)", name.c_str(),
           static_cast<int>(FStreamInfo.fccType));
    Close();
    return false;
  }

  // The frame getter, with no wanted format: 24-bit frames of the stream's size.
  const int32_t start = AVIStreamStart(FVideoStream);
  TVideoFormat format;
  if (AviStreamVideoFormat(FVideoStream, format))
    FGetFrame = TVideoFrameGetter::Open(AviStreamFrameSource(FVideoStream), format, FStreamInfo.fccHandler);
  if (!FGetFrame) {
    TraceF("AVIStreamGetFrameOpen error: cannot get frame for specified BitmapInfo (FileName = %s)", name.c_str());
    Close();
    return false;
  }
  FStoredAsFrames = format.biBitCount == 24 && format.biCompression == BI_RGB;

  FCompressedCopy = FStreamInfo.fccHandler != kHandlerDIB;
  FLength = std::max<int32_t>(AVIStreamLength(FVideoStream), 0);
  FFrameWidth = FStreamInfo.rcFrame.right - FStreamInfo.rcFrame.left;
  FFrameHeight = FStreamInfo.rcFrame.bottom - FStreamInfo.rcFrame.top;
  FStartFrame = start;
  FStopFrame = FLength - 1;
  FName = FStreamInfo.Name();
  FPlaybackRate = FStreamInfo.dwScale == 0 ? 0.0 : static_cast<double>(FStreamInfo.dwRate) / FStreamInfo.dwScale;

  FPosition = FStartFrame;
  const bool fetched = FetchIntoPicture(FPosition, true);
  UpdateVideoFormatSize();
  if (!fetched) {
    TraceF("AVIStreamGetFrameOpen error: cannot get frame number %d(FileNam = %s)", FPosition, name.c_str());
    Close();
    return false;
  }

  // The sound stream is held with the video; a file without one is no error.
  if (AVIFileGetStream(FFile, &FAudioStream, streamtypeAUDIO, 0) != AVIERR_OK) FAudioStream = nullptr;
  FFileName = name;
  FOpened = true;
  return true;
}

bool TAVI::OpenMedia(const std::string& name) {
  FMedia = TMediaVideo::Open(name);
  if (!FMedia) return false;
  FStreamInfo = AVISTREAMINFO();
  FStreamInfo.fccType = streamtypeVIDEO;
  const std::string codec = FMedia->CodecName();
  uint32_t handler = 0;
  for (size_t i = 0; i < 4; ++i)
    handler |= static_cast<uint32_t>(static_cast<uint8_t>(i < codec.size() ? codec[i] : ' ')) << (8 * i);
  FStreamInfo.fccHandler = handler;
  FStreamInfo.dwRate = FMedia->Rate();
  FStreamInfo.dwScale = FMedia->Scale();
  FStreamInfo.dwLength = static_cast<uint32_t>(FMedia->FrameCount());
  FStreamInfo.rcFrame.right = FMedia->Width();
  FStreamInfo.rcFrame.bottom = FMedia->Height();
  FStreamInfo.SetName(FMedia->CodecName());
  FCompressedCopy = true;
  FStoredAsFrames = false;
  FCanCopy = 0;  // frames of other containers are always decoded and compressed anew
  FLength = FMedia->FrameCount();
  FFrameWidth = FMedia->Width();
  FFrameHeight = FMedia->Height();
  FStartFrame = 0;
  FStopFrame = FLength - 1;
  FName = FStreamInfo.Name();
  FPlaybackRate = static_cast<double>(FStreamInfo.dwRate) / FStreamInfo.dwScale;
  FPosition = FStartFrame;
  const bool fetched = FetchIntoPicture(FPosition, true);
  UpdateVideoFormatSize();
  if (!fetched) {
    Close();
    return false;
  }
  // The decoder comes back when another frame is asked for.
  FMedia->Park();
  FFileName = name;
  FOpened = true;
  return true;
}

bool TAVI::GetStoredPicture(int position, AVFrame* picture) {
  if (!FOpened || !FMedia) return false;
  return FMedia->GetStoredPicture(std::clamp(position, FStartFrame, FStopFrame), picture);
}

void TAVI::Close() {
  SetReadAhead(false);
  FGetFrame.reset();
  FMedia.reset();
  FMediaPacked.clear();
  FCanCopy = -1;
  if (FAudioStream) AVIStreamRelease(FAudioStream);
  FAudioStream = nullptr;
  if (FVideoStream) AVIStreamRelease(FVideoStream);
  FVideoStream = nullptr;
  if (FFile) AVIFileRelease(FFile);
  FFile = nullptr;
  FFrameIndex = -1;
  FPacked = nullptr;
  FFileName.clear();
  FName.clear();
  FOpened = false;
}

bool TAVI::FetchIntoPicture(int index, bool forced) {
  FPacked = nullptr;
  FFrameIndex = -1;
  if (FMedia) {
    if (forced) FDIB.Clear();
    if (!FMedia->GetFrame(index, FDIB)) return false;
    FFrameIndex = index;
    FFrameHeader = FrameHeaderOf(FDIB.Width(), FDIB.Height());
    if (FFlipDIBY) FlipPictureRows();
    return true;
  }
  if (!FGetFrame) return false;
  bool taken = false;
  if (FAhead) {
    // the frame decoded ahead is the frame the decoder gives: its picture is taken (a
    // decoding not begun is dropped and done here; only this thread asks for one)
    AwaitReadAhead();
    TReadAhead& a = *FAhead;
    std::lock_guard<std::mutex> l(a.Lock);
    if (a.Ready == index && !forced && a.Picture.Width() > 0) {
      std::swap(FDIB, a.Picture);
      taken = true;
    }
    a.Ready = -1;
  }
  // Rebuilding the picture is giving it the frame's size and depth afresh; a picture
  // of the frame's size and depth only gets its rows, decoded straight into it.
  if (!taken) try {
      if (forced) FDIB.Clear();
      if (!FGetFrame->GetFrame(index, FDIB)) return false;
    } catch (const std::exception& e) {
      TraceF("[TAVI.GetFrame] Frame %d not copied: %s", index, e.what());
      return false;
    }
  if (FAhead) {
    TReadAhead& a = *FAhead;
    std::lock_guard<std::mutex> l(a.Lock);
    if (index == a.Last + 1 && index < FStopFrame) {
      a.Wanted = index + 1;
      a.Signal.notify_all();
    }
    a.Last = index;
  }
  FFrameIndex = index;
  FFrameHeader = FrameHeaderOf(FDIB.Width(), FDIB.Height());
  if (FFlipDIBY) FlipPictureRows();
  return true;
}

void TAVI::FlipPictureRows() {
  const int h = FDIB.Height();
  const size_t stride = static_cast<size_t>(FDIB.RowSize());
  FScratchRow.resize(stride);
  for (int y = 0; y < h / 2; ++y) {
    uint8_t* a = FDIB.ScanLine(y);
    uint8_t* b = FDIB.ScanLine(h - 1 - y);
    std::memcpy(FScratchRow.data(), a, stride);
    std::memcpy(a, b, stride);
    std::memcpy(b, FScratchRow.data(), stride);
  }
}

int TAVI::FormatSizeOf(const BITMAPINFOHEADER& header) {
  if (header.biBitCount <= 8) {
    const int64_t colours = header.biClrUsed ? int64_t(header.biClrUsed) : int64_t(1) << header.biBitCount;
    return static_cast<int>(std::min<int64_t>(int64_t(header.biSize) + 4 * colours, INT_MAX));
  }
  if ((header.biBitCount == 16 || header.biBitCount == 32) && (header.biCompression & 3) != 0) {
    TraceF("[TAVI.UpdateVideoFormatSize] BI_BITFIELDS active. Incremented fVideoFormatSize by 12");
    return 52;
  }
  return 40;
}

void TAVI::UpdateVideoFormatSize() {
  if (FFrameIndex < 0) {
    FVideoFormatSize = 0;
    return;
  }
  int32_t size = 0;
  const bool read = FVideoStream && AVIStreamReadFormat(FVideoStream, FStartFrame, nullptr, &size) == AVIERR_OK;
  // Frames come as 24-bit rows whatever the stream stores; the stored format's size
  // describes them only when the stream stores the same.
  if (FCompressedCopy || !read || !FStoredAsFrames)
    FVideoFormatSize = FormatSizeOf(FFrameHeader);
  else
    FVideoFormatSize = size;
}

void TAVI::SetPosition(int position) {
  if (!FOpened || position == FPosition) return;
  if (position > FStopFrame) position = FStopFrame;
  if (position < FStartFrame) position = FStartFrame;
  FPosition = position;
  const bool fetched = FetchIntoPicture(position, false);
  UpdateVideoFormatSize();
  if (!fetched) {
    TraceF("AVIStreamGetFrameOpen error: cannot get frame number %d(FileNam = %s)", position, FFileName.c_str());
    Close();
  }
}

void TAVI::SetFlipDIBY(bool flip) {
  if (flip == FFlipDIBY) return;
  FFlipDIBY = flip;
  FPosition = -1;  // the next seek fetches and copies again, wherever it goes
}

const std::vector<uint8_t>* TAVI::GetFrame(int index) {
  if (!FOpened || (!FGetFrame && !FMedia)) return nullptr;
  if (index > FStopFrame) index = FStopFrame;
  if (index < FStartFrame) index = FStartFrame;
  if (FMedia) {
    if (index == FFrameIndex && FPacked) return FPacked;
    FPacked = nullptr;
    FFrameIndex = -1;
    TDIB picture;
    if (!FMedia->GetFrame(index, picture)) return nullptr;
    // The packed DIB: the header, then the picture's bottom-up rows as they are.
    FFrameHeader = FrameHeaderOf(picture.Width(), picture.Height());
    FMediaPacked.resize(40 + picture.ImageSize());
    FFrameHeader.Write(FMediaPacked.data());
    std::memcpy(FMediaPacked.data() + 40, picture.Bits(), picture.ImageSize());
    FPacked = &FMediaPacked;
    FFrameIndex = index;
    UpdateVideoFormatSize();
    return FPacked;
  }
  if (index != FFrameIndex || !FPacked) {
    AwaitReadAhead();
    try {
      FPacked = FGetFrame->GetFrame(index);
    } catch (const std::exception& e) {
      TraceF("[TAVI.GetFrame] Frame %d not copied: %s", index, e.what());
      FPacked = nullptr;
    }
    FFrameIndex = -1;
    if (FPacked && FFrameHeader.Read(FPacked->data(), FPacked->size())) FFrameIndex = index;
    else FPacked = nullptr;
    UpdateVideoFormatSize();
  }
  if (!FPacked)
    TraceF("AVIStreamGetFrameOpen error: cannot get frame number %d(FileName = %s)", index, FFileName.c_str());
  return FPacked;
}

int TAVI::FramesToMs(int frames) const {
  // frames x scale x 1000 / rate, exactly: halves are true halves.
  if (FStreamInfo.dwScale == 0 || FStreamInfo.dwRate == 0) return 0;
  const long double ms = static_cast<long double>(frames) * FStreamInfo.dwScale * 1000 / FStreamInfo.dwRate;
  return static_cast<int>(std::clamp<int64_t>(RoundHalfEven(ms), INT_MIN, INT_MAX));
}

int TAVI::MsToFrames(int ms) const {
  if (FStreamInfo.dwScale == 0 || FStreamInfo.dwRate == 0) return 0;
  const long double frames = static_cast<long double>(ms) * FStreamInfo.dwRate / (1000.0L * FStreamInfo.dwScale);
  return static_cast<int>(std::clamp<int64_t>(RoundHalfEven(frames), INT_MIN, INT_MAX));
}

bool TAVI::IsKeyFrame(int index) const {
  if (FMedia) return FMedia->IsKeyFrame(index);
  if (!FVideoStream) return false;
  return AVIStreamFindSample(FVideoStream, index, FIND_KEY | FIND_NEXT) == index;
}

int64_t TAVI::FramesDecoded() const {
  if (FMedia) return FMedia->FramesDecoded();
  AwaitReadAhead();
  return FGetFrame ? FGetFrame->FramesDecoded() : 0;
}

bool TAVI::AVIStreamRead(TAVIData* data, int startMs, int lengthMs) {
  if (!data) {
    TraceF("[TAVI.AVIStreamRead] Error. AOutAVIData = nil !!! Decompressing and Copying only one frame.");
    return false;
  }
  if (!FOpened || !FVideoStream) return false;  // frames of other containers are never copied
  const int first = MsToFrames(startMs);
  const int64_t endMs = std::clamp<int64_t>(int64_t(startMs) + lengthMs, INT_MIN, INT_MAX);
  int last = MsToFrames(static_cast<int>(endMs)) - 1;
  if (first > FStopFrame) {
    TraceF("[TAVI.AVIStreamRead] FrmStart > fStopFrame (%d > %d). Decompressing and Copying only one frame", first,
           FStopFrame);
    return false;
  }
  if (last > FStopFrame) last = FStopFrame;
  if (last < first) last = first;

  const bool keyFramed = AVIStreamFindSample(FVideoStream, 0, FIND_KEY | FIND_NEXT) >= 0;
  data->SetKeyFramed(keyFramed);
  data->SetFirstFrame(first);
  data->SetLastFrame(last);
  data->SetBytes(0);
  data->SetSamples(0);
  data->SetLinkAvi(this);

  if (keyFramed) {
    const int key = AVIStreamFindSample(FVideoStream, first, FIND_KEY | FIND_NEXT);
    if (key != first) {
      TraceF("[TAVI.AVIStreamRead] Avi is keyframed but KeyFrm <> FrmStart (%d <> %d)", key, first);
      return false;
    }
    // ReadSizeKeyFrameBlock: every frame of the run must be readable.
    int64_t total = 0;
    for (int i = first; i <= last; ++i) {
      int32_t bytes = 0, samples = 0;
      if (movara::AVIStreamRead(FVideoStream, i, 1, nullptr, 0, &bytes, &samples) != AVIERR_OK || bytes < 0) {
        TraceF("[TAVI.AVIStreamRead] ReadSizeKeyFrameBlock failed.");
        return false;
      }
      total += bytes;
    }
    return total > 0;
  }

  int32_t bytes = 0, samples = 0;
  const HRESULT r = movara::AVIStreamRead(FVideoStream, first, 1, nullptr, 0, &bytes, &samples);
  if (r != AVIERR_OK) {
    TraceF("[TAVI.AVIStreamRead] AVIStreamRead returned %d ($%x). Decompressing and Copying only one frame", r,
           static_cast<unsigned>(r));
    return false;
  }
  if (bytes < 0) return false;
  if (!data->SetSize(bytes)) {
    TraceF("[TAVI.AVIStreamRead] MemoryStream.SetSize failed (MemoryStream.Size = %d, should be %d. Decompressing "
           "and Copying only one frame",
           static_cast<int>(data->Size()), bytes);
    return false;
  }
  return true;
}

namespace {

uint32_t UpperFourCC(uint32_t v) {
  uint32_t r = 0;
  for (int i = 0; i < 4; ++i) {
    const auto c = static_cast<char>((v >> (8 * i)) & 0xFF);
    r |= static_cast<uint32_t>(static_cast<uint8_t>(std::toupper(static_cast<unsigned char>(c)))) << (8 * i);
  }
  return r;
}

constexpr uint32_t Tag(const char (&s)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(s[0])) | (static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 8) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[3])) << 24);
}

// A frame of MPEG-4 Part 2 holding a B picture, or more than one picture (packed).
bool Mpeg4OutOfOrder(const uint8_t* p, size_t n) {
  int pictures = 0;
  for (size_t i = 0; i + 4 < n; ++i) {
    if (p[i] != 0 || p[i + 1] != 0 || p[i + 2] != 1 || p[i + 3] != 0xB6) continue;
    if ((p[i + 4] >> 6) == 2) return true;  // vop_coding_type B
    if (++pictures > 1) return true;
    i += 3;
  }
  return false;
}

}  // namespace

bool TAVI::CanCopyFrames() {
  if (FCanCopy >= 0) return FCanCopy == 1;
  if (!FOpened || !FVideoStream) return false;
  const uint32_t h = UpperFourCC(VideoCompressorHandler());
  const bool mpeg4 = h == Tag("FMP4") || h == Tag("XVID") || h == Tag("DIVX") || h == Tag("DX50") ||
                     h == Tag("MP4V") || h == Tag("M4S2") || h == Tag("MP4S") || h == Tag("3IV2");
  const bool avc = h == Tag("H264") || h == Tag("X264") || h == Tag("AVC1") || h == Tag("DAVC");
  bool ok = true;
  const int frames = std::min(FStopFrame + 1, 300);
  std::vector<uint8_t> buf;
  for (int i = 0; i < frames && ok && (mpeg4 || avc); ++i) {
    if (avc) {
      ok = AVIStreamFindSample(FVideoStream, i, FIND_KEY | FIND_NEXT) == i;
      continue;
    }
    int32_t bytes = 0, samples = 0;
    if (movara::AVIStreamRead(FVideoStream, i, 1, nullptr, 0, &bytes, &samples) != AVIERR_OK || bytes <= 0) continue;
    buf.resize(static_cast<size_t>(bytes));
    if (movara::AVIStreamRead(FVideoStream, i, 1, buf.data(), bytes, &bytes, &samples) != AVIERR_OK) continue;
    ok = !Mpeg4OutOfOrder(buf.data(), static_cast<size_t>(std::max(0, bytes)));
  }
  FCanCopy = ok ? 1 : 0;
  if (!ok) TraceF("[TAVI.CanCopyFrames] \"%s\": frames stored out of display order; stretches are recompressed",
                  FFileName.c_str());
  return ok;
}

bool TAVI::AVIStreamReadSingleFrame(TAVIData* data, int index) {
  if (!data || !FVideoStream) return false;
  int32_t bytes = 0, samples = 0;
  HRESULT r = movara::AVIStreamRead(FVideoStream, index, 1, nullptr, 0, &bytes, &samples);
  if (r != AVIERR_OK) {
    TraceF("[TAVI.AVIStreamReadSingleFrame] AVIStreamRead returned %d ($%x). Failed!", r, static_cast<unsigned>(r));
    return false;
  }
  if (bytes < 0) return false;
  if (!data->SetSize(bytes)) {
    TraceF("[TAVI.AVIStreamReadSingleFrame] MemoryStream.SetSize failed (MemoryStream.Size = %d, should be %d. "
           "Failed!",
           static_cast<int>(data->Size()), bytes);
    return false;
  }
  const int32_t room = static_cast<int32_t>(std::min<size_t>(data->Size(), INT32_MAX));
  r = movara::AVIStreamRead(FVideoStream, index, 1, data->Memory(), room, &bytes, &samples);
  if (r != AVIERR_OK) {
    TraceF("[TAVI.AVIStreamRead] AVIStreamRead failed and returned value: %d. Failed!.", r);
    return false;
  }
  data->SetBytes(bytes);
  data->SetSamples(samples);
  return samples > 0;
}

}  // namespace movara
