// Frame times of every transition effect as the render thread draws them: 720 x 576,
// 1024 x 1024 textures, bilinear filtering, one core. An iteration renders one cycle of
// steps (0, 37, 74, ... 999), so every effect is measured over its whole run. Reported
// per effect: "ms_per_frame" (CPU time of this thread, mean over the cycles),
// "ms_min" (the fastest cycle, the stable figure on a busy machine), "goal_ms" (4 for
// the flat effects, 8 for the mesh effects) and "x_copy", the time in 720 x 576 frame
// copies measured in the same process.
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "base/Dib.h"
#include "fx3d/FxList.h"
#include "fx3d/FxScene.h"
#include "platform/render3d/RmRaster.h"

using namespace movara;

namespace {

constexpr int kW = 720, kH = 576, kTex = 1024, kStepStride = 37;
constexpr int kStepsPerCycle = 1000 / kStepStride + 1;

double CpuMs() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}

// Pictures with detail everywhere, so that no texel cache makes a case look cheap.
TDIB Picture(int seed) {
  TDIB d(kW, kH, 24);
  for (int y = 0; y < kH; ++y) {
    uint8_t* row = d.ScanLine(y);
    for (int x = 0; x < kW; ++x) {
      row[3 * x] = static_cast<uint8_t>((x * 3 + seed) ^ y);
      row[3 * x + 1] = static_cast<uint8_t>(y * 2 + seed * 5);
      row[3 * x + 2] = static_cast<uint8_t>((x + y) / 3 + seed * 11);
    }
  }
  return d;
}
const TDIB& PictureA() {
  static const TDIB d = Picture(0);
  return d;
}
const TDIB& PictureB() {
  static const TDIB d = Picture(99);
  return d;
}

// One 720 x 576 frame copy, the baseline: the least any frame costs.
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

// Runs cycle() once per iteration; it draws `frames` frames.
template <typename F>
void Measure(benchmark::State& state, int frames, double goal, F&& cycle) {
  cycle();  // warm: textures loaded, background stretched, buffers grown
  double total = 0, best = 1e9;
  for (auto _ : state) {
    const double t0 = CpuMs();
    cycle();
    const double t = CpuMs() - t0;
    total += t;
    best = std::min(best, t);
  }
  const double perFrame = total / static_cast<double>(state.iterations()) / frames;
  state.counters["ms_per_frame"] = perFrame;
  state.counters["ms_min"] = best / frames;
  state.counters["x_copy"] = perFrame / CopyMs();
  if (goal > 0) state.counters["goal_ms"] = goal;
}

void BM_FrameCopy(benchmark::State& state) {
  std::vector<uint32_t> a(kW * kH, 1), b(kW * kH);
  Measure(state, 1, 0, [&] {
    std::memcpy(b.data(), a.data(), a.size() * sizeof(uint32_t));
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
  });
}

// The scene with no meshes: the background picture copied into the view.
void BM_BackgroundOnly(benchmark::State& state) {
  TFxScene scene(kW, kH, kTex, true);
  scene.SetPictures(&PictureA(), &PictureB());
  scene.SetEffect(EnsureFxList().FindByID(0x101));
  scene.SetEffect(nullptr);
  Measure(state, 1, 0, [&] { scene.RenderStep(0); });
}

void BM_Effect(benchmark::State& state, int index) {
  TFx3d* fx = EnsureFxList().Items(index);
  TFxScene scene(kW, kH, kTex, true);
  scene.SetPictures(&PictureA(), &PictureB());
  scene.SetEffect(fx);
  Measure(state, kStepsPerCycle, index < 47 ? 4.0 : 8.0, [&] {
    for (int step = 0; step <= 1000; step += kStepStride)
      scene.RenderStep(static_cast<uint16_t>(step));
  });
}

// The cross-fade ($202) at a view size, its quads drawn upright (the default) and by
// their spans, frame by frame in turn over a cycle of steps: "ms_upright", "ms_spans"
// (CPU ms per frame, fastest cycle) and "x_faster", their ratio.
void BM_FadeUpright(benchmark::State& state, int w, int h, bool bilinear) {
  TDIB a(w, h, 24), b(w, h, 24);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      a.SetPixel(x, y, RGBColor((x + y) / 3, y * 2, (x * 3) ^ y));
      b.SetPixel(x, y, RGBColor(y + 99, x * 7, x ^ (y * 5)));
    }
  TFxScene scene(w, h, kTex, bilinear);
  scene.SetPictures(&a, &b);
  scene.SetEffect(EnsureFxList().FindByID(0x202));
  scene.RenderStep(0);  // warm: textures loaded
  double best[2] = {1e9, 1e9};
  for (auto _ : state) {
    double cycle[2] = {0, 0};
    for (int step = 0; step <= 1000; step += kStepStride)
      for (int way = 0; way < 2; ++way) {
        rm::EnableUprightQuads(way == 0);
        const double t0 = CpuMs();
        scene.RenderStep(static_cast<uint16_t>(step));
        cycle[way] += CpuMs() - t0;
      }
    for (int way = 0; way < 2; ++way) best[way] = std::min(best[way], cycle[way] / kStepsPerCycle);
  }
  rm::EnableUprightQuads(true);
  state.counters["ms_upright"] = best[0];
  state.counters["ms_spans"] = best[1];
  state.counters["x_faster"] = best[1] / best[0];
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RegisterBenchmark("FrameCopy", BM_FrameCopy)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BackgroundOnly", BM_BackgroundOnly)
      ->Unit(benchmark::kMillisecond);
  for (bool bilinear : {false, true})
    for (const auto& [w, h] : {std::pair{720, 576}, std::pair{1920, 1080}}) {
      char name[48];
      std::snprintf(name, sizeof name, "FadeUpright/%dx%d/%s", w, h,
                    bilinear ? "bilinear" : "nearest");
      benchmark::RegisterBenchmark(name, BM_FadeUpright, w, h, bilinear)
          ->Unit(benchmark::kMillisecond);
    }
  TFxList& list = EnsureFxList();
  for (int i = 0; i < list.Count(); ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "Fx/%02d/$%X", i,
                  static_cast<unsigned>(list.Items(i)->GetFxID()));
    benchmark::RegisterBenchmark(name, BM_Effect, i)->Unit(benchmark::kMillisecond);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  FreeFxList();
  return 0;
}
