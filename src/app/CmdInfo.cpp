// movara info FILE: what a media, project or title-page file holds. One describer per
// file kind; a kind without one is not a file movara can describe yet.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "base/AppPaths.h"
#include "base/Dib.h"
#include "base/FileKind.h"
#include "base/Format.h"
#include "base/LoadFailure.h"
#include "base/Rounding.h"
#include "media/AudioReader.h"
#include "media/Avi.h"
#include "media/MediaFile.h"
#include "media/MmResultText.h"
#include "media/PictureFile.h"
#include "pages/PageEditBox.h"
#include "platform/codecs/VideoFormat.h"
#include "platform/codecs/VideoGetFrame.h"

namespace movara {

// In CmdInfoProject.cpp: the time line's header cannot share a unit with the page editor's.
int DescribeProject(const std::string& file, TFileKind kind);

namespace {

// Prints the description on stdout and returns the exit code; failures print one line
// on stderr.
using TDescriber = int (*)(const std::string& file, TFileKind kind);

// ": why" when the loader told why the file failed, else "".
std::string Why() {
  const std::string reason = TakeLoadFailure();
  return reason.empty() ? std::string() : ": " + reason;
}

const char* PictureKindName(TFileKind kind) {
  switch (kind) {
    case fkBmp: return "BMP";
    case fkJpg: return "JPEG";
    case fkGif: return "GIF";
    default: return "?";
  }
}

int DescribePicture(const std::string& file, TFileKind kind) {
  TDIB dib;
  std::string path = file;
  if (!LoadPictureFile(dib, path, false)) {
    std::fprintf(stderr, "movara info: '%s' is not a readable %s picture%s\n", file.c_str(),
                 PictureKindName(kind), Why().c_str());
    return kExitUsage;
  }
  std::printf("%s picture %d x %d, %d bits\n", PictureKindName(kind), dib.Width(), dib.Height(),
              dib.BitCount());
  if (dib.BitCount() <= 8) std::printf("palette: %zu colours\n", dib.Palette().size());
  if (dib.TransparentIndex() >= 0) std::printf("transparent index: %d\n", dib.TransparentIndex());
  return kExitOk;
}

const char* PageSizeName(TPageSize size) {
  switch (size) {
    case psFullVideo: return "psFullVideo";
    case psSquare512: return "psSquare512";
    default: return "psVideo";
  }
}

// The page and one line per item; the page file's own messages go to stderr.
int DescribeTitlePage(const std::string& file, TFileKind) {
  TPageEditBox box;
  box.OpenFileNamed(file);
  const TPageOpenResult r = box.LastOpenResult();
  if (r != porOk && r != porDamaged) {
    std::fprintf(stderr, "movara info: '%s' is not a readable title page\n", file.c_str());
    return kExitUsage;
  }
  std::printf("title page %d x %d (%s), colour $%06X, %d items%s\n", box.PageRect().Width(),
              box.PageRect().Height(), PageSizeName(box.PageSize()), box.PageColor(),
              box.ItemCount(), r == porDamaged ? " (damaged: read in part)" : "");
  for (int i = 0; i < box.ItemCount(); ++i) {
    const TFontItem& it = *box.Items(i);
    std::string style;
    if (it.Bold) style += " bold";
    if (it.Italic) style += " italic";
    if (it.Underline) style += " underline";
    std::printf("item %d: at %d,%d font \"%s\" %d pt%s, colour $%06X%s", i + 1, it.PosX,
                it.PosY, OneLine(it.FontName).c_str(), it.FontSize, style.c_str(), it.FontColor,
                it.TextVisible ? "" : " (text hidden)");
    if (it.Shadowed)
      std::printf(", shadow %d,%d $%06X", it.ShadowX, it.ShadowY, it.ShadowColor);
    if (it.Outlined) std::printf(", outline %d $%06X", it.OutlineWidth, it.OutlineColor);
    if (it.WordWrap) std::printf(", word wrap");
    std::printf(", text \"%s\"\n", OneLine(it.Text).c_str());
  }
  return kExitOk;
}

// "WAVE_FORMAT_PCM, 2 channels, 16 bits, 44100 Hz".
std::string SoundFormatText(const WAVEFORMATEX& wf) {
  return Format("%s, %d channel%s, %d bits, %u Hz", FormatTagName(wf.wFormatTag).c_str(), wf.nChannels,
                wf.nChannels == 1 ? "" : "s", wf.wBitsPerSample, wf.nSamplesPerSec);
}

// The sound stream of an AVI from its header and format, without decoding it.
void PrintAviSound(PAVISTREAM sound) {
  AVISTREAMINFO info;
  AVIStreamInfo(sound, &info, static_cast<int32_t>(sizeof info));
  int32_t size = 0;
  TWaveFormat format;
  std::vector<uint8_t> bytes;
  if (AVIStreamReadFormat(sound, 0, nullptr, &size) == AVIERR_OK && size > 0 && size < (1 << 20)) {
    bytes.resize(static_cast<size_t>(size));
    if (AVIStreamReadFormat(sound, 0, bytes.data(), &size) != AVIERR_OK) bytes.clear();
  }
  const int32_t length = std::max<int32_t>(AVIStreamLength(sound), 0);
  const int64_t ms = info.dwRate == 0 ? 0
                                      : RoundHalfEven(static_cast<long double>(length) * info.dwScale * 1000 /
                                                      info.dwRate);
  if (!format.Read(bytes))
    std::printf("sound: format unreadable, %lld ms\n", static_cast<long long>(ms));
  else
    std::printf("sound: %s, %lld ms\n", SoundFormatText(format.wf).c_str(), static_cast<long long>(ms));
}

// The frame code as the format stores it: a four-character code, or the uncompressed
// rows' depth.
std::string VideoCodeText(PAVISTREAM video) {
  TVideoFormat format;
  if (!AviStreamVideoFormat(video, format)) return "?";
  if (format.IsUncompressed()) return Format("uncompressed %d bits", format.biBitCount);
  return VideoFourCCText(format.biCompression);
}

// Video: size, code, frames, rate, length and key frames; then the sound stream.
int DescribeAvi(const std::string& file, TFileKind) {
  TAVI avi;
  if (avi.Open(file)) {
    const int frames = avi.StopFrame() + 1;
    int keys = 0;
    for (int k = AVIStreamFindSample(avi.VideoStream(), 0, FIND_KEY | FIND_NEXT); k >= 0 && keys < frames;
         k = AVIStreamFindSample(avi.VideoStream(), k + 1, FIND_KEY | FIND_NEXT))
      ++keys;
    const uint32_t handler = avi.VideoCompressorHandler();
    std::printf("AVI video %d x %d, %s", avi.DIB()->Width(), avi.DIB()->Height(),
                VideoCodeText(avi.VideoStream()).c_str());
    if (handler != 0) std::printf(" (handler %s)", VideoFourCCText(handler).c_str());
    std::printf(", %d frames at %g fps, %d ms, %d key frames\n", frames, avi.PlaybackRate(), avi.FramesToMs(frames),
                keys);
    if (avi.AudioStream())
      PrintAviSound(avi.AudioStream());
    else
      std::printf("no sound\n");
    return kExitOk;
  }
  // Without a readable video stream, a sound stream is still worth telling.
  PAVIFILE f = nullptr;
  if (AVIFileOpen(&f, file, OF_READ) != AVIERR_OK) {
    std::fprintf(stderr, "movara info: '%s' is not a readable AVI file\n", file.c_str());
    return kExitUsage;
  }
  PAVISTREAM video = nullptr, sound = nullptr;
  const bool hasVideo = AVIFileGetStream(f, &video, streamtypeVIDEO, 0) == AVIERR_OK;
  const std::string code = hasVideo && video ? VideoCodeText(video) : std::string();
  if (video) AVIStreamRelease(video);
  const bool hasSound = AVIFileGetStream(f, &sound, streamtypeAUDIO, 0) == AVIERR_OK;
  if (!hasVideo && !hasSound) {
    AVIFileRelease(f);
    std::fprintf(stderr, "movara info: '%s' has no video or sound stream\n", file.c_str());
    return kExitUsage;
  }
  if (hasVideo)
    std::printf("AVI video %s: not decodable\n", code.c_str());
  else
    std::printf("AVI without video\n");
  if (hasSound) {
    PrintAviSound(sound);
    AVIStreamRelease(sound);
  } else {
    std::printf("no sound\n");
  }
  AVIFileRelease(f);
  // described, but a film cannot use its pictures
  if (hasVideo) {
    std::fprintf(stderr, "movara info: '%s' has no video stream movara can decode\n", file.c_str());
    return kExitFailure;
  }
  return kExitOk;
}

// The sound stream of a file of another container, decoded whole.
bool PrintMediaSound(const std::string& file, const char* lead) {
  TMediaSound sound;
  if (!DecodeMediaSound(file, sound)) return false;
  const int64_t samples = static_cast<int64_t>(sound.Samples.size()) / sound.Channels;
  std::printf("%s%s, %d channel%s, %d Hz, %lld ms", lead, sound.CodecName.c_str(), sound.Channels,
              sound.Channels == 1 ? "" : "s", sound.Rate,
              static_cast<long long>(RoundHalfEven(static_cast<long double>(samples) * 1000 / sound.Rate)));
  if (sound.DamagedPackets > 0) std::printf(", %d damaged packets skipped", sound.DamagedPackets);
  std::printf("\n");
  return true;
}

// A movie or sound of another container: the video as the program sees it (its size
// upright, constant rate), then the sound.
int DescribeMedia(const std::string& file, TFileKind kind) {
  std::string why;
  if (kind == fkAvi) {
    std::unique_ptr<TMediaVideo> video = TMediaVideo::Open(file, &why);
    if (!video) {
      std::fprintf(stderr, "movara info: '%s' is not a readable movie: %s\n", file.c_str(), why.c_str());
      return kExitUsage;
    }
    const int frames = video->FrameCount();
    const long double ms = static_cast<long double>(frames) * 1000 * video->Scale() / video->Rate();
    std::printf("%s video %d x %d, %s", video->ContainerName().c_str(), video->Width(), video->Height(),
                video->CodecName().c_str());
    if (video->Rotation() != 0) std::printf(" (turned %d degrees)", video->Rotation());
    std::printf(", %d frames at %u/%u fps, %lld ms", frames, video->Rate(), video->Scale(),
                static_cast<long long>(RoundHalfEven(ms)));
    if (video->SourcePictures() != frames) std::printf(" (%d pictures stored)", video->SourcePictures());
    std::printf("\n");
    if (!PrintMediaSound(file, "sound: ")) std::printf("no sound\n");
    return kExitOk;
  }
  if (!PrintMediaSound(file, "sound: ")) {
    std::fprintf(stderr, "movara info: '%s' is not a readable sound\n", file.c_str());
    return kExitUsage;
  }
  return kExitOk;
}

int DescribeWave(const std::string& file, TFileKind) {
  TWaveAudioReader reader;
  bool opened = false;
  try {
    opened = reader.OpenFile(file);
  } catch (const std::exception&) {
    opened = false;
  }
  if (!opened) {
    const std::string why = Why();
    // A WAV of a format our reader refuses is still read through libavformat.
    if (PrintMediaSound(file, "WAV sound (read through libavformat): ")) return kExitOk;
    std::fprintf(stderr, "movara info: '%s' is not a readable WAV sound%s\n", file.c_str(), why.c_str());
    return kExitUsage;
  }
  std::printf("WAV sound: %s, %d ms\n", SoundFormatText(reader.SourceFormat().wf).c_str(), reader.Duration());
  return kExitOk;
}

struct TDescriberEntry {
  TFileKind kind;
  TDescriber describe;
};

const TDescriberEntry kDescribers[] = {
    {fkBmp, DescribePicture},
    {fkJpg, DescribePicture},
    {fkGif, DescribePicture},
    {fkPte, DescribeTitlePage},
    {fkAvi, DescribeAvi},
    {fkWav, DescribeWave},
    {fkMvf, DescribeProject},
};

}  // namespace

int CmdInfo(const TArgs& args) {
  TCommandArgs parsed;
  const int split = SplitArgs("info", args, {}, parsed);
  if (split != kExitOk) return split == kExitHelp ? kExitOk : split;
  if (parsed.Words.size() != 1) {
    std::fprintf(stderr, "movara info: expected one FILE\n");
    return kExitUsage;
  }
  const std::string& file = parsed.Words[0];
  if (const int readable = CheckInputFile("info", file); readable != kExitOk) return readable;
  const TFileKind kind = FileKindOfName(file);
  TakeLoadFailure();
  if (IsMediaMovieName(file) || IsMediaSoundName(file)) return DescribeMedia(file, kind);
  for (const TDescriberEntry& e : kDescribers)
    if (e.kind == kind) return e.describe(file, kind);
  std::fprintf(stderr, "movara info: '%s' is not a file movara knows\n", file.c_str());
  return kExitUsage;
}

}  // namespace movara
