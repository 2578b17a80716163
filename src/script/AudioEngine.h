#pragma once
// The audio engine: turns the three sound sections of a film script ("*** Audio1 ***" ..
// "*** Audio3 ***") into PCM blocks in the film's sound format. For a span of film time
// it reads each track's sound files through their readers, changes their speed, applies
// their level envelopes and mixes the three tracks into one block.
//
// Use, block by block (the film thread, the script player):
//   TAudioEngine engine;
//   engine.LoadScript(scriptText, &filmFormat);            // parse errors raise
//   std::vector<uint8_t> buf(engine.BlockBytes(1000));
//   for (int t = 0; t < engine.GetLength(); t += 1000)
//     int n = engine.GetAudioData(t, 1000, buf.size(), buf.data());  // n bytes of PCM
//
// A block covers [Time, Time + Duration) ms; its frames count round(Duration x rate /
// 1000). Times where no sound command plays give silence. The engine belongs to one
// thread at a time and has no locks; the sound readers it uses are the shared ones of
// the resource list "AudioFileList".
#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "media/AudioCompressor.h"
#include "media/AudioPcm.h"
#include "platform/avifile/RiffTypes.h"
#include "script/ScriptCommands.h"

namespace movara {

// One span of a sound track: a NOP (silence) or an AUD command.
struct TAudioAction {
  TAudioKind Kind = aaNone;  // aaNop or aaAudio
  int32_t Start = 0;   // ms from the start of the film
  int32_t Length = 0;  // ms
  TScriptCommand* Command = nullptr;  // AUD only; owned by the track's command list
};

// One sound track of the film: the commands of its section and their time spans.
class TAudioEngineCommandList {
 public:
  // Track 0, 1 or 2 reads "*** Audio1 ***", "*** Audio2 ***" or "*** Audio3 ***".
  explicit TAudioEngineCommandList(int Track);
  TAudioEngineCommandList(const TAudioEngineCommandList&) = delete;
  TAudioEngineCommandList& operator=(const TAudioEngineCommandList&) = delete;

  int Track() const { return FTrack; }

  // Parses this track's section of Lines into actions for the film's sound format: the
  // readers deliver that format and the envelopes count samples at its rate. No format
  // raises EMovara "... Error $2A01 ..."; a bad script line raises as the parser does
  // (the track then has no actions).
  void Generate(const std::vector<std::string>& Lines, const WAVEFORMATEX* Format);
  // Empties the actions and the commands.
  void Clear();

  int ActionCount() const { return static_cast<int>(FActions.size()); }
  // nullptr out of range.
  const TAudioAction* Actions(int Index) const;
  // The first action with Start <= Time < Start + Length, else the last one; nullptr
  // (Index -1) when there are none.
  const TAudioAction* FindAction(int Time, int& Index) const;
  // End of the last action, ms.
  int GetLength() const;

  // Fills Block (already set up in the film format for the span's duration) with this
  // track's sound from Time on; silence where nothing plays. Returns the bytes of sound
  // produced. Conversion errors of a speed change raise EAudioError.
  int GetAudioData(int Time, TAudioPcmManager& Block);

  TScriptCommandList& CommandList() { return FCommands; }
  const WAVEFORMATEX& Format() const { return FFormat; }

  // Speeds above this (in percent) would read absurd spans of sound for one block: such
  // commands play silence.
  static constexpr int kMaxSpeed = 10000;

 private:
  // The AUD action A's sound for the film span [P, P + R) ms into Block, whose first
  // frame is at film time Time; the bytes produced.
  int RenderAudio(const TAudioAction& A, int Time, int P, int R, TAudioPcmManager& Block);
  bool ReadChangedSpeed(const TScriptCommand& C, int64_t E0, int R);
  int ConverterDelay(int DestRate);

  int FTrack;
  TScriptCommandList FCommands{lkAudio};
  std::vector<TAudioAction> FActions;
  WAVEFORMATEX FFormat;
  TAudioPcmManager FScratch;
  TAudioCompressor FConverter;
  std::map<int, int> FDelays;  // the converter's delay by destination rate, output frames
};

// The three sound tracks mixed.
class TAudioEngine {
 public:
  TAudioEngine();
  TAudioEngine(const TAudioEngine&) = delete;
  TAudioEngine& operator=(const TAudioEngine&) = delete;

  // Splits Text into lines and loads every track (see TAudioEngineCommandList::Generate);
  // returns 0. The format must be PCM of 8 or 16 bits, 1 or 2 channels: blocks of any
  // other raise EAudioPcm when asked for.
  int LoadScript(const std::string& Text, const WAVEFORMATEX* Format);
  // Empties every track.
  void Clear();
  // The latest end of the three tracks, ms.
  int GetLength() const;
  // Bytes of a block of Duration ms in the loaded format (0 without a format).
  int BlockBytes(int Duration) const;
  // Renders [Time, Time + Duration) ms of the mixed tracks into Buffer, at most
  // BufferSize bytes; returns the bytes written (0 without a format or buffer, or for a
  // duration below 1).
  int GetAudioData(int Time, int Duration, int BufferSize, void* Buffer);

  // Track 0..2 (clamped).
  TAudioEngineCommandList& CommandList(int Track) { return *FTracks[static_cast<size_t>(std::clamp(Track, 0, 2))]; }
  bool HasFormat() const { return FHasFormat; }
  const WAVEFORMATEX& Format() const { return FFormat; }

 private:
  std::array<std::unique_ptr<TAudioEngineCommandList>, 3> FTracks;
  std::array<TAudioPcmManager, 3> FTrackBlocks;
  TAudioPcmManager FOutput;
  WAVEFORMATEX FFormat;
  bool FHasFormat = false;
};

}  // namespace movara
