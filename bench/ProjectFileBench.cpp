// Opening a project of 10,000 blocks (goal: at most 1 s), written first by our own
// writer into a temporary folder: once with a few real pictures loaded through the clip
// box, once with media known by name only (sound blocks linked to their pictures, with
// envelopes). Saving the same project is measured beside it.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "base/Dib.h"
#include "base/UserMessages.h"
#include "persist/ProjectFile.h"
#include "project/ClipBox.h"
#include "project/ClipGraphic.h"

using namespace movara;

namespace {

constexpr int kBlocks = 10000;

class TSilentMessages : public IUserMessages {
 public:
  void Show(const std::string&, TMsgKind) override {}
  TMsgAnswer Ask(const std::string&, TMsgButtons, TMsgAnswer safe) override { return safe; }
};

struct TBenchFolder {
  std::string path;
  TBenchFolder() {
    path = (std::filesystem::temp_directory_path() / ("movara-project-bench-" + std::to_string(getpid()))).string() + "/";
    std::filesystem::create_directories(path);
    SetUserMessages(std::make_shared<TSilentMessages>());
  }
  ~TBenchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
};

TBenchFolder& Folder() {
  static TBenchFolder f;
  return f;
}

// Four small pictures, and the project file: blocks spread over the picture rows, the
// sequence row and (with Linked) sound rows partnered with the pictures of row A.
std::string MakeProject(bool Linked) {
  const std::string dir = Folder().path;
  TProjectClipList clips;
  TClipGraphic* pics[4];
  for (int k = 0; k < 4; ++k) {
    const std::string name = dir + "pic" + std::to_string(k) + ".bmp";
    TDIB dib(32, 24, 24);
    dib.SaveToFile(name);
    pics[k] = clips.AddClip(name, ctStillImage);
  }
  TClipGraphic* sound = clips.AddClip(dir + "missing.wav", ctAudio);
  TLayerBox box;
  box.IncludeState(bsLoadingItems);
  const TLayerNumber rows[] = {lnFirstClipTop, lnFirstClipBottom, lnImage, lnSequence};
  int made = 1;  // the range block
  for (int i = 0; made < kBlocks; ++i) {
    const TLayerNumber n = rows[i % 4];
    const int frame = (i / 4) * 30;
    TClipGraphic* clip = n == lnSequence ? nullptr : pics[i % 4];
    TLayerItem* it = box.RowByNumber(n)->InsertLayerItem(frame, false, false, false, -1, clip, 25);
    ++made;
    if (n == lnSequence) it->SetFx3dID(0x41 + i % 26);
    if (Linked && n == lnFirstClipTop && made < kBlocks) {
      TLayerItem* s = box.RowByNumber(lnAudioSecond)->InsertLayerItem(frame, false, false, false, -1, sound, 25);
      ++made;
      s->SetLinkSynchronizeItem(it);
      s->Synchronize();
      s->LevelBox()->AddPoint(10)->Level = 80;
    }
  }
  box.ExcludeState(bsLoadingItems);
  const std::string file = dir + (Linked ? "linked.mvf" : "pictures.mvf");
  TProjectStream w(file, nullptr, &clips, &box, false);
  if (!w.WriteProject(file)) std::fprintf(stderr, "bench: cannot write %s\n", file.c_str());
  return file;
}

void BM_OpenProject_ClipBox(benchmark::State& state) {
  static const std::string file = MakeProject(false);
  for (auto _ : state) {
    TLayerBox box;
    TClipBox clipBox;
    TClipBoxResources clips(clipBox);
    TOpenProjectResult r = OpenProjectFile(file, box, clips);
    if (!r.Ok || r.Read != kBlocks) state.SkipWithError("project not read whole");
    benchmark::DoNotOptimize(r);
  }
  state.counters["blocks"] = kBlocks;
}
BENCHMARK(BM_OpenProject_ClipBox)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_OpenProject_NamesOnly(benchmark::State& state) {
  static const std::string file = MakeProject(true);
  for (auto _ : state) {
    TLayerBox box;
    TProjectClipList clips;
    clips.SetAcceptMissing(true);
    TOpenProjectResult r = OpenProjectFile(file, box, clips);
    if (!r.Ok || r.Read != kBlocks) state.SkipWithError("project not read whole");
    benchmark::DoNotOptimize(r);
  }
  state.counters["blocks"] = kBlocks;
}
BENCHMARK(BM_OpenProject_NamesOnly)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_SaveProject(benchmark::State& state) {
  static const std::string file = MakeProject(true);
  TLayerBox box;
  TProjectClipList clips;
  clips.SetAcceptMissing(true);
  OpenProjectFile(file, box, clips);
  const std::string out = Folder().path + "saved.mvf";
  for (auto _ : state) {
    TProjectStream w(out, nullptr, &clips, &box, false);
    if (!w.WriteProject(out)) state.SkipWithError("save failed");
  }
}
BENCHMARK(BM_SaveProject)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
