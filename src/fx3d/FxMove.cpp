// The single quad and its moves, the travelling square, the cross-fade and the still
// picture.
#include <algorithm>
#include <numbers>

#include "fx3d/FxFlat.h"

namespace movara {

namespace {

// Moves every front vertex of the quad by (dx, dy).
void MoveQuad(int count, double dx, double dy) {
  for (int i = 0; i < count; ++i) {
    FxFrontVertices[i].x = static_cast<float>(FxFrontVertices[i].x + dx);
    FxFrontVertices[i].y = static_cast<float>(FxFrontVertices[i].y + dy);
  }
}

}  // namespace

// ---------------------------------------------------------------------------------

TRightMoveFx3d::TRightMoveFx3d() {
  CreateVertex(4);
  ClearVertex();
  // Corners in vertex order with their texture coordinates (v = 1 at the top).
  static const float rest[4][4] = {{-1, 1, 0, 1}, {1, 1, 1, 1}, {-1, -1, 0, 0}, {1, -1, 1, 0}};
  for (int i = 0; i < FVertexCount; ++i) {
    TFxVertex& v = FVertexList[i];
    v.x = rest[i][0];
    v.y = rest[i][1];
    v.z = 0;
    v.nx = v.x;
    v.ny = v.y;
    v.nz = 0;
    v.tu = rest[i][2];
    v.tv = rest[i][3];
    v.color = 0xFFFFFFFFu;
  }
  FFaceCount = 2;
  FFaceVertices = 3;
  FBackVertexCount = 4;
  FBackFaceCount = 2;
}

void TRightMoveFx3d::DoFrame(uint16_t Step) {
  MoveQuad(FVertexCount, Step / 500.0, 0);
  CopyFaces(QuadFaces, FxFrontFaces, FFaceCount * 3);
}
int32_t TRightMoveFx3d::GetFxID() const { return 0x101; }
std::string TRightMoveFx3d::GetDescription() const { return "Przesuwanie w prawo"; }

TLeftMoveFx3d::TLeftMoveFx3d() = default;
void TLeftMoveFx3d::DoFrame(uint16_t Step) {
  MoveQuad(FVertexCount, -Step / 500.0, 0);
  CopyFaces(QuadFaces, FxFrontFaces, FFaceCount * 3);
}
int32_t TLeftMoveFx3d::GetFxID() const { return 0x102; }
std::string TLeftMoveFx3d::GetDescription() const { return "Przesuwanie w lewo"; }

TUpMoveFx3d::TUpMoveFx3d() = default;
void TUpMoveFx3d::DoFrame(uint16_t Step) {
  MoveQuad(FVertexCount, 0, Step / 500.0);
  CopyFaces(QuadFaces, FxFrontFaces, FFaceCount * 3);
}
int32_t TUpMoveFx3d::GetFxID() const { return 0x103; }
std::string TUpMoveFx3d::GetDescription() const { return "Przesuwanie w górę"; }

TDownMoveFx3d::TDownMoveFx3d() = default;
void TDownMoveFx3d::DoFrame(uint16_t Step) {
  MoveQuad(FVertexCount, 0, -Step / 500.0);
  CopyFaces(QuadFaces, FxFrontFaces, FFaceCount * 3);
}
int32_t TDownMoveFx3d::GetFxID() const { return 0x104; }
std::string TDownMoveFx3d::GetDescription() const { return "Przesuwanie w dół"; }

TRightUpMoveFx3d::TRightUpMoveFx3d() = default;
void TRightUpMoveFx3d::DoFrame(uint16_t Step) {
  MoveQuad(FVertexCount, Step / 500.0, Step / 500.0);
  CopyFaces(QuadFaces, FxFrontFaces, FFaceCount * 3);
}
int32_t TRightUpMoveFx3d::GetFxID() const { return 0x105; }
std::string TRightUpMoveFx3d::GetDescription() const {
  return "Przesuwanie na skos w prawo i w górę";
}

TRightDownMoveFx3d::TRightDownMoveFx3d() = default;
void TRightDownMoveFx3d::DoFrame(uint16_t Step) {
  MoveQuad(FVertexCount, Step / 500.0, -Step / 500.0);
  CopyFaces(QuadFaces, FxFrontFaces, FFaceCount * 3);
}
int32_t TRightDownMoveFx3d::GetFxID() const { return 0x106; }
std::string TRightDownMoveFx3d::GetDescription() const {
  return "Przesuwanie na skos w prawo i w dół";
}

TLeftDownMoveFx3d::TLeftDownMoveFx3d() = default;
void TLeftDownMoveFx3d::DoFrame(uint16_t Step) {
  MoveQuad(FVertexCount, -Step / 500.0, -Step / 500.0);
  CopyFaces(QuadFaces, FxFrontFaces, FFaceCount * 3);
}
int32_t TLeftDownMoveFx3d::GetFxID() const { return 0x107; }
std::string TLeftDownMoveFx3d::GetDescription() const {
  return "Przesuwanie na skos w lewo i w dół";
}

TLeftUpMoveFx3d::TLeftUpMoveFx3d() = default;
void TLeftUpMoveFx3d::DoFrame(uint16_t Step) {
  MoveQuad(FVertexCount, -Step / 500.0, Step / 500.0);
  CopyFaces(QuadFaces, FxFrontFaces, FFaceCount * 3);
}
int32_t TLeftUpMoveFx3d::GetFxID() const { return 0x108; }
std::string TLeftUpMoveFx3d::GetDescription() const {
  return "Przesuwanie na skos w lewo i w górę";
}

// ---------------------------------------------------------------------------------

TTerrific_01Fx3d::TTerrific_01Fx3d() = default;

void TTerrific_01Fx3d::DoFrame(uint16_t Step) {
  const double k = Step;
  TFxVertex* P = FxFrontVertices;
  // Shrink into the top-left quarter over the first 100 steps.
  const double a = k <= 100 ? 1 - k / 100 : 0;
  P[1].x = static_cast<float>(P[1].x * a);
  P[2].y = static_cast<float>(P[2].y * a);
  P[3].x = static_cast<float>(P[3].x * a);
  P[3].y = static_cast<float>(P[3].y * a);
  // Then right, down, left and up again, one quarter each 200 steps.
  if (k > 100) MoveQuad(FVertexCount, std::min((k - 100) / 200, 1.0), 0);
  if (k > 300) MoveQuad(FVertexCount, 0, -std::min((k - 300) / 200, 1.0));
  if (k > 500) MoveQuad(FVertexCount, -std::min((k - 500) / 200, 1.0), 0);
  if (k > 700) MoveQuad(FVertexCount, 0, std::min((k - 700) / 200, 1.0));
  // Back home, the square closes into the top-left corner.
  if (k > 900) {
    const double h = (k - 900) / 100;
    P[1].x = static_cast<float>(P[0].x * h);
    P[2].y = static_cast<float>(P[0].y * h);
    P[3].x = static_cast<float>(P[0].x * h);
    P[3].y = static_cast<float>(P[0].y * h);
  }
  CopyFaces(QuadFaces, FxFrontFaces, FFaceCount * 3);
}
int32_t TTerrific_01Fx3d::GetFxID() const { return 0x201; }
std::string TTerrific_01Fx3d::GetDescription() const {
  return "Pomniejszenie, przemieszczanie okólne kwadratu";
}

// ---------------------------------------------------------------------------------

TFade::TFade() {
  FOptions.Include(foAlphaBlend);
  FOptions.Include(foBackMesh);
}

void TFade::DoFrame(uint16_t Step) {
  const uint32_t b = std::min<uint32_t>(Step * 255u / 1000u, 255u);
  const int count = std::min({FVertexCount, FBackVertexCount, FxBufferCapacity});
  for (int i = 0; i < FVertexCount; ++i)
    FxFrontVertices[i].color = ((255u - b) << 24) | 0xFFFFFFu;
  for (int i = 0; i < count; ++i) FxBackVertices[i].color = (b << 24) | 0xFFFFFFu;
  CopyFaces(QuadFaces, FxFrontFaces, FFaceCount * 3);
}
int32_t TFade::GetFxID() const { return 0x202; }
std::string TFade::GetDescription() const { return "Przenik"; }

// ---------------------------------------------------------------------------------

TStillSquare::TStillSquare() = default;

void TStillSquare::DoFrame(uint16_t Step) {
  RotateVertices(0, static_cast<uint16_t>(FVertexCount), 0,
                 static_cast<float>(std::numbers::pi * Step / 1000), 0, 0, 0, 0);
  for (int i = 0; i < FVertexCount; ++i) {
    FxFrontVertices[i].nx = FxFrontVertices[i].x;
    FxFrontVertices[i].ny = FxFrontVertices[i].y;
    FxFrontVertices[i].nz = 1;
  }
  CopyFaces(DiagonalQuadFaces, FxFrontFaces, FFaceCount * 3);
}
int32_t TStillSquare::GetFxID() const { return 0x199; }
std::string TStillSquare::GetDescription() const { return "Bezruch - testowy efekt"; }

}  // namespace movara
