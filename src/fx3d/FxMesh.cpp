// The strip base of the wave, carpet and curtain effects, the ramps the mesh effects
// share, and the mesh part of the catalogue.
#include "fx3d/FxMesh.h"

#include <algorithm>

namespace movara {

double FxRampIn(int k) { return std::min(k / 100.0, 1.0); }

double FxFadeInOut(int k) {
  if (k <= 100) return k / 100.0;
  if (k <= 900) return 1.0;
  return (1000 - k) / 100.0;
}

double FxPhase(int k, double Period) {
  if (k <= 100) return 0.0;
  return (k - 100) / 900.0 * Period;
}

TBaseVertRect::TBaseVertRect(int StripCount) {
  FStripCount = StripCount;
  if (StripCount == 0) throw EFx3d("[TBaseVertRect] Trying to create 0 pieces !");
  const int m = StripCount;
  if (m < 0 || m > FxBufferCapacity / 8) throw EFx3d("Too many Vertices!");
  // Two sets of two triangles per strip: the face buffer runs out before the vertex
  // buffer does.
  if (12 * m > FxBufferCapacity) throw EFx3d("Too many Faces!");
  CreateVertex(8 * m);
  ClearVertex();
  const double c = 2.0 / m;
  const double g = 1.0 / m;
  for (int set = 0; set < 2; ++set) {
    for (int i = 0; i < m; ++i) {
      TFxVertex* v = &FVertexList[4 * (i + set * m)];
      const float left = static_cast<float>(c * i - 1);
      const float right = static_cast<float>(c * (i + 1) - 1);
      const float uLeft = static_cast<float>(g * i);
      const float uRight = static_cast<float>(g * (i + 1));
      v[0].x = left;
      v[0].y = 1;
      v[0].tu = uLeft;
      v[0].tv = 1;
      v[1].x = right;
      v[1].y = 1;
      v[1].tu = uRight;
      v[1].tv = 1;
      v[2].x = left;
      v[2].y = -1;
      v[2].tu = uLeft;
      v[2].tv = 0;
      v[3].x = right;
      v[3].y = -1;
      v[3].tu = uRight;
      v[3].tv = 0;
    }
  }
  for (int i = 0; i < FVertexCount; ++i) {
    TFxVertex& v = FVertexList[i];
    v.z = 0;
    v.nx = v.x;
    v.ny = v.y;
    v.nz = -1;
    v.color = 0xFFFFFFFFu;
  }
  FFaceCount = 4 * m;
  FFaceVertices = 3;
}

int32_t TBaseVertRect::GetFxID() const { return 2; }

std::string TBaseVertRect::GetDescription() const {
  return "Bazowy obiekt do tworzenia pionowych pasków";
}

void TBaseVertRect::Execute(uint16_t Step) {
  if (Step == 0) {
    const int m = FStripCount;
    for (int i = 0; i < m; ++i) {
      int32_t* f = &FxFrontFaces[6 * i];
      const int32_t b = 4 * i;
      f[0] = b;
      f[1] = b + 3;
      f[2] = b + 2;
      f[3] = b;
      f[4] = b + 1;
      f[5] = b + 3;
    }
    // The second set turned the other way round, seen when a strip shows its back.
    for (int j = m; j < 2 * m; ++j) {
      int32_t* f = &FxFrontFaces[6 * j];
      const int32_t b = 4 * j;
      f[0] = b;
      f[1] = b + 2;
      f[2] = b + 3;
      f[3] = b;
      f[4] = b + 3;
      f[5] = b + 1;
    }
  }
  CopyRestPose();
  FillBackVertices();
  DoFrame(Step);
  ApplyViewAdjustment();
}

void AddMeshEffects(TFxList& list) {
  list.Add(CreateFx<TCube>());
  list.Add(CreateFx<TTransparentCube>());
  list.Add(CreateFx<TRedCube>());
  list.Add(CreateFx<TGreenCube>());
  list.Add(CreateFx<TBlueCube>());
  list.Add(CreateFx<TPuff>());
  list.Add(CreateFx<TPuffUp>());
  list.Add(CreateFx<TPuffDown>());
  list.Add(CreateFx<TWave>());
  list.Add(CreateFx<TWaveRight>());
  list.Add(CreateFx<TWaveLeftUp>());
  list.Add(CreateFx<TCarpet>());
  list.Add(CreateFx<TWater>());
  list.Add(CreateFx<TWaterWithFade>());
  list.Add(CreateFx<TWaterWithFadeB>());
  list.Add(CreateFx<TWaveWithFade>());
  list.Add(CreateFx<TCurtain>());
  list.Add(CreateFx<TDiamond>());
  list.Add(CreateFx<TTurner>());
  list.Add(CreateFx<TWhirl>());
  list.Add(CreateFx<TTunnel>());
}

}  // namespace movara
