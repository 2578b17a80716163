#pragma once
// Stretching a picture over a whole surface with vector code (internal to render3d).
//
// The result is byte for byte what TDIB::StretchFrom gives for the same rectangles: the
// same weights (area averaging when shrinking, bilinear when enlarging, 14-bit weights
// summing to one), the same horizontal pass (8 fraction bits kept) and the same rounding
// of the vertical pass. Only the speed differs: the texture of every film frame is a
// stretched copy of a full-size picture.
#include "base/Dib.h"
#include "platform/render3d/RmSurface.h"

namespace movara::rm {

// Stretches srcRect of src (24 or 32 bits) over the whole of dst; flipRows puts the
// rectangle's top row into the surface's last row. False, with nothing drawn, when this
// way cannot do it (no AVX2, the rectangle not inside the picture, another depth, more
// than eight taps: about seven source pixels to one surface pixel): the caller takes
// TDIB::StretchFrom.
bool StretchToSurface(const TDIB& src, const TRect& srcRect, TRmSurface& dst, bool flipRows);

// Whether the processor runs the vector stretch, and switching it off (tests compare
// both ways; switching on is ignored where it is missing).
bool VectorStretchSupported();
void EnableVectorStretch(bool on);

}  // namespace movara::rm
