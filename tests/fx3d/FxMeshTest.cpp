// The mesh transitions: rest poses, positions at chosen steps against the formulas
// (computed here independently, in double), colours, face lists and counts.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "fx3d/FxMesh.h"

namespace movara {
namespace {

constexpr double Pi = std::numbers::pi;
constexpr double Tol = 2e-5;

struct P3 {
  double x, y, z;
};

// Rotation about the origin, x then y then z, as the effects define it.
P3 Rotated(P3 p, double ax, double ay, double az) {
  if (ax != 0)
    p = {p.x, p.y * std::cos(ax) + p.z * std::sin(ax), p.z * std::cos(ax) - p.y * std::sin(ax)};
  if (ay != 0)
    p = {p.x * std::cos(ay) - p.z * std::sin(ay), p.y, p.x * std::sin(ay) + p.z * std::cos(ay)};
  if (az != 0)
    p = {p.x * std::cos(az) + p.y * std::sin(az), p.y * std::cos(az) - p.x * std::sin(az), p.z};
  return p;
}

P3 Rest(const TFx3d& fx, int i) {
  const TFxVertex& v = fx.VertexList()[i];
  return {v.x, v.y, v.z};
}

void ExpectAt(int i, P3 want, double tol = Tol) {
  const TFxVertex& v = FxFrontVertices[i];
  EXPECT_NEAR(v.x, want.x, tol) << "vertex " << i;
  EXPECT_NEAR(v.y, want.y, tol) << "vertex " << i;
  EXPECT_NEAR(v.z, want.z, tol) << "vertex " << i;
}

// Runs Execute(k) and checks every front vertex against want(rest position, index).
void ExpectAll(TFx3d& fx, int k, const std::function<P3(P3, int)>& want, double tol = Tol) {
  fx.Execute(static_cast<uint16_t>(k));
  for (int i = 0; i < fx.VertexCount(); ++i) ExpectAt(i, want(Rest(fx, i), i), tol);
}

class FxMeshTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetFxViewAdjustment(); }
  void TearDown() override { ResetFxViewAdjustment(); }
};

// ---- strip base ----

TEST_F(FxMeshTest, StripBaseRejectsZeroAndOversizedCounts) {
  try {
    TBaseVertRect strips(0);
    ADD_FAILURE() << "0 strips accepted";
  } catch (const EFx3d& e) {
    EXPECT_STREQ(e.what(), "[TBaseVertRect] Trying to create 0 pieces !");
  }
  // Two sets of 2 triangles per strip: 341 strips fill 4092 face entries, 342 overflow.
  auto message = [](int m) {
    try {
      TBaseVertRect strips(m);
    } catch (const EFx3d& e) {
      return std::string(e.what());
    }
    return std::string("accepted");
  };
  EXPECT_EQ(message(342), "Too many Faces!");
  EXPECT_EQ(message(513), "Too many Vertices!");
  EXPECT_EQ(message(-1), "Too many Vertices!");
  EXPECT_EQ(message(1 << 30), "Too many Vertices!");
  TBaseVertRect most(341);
  EXPECT_EQ(most.VertexCount(), 8 * 341);
  EXPECT_EQ(most.FaceCount() * 3, 4092);
}

