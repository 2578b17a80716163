// The effect framework (buffers, view adjustment, vertex functions, Execute) and the
// catalogue (order, lookup, categories, random choice).
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <numbers>
#include <set>
#include <string>
#include <vector>

#include "fx3d/Fx3d.h"
#include "fx3d/FxFlat.h"
#include "fx3d/FxList.h"

namespace movara {
namespace {

class Fx3dFrameworkTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetFxViewAdjustment(); }
  void TearDown() override { ResetFxViewAdjustment(); }
};

// A bare effect to drive the base class.
class TBareFx : public TFx3d {};

TEST_F(Fx3dFrameworkTest, CreateVertexLimitsAndFreesBothLists) {
  TBareFx fx;
  EXPECT_EQ(fx.GetFxID(), -1);
  EXPECT_EQ(fx.GetDescription(), "");
  EXPECT_EQ(fx.BackFaceVertices(), 3);
  EXPECT_EQ(fx.FaceVertices(), 0);

  fx.CreateVertex(4096);
  EXPECT_EQ(fx.VertexCount(), 4096);
  ASSERT_NE(fx.VertexList(), nullptr);

  try {
    fx.CreateVertex(4097);
    FAIL() << "4097 vertices accepted";
  } catch (const EFx3d& e) {
    EXPECT_STREQ(e.what(), "Too many Vertices!");
  }
  EXPECT_EQ(fx.VertexCount(), 0);
  EXPECT_EQ(fx.VertexList(), nullptr);
  EXPECT_THROW(fx.CreateVertex(-1), EFx3d);

  // The quad effect has four back vertices; a new CreateVertex drops them.
  TRightMoveFx3d quad;
  EXPECT_EQ(quad.BackVertexCount(), 4);
  quad.CreateVertex(2);
  EXPECT_EQ(quad.VertexCount(), 2);
  EXPECT_EQ(quad.BackVertexCount(), 0);
  quad.FreeVertex();
  EXPECT_EQ(quad.VertexCount(), 0);
  EXPECT_EQ(quad.VertexList(), nullptr);
}

TEST_F(Fx3dFrameworkTest, ClearVertexLeavesOpaqueWhiteZeros) {
  TRightMoveFx3d fx;  // rest pose filled in
  fx.ClearVertex();
  for (int i = 0; i < fx.VertexCount(); ++i) {
    const TFxVertex& v = fx.VertexList()[i];
    EXPECT_EQ(v.x, 0);
    EXPECT_EQ(v.y, 0);
    EXPECT_EQ(v.nx, 0);
    EXPECT_EQ(v.tu, 0);
    EXPECT_EQ(v.tv, 0);
    EXPECT_EQ(v.color, 0xFFFFFFFFu);
  }
}

TEST_F(Fx3dFrameworkTest, ViewAdjustmentFromSurfaceSize) {
  SetFxViewAdjustment(640, 480);
  EXPECT_FLOAT_EQ(FxScaleX, 1.0f);
  EXPECT_FLOAT_EQ(FxScaleY, 0.75f);
  EXPECT_FLOAT_EQ(FxOffsetX, -0.85f / 640);
  EXPECT_FLOAT_EQ(FxOffsetY, 0.85f / 640);

  TRightMoveFx3d fx;
  fx.Execute(0);
  // x: scale exactly 1, so only the offset; y: scaled, then offset.
  EXPECT_FLOAT_EQ(FxFrontVertices[1].x, 1 - 0.85f / 640);
  EXPECT_FLOAT_EQ(FxFrontVertices[1].y, 0.75f + 0.85f / 640);
  EXPECT_FLOAT_EQ(FxFrontVertices[2].x, -1 - 0.85f / 640);
  EXPECT_FLOAT_EQ(FxFrontVertices[2].y, -0.75f + 0.85f / 640);
  EXPECT_EQ(FxFrontVertices[2].z, 0);

  // The back quad of a push is adjusted the same way.
  TRightPushFx3d push;
  push.Execute(1000);
  EXPECT_FLOAT_EQ(FxBackVertices[3].x, 1 - 0.85f / 640);
  EXPECT_FLOAT_EQ(FxBackVertices[3].y, -0.75f + 0.85f / 640);

  // Portrait: the width is the shorter side.
  SetFxViewAdjustment(480, 640);
  EXPECT_FLOAT_EQ(FxScaleX, 0.75f);
  EXPECT_FLOAT_EQ(FxScaleY, 1.0f);
  EXPECT_FLOAT_EQ(FxOffsetX, -0.85f / 640);
  // A square surface scales neither axis.
  SetFxViewAdjustment(500, 500);
  EXPECT_FLOAT_EQ(FxScaleX, 1.0f);
  EXPECT_FLOAT_EQ(FxScaleY, 1.0f);
  EXPECT_FLOAT_EQ(FxOffsetY, 0.85f / 500);
  // No area: nothing changes (no division by zero).
  SetFxViewAdjustment(0, 480);
  SetFxViewAdjustment(640, -1);
  EXPECT_FLOAT_EQ(FxOffsetY, 0.85f / 500);
  EXPECT_FALSE(std::isnan(FxScaleX));
}

