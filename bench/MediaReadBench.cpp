// Reading a 1080p H.264 MP4 (10 s at 25 frames a second, key pictures every 50, made by
// the ffmpeg program in a temporary folder) through the reader of other containers,
// against the ffmpeg program decoding the same file on one thread ("ffmpeg -threads 1
// -i FILE -f null -") timed in the same run.
//
// Cases: every frame in order (decode and conversion to 24-bit rows); frames in random
// order (each a jump: counters say how many stored frames a jump decodes on average and
// at most, against the key-picture interval). Counters: fps, ffmpeg_fps, x_ffmpeg (our
// speed over theirs) on the wall clock; cpu_fps, ffmpeg_cpu_fps, x_ffmpeg_cpu on
// processor time, which a machine busy with other work disturbs less.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "media/MediaFile.h"
#include "BenchSupport.h"

using namespace movara;

namespace {

using namespace movara::bench;

constexpr int kFrames = 250;
constexpr int kKeyInterval = 50;

struct TMedia {
  std::string dir;
  std::string file;
  TMedia() {
    char pattern[] = "/tmp/movara-mediabench-XXXXXX";
    if (!mkdtemp(pattern)) return;
    dir = pattern;
    file = dir + "/hd.mp4";
    const std::string cmd = "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=1920x1080:rate=25 -frames:v " +
                            std::to_string(kFrames) + " -c:v libx264 -preset veryfast -g " +
                            std::to_string(kKeyInterval) + " -pix_fmt yuv420p " + file;
    if (Run(cmd) != 0) file.clear();
  }
  ~TMedia() {
    std::error_code ec;
    if (!dir.empty()) std::filesystem::remove_all(dir, ec);
  }
};

TMedia& Media() {
  static TMedia media;
  return media;
}

// The ffmpeg program on one thread: wall and processor seconds.
void TimeFfmpeg(double& wall, double& cpu) {
  const double c0 = ChildrenCpuSeconds();
  const auto t0 = std::chrono::steady_clock::now();
  Run("ffmpeg -nostdin -v error -threads 1 -i " + Media().file + " -f null -");
  wall = Seconds(t0, std::chrono::steady_clock::now());
  cpu = ChildrenCpuSeconds() - c0;
}

void BM_SequentialFrames(benchmark::State& state) {
  if (Media().file.empty()) {
    state.SkipWithError("the ffmpeg program did not make the 1080p MP4 (libx264 missing?)");
    return;
  }
  double wall = 0, cpu = 0, ffWall = 0, ffCpu = 0;
  int64_t frames = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    const double c0 = ProcessCpuSeconds();
    std::unique_ptr<TMediaVideo> video = TMediaVideo::Open(Media().file);
    if (!video) {
      state.SkipWithError("the MP4 does not open");
      return;
    }
    TDIB picture;
    for (int n = 0; n < video->FrameCount(); ++n) {
      if (!video->GetFrame(n, picture)) state.SkipWithError("a frame failed");
      benchmark::DoNotOptimize(picture.Bits());
    }
    frames += video->FrameCount();
    wall += Seconds(t0, std::chrono::steady_clock::now());
    cpu += ProcessCpuSeconds() - c0;
    double w = 0, c = 0;
    TimeFfmpeg(w, c);
    ffWall += w;
    ffCpu += c;
  }
  const double runs = double(state.iterations());
  state.counters["fps"] = frames / wall;
  state.counters["ffmpeg_fps"] = kFrames * runs / ffWall;
  state.counters["x_ffmpeg"] = (frames / wall) / (kFrames * runs / ffWall);
  state.counters["cpu_fps"] = frames / cpu;
  state.counters["ffmpeg_cpu_fps"] = kFrames * runs / ffCpu;
  state.counters["x_ffmpeg_cpu"] = (frames / cpu) / (kFrames * runs / ffCpu);
}
BENCHMARK(BM_SequentialFrames)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_RandomFrames(benchmark::State& state) {
  if (Media().file.empty()) {
    state.SkipWithError("the ffmpeg program did not make the 1080p MP4 (libx264 missing?)");
    return;
  }
  std::unique_ptr<TMediaVideo> video = TMediaVideo::Open(Media().file);
  if (!video) {
    state.SkipWithError("the MP4 does not open");
    return;
  }
  std::mt19937 random(5);
  std::uniform_int_distribution<int> pick(0, video->FrameCount() - 1);
  TDIB picture;
  int64_t jumps = 0, decoded = 0, most = 0;
  for (auto _ : state) {
    const int n = pick(random);
    const int64_t before = video->FramesDecoded();
    if (!video->GetFrame(n, picture)) state.SkipWithError("a frame failed");
    const int64_t cost = video->FramesDecoded() - before;
    decoded += cost;
    most = std::max(most, cost);
    ++jumps;
  }
  state.counters["frames_decoded_per_jump"] = double(decoded) / std::max<int64_t>(jumps, 1);
  state.counters["most_decoded_in_a_jump"] = double(most);
  state.counters["key_interval"] = kKeyInterval;
}
BENCHMARK(BM_RandomFrames)->Unit(benchmark::kMillisecond)->Iterations(40)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
