// Geometry of the flat transitions: rest pose, faces, and the positions the formulas
// give at chosen steps, before the view adjustment (scale 1, offset 0).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "fx3d/Fx3d.h"
#include "fx3d/FxFlat.h"
#include "fx3d/FxList.h"

namespace movara {
namespace {

struct TBox {
  double minX = 1e9, maxX = -1e9, minY = 1e9, maxY = -1e9;
};

TBox BoxOf(const TFxVertex* v, int first, int count) {
  TBox b;
  for (int i = first; i < first + count; ++i) {
    b.minX = std::min<double>(b.minX, v[i].x);
    b.maxX = std::max<double>(b.maxX, v[i].x);
    b.minY = std::min<double>(b.minY, v[i].y);
    b.maxY = std::max<double>(b.maxY, v[i].y);
  }
  return b;
}

// Nothing of the box lies inside the open view (-1, 1)^2.
bool OutsideView(const TBox& b) {
  const double e = 1e-5;
  return b.minX >= 1 - e || b.maxX <= -1 + e || b.minY >= 1 - e || b.maxY <= -1 + e;
}

double TriangleArea(const TFxVertex& a, const TFxVertex& b, const TFxVertex& c) {
  return 0.5 * ((b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y));
}

double UnsignedArea(const TFxVertex* v, const int32_t* faces, int triangles) {
  double sum = 0;
  for (int t = 0; t < triangles; ++t)
    sum += std::fabs(TriangleArea(v[faces[3 * t]], v[faces[3 * t + 1]], v[faces[3 * t + 2]]));
  return sum;
}

// Every sample point of the view lies in exactly one triangle, and no triangle pokes
// out of the view: the faces tile the view exactly.
void ExpectTilesTheView(const TFxVertex* v, const int32_t* faces, int triangles,
                        const std::string& what) {
  EXPECT_NEAR(UnsignedArea(v, faces, triangles), 4.0, 1e-4) << what;
  int wrong = 0;
  for (int i = 0; i < 23; ++i) {
    for (int j = 0; j < 23; ++j) {
      const double px = -1 + (i + 0.37) * 2 / 23, py = -1 + (j + 0.61) * 2 / 23;
      int inside = 0;
      for (int t = 0; t < triangles; ++t) {
        const TFxVertex &a = v[faces[3 * t]], &b = v[faces[3 * t + 1]], &c = v[faces[3 * t + 2]];
        const double d1 = (b.x - a.x) * (py - a.y) - (px - a.x) * (b.y - a.y);
        const double d2 = (c.x - b.x) * (py - b.y) - (px - b.x) * (c.y - b.y);
        const double d3 = (a.x - c.x) * (py - c.y) - (px - c.x) * (a.y - c.y);
        if ((d1 > 0 && d2 > 0 && d3 > 0) || (d1 < 0 && d2 < 0 && d3 < 0)) ++inside;
      }
      if (inside != 1) ++wrong;
    }
  }
  EXPECT_EQ(wrong, 0) << what;
}

// Rest position of quad vertex i: top-left, top-right, bottom-left, bottom-right.
const double kRestX[4] = {-1, 1, -1, 1};
const double kRestY[4] = {1, 1, -1, -1};

#define EXPECT_XY(i, ex, ey)                                   \
  do {                                                         \
    EXPECT_NEAR(FxFrontVertices[i].x, (ex), 1e-5) << "x" << i; \
    EXPECT_NEAR(FxFrontVertices[i].y, (ey), 1e-5) << "y" << i; \
  } while (0)

class FxFlatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetFxViewAdjustment();
    AddFlatEffects(flat_);
  }
  void TearDown() override { ResetFxViewAdjustment(); }
  TFx3d& Fx(int32_t id) {
    TFx3d* fx = flat_.FindByID(id);
    if (!fx) throw std::runtime_error("no effect");
    return *fx;
  }
  TFxList flat_{false};
};

