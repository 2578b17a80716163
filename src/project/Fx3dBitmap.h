#pragma once
// The picture of a transition block ("FX3DBMP"): two overlapping pictures, the one
// passing into the other. Drawn in code at 72 x 57 (the normal thumbnail size).
#include "base/Dib.h"

namespace movara {

const TDIB& Fx3dBitmap();

}  // namespace movara
