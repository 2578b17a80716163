#pragma once
// DV frames as a camera sends them over IEEE 1394: a PAL frame is 144000 bytes of DIF
// blocks that carry the picture and, in their audio blocks, the sound of that frame
// (48 kHz, 16-bit stereo: 1920 sample frames per PAL frame). A DV AVI keeps the frame
// as its video sample and the same sound again as a PCM stream; these helpers take the
// sound out of the DIF blocks and put it in, through libavformat's DV demuxer and muxer
// working over memory.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace movara {

inline constexpr int kDvPalFrameBytes = 144000;
inline constexpr int kDvPalWidth = 720;
inline constexpr int kDvPalHeight = 576;
inline constexpr int kDvAudioRate = 48000;
inline constexpr int kDvAudioChannels = 2;
inline constexpr int kDvPalSamplesPerFrame = 1920;  // 48000 / 25

// True when the bytes look like a PAL DV25 frame (size and the header block's marks).
bool DvIsPalFrame(const uint8_t* frame, size_t size);
// The sound of one frame as interleaved 16-bit stereo samples. False when the frame
// carries none (an empty or damaged audio section, or no DV frame at all); pcm is then
// empty.
bool DvExtractAudio(const uint8_t* frame, size_t size, std::vector<int16_t>& pcm);
// The frame with the sound of pcm (kDvPalSamplesPerFrame interleaved stereo samples;
// fewer are padded with silence) written into its audio blocks; the picture blocks stay
// as they are. False when frame is no PAL DV frame; out is then empty.
bool DvInsertAudio(const uint8_t* frame, size_t size, const int16_t* pcm, int sampleFrames,
                   std::vector<uint8_t>& out);

}  // namespace movara