TEST_F(FxFlatTest, EveryFlatEffectRestsOnTheFullView) {
  ASSERT_EQ(flat_.Count(), 47);
  for (int e = 0; e < flat_.Count(); ++e) {
    TFx3d& fx = *flat_.Items(e);
    const std::string what = fx.GetDescription();
    fx.Execute(0);
    const bool grid = dynamic_cast<TBaseSquare*>(&fx) != nullptr;
    EXPECT_EQ(fx.BackVertexCount(), grid ? 0 : 4) << what;
    EXPECT_EQ(fx.BackFaceCount(), grid ? 0 : 2) << what;
    EXPECT_EQ(fx.FaceCount() * 2, fx.VertexCount()) << what;
    for (int i = 0; i < fx.VertexCount(); ++i) {
      const TFxVertex& v = FxFrontVertices[i];
      ASSERT_LE(std::fabs(v.x), 1.0f) << what;
      ASSERT_LE(std::fabs(v.y), 1.0f) << what;
      ASSERT_EQ(v.z, 0.0f) << what;
      // The texture lies on the view as it is: u from the left, v from the bottom.
      ASSERT_NEAR(v.tu, (v.x + 1) / 2, 1e-6) << what << " " << i;
      ASSERT_NEAR(v.tv, (v.y + 1) / 2, 1e-6) << what << " " << i;
      ASSERT_EQ(v.color, 0xFFFFFFFFu) << what;
    }
    ExpectTilesTheView(FxFrontVertices, FxFrontFaces, fx.FaceCount(), what);
  }
}

TEST_F(FxFlatTest, FacesAreTheSameAtEveryStep) {
  const uint16_t steps[] = {1, 99, 100, 101, 250, 333, 334, 350, 500, 666,
                            667, 700, 701, 900, 901, 950, 999, 1000};
  for (int e = 0; e < flat_.Count(); ++e) {
    TFx3d& fx = *flat_.Items(e);
    const std::string what = fx.GetDescription();
    fx.Execute(0);
    const std::vector<int32_t> front(FxFrontFaces, FxFrontFaces + fx.FaceCount() * 3);
    const std::vector<int32_t> back(FxBackFaces, FxBackFaces + fx.BackFaceCount() * 3);
    for (int32_t index : front) ASSERT_TRUE(index >= 0 && index < fx.VertexCount()) << what;
    for (uint16_t k : steps) {
      fx.Execute(k);
      ASSERT_EQ(std::vector<int32_t>(FxFrontFaces, FxFrontFaces + front.size()), front)
          << what << " at " << k;
      ASSERT_EQ(std::vector<int32_t>(FxBackFaces, FxBackFaces + back.size()), back) << what;
      for (int i = 0; i < fx.VertexCount(); ++i)
        ASSERT_TRUE(std::isfinite(FxFrontVertices[i].x) && std::isfinite(FxFrontVertices[i].y) &&
                    std::isfinite(FxFrontVertices[i].z))
            << what << " at " << k;
    }
  }
  // The split of the quad: along the top-left/bottom-right diagonal for three effects.
  for (int32_t id : {0x116, 0x119, 0x199, 0x101, 0x117, 0x202}) {
    Fx(id).Execute(0);
    const bool diagonal = id == 0x116 || id == 0x119 || id == 0x199;
    const int32_t* expected = diagonal ? DiagonalQuadFaces : QuadFaces;
    EXPECT_TRUE(std::equal(expected, expected + 6, FxFrontFaces)) << std::hex << id;
  }
}

TEST_F(FxFlatTest, MovesCarryThePictureOutOfTheView) {
  struct TMove {
    int32_t id;
    int dx, dy;
  };
  const TMove moves[] = {{0x101, 1, 0},  {0x102, -1, 0}, {0x103, 0, 1},  {0x104, 0, -1},
                         {0x105, 1, 1},  {0x106, 1, -1}, {0x107, -1, -1}, {0x108, -1, 1}};
  for (const TMove& m : moves) {
    for (uint16_t k : {250, 500, 1000}) {
      Fx(m.id).Execute(k);
      for (int i = 0; i < 4; ++i) EXPECT_XY(i, kRestX[i] + m.dx * k / 500.0, kRestY[i] + m.dy * k / 500.0);
    }
    EXPECT_TRUE(OutsideView(BoxOf(FxFrontVertices, 0, 4))) << std::hex << m.id;
  }
  // The right move at half way spans 0 .. 2, at the end 1 .. 3.
  Fx(0x101).Execute(500);
  const TBox half = BoxOf(FxFrontVertices, 0, 4);
  EXPECT_FLOAT_EQ(half.minX, 0);
  EXPECT_FLOAT_EQ(half.maxX, 2);
  Fx(0x101).Execute(1000);
  const TBox end = BoxOf(FxFrontVertices, 0, 4);
  EXPECT_FLOAT_EQ(end.minX, 1);
  EXPECT_FLOAT_EQ(end.maxX, 3);
  EXPECT_FLOAT_EQ(end.minY, -1);
}

