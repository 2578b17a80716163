// Scrubbing the project window's slider: the time from the slider's move to the frame
// painted in the preview window "Podgląd" (offscreen, its picture 720 x 576), through the
// preview chain as the editor calls it (PlayPreview of the render thread, the frame
// handed to the window and painted). The film is two 10-second 720 x 576 Motion JPEG
// clips at 25 frames per second (made by the ffmpeg program when $MOVARA_BENCH_MEDIA, by
// default /tmp/benchmedia, lacks them): clip A from 0 to 9 s, a 1-second transition to
// clip B, clip B to 19 s.
//
// Cases: a plain clip scrubbed frame by frame and by jumps, the fade ($202) and the
// rotating cube ($301) scrubbed through their second, the plain clip with Ctrl (150 ms of
// sound mixed and played with each frame). Each reports wall ms per frame ("ms"), to be
// held under the 40 ms of one frame at 25 frames per second.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "fx3d/ui/Chain3DWindows.h"
#include "fx3d/ui/FxDrawWidget.h"
#include "fx3d/ui/FxMyRenderForm.h"
#include "media/ResourceLists.h"
#include "script/Chain3D.h"
#include "script/ScriptCommands.h"

using namespace movara;

namespace {

int Run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

std::string MediaDir() {
  const char* d = std::getenv("MOVARA_BENCH_MEDIA");
  return d && *d ? d : "/tmp/benchmedia";
}

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

std::string Script(const std::string& a, const std::string& b, const char* fx) {
  return "*** Video1 ***\r\nAVI " + EncodeScriptFileName(a) + " 9000\r\nFX " + fx + " 1000\r\nAVI ?" +
         EncodeScriptFileName(b) + "*0*-1*1000*100 9000\r\nNop null\r\n*** Audio1 ***\r\nAud " +
         EncodeScriptFileName(a) + " 9000\r\n*** Audio2 ***\r\nNop null 9000\r\nAud " + EncodeScriptFileName(b) +
         " 10000\r\n";
}

// The preview window of the chain, its picture 720 x 576.
struct TPreview {
  bool ok = false;
  std::string error, clipA, clipB;
  TPreview() {
    if (!EnsureMedia(MediaDir())) {
      error = "media not made (no ffmpeg program?)";
      return;
    }
    clipA = MediaDir() + "/clipA.avi";
    clipB = MediaDir() + "/clipB.avi";
    CreateResourceLists();
    InstallChain3DWindows(nullptr, {});
    if (!ShowFxRenderWindow(true)) {
      error = "no preview window";
      return;
    }
    TFxMyRenderForm* form = ChainPreviewForm();
    form->resize(720, 576);
    QApplication::processEvents();
    ok = form->DrawControl()->size() == QSize(720, 576);
    if (!ok) error = "the preview window is not 720 x 576";
  }
};

TPreview& Preview() {
  static TPreview p;
  return p;
}

// Scrubs from `from` in steps of `step` ms (wrapping inside [from, from + span)).
void Scrub(benchmark::State& state, const char* fx, int from, int span, int step, int mode) {
  TPreview& p = Preview();
  if (!p.ok) {
    state.SkipWithError(p.error.c_str());
    return;
  }
  PreviewScriptAt(Script(p.clipA, p.clipB, fx), true, from, 0);
  const int shownBefore = ChainPreviewForm()->DrawControl()->FramesShown();
  int t = 0, frames = 0;
  QElapsedTimer clock;
  clock.start();
  for (auto _ : state) {
    if (!PlayPreview(from + t, mode)) {
      state.SkipWithError("a frame was not rendered");
      return;
    }
    t = (t + step) % span;
    ++frames;
  }
  const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
  if (ChainPreviewForm()->DrawControl()->FramesShown() - shownBefore != frames) state.SkipWithError("frames not shown");
  state.counters["ms"] = ms / frames;
}

void BM_ScrubPlainClip(benchmark::State& s) { Scrub(s, "$202", 0, 8960, 40, 0); }
void BM_ScrubPlainClipJumps(benchmark::State& s) { Scrub(s, "$202", 0, 8960, 1320, 0); }
void BM_ScrubFade(benchmark::State& s) { Scrub(s, "$202", 9000, 1000, 40, 0); }
void BM_ScrubCube(benchmark::State& s) { Scrub(s, "$301", 9000, 1000, 40, 0); }
void BM_ScrubPlainClipWithSound(benchmark::State& s) { Scrub(s, "$202", 0, 8960, 40, 2); }

BENCHMARK(BM_ScrubPlainClip)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(225);
BENCHMARK(BM_ScrubPlainClipJumps)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(100);
BENCHMARK(BM_ScrubFade)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(100);
BENCHMARK(BM_ScrubCube)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(100);
BENCHMARK(BM_ScrubPlainClipWithSound)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(100);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  DoneChain3D();
  benchmark::Shutdown();
  return 0;
}
