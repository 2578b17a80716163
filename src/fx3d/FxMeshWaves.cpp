// The strip effects that move the picture as a whole: the three waves, the flying
// carpet and the curtain. Each step starts from the rest pose that Execute has just
// copied into FxFrontVertices.
#include <cmath>
#include <numbers>

#include "fx3d/FxMesh.h"

namespace movara {

namespace {

constexpr double Pi = std::numbers::pi;
constexpr int WaveStripCount = 64;

}  // namespace

// ---- waves ----

TWave::TWave() : TBaseVertRect(WaveStripCount) {}

void TWave::Ripple(uint16_t Step, double Amplitude, double DX, double DY) {
  const int k = Step;
  const double d = k / 1000.0;
  const double phase = FxPhase(k, 4 * Pi);
  // The picture sinks back and slides away faster and faster.
  const double sink = 2 * d * d;
  const double slide = 3 * d * d;
  for (int i = 0; i < FVertexCount; ++i) {
    TFxVertex& v = FxFrontVertices[i];
    v.z = static_cast<float>(Amplitude * std::cos(4 * Pi * v.x + phase) + sink);
    v.x = static_cast<float>(v.x + DX * slide);
    v.y = static_cast<float>(v.y + DY * slide);
  }
}

void TWave::DoFrame(uint16_t Step) { Ripple(Step, 0.1 * FxRampIn(Step), -1, 0); }

int32_t TWave::GetFxID() const { return 0x343; }
std::string TWave::GetDescription() const { return "Fala uciekająca w lewo"; }

void TWaveRight::DoFrame(uint16_t Step) { Ripple(Step, 0.1 * FxRampIn(Step), 1, 0); }

int32_t TWaveRight::GetFxID() const { return 0x344; }
std::string TWaveRight::GetDescription() const { return "Fala uciekająca w prawo"; }

void TWaveLeftUp::DoFrame(uint16_t Step) {
  // The ripple grows by half while the picture leaves.
  Ripple(Step, (Step / 20000.0 + 0.1) * FxRampIn(Step), -1, 1);
}

int32_t TWaveLeftUp::GetFxID() const { return 0x345; }
std::string TWaveLeftUp::GetDescription() const { return "Fala uciekacjąca na ukos"; }

// ---- carpet ----

TCarpet::TCarpet() : TBaseVertRect(WaveStripCount) {}

void TCarpet::DoFrame(uint16_t Step) {
  const int k = Step;
  const auto n = static_cast<uint16_t>(FVertexCount);
  const double d = k / 1000.0;
  const double amplitude = 0.1 * FxRampIn(k);
  const double phase = FxPhase(k, 4 * Pi);
  // e bobs the whole carpet; s shrinks it to about 0.29 of its size by step 1000.
  const double e = std::sin(Pi * k / 4000.0 + phase);
  const double s = 1 + std::sin(Pi * k / 4000.0 + Pi);
  ScaleVerticesXYZ(0, n, static_cast<float>(s), static_cast<float>(s), 1);
  RotateVertices(0, n, static_cast<float>(-Pi * k / 4000.0), static_cast<float>(-Pi * k / 5000.0),
                 static_cast<float>(Pi * k / 6000.0), 0, 0, 0);
  const double lift = 1.5 * amplitude * e + k / 2000.0;
  for (int i = 0; i < n; ++i) {
    TFxVertex& v = FxFrontVertices[i];
    // The ripple follows the strip's place in the picture, not where it has turned to.
    const double x0 = FVertexList[i].x;
    v.x = static_cast<float>(v.x + 1.8 * d * d);
    v.z = static_cast<float>(v.z + amplitude * std::cos(phase + 4 * Pi * x0) + lift);
  }
}

int32_t TCarpet::GetFxID() const { return 0x346; }
std::string TCarpet::GetDescription() const { return "Latający dywan"; }

// ---- curtain ----

TCurtain::TCurtain() : TBaseVertRect(WaveStripCount) {}

void TCurtain::DoFrame(uint16_t Step) {
  const int k = Step;
  // L: how far from the left edge the bottom edge has been gathered.
  const double gathered = k / 250.0;
  for (int i = 0; i < FVertexCount; ++i) {
    TFxVertex& v = FxFrontVertices[i];
    const double x0 = FVertexList[i].x;
    const double y0 = FVertexList[i].y;
    // Only the bottom ends of the strips are gathered; the top ends hang still.
    const double L = y0 <= 0 ? gathered : 0.0;
    const double a = x0 + 1;
    if (a > L) continue;
    const double P = 2 * std::sqrt(L / 10);
    const double Q = 2 * std::sqrt(L / 40);
    double G;
    double H;
    if (a >= L / 2) {
      // The part still rising toward the fold.
      const double a1 = a - L / 2;
      G = Q / 2 - std::sqrt(a1 / 20);
      H = P / 2 - std::sqrt(a1 / 5);
    } else {
      // Beyond the fold: folded over to the right and higher up.
      v.x = static_cast<float>(v.x + 2 * (L / 2 - a));
      const double a1 = L / 2 - a;
      G = std::sqrt(a1 / 20) + Q / 2;
      H = std::sqrt(a1 / 5) + P / 2;
    }
    v.z = static_cast<float>(-G);
    v.y = static_cast<float>(H * (k / 1000.0 + 1) + y0);
  }
  if (k > 500)
    TranslateVertices(0, static_cast<uint16_t>(FVertexCount),
                      static_cast<float>((k - 500) / 10000.0),
                      static_cast<float>((k - 500) / 5000.0), 0);
}

int32_t TCurtain::GetFxID() const { return 0x360; }
std::string TCurtain::GetDescription() const { return "Kurtyna"; }

}  // namespace movara
