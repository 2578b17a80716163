#pragma once
// The conversions behind the audio compression manager's streams: PCM to PCM with
// libswresample, a codec's format to PCM and PCM to a codec's format with libavcodec.
// Used by AudioAcm only.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/avifile/RiffTypes.h"

namespace movara {

class TAudioConverter {
 public:
  virtual ~TAudioConverter() = default;
  // Takes all n source bytes and appends to out what can be given now. end finishes the
  // stream (partial frames encoded, codecs drained); the next call starts afresh.
  // False when the codec library failed; the stream then starts afresh.
  virtual bool Convert(const uint8_t* src, size_t n, bool end, std::vector<uint8_t>& out) = 0;
  // Forgets everything taken so far.
  virtual void Reset() = 0;
};

// Rates the PCM converter takes.
inline constexpr uint32_t kAcmMinPcmRate = 100;
inline constexpr uint32_t kAcmMaxPcmRate = 768000;

// PCM of 8 or 16 bits, 1 or 2 channels, rates in range, block align consistent.
bool IsAcmPcm(const WAVEFORMATEX& wf);

// Whether libavcodec has a decoder / an encoder for a format tag.
bool AudioDecoderExists(uint16_t tag);
bool AudioEncoderExists(uint16_t tag);
// The samples an encoder of the tag puts before the sound (0 when unknown).
int AudioEncoderDelay(uint16_t tag);

// nullptr when the conversion cannot be made.
std::unique_ptr<TAudioConverter> CreatePcmConverter(const WAVEFORMATEX& src,
                                                    const WAVEFORMATEX& dst);
std::unique_ptr<TAudioConverter> CreateAudioDecoder(const TWaveFormat& src,
                                                    const WAVEFORMATEX& dst);
std::unique_ptr<TAudioConverter> CreateAudioEncoder(const WAVEFORMATEX& src,
                                                    const TWaveFormat& dst);

}  // namespace movara