TEST_F(FxMeshTest, StripBaseLaysTwoSetsWithOppositeWinding) {
  TBaseVertRect strips(4);
  strips.Execute(0);
  EXPECT_EQ(strips.GetFxID(), 2);
  EXPECT_EQ(strips.GetDescription(), "Bazowy obiekt do tworzenia pionowych pasków");
  ASSERT_EQ(strips.VertexCount(), 32);
  EXPECT_EQ(strips.FaceCount(), 16);
  EXPECT_EQ(strips.FaceVertices(), 3);
  // Strip 1: x from -0.5 to 0, u from 0.25 to 0.5; the second set is the same.
  for (int base : {4, 20}) {
    const TFxVertex* v = &FxFrontVertices[base];
    EXPECT_FLOAT_EQ(v[0].x, -0.5f);
    EXPECT_FLOAT_EQ(v[0].y, 1);
    EXPECT_FLOAT_EQ(v[0].tu, 0.25f);
    EXPECT_FLOAT_EQ(v[0].tv, 1);
    EXPECT_FLOAT_EQ(v[1].x, 0);
    EXPECT_FLOAT_EQ(v[1].y, 1);
    EXPECT_FLOAT_EQ(v[1].tu, 0.5f);
    EXPECT_FLOAT_EQ(v[2].x, -0.5f);
    EXPECT_FLOAT_EQ(v[2].y, -1);
    EXPECT_FLOAT_EQ(v[2].tv, 0);
    EXPECT_FLOAT_EQ(v[3].x, 0);
    EXPECT_FLOAT_EQ(v[3].y, -1);
    EXPECT_FLOAT_EQ(v[3].tu, 0.5f);
    EXPECT_EQ(v[3].nz, -1);
    EXPECT_EQ(v[3].nx, v[3].x);
    EXPECT_EQ(v[0].color, 0xFFFFFFFFu);
  }
  EXPECT_FLOAT_EQ(FxFrontVertices[15].x, 1);
  const std::array<int32_t, 6> first = {4, 7, 6, 4, 5, 7};         // strip 1
  const std::array<int32_t, 6> second = {20, 22, 23, 20, 23, 21};  // strip 5 = strip 1 again
  for (int j = 0; j < 6; ++j) {
    EXPECT_EQ(FxFrontFaces[6 + j], first[j]);
    EXPECT_EQ(FxFrontFaces[30 + j], second[j]);
  }
  EXPECT_EQ(strips.BackVertexCount(), 0);
}

TEST_F(FxMeshTest, StripBaseAppliesTheViewAdjustment) {
  TBaseVertRect strips(2);
  SetFxViewAdjustment(640, 480);
  strips.Execute(0);
  EXPECT_FLOAT_EQ(FxFrontVertices[5].x, 1 - 0.85f / 640);
  EXPECT_FLOAT_EQ(FxFrontVertices[5].y, 0.75f + 0.85f / 640);
}

// ---- cubes ----

TEST_F(FxMeshTest, CubeRestPoseShowsItsFrontSideInThePicturePlane) {
  TCube cube;
  cube.Execute(0);
  ASSERT_EQ(cube.VertexCount(), 24);
  EXPECT_EQ(cube.FaceCount(), 12);
  EXPECT_EQ(cube.BackVertexCount(), 0);
  EXPECT_TRUE(cube.Options().Empty());
  const P3 front[4] = {{-1, 1, 0}, {1, 1, 0}, {-1, -1, 0}, {1, -1, 0}};
  const float tex[4][2] = {{0, 1}, {1, 1}, {0, 0}, {1, 0}};
  for (int i = 0; i < 4; ++i) {
    ExpectAt(i, front[i]);
    EXPECT_EQ(FxFrontVertices[i].tu, tex[i][0]);
    EXPECT_EQ(FxFrontVertices[i].tv, tex[i][1]);
  }
  ExpectAt(7, {1, 1, 2});  // the back side reaches z = 2
  ExpectAt(21, {1, -1, 0});
  for (int i = 0; i < 24; ++i) EXPECT_EQ(FxFrontVertices[i].color, 0xFFFFFFFFu);
  const int32_t faces[36] = {4,  5,  6,  5,  7,  6,  0,  1,  2,  1,  3,  2,
                             8,  9,  10, 10, 9,  11, 13, 14, 12, 13, 15, 14,
                             16, 17, 18, 18, 17, 19, 22, 20, 23, 20, 21, 23};
  for (int j = 0; j < 36; ++j) EXPECT_EQ(FxFrontFaces[j], faces[j]) << j;
}

