#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "platform/render3d/Direct3DRM.h"

using namespace movara;

namespace {

constexpr int32_t kQuadFaces[6] = {0, 1, 2, 1, 3, 2};

TRmVertex Vx(float x, float y, float z, float tu, float tv, uint32_t color = 0xFFFFFFFF) {
  TRmVertex v;
  v.x = x;
  v.y = y;
  v.z = z;
  v.tu = tu;
  v.tv = tv;
  v.color = color;
  return v;
}

// A quad laid out as the effects lay theirs: top-left, top-right, bottom-left,
// bottom-right, tv = 1 on the top edge.
std::vector<TRmVertex> Quad(float left, float bottom, float right, float top, float z,
                            uint32_t color = 0xFFFFFFFF) {
  return {Vx(left, top, z, 0, 1, color), Vx(right, top, z, 1, 1, color),
          Vx(left, bottom, z, 0, 0, color), Vx(right, bottom, z, 1, 0, color)};
}

std::shared_ptr<TRmSurface> MakeSurface(int w, int h, TRmPixel (*pattern)(int, int)) {
  auto s = std::make_shared<TRmSurface>();
  EXPECT_EQ(s->Create(w, h), DD_OK);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) s->Row(y)[x] = pattern(x, y);
  s->Changed();
  return s;
}

TRmPixel Busy(int x, int y) { return RmPixel(x * 4, y * 4, (x * 7) ^ (y * 13)); }
TRmPixel Smooth(int x, int y) { return RmPixel(x * 2, y * 3, 100); }

// Scene, camera at (0, 0, -2), a device on its own surface and one viewport over it.
struct TTestScene {
  TDirect3DRM rm;
  std::shared_ptr<TRmSurface> target = std::make_shared<TRmSurface>();
  std::shared_ptr<TRmDevice> device;
  std::shared_ptr<TRmFrame> scene, camera, meshFrame;
  std::shared_ptr<TRmViewport> viewport;

  TTestScene(int w, int h, TRect view = TRect{}) {
    EXPECT_EQ(target->Create(w, h), DD_OK);
    EXPECT_EQ(rm.CreateFrame(nullptr, &scene), D3DRM_OK);
    EXPECT_EQ(rm.CreateFrame(scene.get(), &camera), D3DRM_OK);
    EXPECT_EQ(camera->SetPosition(scene.get(), 0, 0, -2), D3DRM_OK);
    EXPECT_EQ(rm.CreateFrame(scene.get(), &meshFrame), D3DRM_OK);
    EXPECT_EQ(rm.CreateDeviceFromSurface(target, &device), D3DRM_OK);
    if (view.Width() <= 0) view = Rect(0, 0, w, h);
    EXPECT_EQ(rm.CreateViewport(device, camera, view.Left, view.Top, view.Width(),
                                view.Height(), &viewport),
              D3DRM_OK);
  }

  std::shared_ptr<TRmTexture> Texture(std::shared_ptr<TRmSurface> s) {
    std::shared_ptr<TRmTexture> t;
    EXPECT_EQ(rm.CreateTextureFromSurface(std::move(s), &t), D3DRM_OK);
    return t;
  }

  std::shared_ptr<TRmMesh> Add(const std::vector<TRmVertex>& v, const std::vector<int32_t>& faces,
                               std::shared_ptr<TRmTexture> tex,
                               uint32_t quality = D3DRMRENDER_UNLITFLAT) {
    std::shared_ptr<TRmMesh> mesh;
    EXPECT_EQ(rm.CreateMesh(&mesh), D3DRM_OK);
    TRmGroupIndex g = -1;
    EXPECT_EQ(mesh->AddGroup(static_cast<int>(v.size()), static_cast<int>(faces.size() / 3), 3,
                             faces.data(), &g),
              D3DRM_OK);
    EXPECT_EQ(mesh->SetVertices(g, 0, static_cast<int>(v.size()), v.data()), D3DRM_OK);
    EXPECT_EQ(mesh->SetGroupQuality(g, quality), D3DRM_OK);
    EXPECT_EQ(mesh->SetGroupTexture(g, std::move(tex)), D3DRM_OK);
    EXPECT_EQ(meshFrame->AddVisual(mesh), D3DRM_OK);
    return mesh;
  }
  std::shared_ptr<TRmMesh> AddQuad(const std::vector<TRmVertex>& v,
                                   std::shared_ptr<TRmTexture> tex = nullptr) {
    return Add(v, std::vector<int32_t>(kQuadFaces, kQuadFaces + 6), std::move(tex));
  }