TEST_F(Fx3dFrameworkTest, ScaleZeroAddsOnlyTheOffset) {
  FxScaleX = 0.0f;
  FxScaleY = 0.5f;
  FxOffsetX = 0.25f;
  FxOffsetY = 0.0f;
  TRightMoveFx3d fx;
  fx.Execute(0);
  EXPECT_FLOAT_EQ(FxFrontVertices[1].x, 1.25f);  // scale 0 is treated as no scaling
  EXPECT_FLOAT_EQ(FxFrontVertices[1].y, 0.5f);
}

TEST_F(Fx3dFrameworkTest, ExecuteFillsBackQuadAndWritesBackFacesOnlyAtStepZero) {
  // Without foBackMesh the back quad is all zero, whatever the buffer held.
  for (int i = 0; i < 4; ++i) FxBackVertices[i] = TFxVertex{5, 5, 5, 5, 5, 5, 5, 5, 5};
  TRightMoveFx3d move;
  move.Execute(300);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(FxBackVertices[i].x, 0);
    EXPECT_EQ(FxBackVertices[i].nx, 0);
    EXPECT_EQ(FxBackVertices[i].tv, 0);
    EXPECT_EQ(FxBackVertices[i].color, 0u);
  }
  // With foBackMesh the rest pose of the back is the default quad, normals included.
  TUpPushScale push;
  push.Execute(0);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(FxBackVertices[i].nx, DefaultBackQuad[i].nx) << i;
    EXPECT_EQ(FxBackVertices[i].nz, -1.0f);
    EXPECT_EQ(FxBackVertices[i].tu, DefaultBackQuad[i].tu);
    EXPECT_EQ(FxBackVertices[i].color, 0xFFFFFFFFu);
  }
  const std::vector<int32_t> quadFaces(QuadFaces, QuadFaces + 6);
  EXPECT_EQ(std::vector<int32_t>(FxBackFaces, FxBackFaces + 6), quadFaces);

  for (int i = 0; i < 6; ++i) FxBackFaces[i] = 77;
  push.Execute(1);
  EXPECT_EQ(FxBackFaces[0], 77);
  EXPECT_EQ(FxBackFaces[5], 77);
  push.Execute(0);
  EXPECT_EQ(std::vector<int32_t>(FxBackFaces, FxBackFaces + 6), quadFaces);
}

TEST_F(Fx3dFrameworkTest, RotateVerticesTurnsAboutXThenYThenZ) {
  // (0, 1, 0) about the centre (1, 1, 1): X a quarter turn gives (0, 0, -1), then Y
  // gives (1, 0, 0), then Z gives (0, -1, 0). Another order would end elsewhere.
  const float q = static_cast<float>(std::numbers::pi / 2);
  FxFrontVertices[10] = TFxVertex{1, 2, 1, 7, 8, 9, 0.5f, 0.25f, 0x12345678u};
  RotateVertices(10, 1, q, q, q, 1, 1, 1);
  EXPECT_NEAR(FxFrontVertices[10].x, 1, 1e-6);
  EXPECT_NEAR(FxFrontVertices[10].y, 0, 1e-6);
  EXPECT_NEAR(FxFrontVertices[10].z, 1, 1e-6);
  // Only positions change.
  EXPECT_EQ(FxFrontVertices[10].nx, 7);
  EXPECT_EQ(FxFrontVertices[10].tv, 0.25f);
  EXPECT_EQ(FxFrontVertices[10].color, 0x12345678u);

  // X and Y only: (1, 0, 0) -> X leaves it -> Y moves it to (0, 0, 1).
  FxFrontVertices[11] = TFxVertex{1, 0, 0};
  RotateVertices(11, 1, q, q, 0, 0, 0, 0);
  EXPECT_NEAR(FxFrontVertices[11].x, 0, 1e-6);
  EXPECT_NEAR(FxFrontVertices[11].y, 0, 1e-6);
  EXPECT_NEAR(FxFrontVertices[11].z, 1, 1e-6);

  // Z alone: positive angles turn clockwise in the picture plane.
  FxFrontVertices[12] = TFxVertex{1, 0, 0};
  RotateVertices(12, 1, 0, 0, q, 0, 0, 0);
  EXPECT_NEAR(FxFrontVertices[12].x, 0, 1e-6);
  EXPECT_NEAR(FxFrontVertices[12].y, -1, 1e-6);
}

