#pragma once
// Moving pixels between pictures (TDIB) and the renderer's surfaces.
#include "base/Dib.h"
#include "platform/render3d/RmSurface.h"

namespace movara {

// Stretches the source rectangle of dib (top-down coordinates) over the whole surface,
// averaging when shrinking and interpolating when enlarging. Raises EMovara when the
// surface or the picture is missing (or empty); false, with nothing drawn, for an empty
// source rectangle; ED3DRM when the surface refuses the copy.
bool DIBToSurface(const TDIB* dib, TRmSurface* surface, const TRect& source);

// Copies the whole surface into the target rectangle of dib (stretched when the two
// differ). The surface must be exactly as large as the picture, else EMovara
// "Nieodpowiednie wymiary Surface`a. Surf:(WxH), DIB(WxH)". Missing objects raise
// EMovara; an empty target rectangle gives false.
bool SurfaceToDIB(TDIB* dib, const TRmSurface* surface, const TRect& target);

}  // namespace movara
