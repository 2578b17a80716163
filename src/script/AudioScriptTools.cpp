#include "script/AudioScriptTools.h"

#include "base/Rounding.h"
#include "media/AudioPcm.h"
#include "script/AudioEngine.h"

namespace movara {

TAudioScriptPlayer::TAudioScriptPlayer(int bufferDuration)
    : FBufferDuration(bufferDuration > 0 ? bufferDuration : 150),
      FFormat(MakePcmFormat(2, 44100, 16)),
      FEngine(std::make_unique<TAudioEngine>()),
      FPlayer(std::make_unique<TAudioPlaySound>()) {
  FBuffer.assign(static_cast<size_t>(RoundInt(FBufferDuration / 1000.0 * FFormat.nAvgBytesPerSec)), 0);
}

TAudioScriptPlayer::~TAudioScriptPlayer() = default;

int TAudioScriptPlayer::Generate(const std::string& scriptText) {
  FScriptText = scriptText;
  FLastPosition = -1;
  return FEngine->LoadScript(scriptText, &FFormat);
}

int TAudioScriptPlayer::GetDuration() const { return FEngine->GetLength(); }

bool TAudioScriptPlayer::Play(int timeMs) {
  if (FEngine->GetLength() < timeMs) return false;
  if (FLastPosition < 0 || timeMs != FLastPosition) {
    std::fill(FBuffer.begin(), FBuffer.end(), 0);
    FEngine->GetAudioData(timeMs, FBufferDuration, static_cast<int>(FBuffer.size()), FBuffer.data());
    FLastPosition = timeMs;
    ++FMixCount;
  }
  TWaveFormat format;
  format.wf = FFormat;
  return FPlayer->Play(&format, FBuffer.data(), FBuffer.size());
}

}  // namespace movara
