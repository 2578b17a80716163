// The transitions as pictures: effects rendered through TFxScene at a small size and
// compared with what their geometry must show, region by region, with room for the
// filtering at region edges.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "base/Dib.h"
#include "base/Format.h"
#include "fx3d/FxList.h"
#include "fx3d/FxScene.h"
#include "platform/render3d/RmRaster.h"

namespace movara {
namespace {

constexpr int W = 160, H = 128;

struct RGB {
  int r, g, b;
};

RGB PixelOf(const TDIB& d, int x, int y) {
  const uint8_t* p = d.ScanLine(y) + 3 * x;
  return {p[2], p[1], p[0]};
}

bool Near(RGB a, RGB b, int tol) {
  return std::abs(a.r - b.r) <= tol && std::abs(a.g - b.g) <= tol && std::abs(a.b - b.b) <= tol;
}

std::string Text(RGB c) {
  return "(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + ")";
}

// A W x H picture of four flat quadrants: top-left, top-right, bottom-left, bottom-right.
TDIB Quadrants(RGB tl, RGB tr, RGB bl, RGB br) {
  TDIB d(W, H, 24);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const RGB c = y < H / 2 ? (x < W / 2 ? tl : tr) : (x < W / 2 ? bl : br);
      d.SetPixel(x, y, RGBColor(c.r, c.g, c.b));
    }
  return d;
}

// Eight colours, none of them black (the empty view) and no two alike.
const RGB kA[4] = {{220, 40, 40}, {40, 180, 40}, {235, 235, 235}, {200, 40, 200}};
const RGB kB[4] = {{40, 40, 220}, {230, 200, 40}, {40, 200, 200}, {240, 130, 20}};
const RGB& Quadrant(const RGB* q, int x, int y) { return q[(y < H / 2 ? 0 : 2) + (x < W / 2 ? 0 : 1)]; }

class FxSceneTest : public ::testing::Test {
 protected:
  FxSceneTest()
      : a_(Quadrants(kA[0], kA[1], kA[2], kA[3])), b_(Quadrants(kB[0], kB[1], kB[2], kB[3])) {}
  void TearDown() override { ResetFxViewAdjustment(); }

  // Renders one step (ReverseFlag allowed) between a and b into frame.
  static void Render(TFxScene& scene, int32_t id, int step, const TDIB& a, const TDIB& b,
                     TDIB& frame) {
    RenderTransitionStep(scene, id, step, a, b);
    scene.ReadFrame(frame);
  }
  void Render(int32_t id, int step, TDIB& frame) { Render(scene_, id, step, a_, b_, frame); }

  // The share of pixels more than two pixels away from every quadrant edge (and from
  // the view's border, unless border is true) that show the quadrant colour of q at
  // their place (within tol).
  static double Match(const TDIB& frame, const RGB* q, int tol = 6, bool border = false) {
    const int m = border ? 0 : 3;
    int total = 0, good = 0;
    for (int y = m; y < H - m; ++y)
      for (int x = m; x < W - m; ++x) {
        if (std::abs(x - W / 2) <= 2 || std::abs(y - H / 2) <= 2) continue;
        ++total;
        if (Near(PixelOf(frame, x, y), Quadrant(q, x, y), tol)) ++good;
      }
    return static_cast<double>(good) / total;
  }
  // Every pixel of the rectangle within tol of want.
  static void ExpectRegion(const TDIB& frame, int x0, int y0, int x1, int y1, RGB want, int tol,
                           const std::string& what) {
    int bad = 0;
    RGB first{};
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x)
        if (!Near(PixelOf(frame, x, y), want, tol) && bad++ == 0) first = PixelOf(frame, x, y);
    EXPECT_EQ(bad, 0) << what << ": want " << Text(want) << ", e.g. " << Text(first);
  }

  TDIB a_, b_;
  TFxScene scene_{W, H, 512, false};
};

TEST_F(FxSceneTest, StillEffectAtStepZeroReproducesThePicture) {
  TDIB frame;
  Render(StillFxID, 0, frame);
  EXPECT_EQ(Match(frame, kA, 0), 1.0);
  // Only the quadrant edges may differ from the picture, by the texture's stretching.
  int differing = 0;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const TColor c = a_.Pixel(x, y);
      if (!Near(PixelOf(frame, x, y), {GetRValue(c), GetGValue(c), GetBValue(c)}, 0)) {
        ++differing;
        EXPECT_TRUE(std::abs(x - W / 2) <= 1 || std::abs(y - H / 2) <= 1)
            << x << "," << y << " " << Text(PixelOf(frame, x, y));
      }
    }
  EXPECT_GT(differing, 0);  // the edges are blended: the texture is a stretched copy
}

