#pragma once
// The enumerations of the editor's shared types that folders below the project need as
// well: the kinds of clips (resource lists) and the zoom steps of the time line (sound
// waveforms). The project's shared types (project/VfxData.h) include them. Files store
// the ordinal in one byte, so the order never changes.

namespace movara {

enum TZoom {
  zmOneFrame,
  zmTwoFrames,
  zmFourFrames,
  zmSixFrames,
  zmTwelveFrames,
  zmOneSecond,
  zmTwoSeconds,
  zmFourSeconds,
  zmTenSeconds,
  zmTwentySeconds,
  zmOneMinute,
  zmTwoMinutes
};

enum TClipType { ctNone, ctStillImage, ctAnimation, ctAudio, ctMovie, ctUniformColor };

}  // namespace movara
