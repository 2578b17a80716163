// movara_bench_project OUT.mvf CLIP_A CLIP_B [OVERLAP_FRAMES] [FX_ID]
// Writes the benchmark film's project: clip A on row A from the start, clip B on row B
// overlapping A's end by OVERLAP_FRAMES (25), the transition FX_ID ($202, the fade)
// between them, and the clips' sound on sound rows 1 and 2, crossing over in the overlap.
//
// movara_bench_project --blocks N OUT.mvf
// Writes a project of N blocks (the range block included) for the editor's start-up
// benchmark: one-second blocks of four small pictures (written beside the project)
// spread over rows A and B, the image row and the sequence row (with shortcuts).
//
// movara_bench_project --colour OUT.mvf
// Writes a project of one frame (a 40 ms colour block on row A) for the start-up figure
// of `movara render`.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/CommandLine.h"
#include "base/AppPaths.h"
#include "base/Dib.h"
#include "media/ResourceLists.h"
#include "persist/ProjectFile.h"
#include "project/ClipBox.h"
#include "project/Layers.h"
#include "project/LevelBox.h"

using namespace movara;

namespace {

int MakeBlocks(int count, const std::string& out) {
  const std::string dir = ExtractFilePath(FullPathName(out));
  TClipBox clips;
  TClipGraphic* pics[4];
  for (int k = 0; k < 4; ++k) {
    const std::string name = dir + "bench-pic" + std::to_string(k) + ".bmp";
    TDIB dib(64, 48, 24);
    dib.Fill(RGBColor(40 + 50 * k, 200 - 40 * k, 90));
    if (!dib.SaveToFile(name) || !(pics[k] = clips.AddFile(name))) {
      std::fprintf(stderr, "cannot make the picture '%s'\n", name.c_str());
      return 1;
    }
  }
  TLayerBox box;
  box.EnsureRangeItem();
  box.IncludeState(bsLoadingItems);
  const TLayerNumber rows[] = {lnFirstClipTop, lnFirstClipBottom, lnImage, lnSequence};
  for (int i = 0, made = 1; made < count; ++i, ++made) {
    const TLayerNumber n = rows[i % 4];
    TClipGraphic* clip = n == lnSequence ? nullptr : pics[i % 4];
    // rows A and B apart, so that no transition is made between them
    const int frame = (i / 4) * 30 + (n == lnFirstClipBottom ? 3000000 : 0);
    TLayerItem* it = box.RowByNumber(n)->InsertLayerItem(frame, false, false, false, -1, clip, 25);
    if (n == lnSequence) it->SetFx3dID(0x41 + (i / 4) % 26);
  }
  box.ExcludeState(bsLoadingItems);
  TClipBoxResources resources(clips);
  TProjectStream stream(out, nullptr, &resources, &box, false);
  if (!stream.WriteProject(out)) {
    std::fprintf(stderr, "cannot write '%s'\n", out.c_str());
    return 1;
  }
  std::printf("%d blocks in %s\n", box.TotalItemCount(), out.c_str());
  return 0;
}

int MakeColour(const std::string& out) {
  TClipBox clips;
  TLayerBox box;
  TLayerItem* it = box.RowByNumber(lnFirstClipTop)->InsertUniformColor(0, ucSelected, RGBColor(200, 60, 30));
  if (!it) {
    std::fprintf(stderr, "cannot make the colour block\n");
    return 1;
  }
  it->SetDuration(1);
  TClipBoxResources resources(clips);
  TProjectStream stream(out, nullptr, &resources, &box, false);
  if (!stream.WriteProject(out)) {
    std::fprintf(stderr, "cannot write '%s'\n", out.c_str());
    return 1;
  }
  std::printf("a colour block of %d frame in %s\n", it->Duration(), out.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--colour") {
    CreateResourceLists();
    return MakeColour(argv[2]);
  }
  if (argc == 4 && std::string(argv[1]) == "--blocks") {
    CreateResourceLists();
    return MakeBlocks(std::atoi(argv[2]), argv[3]);
  }
  if (argc < 4 || argc > 6) {
    std::fprintf(stderr, "usage: %s OUT.mvf CLIP_A CLIP_B [OVERLAP_FRAMES] [FX_ID]\n", argv[0]);
    return 2;
  }
  const int overlap = argc > 4 ? std::atoi(argv[4]) : 25;
  int32_t fx = 0x202;
  if (argc > 5 && !ParseFxId(argv[5], fx)) {
    std::fprintf(stderr, "bad effect id '%s'\n", argv[5]);
    return 2;
  }
  CreateResourceLists();
  TClipBox clips;
  TLayerBox box;
  TClipGraphic* a = clips.AddFile(FullPathName(argv[2]));
  TClipGraphic* b = clips.AddFile(FullPathName(argv[3]));
  if (!a || !b) {
    std::fprintf(stderr, "cannot read the clips\n");
    return 1;
  }
  box.SetDefaultFx3dID(fx);
  TLayerItem* va = box.RowByNumber(lnFirstClipTop)->InsertLayerItem(0, true, true, false, fx, a, 0);
  const int bStart = va->FirstFrame() + va->Duration() - overlap;
  TLayerItem* vb = box.RowByNumber(lnFirstClipBottom)->InsertLayerItem(bStart, true, true, false, fx, b, 0);
  TLayerItem* sa = box.RowByNumber(lnAudioFirst)->InsertLayerItem(0, true, true, false, -1, a, 0);
  TLayerItem* sb = box.RowByNumber(lnAudioSecond)->InsertLayerItem(bStart, true, true, false, -1, b, 0);
  // the sound crosses over where the pictures do
  const int unity = sa->LevelBox()->StartPoint()->Level;  // the level that keeps the sound as it is
  sa->LevelBox()->AddPoint(sa->Duration() - overlap)->Level = unity;
  sa->LevelBox()->EndPoint()->Level = 0;
  sb->LevelBox()->StartPoint()->Level = 0;
  sb->LevelBox()->AddPoint(overlap)->Level = unity;
  std::printf("A %d..%d, B %d..%d frames\n", va->FirstFrame(), va->FirstFrame() + va->Duration(), vb->FirstFrame(),
              vb->FirstFrame() + vb->Duration());
  TClipBoxResources resources(clips);
  TProjectStream out(argv[1], nullptr, &resources, &box, false);
  if (!out.WriteProject(argv[1])) {
    std::fprintf(stderr, "cannot write '%s'\n", argv[1]);
    return 1;
  }
  return 0;
}
