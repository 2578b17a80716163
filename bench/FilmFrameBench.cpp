// Per-frame cost of making a film: the two stages of the film writer measured apart.
// The film is two 10-second 720 x 576 Motion JPEG clips at 25 frames per second (made by
// the ffmpeg program when $MOVARA_BENCH_MEDIA, by default /tmp/benchmedia, lacks them):
// clip A from 0 to 9 s, a 1-second $202 fade to clip B, clip B to 19 s.
//
// Stage 1 (the render thread): a clip frame decoded through the script's clip reader,
// RenderFrame of a plain clip frame in the render mode and in the copy mode, RenderFrame
// of a transition frame, the compressed data of a 25-frame run read for the raw copy.
// Stage 2: one 720 x 576 24-bit frame compressed to Motion JPEG at the film's default
// quality through TVideoCompressor.
//
// Each case reports CPU ms per frame of its thread ("ms") and that time as a multiple of
// two baselines timed in the same process: "x_copy", a memcpy of one 24-bit frame, and
// "x_ffdecode", libavcodec decoding one frame of clip A alone (no conversion).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "base/Dib.h"
#include "media/Avi.h"
#include "media/ResourceLists.h"
#include "output/VideoCompressorSession.h"
#include "platform/avifile/AviFile.h"
#include "script/RenderThread.h"
#include "script/ScriptCommands.h"

using namespace movara;

namespace {

constexpr int kW = 720, kH = 576, kFps = 25;

double CpuMs() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}

int Run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

std::string MediaDir() {
  const char* d = std::getenv("MOVARA_BENCH_MEDIA");
  return d && *d ? d : "/tmp/benchmedia";
}

// The two clips, made as the shared media script makes them when missing.
bool EnsureMedia(const std::string& dir) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::create_directories(dir, ec);
  const std::string ff = "ffmpeg -hide_banner -nostdin -loglevel error -y -threads 1 ";
  const std::string tail =
      " -t 10 -c:v mjpeg -q:v 3 -pix_fmt yuvj420p -threads 1 -c:a pcm_s16le -ar 44100 -ac 2 -fflags +bitexact "
      "-flags:v +bitexact -flags:a +bitexact -map_metadata -1 -f avi ";
  auto sine = [](int hz) {
    return "-f lavfi -i 'sine=frequency=" + std::to_string(hz) +
           ":sample_rate=44100:duration=10,aformat=sample_fmts=s16:channel_layouts=stereo' ";
  };
  if (!fs::exists(dir + "/clipA.avi") &&
      Run(ff + "-f lavfi -i testsrc2=size=720x576:rate=25:duration=10 " + sine(440) + "-map 0:v -map 1:a" + tail +
          "'" + dir + "/clipA.avi'") != 0)
    return false;
  if (!fs::exists(dir + "/clipB.avi") &&
      Run(ff + "-f lavfi -i 'mandelbrot=size=720x576:rate=25,trim=duration=10' " + sine(660) + "-map 0:v -map 1:a" +
          tail + "'" + dir + "/clipB.avi'") != 0)
    return false;
  return fs::exists(dir + "/clipA.avi") && fs::exists(dir + "/clipB.avi");
}

// The film: A for 9 s, the fade (B from its start), B from 1 s on for 9 s.
std::string FilmScript(const std::string& a, const std::string& b) {
  return "*** Video1 ***\r\nAVI " + EncodeScriptFileName(a) + " 9000\r\nFX $202 1000\r\nAVI ?" +
         EncodeScriptFileName(b) + "*0*-1*1000*100 9000\r\nNop null\r\n*** Audio1 ***\r\nNop null\r\n";
}

double BestOfRounds(int rounds, int perRound, const std::function<void()>& f) {
  double best = 1e9;
  for (int r = 0; r < rounds; ++r) {
    const double t0 = CpuMs();
    for (int i = 0; i < perRound; ++i) f();
    best = std::min(best, (CpuMs() - t0) / perRound);
  }
  return best;
}

struct TFilm {
  bool ok = false;
  std::string error;
  std::string clipA, clipB;
  double copyMs = 0;      // memcpy of one 24-bit frame
  double ffDecodeMs = 0;  // libavcodec decoding one frame of clip A

