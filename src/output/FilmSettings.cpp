#include "output/FilmSettings.h"

#include "platform/codecs/VideoFormat.h"

namespace movara {

bool TFilmSettingsData::Compressed() const {
  return Compvars.fccType != 0 && Compvars.fccHandler != VideoFourCC("DIB ");
}

int TFilmSettingsData::BitCount() const {
  switch (ColourMode) {
    case cmColour8: return 8;
    case cmColour16: return 16;
    case cmColour32: return 32;
    default: return 24;
  }
}

int TFilmSettingsData::Channels() const { return AudioMode == amMono8 || AudioMode == amMono16 ? 1 : 2; }

int TFilmSettingsData::SampleBits() const { return AudioMode == amMono8 || AudioMode == amStereo8 ? 8 : 16; }

}  // namespace movara
