// The effects on fixed models: the cube in its five colourings, the diamond and the box
// with pyramids. None has a back mesh; the second picture is the scene background.
#include <algorithm>
#include <cstdint>
#include <numbers>

#include "fx3d/FxMesh.h"

namespace movara {

namespace {

constexpr double Pi = std::numbers::pi;

// ---- cube ----

// Four corners per side: top-left, top-right, bottom-left, bottom-right of the picture
// it shows, before the shift that brings the front side into the picture plane.
constexpr float CubeCorners[24][3] = {
    {-1, 1, -1},  {1, 1, -1},  {-1, -1, -1}, {1, -1, -1},  // front
    {-1, -1, 1},  {1, -1, 1},  {-1, 1, 1},   {1, 1, 1},    // back
    {1, 1, -1},   {1, 1, 1},   {1, -1, -1},  {1, -1, 1},   // right
    {-1, -1, -1}, {-1, -1, 1}, {-1, 1, -1},  {-1, 1, 1},   // left
    {-1, 1, 1},   {1, 1, 1},   {-1, 1, -1},  {1, 1, -1},   // top
    {-1, -1, -1}, {1, -1, -1}, {-1, -1, 1},  {1, -1, 1},   // bottom
};
constexpr float SideTexture[4][2] = {{0, 1}, {1, 1}, {0, 0}, {1, 0}};
constexpr int32_t CubeFaces[36] = {4,  5,  6,  5,  7,  6,  0,  1,  2,  1,  3,  2,
                                   8,  9,  10, 10, 9,  11, 13, 14, 12, 13, 15, 14,
                                   16, 17, 18, 18, 17, 19, 22, 20, 23, 20, 21, 23};

// The share of the way, 0 .. 255, that a fading picture has gone at step k.
uint32_t FadeByte(int k) { return static_cast<uint32_t>(std::clamp(k * 255 / 1000, 0, 255)); }

// White with the alpha of a picture that fades out over the whole transition.
uint32_t FadeOutColor(int k) { return ((255u - FadeByte(k)) << 24) | 0xFFFFFFu; }

// ---- diamond ----

constexpr int32_t DiamondFaces[24] = {3, 1, 0, 3, 4, 1, 1, 5, 2, 1, 4, 5,
                                      3, 6, 7, 3, 7, 4, 4, 7, 5, 5, 7, 8};
constexpr int DiamondCorners[4] = {0, 2, 6, 8};
constexpr int DiamondCentre = 4;
// The corners fold during the first FoldLength steps to Depth behind the plane (the
// centre as far in front); the tumble runs TurnLength steps from TurnStart.
constexpr int FoldLength = 200;
constexpr double FoldDepth = 0.7;
constexpr int TurnLength = 800;
constexpr int TurnStart = 200;

// ---- box ----

struct TBoxVertex {
  float x, y, z, tu, tv;
};
// clang-format off
constexpr TBoxVertex BoxVertices[18] = {
    {-1, 1, -1, 0, 1},  {1, 1, -1, 1, 1},   {-1, -1, -1, 0, 0}, {1, -1, -1, 1, 0},   // 0-3
    {-1, 1, 1, 1, 1},   {1, 1, 1, 0, 1},    {-1, -1, 1, 1, 0},  {1, -1, 1, 0, 0},    // 4-7
    {0, 2.5f, 0, 0.5f, 0.5f},               {0, 1.5f, 0, 0.5f, 0.5f},                // apexes
    {-1, 1, -1, 0, 0},  {1, 1, -1, 1, 0},   {-1, 1, 1, 0, 1},   {1, 1, 1, 1, 1},     // 10-13
    {-1, -1, -1, 0, 0}, {1, -1, -1, 1, 0},  {-1, -1, 1, 0, 1},  {1, -1, 1, 1, 1},    // 14-17
};
// clang-format on
// The four sides of the box, the pyramid on its top (apex 8) and the one rising from
// its bottom (apex 9).
constexpr int32_t BoxFaces[48] = {1,  2,  0, 2,  1,  3, 1,  5,  7,  1,  7,  3,  4,  0,  2,  4,
                                  2,  6,  5, 4,  6,  5, 6,  7,  10, 8,  11, 11, 8,  13, 13, 8,
                                  12, 12, 8, 10, 15, 9, 14, 17, 9,  15, 16, 9,  17, 14, 9,  16};

}  // namespace

// ---- cube ----

TCube::TCube() {
  CreateVertex(24);
  ClearVertex();
  for (int i = 0; i < 24; ++i) {
    TFxVertex& v = FVertexList[i];
    v.x = CubeCorners[i][0];
    v.y = CubeCorners[i][1];
    v.z = CubeCorners[i][2];
    v.tu = SideTexture[i % 4][0];
    v.tv = SideTexture[i % 4][1];
    v.nx = v.x;
    v.ny = v.y;
    v.nz = 0;
    // The front side lies in the picture plane; the cube reaches back to z = 2.
    v.z += 1;
  }
  CopyFaces(CubeFaces, FxFrontFaces, 36);
  FFaceCount = 12;
  FFaceVertices = 3;
}

void TCube::DoFrame(uint16_t Step) {
  const int k = Step;
  const auto n = static_cast<uint16_t>(FVertexCount);
  ScaleVertices(0, n, static_cast<float>((1000 - k) / 1000.0));
  // Half a turn about the horizontal axis and a full one about the vertical axis.
  const double d = k / 500.0;
  RotateVertices(0, n, static_cast<float>(-Pi / 2 * d), static_cast<float>(-Pi * d), 0, 0, 0, 0);
  TranslateVertices(0, n, 0, 0, static_cast<float>(k / 100.0));
  CopyFaces(CubeFaces, FxFrontFaces, FFaceCount * FFaceVertices);
  SetVerticesColor(0, n, FadeOutColor(k));
}

int32_t TCube::GetFxID() const { return 0x301; }
std::string TCube::GetDescription() const { return "Obracający się sześcian"; }

TTransparentCube::TTransparentCube() { FOptions.Include(foAlphaBlend); }

int32_t TTransparentCube::GetFxID() const { return 0x302; }
std::string TTransparentCube::GetDescription() const {
  return "Obracający się, znikający sześcian ";
}

TTintedCube::TTintedCube(uint32_t FullChannels) : FFullChannels(FullChannels & 0xFFFFFFu) {
  FOptions.Include(foAlphaBlend);
}

void TTintedCube::DoFrame(uint16_t Step) {
  TCube::DoFrame(Step);
  const int k = Step;
  // The other two channels go from 255 to 0 over the first half: white to full colour.
  const uint32_t t = k < 500 ? static_cast<uint32_t>(255 - k * 255 / 500) : 0u;
  const uint32_t tint = (t << 16) | (t << 8) | t;
  const uint32_t alpha = 255u - FadeByte(k);
  SetVerticesColor(0, static_cast<uint16_t>(FVertexCount),
                   (alpha << 24) | FFullChannels | (tint & ~FFullChannels & 0xFFFFFFu));
}

TRedCube::TRedCube() : TTintedCube(0xFF0000u) {}
int32_t TRedCube::GetFxID() const { return 0x303; }
std::string TRedCube::GetDescription() const {
  return "Obracający się przezroczysty, czerwony sześcian";
}

TGreenCube::TGreenCube() : TTintedCube(0x00FF00u) {}
int32_t TGreenCube::GetFxID() const { return 0x304; }
std::string TGreenCube::GetDescription() const {
  return "Obracający się przezroczysty, zielony sześcian";
}

TBlueCube::TBlueCube() : TTintedCube(0x0000FFu) {}
int32_t TBlueCube::GetFxID() const { return 0x305; }
std::string TBlueCube::GetDescription() const {
  return "Obracający się przezroczysty, niebieski sześcian";
}

// ---- diamond ----

TDiamond::TDiamond() {
  CreateVertex(9);
  ClearVertex();
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 3; ++column) {
      TFxVertex& v = FVertexList[row * 3 + column];
      v.x = static_cast<float>(column - 1);
      v.y = static_cast<float>(row - 1);
      v.z = 0;
      v.tu = (v.x + 1) / 2;
      v.tv = (v.y + 1) / 2;
      v.nx = v.x;
      v.ny = v.y;
      v.nz = -1;
    }
  }
  CopyFaces(DiamondFaces, FxFrontFaces, 24);
  FFaceCount = 8;
  FFaceVertices = 3;
}

