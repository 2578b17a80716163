#pragma once
// TAudioScriptPlayer: plays a short piece of a film's mixed sound (the sound sections of
// its script) at a time position, as the time line's preview does while Ctrl is held.
// The sound is mixed by an audio engine of its own into one buffer of a fixed duration
// in 44100 Hz stereo 16-bit PCM and played asynchronously from memory.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/avifile/RiffTypes.h"

namespace movara {

class TAudioEngine;
class TAudioPlaySound;

class TAudioScriptPlayer {
 public:
  explicit TAudioScriptPlayer(int bufferDuration);
  ~TAudioScriptPlayer();
  TAudioScriptPlayer(const TAudioScriptPlayer&) = delete;
  TAudioScriptPlayer& operator=(const TAudioScriptPlayer&) = delete;

  // Loads the script's sound sections; the engine's result. Bad lines raise as the
  // engine does. The next Play mixes afresh.
  int Generate(const std::string& scriptText);
  // Plays the buffer of sound from timeMs on: false when the sound ends before timeMs.
  // A time asked for again replays the buffer mixed last.
  bool Play(int timeMs);
  // The end of the longest sound track, ms.
  int GetDuration() const;

  int BufferDuration() const { return FBufferDuration; }
  int LastPosition() const { return FLastPosition; }
  const std::vector<uint8_t>& Buffer() const { return FBuffer; }
  const WAVEFORMATEX& Format() const { return FFormat; }
  const std::string& ScriptText() const { return FScriptText; }
  // How many buffers were mixed (for tests).
  int MixCount() const { return FMixCount; }
  TAudioPlaySound& Player() { return *FPlayer; }

 private:
  int FBufferDuration;
  int FLastPosition = -1;
  std::vector<uint8_t> FBuffer;
  WAVEFORMATEX FFormat;
  std::unique_ptr<TAudioEngine> FEngine;
  std::unique_ptr<TAudioPlaySound> FPlayer;
  std::string FScriptText;
  int FMixCount = 0;
};

}  // namespace movara
