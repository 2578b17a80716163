#pragma once
// The flat transitions: the first picture on one quad (TRightMoveFx3d and its
// descendants) or on a grid of separate square tiles (TBaseSquare and the iris family),
// moved, squeezed, swept, turned or faded away in the picture plane.
#include <cstdint>
#include <string>

#include "fx3d/Fx3d.h"

namespace movara {

// The quad split along the top-left to bottom-right diagonal.
inline constexpr int32_t DiagonalQuadFaces[6] = {0, 3, 2, 0, 1, 3};

// Direction of each quad corner in vertex order: top-left, top-right, bottom-left,
// bottom-right.
struct TCornerDirection {
  int16_t dx, dy;
};
inline constexpr TCornerDirection CornerDirections[4] = {{-1, 1}, {1, 1}, {-1, -1}, {1, -1}};

// Appends the 47 flat effects to the catalogue in catalogue order.
class TFxList;
void AddFlatEffects(TFxList& list);

// ---------------------------------------------------------------------------------
// Single quad. TRightMoveFx3d is itself "Przesuwanie w prawo" and the base of the other
// single-quad effects: a quad over the whole view with a back quad of four vertices.

class TRightMoveFx3d : public TFx3d {
 public:
  TRightMoveFx3d();
  void DoFrame(uint16_t Step) override;
  int32_t GetFxID() const override;
  std::string GetDescription() const override;
};

#define MOVARA_QUAD_EFFECT(Name)                     \
  class Name : public TRightMoveFx3d {               \
   public:                                           \
    Name();                                          \
    void DoFrame(uint16_t Step) override;            \
    int32_t GetFxID() const override;                \
    std::string GetDescription() const override;     \
  }

// Moves.
MOVARA_QUAD_EFFECT(TLeftMoveFx3d);
MOVARA_QUAD_EFFECT(TUpMoveFx3d);
MOVARA_QUAD_EFFECT(TDownMoveFx3d);
MOVARA_QUAD_EFFECT(TRightUpMoveFx3d);
MOVARA_QUAD_EFFECT(TRightDownMoveFx3d);
MOVARA_QUAD_EFFECT(TLeftDownMoveFx3d);
MOVARA_QUAD_EFFECT(TLeftUpMoveFx3d);
// A quarter-size square that travels around the picture.
MOVARA_QUAD_EFFECT(TTerrific_01Fx3d);
// Edge, centre and oblique scales.
MOVARA_QUAD_EFFECT(TRightScale);
MOVARA_QUAD_EFFECT(TLeftScale);
MOVARA_QUAD_EFFECT(TUpScale);
MOVARA_QUAD_EFFECT(TDownScale);
MOVARA_QUAD_EFFECT(TRightUpScale);
MOVARA_QUAD_EFFECT(TRightDownScale);
MOVARA_QUAD_EFFECT(TLeftUpScale);
MOVARA_QUAD_EFFECT(TLeftDownScale);
MOVARA_QUAD_EFFECT(TCenterScale);
MOVARA_QUAD_EFFECT(TCenterHScale);
MOVARA_QUAD_EFFECT(TCenterVScale);
MOVARA_QUAD_EFFECT(TObliqueScale);
MOVARA_QUAD_EFFECT(TObliqueBScale);
// Radial sweeps: one corner after another swings across, bent toward the viewer.
MOVARA_QUAD_EFFECT(TRadialScale);
MOVARA_QUAD_EFFECT(TRadialBScale);
MOVARA_QUAD_EFFECT(TRadialCScale);
MOVARA_QUAD_EFFECT(TRadialDScale);
// Pushes (foBackMesh): the second picture comes in on the back quad.
MOVARA_QUAD_EFFECT(TRightPushFx3d);
MOVARA_QUAD_EFFECT(TLeftPushFx3d);
MOVARA_QUAD_EFFECT(TUpPushFx3d);
MOVARA_QUAD_EFFECT(TDownPushFx3d);
MOVARA_QUAD_EFFECT(TRightPushScale);
MOVARA_QUAD_EFFECT(TLeftPushScale);
MOVARA_QUAD_EFFECT(TUpPushScale);
MOVARA_QUAD_EFFECT(TDownPushScale);
// Cross-fade (foAlphaBlend, foBackMesh).
MOVARA_QUAD_EFFECT(TFade);
// The still-picture effect $199.
MOVARA_QUAD_EFFECT(TStillSquare);

#undef MOVARA_QUAD_EFFECT

// ---------------------------------------------------------------------------------
// Grid of n x n separate tiles, four own vertices each, without a back mesh.

class TBaseSquare : public TFx3d {
 public:
  // Raises EFx3d "Trying to create 0 squares !" for n = 0, "Too many Vertices!" when
  // 4n^2 passes 4096 and "Too many Faces!" when the 6n^2 face indices pass 4096.
  explicit TBaseSquare(int n);
  void DoFrame(uint16_t Step) override;
  int32_t GetFxID() const override;
  std::string GetDescription() const override;
  // Writes the tile faces at step 0 instead of the back faces.
  void Execute(uint16_t Step) override;

  int32_t GridSize() const { return FGridSize; }

 protected:
  int32_t FGridSize = 0;
};

#define MOVARA_GRID_EFFECT(Name, Base)               \
  class Name : public Base {                         \
   public:                                           \
    Name();                                          \
    void DoFrame(uint16_t Step) override;            \
    int32_t GetFxID() const override;                \
    std::string GetDescription() const override;     \
  }

MOVARA_GRID_EFFECT(TIrisMove, TBaseSquare);
MOVARA_GRID_EFFECT(TIrisBMove, TBaseSquare);
MOVARA_GRID_EFFECT(TIrisRotate1, TBaseSquare);
MOVARA_GRID_EFFECT(TIrisRotate2, TBaseSquare);
MOVARA_GRID_EFFECT(TIrisRotate3, TBaseSquare);

#undef MOVARA_GRID_EFFECT

// Every tile shrinks, turns over through its centre and closes into its diagonal.
class TIrisScale : public TBaseSquare {
 public:
  TIrisScale();
  void DoFrame(uint16_t Step) override;
  int32_t GetFxID() const override;
  std::string GetDescription() const override;

 protected:
  explicit TIrisScale(int n);
};

#define MOVARA_IRIS_SCALE(Name)                      \
  class Name : public TIrisScale {                   \
   public:                                           \
    Name();                                          \
    int32_t GetFxID() const override;                \
    std::string GetDescription() const override;     \
  }

MOVARA_IRIS_SCALE(TIrisScale16);
MOVARA_IRIS_SCALE(TIrisScale25);
MOVARA_IRIS_SCALE(TIrisScale36);
MOVARA_IRIS_SCALE(TIrisScale49);
MOVARA_IRIS_SCALE(TIrisScale64);

#undef MOVARA_IRIS_SCALE

}  // namespace movara
