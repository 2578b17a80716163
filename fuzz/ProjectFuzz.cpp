// Feeds arbitrary bytes to the project reader. Whatever loads must keep the rows sorted
// and free of overlaps with partners naming each other, and must survive a write and a
// second read unchanged.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/UserMessages.h"
#include "persist/ProjectFile.h"
#include "project/ClipGraphic.h"

using namespace movara;

namespace {

// Messages are many and uninteresting here.
class TSilentMessages : public IUserMessages {
 public:
  void Show(const std::string&, TMsgKind) override {}
  TMsgAnswer Ask(const std::string&, TMsgButtons, TMsgAnswer safe) override { return safe; }
};

std::string TempName(const char* tag) { return "/tmp/movara-project-fuzz-" + std::to_string(getpid()) + tag; }

void WriteFile(const std::string& name, const uint8_t* data, size_t size) {
  std::FILE* f = std::fopen(name.c_str(), "wb");
  if (!f) __builtin_trap();
  if (size && std::fwrite(data, 1, size, f) != size) __builtin_trap();
  std::fclose(f);
}

void CheckRows(const TLayerBox& box) {
  for (int k = 0; k < box.RowCount(); ++k) {
    const TLayerRow* row = box.Rows(k);
    for (int i = 0; i < row->ItemCount(); ++i) {
      const TLayerItem* it = row->Items(i);
      if (it->FirstFrame() < 0 || it->Duration() < 1) __builtin_trap();
      if (it->PrevItem() != (i ? row->Items(i - 1) : nullptr)) __builtin_trap();
      if (i && row->LayerType() != ltFx3d && it->FirstFrame() < row->Items(i - 1)->LastFrame()) __builtin_trap();
      if (const TLayerItem* p = it->LinkSynchronizeItem())
        if (p == it || p->LinkSynchronizeItem() != it) __builtin_trap();
    }
  }
}

bool SharedStarts(const TLayerBox& box) {
  const TLayerRow* row = box.RowByNumber(lnFirstFx3d);
  for (int i = 1; i < row->ItemCount(); ++i)
    if (row->Items(i)->FirstFrame() == row->Items(i - 1)->FirstFrame()) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool silenced = (SetUserMessages(std::make_shared<TSilentMessages>()), true);
  (void)silenced;
  const std::string file = TempName(".mvf");
  WriteFile(file, data, size);

  TLayerBox box;
  box.ClearProject(false);
  TProjectClipList clips;
  clips.SetAcceptMissing(true);
  int total = 0;
  int read = 0;
  TCountType countType = ctSMPTE;
  {
    TProjectStream s(file, nullptr, &clips, &box, true);
    read = s.ReadProject(total);
    countType = s.CountType();
  }
  if (read > 0 && read > total) __builtin_trap();
  if (box.BoxState().Contains(bsLoadingItems)) __builtin_trap();
  if (clips.ClipTimeBase() < 1) __builtin_trap();
  CheckRows(box);

  // what loaded writes and reads back the same
  std::vector<uint8_t> once;
  try {
    once = ProjectBytes(box, &clips, countType, "/tmp/");
  } catch (const EProjectFile&) {
    return 0;  // a media name too long to store
  }
  WriteFile(file, once.data(), once.size());
  TLayerBox box2;
  box2.ClearProject(false);
  int total2 = 0;
  {
    TProjectStream s(file, nullptr, &clips, &box2, true);
    if (s.ReadProject(total2) != box.TotalItemCount()) __builtin_trap();
    // the row puts a block before one that starts at the same frame, so transitions
    // sharing a start (the only blocks that may) swap on every read
    if (!SharedStarts(box) && ProjectBytes(box2, &clips, s.CountType(), "/tmp/") != once) __builtin_trap();
  }
  std::remove(file.c_str());
  return 0;
}
