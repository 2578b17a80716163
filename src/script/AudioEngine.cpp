#include "script/AudioEngine.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "base/Format.h"
#include "base/Rounding.h"
#include "base/Trace.h"
#include "media/AudioReader.h"

namespace movara {

namespace {

// The film format as the blocks and the converter take it: PCM with its derived fields
// computed from channels, bits and rate.
WAVEFORMATEX PcmFormat(const WAVEFORMATEX& f) {
  WAVEFORMATEX r;
  r.wFormatTag = WAVE_FORMAT_PCM;
  r.nChannels = f.nChannels;
  r.nSamplesPerSec = f.nSamplesPerSec;
  r.wBitsPerSample = f.wBitsPerSample;
  r.nBlockAlign = static_cast<uint16_t>(f.nChannels * f.wBitsPerSample / 8);
  r.nAvgBytesPerSec = r.nBlockAlign * f.nSamplesPerSec;
  r.cbSize = 0;
  return r;
}

int ClampToInt(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX)); }

}  // namespace

// ---------------------------------------------------------------- TAudioEngineCommandList

TAudioEngineCommandList::TAudioEngineCommandList(int Track) : FTrack(std::clamp(Track, 0, 2)) {}

void TAudioEngineCommandList::Clear() {
  FActions.clear();
  FCommands.Clear();
}

void TAudioEngineCommandList::Generate(const std::vector<std::string>& Lines, const WAVEFORMATEX* Format) {
  if (!Format) throw EMovara("[TAudioEngineCommandList.Generate] Error $2A01: pFormat = nil.");
  FFormat = PcmFormat(*Format);
  // The actions point into the commands: both go before the new parse, so that a parse
  // error leaves no action behind that points at a freed command.
  Clear();
  FCommands.Generate(Lines, FTrack + 1);

  int64_t s = 0;
  for (int i = 0; i < FCommands.Count(); ++i) {
    const int kind = FCommands.AudioKind(i);
    if (kind != aaNop && kind != aaAudio) continue;  // SG, SL and pictures take no time here
    TScriptCommand* c = FCommands.Commands(i);
    TAudioAction a;
    a.Kind = static_cast<uint8_t>(kind);
    a.Start = ClampToInt(s);
    // a negative duration in a hand-written script plays as nothing, not backwards
    a.Length = std::max(0, c->Duration);
    a.Command = kind == aaAudio ? c : nullptr;
    FActions.push_back(a);
    s += a.Length;
  }

  for (const TAudioAction& a : FActions) {
    if (a.Kind != aaAudio) continue;
    TScriptCommand* c = a.Command;
    if (c->AudioReader)
      c->AudioReader->SetDestinationFormat(FFormat.nChannels, FFormat.wBitsPerSample,
                                           static_cast<int>(FFormat.nSamplesPerSec));
    // Level 50 keeps the sound, 100 doubles it, 0 silences it; the points read from the
    // script keep their levels and count samples at the film's rate.
    if (c->LevelList) c->LevelList->Setup(c->Duration, 0, static_cast<int>(FFormat.nSamplesPerSec), 50, 0, 50, 100);
  }
}

const TAudioAction* TAudioEngineCommandList::Actions(int Index) const {
  if (Index < 0 || Index >= ActionCount()) return nullptr;
  return &FActions[static_cast<size_t>(Index)];
}

const TAudioAction* TAudioEngineCommandList::FindAction(int Time, int& Index) const {
  Index = -1;
  if (FActions.empty()) return nullptr;
  for (size_t i = 0; i < FActions.size(); ++i) {
    const TAudioAction& a = FActions[i];
    if (a.Start <= Time && static_cast<int64_t>(Time) < static_cast<int64_t>(a.Start) + a.Length) {
      Index = static_cast<int>(i);
      return &a;
    }
  }
  Index = ActionCount() - 1;
  return &FActions.back();
}

int TAudioEngineCommandList::GetLength() const {
  if (FActions.empty()) return 0;
  return ClampToInt(static_cast<int64_t>(FActions.back().Start) + FActions.back().Length);
}