  void AlphaBlend() {
    EXPECT_EQ(device->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA), D3DRM_OK);
    EXPECT_EQ(device->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA), D3DRM_OK);
  }

  void Draw() {
    ASSERT_EQ(viewport->ForceUpdate(0, 0, target->Width(), target->Height()), D3DRM_OK);
    ASSERT_EQ(viewport->Clear(), D3DRM_OK);
    ASSERT_EQ(viewport->Render(scene.get()), D3DRM_OK);
    ASSERT_EQ(device->Update(), D3DRM_OK);
  }

  TRmPixel At(int x, int y) const { return target->Pixel(x, y); }
  int Count(TRmPixel p) const {
    int n = 0;
    for (int y = 0; y < target->Height(); ++y)
      for (int x = 0; x < target->Width(); ++x) n += At(x, y) == p;
    return n;
  }
};

int MaxChannelDiff(TRmPixel a, TRmPixel b) {
  return std::max({std::abs(RmRed(a) - RmRed(b)), std::abs(RmGreen(a) - RmGreen(b)),
                   std::abs(RmBlue(a) - RmBlue(b))});
}

std::vector<TRmPixel> Pixels(const TRmSurface& s) {
  std::vector<TRmPixel> out;
  for (int y = 0; y < s.Height(); ++y) out.insert(out.end(), s.Row(y), s.Row(y) + s.Width());
  return out;
}

}  // namespace

// The effects move every vertex by 0.85 / max(W, H) left and up and scale the shorter
// side; a full-view quad then shows its texture texel for pixel, the surface's last row
// at the top (v = 1 addresses the bottom row of the texture surface).
TEST(Render3d, FullViewQuadShowsItsTextureRowReversed) {
  for (auto [w, h] : {std::pair{64, 64}, std::pair{80, 64}, std::pair{48, 72}}) {
    TTestScene t(w, h);
    auto tex = MakeSurface(w, h, Busy);
    const float m = static_cast<float>(std::max(w, h));
    const float sx = h > w ? float(w) / float(h) : 1.0f, sy = h < w ? float(h) / float(w) : 1.0f;
    const float ox = -0.85f / m, oy = 0.85f / m;
    t.AddQuad(Quad(-sx + ox, -sy + oy, sx + ox, sy + oy, 0), t.Texture(tex));
    t.Draw();
    int wrong = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) wrong += t.At(x, y) != tex->Pixel(x, h - 1 - y);
    EXPECT_EQ(wrong, 0) << w << "x" << h;
  }
}

TEST(Render3d, ExactUnitQuadCoversTheViewColumnForColumn) {
  // Without the offset the square [-1, 1] spans the view from the first pixel centre on,
  // so every pixel samples exactly on a texel border: columns still match (u grows to
  // the right), rows sample the border below their texel (v falls downwards). This is
  // why the effects move their vertices by the offset.
  TTestScene t(64, 64);
  auto tex = MakeSurface(64, 64, Busy);
  t.AddQuad(Quad(-1, -1, 1, 1, 0), t.Texture(tex));
  t.Draw();
  int wrong = 0;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) wrong += t.At(x, y) != tex->Pixel(x, std::min(63, 64 - y));
  EXPECT_EQ(wrong, 0);
}

TEST(Render3d, BilinearFilteringStaysCloseToTheTexture) {
  TTestScene t(64, 64);
  ASSERT_EQ(t.device->SetTextureQuality(D3DRMTEXTURE_LINEAR), D3DRM_OK);
  uint32_t mag = 0;
  ASSERT_EQ(t.device->GetRenderState(D3DRENDERSTATE_TEXTUREMAG, &mag), D3DRM_OK);
  EXPECT_EQ(mag, D3DFILTER_LINEAR);
  auto tex = MakeSurface(64, 64, Smooth);
  const float o = 0.85f / 64;
  auto mesh = t.AddQuad(Quad(-1 - o, -1 + o, 1 - o, 1 + o, 0), t.Texture(tex));
  t.Draw();
  int worst = 0;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) worst = std::max(worst, MaxChannelDiff(t.At(x, y), tex->Pixel(x, 63 - y)));
  EXPECT_LE(worst, 1);
  // A texture twice as large is averaged, not decimated: a fine checker turns grey.
  auto checker = MakeSurface(128, 128, [](int x, int y) -> TRmPixel {
    return ((x + y) & 1) ? RmPixel(255, 255, 255) : RmPixel(0, 0, 0);
  });
  ASSERT_EQ(mesh->SetGroupTexture(0, t.Texture(checker)), D3DRM_OK);
  // Moved so that every sample point falls halfway between two texel columns.
  ASSERT_EQ(mesh->SetVertices(0, 0, 4, Quad(-1 - 1.0f / 64, -1, 1 - 1.0f / 64, 1, 0).data()),
            D3DRM_OK);
  t.Draw();
  EXPECT_LE(MaxChannelDiff(t.At(40, 20), RmPixel(128, 128, 128)), 8);
}