TEST_F(Fx3dFrameworkTest, VertexFunctionsWorkOnTheirRangeOnly) {
  for (int i = 0; i < 4; ++i) FxFrontVertices[i] = TFxVertex{1, 2, 3, 0, 0, 0, 0, 0, 0};
  TranslateVertices(1, 2, 1, -1, 0.5f);
  EXPECT_EQ(FxFrontVertices[0].x, 1);
  EXPECT_EQ(FxFrontVertices[1].x, 2);
  EXPECT_EQ(FxFrontVertices[2].y, 1);
  EXPECT_EQ(FxFrontVertices[2].z, 3.5f);
  EXPECT_EQ(FxFrontVertices[3].x, 1);

  ScaleVertices(0, 1, 2);
  EXPECT_EQ(FxFrontVertices[0].x, 2);
  EXPECT_EQ(FxFrontVertices[0].y, 4);
  EXPECT_EQ(FxFrontVertices[0].z, 6);

  // SX = SY = 1, SZ = 0 flattens z and leaves x and y exactly as they were.
  FxFrontVertices[3] = TFxVertex{0.1f, -0.3f, 2.5f};
  ScaleVerticesXYZ(3, 1, 1, 1, 0);
  EXPECT_EQ(FxFrontVertices[3].x, 0.1f);
  EXPECT_EQ(FxFrontVertices[3].y, -0.3f);
  EXPECT_EQ(FxFrontVertices[3].z, 0);
  ScaleVerticesXYZ(3, 1, 2, 0.5f, 1);
  EXPECT_FLOAT_EQ(FxFrontVertices[3].x, 0.2f);
  EXPECT_FLOAT_EQ(FxFrontVertices[3].y, -0.15f);

  SetVerticesColor(1, 2, 0x80FFFFFFu);
  EXPECT_EQ(FxFrontVertices[0].color, 0u);
  EXPECT_EQ(FxFrontVertices[1].color, 0x80FFFFFFu);
  EXPECT_EQ(FxFrontVertices[2].color, 0x80FFFFFFu);
  EXPECT_EQ(FxFrontVertices[3].color, 0u);

  // A range running past the buffer stops at its end.
  FxFrontVertices[FxBufferCapacity - 1] = TFxVertex{1, 1, 1};
  TranslateVertices(FxBufferCapacity - 1, 60000, 1, 0, 0);
  ScaleVertices(FxBufferCapacity - 1, 100, 2);
  RotateVertices(FxBufferCapacity - 1, 100, 0, 0, 1, 0, 0, 0);
  SetVerticesColor(FxBufferCapacity, 100, 1);
  EXPECT_TRUE(std::isfinite(FxFrontVertices[FxBufferCapacity - 1].x));
}

TEST_F(Fx3dFrameworkTest, CopyFacesStopsAtTheShorterArray) {
  int32_t target[10];
  for (int32_t& t : target) t = -5;
  CopyFaces(QuadFaces, target, 12);  // the table holds only six
  EXPECT_EQ(target[5], 2);
  EXPECT_EQ(target[6], -5);
  CopyFaces(DiagonalQuadFaces, std::span<int32_t>(target, 2), 6);
  EXPECT_EQ(target[1], 3);
  EXPECT_EQ(target[2], 2);  // unchanged: the target ended
  CopyFaces(DiagonalQuadFaces, target, -1);
  EXPECT_EQ(target[0], 0);
}

// ---------------------------------------------------------------------------------
// The catalogue.

struct TCatalogueRow {
  int32_t id;
  const char* description;  // nullptr: a mesh effect, described elsewhere
  int category;
  TFxOptions options;
};

const TFxOptions kNone{};
const TFxOptions kBack{foBackMesh};
const TFxOptions kAlpha{foAlphaBlend};
const TFxOptions kBoth{foAlphaBlend, foBackMesh};