int TAudioEngineCommandList::GetAudioData(int Time, TAudioPcmManager& Block) {
  Block.ClearBlock();
  int64_t p = Time;
  const int64_t end = static_cast<int64_t>(Time) + Block.Duration();
  int index = -1;
  // Before the film's start nothing plays; the search starts at its first action.
  const TAudioAction* a = FindAction(std::max(Time, 0), index);
  int produced = 0;
  while (a && p < end) {
    if (a->Kind == aaNop) {
      // A span may begin inside the NOP: what follows starts at the NOP's end, not one
      // NOP length after the span's start.
      p = std::max<int64_t>(p, static_cast<int64_t>(a->Start) + a->Length);
    } else if (a->Kind == aaAudio) {
      if (p < a->Start) p = a->Start;
      if (p >= end) break;
      const int64_t elapsed = p - a->Start;
      const int64_t r = std::min<int64_t>(a->Length - elapsed, end - p);
      if (r > 0) {
        produced += RenderAudio(*a, Time, static_cast<int>(p), static_cast<int>(r), Block);
        p += r;
      }
    }
    a = Actions(++index);
  }
  return produced;
}

int TAudioEngineCommandList::RenderAudio(const TAudioAction& A, int Time, int P, int R, TAudioPcmManager& Block) {
  TScriptCommand* c = A.Command;
  if (!c || !c->AudioReader || R <= 0) return 0;
  const int rate = static_cast<int>(FFormat.nSamplesPerSec);
  const int bits = FFormat.wBitsPerSample;
  const int channels = FFormat.nChannels;
  const int v = c->Speed;
  if (v <= 0 || v > kMaxSpeed) {
    TraceF("[TAudioEngineCommandList.GetAudioData] Speed %d%% out of range: silence.", v);
    return 0;
  }

  // Film time since the action's start; the sound moves v/100 times as fast, so a span
  // that starts inside the action reads on where the span before it stopped.
  const int64_t elapsed = static_cast<int64_t>(P) - A.Start;
  const int64_t q = static_cast<int64_t>(c->StartPosition) +
                    (v == 100 ? elapsed : RoundHalfEven(static_cast<long double>(elapsed) * v / 100));
  const int64_t d = RoundHalfEven(static_cast<long double>(R) * v / 100);
  if (d < 1 || q < 0 || q > INT_MAX || d > INT_MAX) return 0;

  FScratch.Init(bits, channels, static_cast<int>(d), rate);
  int got = c->AudioReader->ReadData(static_cast<int>(q), static_cast<int>(d), FScratch.BlockSize(), FScratch.Block());
  got = std::clamp(got, 0, FScratch.BlockSize());
  got -= got % FScratch.BytesPerFrame();

  if (v != 100) {
    // The read frames, resampled to round(100 / v x rate) and played at the film's rate,
    // last R ms: speed changes duration and pitch together.
    std::vector<uint8_t> converted;
    if (got > 0) {
      const int destRate = static_cast<int>(RoundHalfEven(100.0L / v * rate));
      FConverter.SetSourceFormat(FFormat, got);
      FConverter.SetDestFormat(WAVE_FORMAT_PCM, static_cast<uint16_t>(channels), static_cast<uint32_t>(destRate),
                               static_cast<uint16_t>(bits));
      int cnt = 0;
      if (FConverter.CompressBlock(FScratch.Block(), got, cnt)) {
        converted.assign(FConverter.DestBuffer(), FConverter.DestBuffer() + cnt);
        int rest = 0;
        if (FConverter.FlushCompression(rest) && rest > 0)
          converted.insert(converted.end(), FConverter.DestBuffer(), FConverter.DestBuffer() + rest);
      } else {
        TraceF("[TAudioEngineCommandList.GetAudioData] Speed converting failed: %s",
               FConverter.DestinationText().c_str());
      }
      FConverter.CloseCompression();
    }
    FScratch.Init(bits, channels, R, rate);
    int cnt = static_cast<int>(converted.size());
    if (cnt > FScratch.BlockSize()) {
      TraceF("[TAudioEngineCommandList.GetAudioData] Speed converting. Cnt > BufferSize: %d > %d", cnt,
             FScratch.BlockSize());
      cnt = FScratch.BlockSize();
    }
    if (cnt > 0) std::memcpy(FScratch.Block(), converted.data(), static_cast<size_t>(cnt));
  }

  const int f0 = static_cast<int>(RoundHalfEven(static_cast<long double>(P - Time) * rate / 1000));
  const int64_t e0 = RoundHalfEven(static_cast<long double>(elapsed) * rate / 1000);
  // Rounding of the two blocks' frame counts must not pile frames onto the last one.
  const int frames = std::min(FScratch.FrameCount(), Block.FrameCount() - f0);
  const TScriptLevelList* levels = c->LevelList.get();
  for (int i = 0; i < frames; ++i) {
    const double gain = levels ? levels->GainAtSample(e0 + i) : 1.0;
    Block.PutScaledSample(f0 + i, FScratch.SamplePtr(i), gain);
  }
  return FScratch.BlockSize();
}

