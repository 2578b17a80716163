// Pushes: the second picture comes in on the back quad (which starts as the full view)
// edge to edge with the first, or stretched in while the first is squeezed out.
#include "fx3d/FxFlat.h"

namespace movara {

namespace {

TFxVertex* const P = FxFrontVertices;
TFxVertex* const B = FxBackVertices;

// Every front vertex moves by (dx, dy); the back vertex of the same index follows at
// (bx, by) from it along the axis that moves.
void PushPair(int count, double dx, double dy, double bx, double by) {
  for (int i = 0; i < count; ++i) {
    P[i].x = static_cast<float>(P[i].x + dx);
    P[i].y = static_cast<float>(P[i].y + dy);
    if (bx != 0) B[i].x = static_cast<float>(P[i].x + bx);
    if (by != 0) B[i].y = static_cast<float>(P[i].y + by);
  }
}

inline double PushFactor(uint16_t Step) { return 1 - Step / 500.0; }

}  // namespace

TRightPushFx3d::TRightPushFx3d() { FOptions.Include(foBackMesh); }
void TRightPushFx3d::DoFrame(uint16_t Step) {
  PushPair(FVertexCount < 4 ? FVertexCount : 4, Step / 500.0, 0, -2, 0);
  CopyFaces(QuadFaces, FxFrontFaces, FFaceCount * 3);
}
int32_t TRightPushFx3d::GetFxID() const { return 0x130; }
std::string TRightPushFx3d::GetDescription() const { return "Przepychanie w prawo"; }

TLeftPushFx3d::TLeftPushFx3d() { FOptions.Include(foBackMesh); }
void TLeftPushFx3d::DoFrame(uint16_t Step) {
  PushPair(FVertexCount < 4 ? FVertexCount : 4, -Step / 500.0, 0, 2, 0);
  CopyFaces(QuadFaces, FxFrontFaces, FFaceCount * 3);
}
int32_t TLeftPushFx3d::GetFxID() const { return 0x131; }
std::string TLeftPushFx3d::GetDescription() const { return "Przepychanie w lewo"; }

TUpPushFx3d::TUpPushFx3d() { FOptions.Include(foBackMesh); }
void TUpPushFx3d::DoFrame(uint16_t Step) {
  PushPair(FVertexCount < 4 ? FVertexCount : 4, 0, Step / 500.0, 0, -2);
  CopyFaces(QuadFaces, FxFrontFaces, FFaceCount * 3);
}
int32_t TUpPushFx3d::GetFxID() const { return 0x132; }
std::string TUpPushFx3d::GetDescription() const { return "Przepychanie w górę"; }

TDownPushFx3d::TDownPushFx3d() { FOptions.Include(foBackMesh); }
void TDownPushFx3d::DoFrame(uint16_t Step) {
  PushPair(FVertexCount < 4 ? FVertexCount : 4, 0, -Step / 500.0, 0, 2);
  CopyFaces(QuadFaces, FxFrontFaces, FFaceCount * 3);
}
int32_t TDownPushFx3d::GetFxID() const { return 0x133; }
std::string TDownPushFx3d::GetDescription() const { return "Przepychanie w dół"; }

// The push-scales keep the far edge of each picture fixed and move the shared edge.

TRightPushScale::TRightPushScale() { FOptions.Include(foBackMesh); }
void TRightPushScale::DoFrame(uint16_t Step) {
  const double s = PushFactor(Step);
  P[0].x = static_cast<float>(P[0].x * s);
  P[2].x = static_cast<float>(P[2].x * s);
  B[1].x = P[0].x;
  B[3].x = P[2].x;
  CopyFaces(QuadFaces, FxFrontFaces, FFaceCount * 3);
}
int32_t TRightPushScale::GetFxID() const { return 0x140; }
std::string TRightPushScale::GetDescription() const {
  return "Przepychanie ze skalowaniem w prawo";
}

TLeftPushScale::TLeftPushScale() { FOptions.Include(foBackMesh); }
void TLeftPushScale::DoFrame(uint16_t Step) {
  const double s = PushFactor(Step);
  P[1].x = static_cast<float>(P[1].x * s);
  P[3].x = static_cast<float>(P[3].x * s);
  B[0].x = P[1].x;
  B[2].x = P[3].x;
  CopyFaces(QuadFaces, FxFrontFaces, FFaceCount * 3);
}
int32_t TLeftPushScale::GetFxID() const { return 0x141; }
std::string TLeftPushScale::GetDescription() const {
  return "Przepychanie ze skalowaniem w lewo";
}

TUpPushScale::TUpPushScale() { FOptions.Include(foBackMesh); }
void TUpPushScale::DoFrame(uint16_t Step) {
  const double s = PushFactor(Step);
  P[2].y = static_cast<float>(P[2].y * s);
  P[3].y = static_cast<float>(P[3].y * s);
  B[0].y = P[2].y;
  B[1].y = P[3].y;
  CopyFaces(QuadFaces, FxFrontFaces, FFaceCount * 3);
}
int32_t TUpPushScale::GetFxID() const { return 0x142; }
std::string TUpPushScale::GetDescription() const {
  return "Przepychanie ze skalowaniem w górę";
}

TDownPushScale::TDownPushScale() { FOptions.Include(foBackMesh); }
void TDownPushScale::DoFrame(uint16_t Step) {
  const double s = PushFactor(Step);
  P[0].y = static_cast<float>(P[0].y * s);
  P[1].y = static_cast<float>(P[1].y * s);
  B[2].y = P[0].y;
  B[3].y = P[1].y;
  CopyFaces(QuadFaces, FxFrontFaces, FFaceCount * 3);
}
int32_t TDownPushScale::GetFxID() const { return 0x143; }
std::string TDownPushScale::GetDescription() const {
  return "Przepychanie ze skalowaniem w dół";
}

}  // namespace movara
