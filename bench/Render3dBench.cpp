// Frame times of the software renderer at 720 x 576 with 1024 x 1024 textures, against
// a plain copy of one frame (the least any frame costs) measured in the same process.
// Each case reports CPU ms per frame and "x_copy", its time in frame copies.
#include <benchmark/benchmark.h>

#include <time.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "base/Dib.h"
#include "platform/render3d/Direct3DRM.h"
#include "platform/render3d/RmStretch.h"

using namespace movara;

namespace {

constexpr int kW = 720, kH = 576, kTex = 1024;

// CPU time of this thread in ms: the machine may be busy with other work.
double CpuMs() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}

std::shared_ptr<TRmSurface> Picture(int size, int seed) {
  auto s = std::make_shared<TRmSurface>();
  s->Create(size, size);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x)
      s->Row(y)[x] = RmPixel((x + seed) & 255, (y * 3) & 255, ((x ^ y) + seed * 7) & 255);
  s->Changed();
  return s;
}

// Time of one 720 x 576 frame copy, the baseline.
double CopyMs() {
  static const double ms = [] {
    std::vector<uint32_t> a(kW * kH, 1), b(kW * kH);
    double best = 1e9;
    for (int round = 0; round < 50; ++round) {
      const double t0 = CpuMs();
      for (int i = 0; i < 10; ++i) {
        std::memcpy(b.data(), a.data(), a.size() * sizeof(uint32_t));
        benchmark::DoNotOptimize(b.data());
        benchmark::ClobberMemory();
      }
      best = std::min(best, (CpuMs() - t0) / 10);
    }
    return best;
  }();
  return ms;
}

struct TBenchScene {
  TDirect3DRM rm;
  std::shared_ptr<TRmSurface> target = std::make_shared<TRmSurface>();
  std::shared_ptr<TRmDevice> device;
  std::shared_ptr<TRmFrame> scene, camera, meshFrame;
  std::shared_ptr<TRmViewport> viewport;
  std::shared_ptr<TRmTexture> front, back;

  explicit TBenchScene(bool bilinear, bool background = true) {
    target->Create(kW, kH);
    rm.CreateFrame(nullptr, &scene);
    rm.CreateFrame(scene.get(), &camera);
    camera->SetPosition(scene.get(), 0, 0, -2);
    rm.CreateFrame(scene.get(), &meshFrame);
    rm.CreateDeviceFromSurface(target, &device);
    rm.CreateViewport(device, camera, 0, 0, kW, kH, &viewport);
    device->SetTextureQuality(bilinear ? D3DRMTEXTURE_LINEAR : D3DRMTEXTURE_NEAREST);
    rm.CreateTextureFromSurface(Picture(kTex, 0), &front);
    rm.CreateTextureFromSurface(Picture(kTex, 99), &back);
    if (background) scene->SetSceneBackgroundImage(back);
  }

  // The effects' view adjustment for 720 x 576: y scaled by H / W, the half-pixel offset.
  static TRmVertex Adjusted(float x, float y, float z, float tu, float tv, uint32_t colour) {
    TRmVertex v;
    v.x = x - 0.85f / kW;
    v.y = y * (float(kH) / kW) + 0.85f / kW;
    v.z = z;
    v.tu = tu;
    v.tv = tv;
    v.color = colour;
    return v;
  }

  std::shared_ptr<TRmMesh> Grid(int n, std::shared_ptr<TRmTexture> tex, uint32_t colour,
                                std::vector<TRmVertex>& vertices) {
    std::vector<int32_t> faces;
    vertices.clear();
    for (int j = 0; j <= n; ++j)
      for (int i = 0; i <= n; ++i)
        vertices.push_back(Adjusted(-1 + 2.0f * i / n, 1 - 2.0f * j / n, 0, float(i) / n,
                                    1 - float(j) / n, colour));
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) {
        const int tl = j * (n + 1) + i, tr = tl + 1, bl = tl + n + 1, br = bl + 1;
        for (int k : {tl, tr, bl, tr, br, bl}) faces.push_back(k);
      }
    std::shared_ptr<TRmMesh> mesh;
    rm.CreateMesh(&mesh);
    TRmGroupIndex g;
    mesh->AddGroup(static_cast<int>(vertices.size()), static_cast<int>(faces.size() / 3), 3,
                   faces.data(), &g);
    mesh->SetVertices(g, 0, static_cast<int>(vertices.size()), vertices.data());
    mesh->SetGroupQuality(g, D3DRMRENDER_UNLITFLAT);
    mesh->SetGroupTexture(g, std::move(tex));
    meshFrame->AddVisual(mesh);
    return mesh;
  }

  void Frame() {
    viewport->ForceUpdate(0, 0, kW, kH);
    viewport->Clear();
    viewport->Render(scene.get());
    device->Update();
  }
};

