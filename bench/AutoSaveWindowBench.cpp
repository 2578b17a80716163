// A recovery copy of a project of 10,000 blocks made while the event loop runs, as the
// editor's timer makes it: the longest gap between the ticks of a 1 ms timer of the
// same loop while the copy is made and written (goal: at most 5 ms; the writing runs on
// its own thread), beside the same loop without a copy. Offscreen.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "persist/ProjectDocument.h"

using namespace movara;

namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "bench";
  static char* argv[] = {name, nullptr};
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static QApplication app(argc, argv);
  return app;
}

// 10,000 colour blocks and sequences: no media to load.
void Fill(TLayerBox& box) {
  box.IncludeState(bsLoadingItems);
  const TLayerNumber rows[] = {lnFirstClipTop, lnFirstClipBottom, lnImage, lnSequence};
  for (int i = 1; i < 10000; ++i) {
    const TLayerNumber n = rows[i % 4];
    TLayerItem* it = box.RowByNumber(n)->InsertLayerItem((i / 4) * 30, false, false, false,
                                                         n == lnSequence ? 0x41 + i % 26 : -1, nullptr, 25);
    if (n != lnSequence) it->SetUniformColor(ucBlue);
  }
  box.ExcludeState(bsLoadingItems);
  box.UpdateLayerFx3d();
}

void BM_AutoSaveLongestEventGap(benchmark::State& state) {
  App();
  const std::string folder =
      (std::filesystem::temp_directory_path() / ("movara-autosave-bench-" + std::to_string(getpid()))).string() + "/";
  double longest = 0, longestCall = 0;
  {
    TProjectDocument doc;
    Fill(doc.LayerBox());
    doc.History().Clear();  // as an opened project starts
    doc.StartAutoSave(folder, getpid());
    TLayerItem* moving = doc.LayerBox().RowByNumber(lnImage)->Items(0);
    int k = 0;
    for (auto _ : state) {
      moving->SetFirstFrame(moving->FirstFrame() + (++k % 2 ? 1 : -1));
      QEventLoop loop;
      QElapsedTimer clock;
      qint64 last = -1;
      double gap = 0;
      QTimer ticker;
      ticker.setTimerType(Qt::PreciseTimer);
      QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (last >= 0) gap = std::max(gap, static_cast<double>(now - last) / 1e6);
        last = now;
      });
      bool started = false;
      // the baseline (0) runs the same loop without a copy
      QTimer::singleShot(20, [&] {
        QElapsedTimer call;
        call.start();
        started = state.range(0) == 0 || doc.AutoSaveNow();
        longestCall = std::max(longestCall, static_cast<double>(call.nsecsElapsed()) / 1e6);
      });
      QTimer done;
      QObject::connect(&done, &QTimer::timeout, [&] {
        if (clock.elapsed() > 60 && !doc.AutoSave()->Busy()) loop.quit();
      });
      clock.start();
      ticker.start(1);
      done.start(5);
      loop.exec();
      if (!started) state.SkipWithError("no copy made");
      longest = std::max(longest, gap);
    }
    doc.AutoSave()->Wait();
  }
  state.counters["longest_gap_ms"] = longest;
  state.counters["longest_call_ms"] = longestCall;
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
}
BENCHMARK(BM_AutoSaveLongestEventGap)->Unit(benchmark::kMillisecond)->Iterations(20)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
