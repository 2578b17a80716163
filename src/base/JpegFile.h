#pragma once
// JPEG still pictures through libjpeg-turbo.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/Dib.h"

namespace movara {

// Decodes a JPEG (baseline, progressive, greyscale, CMYK/YCCK) into a 24-bit TDIB.
// False (dib untouched) on any damage or a size past the TDIB limits.
bool LoadJpegFromBytes(const uint8_t* data, size_t size, TDIB& dib);
// Encodes any TDIB as a baseline JPEG of the given quality (1..100).
bool SaveJpegToBytes(const TDIB& dib, int quality, std::vector<uint8_t>& out);

}  // namespace movara