TEST_F(FxFlatTest, ScalesSqueezeThePictureAway) {
  struct TScale {
    int32_t id;
    std::vector<int> xs, ys;  // vertices whose x, y are scaled
    bool centre;              // 1 - k/1000 instead of 1 - k/500
  };
  const std::vector<int> all = {0, 1, 2, 3};
  const TScale scales[] = {
      {0x109, {0, 2}, {}, false},       {0x10A, {1, 3}, {}, false},
      {0x10B, {}, {2, 3}, false},       {0x10C, {}, {0, 1}, false},
      {0x10D, {0, 2}, {2, 3}, false},   {0x10E, {0, 2}, {0, 1}, false},
      {0x10F, {1, 3}, {2, 3}, false},   {0x110, {1, 3}, {0, 1}, false},
      {0x111, all, all, true},          {0x112, all, {}, true},
      {0x113, {}, all, true},           {0x114, {}, {0, 3}, false},
      {0x115, {}, {1, 2}, false},
  };
  for (const TScale& sc : scales) {
    for (uint16_t k : {0, 200, 500, 750, 1000}) {
      const double s = sc.centre ? 1 - k / 1000.0 : 1 - k / 500.0;
      Fx(sc.id).Execute(k);
      for (int i = 0; i < 4; ++i) {
        const bool sx = std::find(sc.xs.begin(), sc.xs.end(), i) != sc.xs.end();
        const bool sy = std::find(sc.ys.begin(), sc.ys.end(), i) != sc.ys.end();
        EXPECT_XY(i, kRestX[i] * (sx ? s : 1), kRestY[i] * (sy ? s : 1));
      }
    }
    // Gone at the end: no triangle keeps any area.
    EXPECT_NEAR(UnsignedArea(FxFrontVertices, FxFrontFaces, 2), 0, 1e-6) << std::hex << sc.id;
  }
  Fx(0x109).Execute(1000);
  for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(FxFrontVertices[i].x, 1);
  Fx(0x111).Execute(500);
  const TBox b = BoxOf(FxFrontVertices, 0, 4);
  EXPECT_FLOAT_EQ(b.minX, -0.5);
  EXPECT_FLOAT_EQ(b.maxX, 0.5);
  EXPECT_FLOAT_EQ(b.minY, -0.5);
  EXPECT_FLOAT_EQ(b.maxY, 0.5);
}

TEST_F(FxFlatTest, RadialSweepsSwingOneCornerAfterAnother) {
  // TRadialScale: corner 1 comes down, corner 3 swings across bent toward the viewer.
  Fx(0x116).Execute(333);
  EXPECT_NEAR(FxFrontVertices[1].x, 1, 1e-6);
  EXPECT_NEAR(FxFrontVertices[1].y, -1, 1e-6);
  EXPECT_NEAR(FxFrontVertices[1].z, 0, 1e-6);
  Fx(0x116).Execute(500);
  const double s2 = 1 - 2 * (500 - 333) / 333.0;
  EXPECT_NEAR(FxFrontVertices[3].x, s2, 1e-6);
  EXPECT_NEAR(FxFrontVertices[3].x, 0, 0.01);
  EXPECT_NEAR(FxFrontVertices[3].z, 0.75 * (s2 * s2 - 1), 1e-6);
  EXPECT_NEAR(FxFrontVertices[3].z, -0.75, 0.001);
  EXPECT_NEAR(FxFrontVertices[3].y, -1, 1e-6);

  struct TRadial {
    int32_t id;
    int first, second;
  };
  const TRadial radials[] = {{0x116, 1, 3}, {0x117, 0, 2}, {0x118, 3, 1}, {0x119, 2, 0}};
  for (const TRadial& r : radials) {
    // Phase one half done: the first corner's y is at the centre line.
    Fx(r.id).Execute(166);
    EXPECT_NEAR(FxFrontVertices[r.first].y, kRestY[r.first] * (1 - 2 * 166 / 333.0), 1e-6);
    EXPECT_NEAR(FxFrontVertices[r.first].z, 0, 1e-6);
    EXPECT_XY(r.second, kRestX[r.second], kRestY[r.second]);
    // Phase three half done: the second corner is across, the first swings with depth.
    Fx(r.id).Execute(833);
    const double s3 = 1 - 2 * (833 - 666) / 333.0;
    EXPECT_XY(r.second, -kRestX[r.second], kRestY[r.second]);
    EXPECT_NEAR(FxFrontVertices[r.second].z, 0, 1e-6);
    EXPECT_XY(r.first, kRestX[r.first] * s3, -kRestY[r.first]);
    EXPECT_NEAR(FxFrontVertices[r.first].z, 0.75 * (s3 * s3 - 1), 1e-6);
    // At the end only a sliver outside the view is left.
    Fx(r.id).Execute(1000);
    EXPECT_LT(UnsignedArea(FxFrontVertices, FxFrontFaces, 2), 0.01) << std::hex << r.id;
    for (int i = 0; i < 4; ++i)
      if (i != r.first && i != r.second) EXPECT_XY(i, kRestX[i], kRestY[i]);
  }
}

