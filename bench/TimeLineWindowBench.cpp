// The project window at work, offscreen, the time line 1600 x 900: a time line of 5,000
// blocks with envelopes shown (pictures with thumbnails, sounds with waveforms,
// transitions, colour blocks): a full repaint, one drag step of a block (the mouse move,
// the model's update with snapping, the repaint) and scrolling by a screen (each goal:
// at most 16 ms); and opening a project of 10,000 blocks into the window until it has
// been drawn (goal: at most 1.5 s). Each case reports the wall-clock ms per operation.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QMouseEvent>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/Dib.h"
#include "base/UserMessages.h"
#include "persist/ProjectDocument.h"
#include "persist/ProjectFile.h"
#include "project/ClipGraphic.h"
#include "project/Layers.h"
#include "project/ui/DocumentSignals.h"
#include "project/ui/LayerBoxSignals.h"
#include "project/ui/LayerBoxView.h"
#include "project/ui/TimeLineForm.h"

using namespace movara;

namespace {

double NowMs() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

class TSilentMessages : public IUserMessages {
 public:
  void Show(const std::string&, TMsgKind) override {}
  TMsgAnswer Ask(const std::string&, TMsgButtons, TMsgAnswer safe) override { return safe; }
};

QApplication& App() {
  static int argc = 1;
  static char name[] = "bench";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    SetUserMessages(std::make_shared<TSilentMessages>());
    return new QApplication(argc, argv);
  }();
  return *app;
}

// Clips with pictures: four stills, a sound, a movie (no file behind them).
struct TClips {
  std::vector<std::unique_ptr<TClipGraphic>> All;
  TClipGraphic* Stills[4] = {};
  TClipGraphic* Sound = nullptr;
  TClipGraphic* Movie = nullptr;
  TClips() {
    for (int k = 0; k < 4; ++k) {
      auto c = std::make_unique<TClipGraphic>();
      c->SetFileName("/media/still" + std::to_string(k) + ".bmp");
      c->SetClipType(ctStillImage);
      TDIB dib(96, 77, 24);
      dib.Fill(RGBColor(40 * k, 120, 200 - 40 * k));
      c->SetPicture(dib);
      Stills[k] = c.get();
      All.push_back(std::move(c));
    }
    auto s = std::make_unique<TClipGraphic>();
    s->SetFileName("/media/sound.wav");
    s->SetClipType(ctAudio);
    s->SetAudioDuration(1000000);
    s->SetMaxDuration(1000000);
    TDIB dib(96, 77, 24);
    dib.Fill(RGBColor(230, 230, 230));
    s->SetPicture(dib);
    Sound = s.get();
    All.push_back(std::move(s));
  }
};

// 5,000 blocks: 2,000 on row A (40 frames every 50), 1,000 on row B meeting them, 500
// stills on the image row, 1,500 sounds on the three sound rows, every sound and image
// block with an envelope of three points; envelopes shown; A's blocks partly colours.
void Fill(TLayerBox& box, TClips& clips) {
  box.IncludeState(bsLoadingItems);
  TLayerRow* a = box.RowByNumber(lnFirstClipTop);
  TLayerRow* b = box.RowByNumber(lnFirstClipBottom);
  TLayerRow* img = box.RowByNumber(lnImage);
  for (int i = 0; i < 2000; ++i) {
    TLayerItem* it = a->InsertLayerItem(50 * i, false, false, false, -1, i % 3 ? clips.Stills[i % 4] : nullptr, 40);
    if (i % 3 == 0) a->RecolorItem(it, ucBlue, 0);
  }
  for (int i = 0; i < 1000; ++i) b->InsertLayerItem(100 * i + 30, false, false, false, -1, clips.Stills[i % 4], 40);
  for (int i = 0; i < 500; ++i) {
    TLayerItem* it = img->InsertLayerItem(200 * i, false, false, false, -1, clips.Stills[i % 4], 150);
    it->LevelBox()->AddPoint(50)->Level = 40;
  }
  for (TLayerNumber n : {lnAudioFirst, lnAudioSecond, lnAudioThird})
    for (int i = 0; i < 500; ++i) {
      TLayerItem* it = box.RowByNumber(n)->InsertLayerItem(200 * i, false, false, false, -1, clips.Sound, 180);
      it->LevelBox()->AddPoint(90)->Level = 80;
    }
  for (TLayerNumber n : {lnImage, lnAudioFirst, lnAudioSecond, lnAudioThird}) box.RowByNumber(n)->SetLevelBoxVisible(true);
  box.ExcludeState(bsLoadingItems);
  box.UpdateLayerFx3d();
}

struct TWindow {
  bool app = (App(), true);  // before the first widget
  TClips clips;
  TLayerBox box;
  TLayerBoxSignals adapter{box};
  TLayerBoxView view{adapter, nullptr};
  TWindow() {
    Fill(box, clips);
    box.SetSnapItems(true);
    view.resize(1600, 900);
    view.show();
    QApplication::processEvents();
    box.SetFirstFrame(20000);  // the middle of the film
    view.repaint();
  }
};

TWindow& Window() {
  static TWindow w;
  return w;
}

void Report(benchmark::State& state, double ms, int n) { state.counters["ms"] = n ? ms / n : 0; }