TEST(Render3d, BackFacesAreCulled) {
  TTestScene t(32, 32);
  // Turned half round the y axis: left and right swap, so the winding runs the other way.
  auto back = Quad(1, -1, -1, 1, 0, 0xFFFF0000);
  t.AddQuad(back);
  t.Draw();
  EXPECT_EQ(t.Count(RmPixel(0, 0, 0)), 32 * 32);
  ASSERT_EQ(t.device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE), D3DRM_OK);
  t.Draw();
  EXPECT_EQ(t.Count(RmPixel(255, 0, 0)), 32 * 32);
}

TEST(Render3d, NearerQuadHidesFartherOneInEitherOrder) {
  for (bool nearFirst : {false, true}) {
    TTestScene t(64, 64);
    auto farQuad = Quad(-2, -2, 2, 2, 1, 0xFFFF0000);     // red, fills the view
    auto nearQuad = Quad(-0.5f, -0.5f, 0.5f, 0.5f, -0.5f, 0xFF00FF00);  // green, centre
    if (nearFirst) {
      t.AddQuad(nearQuad);
      t.AddQuad(farQuad);
    } else {
      t.AddQuad(farQuad);
      t.AddQuad(nearQuad);
    }
    t.Draw();
    // The near quad spans 2 * 0.5 / 1.5 of the half-width: pixels 32 -+ 21.33.
    EXPECT_EQ(t.At(32, 32), RmPixel(0, 255, 0)) << nearFirst;
    EXPECT_EQ(t.At(11, 11), RmPixel(0, 255, 0)) << nearFirst;
    EXPECT_EQ(t.At(10, 32), RmPixel(255, 0, 0)) << nearFirst;
    EXPECT_EQ(t.At(0, 0), RmPixel(255, 0, 0)) << nearFirst;
    EXPECT_EQ(t.Count(RmPixel(0, 255, 0)), 43 * 43) << nearFirst;
  }
}

TEST(Render3d, HalfAlphaBlendsHalfAndTheLaterMeshWinsAtEqualDepth) {
  TTestScene t(32, 32);
  t.AlphaBlend();
  auto bg = MakeSurface(16, 16, [](int, int) { return RmPixel(200, 100, 0); });
  ASSERT_EQ(t.scene->SetSceneBackgroundImage(t.Texture(bg)), D3DRM_OK);
  auto fg = MakeSurface(16, 16, [](int, int) { return RmPixel(0, 100, 200); });
  t.AddQuad(Quad(-1, -1, 1, 1, 0, 0x80FFFFFF), t.Texture(fg));
  t.Draw();
  for (auto [x, y] : {std::pair{0, 0}, std::pair{31, 31}, std::pair{16, 5}})
    EXPECT_LE(MaxChannelDiff(t.At(x, y), RmPixel(100, 100, 100)), 1);
  // A back mesh at the same depth drawn first: the front still blends over it (the
  // cross-fade of two pictures).
  TTestScene f(32, 32);
  f.AlphaBlend();
  auto red = MakeSurface(8, 8, [](int, int) { return RmPixel(255, 0, 0); });
  auto blue = MakeSurface(8, 8, [](int, int) { return RmPixel(0, 0, 255); });
  f.AddQuad(Quad(-1, -1, 1, 1, 0), f.Texture(red));
  f.AddQuad(Quad(-1, -1, 1, 1, 0, 0x40FFFFFF), f.Texture(blue));
  f.Draw();
  EXPECT_LE(MaxChannelDiff(f.At(10, 10), RmPixel(191, 0, 64)), 1);
  EXPECT_EQ(f.Count(f.At(10, 10)), 32 * 32);
  // Without the blend pair the alpha is ignored.
  ASSERT_EQ(f.device->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_ONE), D3DRM_OK);
  ASSERT_EQ(f.device->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_ZERO), D3DRM_OK);
  f.Draw();
  EXPECT_EQ(f.At(10, 10), RmPixel(0, 0, 255));
}

