// The grid effects that blow the picture away or pull it into the depth: the puffs,
// the whirl and the tunnel. Each step starts from the rest pose that Execute has just
// copied into FxFrontVertices.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "fx3d/FxMesh.h"

namespace movara {

namespace {

constexpr double Pi = std::numbers::pi;

// The size of a vortex: full over the first half, then shrinking to nothing.
double VortexWidth(int k) { return k < 500 ? 1.0 : (1000 - k) / 500.0; }

}  // namespace

// ---- puffs ----

TPuff::TPuff() : TBaseSquare(8) {}

void TPuff::DoFrame(uint16_t Step) {
  const int k = Step;
  const auto n = static_cast<uint16_t>(FVertexCount);
  const double q = k / 1000.0;
  const double a = k == 0 ? 1.0 : (k < 1000 ? 1.0 - q : 0.0);
  // The whole picture sinks while its middle bulges away faster than its rim.
  for (int i = 0; i < n; ++i) {
    TFxVertex& v = FxFrontVertices[i];
    const double r2 = static_cast<double>(v.x) * v.x + static_cast<double>(v.y) * v.y;
    v.z = static_cast<float>(15 * q * q - 3 * q * r2);
  }
  ScaleVerticesXYZ(0, n, static_cast<float>(a), static_cast<float>(a), 1);
}

int32_t TPuff::GetFxID() const { return 0x340; }
std::string TPuff::GetDescription() const { return "Podmuch"; }

namespace {

// The drift of the upward and downward puffs: slow at first, 5 units right and 1000/140
// units up at step 1000.
void PuffDrift(int k, int n, double sign) {
  const double g = Pi * k / 2000.0;
  const double lift = 1 - std::cos(g);
  const float dx = static_cast<float>(sign * lift * k / 200.0);
  const float dy = static_cast<float>(sign * lift * k / 140.0);
  for (int i = 0; i < n; ++i) {
    FxFrontVertices[i].x += dx;
    FxFrontVertices[i].y += dy;
  }
}

}  // namespace

void TPuffUp::DoFrame(uint16_t Step) {
  TPuff::DoFrame(Step);
  PuffDrift(Step, FVertexCount, 1.0);
}

int32_t TPuffUp::GetFxID() const { return 0x341; }
std::string TPuffUp::GetDescription() const { return "Podmuch do nieba"; }

void TPuffDown::DoFrame(uint16_t Step) {
  TPuff::DoFrame(Step);
  PuffDrift(Step, FVertexCount, -1.0);
}

int32_t TPuffDown::GetFxID() const { return 0x342; }
std::string TPuffDown::GetDescription() const { return "Podmuch do piekła"; }

// ---- whirl ----

TWhirl::TWhirl() : TBaseSquare(11) {}

void TWhirl::DoFrame(uint16_t Step) {
  const int k = Step;
  const auto n = static_cast<uint16_t>(FVertexCount);
  const double w = VortexWidth(k);
  // The outer parts turn less and sink deeper.
  for (int i = 0; i < n; ++i) {
    const TFxVertex& v = FxFrontVertices[i];
    const double d = static_cast<double>(v.x) * v.x + static_cast<double>(v.y) * v.y;
    const double angle = 3 * Pi * k / 1000.0 - Pi * k * d / 1200.0;
    RotateVertices(static_cast<uint16_t>(i), 1, 0, 0, static_cast<float>(angle), 0, 0, 0);
    FxFrontVertices[i].z = static_cast<float>(d * k / 300.0);
  }
  ScaleVerticesXYZ(0, n, static_cast<float>(w), static_cast<float>(w), 1);
}

int32_t TWhirl::GetFxID() const { return 0x371; }
std::string TWhirl::GetDescription() const { return "Wir"; }

// ---- tunnel ----

TTunnel::TTunnel() : TBaseSquare(10) {}

void TTunnel::DoFrame(uint16_t Step) {
  const int k = Step;
  const auto n = static_cast<uint16_t>(FVertexCount);
  const double q = k / 1000.0;
  const double w = VortexWidth(k);
  // A square funnel: the centre deepest, the border of the picture stays in the plane.
  for (int i = 0; i < n; ++i) {
    TFxVertex& v = FxFrontVertices[i];
    const double edge = std::max(std::fabs(v.x), std::fabs(v.y));
    v.z = static_cast<float>(50 * q * q * (1 - edge));
  }
  ScaleVerticesXYZ(0, n, static_cast<float>(w), static_cast<float>(w), 1);
}

int32_t TTunnel::GetFxID() const { return 0x372; }
std::string TTunnel::GetDescription() const { return "Wyciągarka"; }

}  // namespace movara
