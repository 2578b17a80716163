// Edge, centre, oblique and radial scales of the single quad: the first picture is
// squeezed away over the second, which is the scene background.
#include "fx3d/FxFlat.h"

namespace movara {

namespace {

// P0 .. P3: top-left, top-right, bottom-left, bottom-right.
TFxVertex* const P = FxFrontVertices;

inline void MulX(int i, double s) { P[i].x = static_cast<float>(P[i].x * s); }
inline void MulY(int i, double s) { P[i].y = static_cast<float>(P[i].y * s); }

// An edge travels to the opposite side: 1 at step 0, -1 at step 1000.
inline double EdgeFactor(uint16_t Step) { return 1 - Step / 500.0; }
// The centre scales reach zero size at step 1000.
inline double CentreFactor(uint16_t Step) { return 1 - Step / 1000.0; }

}  // namespace

TRightScale::TRightScale() = default;
void TRightScale::DoFrame(uint16_t Step) {
  const double s = EdgeFactor(Step);
  MulX(0, s);
  MulX(2, s);
  CopyFaces(QuadFaces, FxFrontFaces, FFaceCount * 3);
}
int32_t TRightScale::GetFxID() const { return 0x109; }
std::string TRightScale::GetDescription() const { return "Skalowanie w prawo"; }

TLeftScale::TLeftScale() = default;
void TLeftScale::DoFrame(uint16_t Step) {
  const double s = EdgeFactor(Step);
  MulX(1, s);
  MulX(3, s);
  CopyFaces(QuadFaces, FxFrontFaces, FFaceCount * 3);
}
int32_t TLeftScale::GetFxID() const { return 0x10A; }
std::string TLeftScale::GetDescription() const { return "Skalowanie w lewo"; }

TUpScale::TUpScale() = default;
void TUpScale::DoFrame(uint16_t Step) {
  const double s = EdgeFactor(Step);
  MulY(2, s);
  MulY(3, s);
  CopyFaces(QuadFaces, FxFrontFaces, FFaceCount * 3);
}
int32_t TUpScale::GetFxID() const { return 0x10B; }
std::string TUpScale::GetDescription() const { return "Skalowanie w górę"; }

TDownScale::TDownScale() = default;
void TDownScale::DoFrame(uint16_t Step) {
  const double s = EdgeFactor(Step);
  MulY(0, s);
  MulY(1, s);
  CopyFaces(QuadFaces, FxFrontFaces, FFaceCount * 3);
}
int32_t TDownScale::GetFxID() const { return 0x10C; }
std::string TDownScale::GetDescription() const { return "Skalowanie w dół"; }

TRightUpScale::TRightUpScale() = default;
void TRightUpScale::DoFrame(uint16_t Step) {
  const double s = EdgeFactor(Step);
  MulX(0, s);
  MulX(2, s);
  MulY(2, s);
  MulY(3, s);
  CopyFaces(QuadFaces, FxFrontFaces, FFaceCount * 3);
}
int32_t TRightUpScale::GetFxID() const { return 0x10D; }
std::string TRightUpScale::GetDescription() const { return "Skalowanie w prawo i w górę"; }

TRightDownScale::TRightDownScale() = default;
void TRightDownScale::DoFrame(uint16_t Step) {
  const double s = EdgeFactor(Step);
  MulX(0, s);
  MulX(2, s);
  MulY(0, s);
  MulY(1, s);
  CopyFaces(QuadFaces, FxFrontFaces, FFaceCount * 3);
}
int32_t TRightDownScale::GetFxID() const { return 0x10E; }
std::string TRightDownScale::GetDescription() const { return "Skalowanie w prawo i w dół"; }

TLeftUpScale::TLeftUpScale() = default;
void TLeftUpScale::DoFrame(uint16_t Step) {
  const double s = EdgeFactor(Step);
  MulX(1, s);
  MulX(3, s);
  MulY(2, s);
  MulY(3, s);
  CopyFaces(QuadFaces, FxFrontFaces, FFaceCount * 3);
}
int32_t TLeftUpScale::GetFxID() const { return 0x10F; }
std::string TLeftUpScale::GetDescription() const { return "Skalowanie w lewo i w górę"; }

TLeftDownScale::TLeftDownScale() = default;
void TLeftDownScale::DoFrame(uint16_t Step) {
  const double s = EdgeFactor(Step);
  MulX(1, s);
  MulX(3, s);
  MulY(0, s);
  MulY(1, s);
  CopyFaces(QuadFaces, FxFrontFaces, FFaceCount * 3);
}
int32_t TLeftDownScale::GetFxID() const { return 0x110; }
std::string TLeftDownScale::GetDescription() const { return "Skalowanie w lewo i w dół"; }

TCenterScale::TCenterScale() = default;
void TCenterScale::DoFrame(uint16_t Step) {
  const double s = CentreFactor(Step);
  for (int i = 0; i < FVertexCount; ++i) {
    MulX(i, s);
    MulY(i, s);
  }
  CopyFaces(QuadFaces, FxFrontFaces, FFaceCount * 3);
}
int32_t TCenterScale::GetFxID() const { return 0x111; }
std::string TCenterScale::GetDescription() const { return "Skalowanie do środka centralnie"; }

TCenterHScale::TCenterHScale() = default;
void TCenterHScale::DoFrame(uint16_t Step) {
  const double s = CentreFactor(Step);
  for (int i = 0; i < FVertexCount; ++i) MulX(i, s);
  CopyFaces(QuadFaces, FxFrontFaces, FFaceCount * 3);
}
int32_t TCenterHScale::GetFxID() const { return 0x112; }
std::string TCenterHScale::GetDescription() const { return "Skalowanie do środka w poziomie"; }

TCenterVScale::TCenterVScale() = default;
void TCenterVScale::DoFrame(uint16_t Step) {
  const double s = CentreFactor(Step);
  for (int i = 0; i < FVertexCount; ++i) MulY(i, s);
  CopyFaces(QuadFaces, FxFrontFaces, FFaceCount * 3);
}
int32_t TCenterVScale::GetFxID() const { return 0x113; }
std::string TCenterVScale::GetDescription() const { return "Skalowanie do środka w pionie"; }

TObliqueScale::TObliqueScale() = default;
void TObliqueScale::DoFrame(uint16_t Step) {
  const double s = EdgeFactor(Step);
  MulY(0, s);
  MulY(3, s);
  CopyFaces(QuadFaces, FxFrontFaces, FFaceCount * 3);
}
int32_t TObliqueScale::GetFxID() const { return 0x114; }
std::string TObliqueScale::GetDescription() const { return "Skalowanie skośne"; }

TObliqueBScale::TObliqueBScale() = default;
void TObliqueBScale::DoFrame(uint16_t Step) {
  const double s = EdgeFactor(Step);
  MulY(1, s);
  MulY(2, s);
  CopyFaces(QuadFaces, FxFrontFaces, FFaceCount * 3);
}
int32_t TObliqueBScale::GetFxID() const { return 0x115; }
std::string TObliqueBScale::GetDescription() const { return "Skalowanie skośne inaczej"; }

// ---------------------------------------------------------------------------------
// Radial sweeps: three phases of 333 steps, each swinging one coordinate of one corner
// from +1 to -1 and bending that corner toward the viewer by m * (x^2 - 1).

namespace {

struct TRadialPhases {
  int firstCorner;   // its y in phase one, its x in phase three
  int secondCorner;  // its x in phase two
};

void RadialSweep(uint16_t Step, TRadialPhases c) {
  const double k = Step;
  auto bend = [](int i, double m) {
    const double x = P[i].x;
    P[i].z = static_cast<float>(m * (x * x - 1));
  };
  const double s1 = k <= 333 ? 1 - 2 * k / 333 : -1;
  MulY(c.firstCorner, s1);
  bend(c.firstCorner, 0.25);
  if (k > 333) {
    const double s2 = k <= 666 ? 1 - 2 * (k - 333) / 333 : -1;
    MulX(c.secondCorner, s2);
    bend(c.secondCorner, 0.75);
  }
  if (k > 666) {
    const double s3 = k <= 1000 ? 1 - 2 * (k - 666) / 333 : -1;
    MulX(c.firstCorner, s3);
    bend(c.firstCorner, 0.75);
  }
}

}  // namespace

TRadialScale::TRadialScale() = default;
void TRadialScale::DoFrame(uint16_t Step) {
  RadialSweep(Step, {1, 3});
  CopyFaces(DiagonalQuadFaces, FxFrontFaces, FFaceCount * 3);
}
int32_t TRadialScale::GetFxID() const { return 0x116; }
std::string TRadialScale::GetDescription() const { return "Skalowanie radialne"; }

TRadialBScale::TRadialBScale() = default;
void TRadialBScale::DoFrame(uint16_t Step) {
  RadialSweep(Step, {0, 2});
  CopyFaces(QuadFaces, FxFrontFaces, FFaceCount * 3);
}
int32_t TRadialBScale::GetFxID() const { return 0x117; }
std::string TRadialBScale::GetDescription() const { return "Skalowanie radialne drugie"; }

TRadialCScale::TRadialCScale() = default;
void TRadialCScale::DoFrame(uint16_t Step) {
  RadialSweep(Step, {3, 1});
  CopyFaces(QuadFaces, FxFrontFaces, FFaceCount * 3);
}
int32_t TRadialCScale::GetFxID() const { return 0x118; }
std::string TRadialCScale::GetDescription() const { return "Skalowanie radialne trzecie"; }

TRadialDScale::TRadialDScale() = default;
void TRadialDScale::DoFrame(uint16_t Step) {
  RadialSweep(Step, {2, 0});
  CopyFaces(DiagonalQuadFaces, FxFrontFaces, FFaceCount * 3);
}
int32_t TRadialDScale::GetFxID() const { return 0x119; }
std::string TRadialDScale::GetDescription() const { return "Skalowanie radialne czwarte"; }

}  // namespace movara
