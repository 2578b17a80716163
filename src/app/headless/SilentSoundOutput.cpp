// The sound output of the headless program: no subcommand plays sound, so the program
// goes without the sound card's library (Qt Multimedia) and its start-up; a device
// opened here is the silent one.
#include "platform/audioout/WaveOutQueue.h"

namespace movara {

bool QtWaveOutAvailable() { return false; }

std::unique_ptr<TWaveOutBackend> MakeQtWaveOutBackend(std::shared_ptr<TWaveQueue>, const WAVEFORMATEX&) {
  return nullptr;
}

}  // namespace movara
