#pragma once
// TFilmSettingsData: what the output settings window (or the command line) decides about
// the film to generate: the file, its kind, the picture, the sound and how much of the
// time line goes into it.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/avifile/RiffTypes.h"
#include "platform/codecs/VideoCompressor.h"
#include "project/RangeList.h"

namespace movara {

// The choices of the settings, by their index in the settings window's lists. RangeKind
// takes TRangeKind of the time line.

enum TOutputKind : uint8_t {
  okAviFilm = 0,
  okBmpSequence = 1,
  okGifSequence = 2,
  okJpegSequence = 3,
  okMp4Film = 4  // H.264 and AAC in MP4
};

// 8 bits, 16 bits (5-5-5), 24 bits, 32 bits a pixel.
enum TFilmColourMode : uint8_t { cmColour8 = 0, cmColour16 = 1, cmColour24 = 2, cmColour32 = 3 };

enum TVideoRenderMode : uint8_t {
  vrmMaximal = 0,  // unchanged clip stretches copied as compressed data
  vrmMedium = 1,   // plain stretches recompressed without the renderer
  vrmNone = 2      // every frame rendered and compressed
};

enum TFilmContent : uint8_t { fcVideoAndSound = 0, fcVideoOnly = 1, fcSoundOnly = 2 };

enum TAudioMode : uint8_t { amMono8 = 0, amStereo8 = 1, amMono16 = 2, amStereo16 = 3 };

enum TAudioBlockMode : uint8_t {
  abSecond = 0,      // 1000 ms
  abHalfSecond = 1,  // 500 ms
  abFrame = 2,       // one frame
  abSoundFirst = 3   // 1000 ms, all sound before the video
};

struct TFilmSettingsData {
  std::string FileName;
  TOutputKind OutputKind = okAviFilm;
  bool OpenAfterFinished = false;
  // Compression is on when the type is set and the handler is not "DIB ".
  TCompVars Compvars;
  std::vector<uint8_t> StateBlock;  // the compressor's saved state
  int32_t FrameWidth = 320;
  int32_t FrameHeight = 240;
  TFilmColourMode ColourMode = cmColour24;
  int32_t FramesPerSecond = 25;
  TVideoRenderMode VideoRenderMode = vrmMaximal;
  TFilmContent FilmContent = fcVideoAndSound;
  TRangeKind RangeKind = rkAll;
  int32_t SamplesPerSecond = 44100;
  TAudioMode AudioMode = amStereo16;
  uint16_t AudioFormatTag = WAVE_FORMAT_PCM;
  TAudioBlockMode AudioBlockMode = abSecond;
  int64_t MaxAviFileSize = 2147483647LL;  // "2 GB": 2 GB less one byte

  bool Compressed() const;
  // Bits a pixel of ColourMode (24 for an unknown mode).
  int BitCount() const;
  // Channels and bits of AudioMode (stereo 16 for an unknown mode).
  int Channels() const;
  int SampleBits() const;
};

}  // namespace movara
