// The rasteriser's eight-pixel spans against its pixel-by-pixel spans: random triangles
// in every combination of filter, colour mode, blending, depth test and texture shape
// must leave the same target and depth buffer, byte for byte.
#include <gtest/gtest.h>

#include <climits>
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

TEST(Render3dVector, SwitchingNeedsTheProcessor) {
  const bool supported = VectorSpansSupported();
  EnableVectorSpans(false);
  EXPECT_FALSE(VectorSpansEnabled());
  EnableVectorSpans(true);
  EXPECT_EQ(VectorSpansEnabled(), supported);
}

}  // namespace
}  // namespace movara::rm
