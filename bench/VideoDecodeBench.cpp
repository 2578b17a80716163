// Decoding speed of a 720 x 576 Motion JPEG AVI (100 frames made by the ffmpeg program
// in a temporary folder), against the ffmpeg program decoding the same file on one
// thread ("ffmpeg -threads 1 -i FILE -f null -") timed in the same run.
//
// Cases: the decoder alone on frames already in memory (decode + conversion to 24-bit
// rows), and the whole reading path (AVI file, frame getter, packed DIBs). Counters:
// fps, ffmpeg_fps (whole program run), ffmpeg_decode_fps (the program's start-up, timed
// with one frame, taken off), x_ffmpeg and x_ffmpeg_decode (our speed over theirs), all
// on the wall clock; the same on processor time (cpu_fps, ffmpeg_cpu_fps, x_ffmpeg_cpu),
// which a machine busy with other work disturbs less.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/avifile/AviFile.h"
#include "platform/codecs/VideoDecoder.h"
#include "platform/codecs/VideoGetFrame.h"
#include "BenchSupport.h"

using namespace movara;

namespace {

using namespace movara::bench;

constexpr int kFrames = 100;

struct TMedia {
  std::string dir;
  std::string file;
  bool ok = false;
  double ffmpegSeconds = 0;       // whole run, best of 3
  double ffmpegStartSeconds = 0;  // a run that decodes one frame, best of 3
  double ffmpegCpuSeconds = 0;    // processor time of the whole run, best of 3
  std::vector<uint8_t> format;
  uint32_t handler = 0;
  std::vector<std::vector<uint8_t>> frames;

  TMedia() {
    char tmpl[] = "/tmp/movara-bench-XXXXXX";
    if (!mkdtemp(tmpl)) return;
    dir = tmpl;
    file = dir + "/mjpeg.avi";
    const std::string make = "ffmpeg -v error -y -f lavfi -i testsrc2=size=720x576:rate=25 -frames:v " +
                             std::to_string(kFrames) + " -c:v mjpeg -q:v 3 -pix_fmt yuvj422p '" + file + "'";
    if (Run(make) != 0) return;
    ffmpegSeconds = BestOf("ffmpeg -v error -threads 1 -i '" + file + "' -f null -", &ffmpegCpuSeconds);
    ffmpegStartSeconds = BestOf("ffmpeg -v error -threads 1 -i '" + file + "' -frames:v 1 -f null -");
    ok = ReadPackets();
  }
  ~TMedia() {
    std::error_code ec;
    if (!dir.empty()) std::filesystem::remove_all(dir, ec);
  }

  static double BestOf(const std::string& command, double* bestCpu = nullptr) {
    double best = 1e9, cpu = 1e9;
    for (int i = 0; i < 3; ++i) {
      const double c0 = ChildrenCpuSeconds();
      const auto t0 = std::chrono::steady_clock::now();
      if (Run(command) != 0) return 0;
      best = std::min(best, Seconds(t0, std::chrono::steady_clock::now()));
      cpu = std::min(cpu, ChildrenCpuSeconds() - c0);
    }
    if (bestCpu) *bestCpu = cpu;
    return best;
  }

