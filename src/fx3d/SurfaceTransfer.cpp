#include "fx3d/SurfaceTransfer.h"

#include "base/Exceptions.h"
#include "base/Format.h"
#include "base/Trace.h"
#include "fx3d/DDUtils.h"

namespace movara {

bool DIBToSurface(const TDIB* dib, TRmSurface* surface, const TRect& source) {
  if (surface == nullptr || !surface->Valid())
    throw EMovara("[DIB2Surf] Nieprawidłowy wskaźnik. ASurface.Canvas = nil !");
  if (dib == nullptr || dib->Empty())
    throw EMovara("[DIB2Surf] Nieprawidłowy wskaźnik. ADIB.Canvas = nil !");
  if (source.Width() <= 0 || source.Height() <= 0) {
    TraceF("[DIB2Surf] Empty source rectangle (%d, %d, %d, %d)", source.Left, source.Top,
           source.Right, source.Bottom);
    return false;
  }
  CheckResultAt(surface->LoadFromDIB(*dib, source), "DIB2Surf");
  return true;
}

bool SurfaceToDIB(TDIB* dib, const TRmSurface* surface, const TRect& target) {
  if (surface == nullptr || !surface->Valid())
    throw EMovara("[Surf2DIB] Nieprawidłowy wskaźnik. ASurface.Canvas = nil !");
  if (dib == nullptr || dib->Empty())
    throw EMovara("[Surf2DIB] Nieprawidłowy wskaźnik. ADIB.Canvas = nil !");
  if (surface->Width() != dib->Width() || surface->Height() != dib->Height())
    throw EMovara(Format("Nieodpowiednie wymiary Surface`a. Surf:(%dx%d), DIB(%dx%d)",
                         surface->Width(), surface->Height(), dib->Width(), dib->Height()));
  if (target.Width() <= 0 || target.Height() <= 0) {
    TraceF("[Surf2DIB] Empty target rectangle (%d, %d, %d, %d)", target.Left, target.Top,
           target.Right, target.Bottom);
    return false;
  }
  CheckResultAt(surface->SaveToDIB(*dib, target), "Surf2DIB");
  return true;
}

}  // namespace movara