TEST(Render3d, VertexColourModulatesTheTexture) {
  TTestScene t(16, 16);
  auto tex = MakeSurface(4, 4, [](int, int) { return RmPixel(200, 150, 100); });
  auto mesh = t.AddQuad(Quad(-1, -1, 1, 1, 0, 0xFF00FF00), t.Texture(tex));
  t.Draw();
  EXPECT_EQ(t.Count(RmPixel(0, 150, 0)), 16 * 16);
  ASSERT_EQ(mesh->SetVertices(0, 0, 4, Quad(-1, -1, 1, 1, 0, 0xFF808080).data()), D3DRM_OK);
  t.Draw();
  EXPECT_LE(MaxChannelDiff(t.At(3, 3), RmPixel(100, 75, 50)), 1);
  // Decal ignores the colour.
  ASSERT_EQ(t.device->SetRenderState(D3DRENDERSTATE_TEXTUREMAPBLEND, D3DTBLEND_DECAL), D3DRM_OK);
  t.Draw();
  EXPECT_EQ(t.At(3, 3), RmPixel(200, 150, 100));
}

TEST(Render3d, FlatShadingTakesTheFirstVertexGouraudInterpolates) {
  std::vector<TRmVertex> v = Quad(-1, -1, 1, 1, 0);
  v[0].color = v[2].color = 0xFFFF0000;  // left edge red
  v[1].color = v[3].color = 0xFF0000FF;  // right edge blue
  std::vector<int32_t> faces(kQuadFaces, kQuadFaces + 6);
  TTestScene flat(64, 64);
  flat.Add(v, faces, nullptr, D3DRMRENDER_UNLITFLAT);
  flat.Draw();
  // Face 0 starts at the red top-left, face 1 at the blue top-right.
  EXPECT_EQ(flat.At(5, 5), RmPixel(255, 0, 0));
  EXPECT_EQ(flat.At(60, 60), RmPixel(0, 0, 255));
  TTestScene smooth(64, 64);
  smooth.Add(v, faces, nullptr, D3DRMRENDER_GOURAUD);
  smooth.Draw();
  EXPECT_LE(MaxChannelDiff(smooth.At(32, 10), RmPixel(127, 0, 128)), 3);
  EXPECT_GT(RmRed(smooth.At(8, 10)), 200);
  EXPECT_GT(RmBlue(smooth.At(56, 50)), 200);
  // Monotonic along a row.
  for (int x = 1; x < 64; ++x) EXPECT_LE(RmRed(smooth.At(x, 40)), RmRed(smooth.At(x - 1, 40)));
}

TEST(Render3d, QuadTwiceAsFarAppearsHalfSize) {
  TTestScene t(64, 64);
  t.AddQuad(Quad(-1, -1, 1, 1, 2, 0xFF00FF00));
  t.Draw();
  EXPECT_EQ(t.Count(RmPixel(0, 255, 0)), 32 * 32);
  EXPECT_EQ(t.At(16, 16), RmPixel(0, 255, 0));
  EXPECT_EQ(t.At(47, 47), RmPixel(0, 255, 0));
  EXPECT_EQ(t.At(15, 16), RmPixel(0, 0, 0));
  EXPECT_EQ(t.At(48, 47), RmPixel(0, 0, 0));
}

// Tiles with fractional borders, half transparent over black: a pixel left out stays
// black, a pixel drawn twice gets darker or lighter than the rest.
TEST(Render3d, SharedEdgesAreNeitherGapsNorDrawnTwice) {
  TTestScene t(97, 61);
  t.AlphaBlend();
  std::vector<TRmVertex> v;
  std::vector<int32_t> faces;
  const int cols = 7, rows = 5;
  auto px = [](int i) { return -1.0f + 2.0f * i / cols + (i % 2 ? 0.013f : 0.0f); };
  auto py = [](int j) { return -1.0f + 2.0f * j / rows + (j % 2 ? 0.021f : 0.0f); };
  for (int j = 0; j <= rows; ++j)
    for (int i = 0; i <= cols; ++i) v.push_back(Vx(px(i) * 1.1f, py(j), 0, 0, 0, 0x80FFFFFF));
  for (int j = 0; j < rows; ++j)
    for (int i = 0; i < cols; ++i) {
      const int bl = j * (cols + 1) + i, br = bl + 1, tl = bl + cols + 1, tr = tl + 1;
      for (int k : {tl, tr, bl, tr, br, bl}) faces.push_back(k);
    }
  t.Add(v, faces, nullptr);
  t.Draw();
  const TRmPixel once = t.At(48, 30);
  EXPECT_NE(once, RmPixel(0, 0, 0));
  EXPECT_EQ(t.Count(once), 97 * 61);
}