void TDiamond::DoFrame(uint16_t Step) {
  const int k = Step;
  const auto n = static_cast<uint16_t>(FVertexCount);
  CopyFaces(DiamondFaces, FxFrontFaces, FFaceCount * FFaceVertices);
  double tilt;
  if (k >= FoldLength) {
    for (int c : DiamondCorners) {
      FxFrontVertices[c].x = 0;
      FxFrontVertices[c].y = 0;
      FxFrontVertices[c].z = static_cast<float>(FoldDepth);
    }
    FxFrontVertices[DiamondCentre].z = static_cast<float>(-FoldDepth);
    tilt = 0.4 * Pi;
  } else {
    const double u = (FoldLength - k) / static_cast<double>(FoldLength);
    const double fold = static_cast<double>(k) / FoldLength;
    for (int c : DiamondCorners) {
      TFxVertex& v = FxFrontVertices[c];
      v.x = static_cast<float>(v.x * u);
      v.y = static_cast<float>(v.y * u);
      v.z = static_cast<float>(FoldDepth * fold);
    }
    FxFrontVertices[DiamondCentre].z = static_cast<float>(-FoldDepth * fold);
    tilt = 0.4 * Pi * fold;
  }
  RotateVertices(0, n, static_cast<float>(tilt), 0, 0, 0, 0, 0);
  if (k >= TurnStart) {
    const double g = (k - TurnStart) / static_cast<double>(TurnLength);
    RotateVertices(0, n, static_cast<float>(4 * Pi * g), static_cast<float>(-4 * Pi * g),
                   static_cast<float>(2 * Pi * g), 0, 0, 0);
  }
  if (k >= 600) ScaleVertices(0, n, static_cast<float>((1000 - k) / 400.0));
  const double h = k > 500 ? (k - 500) / 250.0 : 0.0;
  TranslateVertices(0, n, static_cast<float>(h), static_cast<float>(h / 2),
                    static_cast<float>(k / 500.0));
}

