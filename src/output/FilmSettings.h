#pragma once
// TFilmSettingsData: what the output settings window (or the command line) decides about
// the film to generate: the file, its kind, the picture, the sound and how much of the
// time line goes into it.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/avifile/RiffTypes.h"
#include "platform/codecs/VideoCompressor.h"

namespace movara {

// OutputKind
inline constexpr uint8_t okAviFilm = 0;
inline constexpr uint8_t okBmpSequence = 1;
inline constexpr uint8_t okGifSequence = 2;
inline constexpr uint8_t okJpegSequence = 3;

// ColourMode: 8 bits, 16 bits (5-5-5), 24 bits, 32 bits a pixel.
inline constexpr uint8_t cmColour8 = 0;
inline constexpr uint8_t cmColour16 = 1;
inline constexpr uint8_t cmColour24 = 2;
inline constexpr uint8_t cmColour32 = 3;

// VideoRenderMode
inline constexpr uint8_t vrmMaximal = 0;  // unchanged clip stretches copied as compressed data
inline constexpr uint8_t vrmMedium = 1;   // plain stretches recompressed without the renderer
inline constexpr uint8_t vrmNone = 2;     // every frame rendered and compressed

// FilmContent
inline constexpr uint8_t fcVideoAndSound = 0;
inline constexpr uint8_t fcVideoOnly = 1;
inline constexpr uint8_t fcSoundOnly = 2;

// RangeKind (the time line's ranges): the range block, the sequences, the whole film.
inline constexpr uint8_t rkRange = 0;
inline constexpr uint8_t rkSequences = 1;
inline constexpr uint8_t rkAll = 2;

// AudioMode
inline constexpr uint8_t amMono8 = 0;
inline constexpr uint8_t amStereo8 = 1;
inline constexpr uint8_t amMono16 = 2;
inline constexpr uint8_t amStereo16 = 3;

// AudioBlockMode
inline constexpr uint8_t abSecond = 0;      // 1000 ms
inline constexpr uint8_t abHalfSecond = 1;  // 500 ms
inline constexpr uint8_t abFrame = 2;       // one frame
inline constexpr uint8_t abSoundFirst = 3;  // 1000 ms, all sound before the video

struct TFilmSettingsData {
  std::string FileName;
  uint8_t OutputKind = okAviFilm;
  bool OpenAfterFinished = false;
  // Compression is on when the type is set and the handler is not "DIB ".
  TCompVars Compvars;
  std::vector<uint8_t> StateBlock;  // the compressor's saved state
  int32_t FrameWidth = 320;
  int32_t FrameHeight = 240;
  uint8_t ColourMode = cmColour24;
  int32_t FramesPerSecond = 25;
  uint8_t VideoRenderMode = vrmMaximal;
  uint8_t FilmContent = fcVideoAndSound;
  uint8_t RangeKind = rkAll;
  int32_t SamplesPerSecond = 44100;
  uint8_t AudioMode = amStereo16;
  uint16_t AudioFormatTag = WAVE_FORMAT_PCM;
  uint8_t AudioBlockMode = abSecond;
  int64_t MaxAviFileSize = 2147483647LL;  // "2 GB": 2 GB less one byte

  bool Compressed() const;
  // Bits a pixel of ColourMode (24 for an unknown mode).
  int BitCount() const;
  // Channels and bits of AudioMode (stereo 16 for an unknown mode).
  int Channels() const;
  int SampleBits() const;
};

}  // namespace movara