  TFilm() {
    const std::string dir = MediaDir();
    if (!EnsureMedia(dir)) {
      error = "media not made (no ffmpeg program?)";
      return;
    }
    clipA = dir + "/clipA.avi";
    clipB = dir + "/clipB.avi";
    CreateResourceLists();
    copyMs = [] {
      std::vector<uint8_t> a(size_t(kW) * kH * 3, 1), b(a.size());
      return BestOfRounds(30, 20, [&] {
        std::memcpy(b.data(), a.data(), a.size());
        benchmark::DoNotOptimize(b.data());
        benchmark::ClobberMemory();
      });
    }();
    ffDecodeMs = FfDecodeMs();
    ok = ffDecodeMs > 0;
    if (!ok) error = "clip A not decoded by libavcodec";
  }

  // Decoding alone: the stored frames of clip A, one thread, no conversion.
  double FfDecodeMs() const {
    PAVIFILE f = nullptr;
    if (AVIFileOpen(&f, clipA, OF_READ) != AVIERR_OK) return 0;
    PAVISTREAM s = nullptr;
    std::vector<std::vector<uint8_t>> frames;
    if (AVIFileGetStream(f, &s, streamtypeVIDEO, 0) == AVIERR_OK) {
      for (int i = 0; i < 50; ++i) {
        int32_t bytes = 0;
        AVIStreamRead(s, i, 1, nullptr, 0, &bytes, nullptr);
        frames.emplace_back(size_t(bytes) + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        AVIStreamRead(s, i, 1, frames.back().data(), bytes, nullptr, nullptr);
        frames.back().resize(size_t(bytes));
      }
      AVIStreamRelease(s);
    }
    AVIFileRelease(f);
    if (frames.empty()) return 0;
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
    AVCodecContext* ctx = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (!ctx) return 0;
    ctx->thread_count = 1;
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    double ms = 0;
    if (avcodec_open2(ctx, codec, nullptr) >= 0) {
      size_t n = 0;
      ms = BestOfRounds(5, int(frames.size()), [&] {
        const auto& d = frames[n++ % frames.size()];
        pkt->data = const_cast<uint8_t*>(d.data());
        pkt->size = int(d.size());
        if (avcodec_send_packet(ctx, pkt) >= 0 && avcodec_receive_frame(ctx, frame) >= 0) av_frame_unref(frame);
      });
    }
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&ctx);
    return ms;
  }
};

TFilm& Film() {
  static TFilm film;
  return film;
}

void Report(benchmark::State& state, double ms) {
  const TFilm& f = Film();
  state.counters["ms"] = ms;
  state.counters["x_copy"] = f.copyMs > 0 ? ms / f.copyMs : 0;
  state.counters["x_ffdecode"] = f.ffDecodeMs > 0 ? ms / f.ffDecodeMs : 0;
  state.counters["copy_ms"] = f.copyMs;
  state.counters["ffdecode_ms"] = f.ffDecodeMs;
}

bool Ready(benchmark::State& state) {
  if (Film().ok) return true;
  state.SkipWithError(Film().error.c_str());
  return false;
}

// A render thread with the film loaded and a linked 720 x 576 frame picture.
struct TFilmThread {
  TFxRenderThread thread;
  TDIB frame{kW, kH, 24};
  TFilmThread(TRenderOption option) {
    thread.LoadScript(FilmScript(Film().clipA, Film().clipB));
    thread.SetFilmMode(true, option, kW, kH, kFps, VideoFourCC("MJPG"), 24);
    thread.SetLinkOutDIB(&frame);
  }
};

// Runs frames of the film from time 'from' (ms), a frame period apart, wrapping after span.
void RenderFrames(benchmark::State& state, TRenderOption option, int from, int span) {
  if (!Ready(state)) return;
  TFilmThread f(option);
  if (!f.thread.OutputReady()) {
    state.SkipWithError("no output");
    return;
  }
  int n = 0;
  double cpu = 0;
  int64_t frames = 0;
  for (auto _ : state) {
    const int t = from + (n++ * 1000 / kFps) % span;
    const double t0 = CpuMs();
    if (f.thread.RenderFrame(t) != rfPicture) state.SkipWithError("no picture");
    cpu += CpuMs() - t0;
    ++frames;
  }
  Report(state, cpu / double(std::max<int64_t>(frames, 1)));
}