const std::vector<TCatalogueRow>& Catalogue() {
  static const std::vector<TCatalogueRow> rows = {
      {0x101, "Przesuwanie w prawo", 0, kNone},
      {0x102, "Przesuwanie w lewo", 0, kNone},
      {0x103, "Przesuwanie w górę", 0, kNone},
      {0x104, "Przesuwanie w dół", 0, kNone},
      {0x105, "Przesuwanie na skos w prawo i w górę", 0, kNone},
      {0x106, "Przesuwanie na skos w prawo i w dół", 0, kNone},
      {0x107, "Przesuwanie na skos w lewo i w dół", 0, kNone},
      {0x108, "Przesuwanie na skos w lewo i w górę", 0, kNone},
      {0x201, "Pomniejszenie, przemieszczanie okólne kwadratu", 3, kNone},
      {0x109, "Skalowanie w prawo", 1, kNone},
      {0x10A, "Skalowanie w lewo", 1, kNone},
      {0x10B, "Skalowanie w górę", 1, kNone},
      {0x10C, "Skalowanie w dół", 1, kNone},
      {0x10D, "Skalowanie w prawo i w górę", 1, kNone},
      {0x10E, "Skalowanie w prawo i w dół", 1, kNone},
      {0x10F, "Skalowanie w lewo i w górę", 1, kNone},
      {0x110, "Skalowanie w lewo i w dół", 1, kNone},
      {0x111, "Skalowanie do środka centralnie", 1, kNone},
      {0x112, "Skalowanie do środka w poziomie", 1, kNone},
      {0x113, "Skalowanie do środka w pionie", 1, kNone},
      {0x114, "Skalowanie skośne", 1, kNone},
      {0x115, "Skalowanie skośne inaczej", 1, kNone},
      {0x116, "Skalowanie radialne", 1, kNone},
      {0x117, "Skalowanie radialne drugie", 1, kNone},
      {0x118, "Skalowanie radialne trzecie", 1, kNone},
      {0x119, "Skalowanie radialne czwarte", 1, kNone},
      {0x130, "Przepychanie w prawo", 2, kBack},
      {0x131, "Przepychanie w lewo", 2, kBack},
      {0x132, "Przepychanie w górę", 2, kBack},
      {0x133, "Przepychanie w dół", 2, kBack},
      {0x140, "Przepychanie ze skalowaniem w prawo", 2, kBack},
      {0x141, "Przepychanie ze skalowaniem w lewo", 2, kBack},
      {0x142, "Przepychanie ze skalowaniem w górę", 2, kBack},
      {0x143, "Przepychanie ze skalowaniem w dół", 2, kBack},
      {0x160, "Rozchodzący się Irys", 4, kNone},
      {0x161, "Rozchodzący się Irys inaczej", 4, kNone},
      {0x162, "Skalowanie szachownicy", 4, kNone},
      {0x164, "Skalowanie szachownicy - 16 części", 4, kNone},
      {0x165, "Skalowanie szachownicy - 25 części", 4, kNone},
      {0x166, "Skalowanie szachownicy - 36 części", 4, kNone},
      {0x167, "Skalowanie szachownicy - 49 części", 4, kNone},
      {0x168, "Skalowanie szachownicy - 64 części", 4, kNone},
      {0x170, "Rotacja szachownicy 1", 4, kNone},
      {0x171, "Rotacja szachownicy 2", 4, kNone},
      {0x172, "Rotacja szachownicy 3", 4, kNone},
      {0x202, "Przenik", 3, kBoth},
      {0x199, "Bezruch - testowy efekt", 3, kNone},
      {0x301, nullptr, 5, kNone},
      {0x302, nullptr, 5, kAlpha},
      {0x303, nullptr, 5, kAlpha},
      {0x304, nullptr, 5, kAlpha},
      {0x305, nullptr, 5, kAlpha},
      {0x340, nullptr, 5, kNone},
      {0x341, nullptr, 5, kNone},
      {0x342, nullptr, 5, kNone},
      {0x343, nullptr, 5, kNone},
      {0x344, nullptr, 5, kNone},
      {0x345, nullptr, 5, kNone},
      {0x346, nullptr, 5, kNone},
      {0x350, nullptr, 5, kNone},
      {0x351, nullptr, 5, kAlpha},
      {0x352, nullptr, 5, kAlpha},
      {0x353, nullptr, 5, kAlpha},
      {0x360, nullptr, 5, kNone},
      {0x370, nullptr, 6, kNone},
      {0x373, nullptr, 6, kNone},
      {0x371, nullptr, 6, kNone},
      {0x372, nullptr, 6, kNone},
  };
  return rows;
}

class FxCatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetFxViewAdjustment(); }
  TFxList list_;
};

TEST_F(FxCatalogueTest, HoldsEveryEffectInOrder) {
  const auto& rows = Catalogue();
  ASSERT_EQ(list_.Count(), 68);
  ASSERT_EQ(rows.size(), 68u);
  for (int i = 0; i < 68; ++i) {
    const TFx3d* fx = list_.Items(i);
    ASSERT_NE(fx, nullptr) << i;
    EXPECT_EQ(fx->GetFxID(), rows[i].id) << "row " << i;
    EXPECT_EQ(TFxList::CategoryOf(fx->GetFxID()), rows[i].category) << "row " << i;
    EXPECT_EQ(list_.Strings(i), fx->GetDescription()) << "row " << i;
    if (!rows[i].description) continue;
    EXPECT_EQ(fx->GetDescription(), rows[i].description) << "row " << i;
    EXPECT_EQ(fx->Options(), rows[i].options) << "row " << i;
    EXPECT_EQ(fx->FaceVertices(), 3);
  }
  EXPECT_EQ(list_.Items(-1), nullptr);
  EXPECT_EQ(list_.Items(68), nullptr);
  EXPECT_EQ(list_.Strings(68), "");
}

TEST_F(FxCatalogueTest, FindByIdNeedsTheReverseFlagMaskedOff) {
  EXPECT_EQ(list_.FindByID(0x101 | ReverseFlag), nullptr);
  TFx3d* fx = list_.FindByID((0x101 | ReverseFlag) & ~ReverseFlag);
  ASSERT_NE(fx, nullptr);
  EXPECT_NE(dynamic_cast<TRightMoveFx3d*>(fx), nullptr);
  EXPECT_EQ(fx, list_.Items(0));
  EXPECT_EQ(list_.FindByID(0x199), list_.Items(46));
  // The bases are not in the catalogue.
  EXPECT_EQ(list_.FindByID(1), nullptr);
  EXPECT_EQ(list_.FindByID(0), nullptr);
  EXPECT_EQ(list_.DescriptionByID(0x163), "");
  EXPECT_EQ(list_.DescriptionByID(0x202), "Przenik");
}

TEST_F(FxCatalogueTest, AddRejectsNoEffect) {
  TFxList empty(false);
  EXPECT_EQ(empty.Count(), 0);
  EXPECT_EQ(empty.Add(nullptr), -1);
  EXPECT_EQ(empty.Add(CreateFx<TFade>()), 0);
  EXPECT_EQ(empty.Add(CreateFx<TFade>()), 1);
  EXPECT_EQ(empty.Strings(1), "Przenik");
  EXPECT_EQ(empty.FindByID(0x202), empty.Items(0));  // the first one
}

TEST_F(FxCatalogueTest, Categories) {
  EXPECT_EQ(TFxList::CategoryOf(0x320), 4);  // no effect has it
  for (int32_t id = 0x370; id <= 0x373; ++id) EXPECT_EQ(TFxList::CategoryOf(id), 6);
  EXPECT_EQ(TFxList::CategoryOf(0), 6);
  EXPECT_EQ(TFxList::CategoryOf(-1), 6);
  // Inclusive bounds of each range.
  const std::map<int32_t, int> bounds = {
      {0x0FF, 6}, {0x100, 0}, {0x108, 0}, {0x109, 1}, {0x12F, 1}, {0x130, 2},
      {0x14F, 2}, {0x150, 6}, {0x15F, 6}, {0x160, 4}, {0x17F, 4}, {0x180, 6},
      {0x198, 6}, {0x199, 3}, {0x210, 3}, {0x211, 6}, {0x2FF, 6}, {0x300, 5},
      {0x31F, 5}, {0x321, 6}, {0x33F, 6}, {0x340, 5}, {0x36F, 5}};
  for (const auto& [id, category] : bounds)
    EXPECT_EQ(TFxList::CategoryOf(id), category) << std::hex << id;
  // A stored reference with the reverse flag is not masked by the lookup.
  EXPECT_EQ(TFxList::CategoryOf(0x101 | ReverseFlag), 6);

  std::map<int, int> expected;
  for (const TCatalogueRow& row : Catalogue()) ++expected[row.category];
  int total = 0;
  for (int c = 0; c < FxCategoryCount; ++c) {
    EXPECT_EQ(list_.CountInCategory(c), expected[c]) << c;
    total += list_.CountInCategory(c);
  }
  EXPECT_EQ(total, 68);
  EXPECT_EQ(list_.CountInCategory(6), 4);
  EXPECT_EQ(list_.CountInCategory(7), 0);

  EXPECT_EQ(TFxList::CategoryName(0), "Efekty płaskie - przesuwanie");
  EXPECT_EQ(TFxList::CategoryName(1), "Efekty płaskie - skalowanie");
  EXPECT_EQ(TFxList::CategoryName(2), "Efekty płaskie - przepychanie");
  EXPECT_EQ(TFxList::CategoryName(3), "Efekty płaskie - różne");
  EXPECT_EQ(TFxList::CategoryName(4), "Irys");
  EXPECT_EQ(TFxList::CategoryName(5), "Efekty trójwymiarowe");
  EXPECT_EQ(TFxList::CategoryName(6), "Pozostałe efekty");
  EXPECT_EQ(TFxList::CategoryName(7), "");
  EXPECT_EQ(TFxList::CategoryName(-1), "");
}

