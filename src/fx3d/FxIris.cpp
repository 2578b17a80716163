// The tile grid and the iris family: the first picture cut into n x n separate tiles
// that fly apart, turn away or shrink and close, over the second picture as the scene
// background.
#include <algorithm>
#include <numbers>

#include "base/Format.h"
#include "fx3d/FxFlat.h"

namespace movara {

TBaseSquare::TBaseSquare(int n) {
  FGridSize = n;
  if (n <= 0) throw EFx3d(Format("Trying to create %d squares !", n));
  // Checked in 64 bits: a large n must not wrap into a small vertex count.
  const long long vertices = 4LL * n * n;
  if (vertices > FxBufferCapacity) throw EFx3d("Too many Vertices!");
  // Two triangles per tile must fit the face buffer too (n <= 26).
  if (6LL * n * n > FxBufferCapacity) throw EFx3d("Too many Faces!");
  CreateVertex(static_cast<int>(vertices));
  ClearVertex();
  if (!FVertexList) return;

  const double f = 2.0 / n, g = 1.0 / n;
  for (int b = 0; b < n; ++b) {
    for (int d = 0; d < n; ++d) {
      TFxVertex* v = &FVertexList[4 * (b * n + d)];
      // Corners in vertex order: top-left, top-right, bottom-left, bottom-right.
      const int col[4] = {d, d + 1, d, d + 1};
      const int row[4] = {b, b, b + 1, b + 1};
      for (int j = 0; j < 4; ++j) {
        v[j].x = static_cast<float>(f * col[j] - 1);
        v[j].y = static_cast<float>(1 - f * row[j]);
        v[j].z = 0;
        v[j].tu = static_cast<float>(g * col[j]);
        v[j].tv = static_cast<float>(1 - g * row[j]);
        v[j].nx = v[j].x;
        v[j].ny = v[j].y;
        v[j].nz = 0;
        v[j].color = 0xFFFFFFFFu;
      }
    }
  }
  FFaceCount = 2 * n * n;
  FFaceVertices = 3;
}

void TBaseSquare::DoFrame(uint16_t) {}
int32_t TBaseSquare::GetFxID() const { return 1; }
std::string TBaseSquare::GetDescription() const {
  return "Bazowy obiekt do tworzenia kwadratów";
}

void TBaseSquare::Execute(uint16_t Step) {
  if (Step == 0) {
    const int tiles = std::min(FGridSize * FGridSize, FxBufferCapacity / 6);
    for (int i = 0; i < tiles; ++i) {
      int32_t* face = &FxFrontFaces[6 * i];
      face[0] = 4 * i;
      face[1] = 4 * i + 3;
      face[2] = 4 * i + 2;
      face[3] = 4 * i;
      face[4] = 4 * i + 1;
      face[5] = 4 * i + 3;
    }
  }
  CopyRestPose();
  FillBackVertices();
  DoFrame(Step);
  ApplyViewAdjustment();
}

// ---------------------------------------------------------------------------------
// The 2 x 2 iris effects: tile l = row * 2 + column, and CornerDirections[l] points from
// the picture's centre toward that tile's outer corner.

namespace {

int IrisTiles(int vertexCount) { return std::min(vertexCount / 4, 4); }

// Every vertex of tile l moves by factor times the tile's corner direction.
void MoveTiles(int vertexCount, double factor) {
  for (int l = 0; l < IrisTiles(vertexCount); ++l) {
    const double dx = CornerDirections[l].dx * factor, dy = CornerDirections[l].dy * factor;
    for (int j = 0; j < 4; ++j) {
      TFxVertex& v = FxFrontVertices[4 * l + j];
      v.x = static_cast<float>(v.x + dx);
      v.y = static_cast<float>(v.y + dy);
    }
  }
}

// Turns tile l about the current position of front vertex centreOf(l), tile after tile,
// so a centre on an earlier tile has already moved with it.
template <class TCentre>
void TurnTiles(int vertexCount, double angle, TCentre centreOf) {
  for (int l = 0; l < IrisTiles(vertexCount); ++l) {
    const TFxVertex c = FxFrontVertices[centreOf(l)];
    RotateVertices(static_cast<uint16_t>(4 * l), 4, 0, 0, static_cast<float>(angle), c.x, c.y,
                   c.z);
  }
}

}  // namespace

TIrisMove::TIrisMove() : TBaseSquare(2) {}
void TIrisMove::DoFrame(uint16_t Step) { MoveTiles(FVertexCount, Step / 1000.0); }
int32_t TIrisMove::GetFxID() const { return 0x160; }
std::string TIrisMove::GetDescription() const { return "Rozchodzący się Irys"; }

TIrisBMove::TIrisBMove() : TBaseSquare(2) {}
void TIrisBMove::DoFrame(uint16_t Step) { MoveTiles(FVertexCount, -Step / 500.0); }
int32_t TIrisBMove::GetFxID() const { return 0x161; }
std::string TIrisBMove::GetDescription() const { return "Rozchodzący się Irys inaczej"; }

TIrisRotate1::TIrisRotate1() : TBaseSquare(2) {}
void TIrisRotate1::DoFrame(uint16_t Step) {
  // Centres at rest: (-1, 1), (-1, 0), (0, 1), (0, 0).
  TurnTiles(FVertexCount, std::numbers::pi * Step / 2000, [](int l) { return l + l % 4; });
}
int32_t TIrisRotate1::GetFxID() const { return 0x170; }
std::string TIrisRotate1::GetDescription() const { return "Rotacja szachownicy 1"; }

TIrisRotate2::TIrisRotate2() : TBaseSquare(2) {}
void TIrisRotate2::DoFrame(uint16_t Step) {
  // Each quarter turns about its own outer corner of the picture.
  TurnTiles(FVertexCount, std::numbers::pi * Step / 2000, [](int l) { return 4 * l + l % 4; });
}
int32_t TIrisRotate2::GetFxID() const { return 0x171; }
std::string TIrisRotate2::GetDescription() const { return "Rotacja szachownicy 2"; }

TIrisRotate3::TIrisRotate3() : TBaseSquare(2) {}
void TIrisRotate3::DoFrame(uint16_t Step) {
  TurnTiles(FVertexCount, -std::numbers::pi * Step / 2000, [](int l) { return 4 * l + l % 4; });
}
int32_t TIrisRotate3::GetFxID() const { return 0x172; }
std::string TIrisRotate3::GetDescription() const { return "Rotacja szachownicy 3"; }

// ---------------------------------------------------------------------------------

TIrisScale::TIrisScale() : TBaseSquare(2) {}
TIrisScale::TIrisScale(int n) : TBaseSquare(n) {}

void TIrisScale::DoFrame(uint16_t Step) {
  const double k = Step;
  const int n = FGridSize;
  const int tiles = std::min(n * n, FVertexCount / 4);
  // Phase one: every corner walks through its tile's centre to the opposite corner, so
  // the tile shows its piece turned by half a turn at step 700.
  const double a = k <= 700 ? k / ((n / 2.0) * 700) : 2.0 / n;
  for (int t = 0; t < tiles; ++t) {
    for (int j = 0; j < 4; ++j) {
      TFxVertex& v = FxFrontVertices[4 * t + j];
      v.x = static_cast<float>(v.x - CornerDirections[j].dx * a);
      v.y = static_cast<float>(v.y - CornerDirections[j].dy * a);
    }
  }
  // Phase two: vertices 0 and 3 close the tile into the diagonal through 1 and 2.
  if (k > 700) {
    const int half = std::max(n / 2, 1);  // a one-tile grid would divide by zero
    const double b = (k - 700) / (half * 600.0);
    for (int t = 0; t < tiles; ++t) {
      TFxVertex& v0 = FxFrontVertices[4 * t];
      TFxVertex& v3 = FxFrontVertices[4 * t + 3];
      v0.x = static_cast<float>(v0.x - b);
      v0.y = static_cast<float>(v0.y + b);
      v3.x = static_cast<float>(v3.x + b);
      v3.y = static_cast<float>(v3.y - b);
    }
  }
}
int32_t TIrisScale::GetFxID() const { return 0x162; }
std::string TIrisScale::GetDescription() const { return "Skalowanie szachownicy"; }

TIrisScale16::TIrisScale16() : TIrisScale(4) {}
int32_t TIrisScale16::GetFxID() const { return 0x164; }
std::string TIrisScale16::GetDescription() const { return "Skalowanie szachownicy - 16 części"; }

TIrisScale25::TIrisScale25() : TIrisScale(5) {}
int32_t TIrisScale25::GetFxID() const { return 0x165; }
std::string TIrisScale25::GetDescription() const { return "Skalowanie szachownicy - 25 części"; }

TIrisScale36::TIrisScale36() : TIrisScale(6) {}
int32_t TIrisScale36::GetFxID() const { return 0x166; }
std::string TIrisScale36::GetDescription() const { return "Skalowanie szachownicy - 36 części"; }

TIrisScale49::TIrisScale49() : TIrisScale(7) {}
int32_t TIrisScale49::GetFxID() const { return 0x167; }
std::string TIrisScale49::GetDescription() const { return "Skalowanie szachownicy - 49 części"; }

TIrisScale64::TIrisScale64() : TIrisScale(8) {}
int32_t TIrisScale64::GetFxID() const { return 0x168; }
std::string TIrisScale64::GetDescription() const { return "Skalowanie szachownicy - 64 części"; }

}  // namespace movara