// (a) One clip frame decoded into the clip's picture through the script's reader.
void BM_ClipFrameDecode(benchmark::State& state) {
  if (!Ready(state)) return;
  TFilmThread f(roRender);
  TActionCommandList& actions = f.thread.Actions();
  actions.SelectTrack(0);
  const TScriptAction* action = actions.Actions(0);
  if (!action || !action->CommandA || !action->CommandA->Avi) {
    state.SkipWithError("script not loaded");
    return;
  }
  int n = 0;
  double cpu = 0;
  int64_t frames = 0;
  for (auto _ : state) {
    const int t = (n++ * 1000 / kFps) % 8000;
    const double t0 = CpuMs();
    const TDIB* pic = GetAVIFrame(action->CommandA, *action, false, fmAlone, t);
    cpu += CpuMs() - t0;
    if (!pic || pic->Empty()) state.SkipWithError("no clip frame");
    benchmark::DoNotOptimize(pic);
    ++frames;
  }
  Report(state, cpu / double(std::max<int64_t>(frames, 1)));
}
BENCHMARK(BM_ClipFrameDecode)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// (b) A plain clip frame in the render mode: decode, the still effect, the frame picture.
void BM_RenderPlainClipFrame(benchmark::State& state) { RenderFrames(state, roRender, 1000, 7000); }
BENCHMARK(BM_RenderPlainClipFrame)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// (c) The same in the copy mode without a raw-copy buffer: the clip frame goes to the
// frame picture without the renderer.
void BM_CopyPlainClipFrame(benchmark::State& state) { RenderFrames(state, roFastCopy, 1000, 7000); }
BENCHMARK(BM_CopyPlainClipFrame)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// (d) A frame of the $202 fade (both clips decoded, the effect rendered).
void BM_RenderTransitionFrame(benchmark::State& state) { RenderFrames(state, roRender, 9000, 1000); }
BENCHMARK(BM_RenderTransitionFrame)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// (e) One frame compressed to Motion JPEG at the default quality, as the film writer
// drives the compressor.
void BM_CompressFrameMjpeg(benchmark::State& state) {
  if (!Ready(state)) return;
  // Real pictures: frames of the fade, rendered once.
  TFilmThread f(roRender);
  std::vector<TDIB> pictures;
  for (int t = 9000; t < 10000; t += 200) {
    f.thread.RenderFrame(t);
    pictures.push_back(f.frame);
  }
  TDIB input = pictures[0];
  const TVideoFormat format = TVideoFormat::ForDib(input);
  TCompVars cv;
  cv.dwFlags = ICMF_COMPVARS_VALID;
  cv.fccHandler = VideoFourCC("MJPG");
  cv.lQ = ICQUALITY_DEFAULT;
  TVideoCompressor compressor(nullptr, 0, nullptr, input.Bits(), &format, &cv, true);
  compressor.SetFrameRate(kFps);
  if (!compressor.Opened() || !compressor.StartCompression()) {
    state.SkipWithError("compressor not started");
    return;
  }
  size_t n = 0;
  double cpu = 0;
  int64_t frames = 0, bytes = 0;
  for (auto _ : state) {
    const TDIB& p = pictures[n++ % pictures.size()];
    bool key = false;
    int32_t size = 0;
    const double t0 = CpuMs();
    const uint8_t* data = compressor.CompressFrame(p.Bits(), key, size);
    cpu += CpuMs() - t0;
    if (!data) state.SkipWithError("frame not compressed");
    bytes += size;
    ++frames;
  }
  Report(state, cpu / double(std::max<int64_t>(frames, 1)));
  state.counters["kB_per_frame"] = double(bytes) / double(std::max<int64_t>(frames, 1)) / 1024.0;
}
BENCHMARK(BM_CompressFrameMjpeg)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// (f) The raw copy of a 25-frame run of clip A: the run prepared by RenderFrame in the
// copy mode, then each frame's stored bytes read into the buffer. Reported per run.
void BM_RawCopyRun25(benchmark::State& state) {
  if (!Ready(state)) return;
  TFilmThread f(roFastCopy);
  TAVIData data;
  f.thread.SetRawCopyBuffer(&data);
  int n = 0;
  double cpu = 0;
  int64_t runs = 0;
  for (auto _ : state) {
    const int t = 1000 + (n++ % 7) * 1000;
    const double t0 = CpuMs();
    if (f.thread.RenderFrame(t) != rfRawCopy) {
      state.SkipWithError("no raw copy");
      break;
    }
    TAVI* avi = data.LinkAvi();
    const int last = std::min(data.FirstFrame() + 24, data.LastFrame());
    for (int i = data.FirstFrame(); i <= last; ++i)
      if (!avi->AVIStreamReadSingleFrame(&data, i)) state.SkipWithError("frame not read");
    cpu += CpuMs() - t0;
    ++runs;
  }
  Report(state, cpu / double(std::max<int64_t>(runs, 1)));
}
BENCHMARK(BM_RawCopyRun25)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// Stage 1 over the whole film (475 frames, the fade's 25 among them), per frame: the
// render mode, and the copy mode without raw copies.
void WholeFilm(benchmark::State& state, TRenderOption option) {
  if (!Ready(state)) return;
  TFilmThread f(option);
  double cpu = 0;
  int64_t frames = 0;
  for (auto _ : state) {
    for (int t = 0; t < 19000; t += 1000 / kFps) {
      const double t0 = CpuMs();
      if (f.thread.RenderFrame(t) != rfPicture) state.SkipWithError("no picture");
      cpu += CpuMs() - t0;
      ++frames;
    }
  }
  Report(state, cpu / double(std::max<int64_t>(frames, 1)));
  state.counters["fps"] = cpu > 0 ? 1000.0 * double(frames) / cpu : 0;
}
void BM_WholeFilmRender(benchmark::State& state) { WholeFilm(state, roRender); }
BENCHMARK(BM_WholeFilmRender)->Unit(benchmark::kMillisecond)->Iterations(2);
void BM_WholeFilmCopy(benchmark::State& state) { WholeFilm(state, roFastCopy); }
BENCHMARK(BM_WholeFilmCopy)->Unit(benchmark::kMillisecond)->Iterations(2);