TEST_F(FxSceneTest, RightMoveHalfWayShowsBOnTheLeftAndALeftHalfOnTheRight) {
  TDIB frame;
  Render(0x101, 500, frame);
  // left half: the second picture where it stands
  ExpectRegion(frame, 3, 3, W / 2 - 3, H / 2 - 3, kB[0], 4, "B top-left");
  ExpectRegion(frame, 3, H / 2 + 3, W / 2 - 3, H - 3, kB[2], 4, "B bottom-left");
  // right half: the left half of the first picture, moved over
  ExpectRegion(frame, W / 2 + 3, 3, W - 3, H / 2 - 3, kA[0], 4, "A top-left on the right");
  ExpectRegion(frame, W / 2 + 3, H / 2 + 3, W - 3, H - 3, kA[2], 4, "A bottom-left on the right");
}

// The background picture is stretched once and kept while it stays the same: taking B
// away, bringing it back and taking it away again must show each state, not the last one.
TEST_F(FxSceneTest, BackgroundFollowsPictureBComingAndGoing) {
  const TDIB none;
  TDIB frame;
  for (int round = 0; round < 2; ++round) {
    Render(scene_, 0x101, 500, a_, b_, frame);
    ExpectRegion(frame, 3, 3, W / 2 - 3, H / 2 - 3, kB[0], 4, "B shown");
    Render(scene_, 0x101, 500, a_, none, frame);
    ExpectRegion(frame, 3, 3, W / 2 - 3, H / 2 - 3, {0, 0, 0}, 0, "no B: black");
    Render(scene_, 0x101, 500, a_, none, frame);
    ExpectRegion(frame, 3, 3, W / 2 - 3, H / 2 - 3, {0, 0, 0}, 0, "still no B");
  }
}

TEST_F(FxSceneTest, ReversedEffectIsTheMirroredStepWithThePicturesSwapped) {
  for (int32_t id : {0x101, 0x130, 0x202, 0x162, 0x301, 0x351}) {
    TFxScene reversed(W, H, 512, false), forward(W, H, 512, false);
    TDIB r, f;
    Render(reversed, id | ReverseFlag, 250, a_, b_, r);
    Render(forward, id, 750, b_, a_, f);
    EXPECT_TRUE(r == f) << std::hex << id;
    // a film's transition from A to B starts on A and ends on B in either direction
    Render(reversed, id | ReverseFlag, 0, a_, b_, r);
    EXPECT_GT(Match(r, kA), 0.99) << std::hex << id;
    Render(reversed, id | ReverseFlag, 1000, a_, b_, r);
    EXPECT_GT(Match(r, kB), 0.99) << std::hex << id;
  }
}