TEST(Render3d, RenderingIsRepeatable) {
  auto render = [] {
    TTestScene t(120, 90);
    t.AlphaBlend();
    EXPECT_EQ(t.device->SetTextureQuality(D3DRMTEXTURE_LINEAR), D3DRM_OK);
    auto tex = MakeSurface(64, 64, Busy);
    std::vector<TRmVertex> v;
    std::vector<int32_t> faces;
    const int n = 12;
    for (int j = 0; j <= n; ++j)
      for (int i = 0; i <= n; ++i) {
        const float x = -1 + 2.0f * i / n, y = -1 + 2.0f * j / n;
        v.push_back(Vx(x, y, 0.4f * x * y + 0.3f * x, float(i) / n, float(j) / n,
                       RGBA_MAKE(255, 255 - i * 10, 255 - j * 10, 255 - i * j)));
      }
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) {
        const int bl = j * (n + 1) + i, br = bl + 1, tl = bl + n + 1, tr = tl + 1;
        for (int k : {tl, tr, bl, tr, br, bl}) faces.push_back(k);
      }
    t.Add(v, faces, t.Texture(tex), D3DRMRENDER_GOURAUD);
    t.Draw();
    std::vector<TRmPixel> first = Pixels(*t.target);
    t.Draw();
    EXPECT_EQ(first, Pixels(*t.target));
    return first;
  };
  EXPECT_EQ(render(), render());
}

TEST(Render3d, BackgroundImageFillsTheViewUnreversed) {
  TTestScene t(64, 48);
  // Top half red, bottom half blue in the surface's own row order.
  auto bg = MakeSurface(16, 16, [](int, int y) { return y < 8 ? RmPixel(255, 0, 0) : RmPixel(0, 0, 255); });
  ASSERT_EQ(t.scene->SetSceneBackgroundImage(t.Texture(bg)), D3DRM_OK);
  t.Draw();
  EXPECT_EQ(t.At(0, 0), RmPixel(255, 0, 0));
  EXPECT_EQ(t.At(63, 20), RmPixel(255, 0, 0));
  EXPECT_EQ(t.At(0, 47), RmPixel(0, 0, 255));
  EXPECT_EQ(t.At(63, 28), RmPixel(0, 0, 255));
  // A new picture in the same surface shows on the next frame.
  ASSERT_EQ(bg->Clear(RmPixel(0, 255, 0)), DD_OK);
  t.Draw();
  EXPECT_EQ(t.Count(RmPixel(0, 255, 0)), 64 * 48);
  // No image: the background colour.
  ASSERT_EQ(t.scene->SetSceneBackgroundImage(nullptr), D3DRM_OK);
  ASSERT_EQ(t.scene->SetSceneBackground(0xFF102030), D3DRM_OK);
  t.Draw();
  EXPECT_EQ(t.Count(RmPixel(0x10, 0x20, 0x30)), 64 * 48);
}

TEST(Render3d, StretchedBackgroundIsTheSameDrawnAnewOrKept) {
  // A picture that changes each frame is stretched straight onto the target, one that
  // stays is kept stretched: both give what stretching the picture over the view gives,
  // for a view over the whole device and one inside it.
  for (const TRect view : {Rect(0, 0, 64, 48), Rect(12, 7, 52, 40)}) {
    TTestScene t(64, 48, view);
    auto bg = MakeSurface(100, 70, Busy);
    ASSERT_EQ(t.scene->SetSceneBackgroundImage(t.Texture(bg)), D3DRM_OK);
    for (int frame = 0; frame < 6; ++frame) {
      if (frame == 2 || frame == 3) {  // new pictures twice in a row, then it stays
        for (int y = 0; y < 70; ++y)
          for (int x = 0; x < 100; ++x) bg->Row(y)[x] = Busy(x + 3 * frame, y * frame);
        bg->Changed();
      }
      t.Draw();
      TDIB want(64, 48, 32);
      want.StretchFrom(bg->Dib(), bg->Bounds(), view);
      for (int y = view.Top; y < view.Bottom; ++y)
        for (int x = view.Left; x < view.Right; ++x)
          ASSERT_EQ(t.At(x, y) & 0xFFFFFF, reinterpret_cast<const TRmPixel*>(want.ScanLine(y))[x] & 0xFFFFFF)
              << "frame " << frame << " at " << x << "," << y << " in a view from " << view.Left;
    }
  }
}

