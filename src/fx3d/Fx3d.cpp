#include "fx3d/Fx3d.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "base/UserMessages.h"

namespace movara {

TFxVertex FxFrontVertices[FxBufferCapacity];
int32_t FxFrontFaces[FxBufferCapacity];
TFxVertex FxBackVertices[FxBufferCapacity];
int32_t FxBackFaces[FxBufferCapacity];

float FxScaleX = 1.0f;
float FxScaleY = 1.0f;
float FxOffsetX = 0.0f;
float FxOffsetY = 0.0f;

const TFxVertex DefaultBackQuad[4] = {
    {-1, 1, 0, -1, 1, -1, 0, 1, 0xFFFFFFFFu},
    {1, 1, 0, 1, 1, -1, 1, 1, 0xFFFFFFFFu},
    {-1, -1, 0, -1, -1, -1, 0, 0, 0xFFFFFFFFu},
    {1, -1, 0, 1, -1, -1, 1, 0, 0xFFFFFFFFu},
};

const TFxVertex EmptyBackQuad[4] = {};

void SetFxViewAdjustment(int W, int H) {
  // A surface without area would divide by zero; keep what we have.
  if (W <= 0 || H <= 0) return;
  const double longer = std::max(W, H);
  FxOffsetX = static_cast<float>(-0.85 / longer);
  FxOffsetY = static_cast<float>(0.85 / longer);
  if (H < W) {
    FxScaleX = 1.0f;
    FxScaleY = static_cast<float>(static_cast<double>(H) / W);
  } else {
    FxScaleX = static_cast<float>(static_cast<double>(W) / H);
    FxScaleY = 1.0f;
  }
}

void ResetFxViewAdjustment() {
  FxScaleX = 1.0f;
  FxScaleY = 1.0f;
  FxOffsetX = 0.0f;
  FxOffsetY = 0.0f;
}

namespace {

// The end of the range First .. First + Count - 1 that lies inside the buffer.
int RangeEnd(uint16_t First, uint16_t Count) {
  return std::min(static_cast<int>(First) + static_cast<int>(Count), FxBufferCapacity);
}

}  // namespace

void RotateVertices(uint16_t First, uint16_t Count, float AngleX, float AngleY, float AngleZ,
                    float CX, float CY, float CZ) {
  const int end = RangeEnd(First, Count);
  const double cx = std::cos(AngleX), sx = std::sin(AngleX);
  const double cy = std::cos(AngleY), sy = std::sin(AngleY);
  const double cz = std::cos(AngleZ), sz = std::sin(AngleZ);
  for (int i = First; i < end; ++i) {
    TFxVertex& v = FxFrontVertices[i];
    double x = v.x - CX, y = v.y - CY, z = v.z - CZ;
    if (AngleX != 0) {
      const double ny = y * cx + z * sx;
      const double nz = z * cx - y * sx;
      y = ny;
      z = nz;
    }
    if (AngleY != 0) {
      const double nx = x * cy - z * sy;
      const double nz = x * sy + z * cy;
      x = nx;
      z = nz;
    }
    if (AngleZ != 0) {
      const double nx = x * cz + y * sz;
      const double ny = y * cz - x * sz;
      x = nx;
      y = ny;
    }
    v.x = static_cast<float>(x + CX);
    v.y = static_cast<float>(y + CY);
    v.z = static_cast<float>(z + CZ);
  }
}

void TranslateVertices(uint16_t First, uint16_t Count, float DX, float DY, float DZ) {
  const int end = RangeEnd(First, Count);
  for (int i = First; i < end; ++i) {
    FxFrontVertices[i].x += DX;
    FxFrontVertices[i].y += DY;
    FxFrontVertices[i].z += DZ;
  }
}

void ScaleVertices(uint16_t First, uint16_t Count, float Factor) {
  const int end = RangeEnd(First, Count);
  for (int i = First; i < end; ++i) {
    FxFrontVertices[i].x *= Factor;
    FxFrontVertices[i].y *= Factor;
    FxFrontVertices[i].z *= Factor;
  }
}

void ScaleVerticesXYZ(uint16_t First, uint16_t Count, float SX, float SY, float SZ) {
  const int end = RangeEnd(First, Count);
  for (int i = First; i < end; ++i) {
    if (SX != 1.0f) FxFrontVertices[i].x *= SX;
    if (SY != 1.0f) FxFrontVertices[i].y *= SY;
    if (SZ != 1.0f) FxFrontVertices[i].z *= SZ;
  }
}

void SetVerticesColor(uint16_t First, uint16_t Count, uint32_t Color) {
  const int end = RangeEnd(First, Count);
  for (int i = First; i < end; ++i) FxFrontVertices[i].color = Color;
}

void CopyFaces(std::span<const int32_t> Source, std::span<int32_t> Target, int Count) {
  if (Count <= 0) return;
  const size_t n = std::min({static_cast<size_t>(Count), Source.size(), Target.size()});
  std::copy_n(Source.begin(), n, Target.begin());
}

// ---------------------------------------------------------------------------------

void TFx3d::DoFrame(uint16_t) {}

int32_t TFx3d::GetFxID() const { return -1; }

std::string TFx3d::GetDescription() const { return std::string(); }

void TFx3d::CopyRestPose() {
  if (FVertexList && FVertexCount > 0)
    std::copy_n(FVertexList.get(), std::min(FVertexCount, FxBufferCapacity), FxFrontVertices);
}

void TFx3d::FillBackVertices() {
  const int count = std::clamp(FBackVertexCount, 0, FxBufferCapacity);
  if (FBackVertexList) {
    std::copy_n(FBackVertexList.get(), count, FxBackVertices);
    return;
  }
  // Without an own back list the back mesh is a quad, the full view or nothing.
  const TFxVertex* quad = FOptions.Contains(foBackMesh) ? DefaultBackQuad : EmptyBackQuad;
  std::copy_n(quad, std::min(count, 4), FxBackVertices);
}

void TFx3d::WriteQuadBackFaces() {
  CopyFaces(QuadFaces, FxBackFaces, FBackFaceCount * FBackFaceVertices);
}

void TFx3d::ApplyViewAdjustment() {
  const float sx = FxScaleX, sy = FxScaleY, ox = FxOffsetX, oy = FxOffsetY;
  auto adjust = [&](TFxVertex* v, int count) {
    count = std::clamp(count, 0, FxBufferCapacity);
    for (int i = 0; i < count; ++i) {
      v[i].x = (sx == 0.0f || sx == 1.0f) ? v[i].x + ox : v[i].x * sx + ox;
      v[i].y = (sy == 0.0f || sy == 1.0f) ? v[i].y + oy : v[i].y * sy + oy;
    }
  };
  adjust(FxFrontVertices, FVertexCount);
  adjust(FxBackVertices, FBackVertexCount);
}

void TFx3d::Execute(uint16_t Step) {
  CopyRestPose();
  FillBackVertices();
  if (Step == 0) WriteQuadBackFaces();
  DoFrame(Step);
  ApplyViewAdjustment();
}

void TFx3d::CreateVertex(int Count) {
  FreeVertex();
  if (Count > FxBufferCapacity || Count < 0) throw EFx3d("Too many Vertices!");
  FVertexList.reset(new (std::nothrow) TFxVertex[Count > 0 ? Count : 1]);
  if (!FVertexList) {
    ShowMessage("[TFx3d.CreateVertex] Error GetMem( FVertexList...", TMsgKind::Error);
    return;
  }
  FVertexCount = Count;
}

void TFx3d::ClearVertex() {
  for (int i = 0; i < FVertexCount; ++i) {
    FVertexList[i] = TFxVertex{};
    FVertexList[i].color = 0xFFFFFFFFu;
  }
  for (int i = 0; FBackVertexList && i < FBackVertexCount; ++i) {
    FBackVertexList[i] = TFxVertex{};
    FBackVertexList[i].color = 0xFFFFFFFFu;
  }
}

void TFx3d::FreeVertex() {
  FVertexList.reset();
  FBackVertexList.reset();
  FVertexCount = 0;
  FBackVertexCount = 0;
}

void TFx3d::CreateBackVertexFromFront() {
  FBackVertexList.reset();
  FBackVertexCount = 0;
  if (!FVertexList || FVertexCount <= 0) return;
  FBackVertexList.reset(new (std::nothrow) TFxVertex[FVertexCount]);
  if (!FBackVertexList) {
    ShowMessage("[TFx3d.CreateVertex] Error GetMem( FBackVertexList...", TMsgKind::Error);
    return;
  }
  std::copy_n(FVertexList.get(), FVertexCount, FBackVertexList.get());
  FBackVertexCount = FVertexCount;
  FBackFaceCount = FFaceCount;
}

}  // namespace movara