template <typename F>
void Measure(benchmark::State& state, F&& frame) {
  frame();  // warm: the background is stretched once
  double total = 0;
  for (auto _ : state) {
    const double t0 = CpuMs();
    frame();
    total += CpuMs() - t0;
  }
  const double perFrame = total / static_cast<double>(state.iterations());
  state.counters["ms_per_frame"] = perFrame;
  state.counters["x_copy"] = perFrame / CopyMs();
}

void BM_FrameCopyBaseline(benchmark::State& state) {
  std::vector<uint32_t> a(kW * kH, 1), b(kW * kH);
  Measure(state, [&] {
    std::memcpy(b.data(), a.data(), a.size() * sizeof(uint32_t));
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
  });
}

void BM_BackgroundOnly(benchmark::State& state) {
  TBenchScene s(true);
  Measure(state, [&] { s.Frame(); });
}

// A flat effect: one full-view quad over the background (a picture in the middle of a move).
void BM_FlatQuad(benchmark::State& state) {
  TBenchScene s(state.range(0) != 0);
  std::vector<TRmVertex> v;
  s.Grid(1, s.front, 0xFFFFFFFF, v);
  Measure(state, [&] { s.Frame(); });
}

// The cross-fade: back quad and a half-transparent front quad, no background.
void BM_Fade(benchmark::State& state) {
  TBenchScene s(state.range(0) != 0, false);
  s.device->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
  s.device->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
  std::vector<TRmVertex> vb, vf;
  s.Grid(1, s.back, 0xFFFFFFFF, vb);
  s.Grid(1, s.front, 0x80FFFFFF, vf);
  Measure(state, [&] { s.Frame(); });
}

// A mesh effect: a 32 x 32 grid (2048 triangles) rippling in depth, new vertices each frame.
void BM_MeshGrid32(benchmark::State& state) {
  TBenchScene s(state.range(0) != 0);
  std::vector<TRmVertex> v;
  auto mesh = s.Grid(32, s.front, 0xFFFFFFFF, v);
  std::vector<TRmVertex> moved = v;
  int step = 0;
  Measure(state, [&] {
    const float phase = 0.1f * static_cast<float>(step++ % 60);
    for (size_t i = 0; i < v.size(); ++i) {
      moved[i].z = 0.3f * std::sin(4 * v[i].x + phase) * std::cos(3 * v[i].y);
      moved[i].x = v[i].x * 0.9f;
    }
    mesh->SetVertices(0, 0, static_cast<int>(moved.size()), moved.data());
    s.Frame();
  });
}

// A full-HD film frame (24 bits) into a 512 x 512 texture, as a transition of a 1080p
// film loads both pictures each frame: five source pixels to one across; the plain way
// (arg 0) against the vector one (arg 1).
void BM_FullHdTexture(benchmark::State& state) {
  const bool vector = state.range(0) != 0;
  if (vector && !rm::VectorStretchSupported()) {
    state.SkipWithError("no vector stretch here");
    return;
  }
  rm::EnableVectorStretch(vector);
  TDIB frame(1920, 1080, 24);
  for (int y = 0; y < 1080; ++y)
    for (int x = 0; x < 1920 * 3; ++x) frame.ScanLine(y)[x] = static_cast<uint8_t>((x * 7) ^ (y * 3));
  TRmSurface texture;
  texture.Create(512, 512);
  Measure(state, [&] { texture.LoadFromDIB(frame, Rect(0, 0, 1920, 1080), true); });
  rm::EnableVectorStretch(true);
}

}  // namespace

BENCHMARK(BM_FrameCopyBaseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BackgroundOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlatQuad)->Arg(0)->Arg(1)->ArgName("bilinear")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Fade)->Arg(0)->Arg(1)->ArgName("bilinear")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeshGrid32)->Arg(0)->Arg(1)->ArgName("bilinear")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullHdTexture)->Arg(0)->Arg(1)->ArgName("vector")->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