TEST(Render3d, ClippingStaysInsideTheViewport) {
  // A 40x30 viewport in the middle of a 64x64 device; the rest must stay as it was.
  TTestScene t(64, 64, Rect(12, 17, 52, 47));
  const TRmPixel sentinel = RmPixel(1, 2, 3);
  t.target->Clear(sentinel);
  ASSERT_EQ(t.device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE), D3DRM_OK);
  auto tex = MakeSurface(32, 32, Busy);
  std::vector<TRmVertex> v = {
      // A floor from behind the camera far into the distance.
      Vx(-3, -0.5f, -3, 0, 0), Vx(3, -0.5f, -3, 1, 0), Vx(-3, -0.5f, 50, 0, 1), Vx(3, -0.5f, 50, 1, 1),
      // A triangle reaching far beyond the viewport on every side, one corner behind the eye.
      Vx(-1e4f, 5e3f, 1, 0, 0), Vx(1e4f, 3e3f, 0.5f, 1, 0), Vx(0, -1e4f, -2.5f, 0.5f, 1),
      // Nonsense: very large and not finite.
      Vx(1e30f, -1e30f, 1e-30f, 0, 0), Vx(std::nanf(""), 0, 0, 0, 0), Vx(0, 1e38f, 1e38f, 0, 0)};
  std::vector<int32_t> faces = {0, 1, 2, 1, 3, 2, 4, 5, 6, 7, 8, 9, 7, 4, 9, 0, 7, 6};
  t.Add(v, faces, t.Texture(tex));
  t.Draw();
  int drawnInside = 0;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      const bool inside = x >= 12 && x < 52 && y >= 17 && y < 47;
      if (!inside)
        ASSERT_EQ(t.At(x, y), sentinel) << x << "," << y;
      else
        drawnInside += t.At(x, y) != RmPixel(0, 0, 0);
    }
  EXPECT_GT(drawnInside, 40 * 30 / 4);
}

TEST(Render3d, FloorCrossingTheFrontPlaneShowsItsVisiblePart) {
  TTestScene t(64, 64);
  ASSERT_EQ(t.device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE), D3DRM_OK);
  t.AddQuad({Vx(-4, -1, 20, 0, 1, 0xFF00FF00), Vx(4, -1, 20, 1, 1, 0xFF00FF00),
             Vx(-4, -1, -4, 0, 0, 0xFF00FF00), Vx(4, -1, -4, 1, 0, 0xFF00FF00)});
  t.Draw();
  // Below the horizon (the view's middle) the floor, above it nothing.
  EXPECT_EQ(t.At(32, 63), RmPixel(0, 255, 0));
  EXPECT_EQ(t.At(32, 36), RmPixel(0, 255, 0));
  EXPECT_EQ(t.At(32, 30), RmPixel(0, 0, 0));
}

TEST(Render3d, PerspectiveTexturingFollowsDepth) {
  // A quad tilted away: its far half covers fewer rows than its near half, and the
  // texture's middle row lands where the quad's middle projects, not halfway down.
  TTestScene t(64, 64);
  auto tex = MakeSurface(8, 8, [](int, int y) { return y < 4 ? RmPixel(255, 0, 0) : RmPixel(0, 0, 255); });
  t.AddQuad({Vx(-1, 1, 2, 0, 1), Vx(1, 1, 2, 1, 1), Vx(-1, -1, 0, 0, 0), Vx(1, -1, 0, 1, 0)},
            t.Texture(tex));
  t.Draw();
  // Middle of the quad: (0, 0, 1) -> screen y 32; top edge at 32 - 32 * 2/4 = 16.
  EXPECT_EQ(t.At(32, 30), RmPixel(0, 0, 255));  // upper (far) half: the surface's bottom rows
  EXPECT_EQ(t.At(32, 34), RmPixel(255, 0, 0));
  EXPECT_EQ(t.At(32, 15), RmPixel(0, 0, 0));
  EXPECT_EQ(t.At(32, 16), RmPixel(0, 0, 255));
  ASSERT_EQ(t.device->SetRenderState(D3DRENDERSTATE_TEXTUREPERSPECTIVE, 0), D3DRM_OK);
  t.Draw();
  // Affine mapping puts the texture's middle halfway between the edges (row 40).
  EXPECT_EQ(t.At(32, 38), RmPixel(0, 0, 255));
}

TEST(Render3d, DecalTransparencyLeavesKeyedTexelsOut) {
  TTestScene t(16, 16);
  t.scene->SetSceneBackground(0xFF0000FF);
  auto tex = MakeSurface(2, 2, [](int x, int) { return x == 0 ? RmPixel(255, 0, 255) : RmPixel(0, 255, 0); });
  auto texture = t.Texture(tex);
  ASSERT_EQ(texture->SetDecalTransparency(true), D3DRM_OK);
  ASSERT_EQ(texture->SetDecalTransparentColor(0xFFFF00FF), D3DRM_OK);
  t.AddQuad(Quad(-1, -1, 1, 1, 0), texture);
  t.Draw();
  EXPECT_EQ(t.At(3, 8), RmPixel(0, 0, 255));
  EXPECT_EQ(t.At(12, 8), RmPixel(0, 255, 0));
}

