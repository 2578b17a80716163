#include "script/AudioEngine.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <numeric>
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
  FDelays.clear();
  // The actions point into the commands: both go before the new parse, so that a parse
  // error leaves no action behind that points at a freed command.
  Clear();
  FCommands.Generate(Lines, FTrack + 1);

  int64_t s = 0;
  for (int i = 0; i < FCommands.Count(); ++i) {
    const TAudioKind kind = FCommands.AudioKind(i);
    if (kind != aaNop && kind != aaAudio) continue;  // SG, SL and pictures take no time here
    TScriptCommand* c = FCommands.Commands(i);
    TAudioAction a;
    a.Kind = kind;
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
  const int64_t e0 = RoundHalfEven(static_cast<long double>(elapsed) * rate / 1000);
  if (v == 100) {
    const int64_t q = static_cast<int64_t>(c->StartPosition) + elapsed;
    if (q < 0 || q > INT_MAX) return 0;
    FScratch.Init(bits, channels, R, rate);
    c->AudioReader->ReadData(static_cast<int>(q), R, FScratch.BlockSize(), FScratch.Block());
  } else if (!ReadChangedSpeed(*c, e0, R)) {
    return 0;
  }

  const int f0 = static_cast<int>(RoundHalfEven(static_cast<long double>(P - Time) * rate / 1000));
  // Rounding of the two blocks' frame counts must not pile frames onto the last one.
  const int frames = std::min(FScratch.FrameCount(), Block.FrameCount() - f0);
  const TScriptLevelList* levels = c->LevelList.get();
  for (int i = 0; i < frames; ++i) {
    const double gain = levels ? levels->GainAtSample(e0 + i) : 1.0;
    Block.PutScaledSample(f0 + i, FScratch.SamplePtr(i), gain);
  }
  return FScratch.BlockSize();
}

// The converter holds the sound back by a few frames of its output; measured once per
// rate pair with a single pulse, so that each span can be cut out exactly where it lies.
int TAudioEngineCommandList::ConverterDelay(int DestRate) {
  auto found = FDelays.find(DestRate);
  if (found != FDelays.end()) return found->second;
  const int rate = static_cast<int>(FFormat.nSamplesPerSec);
  const int bits = FFormat.wBitsPerSample;
  const int align = FFormat.nBlockAlign;
  const int lead = 256;
  std::vector<uint8_t> pulse(static_cast<size_t>(2 * lead + 1) * align, static_cast<uint8_t>(bits == 8 ? 128 : 0));
  uint8_t* at = pulse.data() + static_cast<size_t>(lead) * align;
  if (bits == 8) {
    at[0] = 228;
  } else {
    at[0] = 0x20;
    at[1] = 0x4E;  // 20000
  }
  std::vector<uint8_t> out;
  FConverter.SetSourceFormat(FFormat, static_cast<int>(pulse.size()));
  FConverter.SetDestFormat(WAVE_FORMAT_PCM, FFormat.nChannels, static_cast<uint32_t>(DestRate), FFormat.wBitsPerSample);
  int cnt = 0;
  if (FConverter.CompressBlock(pulse.data(), static_cast<int>(pulse.size()), cnt)) {
    out.assign(FConverter.DestBuffer(), FConverter.DestBuffer() + cnt);
    int rest = 0;
    if (FConverter.FlushCompression(rest) && rest > 0)
      out.insert(out.end(), FConverter.DestBuffer(), FConverter.DestBuffer() + rest);
  }
  FConverter.CloseCompression();
  int peak = -1;
  int best = 0;
  for (size_t i = 0; i + static_cast<size_t>(align) <= out.size(); i += static_cast<size_t>(align)) {
    const int value = bits == 8 ? std::abs(out[i] - 128) : std::abs(static_cast<int16_t>(out[i] | (out[i + 1] << 8)));
    if (value > best) {
      best = value;
      peak = static_cast<int>(i / static_cast<size_t>(align));
    }
  }
  const int expected = static_cast<int>(RoundHalfEven(static_cast<long double>(lead) * DestRate / rate));
  const int delay = peak < 0 ? 0 : std::clamp(peak - expected, 0, 4096);
  FDelays[DestRate] = delay;
  return delay;
}