TEST_F(FxMeshTest, CubeTurnsShrinksAndRecedes) {
  TCube cube;
  for (int k : {1, 250, 640}) {
    const double f = (1000 - k) / 1000.0;
    const double d = k / 500.0;
    ExpectAll(cube, k, [&](P3 p, int) {
      P3 q = Rotated({p.x * f, p.y * f, p.z * f}, -Pi / 2 * d, -Pi * d, 0);
      return P3{q.x, q.y, q.z + k / 100.0};
    });
  }
  // At the end it has turned half about x and fully about y: just before it vanishes the
  // back side faces the camera, upright; at 1000 it is a point 10 units away.
  cube.Execute(999);
  for (int i = 0; i < 4; ++i) EXPECT_GT(FxFrontVertices[i].z, FxFrontVertices[4 + i].z);
  EXPECT_LT(FxFrontVertices[4].x, FxFrontVertices[5].x);
  EXPECT_GT(FxFrontVertices[4].y, FxFrontVertices[6].y);
  ExpectAll(cube, 1000, [](P3, int) { return P3{0, 0, 10}; });
  EXPECT_EQ(FxFrontVertices[0].color, 0x00FFFFFFu);
}

TEST_F(FxMeshTest, AlphaCubesFadeAndTint) {
  TTransparentCube transparent;
  TRedCube red;
  TGreenCube green;
  TBlueCube blue;
  struct Case {
    int k;
    uint32_t transparent, red, green, blue;
  };
  // b = k * 255 div 1000 takes the alpha down; t = 255 - k * 255 div 500 takes the
  // other channels from white to the full colour by step 500.
  const Case cases[] = {
      {0, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF},
      {250, 0xC0FFFFFF, 0xC0FF8080, 0xC080FF80, 0xC08080FF},
      {499, 0x80FFFFFF, 0x80FF0101, 0x8001FF01, 0x800101FF},
      {500, 0x80FFFFFF, 0x80FF0000, 0x8000FF00, 0x800000FF},
      {1000, 0x00FFFFFF, 0x00FF0000, 0x0000FF00, 0x000000FF},
  };
  TCube plain;
  for (const Case& c : cases) {
    const std::pair<TFx3d*, uint32_t> cubes[] = {
        {&transparent, c.transparent}, {&red, c.red}, {&green, c.green}, {&blue, c.blue}};
    plain.Execute(static_cast<uint16_t>(c.k));
    const std::vector<TFxVertex> plainPose(FxFrontVertices, FxFrontVertices + 24);
    for (auto [fx, colour] : cubes) {
      EXPECT_TRUE(fx->Options().Contains(foAlphaBlend));
      fx->Execute(static_cast<uint16_t>(c.k));
      for (int i = 0; i < 24; ++i) {
        ASSERT_EQ(FxFrontVertices[i].color, colour) << fx->GetFxID() << " step " << c.k;
        EXPECT_EQ(FxFrontVertices[i].x, plainPose[i].x);
        EXPECT_EQ(FxFrontVertices[i].z, plainPose[i].z);
      }
    }
  }
}

// ---- puffs ----

TEST_F(FxMeshTest, PuffsBulgeShrinkAndDrift) {
  TPuff puff;
  TPuffUp up;
  TPuffDown down;
  EXPECT_EQ(puff.VertexCount(), 4 * 64);
  ExpectAll(puff, 0, [](P3 p, int) { return p; });
  ExpectAll(puff, 500, [](P3 p, int) {
    return P3{p.x * 0.5, p.y * 0.5, 15 * 0.25 - 1.5 * (p.x * p.x + p.y * p.y)};
  });
  ExpectAll(puff, 1000, [](P3 p, int) { return P3{0, 0, 15 - 3 * (p.x * p.x + p.y * p.y)}; });
  const double lift = 1 - std::cos(Pi / 4);
  ExpectAll(up, 500, [&](P3 p, int) {
    return P3{p.x * 0.5 + lift * 2.5, p.y * 0.5 + lift * 500 / 140,
              3.75 - 1.5 * (p.x * p.x + p.y * p.y)};
  });
  ExpectAll(up, 1000, [](P3 p, int) {
    return P3{5, 1000.0 / 140, 15 - 3 * (p.x * p.x + p.y * p.y)};
  });
  ExpectAll(down, 1000, [](P3 p, int) {
    return P3{-5, -1000.0 / 140, 15 - 3 * (p.x * p.x + p.y * p.y)};
  });
}