TEST(Render3d, BadCallsReturnTheirCodes) {
  TDirect3DRM rm;
  std::shared_ptr<TRmMesh> mesh;
  ASSERT_EQ(rm.CreateMesh(&mesh), D3DRM_OK);
  TRmGroupIndex g = -1;
  const int32_t bad[3] = {0, 1, 4};
  EXPECT_EQ(mesh->AddGroup(4, 1, 3, bad, &g), D3DRMERR_BADVALUE);
  EXPECT_EQ(mesh->AddGroup(4, 1, 2, bad, &g), D3DRMERR_BADVALUE);
  EXPECT_EQ(mesh->AddGroup(4, 1, 3, nullptr, &g), D3DRMERR_BADVALUE);
  EXPECT_EQ(mesh->AddGroup(0, 1, 3, bad, &g), D3DRMERR_BADVALUE);
  EXPECT_EQ(mesh->GroupCount(), 0);
  ASSERT_EQ(mesh->AddGroup(4, 2, 3, kQuadFaces, &g), D3DRM_OK);
  EXPECT_EQ(g, 0);
  TRmVertex v[5];
  EXPECT_EQ(mesh->SetVertices(g, 2, 3, v), D3DRMERR_BADVALUE);
  EXPECT_EQ(mesh->SetVertices(g + 1, 0, 1, v), D3DRMERR_BADVALUE);
  EXPECT_EQ(mesh->SetVertices(g, 0, 4, v), D3DRM_OK);
  EXPECT_EQ(mesh->SetGroupQuality(g, D3DRMFILL_WIREFRAME), DDERR_UNSUPPORTED);
  // A quad face becomes a fan of two triangles.
  const int32_t quadFace[4] = {0, 1, 3, 2};
  ASSERT_EQ(mesh->AddGroup(4, 1, 4, quadFace, &g), D3DRM_OK);
  EXPECT_EQ(mesh->Group(g)->Triangles, (std::vector<int32_t>{0, 1, 3, 0, 3, 2}));

  auto surface = std::make_shared<TRmSurface>();
  EXPECT_EQ(surface->Create(0, 10), DDERR_INVALIDPARAMS);
  EXPECT_EQ(surface->Create(kRmMaxSurfaceSide + 1, 10), DDERR_INVALIDPARAMS);
  std::shared_ptr<TRmTexture> tex;
  EXPECT_EQ(rm.CreateTextureFromSurface(surface, &tex), D3DRMERR_BADOBJECT);
  std::shared_ptr<TRmDevice> device;
  EXPECT_EQ(rm.CreateDeviceFromSurface(surface, &device), DDERR_INVALIDPARAMS);
  ASSERT_EQ(surface->Create(32, 16), DD_OK);
  ASSERT_EQ(rm.CreateDeviceFromSurface(surface, &device), D3DRM_OK);
  std::shared_ptr<TRmFrame> scene, camera;
  rm.CreateFrame(nullptr, &scene);
  rm.CreateFrame(scene.get(), &camera);
  std::shared_ptr<TRmViewport> viewport;
  EXPECT_EQ(rm.CreateViewport(device, camera, 1, 0, 32, 16, &viewport), D3DRMERR_BADVALUE);
  EXPECT_EQ(rm.CreateViewport(device, nullptr, 0, 0, 32, 16, &viewport), D3DRMERR_BADOBJECT);
  ASSERT_EQ(rm.CreateViewport(device, camera, 0, 0, 32, 16, &viewport), D3DRM_OK);
  EXPECT_EQ(viewport->ForceUpdate(10, 0, 5, 4), D3DRMERR_BADVALUE);
  EXPECT_EQ(viewport->Render(nullptr), D3DRMERR_BADOBJECT);
  EXPECT_EQ(device->SetRenderState(D3DRENDERSTATE_SRCBLEND, 3), DDERR_UNSUPPORTED);
  EXPECT_EQ(device->SetRenderState(9999, 1), DDERR_INVALIDPARAMS);
  EXPECT_EQ(device->SetTextureQuality(6), D3DRMERR_BADVALUE);
  EXPECT_EQ(rm.LoadTexture("/nonexistent/texture.bmp", &tex), D3DRMERR_FILENOTFOUND);
  // The target made again at another size: the device reports it lost.
  ASSERT_EQ(surface->Create(16, 16), DD_OK);
  EXPECT_EQ(viewport->Clear(), DDERR_SURFACELOST);
  EXPECT_EQ(viewport->Render(scene.get()), DDERR_SURFACELOST);
  // A frame cannot become its own descendant.
  std::shared_ptr<TRmFrame> child;
  rm.CreateFrame(camera.get(), &child);
  EXPECT_EQ(child->AddChild(scene), D3DRMERR_BADVALUE);
  EXPECT_EQ(scene->DeleteVisual(mesh.get()), D3DRMERR_NOTFOUND);
}

