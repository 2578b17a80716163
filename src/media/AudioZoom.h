#pragma once
// The waveform cache of the time line: for each sound twelve levels of 8-bit mono
// samples, one per time-line zoom, one sample per pixel. Level 0 is converted from the
// sound at 44100 Hz by the PCM converter; every further level from the level below.
// Blocks are converted when first read. TAudioBox computes the symmetric envelope of
// one level for a visible width (the window draws it).
#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/Dib.h"
#include "base/VfxTypes.h"  // TZoom
#include "media/AudioCompressor.h"
#include "media/AudioReader.h"
#include "media/ResourceLists.h"

namespace movara {

inline constexpr int kZoomLevelCount = 12;
inline constexpr int kZoomScaleRows = 4;
// The scale row the waveform uses (72 pixels per frame at zmOneFrame).
inline constexpr int kWaveScaleRow = 2;

// Samples per second of level i in scale row r: (r + 1) x 600, 300, 150, 100, 50, 24,
// 12, 6, 2.4, 1.2, 0.4, 0.2.
double ZoomRate(int row, int level);
// "zmOneFrame" .. "zmTwoMinutes"; "" for a bad ordinal.
const char* ZoomLevelName(int level);
// 44100 / rate(0) for level 0, rate(i - 1) / rate(i) above.
double ZoomRatio(int row, int level);

class TAudioZoomReader;

struct TAudioZoomBlock {
  std::vector<uint8_t> Data;  // 128 = silence until converted
  bool Converted = false;
};

// One level of one sound.
class TAudioZoomList {
 public:
  TAudioZoomList(TAudioZoomReader* parent, int level, int row, int blockSize);
  // Blocks of silence covering duration ms; none when that is no sample.
  void InitList(int durationMs);
  // count samples from timeMs (>= 0) into buffer (already filled with silence);
  // true when all were copied.
  bool ReadSamples(int timeMs, uint8_t* buffer, int count);
  bool ReadSamplesAt(int64_t firstSample, uint8_t* buffer, int count);

  int Level() const { return FLevel; }
  double Rate() const { return ZoomRate(FRow, FLevel); }
  int BlockSize() const { return FBlockSize; }
  int BlockCount() const { return static_cast<int>(FBlocks.size()); }
  int ConvertedCount() const;
  const TAudioZoomBlock& Block(int index) const { return FBlocks[static_cast<size_t>(index)]; }
  int Duration() const { return FDuration; }  // covered, ms

 private:
  TAudioZoomReader* FParent;
  int FLevel;
  int FRow;
  int FBlockSize;
  std::vector<TAudioZoomBlock> FBlocks;
  int FDuration = 0;
};

// The twelve level converters, one set per program.
class TAudioZoomConverter {
 public:
  TAudioZoomConverter() = default;
  // Sets up every level for blocks of blockSize samples; only once.
  void Init(int blockSize, int row = kWaveScaleRow);
  bool Initialized() const { return FInitialized; }
  int BlockSize() const { return FBlockSize; }
  // nullptr when not initialised or the level is bad.
  TAudioCompressor* GetAudioCompressor(int level);
  double Ratio(int level) const { return level >= 0 && level < kZoomLevelCount ? FRatios[level] : 0; }
  std::mutex& Lock() { return FLock; }

 private:
  std::array<TAudioCompressor, kZoomLevelCount> FListArray;
  std::array<double, kZoomLevelCount> FRatios{};
  bool FInitialized = false;
  int FBlockSize = 0;
  std::mutex FLock;
};
TAudioZoomConverter& AudioZoomConverter();

class TAudioZoomReader {
 public:
  // link: the sound's reader (not owned); its destination becomes 1 channel, 8 bits,
  // 44100 Hz.
  explicit TAudioZoomReader(TCustomAudioReader* link, int row = kWaveScaleRow);
  TAudioZoomReader(const TAudioZoomReader&) = delete;
  TAudioZoomReader& operator=(const TAudioZoomReader&) = delete;

