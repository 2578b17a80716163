// Feeds arbitrary bytes to the title page reader and to the clipboard record reader.
// What reads must be well-formed text, survive a write and a second read unchanged,
// and a small page must draw.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "pages/PageEditBox.h"
#include "pages/PageImage.h"
#include "pages/PageRecord.h"
#include "pages/PageText.h"

using namespace movara;

// Fontconfig keeps its pattern caches for the life of the process; they are not ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

namespace {

// The faces of page files: every new face name costs a font lookup, which would slow
// the loop to a crawl without testing our code.
const char* const kFaces[] = {"Time New Roman", "Arial", "MS Sans Serif", "Courier New", ""};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const TPageReadResult r = ReadPageBytes(data, size);
  if (r.Items.size() > r.Announced) __builtin_trap();
  if (!r.Items.empty() && !r.HeaderComplete) __builtin_trap();
  bool fits = true;
  for (const TFontItem& it : r.Items) {
    if (!IsValidUtf8(it.Text) || !IsValidUtf8(it.FontName)) __builtin_trap();
    if (it.Text.find('\0') != std::string::npos) __builtin_trap();
    fits = fits && it.Text.size() <= kMaxItemTextBytes && it.FontName.size() <= kMaxItemTextBytes;
  }
  if (r.HeaderComplete && fits) {
    std::vector<const TFontItem*> list;
    for (const TFontItem& it : r.Items) list.push_back(&it);
    const std::vector<uint8_t> again = WritePageBytes(r.PageSize, r.PageColor, list);
    const TPageReadResult back = ReadPageBytes(again.data(), again.size());
    if (!back.Complete() || back.Items.size() != r.Items.size()) __builtin_trap();
    for (size_t i = 0; i < r.Items.size(); ++i)
      if (!back.Items[i].SameContent(r.Items[i])) __builtin_trap();
  }

  std::vector<TFontItem> pasted;
  if (DecodeClipboardItems(data, size, pasted)) {
    for (const TFontItem& it : pasted)
      if (!IsValidUtf8(it.Text) || it.Text.size() > 3 * 4096) __builtin_trap();
  }

  // Draw small pages: hostile sizes, offsets and outline widths must stay harmless.
  size_t textBytes = 0;
  for (const TFontItem& it : r.Items) textBytes += it.Text.size();
  if (!r.Items.empty() && r.Items.size() <= 4 && textBytes <= 64) {
    TPageEditBox box;
    for (const TFontItem& it : r.Items) {
      TFontItem* item = box.AddFontItem(false, false);
      item->Assign(it);
      item->FontName = kFaces[it.FontName.size() % 5];
    }
    box.SetPageSize(psSquare512);
    // Into a QImage: the copy into a TDIB is a plain pixel loop, slow under coverage.
    QImage pic;
    RenderPageToImage(box, pic);
    if (pic.width() != 512 || pic.height() != 512) __builtin_trap();
    box.SelectAll();
    box.AlignSelected(2, 2);
    box.SpaceSelected(true);
  }
  return 0;
}