// With MOVARA_BENCH_DUMP set to a folder, frames of the film in both modes go there as
// BMP pictures and as compressed frames, to compare the pictures of two builds.
void DumpFrames(const std::string& dir) {
  if (!Film().ok) return;
  for (TRenderOption option : {roRender, roFastCopy}) {
    TFilmThread f(option);
    TDIB first;
    std::unique_ptr<TVideoCompressor> compressor;
    TVideoFormat format;
    TCompVars cv;
    for (int t : {0, 1000, 2040, 8960, 9000, 9400, 9520, 9960, 10000, 12000, 18960}) {
      if (f.thread.RenderFrame(t) != rfPicture) continue;
      const std::string name = dir + "/" + (option == roRender ? "render_" : "copy_") + std::to_string(t);
      f.frame.SaveToFile(name + ".bmp");
      if (!compressor) {
        format = TVideoFormat::ForDib(f.frame);
        cv.dwFlags = ICMF_COMPVARS_VALID;
        cv.fccHandler = VideoFourCC("MJPG");
        cv.lQ = ICQUALITY_DEFAULT;
        compressor = std::make_unique<TVideoCompressor>(nullptr, 0, nullptr, f.frame.Bits(), &format, &cv, true);
        compressor->SetFrameRate(kFps);
        if (!compressor->StartCompression()) return;
      }
      bool key = false;
      int32_t size = 0;
      const uint8_t* data = compressor->CompressFrame(f.frame.Bits(), key, size);
      if (FILE* out = data ? std::fopen((name + ".jpg").c_str(), "wb") : nullptr) {
        std::fwrite(data, 1, size_t(size), out);
        std::fclose(out);
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (const char* dump = std::getenv("MOVARA_BENCH_DUMP")) {
    DumpFrames(dump);
    return Film().ok ? 0 : 1;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