TEST_F(FxCatalogueTest, RandomChoiceAvoidsTheStillEffect) {
  EXPECT_EQ(list_.RandomFx(list_.Count()), nullptr);
  EXPECT_EQ(list_.RandomFx(list_.Count() + 3), nullptr);
  EXPECT_EQ(list_.RandomFxID(list_.Count()), 0);

  list_.Randomize(12345);
  std::vector<int32_t> first;
  std::set<int32_t> seen;
  for (int i = 0; i < 3000; ++i) {
    const TFx3d* fx = list_.RandomFx(0);
    ASSERT_NE(fx, nullptr);
    ASSERT_NE(fx->GetFxID(), StillFxID);
    seen.insert(fx->GetFxID());
    if (i < 20) first.push_back(fx->GetFxID());
  }
  EXPECT_EQ(seen.size(), 67u);  // everything else comes up
  // The same seed repeats the choice.
  list_.Randomize(12345);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(list_.RandomFxID(0), first[i]);

  // From skips the head of the list.
  for (int i = 0; i < 200; ++i) {
    const TFx3d* fx = list_.RandomFx(60);
    ASSERT_NE(fx, nullptr);
    EXPECT_GE(fx->GetFxID(), 0x351);
  }
}

TEST_F(FxCatalogueTest, TwelvePicksOnTheStillEffectGiveTheNextOne) {
  const int still = 46;
  ASSERT_EQ(list_.Items(still)->GetFxID(), StillFxID);
  int calls = 0;
  // Eleven picks on it and then another: that other one.
  list_.SetRandomSource([&](int range) {
    EXPECT_EQ(range, 68);
    return calls++ < 11 ? still : 3;
  });
  EXPECT_EQ(list_.RandomFx(0), list_.Items(3));
  EXPECT_EQ(calls, 12);
  // Twelve in a row: the search gives up with the entry after it.
  calls = 0;
  list_.SetRandomSource([&](int) {
    ++calls;
    return still;
  });
  EXPECT_EQ(list_.RandomFx(0), list_.Items(still + 1));
  EXPECT_EQ(calls, 12);
  EXPECT_EQ(list_.RandomFxID(0), 0x301);
  // A source out of range never indexes outside the list.
  list_.SetRandomSource([](int range) { return range + 5; });
  EXPECT_NE(list_.RandomFx(0), nullptr);

  // The still effect as the last entry: nothing after it.
  TFxList small(false);
  small.Add(CreateFx<TRightMoveFx3d>());
  small.Add(CreateFx<TStillSquare>());
  EXPECT_EQ(small.RandomFx(1), nullptr);
  EXPECT_EQ(small.RandomFxID(1), 0);
  small.SetRandomSource([](int) { return 0; });
  EXPECT_EQ(small.RandomFxID(0), 0x101);
  TFxList empty(false);
  EXPECT_EQ(empty.RandomFx(0), nullptr);
}

TEST(FxProcessList, BuiltOnDemandAndFreed) {
  const bool existed = FxList() != nullptr;
  TFxList& list = EnsureFxList();
  EXPECT_EQ(&list, FxList());
  EXPECT_EQ(&EnsureFxList(), &list);
  EXPECT_EQ(list.Count(), 68);
  FreeFxList();
  EXPECT_EQ(FxList(), nullptr);
  if (existed) EnsureFxList();
}

}  // namespace
}  // namespace movara