// ---------------------------------------------------------------- TAudioEngine

TAudioEngine::TAudioEngine() {
  for (int i = 0; i < 3; ++i) FTracks[static_cast<size_t>(i)] = std::make_unique<TAudioEngineCommandList>(i);
}

int TAudioEngine::LoadScript(const std::string& Text, const WAVEFORMATEX* Format) {
  const std::vector<std::string> lines = SplitScriptLines(Text);
  Clear();
  FHasFormat = false;
  for (auto& track : FTracks) track->Generate(lines, Format);  // no format raises here
  FFormat = FTracks[0]->Format();
  FHasFormat = true;
  return 0;
}

void TAudioEngine::Clear() {
  for (auto& track : FTracks) track->Clear();
}

int TAudioEngine::GetLength() const {
  int length = 0;
  for (const auto& track : FTracks) length = std::max(length, track->GetLength());
  return length;
}

int TAudioEngine::BlockBytes(int Duration) const {
  if (!FHasFormat || Duration < 1) return 0;
  const int64_t frames = RoundHalfEven(static_cast<long double>(FFormat.nSamplesPerSec) * Duration / 1000);
  return ClampToInt(frames * FFormat.nBlockAlign);
}

int TAudioEngine::GetAudioData(int Time, int Duration, int BufferSize, void* Buffer) {
  if (!FHasFormat || !Buffer || Duration < 1 || BufferSize <= 0) return 0;
  const int bits = FFormat.wBitsPerSample;
  const int channels = FFormat.nChannels;
  const int rate = static_cast<int>(FFormat.nSamplesPerSec);
  FOutput.Init(bits, channels, Duration, rate);
  for (size_t k = 0; k < 3; ++k) {
    FTrackBlocks[k].Init(bits, channels, FOutput.Duration(), rate);
    FTracks[k]->GetAudioData(Time, FTrackBlocks[k]);
  }
  const int frames = FOutput.FrameCount();
  auto frame = [](TAudioPcmManager& b, int i) -> const uint8_t* {
    return i < b.FrameCount() ? b.SamplePtr(i) : nullptr;
  };
  for (int i = 0; i < frames; ++i)
    FOutput.MixSamples(i, frame(FTrackBlocks[0], i), frame(FTrackBlocks[1], i), frame(FTrackBlocks[2], i));

  int size = FOutput.BlockSize();
  if (BufferSize < size) {
    TraceF("[TAudioEngine.GetAudioData] BufferSize not enough. Moving only %d bytes of %d", BufferSize, size);
    size = BufferSize;
  }
  std::memcpy(Buffer, FOutput.Block(), static_cast<size_t>(size));
  TraceF("[TAudioEngine.GetAudioData] Moved %d bytes ", size);
  return size;
}

}  // namespace movara