// ---- waves and carpet ----

TEST_F(FxMeshTest, WavesRippleAndSlideAway) {
  TWave left;
  TWaveRight right;
  TWaveLeftUp leftUp;
  ASSERT_EQ(left.VertexCount(), 8 * 64);
  EXPECT_EQ(left.FaceCount(), 4 * 64);
  ExpectAll(left, 0, [](P3 p, int) { return p; });
  // Growing in: amplitude 0.05 and no phase yet at step 50.
  ExpectAll(left, 50, [](P3 p, int) {
    return P3{p.x - 3 * 0.0025, p.y, 0.05 * std::cos(4 * Pi * p.x) + 2 * 0.0025};
  });
  // Step 550: d = 0.55, phase = 450 / 900 * 4 pi.
  const double d2 = 0.55 * 0.55;
  auto z = [&](P3 p, double a) { return a * std::cos(4 * Pi * p.x + 2 * Pi) + 2 * d2; };
  ExpectAll(left, 550, [&](P3 p, int) { return P3{p.x - 3 * d2, p.y, z(p, 0.1)}; });
  ExpectAll(right, 550, [&](P3 p, int) { return P3{p.x + 3 * d2, p.y, z(p, 0.1)}; });
  ExpectAll(leftUp, 550, [&](P3 p, int) { return P3{p.x - 3 * d2, p.y + 3 * d2, z(p, 0.1275)}; });
}

TEST_F(FxMeshTest, CarpetShrinksTumblesAndFlies) {
  TCarpet carpet;
  ExpectAll(carpet, 0, [](P3 p, int) { return p; });
  for (int k : {70, 500, 1000}) {
    const double d = k / 1000.0;
    const double a = 0.1 * std::min(k / 100.0, 1.0);
    const double phase = k <= 100 ? 0 : (k - 100) / 900.0 * 4 * Pi;
    const double e = std::sin(Pi * k / 4000 + phase);
    const double s = 1 + std::sin(Pi * k / 4000 + Pi);
    ExpectAll(carpet, k, [&](P3 p, int) {
      P3 q = Rotated({p.x * s, p.y * s, p.z}, -Pi * k / 4000, -Pi * k / 5000, Pi * k / 6000);
      return P3{q.x + 1.8 * d * d, q.y,
                q.z + a * std::cos(phase + 4 * Pi * p.x) + 1.5 * a * e + k / 2000.0};
    });
  }
}

// ---- water ----

TEST_F(FxMeshTest, WaterRipplesAndSlidesRight) {
  TWater water;
  EXPECT_EQ(water.VertexCount(), 4 * 256);
  EXPECT_TRUE(water.Options().Empty());
  EXPECT_EQ(water.BackVertexCount(), 0);
  ExpectAll(water, 0, [](P3 p, int) { return p; });
  ExpectAll(water, 400, [](P3 p, int) {
    const double r = std::hypot(p.x, p.y);
    return P3{p.x + 3 * 0.16, p.y, 0.11 * std::cos(6 * Pi * r + 2 * Pi) + 2 * 0.16};
  });
}

void ExpectBackIsFrontFlipped(const TFx3d& fx) {
  ASSERT_EQ(fx.BackVertexCount(), fx.VertexCount());
  for (int i = 0; i < fx.VertexCount(); ++i) {
    const TFxVertex& f = FxFrontVertices[i];
    const TFxVertex& b = FxBackVertices[i];
    ASSERT_TRUE(b.x == f.x && b.y == f.y && b.z == f.z && b.tu == f.tu && b.tv == -f.tv) << i;
  }
  for (int j = 0; j < fx.FaceCount() * 3; ++j) ASSERT_EQ(FxBackFaces[j], FxFrontFaces[j]) << j;
}

void ExpectColours(int count, uint32_t front, uint32_t back) {
  for (int i = 0; i < count; ++i) {
    ASSERT_EQ(FxFrontVertices[i].color, front) << i;
    ASSERT_EQ(FxBackVertices[i].color, back) << i;
  }
}