// Reads the sound of command C for R ms of film from film frame E0 of its action on, at
// its speed, into the scratch block (R ms at the film's rate). The read frames are
// resampled to round(100 / v x rate) and played at the film's rate, so speed changes
// duration and pitch together. A little of the sound before and after the span goes
// through the converter with it, so that the filter sees the real neighbours and the
// spans of consecutive blocks join without a seam.
bool TAudioEngineCommandList::ReadChangedSpeed(const TScriptCommand& C, int64_t E0, int R) {
  const int rate = static_cast<int>(FFormat.nSamplesPerSec);
  const int bits = FFormat.wBitsPerSample;
  const int channels = FFormat.nChannels;
  const int v = C.Speed;
  const int destRate = static_cast<int>(RoundHalfEven(100.0L / v * rate));
  if (destRate < 1) return false;
  const long double ratio = static_cast<long double>(destRate) / rate;
  const int delay = ConverterDelay(destRate);

  // Where the span starts in the sound, in frames at the film's rate (not rounded).
  const long double srcStart = static_cast<long double>(C.StartPosition) * rate / 1000 + static_cast<long double>(E0) * v / 100;
  const long double srcLength = static_cast<long double>(R) * rate / 1000 * v / 100;
  const int64_t margin = rate / 50 + 2;  // 20 ms
  // Read from a whole number of frames: a time of a multiple of g ms starts at an exact frame.
  const int64_t g = 1000 / std::gcd<int64_t>(rate, 1000);
  const int64_t wantFrom = std::max<int64_t>(0, static_cast<int64_t>(std::floor(srcStart)) - margin);
  const int64_t fromMs = wantFrom * 1000 / rate / g * g;
  const int64_t fromFrame = fromMs * rate / 1000;
  const int64_t toFrame = static_cast<int64_t>(std::ceil(srcStart + srcLength)) + margin +
                          static_cast<int64_t>(std::ceil(delay / ratio)) + 2;
  const int64_t readMs = (toFrame - fromFrame) * 1000 / rate + 1;
  if (fromMs > INT_MAX || readMs > INT_MAX) return false;

  FScratch.Init(bits, channels, static_cast<int>(readMs), rate);
  int got = C.AudioReader->ReadData(static_cast<int>(fromMs), static_cast<int>(readMs), FScratch.BlockSize(),
                                    FScratch.Block());
  got = std::clamp(got, 0, FScratch.BlockSize());
  got -= got % FScratch.BytesPerFrame();

  std::vector<uint8_t> converted;
  if (got > 0) {
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
      TraceF("[TAudioEngineCommandList.GetAudioData] Speed converting failed: %s", FConverter.DestinationText().c_str());
    }
    FConverter.CloseCompression();
  }

  FScratch.Init(bits, channels, R, rate);
  const size_t bpf = static_cast<size_t>(FScratch.BytesPerFrame());
  const int64_t skip = RoundHalfEven((srcStart - fromFrame) * ratio) + delay;
  if (skip < 0) return true;  // a start before the sound's beginning: silence
  const int64_t available = static_cast<int64_t>(converted.size() / bpf) - skip;
  int cnt = static_cast<int>(std::clamp<int64_t>(available, 0, INT_MAX / 4) * static_cast<int64_t>(bpf));
  // what lies past the span is the context read after it
  cnt = std::min(cnt, FScratch.BlockSize());
  if (cnt > 0) std::memcpy(FScratch.Block(), converted.data() + static_cast<size_t>(skip) * bpf, static_cast<size_t>(cnt));
  return true;
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