// The fading effects must not dim a picture faded into itself. The full-view fade shows
// it unchanged at every step, and between two pictures (1 - k) A + k B with k the alpha
// it gives the back mesh. The cubes and wells move their geometry, so there a picture of
// one colour must keep that colour on every pixel, wherever translucent layers lie (the
// tinted cubes keep their full channel); that the layers are there at all is shown by a
// second colour coming in.
TEST(FxSceneFade, PictureFadedIntoItselfKeepsItsBrightness) {
  enum TCheck { ckFullView, ckFlat };
  struct TCase {
    int32_t id;
    TCheck check;
    int channels;  // the channels a flat picture keeps: bits red 1, green 2, blue 4
  };
  const TCase cases[] = {
      {0x202, ckFullView, 7},  // TFade
      {0x302, ckFlat, 7},      // TTransparentCube
      {0x303, ckFlat, 1},      // TRedCube
      {0x304, ckFlat, 2},      // TGreenCube
      {0x305, ckFlat, 4},      // TBlueCube
      {0x351, ckFlat, 7},      // TWaterWithFade
      {0x352, ckFlat, 7},      // TWaterWithFadeB
      {0x353, ckFlat, 7},      // TWaveWithFade
  };
  const int steps[] = {0, 250, 500, 750, 1000};
  TDIB a(W, H, 24), b(W, H, 24), flat(W, H, 24), other(W, H, 24);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      a.SetPixel(x, y, RGBColor(x * 7 + y, (x ^ y) * 3, y * 5));
      b.SetPixel(x, y, RGBColor(255 - y * 2, x * 11, (x * y) & 255));
      flat.SetPixel(x, y, RGBColor(200, 120, 40));
      other.SetPixel(x, y, RGBColor(30, 60, 90));
    }
  const RGB flatColour{200, 120, 40};
  // Pixels of got more than tol from want (a picture, or one colour for all pixels).
  auto offPixels = [](const TDIB& got, auto want, int channels, int tol) {
    int off = 0;
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const RGB p = PixelOf(got, x, y), w = want(x, y);
        if (((channels & 1) && std::abs(p.r - w.r) > tol) ||
            ((channels & 2) && std::abs(p.g - w.g) > tol) ||
            ((channels & 4) && std::abs(p.b - w.b) > tol))
          ++off;
      }
    return off;
  };
  for (bool bilinear : {false, true})
    for (const TCase& c : cases) {
      const std::string what = Format("$%X %s", static_cast<unsigned>(c.id),
                                      bilinear ? "bilinear" : "nearest");
      TFxScene scene(W, H, 512, bilinear);
      TDIB frame, start, end;
      if (c.check == ckFullView) {
        RenderTransitionStep(scene, c.id, 0, a, b);
        scene.ReadFrame(start);
        RenderTransitionStep(scene, c.id, 1000, a, b);
        scene.ReadFrame(end);
        for (int step : steps) {
          RenderTransitionStep(scene, c.id, step, a, a);
          scene.ReadFrame(frame);
          auto same = [&](int x, int y) { return PixelOf(start, x, y); };
          EXPECT_EQ(offPixels(frame, same, 7, 1), 0) << what << " faded into itself, step " << step;
          RenderTransitionStep(scene, c.id, step, a, b);
          scene.ReadFrame(frame);
          const double k = (FxBackVertices[0].color >> 24) / 255.0;
          EXPECT_NEAR(k, step / 1000.0, 1 / 255.0) << what;
          auto mix = [&](int x, int y) {
            const RGB p = PixelOf(start, x, y), q = PixelOf(end, x, y);
            auto one = [&](int u, int v) { return static_cast<int>(std::lround((1 - k) * u + k * v)); };
            return RGB{one(p.r, q.r), one(p.g, q.g), one(p.b, q.b)};
          };
          EXPECT_EQ(offPixels(frame, mix, 7, 1), 0) << what << " from A to B, step " << step;
        }
      } else {
        for (int step : steps) {
          RenderTransitionStep(scene, c.id, step, flat, flat);
          scene.ReadFrame(frame);
          auto same = [&](int, int) { return flatColour; };
          EXPECT_EQ(offPixels(frame, same, c.channels, 1), 0)
              << what << " faded into itself, step " << step;
        }
        // a quarter of the way the effect's layers do lie over the view
        RenderTransitionStep(scene, c.id, 250, flat, other);
        scene.ReadFrame(frame);
        EXPECT_GT(offPixels(frame, [](int, int) { return RGB{30, 60, 90}; }, 7, 8), W * H / 20)
            << what;
      }
    }
  ResetFxViewAdjustment();
}

// The cubes with one-colour pictures: every pixel is the background or exactly one layer
// of the cube over it.
class FxCubeTest : public FxSceneTest {
 protected:
  static constexpr RGB kFace{200, 160, 120}, kBack{30, 30, 30};
  FxCubeTest() {
    a_ = Quadrants(kFace, kFace, kFace, kFace);
    b_ = Quadrants(kBack, kBack, kBack, kBack);
  }
  // Counts the cube's pixels; each must be within tol of want(background-free layer).
  int ExpectLayer(const TDIB& frame, RGB want, int tol, const std::string& what) {
    int cube = 0, bad = 0;
    RGB first{};
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const RGB p = PixelOf(frame, x, y);
        if (Near(p, kBack, 0)) continue;
        ++cube;
        if (!Near(p, want, tol) && bad++ == 0) first = p;
      }
    EXPECT_EQ(bad, 0) << what << ": want " << Text(want) << ", e.g. " << Text(first);
    return cube;
  }
};

