#pragma once
// JPEG still pictures through libjpeg-turbo.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/Dib.h"

namespace movara {

// Decodes a JPEG (baseline, progressive, greyscale, CMYK/YCCK) into a 24-bit TDIB.
// False (dib untouched) on any damage or a size past the TDIB limits. Like libjpeg, a
// cut file that still holds at least half of its first scan is accepted with the
// missing part flat grey, and corrupt entropy data that libjpeg repairs is accepted;
// a Huffman-coded file claiming more pixels than its size can hold is refused before
// anything is allocated.
bool LoadJpegFromBytes(const uint8_t* data, size_t size, TDIB& dib);
// Encodes any TDIB as a baseline JPEG of the given quality (1..100).
bool SaveJpegToBytes(const TDIB& dib, int quality, std::vector<uint8_t>& out);
// A picture already in full-range Y, Cb, Cr planes (chroma halved across, and down too
// with chroma420) as a baseline JPEG quantised by one table for all three (quant: 64
// steps of 1..255 in natural order). Each plane row must hold the width rounded up to
// whole blocks (16 luma, 8 chroma samples); the rows below the picture repeat its last
// row. False on any failure.
bool SaveJpegPlanesToBytes(const uint8_t* const planes[3], const int strides[3], int width, int height,
                           bool chroma420, const unsigned int quant[64], std::vector<uint8_t>& out);
// Rows of B, G, R (bytesPerPixel 3) or B, G, R, x (4) as such a JPEG: libjpeg converts
// them to full-range Y, Cb, Cr and averages the chroma of each 2 x 2 (or 2 x 1) pixels.
// top is the picture's top row, step the distance to the next row down.
bool SaveJpegBgrRowsToBytes(const uint8_t* top, ptrdiff_t step, int width, int height, int bytesPerPixel,
                            bool chroma420, const unsigned int quant[64], std::vector<uint8_t>& out);

}  // namespace movara
