// The time line at project size: 10,000 blocks (5,000 on video row A, 2,000 on row B
// overlapping them, 1,000 on the image row, 2,000 sounds) and the transitions derived
// from A and B. Measures building the blocks the way a project file is read, building
// them one edit at a time, and one edit on row A with its transition rebuild (the goal
// is at most 20 ms per edit). Each case reports CPU ms; "x_pass" is its time in plain
// passes over all blocks, the least any whole-project work costs.
#include <benchmark/benchmark.h>

#include <time.h>

#include <memory>

#include "project/Layers.h"

using namespace movara;

namespace {

double CpuMs() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}

constexpr int kA = 5000, kB = 2000, kImage = 1000, kSound = 2000;

// Row A: [50 i, 50 i + 40); row B every 125 frames from 30, 40 long, so that most B
// blocks meet an A block; the image and sound rows side by side.
void Fill(TLayerBox& box) {
  TLayerRow* a = box.RowByNumber(lnFirstClipTop);
  TLayerRow* b = box.RowByNumber(lnFirstClipBottom);
  TLayerRow* img = box.RowByNumber(lnImage);
  TLayerRow* snd = box.RowByNumber(lnAudioSecond);
  for (int i = 0; i < kA; ++i) a->InsertLayerItem(50 * i, false, false, false, -1, nullptr, 40);
  for (int i = 0; i < kB; ++i) b->InsertLayerItem(125 * i + 30, false, false, false, -1, nullptr, 40);
  for (int i = 0; i < kImage; ++i) img->InsertLayerItem(250 * i, false, false, false, -1, nullptr, 100);
  for (int i = 0; i < kSound; ++i) snd->InsertLayerItem(125 * i, false, false, false, -1, nullptr, 100);
}

std::unique_ptr<TLayerBox> BuildLoaded() {
  auto box = std::make_unique<TLayerBox>();
  box->IncludeState(bsLoadingItems);
  Fill(*box);
  box->ExcludeState(bsLoadingItems);
  box->UpdateLayerFx3d();
  return box;
}

// A plain pass over every block: the baseline.
double PassMs() {
  static const double ms = [] {
    auto box = BuildLoaded();
    long long sum = 0;
    double t0 = CpuMs();
    const int reps = 200;
    for (int r = 0; r < reps; ++r)
      for (int k = 0; k < box->RowCount(); ++k) {
        TLayerRow* row = box->Rows(k);
        for (int i = 0; i < row->ItemCount(); ++i) sum += row->Items(i)->FirstFrame();
      }
    benchmark::DoNotOptimize(sum);
    return (CpuMs() - t0) / reps;
  }();
  return ms;
}

void Report(benchmark::State& state, double ms, int count) {
  state.counters["ms"] = ms / count;
  state.counters["x_pass"] = ms / count / PassMs();
}

// Building the blocks as the project reader does: every insertion corrects its row,
// the transition row is rebuilt once at the end.
void BM_BuildAsLoaded(benchmark::State& state) {
  double total = 0;
  int n = 0;
  for (auto _ : state) {
    double t0 = CpuMs();
    auto box = BuildLoaded();
    total += CpuMs() - t0;
    ++n;
    state.PauseTiming();
    state.counters["transitions"] = box->RowByNumber(lnFirstFx3d)->ItemCount();
    box.reset();
    state.ResumeTiming();
  }
  Report(state, total, n);
}
BENCHMARK(BM_BuildAsLoaded)->Unit(benchmark::kMillisecond)->Iterations(3);

// Building them one edit at a time: every insertion on A or B rebuilds the transitions.
void BM_BuildEditByEdit(benchmark::State& state) {
  double total = 0;
  int n = 0;
  for (auto _ : state) {
    double t0 = CpuMs();
    TLayerBox box;
    Fill(box);
    total += CpuMs() - t0;
    ++n;
  }
  Report(state, total, n);
}
BENCHMARK(BM_BuildEditByEdit)->Unit(benchmark::kMillisecond)->Iterations(1);

// One edit on row A: a block in the middle moves 5 frames and back, each move with its
// snapping, overlap correction and transition rebuild.
void BM_MoveBlockOnRowA(benchmark::State& state) {
  auto box = BuildLoaded();
  box->SetSnapItems(state.range(0) != 0);
  TLayerRow* a = box->RowByNumber(lnFirstClipTop);
  TLayerItem* item = a->Items(kA / 2);
  int base = item->FirstFrame();
  int y = a->BaseHeight() / 2;
  double total = 0;
  int n = 0;
  bool right = true;
  for (auto _ : state) {
    int target = right ? base + 5 : base;
    int x = FrameToPixel(box->Zoom(), box->IconSize(), target);
    double t0 = CpuMs();
    bool moved = a->MoveItem(x, y, 0, item);
    total += CpuMs() - t0;
    ++n;
    if (!moved) state.SkipWithError("the block did not move");
    right = !right;
  }
  state.counters["transitions"] = box->RowByNumber(lnFirstFx3d)->ItemCount();
  Report(state, total, n);
}
BENCHMARK(BM_MoveBlockOnRowA)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The same edit as a user's drag: press, two moves, release (the rebuild runs once,
// at the release).
void BM_DragBlockOnRowA(benchmark::State& state) {
  auto box = BuildLoaded();
  box->SetSnapItems(true);
  TLayerRow* a = box->RowByNumber(lnFirstClipTop);
  TLayerItem* item = a->Items(kA / 2);
  box->SetFirstFrame(item->FirstFrame() - 100);
  int y = a->Top() + a->BaseHeight() / 2;
  double total = 0;
  int n = 0;
  bool right = true;
  for (auto _ : state) {
    int view = FrameToPixel(box->Zoom(), box->IconSize(), box->FirstFrame());
    int x0 = (item->Left() + item->Right()) / 2 - view;
    int dx = right ? 15 : -15;
    double t0 = CpuMs();
    box->MouseDown(mbLeft, 0, x0, y);
    box->MouseMove(0, x0 + dx / 2, y);
    box->MouseMove(0, x0 + dx, y);
    box->MouseUp(mbLeft, 0, x0 + dx, y);
    total += CpuMs() - t0;
    ++n;
    right = !right;
  }
  Report(state, total, n);
}
BENCHMARK(BM_DragBlockOnRowA)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