TEST_F(FxCubeTest, TransparentCubeDrawsOneLayerAndRedCubeIsRedTinted) {
  const int step = 250;  // alpha 255 - 63 = 192; the red cube's green and blue 128
  const double alpha = 192 / 255.0;
  auto over = [&](double face, int back) {
    return static_cast<int>(std::lround(face * alpha + back * (1 - alpha)));
  };
  TDIB frame;
  Render(0x302, step, frame);
  // back faces are not drawn: a second layer would give 0.94 of the face colour
  const RGB clear{over(kFace.r, kBack.r), over(kFace.g, kBack.g), over(kFace.b, kBack.b)};
  const int cubePixels = ExpectLayer(frame, clear, 2, "transparent cube");
  EXPECT_GT(cubePixels, 400);

  Render(0x303, step, frame);
  const RGB red{over(kFace.r, kBack.r), over(kFace.g * 128 / 255.0, kBack.g),
                over(kFace.b * 128 / 255.0, kBack.b)};
  EXPECT_EQ(ExpectLayer(frame, red, 2, "red cube"), cubePixels);

  // against the plain cube (opaque, untinted): green and blue fall relative to red
  TDIB plain;
  Render(0x301, step, plain);
  EXPECT_EQ(ExpectLayer(plain, kFace, 0, "plain cube"), cubePixels);
  EXPECT_LT(static_cast<double>(red.g) / red.r,
            0.75 * static_cast<double>(kFace.g) / kFace.r);
  EXPECT_LT(static_cast<double>(red.b) / red.r,
            0.75 * static_cast<double>(kFace.b) / kFace.r);
}

TEST_F(FxSceneTest, BackFacesAreNotDrawn) {
  // the still effect turns the picture about the vertical axis: past a quarter turn its
  // back faces the camera and only the background is left
  TDIB frame;
  Render(StillFxID, 750, frame);
  EXPECT_EQ(Match(frame, kB, 0), 1.0);
  Render(StillFxID, 400, frame);
  EXPECT_GT(Match(frame, kA), 0.05);
}

// Step 0 shows A over the whole view and step 1000 shows B, for every effect, on every
// pixel away from the quadrant edges. The exceptions are effects whose geometry does not
// end on the whole of B, with the share of B that must show at least. (The radial sweeps
// end on a line and the cubes on a point; at this size neither leaves a pixel.)
TEST_F(FxSceneTest, EveryEffectStartsOnAAndEndsOnB) {
  const std::map<int32_t, std::pair<double, const char*>> endExceptions = {
      // the waves recede to z = 2 while moving 3 units sideways: the picture's far edge
      // lands on the view's edge, and the ripple brings a few strips just inside
      {0x343, {0.99, "TWave: the last strips remain at the left edge (0.6%)"}},
      {0x344, {0.99, "TWaveRight: the last strips remain at the right edge (0.6%)"}},
      {0x345, {0.999, "TWaveLeftUp: a corner remains at the top left (0.04%)"}},
      {0x350, {0.995, "TWater: the rippled left edge remains at the right edge (0.2%)"}},
  };
  TFxList& list = EnsureFxList();
  ASSERT_EQ(list.Count(), 68);
  TDIB frame;
  for (int i = 0; i < list.Count(); ++i) {
    const int32_t id = list.Items(i)->GetFxID();
    Render(id, 0, frame);
    EXPECT_EQ(Match(frame, kA, 6, true), 1.0) << std::hex << "$" << id << " at step 0";
    Render(id, 1000, frame);
    const double end = Match(frame, kB, 6, true);
    auto e = endExceptions.find(id);
    if (e == endExceptions.end()) {
      EXPECT_EQ(end, 1.0) << std::hex << "$" << id << " at step 1000";
    } else {
      EXPECT_GE(end, e->second.first) << e->second.second;
      EXPECT_LT(end, 1.0) << e->second.second << ": no longer an exception";
    }
  }
}

TEST_F(FxSceneTest, WaterWithFadeShowsBUprightOnItsBackMesh) {
  TDIB frame;
  Render(0x351, 800, frame);
  const double fa = (FxFrontVertices[0].color >> 24) / 255.0;  // 51 / 255
  ASSERT_NEAR(fa, 0.2, 0.01);
  for (int q = 0; q < 4; ++q) {
    // A faint over B, where B on the back mesh and B in the background agree
    auto mix = [&](int ca, int cb) { return static_cast<int>(std::lround(ca * fa + cb * (1 - fa))); };
    const RGB want{mix(kA[q].r, kB[q].r), mix(kA[q].g, kB[q].g), mix(kA[q].b, kB[q].b)};
    const int cx = q % 2 ? 3 * W / 4 : W / 4, cy = q / 2 ? 3 * H / 4 : H / 4;
    ExpectRegion(frame, cx - 6, cy - 6, cx + 6, cy + 6, want, 4, "quadrant " + std::to_string(q));
  }
}

