// movara_bench_project OUT.mvf CLIP_A CLIP_B [OVERLAP_FRAMES] [FX_ID]
// Writes the benchmark film's project: clip A on row A from the start, clip B on row B
// overlapping A's end by OVERLAP_FRAMES (25), the transition FX_ID ($202, the fade)
// between them, and the clips' sound on sound rows 1 and 2, crossing over in the overlap.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/CommandLine.h"
#include "base/AppPaths.h"
#include "media/ResourceLists.h"
#include "persist/ProjectFile.h"
#include "project/ClipBox.h"
#include "project/Layers.h"
#include "project/LevelBox.h"

using namespace movara;

int main(int argc, char** argv) {
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