TEST_F(FxMeshTest, WellCrossFadesOnOneRipplingSurface) {
  TWaterWithFade well;
  EXPECT_TRUE(well.Options().Contains(foAlphaBlend));
  EXPECT_FALSE(well.Options().Contains(foBackMesh));
  ASSERT_NE(well.BackVertexList(), nullptr);
  EXPECT_EQ(well.BackFaceCount(), well.FaceCount());
  // Flat and unscaled at both ends; opaque first picture at 0, opaque second at 1000.
  ExpectAll(well, 0, [](P3 p, int) { return p; });
  ExpectBackIsFrontFlipped(well);
  ExpectColours(well.VertexCount(), 0xFFFFFFFF, 0x00FFFFFF);
  ExpectAll(well, 1000, [](P3 p, int) { return p; });
  ExpectBackIsFrontFlipped(well);
  ExpectColours(well.VertexCount(), 0x00FFFFFF, 0xFFFFFFFF);
  // Mid-way: swollen by 5 per cent, rings running outward, half faded (b = 127).
  const double phase = 400 / 900.0 * 6 * Pi;
  ExpectAll(well, 500, [&](P3 p, int) {
    const double x = p.x * 1.05, y = p.y * 1.05;
    return P3{x, y, 0.11 * std::cos(6 * Pi * std::hypot(x, y) - phase)};
  });
  ExpectBackIsFrontFlipped(well);
  ExpectColours(well.VertexCount(), 0x80FFFFFF, 0x7FFFFFFF);
  // Fading in: amplitude and swell at half.
  ExpectAll(well, 50, [&](P3 p, int) {
    const double x = p.x * 1.025, y = p.y * 1.025;
    return P3{x, y, 0.055 * std::cos(6 * Pi * std::hypot(x, y))};
  });
}

TEST_F(FxMeshTest, SecondWellScalesTwiceAndFadesFromTheCentre) {
  TWaterWithFadeB well;
  const double phase = 400 / 900.0 * 6 * Pi;
  ExpectAll(well, 500, [&](P3 p, int) {
    const double x = p.x * 1.05 * 1.05, y = p.y * 1.05 * 1.05;
    return P3{x, y, 0.11 * std::cos(6 * Pi * std::hypot(x, y) - phase)};
  });
  ExpectBackIsFrontFlipped(well);
  // The centre (rest (0, 0)) is ahead of the rim (rest (-1, 1), radius limited to 1):
  // R = round(P * 127.5) with P = cos(r0^2 pi/2) + sin(pi/8).
  int centre = -1;
  for (int i = 0; i < well.VertexCount(); ++i)
    if (well.VertexList()[i].x == 0 && well.VertexList()[i].y == 0) centre = i;
  ASSERT_GE(centre, 0);
  EXPECT_EQ(FxFrontVertices[centre].color, ((255u - 176) << 24) | 0xFFFFFF);
  EXPECT_EQ(FxBackVertices[centre].color, (176u << 24) | 0xFFFFFF);
  EXPECT_EQ(FxFrontVertices[0].color, ((255u - 49) << 24) | 0xFFFFFF);
  EXPECT_EQ(FxBackVertices[0].color, (49u << 24) | 0xFFFFFF);
  well.Execute(0);
  ExpectColours(well.VertexCount(), 0xFFFFFFFF, 0x00FFFFFF);
  // R is limited to 255 where P exceeds 1.
  well.Execute(1000);
  ExpectColours(well.VertexCount(), 0x00FFFFFF, 0xFFFFFFFF);
}

TEST_F(FxMeshTest, WaveWellRipplesStripsAndCrossFades) {
  TWaveWithFade well;
  ASSERT_EQ(well.VertexCount(), 8 * 64);
  EXPECT_EQ(well.BackFaceCount(), 4 * 64);
  const double phase = 400 / 900.0 * 4 * Pi;
  ExpectAll(well, 500, [&](P3 p, int) {
    const double x = p.x * 1.05;
    return P3{x, p.y * 1.05, 0.11 * std::cos(phase + 4 * Pi * x)};
  });
  ExpectBackIsFrontFlipped(well);
  ExpectColours(well.VertexCount(), 0x80FFFFFF, 0x7FFFFFFF);
  ExpectAll(well, 1000, [](P3 p, int) { return p; });
  ExpectColours(well.VertexCount(), 0x00FFFFFF, 0xFFFFFFFF);
}

