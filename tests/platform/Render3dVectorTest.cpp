// The rasteriser's eight-pixel spans against its pixel-by-pixel spans: random triangles
// in every combination of filter, colour mode, blending, depth test and texture shape
// must leave the same target and depth buffer, byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <random>
#include <vector>

#include "platform/render3d/RmRaster.h"

namespace movara::rm {
namespace {

struct TBuffers {
  int W, H;
  std::vector<TRmPixel> target;
  std::vector<int32_t> depth;
  TBuffers(int w, int h, uint32_t seed) : W(w), H(h), target(size_t(w) * h), depth(size_t(w) * h) {
    std::mt19937 rnd(seed);
    for (auto& p : target) p = rnd() & 0xFFFFFF;
    for (auto& d : depth) d = static_cast<int32_t>(rnd() % (1u << 25));
  }
};

struct TCase {
  TRasterState state;
  TRasterVertex v[3];
};

// A random triangle and state over a W x H target; texture rows bottom-up like a DIB.
TCase RandomCase(std::mt19937& rnd, int W, int H, const std::vector<TRmPixel>& tex, int tw, int th) {
  auto uni = [&](double a, double b) { return std::uniform_real_distribution<double>(a, b)(rnd); };
  TCase c;
  TRasterState& s = c.state;
  s.ClipLeft = static_cast<int>(rnd() % 4);
  s.ClipTop = static_cast<int>(rnd() % 4);
  s.ClipRight = W - static_cast<int>(rnd() % 4);
  s.ClipBottom = H - static_cast<int>(rnd() % 4);
  s.RowLength = W;
  s.DepthPitch = W;
  s.DepthTest = rnd() % 4 != 0;
  s.DepthWrite = rnd() % 3 != 0;
  const int64_t biases[3] = {0, 1, INT64_MIN / 2};
  s.DepthBias = biases[rnd() % 3];
  s.Filter = static_cast<TFilter>(rnd() % 3);
  s.Texture = tex.data() + static_cast<ptrdiff_t>(th - 1) * tw;
  s.TexturePitch = -tw;
  s.TextureWidth = tw;
  s.TextureHeight = th;
  s.Perspective = rnd() % 4 != 0;
  s.Colour = static_cast<TColourMode>(rnd() % 3);
  s.FlatColour = rnd();
  s.Blend = rnd() % 2 == 0;
  for (TRasterVertex& v : c.v) {
    v.X = static_cast<int64_t>(uni(-0.3 * W, 1.3 * W) * kSubPixel);
    v.Y = static_cast<int64_t>(uni(-0.3 * H, 1.3 * H) * kSubPixel);
    v.Q = uni(0.05, 2.0);
    // texel coordinates reaching past the edges, so that runs get held there
    const double u = uni(-0.2, 1.2) * tw, w = uni(-0.2, 1.2) * th;
    v.U = s.Perspective ? u * v.Q : u;
    v.V = s.Perspective ? w * v.Q : w;
    for (double& ch : v.C) ch = uni(0, 255);
  }
  return c;
}

TEST(Render3dVector, EightPixelSpansMatchThePixelSpans) {
  if (!VectorSpansSupported()) GTEST_SKIP() << "no eight-pixel spans here";
  std::mt19937 rnd(20240611);
  const int sizes[][2] = {{64, 64}, {37, 23}, {1, 9}, {9, 1}, {2, 2}, {256, 128}};
  int drawn = 0;
  for (const auto& size : sizes) {
    const int tw = size[0], th = size[1];
    std::vector<TRmPixel> tex(size_t(tw) * th);
    for (auto& t : tex) t = rnd();  // the top byte is not alpha and must not leak
    for (int round = 0; round < 150; ++round) {
      const int W = 8 + static_cast<int>(rnd() % 90), H = 4 + static_cast<int>(rnd() % 40);
      const uint32_t seed = rnd();
      TBuffers vector(W, H, seed), plain(W, H, seed);
      const TCase c = RandomCase(rnd, W, H, tex, tw, th);
      for (int pass = 0; pass < 2; ++pass) {
        TBuffers& b = pass == 0 ? vector : plain;
        EnableVectorSpans(pass == 0);
        TRasterState s = c.state;
        s.Target = b.target.data();
        s.TargetPitch = W;
        s.Depth = b.depth.data();
        RasterTriangle(s, c.v[0], c.v[1], c.v[2]);
      }
      EnableVectorSpans(true);
      ASSERT_EQ(vector.target, plain.target)
          << "texture " << tw << "x" << th << " round " << round << " filter " << c.state.Filter
          << " colour " << c.state.Colour << " blend " << c.state.Blend;
      ASSERT_EQ(vector.depth, plain.depth) << "texture " << tw << "x" << th << " round " << round;
      TBuffers untouched(W, H, seed);
      if (vector.target != untouched.target) ++drawn;
    }
  }
  EXPECT_GT(drawn, 400);  // most cases drew something
}

// A flat quad drawn whole covers exactly the pixels of its two triangles, with the same
// colours give or take the rounding of the second triangle's own plane.
TEST(Render3dQuad, FlatQuadCoversWhatItsTrianglesCover) {
  std::mt19937 rnd(7);
  auto uni = [&](double a, double b) { return std::uniform_real_distribution<double>(a, b)(rnd); };
  const int W = 96, H = 72, T = 64;
  std::vector<TRmPixel> tex(size_t(T) * T);
  for (int y = 0; y < T; ++y)
    for (int x = 0; x < T; ++x) tex[size_t(y) * T + x] = RmPixel(x * 4, y * 4, 128);  // smooth
  int merged = 0, drawn = 0, far = 0, worst = 0;
  for (int round = 0; round < 200; ++round) {
    // a rectangle turned in space in front of a camera at the origin, seen with focal F
    const double F = 80, cz = uni(2, 5), ax = uni(-0.6, 0.6), ay = uni(-0.6, 0.6);
    const double hw = uni(0.3, 1.2), hh = uni(0.3, 1.2);
    const double corner[4][2] = {{-hw, hh}, {hw, hh}, {hw, -hh}, {-hw, -hh}};
    const double tc[4][2] = {{0, 0}, {T, 0}, {T, T}, {0, T}};
    TRasterVertex v[4];
    for (int k = 0; k < 4; ++k) {
      double x = corner[k][0], y = corner[k][1], z = 0;
      const double y1 = y * std::cos(ax) - z * std::sin(ax), z1 = y * std::sin(ax) + z * std::cos(ax);
      const double x2 = x * std::cos(ay) + z1 * std::sin(ay), z2 = -x * std::sin(ay) + z1 * std::cos(ay);
      const double d = cz + z2;
      v[k].Q = 1 / d;
      v[k].X = std::llrint((W / 2.0 + F * x2 / d) * kSubPixel);
      v[k].Y = std::llrint((H / 2.0 - F * y1 / d) * kSubPixel);
      v[k].U = tc[k][0] * v[k].Q;
      v[k].V = tc[k][1] * v[k].Q;
    }
    TRasterState s;
    s.ClipRight = W;
    s.ClipBottom = H;
    s.RowLength = W;
    s.DepthPitch = W;
    s.DepthTest = true;
    s.DepthWrite = true;
    s.Filter = rnd() % 2 ? fiBilinear : fiNearest;
    s.Texture = tex.data();
    s.TexturePitch = T;
    s.TextureWidth = s.TextureHeight = T;
    s.Perspective = true;
    s.FlatColour = 0xFFFFFFFF;
    if (!QuadIsFlat(s, v[0], v[1], v[2], v[3])) continue;
    ++merged;
    TBuffers whole(W, H, 1), halves(W, H, 1);
    for (int pass = 0; pass < 2; ++pass) {
      TBuffers& b = pass == 0 ? whole : halves;
      std::fill(b.target.begin(), b.target.end(), 0xFF000000u);  // marks pixels not drawn
      std::fill(b.depth.begin(), b.depth.end(), 0);
      s.Target = b.target.data();
      s.TargetPitch = W;
      s.Depth = b.depth.data();
      if (pass == 0) {
        RasterQuad(s, v[0], v[1], v[2], v[3]);
      } else {
        RasterTriangle(s, v[0], v[1], v[2]);
        RasterTriangle(s, v[0], v[2], v[3]);
      }
    }
    // The same pixels; colours as close as another split into triangles would give
    // (texture coordinates are exact only at the ends of runs, which lie elsewhere).
    for (size_t p = 0; p < whole.target.size(); ++p) {
      ASSERT_EQ(whole.target[p] >> 24, halves.target[p] >> 24) << "round " << round << " pixel " << p;
      if (whole.target[p] >> 24) continue;
      ++drawn;
      int diff = 0;
      for (int shift : {0, 8, 16})
        diff = std::max(diff, std::abs(int((whole.target[p] >> shift) & 0xFF) -
                                       int((halves.target[p] >> shift) & 0xFF)));
      worst = std::max(worst, diff);
      if (diff > 4) ++far;
    }
  }
  EXPECT_LE(worst, 16);                // four texel steps at most
  EXPECT_LT(far, drawn / 100);         // and almost never more than one
  EXPECT_GT(drawn, 100000);
  EXPECT_GT(merged, 150);
  // a quad folded along its diagonal is not flat
  TRasterVertex v[4];
  const int64_t xy[4][2] = {{10, 10}, {50, 12}, {52, 50}, {8, 48}};
  for (int k = 0; k < 4; ++k) {
    v[k].X = xy[k][0] * kSubPixel;
    v[k].Y = xy[k][1] * kSubPixel;
    v[k].Q = 0.5;
  }
  v[3].Q = 0.45;
  TRasterState s;
  EXPECT_FALSE(QuadIsFlat(s, v[0], v[1], v[2], v[3]));
  v[3].Q = 0.5;
  EXPECT_TRUE(QuadIsFlat(s, v[0], v[1], v[2], v[3]));
}

// Upright quads (a rectangle at one depth, texture scaled onto it) drawn row by row from
// their sampled columns against the spans, in every state, both ways of each: the target
// and the depth buffer must match byte for byte. Most cases must take the upright way.
TEST(Render3dQuad, UprightQuadsDrawWhatTheSpansDraw) {
  std::mt19937 rnd(20261210);
  auto uni = [&](double a, double b) { return std::uniform_real_distribution<double>(a, b)(rnd); };
  const int texSizes[][2] = {{64, 64}, {37, 23}, {1, 9}, {9, 1}, {256, 128}};
  const uint64_t before = UprightQuadsDrawn();
  int cases = 0;
  for (const auto& size : texSizes) {
    const int tw = size[0], th = size[1];
    std::vector<TRmPixel> tex(size_t(tw) * th);
    for (auto& t : tex) t = rnd();
    for (int round = 0; round < 120; ++round) {
      const int W = 1 + static_cast<int>(rnd() % 97), H = 1 + static_cast<int>(rnd() % 41);
      TRasterState s;
      s.ClipLeft = static_cast<int>(rnd() % 3) % W;
      s.ClipTop = static_cast<int>(rnd() % 3) % H;
      s.ClipRight = std::max(s.ClipLeft + 1, W - static_cast<int>(rnd() % 3));
      s.ClipBottom = std::max(s.ClipTop + 1, H - static_cast<int>(rnd() % 3));
      s.RowLength = W;
      s.DepthPitch = W;
      s.DepthTest = rnd() % 4 != 0;
      s.DepthWrite = rnd() % 3 != 0;
      const int64_t biases[4] = {0, 1, INT64_MIN / 2, -3};
      s.DepthBias = biases[rnd() % 4];
      s.Filter = rnd() % 2 ? fiBilinear : fiNearest;
      s.Texture = tex.data() + static_cast<ptrdiff_t>(th - 1) * tw;
      s.TexturePitch = -tw;
      s.TextureWidth = tw;
      s.TextureHeight = th;
      s.Perspective = rnd() % 4 != 0;
      s.Colour = rnd() % 2 ? cmFlat : cmWhite;
      s.FlatColour = rnd();
      s.Blend = rnd() % 2 == 0;
      // a rectangle often exactly over the view, else anywhere around it; the texture
      // scaled onto it either way round, at times reaching past its edges
      int64_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
      if (rnd() % 3 == 0) {
        const int64_t off = static_cast<int64_t>(rnd() % 256) - 128;
        x0 = -kSubPixel / 2 + off;
        y0 = -kSubPixel / 2 - off;
        x1 = (W - 1) * kSubPixel + kSubPixel / 2 + off;
        y1 = (H - 1) * kSubPixel + kSubPixel / 2 - off;
      } else {
        x0 = static_cast<int64_t>(uni(-0.5 * W, 1.2 * W) * kSubPixel);
        y0 = static_cast<int64_t>(uni(-0.5 * H, 1.2 * H) * kSubPixel);
        x1 = x0 + static_cast<int64_t>(uni(0.01, 1.5 * W) * kSubPixel) + 1;
        y1 = y0 + static_cast<int64_t>(uni(0.01, 1.5 * H) * kSubPixel) + 1;
      }
      const double q = uni(0.05, 2.0);
      const double u0 = uni(-0.1, 0.3) * tw, u1 = uni(0.7, 1.1) * tw;
      const double v0 = uni(-0.1, 0.3) * th, v1 = uni(0.7, 1.1) * th;
      const bool flipU = rnd() % 2, flipV = rnd() % 2;
      const double shift = s.Filter == fiBilinear ? -0.5 : 0.0;
      TRasterVertex corner[4];
      const int64_t xy[4][2] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
      for (int k = 0; k < 4; ++k) {
        TRasterVertex& v = corner[k];
        v.X = xy[k][0];
        v.Y = xy[k][1];
        v.Q = q;
        const double u = ((xy[k][0] == x0) != flipU ? u0 : u1) + shift;
        const double w = ((xy[k][1] == y0) != flipV ? v0 : v1) + shift;
        v.U = s.Perspective ? u * q : u;
        v.V = s.Perspective ? w * q : w;
      }
      // any corner first, either way round
      const int first = static_cast<int>(rnd() % 4), dir = rnd() % 2 ? 1 : 3;
      TRasterVertex v[4];
      for (int k = 0; k < 4; ++k) v[k] = corner[(first + dir * k) % 4];

      const uint32_t seed = rnd();
      TBuffers reference(W, H, seed);
      for (int way = 0; way < 4; ++way) {
        TBuffers b(W, H, seed);
        TBuffers& out = way == 0 ? reference : b;
        EnableUprightQuads(way % 2 == 1);
        EnableVectorSpans(way >= 2);
        s.Target = out.target.data();
        s.TargetPitch = W;
        s.Depth = out.depth.data();
        RasterQuad(s, v[0], v[1], v[2], v[3]);
        if (way == 0) continue;
        ASSERT_EQ(out.target, reference.target)
            << "texture " << tw << "x" << th << " round " << round << " way " << way << " filter "
            << s.Filter << " colour " << s.Colour << " blend " << s.Blend << " view " << W << "x" << H;
        ASSERT_EQ(out.depth, reference.depth) << "texture " << tw << "x" << th << " round " << round;
      }
      ++cases;
    }
  }
  EnableUprightQuads(true);
  EnableVectorSpans(true);
  EXPECT_GT(UprightQuadsDrawn() - before, static_cast<uint64_t>(cases) * 3 / 2);
}

TEST(Render3dVector, SwitchingNeedsTheProcessor) {
  const bool supported = VectorSpansSupported();
  EnableVectorSpans(false);
  EXPECT_FALSE(VectorSpansEnabled());
  EnableVectorSpans(true);
  EXPECT_EQ(VectorSpansEnabled(), supported);
}

}  // namespace
}  // namespace movara::rm