TEST_F(FxFlatTest, PushesBringTheBackQuadToTheFullView) {
  for (int32_t id : {0x130, 0x131, 0x132, 0x133, 0x140, 0x141, 0x142, 0x143}) {
    TFx3d& fx = Fx(id);
    EXPECT_TRUE(fx.Options().Contains(foBackMesh));
    fx.Execute(0);
    // The second picture is not in the view yet.
    const TBox back0 = BoxOf(FxBackVertices, 0, 4);
    EXPECT_TRUE(OutsideView(back0) || UnsignedArea(FxBackVertices, FxBackFaces, 2) < 1e-6)
        << std::hex << id;
    fx.Execute(1000);
    ExpectTilesTheView(FxBackVertices, FxBackFaces, 2, "back of " + fx.GetDescription());
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(FxBackVertices[i].tu, DefaultBackQuad[i].tu);
      EXPECT_EQ(FxBackVertices[i].tv, DefaultBackQuad[i].tv);
    }
    EXPECT_TRUE(OutsideView(BoxOf(FxFrontVertices, 0, 4)) ||
                UnsignedArea(FxFrontVertices, FxFrontFaces, 2) < 1e-6)
        << std::hex << id;
  }
  // Half way: the plain push keeps the two pictures edge to edge.
  Fx(0x130).Execute(500);
  for (int i = 0; i < 4; ++i) {
    EXPECT_XY(i, kRestX[i] + 1, kRestY[i]);
    EXPECT_FLOAT_EQ(FxBackVertices[i].x, FxFrontVertices[i].x - 2);
    EXPECT_FLOAT_EQ(FxBackVertices[i].y, kRestY[i]);
  }
  Fx(0x133).Execute(250);
  for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(FxBackVertices[i].y, FxFrontVertices[i].y + 2);
  // The push-scales share one moving edge; the far edges stay.
  Fx(0x140).Execute(500);
  EXPECT_XY(0, 0, 1);
  EXPECT_XY(1, 1, 1);
  EXPECT_FLOAT_EQ(FxBackVertices[0].x, -1);
  EXPECT_FLOAT_EQ(FxBackVertices[1].x, 0);
  EXPECT_FLOAT_EQ(FxBackVertices[3].x, 0);
  Fx(0x142).Execute(250);
  EXPECT_XY(2, -1, -0.5);
  EXPECT_FLOAT_EQ(FxBackVertices[0].y, -0.5);
  EXPECT_FLOAT_EQ(FxBackVertices[1].y, -0.5);
  EXPECT_FLOAT_EQ(FxBackVertices[2].y, -1);
  Fx(0x143).Execute(750);
  EXPECT_XY(0, -1, -0.5);
  EXPECT_FLOAT_EQ(FxBackVertices[2].y, -0.5);
  EXPECT_FLOAT_EQ(FxBackVertices[0].y, 1);
  Fx(0x141).Execute(1000);
  EXPECT_XY(3, -1, -1);
  EXPECT_FLOAT_EQ(FxBackVertices[2].x, -1);
}