// ---- curtain ----

TEST_F(FxMeshTest, CurtainGathersTheBottomEdgeFromTheLeft) {
  TCurtain curtain;
  ExpectAll(curtain, 0, [](P3 p, int) { return p; });
  // Step 400, L = 1.6: P = 0.8, Q = 0.4; bottom ends with a = x0 + 1 <= 1.6 move.
  auto at400 = [](P3 p, int) {
    const double L = 1.6, a = p.x + 1;
    if (p.y > 0 || a > L) return p;
    if (a >= L / 2) {
      const double a1 = a - L / 2;
      return P3{p.x, (0.4 - std::sqrt(a1 / 5)) * 1.4 + p.y, -(0.2 - std::sqrt(a1 / 20))};
    }
    const double a1 = L / 2 - a;
    return P3{p.x + 2 * a1, (std::sqrt(a1 / 5) + 0.4) * 1.4 + p.y, -(std::sqrt(a1 / 20) + 0.2)};
  };
  ExpectAll(curtain, 400, at400);
  ExpectAt(4 * 32 + 2, {0, -0.72, -0.1});  // a = 1: a' = 0.2, G = 0.1, H = 0.2
  // Step 1000: every bottom end is gathered; then the shift (0.05, 0.1, 0).
  curtain.Execute(1000);
  const double g = 2 * std::sqrt(0.1), h = 2 * std::sqrt(0.4);
  ExpectAt(2, {3.05, h * 2 - 1 + 0.1, -g});                   // bottom-left: folded over
  ExpectAt(4 * 63 + 3, {1.05, h / 2 * 2 - 1 + 0.1, -g / 2});  // bottom-right: at the fold
  ExpectAt(4 * 63 + 1, {1.05, 1.1, 0});                       // a top end only shifts
  for (int i = 0; i < 4 * 64; ++i)
    ExpectAt(i + 4 * 64, {FxFrontVertices[i].x, FxFrontVertices[i].y, FxFrontVertices[i].z}, 0);
}

// ---- diamond and box ----

TEST_F(FxMeshTest, DiamondFoldsContinuouslyThenTumblesAway) {
  TDiamond diamond;
  ASSERT_EQ(diamond.VertexCount(), 9);
  EXPECT_EQ(diamond.FaceCount(), 8);
  ExpectAll(diamond, 0, [](P3 p, int) { return p; });
  EXPECT_EQ(diamond.VertexList()[5].x, 1);  // row 1, column 2
  EXPECT_EQ(diamond.VertexList()[5].y, 0);
  EXPECT_EQ(diamond.VertexList()[5].tu, 1);
  EXPECT_EQ(diamond.VertexList()[5].tv, 0.5f);
  // Step 100: corners half folded, tilted by 0.2 pi.
  ExpectAll(diamond, 100, [](P3 p, int i) {
    P3 q = p;
    if (i == 0 || i == 2 || i == 6 || i == 8) q = {p.x * 0.5, p.y * 0.5, 0.35};
    if (i == 4) q.z = -0.35;
    q = Rotated(q, 0.2 * Pi, 0, 0);
    return P3{q.x, q.y, q.z + 0.2};
  });
  diamond.Execute(199);
  const std::vector<TFxVertex> before(FxFrontVertices, FxFrontVertices + 9);
  diamond.Execute(200);
  for (int i = 0; i < 9; ++i) {
    EXPECT_NEAR(FxFrontVertices[i].x, before[i].x, 0.02) << i;
    EXPECT_NEAR(FxFrontVertices[i].y, before[i].y, 0.02) << i;
    EXPECT_NEAR(FxFrontVertices[i].z, before[i].z, 0.02) << i;
  }
  const P3 corner = Rotated({0, 0, 0.7}, 0.4 * Pi, 0, 0);
  ExpectAt(8, {corner.x, corner.y, corner.z + 0.4});
  ExpectAll(diamond, 1000, [](P3, int) { return P3{2, 1, 2}; });
}

