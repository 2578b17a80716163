// Water ripples, and the fading well effects that carry both pictures on one rippling
// surface: the front vertices hold the first picture, the effect's own back list the
// second, and their alpha cross-fades.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "base/Rounding.h"
#include "fx3d/FxMesh.h"

namespace movara {

namespace {

constexpr double Pi = std::numbers::pi;
constexpr int WaterGridSize = 16;
constexpr int WaveStripCount = 64;
constexpr double WellAmplitude = 0.11;

double Radius(const TFxVertex& v) {
  return std::sqrt(static_cast<double>(v.x) * v.x + static_cast<double>(v.y) * v.y);
}

// The ripple of the wells reaches full height after 100 steps and settles over the
// last 100, while the surface swells by 5 per cent.
double WellAmplitudeAt(int k) { return FxFadeInOut(k); }
double WellScaleAt(int k) { return 0.05 * WellAmplitudeAt(k) + 1; }

// The back mesh takes the rippled front surface; tv is negated because the second
// picture is not row-reversed as the first is, so it shows upright. The faces follow.
void CopyFrontToBack(int vertexCount, int backVertexCount, int faceEntries) {
  const int count = std::min(vertexCount, backVertexCount);
  for (int i = 0; i < count; ++i) {
    FxBackVertices[i] = FxFrontVertices[i];
    FxBackVertices[i].tv = -FxFrontVertices[i].tv;
  }
  CopyFaces(FxFrontFaces, FxBackFaces, faceEntries);
}

// The first picture fades out evenly while the second fades in.
void CrossFade(int k, int vertexCount, int backVertexCount) {
  const uint32_t b = static_cast<uint32_t>(std::clamp(k * 255 / 1000, 0, 255));
  SetVerticesColor(0, static_cast<uint16_t>(vertexCount), ((255u - b) << 24) | 0xFFFFFFu);
  for (int i = 0; i < backVertexCount; ++i) FxBackVertices[i].color = (b << 24) | 0xFFFFFFu;
}

}  // namespace

// ---- water ----

TWater::TWater() : TBaseSquare(WaterGridSize) {}

void TWater::DoFrame(uint16_t Step) {
  const int k = Step;
  const double d = k / 1000.0;
  const double amplitude = 0.11 * FxRampIn(k);
  const double phase = FxPhase(k, 6 * Pi);
  // Circular ripples running inward while the picture sinks back and slides right.
  for (int i = 0; i < FVertexCount; ++i) {
    TFxVertex& v = FxFrontVertices[i];
    v.z = static_cast<float>(amplitude * std::cos(6 * Pi * Radius(v) + phase) + 2 * d * d);
    v.x = static_cast<float>(v.x + 3 * d * d);
  }
}

int32_t TWater::GetFxID() const { return 0x350; }
std::string TWater::GetDescription() const { return "Woda"; }

// ---- the wells ----

TWaterWithFade::TWaterWithFade() : TBaseSquare(WaterGridSize) {
  FOptions.Include(foAlphaBlend);
  CreateBackVertexFromFront();
}

void TWaterWithFade::ScaleAndRipple(uint16_t Step) {
  const int k = Step;
  const double amplitude = WellAmplitudeAt(k);
  const float s = static_cast<float>(WellScaleAt(k));
  const auto n = static_cast<uint16_t>(FVertexCount);
  ScaleVerticesXYZ(0, n, s, s, 0);
  // Rings running outward, measured on the scaled surface.
  const double phase = FxPhase(k, 6 * Pi);
  for (int i = 0; i < n; ++i) {
    TFxVertex& v = FxFrontVertices[i];
    v.z = static_cast<float>(WellAmplitude * amplitude * std::cos(6 * Pi * Radius(v) - phase));
  }
}

void TWaterWithFade::DoFrame(uint16_t Step) {
  if (!FBackVertexList) return;
  ScaleAndRipple(Step);
  CopyFrontToBack(FVertexCount, FBackVertexCount, FFaceCount * FFaceVertices);
  CrossFade(Step, FVertexCount, FBackVertexCount);
}

int32_t TWaterWithFade::GetFxID() const { return 0x351; }
std::string TWaterWithFade::GetDescription() const { return "Zajrzyj do studni"; }

void TWaterWithFadeB::DoFrame(uint16_t Step) {
  TWaterWithFade::DoFrame(Step);
  if (!FBackVertexList) return;
  // The surface is scaled a second time and rippled again from there.
  ScaleAndRipple(Step);
  CopyFrontToBack(FVertexCount, FBackVertexCount, FFaceCount * FFaceVertices);
  // A radial fade: the centre changes first, the rim last.
  const int k = Step;
  const double q = k / 1000.0;
  const double late = std::sin(q * q * Pi / 2);
  for (int i = 0; i < FVertexCount; ++i) {
    const double r0 = std::min(Radius(FVertexList[i]), 1.0);
    const double P = std::cos(r0 * r0 * Pi / 2) + late;
    const int R = std::clamp(RoundInt(P * k * 255 / 1000), 0, 255);
    FxFrontVertices[i].color = (static_cast<uint32_t>(255 - R) << 24) | 0xFFFFFFu;
    if (i < FBackVertexCount)
      FxBackVertices[i].color = (static_cast<uint32_t>(R) << 24) | 0xFFFFFFu;
  }
}

int32_t TWaterWithFadeB::GetFxID() const { return 0x352; }
std::string TWaterWithFadeB::GetDescription() const { return "Zajrzyj do studni jeszcze raz"; }

// ---- the wave well ----

TWaveWithFade::TWaveWithFade() : TBaseVertRect(WaveStripCount) {
  FOptions.Include(foAlphaBlend);
  CreateBackVertexFromFront();
}

void TWaveWithFade::DoFrame(uint16_t Step) {
  if (!FBackVertexList) return;
  const int k = Step;
  const double amplitude = WellAmplitudeAt(k);
  const float s = static_cast<float>(WellScaleAt(k));
  const auto n = static_cast<uint16_t>(FVertexCount);
  ScaleVerticesXYZ(0, n, s, s, 0);
  const double phase = FxPhase(k, 4 * Pi);
  for (int i = 0; i < n; ++i) {
    TFxVertex& v = FxFrontVertices[i];
    v.z = static_cast<float>(WellAmplitude * amplitude * std::cos(phase + 4 * Pi * v.x));
  }
  CopyFrontToBack(FVertexCount, FBackVertexCount, FFaceCount * FFaceVertices);
  CrossFade(k, FVertexCount, FBackVertexCount);
}

int32_t TWaveWithFade::GetFxID() const { return 0x353; }
std::string TWaveWithFade::GetDescription() const { return "Jeszcze inna studnia"; }

}  // namespace movara