// The renderer draws spans eight pixels at a time where the processor allows; every
// effect must look exactly as with the pixel-by-pixel spans.
TEST(FxSceneVector, EightPixelSpansDrawEveryEffectAlike) {
  if (!rm::VectorSpansSupported()) GTEST_SKIP() << "no eight-pixel spans here";
  TDIB a(W, H, 24), b(W, H, 24);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      a.SetPixel(x, y, RGBColor(x * 7 + y, (x ^ y) * 3, y * 5));
      b.SetPixel(x, y, RGBColor(255 - y * 2, x * 11, (x * y) & 255));
    }
  TFxList& list = EnsureFxList();
  TDIB vector, plain;
  for (bool bilinear : {false, true}) {
    TFxScene scene(W, H, 512, bilinear);
    scene.SetPictures(&a, &b);
    for (int i = 0; i < list.Count(); ++i) {
      scene.SetEffect(list.Items(i));
      for (int step : {137, 500, 861}) {
        rm::EnableVectorSpans(true);
        scene.RenderStep(static_cast<uint16_t>(step));
        scene.ReadFrame(vector);
        rm::EnableVectorSpans(false);
        scene.RenderStep(static_cast<uint16_t>(step));
        scene.ReadFrame(plain);
        EXPECT_TRUE(vector == plain) << std::hex << "$" << list.Items(i)->GetFxID() << std::dec
                                     << " step " << step << (bilinear ? " bilinear" : " nearest");
      }
    }
  }
  rm::EnableVectorSpans(true);
}

// Quads lying upright in the view (the cross-fade, moves, pushes, scales, the still
// effect) are drawn from their sampled texture columns; every effect of the catalogue,
// at odd and full sizes, both filters and across its run, must leave exactly the pixels
// of the spans in the target, whether the quads take that way or not.
TEST(FxSceneUpright, UprightQuadsDrawEveryEffectAlike) {
  struct TSize {
    int W, H, Texture;
    bool Large;  // the full-size view: the quad effects at two steps only (time)
  };
  const TSize sizes[] = {{161, 97, 512, false}, {90, 131, 256, false}, {720, 576, 1024, true}};
  // effects that must take the upright way half-way: the moves and the cross-fade
  const int32_t upright[] = {0x101, 0x102, 0x103, 0x104, 0x202};
  TFxList& list = EnsureFxList();
  std::map<int32_t, uint64_t> hitsHalfWay;
  for (const TSize& size : sizes) {
    TDIB a(size.W, size.H, 24), b(size.W, size.H, 24);
    for (int y = 0; y < size.H; ++y)
      for (int x = 0; x < size.W; ++x) {
        a.SetPixel(x, y, RGBColor(x * 7 + y, (x ^ y) * 3, y * 5));
        b.SetPixel(x, y, RGBColor(255 - y * 2, x * 11, (x * y) & 255));
      }
    for (bool bilinear : {false, true}) {
      TFxScene scene(size.W, size.H, size.Texture, bilinear);
      scene.SetPictures(&a, &b);
      const int count = size.Large ? 47 : list.Count();
      for (int i = 0; i < count; ++i) {
        TFx3d* fx = list.Items(i);
        scene.SetEffect(fx);
        for (int step : {0, 1, 137, 500, 861, 1000}) {
          if (size.Large && step != 137 && step != 500) continue;
          std::vector<TRmPixel> frame[2];
          for (int way = 0; way < 2; ++way) {
            rm::EnableUprightQuads(way == 0);
            const uint64_t before = rm::UprightQuadsDrawn();
            scene.RenderStep(static_cast<uint16_t>(step));
            if (way == 0 && step == 500) hitsHalfWay[fx->GetFxID()] += rm::UprightQuadsDrawn() - before;
            const TRmSurface& t = scene.Target();
            for (int y = 0; y < t.Height(); ++y)
              frame[way].insert(frame[way].end(), t.Row(y), t.Row(y) + t.Width());
          }
          ASSERT_TRUE(frame[0] == frame[1])
              << std::hex << "$" << fx->GetFxID() << std::dec << " step " << step << " "
              << size.W << "x" << size.H << (bilinear ? " bilinear" : " nearest");
        }
      }
    }
  }
  rm::EnableUprightQuads(true);
  for (int32_t id : upright) EXPECT_GT(hitsHalfWay[id], 0u) << std::hex << "$" << id;
  // half-way the turned and bent ones keep their spans
  int halfWay = 0;
  for (const auto& [id, n] : hitsHalfWay) halfWay += n > 0 ? 1 : 0;
  EXPECT_GT(halfWay, 6);
  EXPECT_LT(halfWay, list.Count());
}

}  // namespace
}  // namespace movara
