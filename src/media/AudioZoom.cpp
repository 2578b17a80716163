#include "media/AudioZoom.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "base/AppPaths.h"
#include "base/Format.h"
#include "base/Rounding.h"
#include "base/Trace.h"

namespace movara {

namespace {

constexpr double kBaseRates[kZoomLevelCount] = {600, 300, 150, 100, 50, 24, 12, 6, 2.4, 1.2, 0.4, 0.2};
constexpr const char* kLevelNames[kZoomLevelCount] = {
    "zmOneFrame",   "zmTwoFrames",   "zmFourFrames",   "zmSixFrames",     "zmTwelveFrames", "zmOneSecond",
    "zmTwoSeconds", "zmFourSeconds", "zmTenSeconds",   "zmTwentySeconds", "zmOneMinute",    "zmTwoMinutes"};
constexpr int kSourceRate = 44100;

bool ValidLevel(int level) { return level >= 0 && level < kZoomLevelCount; }

}  // namespace

double ZoomRate(int row, int level) {
  if (!ValidLevel(level) || row < 0 || row >= kZoomScaleRows) return 0;
  // (r + 1) x the base rate, so that row 2 gives 1800 ... 0.6 exactly as written.
  return (row + 1) * kBaseRates[level];
}

const char* ZoomLevelName(int level) { return ValidLevel(level) ? kLevelNames[level] : ""; }

double ZoomRatio(int row, int level) {
  if (!ValidLevel(level)) return 0;
  const double rate = ZoomRate(row, level);
  if (rate <= 0) return 0;
  return level == 0 ? kSourceRate / rate : ZoomRate(row, level - 1) / rate;
}

// ---------------------------------------------------------------------------------
// TAudioZoomList

TAudioZoomList::TAudioZoomList(TAudioZoomReader* parent, int level, int row, int blockSize)
    : FParent(parent), FLevel(level), FRow(row), FBlockSize(blockSize) {}

void TAudioZoomList::InitList(int durationMs) {
  FBlocks.clear();
  FDuration = 0;
  const double rate = Rate();
  const int64_t samples = durationMs > 0 ? RoundHalfEven(static_cast<long double>(rate) * durationMs / 1000) : 0;
  if (samples <= 0 || FBlockSize <= 0) {
    TraceF("[TAudioZoomList.InitList] FAILED ! TimeToSamples( ADuration) = 0 (ADuration = %d).", durationMs);
    return;
  }
  const int64_t blocks = (samples + FBlockSize - 1) / FBlockSize;
  FBlocks.resize(static_cast<size_t>(blocks));
  for (auto& b : FBlocks) b.Data.assign(static_cast<size_t>(FBlockSize), 128);
  FDuration = static_cast<int>(RoundHalfEven(static_cast<long double>(blocks) * FBlockSize / rate * 1000));
}

int TAudioZoomList::ConvertedCount() const {
  return static_cast<int>(std::count_if(FBlocks.begin(), FBlocks.end(), [](const TAudioZoomBlock& b) { return b.Converted; }));
}

bool TAudioZoomList::ReadSamples(int timeMs, uint8_t* buffer, int count) {
  return ReadSamplesAt(RoundHalfEven(static_cast<long double>(Rate()) * timeMs / 1000), buffer, count);
}

bool TAudioZoomList::ReadSamplesAt(int64_t firstSample, uint8_t* buffer, int count) {
  if (count <= 0) return count == 0;
  if (firstSample < 0) return false;
  const int64_t total = static_cast<int64_t>(FBlocks.size()) * FBlockSize;
  if (firstSample >= total) return false;
  int64_t block = firstSample / FBlockSize;
  int offset = static_cast<int>(firstSample % FBlockSize);
  int done = 0;
  while (done < count && block < static_cast<int64_t>(FBlocks.size())) {
    TAudioZoomBlock& b = FBlocks[static_cast<size_t>(block)];
    if (!b.Converted) {
      const int startMs =
          static_cast<int>(RoundHalfEven(static_cast<long double>(block) * FBlockSize / Rate() * 1000));
      if (!FParent->ConvertBlockData(FLevel, b, startMs)) {
        Trace("[TAudioZoomList.ReadSamples] FParent.ConvertBlockData FAILED!");
        return false;
      }
    }
    const int take = std::min(count - done, FBlockSize - offset);
    std::memcpy(buffer + done, b.Data.data() + offset, static_cast<size_t>(take));
    done += take;
    offset = 0;
    ++block;
  }
  return done == count;
}

// ---------------------------------------------------------------------------------
// TAudioZoomConverter

void TAudioZoomConverter::Init(int blockSize, int row) {
  std::lock_guard<std::mutex> g(FLock);
  if (FInitialized || blockSize <= 0) return;
  bool ok = true;
  for (int i = 0; i < kZoomLevelCount; ++i) {
    FRatios[i] = ZoomRatio(row, i);
    TAudioCompressor& ac = FListArray[static_cast<size_t>(i)];
    const int sourceSize = RoundInt(static_cast<long double>(blockSize) * FRatios[i] + 1);
    const int destRate = RoundInt(static_cast<long double>(kSourceRate) / FRatios[i]);
    bool started = false;
    try {
      if (ac.SetSourceFormat(MakePcmFormat(1, kSourceRate, 8), sourceSize) &&
          ac.SetDestFormat(WAVE_FORMAT_PCM, 1, static_cast<uint32_t>(destRate), 8)) {
        // Prime the converter with silence, not with the buffer's zeros (full scale).
        std::memset(ac.SourceBuffer(), 128, static_cast<size_t>(ac.SourceBufferSize()));
        int converted = 0;
        started = ac.CompressData(converted);
      }
    } catch (const std::exception&) {
      started = false;
    }
    if (!started) {
      TraceF("[TAudioZoomConverter.Init] Warning. FListArray[%s].CompressData FAILED!", ZoomLevelName(i));
      ok = false;
    }
  }
  FInitialized = ok;
  if (ok) FBlockSize = blockSize;
}

TAudioCompressor* TAudioZoomConverter::GetAudioCompressor(int level) {
  if (!FInitialized || !ValidLevel(level)) return nullptr;
  return &FListArray[static_cast<size_t>(level)];
}

TAudioZoomConverter& AudioZoomConverter() {
  static TAudioZoomConverter converter;
  return converter;
}

// ---------------------------------------------------------------------------------
// TAudioZoomReader

TAudioZoomReader::TAudioZoomReader(TCustomAudioReader* link, int row)
    : FLinkAudioReader(link), FRow(row < 0 || row >= kZoomScaleRows ? kWaveScaleRow : row) {
  // 10 seconds at the level of one second per thumbnail: 72 x 10 in row 2.
  FBlockSize = static_cast<int>(RoundHalfEven(ZoomRate(FRow, zmOneSecond) * 10));
  if (FLinkAudioReader != nullptr) {
    const WAVEFORMATEX& d = FLinkAudioReader->DestinationFormat();
    if (d.nSamplesPerSec != kSourceRate || d.wBitsPerSample != 8 || d.nChannels != 1) {
      TraceF("[TAudioZoomReader.Create] Warning! Changing FLinkAudioReader.DestinationFormat from %d -> 44100; %d -> 8, "
             "%d -> 1",
             static_cast<int>(d.nSamplesPerSec), static_cast<int>(d.wBitsPerSample), static_cast<int>(d.nChannels));
      try {
        FLinkAudioReader->SetDestinationFormat(1, 8, kSourceRate);
      } catch (const std::exception& e) {
        TraceF("[TAudioZoomReader.Create] Exception on SetDestinationFormat: %s", e.what());
      }
    }
    FDuration = FLinkAudioReader->Opened() ? FLinkAudioReader->Duration() : 0;
  }
  AudioZoomConverter().Init(FBlockSize, FRow);
}

TAudioZoomList* TAudioZoomReader::List(int level) const {
  return ValidLevel(level) ? FLists[static_cast<size_t>(level)].get() : nullptr;
}

void TAudioZoomReader::MakeLists(int level) {
  for (int i = 0; i <= level; ++i) {
    auto& list = FLists[static_cast<size_t>(i)];
    if (list) continue;
    list = std::make_unique<TAudioZoomList>(this, i, FRow, FBlockSize);
    list->InitList(FDuration);
  }
}

bool TAudioZoomReader::ReadSamples(int level, int timeMs, uint8_t* buffer, int count) {
  if (!ValidLevel(level) || count < 0 || (count > 0 && buffer == nullptr)) return false;
  std::lock_guard<std::recursive_mutex> g(FLock);
  std::memset(buffer, 128, static_cast<size_t>(count));
  if (timeMs < 0) {
    TraceF("[TAudioZoomReader.ReadSamples] TimeOffset < 0. Correcting TimeOffset & SampleCount. (TimeOffset was %d)",
           timeMs);
    const int64_t skip = RoundHalfEven(static_cast<long double>(ZoomRate(FRow, level)) * -static_cast<int64_t>(timeMs) / 1000);
    if (skip >= count) return true;
    buffer += skip;
    count -= static_cast<int>(skip);
    timeMs = 0;
  }
  MakeLists(level);
  return FLists[static_cast<size_t>(level)]->ReadSamples(timeMs, buffer, count);
}

bool TAudioZoomReader::ReadSamplesAt(int level, int64_t sampleIndex, uint8_t* buffer, int count) {
  if (!ValidLevel(level) || count < 0 || (count > 0 && buffer == nullptr)) return false;
  std::lock_guard<std::recursive_mutex> g(FLock);
  std::memset(buffer, 128, static_cast<size_t>(count));
  if (sampleIndex < 0) {
    if (-sampleIndex >= count) return true;
    buffer += -sampleIndex;
    count -= static_cast<int>(-sampleIndex);
    sampleIndex = 0;
  }
  MakeLists(level);
  return FLists[static_cast<size_t>(level)]->ReadSamplesAt(sampleIndex, buffer, count);
}

namespace {

void DecimatePeaks(const uint8_t* in, int inSize, double ratio, uint8_t* out, int outSize) {
  for (int j = 0; j < outSize; ++j) {
    const int first = std::min(inSize, static_cast<int>(std::floor(j * ratio)));
    const int last = std::min(inSize, std::max(first + 1, static_cast<int>(std::floor((j + 1) * ratio))));
    uint8_t peak = 128;
    for (int i = first; i < last; ++i)
      if (std::abs(in[i] - 128) > std::abs(peak - 128)) peak = in[i];
    out[j] = peak;
  }
}

}  // namespace

bool TAudioZoomReader::ConvertBlockData(int level, TAudioZoomBlock& block, int startMs) {
  TAudioZoomConverter& conv = AudioZoomConverter();
  TAudioCompressor* ac = conv.GetAudioCompressor(level);
  if (ac == nullptr) {
    Trace("[TAudioZoomReader.ConvertBlockData] AudioZoomConverter.GetAudioCompressor has returned nil !");
    return false;
  }
  const double ratio = conv.Ratio(level);
  const int inSize = RoundInt(static_cast<long double>(ratio) * FBlockSize);
  std::vector<uint8_t>& in = FInBuffers[static_cast<size_t>(level)];
  in.assign(static_cast<size_t>(std::max(inSize, 0)), 128);
  if (level == 0) {
    if (FLinkAudioReader != nullptr && FLinkAudioReader->Opened()) {
      const int blockMs = RoundInt(static_cast<long double>(FBlockSize) / ZoomRate(FRow, 0) * 1000);
      try {
        FLinkAudioReader->ReadData(startMs, blockMs, inSize, in.data());
      } catch (const std::exception& e) {
        TraceF("[TAudioZoomReader.ConvertBlockData] Exception on ReadData: %s", e.what());
      }
    }
  } else {
    // The level below may end inside this block: what it lacks stays silence.
    ReadSamples(level - 1, startMs, in.data(), inSize);
  }
  // Each sample of the level is the sample of its span of the level below that lies
  // farthest from silence: the waveform keeps the sound's peaks at every zoom and starts
  // where the sound starts. (A band-limited rate converter would smooth ordinary sound
  // to a flat line at the coarse levels and delay it by its filter at each level.)
  DecimatePeaks(in.data(), inSize, ratio, block.Data.data(), FBlockSize);
  block.Converted = true;
  return true;
}

// ---------------------------------------------------------------------------------
// TAudioZoomReaderList

TAudioZoomReader* TAudioZoomReaderList::FindItem(const std::string& fileName) const {
  std::lock_guard<std::mutex> g(FLock);
  if (fileName.empty()) return nullptr;
  for (const std::string& key :
       {ExpandFileName(fileName), ExpandFileName(DataFolder() + "LoadAudio/" + ExtractFileName(fileName))}) {
    auto it = FItems.find(key);
    if (it != FItems.end()) return it->second.get();
  }
  return nullptr;
}

TAudioZoomReader* TAudioZoomReaderList::GetItem(const std::string& fileName) {
  if (TAudioZoomReader* found = FindItem(fileName)) return found;
  TCustomAudioReader* audio = FFileList.GetItem(fileName);
  if (audio == nullptr || !audio->Opened()) return nullptr;
  auto reader = std::make_unique<TAudioZoomReader>(audio);
  TAudioZoomReader* result = reader.get();
  std::lock_guard<std::mutex> g(FLock);
  FItems[ExpandFileName(audio->FileName().empty() ? fileName : audio->FileName())] = std::move(reader);
  return result;
}

int TAudioZoomReaderList::Count() const {
  std::lock_guard<std::mutex> g(FLock);
  return static_cast<int>(FItems.size());
}

void TAudioZoomReaderList::Clear() {
  std::lock_guard<std::mutex> g(FLock);
  FItems.clear();
  FFileList.Clear();
}

TAudioZoomReaderList& AudioZoomReaderList() {
  static TAudioZoomReaderList list;
  return list;
}

// ---------------------------------------------------------------------------------
// TAudioBox

void TAudioBox::SetAudioZoomReader(TAudioZoomReader* reader) {
  if (reader != FReader) FValid = false;
  FReader = reader;
}

void TAudioBox::SetStartTime(int ms) { FStartTime = ms; }

void TAudioBox::SetLevel(int level) {
  if (ValidLevel(level)) FLevel = level;
}

void TAudioBox::SetScale(int percent) { FScale = std::clamp(percent, 0, 100); }

void TAudioBox::Compute(int width) {
  width = std::max(width, 0);
  if (FValid && FComputedLevel == FLevel && FComputedWidth == width && FComputedStart == FStartTime) return;
  FBlock.assign(static_cast<size_t>(width), 128);
  if (FReader != nullptr && width > 0) FReader->ReadSamples(FLevel, FStartTime, FBlock.data(), width);
  FValues.resize(static_cast<size_t>(width));
  FMirrors.resize(static_cast<size_t>(width));
  FMin = 0;
  FMax = 0;
  for (int i = 0; i < width; ++i) {
    const int v = static_cast<int>(FBlock[static_cast<size_t>(i)]) - 128;
    const int m = v == -128 ? 127 : -v;
    FValues[static_cast<size_t>(i)] = v;
    FMirrors[static_cast<size_t>(i)] = m;
    if (i == 0 || v < FMin) FMin = v;
    if (i == 0 || v > FMax) FMax = v;
  }
  FComputedLevel = FLevel;
  FComputedWidth = width;
  FComputedStart = FStartTime;
  FValid = true;
}

std::vector<TAudioLine> TAudioBox::Lines(const TRect& rect, int level, int firstColumn) {
  SetLevel(level);
  const int width = std::max(rect.Width(), 0);
  Compute(std::max(width + std::max(firstColumn, 0), 0));
  std::vector<TAudioLine> lines;
  const int centre = CentreY(rect);
  const long double amp = static_cast<long double>(rect.Height()) * FScale / 100;
  for (int x = 0; x < width; ++x) {
    const int col = firstColumn + x;
    if (col < 0 || col >= ColumnCount()) continue;
    TAudioLine l;
    l.X = rect.Left + x;
    l.Y1 = centre - RoundInt(amp * Value(col) / 256);
    l.Y2 = centre - RoundInt(amp * Mirror(col) / 256);
    lines.push_back(l);
  }
  return lines;
}

std::string TAudioBox::InfoText() const {
  if (!FShowInfo) return std::string();
  return Format(" Offset: %.3f, Min: %.4d, Max: %.4d, Zoom = %s", FStartTime / 1000.0, FMin, FMax,
                ZoomLevelName(FLevel));
}

}  // namespace movara