int32_t TDiamond::GetFxID() const { return 0x370; }
std::string TDiamond::GetDescription() const { return "Diament"; }

// ---- box ----

TTurner::TTurner() {
  CreateVertex(18);
  ClearVertex();
  for (int i = 0; i < 18; ++i) {
    TFxVertex& v = FVertexList[i];
    v.x = BoxVertices[i].x;
    v.y = BoxVertices[i].y;
    v.z = BoxVertices[i].z;
    v.tu = BoxVertices[i].tu;
    v.tv = BoxVertices[i].tv;
    v.nx = v.x;
    v.ny = v.y;
    v.nz = -1;
  }
  CopyFaces(BoxFaces, FxFrontFaces, 48);
  FFaceCount = 16;
  FFaceVertices = 3;
}

void TTurner::DoFrame(uint16_t Step) {
  const int k = Step;
  const auto n = static_cast<uint16_t>(FVertexCount);
  CopyFaces(BoxFaces, FxFrontFaces, FFaceCount * FFaceVertices);
  const double x = k / 1000.0;
  RotateVertices(0, n, 0, static_cast<float>(2.5 * Pi * x), 0, 0, 0, 0);
  RotateVertices(0, n, static_cast<float>(-1.7 * Pi * x), 0, 0, 0, 0, 0);
  RotateVertices(0, n, 0, static_cast<float>(-0.3 * Pi * x), 0, 0, 0, 0);
  ScaleVertices(0, n, static_cast<float>(1 - x * x));
  // The box's front side comes to the picture plane at step 0.
  TranslateVertices(0, n, static_cast<float>(k / 500.0), 0, static_cast<float>(k / 200.0 + 1));
  if (k >= 600) ScaleVertices(0, n, static_cast<float>((1000 - k) / 400.0));
}

int32_t TTurner::GetFxID() const { return 0x373; }
std::string TTurner::GetDescription() const { return "Diament pudełko"; }

}  // namespace movara
