// The edit history and the recovery copy on a project of 10,000 blocks (pictures on
// rows A and B with their transitions, stills, sequences, sound partners with
// envelopes). Goals: recording one edit at most 5 ms and a few kilobytes; undo and redo
// of a group move at most 20 ms; 200 single-block moves at most 10 MB; the time line's
// own part of a recovery copy (the bytes; the writing runs on its own thread) at most
// 5 ms.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "persist/AutoSave.h"
#include "persist/ProjectFile.h"
#include "project/ClipGraphic.h"
#include "project/Layers.h"
#include "project/UndoHistory.h"

using namespace movara;

namespace {

constexpr int kBlocks = 10000;

struct TProject {
  TProjectClipList clips;
  TLayerBox box;
  std::vector<TLayerItem*> rowA;  // blocks of row A, with a gap of 5 frames after each

  TProject() {
    clips.SetAcceptMissing(true);
    TClipGraphic* pics[3];
    for (int k = 0; k < 3; ++k) pics[k] = clips.AddClip("/media/pic" + std::to_string(k) + ".avi", ctMovie, 1000);
    TClipGraphic* still = clips.AddClip("/media/still.bmp", ctStillImage, 0);
    TClipGraphic* sound = clips.AddClip("/media/sound.wav", ctAudio, 1000);
    box.IncludeState(bsLoadingItems);
    int made = 1;  // the range block
    for (int i = 0; made < kBlocks; ++i) {
      const int frame = i * 30;
      TLayerItem* a = box.RowByNumber(lnFirstClipTop)->InsertLayerItem(frame, false, false, false, -1, pics[i % 3], 25);
      rowA.push_back(a);
      ++made;
      box.RowByNumber(lnFirstClipBottom)->InsertLayerItem(frame + 20, false, false, false, -1, pics[(i + 1) % 3], 8);
      ++made;
      box.RowByNumber(lnImage)->InsertLayerItem(frame, false, false, false, -1, still, 20);
      ++made;
      TLayerItem* s = box.RowByNumber(lnAudioSecond)->InsertLayerItem(frame, false, false, false, -1, sound, 25);
      s->SetLinkSynchronizeItem(a);
      s->Synchronize();
      s->LevelBox()->AddPoint(10)->Level = 80;
      ++made;
      if (i % 10 == 0) {
        box.RowByNumber(lnSequence)->InsertLayerItem(frame, false, false, false, 0x41 + i % 26, nullptr, 25);
        ++made;
      }
    }
    box.ExcludeState(bsLoadingItems);
    box.UpdateLayerFx3d();
  }
};

TProject& Project() {
  static TProject p;
  return p;
}

// One block of row A (and its sound partner) moved by one frame within its gap, and the
// step recorded.
void BM_RecordOneMove(benchmark::State& state) {
  TProject& p = Project();
  TUndoHistory history(p.box, 1000000);
  size_t k = 0;
  int64_t steps = 0;
  for (auto _ : state) {
    TLayerItem* a = p.rowA[(k * 7919) % p.rowA.size()];
    ++k;
    a->SetFirstFrame(a->FirstFrame() + ((k / p.rowA.size()) % 2 ? -1 : 1));
    a->Synchronize();
    if (!history.Commit()) state.SkipWithError("no step");
    ++steps;
  }
  state.counters["blocks"] = p.box.TotalItemCount();
  state.counters["bytes_per_step"] = static_cast<double>(history.StepBytes()) / static_cast<double>(steps);
  state.counters["kept_state_MB"] = static_cast<double>(history.BaseBytes()) / 1e6;
  while (history.Undo()) {
  }
}
BENCHMARK(BM_RecordOneMove)->Unit(benchmark::kMillisecond);

// 200 steps of single-block moves: the memory they add.
void BM_TwoHundredMoves(benchmark::State& state) {
  TProject& p = Project();
  for (auto _ : state) {
    TUndoHistory history(p.box, 1000);
    for (int k = 0; k < 200; ++k) {
      TLayerItem* a = p.rowA[static_cast<size_t>(k * 37) % p.rowA.size()];
      a->SetFirstFrame(a->FirstFrame() + 1);
      a->Synchronize();
      history.Commit();
    }
    state.counters["steps_MB"] = static_cast<double>(history.StepBytes()) / 1e6;
    while (history.Undo()) {
    }
  }
}
BENCHMARK(BM_TwoHundredMoves)->Unit(benchmark::kMillisecond)->Iterations(3);

// A selection of 500 blocks of row A with their partners moved by a gesture of the box,
// then undone and redone: one undo and one redo per iteration.
void BM_UndoRedoGroupMove(benchmark::State& state) {
  TProject& p = Project();
  p.box.DeselectAll();
  for (size_t k = 0; k < 500; ++k) p.rowA[k * 3]->SetSelected(true);
  TUndoHistory history(p.box, 100);
  if (!p.box.MoveSelection(p.rowA[0], p.rowA[0]->FirstFrame() + 3, p.rowA[0]->Parent()) || !history.Commit())
    state.SkipWithError("no group move");
  for (auto _ : state) {
    history.Undo();
    history.Redo();
  }
  state.counters["changed_blocks"] = 1000;
  state.counters["step_KB"] = static_cast<double>(history.StepBytes()) / 1e3;
  history.Undo();
  p.box.DeselectAll();
}
BENCHMARK(BM_UndoRedoGroupMove)->Unit(benchmark::kMillisecond);

// "Kasuj wszystko" on the whole project, undone and redone: one undo and one redo per
// iteration (every block comes back and goes again).
void BM_UndoRedoClearProject(benchmark::State& state) {
  TProject& p = Project();
  TUndoHistory history(p.box, 100);
  p.box.ClearProject(true);
  if (!history.Commit()) state.SkipWithError("no step");
  for (auto _ : state) {
    history.Undo();
    history.Redo();
  }
  history.Undo();
  p.rowA.clear();
  for (int i = 0; i < p.box.RowByNumber(lnFirstClipTop)->ItemCount(); ++i)
    p.rowA.push_back(p.box.RowByNumber(lnFirstClipTop)->Items(i));
  state.counters["step_MB"] = static_cast<double>(history.StepBytes()) / 1e6;
}
BENCHMARK(BM_UndoRedoClearProject)->Unit(benchmark::kMillisecond);

// The part of a recovery copy that runs on the time line's thread: the bytes of the
// project and the start of the writer (which writes them to the disk on its own thread).
void BM_AutoSaveOnTimeLineThread(benchmark::State& state) {
  TProject& p = Project();
  const std::string folder =
      (std::filesystem::temp_directory_path() / ("movara-undo-bench-" + std::to_string(getpid()))).string() + "/";
  {
    TAutoSave save(folder, 1);
    for (auto _ : state) {
      std::vector<uint8_t> bytes = ProjectBytes(p.box, &p.clips, ctSMPTE, "");
      save.Write(std::move(bytes), "");
      state.PauseTiming();
      save.Wait();
      state.ResumeTiming();
    }
    save.Discard();
  }
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
}
BENCHMARK(BM_AutoSaveOnTimeLineThread)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