TEST(Render3d, FramePositionsMoveTheMeshes) {
  TTestScene t(64, 64);
  ASSERT_EQ(t.meshFrame->SetPosition(nullptr, 0.5f, 0, 0), D3DRM_OK);
  t.AddQuad(Quad(-0.5f, -0.5f, 0.5f, 0.5f, 0, 0xFF00FF00));
  t.Draw();
  // Spans x 0 .. 1 -> columns 32 .. 63.
  EXPECT_EQ(t.At(31, 32), RmPixel(0, 0, 0));
  EXPECT_EQ(t.At(32, 32), RmPixel(0, 255, 0));
  EXPECT_EQ(t.At(63, 32), RmPixel(0, 255, 0));
  TD3DVector p;
  ASSERT_EQ(t.camera->GetPosition(t.meshFrame.get(), &p), D3DRM_OK);
  EXPECT_FLOAT_EQ(p.x, -0.5f);
  EXPECT_FLOAT_EQ(p.z, -2.0f);
  TD3DVector v{1, -2, 3};
  D3DRMVectorScale(&v, &v, 0.5f);
  EXPECT_FLOAT_EQ(v.y, -1.0f);
  EXPECT_FLOAT_EQ(v.z, 1.5f);
}

namespace {
// A small generator of our own: the same numbers on every machine.
struct TRandom {
  std::mt19937 gen{12345};
  float Uniform(float lo, float hi) {
    return lo + (hi - lo) * static_cast<float>(gen() % 1000001u) / 1000000.0f;
  }
};
}  // namespace

TEST(Render3d, JitteredMeshIsCoveredExactlyOnce) {
  for (int trial = 0; trial < 5; ++trial) {
    TTestScene t(131, 83);
    t.AlphaBlend();
    TRandom rnd;
    rnd.gen.seed(77 + trial);
    const int cols = 11, rows = 8;
    std::vector<TRmVertex> v;
    std::vector<int32_t> faces;
    for (int j = 0; j <= rows; ++j)
      for (int i = 0; i <= cols; ++i) {
        float x = -1.6f + 3.2f * i / cols, y = -1.0f + 2.0f * j / rows;
        if (i > 0 && i < cols) x += rnd.Uniform(-0.3f, 0.3f) * 3.2f / cols;
        if (j > 0 && j < rows) y += rnd.Uniform(-0.3f, 0.3f) * 2.0f / rows;
        v.push_back(Vx(x, y, 0, 0, 0, 0x80FFFFFF));
      }
    for (int j = 0; j < rows; ++j)
      for (int i = 0; i < cols; ++i) {
        const int bl = j * (cols + 1) + i, br = bl + 1, tl = bl + cols + 1, tr = tl + 1;
        for (int k : {tl, tr, bl, tr, br, bl}) faces.push_back(k);
      }
    t.Add(v, faces, nullptr);
    t.Draw();
    EXPECT_EQ(t.Count(t.At(65, 41)), 131 * 83) << trial;
  }
}

TEST(Render3d, RandomTrianglesNeverWriteOutsideTheViewport) {
  TTestScene t(90, 70, Rect(20, 10, 70, 50));
  const TRmPixel sentinel = RmPixel(7, 7, 7);
  t.target->Clear(sentinel);
  t.AlphaBlend();
  ASSERT_EQ(t.device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE), D3DRM_OK);
  ASSERT_EQ(t.device->SetTextureQuality(D3DRMTEXTURE_LINEAR), D3DRM_OK);
  TRandom rnd;
  std::vector<TRmVertex> v;
  std::vector<int32_t> faces;
  for (int k = 0; k < 600; ++k) {
    const float spread = k % 10 == 0 ? 1e6f : (k % 3 == 0 ? 50.0f : 3.0f);
    v.push_back(Vx(rnd.Uniform(-spread, spread), rnd.Uniform(-spread, spread),
                   rnd.Uniform(-4.5f, 12.0f), rnd.Uniform(-2, 3), rnd.Uniform(-2, 3),
                   static_cast<uint32_t>(rnd.gen())));
    faces.push_back(k);
  }
  auto tex = MakeSurface(16, 16, Busy);
  t.Add(v, faces, t.Texture(tex), D3DRMRENDER_GOURAUD);
  t.Draw();
  for (int y = 0; y < 70; ++y)
    for (int x = 0; x < 90; ++x)
      if (!(x >= 20 && x < 70 && y >= 10 && y < 50)) {
        ASSERT_EQ(t.At(x, y), sentinel) << x << "," << y;
      }
}
