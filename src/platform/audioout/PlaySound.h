#pragma once
// Plays a complete WAV file image from memory on the waveOut device, as the platform's
// PlaySound does with SND_MEMORY. One sound plays at a time in the process: a new one,
// or PlaySound(nullptr, 0, 0), stops the one playing. The image is copied, so the
// caller may free it at once.
#include <cstddef>
#include <cstdint>

namespace movara {

inline constexpr uint32_t SND_SYNC = 0x0000;
inline constexpr uint32_t SND_ASYNC = 0x0001;
inline constexpr uint32_t SND_NODEFAULT = 0x0002;  // we never play a default sound
inline constexpr uint32_t SND_MEMORY = 0x0004;

// image == nullptr stops any sound and gives true. Otherwise SND_MEMORY is required and
// the image must be a RIFF WAVE with a PCM "fmt " (1 or 2 channels, 8 or 16 bits) and a
// "data" chunk (cut to the bytes present); anything else gives false. Without SND_ASYNC
// the call returns when the sound has played (or after its length plus 2 s at most).
bool PlaySound(const uint8_t* image, size_t size, uint32_t flags);
// True while a sound started by PlaySound still has buffers to play.
bool PlaySoundIsPlaying();

}  // namespace movara