TEST_F(FxMeshTest, BoxSpinsShrinksAndLeaves) {
  TTurner box;
  ASSERT_EQ(box.VertexCount(), 18);
  EXPECT_EQ(box.FaceCount(), 16);
  // The box's front side is the picture; the top pyramid's apex stands above the view.
  ExpectAll(box, 0, [](P3 p, int) { return P3{p.x, p.y, p.z + 1}; });
  ExpectAt(0, {-1, 1, 0});
  ExpectAt(3, {1, -1, 0});
  ExpectAt(8, {0, 2.5, 1});
  EXPECT_EQ(FxFrontVertices[0].tv, 1);
  EXPECT_EQ(FxFrontFaces[0], 1);
  EXPECT_EQ(FxFrontFaces[47], 16);
  for (int k : {500, 700}) {
    const double x = k / 1000.0;
    const double late = k >= 600 ? (1000 - k) / 400.0 : 1.0;
    ExpectAll(box, k, [&](P3 p, int) {
      P3 q = Rotated(Rotated(Rotated(p, 0, 2.5 * Pi * x, 0), -1.7 * Pi * x, 0, 0), 0, -0.3 * Pi * x,
                     0);
      const double s = 1 - x * x;
      return P3{(q.x * s + k / 500.0) * late, q.y * s * late, (q.z * s + k / 200.0 + 1) * late};
    });
  }
  ExpectAll(box, 1000, [](P3, int) { return P3{0, 0, 0}; });
}

// ---- whirl and tunnel ----

TEST_F(FxMeshTest, WhirlTurnsTheCentreMostAndSinksTheRim) {
  TWhirl whirl;
  EXPECT_EQ(whirl.VertexCount(), 4 * 121);
  ExpectAll(whirl, 0, [](P3 p, int) { return p; });
  for (int k : {300, 600}) {
    const double w = k < 500 ? 1 : (1000 - k) / 500.0;
    ExpectAll(whirl, k, [&](P3 p, int) {
      const double d = p.x * p.x + p.y * p.y;
      P3 q = Rotated(p, 0, 0, 3 * Pi * k / 1000 - Pi * k * d / 1200);
      return P3{q.x * w, q.y * w, d * k / 300};
    });
  }
}

TEST_F(FxMeshTest, TunnelPullsTheCentreIntoTheDepth) {
  TTunnel tunnel;
  EXPECT_EQ(tunnel.VertexCount(), 4 * 100);
  ExpectAll(tunnel, 0, [](P3 p, int) { return p; });
  auto depth = [](P3 p, double q) {
    return 50 * q * q * (1 - std::max(std::fabs(p.x), std::fabs(p.y)));
  };
  ExpectAll(tunnel, 500, [&](P3 p, int) { return P3{p.x, p.y, depth(p, 0.5)}; });
  ExpectAll(tunnel, 800, [&](P3 p, int) { return P3{p.x * 0.4, p.y * 0.4, depth(p, 0.8)}; });
  ExpectAll(tunnel, 1000, [&](P3 p, int) { return P3{0, 0, depth(p, 1)}; });
}

// ---- the whole family ----

TEST_F(FxMeshTest, CatalogueOrderIdsAndDescriptions) {
  TFxList list(false);
  AddMeshEffects(list);
  const int32_t ids[] = {0x301, 0x302, 0x303, 0x304, 0x305, 0x340, 0x341,
                         0x342, 0x343, 0x344, 0x345, 0x346, 0x350, 0x351,
                         0x352, 0x353, 0x360, 0x370, 0x373, 0x371, 0x372};
  ASSERT_EQ(list.Count(), 21);
  for (int i = 0; i < 21; ++i) {
    EXPECT_EQ(list.Items(i)->GetFxID(), ids[i]) << i;
    EXPECT_EQ(list.Strings(i), list.Items(i)->GetDescription());
  }
  EXPECT_EQ(list.DescriptionByID(0x302), "Obracający się, znikający sześcian ");
  EXPECT_EQ(list.DescriptionByID(0x345), "Fala uciekacjąca na ukos");
  EXPECT_EQ(list.DescriptionByID(0x373), "Diament pudełko");
  EXPECT_EQ(list.DescriptionByID(0x372), "Wyciągarka");
}