TEST_F(FxFlatTest, TravellingSquareVisitsEveryQuarter) {
  TFx3d& fx = Fx(0x201);
  struct TStop {
    uint16_t k;
    double left, top;  // top-left corner of the quarter-size square
  };
  const TStop stops[] = {{100, -1, 1}, {300, 0, 1}, {500, 0, 0}, {700, -1, 0}, {900, -1, 1}};
  for (const TStop& s : stops) {
    fx.Execute(s.k);
    EXPECT_XY(0, s.left, s.top);
    EXPECT_XY(1, s.left + 1, s.top);
    EXPECT_XY(2, s.left, s.top - 1);
    EXPECT_XY(3, s.left + 1, s.top - 1);
  }
  fx.Execute(50);
  EXPECT_XY(1, 0.5, 1);
  EXPECT_XY(3, 0.5, -0.5);
  fx.Execute(400);
  EXPECT_XY(0, 0, 0.5);
  fx.Execute(950);
  EXPECT_XY(1, -0.5, 1);
  EXPECT_XY(3, -0.5, 0.5);
  fx.Execute(1000);
  for (int i = 0; i < 4; ++i) EXPECT_XY(i, -1, 1);
}

TEST_F(FxFlatTest, FadeCrossesTheAlphaOfBothQuads) {
  TFx3d& fx = Fx(0x202);
  EXPECT_EQ(fx.Options(), (TFxOptions{foAlphaBlend, foBackMesh}));
  const auto check = [&](uint16_t k, uint32_t frontAlpha, uint32_t backAlpha) {
    fx.Execute(k);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(FxFrontVertices[i].color, (frontAlpha << 24) | 0xFFFFFFu) << k;
      EXPECT_EQ(FxBackVertices[i].color, (backAlpha << 24) | 0xFFFFFFu) << k;
      EXPECT_XY(i, kRestX[i], kRestY[i]);
      EXPECT_EQ(FxBackVertices[i].x, DefaultBackQuad[i].x);
    }
  };
  check(0, 255, 0);
  check(3, 255, 0);
  check(4, 254, 1);
  check(500, 128, 127);
  check(1000, 0, 255);
  check(2000, 0, 255);  // beyond the end stays fully faded
}

TEST_F(FxFlatTest, StillSquareTurnsAboutTheVerticalAxis) {
  TFx3d& fx = Fx(0x199);
  fx.Execute(0);
  for (int i = 0; i < 4; ++i) {
    EXPECT_XY(i, kRestX[i], kRestY[i]);
    EXPECT_EQ(FxFrontVertices[i].nz, 1);
    EXPECT_EQ(FxFrontVertices[i].nx, FxFrontVertices[i].x);
  }
  fx.Execute(500);  // edge on
  EXPECT_NEAR(FxFrontVertices[1].x, 0, 1e-6);
  EXPECT_NEAR(FxFrontVertices[1].z, 1, 1e-6);
  EXPECT_NEAR(FxFrontVertices[0].z, -1, 1e-6);
  EXPECT_NEAR(FxFrontVertices[1].nx, FxFrontVertices[1].x, 1e-6);
  fx.Execute(1000);  // half a turn: mirrored
  EXPECT_NEAR(FxFrontVertices[1].x, -1, 1e-6);
  EXPECT_NEAR(FxFrontVertices[1].z, 0, 1e-6);
  EXPECT_NEAR(FxFrontVertices[1].y, 1, 1e-6);
}

// ---------------------------------------------------------------------------------
// Tile grids.