  bool ReadPackets() {
    PAVIFILE f = nullptr;
    if (AVIFileOpen(&f, file, OF_READ) != AVIERR_OK) return false;
    PAVISTREAM s = nullptr;
    bool good = AVIFileGetStream(f, &s, streamtypeVIDEO, 0) == AVIERR_OK;
    if (good) {
      AVISTREAMINFO info;
      AVIStreamInfo(s, &info, sizeof info);
      handler = info.fccHandler;
      int32_t size = 0;
      AVIStreamReadFormat(s, 0, nullptr, &size);
      format.resize(size_t(size));
      AVIStreamReadFormat(s, 0, format.data(), &size);
      for (int i = 0; i < AVIStreamLength(s); ++i) {
        int32_t bytes = 0;
        AVIStreamRead(s, i, 1, nullptr, 0, &bytes, nullptr);
        frames.emplace_back(size_t(bytes));
        AVIStreamRead(s, i, 1, frames.back().data(), bytes, nullptr, nullptr);
      }
      AVIStreamRelease(s);
    }
    AVIFileRelease(f);
    return good && frames.size() == size_t(kFrames);
  }
};

TMedia& Media() {
  static TMedia media;
  return media;
}

void Report(benchmark::State& state, const TMedia& m, double ourSeconds, double ourCpuSeconds, int64_t frames) {
  const double fps = frames / ourSeconds;
  const double ffmpegFps = m.ffmpegSeconds > 0 ? kFrames / m.ffmpegSeconds : 0;
  const double decodeSeconds = m.ffmpegSeconds - m.ffmpegStartSeconds;
  const double ffmpegDecodeFps = decodeSeconds > 0 ? (kFrames - 1) / decodeSeconds : 0;
  state.counters["fps"] = fps;
  state.counters["ffmpeg_fps"] = ffmpegFps;
  state.counters["ffmpeg_decode_fps"] = ffmpegDecodeFps;
  state.counters["x_ffmpeg"] = ffmpegFps > 0 ? fps / ffmpegFps : 0;
  state.counters["x_ffmpeg_decode"] = ffmpegDecodeFps > 0 ? fps / ffmpegDecodeFps : 0;
  const double cpuFps = frames / ourCpuSeconds;
  const double ffmpegCpuFps = m.ffmpegCpuSeconds > 0 ? kFrames / m.ffmpegCpuSeconds : 0;
  state.counters["cpu_fps"] = cpuFps;
  state.counters["ffmpeg_cpu_fps"] = ffmpegCpuFps;
  state.counters["x_ffmpeg_cpu"] = ffmpegCpuFps > 0 ? cpuFps / ffmpegCpuFps : 0;
}

// Frames in memory through the decoder into one TDIB.
void BM_DecodeMjpeg720x576(benchmark::State& state) {
  TMedia& m = Media();
  if (!m.ok) {
    state.SkipWithError("no ffmpeg program or the AVI could not be made");
    return;
  }
  auto decoder = TVideoDecoder::Create(m.format.data(), m.format.size(), m.handler);
  if (!decoder) {
    state.SkipWithError("no decoder");
    return;
  }
  TDIB picture;
  double seconds = 0, cpu = 0;
  int64_t frames = 0;
  for (auto _ : state) {
    const double c0 = ProcessCpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    for (const auto& f : m.frames) {
      if (!decoder->Decode(f.data(), f.size(), true, picture)) state.SkipWithError("frame not decoded");
      benchmark::DoNotOptimize(picture.Bits());
    }
    seconds += Seconds(t0, std::chrono::steady_clock::now());
    cpu += ProcessCpuSeconds() - c0;
    frames += int64_t(m.frames.size());
  }
  Report(state, m, seconds, cpu, frames);
}
BENCHMARK(BM_DecodeMjpeg720x576)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The whole reading path: open the AVI, a frame getter, every frame as a packed DIB.
void BM_ReadMjpegAvi720x576(benchmark::State& state) {
  TMedia& m = Media();
  if (!m.ok) {
    state.SkipWithError("no ffmpeg program or the AVI could not be made");
    return;
  }
  double seconds = 0, cpu = 0;
  int64_t frames = 0;
  for (auto _ : state) {
    const double c0 = ProcessCpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    PAVIFILE f = nullptr;
    PAVISTREAM s = nullptr;
    if (AVIFileOpen(&f, m.file, OF_READ) != AVIERR_OK || AVIFileGetStream(f, &s, streamtypeVIDEO, 0) != AVIERR_OK) {
      state.SkipWithError("AVI not opened");
      break;
    }
    PGETFRAME getter = AVIStreamGetFrameOpen(s, nullptr);
    for (int i = 0; getter && i < kFrames; ++i) {
      const void* dib = AVIStreamGetFrame(getter, i);
      if (!dib) state.SkipWithError("frame not decoded");
      benchmark::DoNotOptimize(dib);
    }
    if (getter) AVIStreamGetFrameClose(getter);
    AVIStreamRelease(s);
    AVIFileRelease(f);
    seconds += Seconds(t0, std::chrono::steady_clock::now());
    cpu += ProcessCpuSeconds() - c0;
    frames += kFrames;
  }
  Report(state, m, seconds, cpu, frames);
}
BENCHMARK(BM_ReadMjpegAvi720x576)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
