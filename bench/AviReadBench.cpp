// Reading AVI frames through TAVI, as clip players and the render thread do: a 720 x 576
// Motion JPEG AVI of 250 frames (made by the ffmpeg program in a temporary folder; from
// ffmpeg's RGB test source it keeps 4:4:4 chroma, a second file has the 4:2:2 of camera
// MJPEG, a third the full-range 4:2:0 of the shared benchmark media) read frame after
// frame (Position + 1, the picture DIB), against the ffmpeg program decoding the same
// file on one thread ("ffmpeg -threads 1 -i FILE -f null -", wall time, best of 3)
// timed in the same run; and random access into an MPEG-4 AVI with a key frame every
// 12 frames.
//
// Counters: fps; ffmpeg_fps (the whole program run) and x_ffmpeg (ours over theirs,
// goal >= 0.8); ffmpeg_decode_fps (its start-up, timed with one frame, taken off) and
// x_ffmpeg_decode; the same by processor time (cpu_fps, ffmpeg_cpu_fps, x_ffmpeg_cpu).
// Random access: ms per seek and frames sent to the decoder per seek.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "media/Avi.h"

using namespace movara;

namespace {

constexpr int kFrames = 250;

using TClock = std::chrono::steady_clock;

double Seconds(TClock::time_point a, TClock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// Processor time (user + system) of this process or of its finished children.
double CpuSeconds(int who) {
  rusage u{};
  getrusage(who, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

int Run(const std::string& command) {
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return -1;
  char buf[4096];
  while (fread(buf, 1, sizeof buf, p) > 0) {
  }
  return pclose(p);
}

// Best wall time and best processor time of three runs; 0 when the command fails.
struct TTimes {
  double wall = 0;
  double cpu = 0;
};
TTimes BestOf3(const std::string& command) {
  TTimes best{1e9, 1e9};
  for (int i = 0; i < 3; ++i) {
    const auto t0 = TClock::now();
    const double c0 = CpuSeconds(RUSAGE_CHILDREN);
    if (Run(command) != 0) return TTimes{};
    best.wall = std::min(best.wall, Seconds(t0, TClock::now()));
    best.cpu = std::min(best.cpu, CpuSeconds(RUSAGE_CHILDREN) - c0);
  }
  return best;
}

// One AVI made by the ffmpeg program, with ffmpeg's own decoding time.
struct TBenchAvi {
  std::string dir;
  std::string file;
  bool ok = false;
  TTimes ffmpeg;       // the whole file
  TTimes ffmpegStart;  // one frame: the program's start-up

  TBenchAvi(const std::string& name, const std::string& codec) {
    char tmpl[] = "/tmp/movara-avibench-XXXXXX";
    if (!mkdtemp(tmpl)) return;
    dir = tmpl;
    file = dir + "/" + name;
    const std::string make = "ffmpeg -v error -y -f lavfi -i testsrc=size=720x576:rate=25 -frames:v " +
                             std::to_string(kFrames) + " " + codec + " '" + file + "'";
    if (Run(make) != 0) return;
    ffmpeg = BestOf3("ffmpeg -v error -threads 1 -i '" + file + "' -f null -");
    ffmpegStart = BestOf3("ffmpeg -v error -threads 1 -i '" + file + "' -frames:v 1 -f null -");
    ok = ffmpeg.wall > 0;
  }
  ~TBenchAvi() {
    std::error_code ec;
    if (!dir.empty()) std::filesystem::remove_all(dir, ec);
  }
};

TBenchAvi& Mjpeg() {
  static TBenchAvi avi("mjpeg.avi", "-c:v mjpeg -q:v 3");
  return avi;
}

// Motion JPEG as cameras and capture cards store it: 4:2:2 chroma.
TBenchAvi& Mjpeg422() {
  static TBenchAvi avi("mjpeg422.avi", "-c:v mjpeg -q:v 3 -pix_fmt yuvj422p");
  return avi;
}

// 4:2:0 full-range Motion JPEG, the layout of the shared benchmark media.
TBenchAvi& Mjpeg420() {
  static TBenchAvi avi("mjpeg420.avi", "-c:v mjpeg -q:v 3 -pix_fmt yuvj420p");
  return avi;
}

TBenchAvi& Mpeg4() {
  static TBenchAvi avi("mpeg4.avi", "-c:v mpeg4 -vtag XVID -q:v 4 -g 12");
  return avi;
}

// On a busy machine the wall times of two runs made at different moments do not
// compare well; processor times do, so both are reported.
void ReportAgainstFfmpeg(benchmark::State& state, const TBenchAvi& m, TTimes ours, int64_t frames) {
  const double fps = frames / ours.wall;
  const double ffmpegFps = kFrames / m.ffmpeg.wall;
  const double decodeSeconds = m.ffmpeg.wall - m.ffmpegStart.wall;
  const double ffmpegDecodeFps = decodeSeconds > 0 ? (kFrames - 1) / decodeSeconds : 0;
  state.counters["fps"] = fps;
  state.counters["ffmpeg_fps"] = ffmpegFps;
  state.counters["x_ffmpeg"] = fps / ffmpegFps;
  state.counters["ffmpeg_decode_fps"] = ffmpegDecodeFps;
  state.counters["x_ffmpeg_decode"] = ffmpegDecodeFps > 0 ? fps / ffmpegDecodeFps : 0;
  const double cpuFps = frames / ours.cpu;
  const double ffmpegCpuFps = kFrames / m.ffmpeg.cpu;
  state.counters["cpu_fps"] = cpuFps;
  state.counters["ffmpeg_cpu_fps"] = ffmpegCpuFps;
  state.counters["x_ffmpeg_cpu"] = cpuFps / ffmpegCpuFps;
}

// Every frame in order into the picture; the argument turns FlipDIBY on.
void BM_TaviReadInOrder(benchmark::State& state, TBenchAvi& (*media)()) {
  TBenchAvi& m = media();
  if (!m.ok) {
    state.SkipWithError("no ffmpeg program or the AVI could not be made");
    return;
  }
  const bool flip = state.range(0) != 0;
  TTimes ours;
  int64_t frames = 0;
  for (auto _ : state) {
    const auto t0 = TClock::now();
    const double c0 = CpuSeconds(RUSAGE_SELF);
    TAVI avi;
    avi.SetFlipDIBY(flip);
    if (!avi.Open(m.file)) {
      state.SkipWithError("AVI not opened");
      break;
    }
    for (int i = 1; i < kFrames; ++i) {
      avi.SetPosition(avi.Position() + 1);
      benchmark::DoNotOptimize(avi.DIB()->Bits());
    }
    if (!avi.Opened() || avi.Position() != kFrames - 1 || avi.FramesDecoded() != kFrames) {
      state.SkipWithError("frames lost");
      break;
    }
    ours.wall += Seconds(t0, TClock::now());
    ours.cpu += CpuSeconds(RUSAGE_SELF) - c0;
    frames += kFrames;
  }
  if (frames > 0) ReportAgainstFfmpeg(state, m, ours, frames);
}
BENCHMARK_CAPTURE(BM_TaviReadInOrder, Mjpeg720x576, Mjpeg)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK_CAPTURE(BM_TaviReadInOrder, Mjpeg422_720x576, Mjpeg422)->Arg(0)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK_CAPTURE(BM_TaviReadInOrder, Mjpeg420_720x576, Mjpeg420)->Arg(0)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK_CAPTURE(BM_TaviReadInOrder, Mpeg4g12_720x576, Mpeg4)->Arg(0)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// Random frames of the MPEG-4 file: each seek decodes from the key frame at or before it.
void BM_TaviRandomAccessMpeg4(benchmark::State& state) {
  TBenchAvi& m = Mpeg4();
  if (!m.ok) {
    state.SkipWithError("no ffmpeg program or the AVI could not be made");
    return;
  }
  TAVI avi;
  if (!avi.Open(m.file)) {
    state.SkipWithError("AVI not opened");
    return;
  }
  std::mt19937 rng(12);
  std::uniform_int_distribution<int> pick(0, kFrames - 1);
  int64_t seeks = 0;
  const int64_t decodedBefore = avi.FramesDecoded();
  for (auto _ : state) {
    int n = pick(rng);
    if (n == avi.Position()) n = (n + 1) % kFrames;
    avi.SetPosition(n);
    if (!avi.Opened()) {
      state.SkipWithError("frame lost");
      break;
    }
    benchmark::DoNotOptimize(avi.DIB()->Bits());
    ++seeks;
  }
  if (seeks > 0) {
    state.counters["decoded_per_seek"] = double(avi.FramesDecoded() - decodedBefore) / double(seeks);
    state.counters["ffmpeg_ms_per_frame"] = m.ffmpeg.wall * 1000 / kFrames;
  }
}
BENCHMARK(BM_TaviRandomAccessMpeg4)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace

BENCHMARK_MAIN();