TEST_F(FxFlatTest, BaseSquareSizesAndErrors) {
  const auto message = [](int n) -> std::string {
    try {
      TBaseSquare grid(n);
    } catch (const EFx3d& e) {
      return e.what();
    }
    return "";
  };
  EXPECT_EQ(message(0), "Trying to create 0 squares !");
  EXPECT_EQ(message(33), "Too many Vertices!");     // 4356 vertices
  EXPECT_EQ(message(32768), "Too many Vertices!");  // 4n^2 would wrap to 0 in 32 bits
  EXPECT_EQ(message(27), "Too many Faces!");        // 4374 face indices
  EXPECT_NE(message(-3), "");
  EXPECT_EQ(message(26), "");

  TBaseSquare grid(3);
  EXPECT_EQ(grid.GetFxID(), 1);
  EXPECT_EQ(grid.GetDescription(), "Bazowy obiekt do tworzenia kwadratów");
  EXPECT_EQ(grid.GridSize(), 3);
  EXPECT_EQ(grid.VertexCount(), 36);
  EXPECT_EQ(grid.FaceCount(), 18);
  EXPECT_EQ(grid.BackVertexCount(), 0);
  // Row 1, column 2 starts at vertex 4 * (1 * 3 + 2) = 20.
  const TFxVertex* v = grid.VertexList() + 20;
  EXPECT_FLOAT_EQ(v[0].x, 1.0f / 3);
  EXPECT_FLOAT_EQ(v[0].y, 1.0f / 3);
  EXPECT_FLOAT_EQ(v[3].x, 1);
  EXPECT_FLOAT_EQ(v[3].y, -1.0f / 3);
  EXPECT_FLOAT_EQ(v[1].tu, 1);
  EXPECT_FLOAT_EQ(v[2].tv, 1.0f / 3);
  EXPECT_EQ(v[2].nx, v[2].x);
  EXPECT_EQ(v[2].nz, 0);

  for (int i = 0; i < 6; ++i) FxBackFaces[i] = 99;
  grid.Execute(0);
  const int32_t tile5[6] = {20, 23, 22, 20, 21, 23};
  EXPECT_TRUE(std::equal(tile5, tile5 + 6, FxFrontFaces + 30));
  EXPECT_EQ(FxBackFaces[0], 99);  // a grid has no back faces to write
  ExpectTilesTheView(FxFrontVertices, FxFrontFaces, grid.FaceCount(), "3 x 3");

  // The view adjustment reaches the grid too.
  SetFxViewAdjustment(640, 480);
  grid.Execute(0);
  EXPECT_FLOAT_EQ(FxFrontVertices[0].x, -1 - 0.85f / 640);
  EXPECT_FLOAT_EQ(FxFrontVertices[0].y, 0.75f + 0.85f / 640);
}

TEST_F(FxFlatTest, IrisScaleTurnsTilesOverAndClosesThem) {
  struct TGrid {
    int32_t id;
    int n;
  };
  const TGrid grids[] = {{0x162, 2}, {0x164, 4}, {0x165, 5}, {0x166, 6}, {0x167, 7}, {0x168, 8}};
  for (const TGrid& g : grids) {
    TFx3d& fx = Fx(g.id);
    ASSERT_EQ(fx.VertexCount(), 4 * g.n * g.n);
    const TFxVertex* rest = fx.VertexList();
    // Every tile is a point at its centre half way through phase one.
    fx.Execute(350);
    for (int t = 0; t < g.n * g.n; ++t) {
      const double cx = (rest[4 * t].x + rest[4 * t + 3].x) / 2;
      const double cy = (rest[4 * t].y + rest[4 * t + 3].y) / 2;
      for (int j = 0; j < 4; ++j) {
        ASSERT_NEAR(FxFrontVertices[4 * t + j].x, cx, 1e-5) << g.n;
        ASSERT_NEAR(FxFrontVertices[4 * t + j].y, cy, 1e-5) << g.n;
      }
    }
    // Each corner stands where the opposite corner started.
    fx.Execute(700);
    for (int t = 0; t < g.n * g.n; ++t)
      for (int j = 0; j < 4; ++j) {
        ASSERT_NEAR(FxFrontVertices[4 * t + j].x, rest[4 * t + 3 - j].x, 1e-5) << g.n;
        ASSERT_NEAR(FxFrontVertices[4 * t + j].y, rest[4 * t + 3 - j].y, 1e-5) << g.n;
      }
    fx.Execute(1000);
    const double b = 300.0 / ((g.n / 2) * 600);
    EXPECT_NEAR(FxFrontVertices[0].x, rest[3].x - b, 1e-5);
    EXPECT_NEAR(FxFrontVertices[0].y, rest[3].y + b, 1e-5);
    EXPECT_NEAR(FxFrontVertices[3].x, rest[0].x + b, 1e-5);
    if (g.n % 2 == 0) {
      // Closed into the diagonal: nothing of the first picture is left.
      EXPECT_NEAR(UnsignedArea(FxFrontVertices, FxFrontFaces, fx.FaceCount()), 0, 1e-5) << g.n;
    }
  }
  Fx(0x164).Execute(700);
  EXPECT_XY(0, -0.5, 0.5);
  // Five tiles a side: b = 0.25 passes the tile half-width 0.2, the tiles overshoot.
  Fx(0x165).Execute(1000);
  EXPECT_XY(0, -0.85, 0.85);
  EXPECT_XY(3, -0.75, 0.75);
}