TEST_F(FxMeshTest, EveryEffectKeepsItsFacesAndStaysFinite) {
  TFxList list(false);
  AddMeshEffects(list);
  for (int e = 0; e < list.Count(); ++e) {
    TFx3d& fx = *list.Items(e);
    SCOPED_TRACE(fx.GetDescription());
    ASSERT_LE(fx.VertexCount(), FxBufferCapacity);
    ASSERT_LE(fx.BackVertexCount(), FxBufferCapacity);
    ASSERT_LE(fx.FaceCount() * fx.FaceVertices(), FxBufferCapacity);
    ASSERT_LE(fx.BackFaceCount() * fx.BackFaceVertices(), FxBufferCapacity);
    EXPECT_EQ(fx.FaceVertices(), 3);
    fx.Execute(0);
    // The rest pose: the picture square in the plane, nothing in front of it.
    float lo = 9, hi = -9;
    for (int i = 0; i < fx.VertexCount(); ++i) {
      const TFxVertex& v = FxFrontVertices[i];
      EXPECT_GE(v.z, -1e-6f) << i;
      if (std::fabs(v.z) < 1e-6f) {
        lo = std::min({lo, v.x, v.y});
        hi = std::max({hi, v.x, v.y});
      }
    }
    EXPECT_EQ(lo, -1);
    EXPECT_EQ(hi, 1);
    const int frontEntries = fx.FaceCount() * 3;
    const int backEntries = fx.BackVertexCount() > 0 ? fx.BackFaceCount() * 3 : 0;
    const std::vector<int32_t> front(FxFrontFaces, FxFrontFaces + frontEntries);
    const std::vector<int32_t> back(FxBackFaces, FxBackFaces + backEntries);
    for (int32_t f : front) ASSERT_TRUE(f >= 0 && f < fx.VertexCount());
    for (int32_t f : back) ASSERT_TRUE(f >= 0 && f < fx.BackVertexCount());
    for (int k = 0; k <= 1000; k += 50) {
      fx.Execute(static_cast<uint16_t>(k));
      for (int i = 0; i < fx.VertexCount(); ++i) {
        const TFxVertex& v = FxFrontVertices[i];
        ASSERT_TRUE(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z))
            << k << " " << i;
      }
      for (int i = 0; i < fx.BackVertexCount(); ++i) {
        const TFxVertex& v = FxBackVertices[i];
        ASSERT_TRUE(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z))
            << k << " " << i;
      }
      ASSERT_TRUE(std::equal(front.begin(), front.end(), FxFrontFaces)) << "step " << k;
      ASSERT_TRUE(std::equal(back.begin(), back.end(), FxBackFaces)) << "step " << k;
    }
    // Each step is made from the rest pose, whatever ran before; steps past the end
    // stay finite.
    fx.Execute(700);
    const std::vector<TFxVertex> direct(FxFrontVertices, FxFrontVertices + fx.VertexCount());
    fx.Execute(300);
    fx.Execute(700);
    for (int i = 0; i < fx.VertexCount(); ++i)
      ASSERT_TRUE(FxFrontVertices[i].x == direct[i].x && FxFrontVertices[i].z == direct[i].z) << i;
    for (int k : {1001, 5000, 65535}) {
      fx.Execute(static_cast<uint16_t>(k));
      for (int i = 0; i < fx.VertexCount(); ++i)
        ASSERT_TRUE(std::isfinite(FxFrontVertices[i].x) && std::isfinite(FxFrontVertices[i].z))
            << k;
    }
  }
}

}  // namespace
}  // namespace movara