void BM_FullRepaint(benchmark::State& state) {
  TWindow& w = Window();
  double total = 0;
  int n = 0;
  for (auto _ : state) {
    double t0 = NowMs();
    w.view.repaint();
    total += NowMs() - t0;
    ++n;
  }
  Report(state, total, n);
}
BENCHMARK(BM_FullRepaint)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FullRepaintZoomedOut(benchmark::State& state) {
  TWindow& w = Window();
  w.box.SetZoom(zmTwoMinutes);  // every block in view
  w.box.SetFirstFrame(0);
  double total = 0;
  int n = 0;
  for (auto _ : state) {
    double t0 = NowMs();
    w.view.repaint();
    total += NowMs() - t0;
    ++n;
  }
  w.box.SetZoom(zmOneSecond);
  w.box.SetFirstFrame(20000);
  Report(state, total, n);
}
BENCHMARK(BM_FullRepaintZoomedOut)->Unit(benchmark::kMillisecond)->UseRealTime();

// A block of row A grabbed and moved back and forth by 30 pixels: each step is the
// mouse move the window gets, the model's move with snapping and transitions, the paint.
void BM_DragStep(benchmark::State& state) {
  TWindow& w = Window();
  TLayerRow* a = w.box.RowByNumber(lnFirstClipTop);
  // a block in the middle of the view
  const int frame = w.box.FirstFrame() + w.box.VisibleFrames() / 2;
  TLayerItem* item = a->ItemAtFrames(frame, frame + 1);
  if (!item) item = a->FirstItemStartingAfter(frame);
  const int x0 = (item->Left() + item->Right()) / 2 - TimeLinePixelOfFrame(w.box.Zoom(), w.box.IconSize(), w.box.FirstFrame());
  const int y = a->Top() + a->BaseHeight() / 2;
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(x0, y), QPointF(x0, y), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(&w.view, &press);
  double total = 0;
  int n = 0, k = 0;
  for (auto _ : state) {
    const int x = x0 + ((k++ % 2) ? -15 : 15);
    double t0 = NowMs();
    QMouseEvent move(QEvent::MouseMove, QPointF(x, y), QPointF(x, y), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w.view, &move);
    w.view.repaint();
    total += NowMs() - t0;
    ++n;
  }
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(x0, y), QPointF(x0, y), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(&w.view, &release);
  Report(state, total, n);
}
BENCHMARK(BM_DragStep)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ScrollScreen(benchmark::State& state) {
  TWindow& w = Window();
  double total = 0;
  int n = 0, k = 0;
  for (auto _ : state) {
    const int screen = w.box.VisibleFrames();
    double t0 = NowMs();
    w.box.SetFirstFrame(w.box.FirstFrame() + ((k++ / 20) % 2 ? -screen : screen));
    w.view.repaint();
    total += NowMs() - t0;
    ++n;
  }
  Report(state, total, n);
}
BENCHMARK(BM_ScrollScreen)->Unit(benchmark::kMillisecond)->UseRealTime();

// A project file of 10,000 blocks over four real pictures (its own folder).
struct TProjectFolder {
  std::string path, file;
  TProjectFolder() {
    App();
    path = (std::filesystem::temp_directory_path() / ("movara-window-bench-" + std::to_string(getpid()))).string() + "/";
    std::filesystem::create_directories(path);
    TProjectClipList list;
    TClipGraphic* pics[4];
    for (int k = 0; k < 4; ++k) {
      const std::string name = path + "pic" + std::to_string(k) + ".bmp";
      TDIB dib(64, 48, 24);
      dib.Fill(RGBColor(60 * k, 100, 200));
      dib.SaveToFile(name);
      pics[k] = list.AddClip(name, ctStillImage);
    }
    TLayerBox box;
    box.IncludeState(bsLoadingItems);
    const TLayerNumber rows[] = {lnFirstClipTop, lnFirstClipBottom, lnImage, lnSequence};
    for (int i = 0, made = 1; made < 10000; ++i, ++made) {
      const TLayerNumber n = rows[i % 4];
      TLayerItem* it = box.RowByNumber(n)->InsertLayerItem((i / 4) * 30, false, false, false, -1,
                                                           n == lnSequence ? nullptr : pics[i % 4], 25);
      if (n == lnSequence) it->SetFx3dID(0x41 + i % 26);
      if (n == lnImage) it->LevelBox()->AddPoint(10)->Level = 70;
    }
    box.ExcludeState(bsLoadingItems);
    box.UpdateLayerFx3d();
    file = path + "big.mvf";
    const std::vector<uint8_t> bytes = ProjectBytes(box, &list, ctSMPTE, path);
    std::FILE* f = std::fopen(file.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  ~TProjectFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
};

void BM_OpenProjectIntoWindow(benchmark::State& state) {
  static TProjectFolder folder;
  double total = 0;
  int n = 0;
  for (auto _ : state) {
    auto doc = std::make_unique<TProjectDocument>();
    auto docSignals = std::make_unique<TDocumentSignals>(*doc);
    auto form = std::make_unique<TTimeLineForm>(*doc, *docSignals);
    form->resize(1600, 530);
    form->show();
    QApplication::processEvents();
    double t0 = NowMs();
    doc->Open(folder.file);
    QApplication::processEvents();  // the window follows and draws
    form->View()->repaint();
    total += NowMs() - t0;
    ++n;
    if (doc->LayerBox().TotalItemCount() < 10000) state.SkipWithError("the project did not open whole");
    form.reset();
    docSignals.reset();
    doc.reset();
  }
  Report(state, total, n);
}
BENCHMARK(BM_OpenProjectIntoWindow)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