TEST_F(FxFlatTest, IrisMovesSendTheQuartersAway) {
  TFx3d& out = Fx(0x160);
  TFx3d& across = Fx(0x161);
  ASSERT_EQ(out.VertexCount(), 16);
  for (uint16_t k : {400, 1000}) {
    out.Execute(k);
    for (int l = 0; l < 4; ++l)
      for (int j = 0; j < 4; ++j) {
        const TFxVertex& r = out.VertexList()[4 * l + j];
        EXPECT_XY(4 * l + j, r.x + CornerDirections[l].dx * k / 1000.0,
                  r.y + CornerDirections[l].dy * k / 1000.0);
      }
    across.Execute(k);
    for (int l = 0; l < 4; ++l)
      for (int j = 0; j < 4; ++j) {
        const TFxVertex& r = across.VertexList()[4 * l + j];
        EXPECT_XY(4 * l + j, r.x - CornerDirections[l].dx * k / 500.0,
                  r.y - CornerDirections[l].dy * k / 500.0);
      }
  }
  for (TFx3d* fx : {&out, &across}) {
    fx->Execute(1000);
    for (int l = 0; l < 4; ++l) EXPECT_TRUE(OutsideView(BoxOf(FxFrontVertices, 4 * l, 4))) << l;
  }
  // The top-left quarter went up and left; the inward one crossed to the bottom right.
  out.Execute(1000);
  EXPECT_XY(0, -2, 2);
  across.Execute(1000);
  EXPECT_XY(0, 1, -1);
}

TEST_F(FxFlatTest, IrisRotationsTurnTheQuartersOutOfTheView) {
  // Each quarter of the second and third turns about its own outer corner.
  TFx3d& two = Fx(0x171);
  two.Execute(500);
  const double r = std::sqrt(0.5);
  // Tile 0 turned by an eighth clockwise about (-1, 1): its inner corner (0, 0) swings
  // down to (-1, 1 - sqrt 2).
  EXPECT_XY(3, -1, 1 - 2 * r);
  EXPECT_XY(0, -1, 1);
  EXPECT_XY(5, 1, 1);    // tile 1 about (1, 1)
  EXPECT_XY(10, -1, -1);  // tile 2 about (-1, -1)
  EXPECT_XY(15, 1, -1);   // tile 3 about (1, -1)
  TFx3d& three = Fx(0x172);
  three.Execute(500);
  EXPECT_XY(3, -1 + 2 * r, 1);  // the other way: (0, 0) swings up to (sqrt 2 - 1, 1)
  // At the end every quarter has left the view, for all three.
  for (int32_t id : {0x170, 0x171, 0x172}) {
    Fx(id).Execute(1000);
    for (int l = 0; l < 4; ++l)
      EXPECT_TRUE(OutsideView(BoxOf(FxFrontVertices, 4 * l, 4))) << std::hex << id << " " << l;
  }
  // The first turns each tile about a point that moved with the tiles before it: the
  // second tile's centre is the first tile's bottom-left corner, turned with it.
  TFx3d& one = Fx(0x170);
  one.Execute(1000);
  EXPECT_XY(0, -1, 1);   // tile 0 about its own top-left corner
  EXPECT_XY(2, -2, 1);   // that tile's bottom-left corner after a quarter turn
  EXPECT_XY(4, -2, -1);  // tile 1's top-left corner, turned about (-2, 1)
  // The angle is not clamped: two thousand steps make a half turn.
  two.Execute(2000);
  EXPECT_XY(3, -2, 2);
}

}  // namespace
}  // namespace movara
