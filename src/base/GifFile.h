#pragma once
// GIF still pictures through giflib.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/Dib.h"

namespace movara {

// Decodes the first frame of a GIF (animated or not) into an 8-bit TDIB with the
// frame's palette (local, else global) and its transparent index. A frame smaller than
// the logical screen sits at its offset on the background colour (the transparent
// index when there is one). False (dib untouched) on any damage up to the end of the
// first frame; what follows it is not read.
bool LoadGifFromBytes(const uint8_t* data, size_t size, TDIB& dib);
// Encodes a TDIB as a GIF: pictures of 8 bits or less keep their palette; deeper ones
// are reduced to an optimised 256-colour palette with Floyd-Steinberg dithering.
bool SaveGifToBytes(const TDIB& dib, std::vector<uint8_t>& out);
// The colour reduction used by SaveGifToBytes: an 8-bit picture with at most 256
// palette entries, error-diffused (Floyd-Steinberg).
TDIB QuantizeTo8Bit(const TDIB& dib);

}  // namespace movara
