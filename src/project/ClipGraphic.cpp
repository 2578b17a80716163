#include "project/ClipGraphic.h"

#include <sys/stat.h>

#include <algorithm>
#include <exception>

#include "base/AppPaths.h"
#include "base/Format.h"
#include "base/Rounding.h"
#include "base/Trace.h"
#include "media/AudioReader.h"
#include "media/AudioZoom.h"
#include "media/Avi.h"
#include "media/PictureFile.h"
#include "media/ResourceLists.h"

namespace movara {

namespace {

// Size in bytes of a regular file, -1 when there is none.
int64_t FileSizeOf(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

// round(x + 0.49999): a length in frames that covers the stream's last part frame.
int FramesCovering(long double frames) { return static_cast<int>(RoundHalfEven(frames + 0.49999L)); }

// 5 x 7 glyphs of the letters of the sound picture, one row a byte, bit 4 the left.
constexpr uint8_t kGlyphW[7] = {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A};
constexpr uint8_t kGlyphA[7] = {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11};
constexpr uint8_t kGlyphV[7] = {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04};

// The picture of a sound without a picture of its own: "WAV" in blue on white, letters
// about 20 points high from (5, 5).
TDIB MakeSoundPicture() {
  TDIB dib(100, 100, 24);
  dib.Fill(RGBColor(255, 255, 255));
  const uint8_t* glyphs[3] = {kGlyphW, kGlyphA, kGlyphV};
  const int cell = 3;  // 7 rows x 3 = 21 pixels
  for (int g = 0; g < 3; ++g) {
    const int left = 5 + g * 6 * cell;
    for (int row = 0; row < 7; ++row) {
      for (int col = 0; col < 5; ++col) {
        if ((glyphs[g][row] >> (4 - col)) & 1) {
          dib.FillRect(Rect(left + col * cell, 5 + row * cell, left + (col + 1) * cell, 5 + (row + 1) * cell),
                       RGBColor(0, 0, 255));
        }
      }
    }
  }
  return dib;
}

}  // namespace

TClipGraphic::TClipGraphic() = default;

TClipGraphic::~TClipGraphic() {
  // A user may remove other users while it is told (a block deletes every other block
  // showing this clip), so take them one at a time.
  while (!FListeners.empty()) {
    auto listener = std::move(FListeners.front());
    FListeners.erase(FListeners.begin());
    if (listener.second) listener.second();
  }
  while (!FWatchers.empty()) {
    auto watcher = std::move(FWatchers.front());
    FWatchers.erase(FWatchers.begin());
    if (watcher.second) watcher.second();
  }
  if (FBitmapID != -1) TraceF("[TClipGraphic.Destroy] VfxKillBitmap(0x%x)", static_cast<unsigned>(FBitmapID));
}

void TClipGraphic::SetIconSize(TIconSize size) {
  if (!ValidEnum(size)) return;
  FIconSize = size;
  if (!FPicture.Empty()) {
    FBitmapClip = FPicture.Stretched(ThumbSize[FIconSize].Width, ThumbSize[FIconSize].Height);
  }
}

void TClipGraphic::SetPicture(const TDIB& picture) {
  FPictureWidth = picture.Width();
  FPictureHeight = picture.Height();
  if (picture.Empty()) {
    FPicture.Clear();
    FBitmap.Clear();
    FBitmapClip.Clear();
    return;
  }
  // one copy of the picture (a conditional of both kinds would copy it twice)
  if (picture.BitCount() == 24)
    FPicture = picture;
  else
    FPicture = picture.ConvertTo(24);
  FBitmap = FPicture.Stretched(ThumbSize[isLarge].Width, ThumbSize[isLarge].Height);
  FBitmapClip = FPicture.Stretched(ThumbSize[FIconSize].Width, ThumbSize[FIconSize].Height);
}

bool TClipGraphic::OpenSound(const std::string& fileName) {
  const TCustomAudioReader* link = nullptr;
  int durationMs = 0;
  if (FForFilmOnly) {
    // the reader the film's sound comes from; the same length as the waveform's
    const TCustomAudioReader* audio = AudioFileList()->GetItem(fileName);
    if (audio == nullptr || !audio->Opened()) return false;
    link = audio;
    durationMs = audio->Duration();
  } else {
    FAudioZoomReader = AudioZoomReaderList().GetItem(fileName);
    if (FAudioZoomReader == nullptr || FAudioZoomReader->LinkAudioReader() == nullptr) {
      FAudioZoomReader = nullptr;
      return false;
    }
    link = FAudioZoomReader->LinkAudioReader();
    durationMs = FAudioZoomReader->Duration();
  }
  const WAVEFORMATEX& src = link->SourceFormat().wf;
  FFrequency = static_cast<int>(src.nSamplesPerSec);
  FBits = src.wBitsPerSample;
  FStereo = src.nChannels == 2;
  FAudioDuration = FramesCovering(static_cast<long double>(FTimeBase) * durationMs / 1000);
  if (FAudioDuration > FMaxDuration) FMaxDuration = FAudioDuration;
  if (!FForFilmOnly) FAudioReader = MakeAudioReaderFromFile(fileName, 1, 16, 44100);
  return true;
}

bool TClipGraphic::LoadAvi(const std::string& fileName) {
  std::unique_ptr<TAVI> own;
  TAVI* avi = nullptr;
  if (FForFilmOnly) {
    avi = AVIList()->GetItem(fileName, false);  // the film's reader, at its first frame
  } else {
    own = std::make_unique<TAVI>();
    if (own->Open(fileName)) avi = own.get();
  }
  if (avi == nullptr) {
    TraceF("[TClipGraphic.LoadClip] Failed LoadAvi( %s)", fileName.c_str());
    return false;
  }
  if (own) avi->SetPosition(avi->StartFrame());
  if (!avi->Opened()) return false;
  SetMovieTimeBase(avi->PlaybackRate());
  const int lengthMs = avi->FramesToMs(avi->StopFrame() - avi->StartFrame() + 1);
  FMovieDuration = FramesCovering(static_cast<long double>(lengthMs) / 1000 * FTimeBase);
  FMaxDuration = std::max(FMaxDuration, FMovieDuration);
  FDuration = std::max(FDuration, FMovieDuration);
  if (own) {
    SetPicture(*avi->DIB());
    FAnimation = std::move(own);
  } else {
    FPictureWidth = avi->FrameWidth();
    FPictureHeight = avi->FrameHeight();
  }
  FClipType = OpenSound(fileName) ? ctMovie : ctAnimation;
  return true;
}

bool TClipGraphic::LoadWave(const std::string& fileName) {
  if (!OpenSound(fileName)) {
    TraceF("[TClipGraphic.LoadClip] Failed AddWaveData( %s)", fileName.c_str());
    return false;
  }
  FClipType = ctAudio;
  if (FForFilmOnly) return true;
  TDIB picture;
  if (!picture.LoadFromFile(DataFolder() + "AUDIOCLIP.bmp")) picture = MakeSoundPicture();
  SetPicture(picture);
  return true;
}

bool TClipGraphic::LoadClip(const std::string& fileName) {
  if (fileName.empty()) return false;
  const std::string name = ExpandFileName(fileName);
  const int64_t size = FileSizeOf(name);
  if (size <= 0) {
    TraceF("[TClipGraphic.LoadClip] File \"%s\" missing or empty", name.c_str());
    return false;
  }
  const TFileKind kind = FileKindOfName(name);
  SetFileName(name);
  FFileLength = size;
  bool ok = false;
  try {
    switch (kind) {
      case fkBmp:
      case fkJpg:
      case fkGif:
      case fkPte: {
        if (FForFilmOnly) {
          // the film's picture is the resource lists' (loaded in their order: the flipped
          // one first); only its size is kept here
          const TDIB* listed = DIBList()->GetItem(name, true);
          ok = listed != nullptr;
          if (ok) {
            FPictureWidth = listed->Width();
            FPictureHeight = listed->Height();
            FClipType = ctStillImage;
          } else {
            TraceF("[TClipGraphic.LoadClip] Failed LoadPicture( %s)", name.c_str());
          }
          break;
        }
        TDIB picture;
        std::string path = name;
        ok = LoadPictureFile(picture, path, false);
        if (!ok) {
          TraceF("[TClipGraphic.LoadClip] Failed LoadPicture( %s)", name.c_str());
        } else {
          SetPicture(picture);
          FClipType = ctStillImage;
        }
        break;
      }
      case fkAvi:
        ok = LoadAvi(name);
        // a phone recording or a web download of a movie's name may hold sound alone
        if (!ok && IsMediaMovieName(name)) ok = LoadWave(name);
        break;
      case fkWav:
        ok = LoadWave(name);
        break;
      default:
        TraceF("[TClipGraphic.LoadClip] Unknown file kind ( %s)", name.c_str());
        ok = false;
        break;
    }
  } catch (const std::exception& e) {
    TraceF("[TClipGraphic.LoadClip] Exception loading %s: %s", name.c_str(), e.what());
    ok = false;
  }
  if (!ok) return false;
  if (FDuration < 1) FDuration = FTimeBase * 10;
  return true;
}

void TClipGraphic::LoadColor(TColor color) {
  FFileShortName.clear();
  FFilePath.clear();
  FFileLength = 0;
  FClipType = ctUniformColor;
  FUniformColorValue = color;
  FAnimation.reset();
  FAudioReader.reset();
  FAudioZoomReader = nullptr;
  FMovieDuration = FAudioDuration = FMaxDuration = 0;
  TDIB picture(ThumbSize[isLarge].Width, ThumbSize[isLarge].Height, 24);
  picture.Fill(color & 0xFFFFFF);
  SetPicture(picture);
  if (FDuration < 1) FDuration = FTimeBase * 10;
}

std::vector<std::string> TClipGraphic::InfoLines() const {
  std::vector<std::string> lines;
  lines.push_back(DisplayName() + Format(" [%d]", FOrder));
  if (FIconSize > isSmallest) lines.push_back(ClipTypeName(FClipType));
  if (FUsed) lines.push_back("(*)");
  lines.push_back(Format("Trwanie: %s", FormatFrameCode(FDuration, FCountType, FTimeBase).c_str()));
  if (FIconSize >= isNormal) {
    bool resolution = false;
    if (FClipType == ctStillImage || FClipType == ctAnimation || FClipType == ctMovie) {
      lines.push_back(Format("Rozdzielczość: %d x %d", FPictureWidth, FPictureHeight));
      resolution = true;
    }
    if ((FClipType == ctAudio || FClipType == ctMovie) && (FIconSize == isLarge || !resolution)) {
      // The rate is held in hertz; the line shows it in kilohertz.
      lines.push_back(Format("%5.0f kHz, %d bitów - %s", FFrequency / 1000.0, FBits, FStereo ? "Stereo" : "Mono"));
    }
    if (FIconSize == isLarge) {
      const int64_t tenths = RoundHalfEven(static_cast<long double>(FFileLength) / 102.4L + 0.499L);
      lines.push_back(Format("Rozmiar: %3.1f kB", static_cast<double>(tenths) / 10));
    }
  }
  return lines;
}

int TClipGraphic::ControlHeight(int fontHeight) const {
  const int text = (static_cast<int>(FIconSize) + 1) * (fontHeight - 1) + 20;
  const int picture = ThumbSize[FIconSize].Height + 4;
  return std::max(text, picture);
}

int TClipGraphic::ControlWidth(int textWidth) const { return ThumbSize[FIconSize].Width + textWidth; }

void TClipGraphic::SetFileName(const std::string& fullName) {
  size_t slash = fullName.find_last_of('/');
  if (slash == std::string::npos) {
    FFilePath.clear();
    FFileShortName = fullName;
  } else {
    FFilePath = fullName.substr(0, slash + 1);
    FFileShortName = fullName.substr(slash + 1);
  }
}

std::string TClipGraphic::FullFileName() const {
  if (FFilePath.empty()) return FFileShortName;
  if (FFilePath.back() == '/') return FFilePath + FFileShortName;
  return FFilePath + "/" + FFileShortName;
}

std::string TClipGraphic::DisplayName() const {
  return FFileShortName.empty() ? std::string("Nieznany plik") : FFileShortName;
}

bool TClipGraphic::HasMaxDuration() const {
  return (FClipType == ctAnimation || FClipType == ctAudio || FClipType == ctMovie) &&
         (FAudioDuration >= 1 || FMovieDuration >= 1);
}

void TClipGraphic::AddDestroyListener(const void* key, std::function<void()> callback) {
  for (auto& l : FListeners) {
    if (l.first == key) {
      l.second = std::move(callback);
      return;
    }
  }
  FListeners.emplace_back(key, std::move(callback));
}

void TClipGraphic::AddDestroyWatcher(const void* key, std::function<void()> callback) {
  for (auto& w : FWatchers) {
    if (w.first == key) {
      w.second = std::move(callback);
      return;
    }
  }
  FWatchers.emplace_back(key, std::move(callback));
}

void TClipGraphic::RemoveDestroyWatcher(const void* key) {
  for (auto it = FWatchers.begin(); it != FWatchers.end(); ++it) {
    if (it->first == key) {
      FWatchers.erase(it);
      return;
    }
  }
}

void TClipGraphic::RemoveDestroyListener(const void* key) {
  for (auto it = FListeners.begin(); it != FListeners.end(); ++it) {
    if (it->first == key) {
      FListeners.erase(it);
      return;
    }
  }
}

}  // namespace movara