  // Fills buffer with count samples of level from timeMs (silence where the sound is
  // not); true when every sample within the sound could be had.
  bool ReadSamples(int level, int timeMs, uint8_t* buffer, int count);
  bool ReadSamplesAt(int level, int64_t sampleIndex, uint8_t* buffer, int count);
  // Converts one block of a level (startMs: the block's start).
  bool ConvertBlockData(int level, TAudioZoomBlock& block, int startMs);

  TCustomAudioReader* LinkAudioReader() const { return FLinkAudioReader; }
  int Duration() const { return FDuration; }
  int Row() const { return FRow; }
  int BlockSize() const { return FBlockSize; }
  // nullptr until the level was first read.
  TAudioZoomList* List(int level) const;

 private:
  void MakeLists(int level);

  TCustomAudioReader* FLinkAudioReader;
  int FDuration = 0;
  int FRow;
  int FBlockSize;
  std::array<std::unique_ptr<TAudioZoomList>, kZoomLevelCount> FLists;
  std::array<std::vector<uint8_t>, kZoomLevelCount> FInBuffers;
  std::recursive_mutex FLock;
};

// The caches by file name; their readers come from a private audio list.
class TAudioZoomReaderList {
 public:
  TAudioZoomReaderList() : FFileList("AudioZoomFileList") {}
  // The cache of a file (made when missing); nullptr when the sound does not open.
  TAudioZoomReader* GetItem(const std::string& fileName);
  TAudioZoomReader* FindItem(const std::string& fileName) const;
  int Count() const;
  // Frees every cache and reader.
  void Clear();

 private:
  TAudioFileList FFileList;
  std::map<std::string, std::unique_ptr<TAudioZoomReader>> FItems;
  mutable std::mutex FLock;
};
TAudioZoomReaderList& AudioZoomReaderList();

// One drawn column: a vertical line from (X, Y1) to (X, Y2).
struct TAudioLine {
  int X = 0, Y1 = 0, Y2 = 0;
};

// The envelope of one level for a visible width.
class TAudioBox {
 public:
  void SetAudioZoomReader(TAudioZoomReader* reader);
  void SetStartTime(int ms);
  void SetLevel(int level);
  void SetScale(int percent);  // 0..100
  void SetShowInfo(bool show) { FShowInfo = show; }
  int Scale() const { return FScale; }
  TColor BackgroundColor() const { return FBackgroundColor; }
  TColor LineColor() const { return FLineColor; }

  // Reads width samples of the level from the start time when level, width or start
  // changed, and computes each column's value and mirror and the minimum and maximum.
  void Compute(int width);
  // The centre line's y and the column lines of rect, column firstColumn at its left.
  int CentreY(const TRect& rect) const { return rect.Top + rect.Height() / 2; }
  std::vector<TAudioLine> Lines(const TRect& rect, int level, int firstColumn);
  // " Offset: %.3f, Min: %.4d, Max: %.4d, Zoom = %s", or "" when the info line is off.
  std::string InfoText() const;

  int ColumnCount() const { return static_cast<int>(FValues.size()); }
  int Value(int column) const { return FValues[static_cast<size_t>(column)]; }
  int Mirror(int column) const { return FMirrors[static_cast<size_t>(column)]; }
  int Min() const { return FMin; }
  int Max() const { return FMax; }

 private:
  TAudioZoomReader* FReader = nullptr;
  int FLevel = zmOneSecond;
  int FStartTime = 0;
  TColor FBackgroundColor = RGBColor(255, 255, 255);
  TColor FLineColor = RGBColor(0, 128, 0);
  int FScale = 80;
  bool FShowInfo = false;
  bool FValid = false;
  int FComputedLevel = -1, FComputedWidth = -1, FComputedStart = 0;
  std::vector<uint8_t> FBlock;
  std::vector<int> FValues, FMirrors;
  int FMin = 0, FMax = 0;
};

}  // namespace movara
