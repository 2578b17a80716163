// The clip player's clock on clips of 720 x 576 made by the ffmpeg program in a
// temporary folder, on the silent sound device.
//
// BM_PlayMjpeg720x576: plays 1,000 frames (40 s at 25 per second) of Motion JPEG with
// sound in real time, as the window does (each picture copied out for painting), and
// counts by the player's own clock the frames shown and the late ones (skipped, or
// ready after their time): counters frames, late, late_per_1000.
//
// BM_SeekMpeg4Gop12: moves the stopped player to 300 frames in a shuffled order over a
// clip of MPEG-4 with a key frame every 12 frames: counters mean_ms, max_ms (the time
// from the request until the picture is there to paint) and max_cpu_ms (the same in
// processor time of the seeking thread).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <numeric>
#include <random>
#include <string>

#include "app/DCAviPlayer.h"
#include "base/Clock.h"
#include "media/AudioReader.h"
#include "media/Avi.h"
#include "media/ResourceLists.h"
#include "platform/audioout/WaveOut.h"
#include "BenchSupport.h"

using namespace movara;

namespace {

using movara::bench::Run;

// Processor time of the calling thread (the stopped player seeks on it), which a
// machine busy with other work disturbs less than the wall clock.
double ThreadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec * 1e-6;
}

struct TClips {
  std::string dir, mjpeg, mpeg4;
  bool ok = false;
  TClips() {
    char tmpl[] = "/tmp/movara-bench-XXXXXX";
    if (!mkdtemp(tmpl)) return;
    dir = tmpl;
    mjpeg = dir + "/mjpeg.avi";
    mpeg4 = dir + "/mpeg4.avi";
    ok = Run("ffmpeg -v error -y -f lavfi -i testsrc2=size=720x576:rate=25 -f lavfi -i "
             "sine=frequency=440:sample_rate=44100 -frames:v 1000 -c:v mjpeg -q:v 3 -pix_fmt yuvj422p "
             "-c:a pcm_s16le -shortest '" + mjpeg + "'") == 0 &&
         Run("ffmpeg -v error -y -f lavfi -i testsrc2=size=720x576:rate=25 -frames:v 300 -c:v mpeg4 -q:v 3 "
             "-g 12 -bf 0 '" + mpeg4 + "'") == 0;
  }
  ~TClips() {
    std::error_code ec;
    if (!dir.empty()) std::filesystem::remove_all(dir, ec);
  }
};

TClips& Clips() {
  static TClips clips;
  return clips;
}

void BM_PlayMjpeg720x576(benchmark::State& state) {
  if (!Clips().ok) {
    state.SkipWithError("ffmpeg could not make the clips");
    return;
  }
  SetWaveOutForceSilent(true);
  int frames = 0, late = 0;
  for (auto _ : state) {
    TAVI avi;
    auto sound = MakeAudioReaderFromFile(Clips().mjpeg, 2, 16, 44100);
    if (!avi.Open(Clips().mjpeg) || !sound) {
      state.SkipWithError("clip not opened");
      break;
    }
    TDIB shown;
    TDCAviPlayer player;
    // the window copies each picture out to paint it
    player.OnRepaint = [&] { player.CopyPicture(shown); };
    player.Attach(&avi, sound.get());
    if (!player.Play(0, 0)) {
      state.SkipWithError("not played");
      break;
    }
    while (player.ClipState() == csPlaying) SleepMs(50);
    frames += player.FramesShown();
    late += player.LateFrames();
  }
  state.counters["frames"] = frames;
  state.counters["late"] = late;
  state.counters["late_per_1000"] = frames > 0 ? 1000.0 * late / frames : 0;
}
BENCHMARK(BM_PlayMjpeg720x576)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

void BM_SeekMpeg4Gop12(benchmark::State& state) {
  if (!Clips().ok) {
    state.SkipWithError("ffmpeg could not make the clips");
    return;
  }
  TAVI avi;
  if (!avi.Open(Clips().mpeg4)) {
    state.SkipWithError("clip not opened");
    return;
  }
  TDCAviPlayer player;
  player.Attach(&avi, nullptr);
  std::vector<int> order(300);
  std::iota(order.begin(), order.end(), 0);
  std::shuffle(order.begin(), order.end(), std::mt19937(12));
  double total = 0, worst = 0, worstCpu = 0;
  int seeks = 0;
  TDIB shown;
  for (auto _ : state) {
    for (int frame : order) {
      const double c0 = ThreadCpuMs();
      const auto t0 = std::chrono::steady_clock::now();
      player.SetCurrentFrame(frame);
      player.CopyPicture(shown);
      const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
      worstCpu = std::max(worstCpu, ThreadCpuMs() - c0);
      if (player.CurrentFrame() != frame) state.SkipWithError("wrong frame");
      total += ms;
      worst = std::max(worst, ms);
      ++seeks;
    }
  }
  state.counters["mean_ms"] = seeks > 0 ? total / seeks : 0;
  state.counters["max_ms"] = worst;
  state.counters["max_cpu_ms"] = worstCpu;
}
BENCHMARK(BM_SeekMpeg4Gop12)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
