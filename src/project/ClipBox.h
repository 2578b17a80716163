#pragma once
// TClipBox: the list of clip thumbnails of the resource window (the model; the window
// draws it). Adding a file makes a thumbnail and loads the file into the resource
// lists; removing the last thumbnail of a file releases it from them. TAnimationBox:
// the animation strip of a time-line block, frames of a thumbnail's AVI side by side.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Dib.h"
#include "base/MouseInput.h"
#include "project/ClipGraphic.h"
#include "project/VfxData.h"

namespace movara {

class TAVI;

// The sort orders live in their own namespace: the script's command codes also have an
// scNone, and a file may need both.
namespace clipsort {
enum TSortClips { scNone, scName, scTimeLine };
}
using clipsort::TSortClips;

class TClipBox {
 public:
  TClipBox();
  ~TClipBox();
  TClipBox(const TClipBox&) = delete;
  TClipBox& operator=(const TClipBox&) = delete;

  int Count() const { return static_cast<int>(FClips.size()); }
  TClipGraphic* Clips(int index) const;
  int IndexOf(const TClipGraphic* clip) const;

  // The chosen files of the open-resource command, in order: stops at MaxClipCount
  // (the limit message once until the count drops again); a file that does not load
  // shows "Nastąpił błąd w trakcie odczytu zbioru "%s"" and leaves no thumbnail.
  // Returns the number of thumbnails added.
  int AddFiles(const std::vector<std::string>& fileNames);
  // One file without the limit or messages; nullptr when it does not load.
  TClipGraphic* AddFile(const std::string& fileName);
  // The first thumbnail whose full file name equals the expanded name.
  TClipGraphic* FindClip(const std::string& fileName) const;

  // Deletes thumbnails from the last to the first: all, or only the selected and/or
  // used ones. A used one asks first and stays on No. Returns how many went.
  int DeleteClips(bool selectedOnly, bool usedOnly);
  // Removes one thumbnail (no question): releases its render picture and its file when
  // no other thumbnail shows the file, then frees it.
  void DeleteClip(TClipGraphic* clip);
  // Removes every thumbnail; an empty box empties the resource lists and the waveform
  // cache.
  void ClearClips();
  // Releases the clip's file from the resource lists when no other thumbnail shows it.
  bool TryClearFromResourceList(TClipGraphic* clip);
  // Releases the clip's render picture when no other thumbnail shows the same file.
  void TryKillBitmapID(TClipGraphic* clip);

  // Title pages: a page the editor puts into the list (with the failure message), and
  // a page file saved again (its picture reloaded everywhere).
  TClipGraphic* AddTitlePage(const std::string& fileName);
  bool TitlePageSaved(const std::string& fileName);

  // ---- gestures of the resource window
  // A click on a thumbnail: selects it alone; with Ctrl toggles it (and raises
  // OnChange); with Shift, when Multiselect and something is selected, adds the run
  // between it and the first selected thumbnail when it is at least as far from that one
  // as from the last, else the run to the last.
  void ClickClip(TClipGraphic* clip, TShiftState shift);
  // A thumbnail may be dragged onto the time line unless the box is full and the
  // thumbnail is used already (another use of it needs a thumbnail more).
  bool CanDragClip(const TClipGraphic* clip) const;
  // The start of a drag selects the thumbnail.
  void StartDrag(TClipGraphic* clip);
  // One thumbnail dropped on another: it takes the target's place, ending up below the
  // target when it came from above and above it when it came from below; the sort order
  // becomes scNone. False when nothing moved.
  bool MoveClip(TClipGraphic* dragged, TClipGraphic* target);
  // A file name dropped on the box: added at the end and shown, unless the box is full
  // (the limit message) or the file does not load ("Nastąpił błąd w trakcie odczytu
  // zbioru "%s""). nullptr when refused.
  TClipGraphic* DropFile(const std::string& fileName);

  // Selection and counts.
  void SelectAlone(TClipGraphic* clip);
  int SelectedCount() const;
  int UnusedCount() const;
  // Number of thumbnails up to and including index that show the same file.
  int OrderOf(int index) const;
  void UpdateOrders();

  TSortClips Sort() const { return FSort; }
  // Sorting by name or by time-line use (a stable bubble sort); scNone keeps the order.
  void SetSort(TSortClips sort);
  void SortClips();

  TIconSize ClipIconSize() const { return FClipIconSize; }
  void SetClipIconSize(TIconSize size);
  TCountType ClipCountType() const { return FClipCountType; }
  void SetClipCountType(TCountType ct);
  int ClipTimeBase() const { return FClipTimeBase; }
  void SetClipTimeBase(int fps);
  // Clips added from now on are loaded for a film alone (TClipGraphic::SetForFilmOnly).
  void SetClipsForFilmOnly(bool on) { FClipsForFilmOnly = on; }
  int MaxClipCount() const { return FMaxClipCount; }
  void SetMaxClipCount(int count) { FMaxClipCount = count > 0 ? count : FMaxClipCount; }
  bool MaxClipOverflow() const { return Count() >= FMaxClipCount; }
  bool Multiselect() const { return FMultiselect; }
  void SetMultiselect(bool m) { FMultiselect = m; }
  int LoadFilesCount() const { return FLoadFilesCount; }
  int DeleteClipCount() const { return FDeleteClipCount; }
  TBoxState BoxState() const { return FBoxState; }
  const std::string& InitialDir() const { return FInitialDir; }
  void SetInitialDir(const std::string& folder) { FInitialDir = folder; }
  // "Pozycje: %d", or "%d" when the longer text would be wider than maxWidth pixels at
  // charWidth pixels a character.
  std::string LabelClipItemsText(int maxWidth = 1 << 30, int charWidth = 0) const;

  // Events: the contents changed (the time line redraws); the preview's script must
  // be cleared; a title page is to be edited; a render picture is released.
  std::function<void()> OnChange;
  std::function<void()> OnClearPreview;
  std::function<void(const std::string&)> OnEditPage;
  std::function<void(int)> OnKillBitmap;

  // Double-click on a title page thumbnail: raises OnEditPage with its full name.
  void DoubleClick(TClipGraphic* clip);

 private:
  std::unique_ptr<TClipGraphic> MakeClip() const;
  bool SameFile(const TClipGraphic* a, const TClipGraphic* b) const;
  void Changed();
  bool LimitReached();

  std::vector<std::unique_ptr<TClipGraphic>> FClips;
  TSortClips FSort = clipsort::scNone;
  TIconSize FClipIconSize = isNormal;
  TCountType FClipCountType = ctSMPTE;
  int FClipTimeBase = DefaultTimeBase;
  bool FClipsForFilmOnly = false;
  int FMaxClipCount = 300;
  bool FMultiselect = false;
  bool FLimitShown = false;
  int FLoadFilesCount = 0;
  int FDeleteClipCount = 0;
  TBoxState FBoxState;
  std::string FInitialDir;
};

// The parameters of a strip covering a block's visible part.
struct TAnimationStrip {
  int Phase = 0;        // h: pixels the strip is shifted left
  int FrameCount = 0;   // n
  double TimeLength = 0;  // dt: ms per frame of the strip
  double TimeOffset = 0;  // t0: ms of the first frame
};

class TAnimationBox {
 public:
  explicit TAnimationBox(TAVI* animation = nullptr) : FAnimation(animation) {}
  void SetAnimation(TAVI* animation);
  TAVI* Animation() const { return FAnimation; }

  // Rebuilds the strip when a parameter changed or more frames are asked for than
  // cached; true when it was rebuilt.
  bool SetParams(int frameWidth, int frameHeight, int frameCount, double timeLength, double timeOffset);
  const TDIB& Strip() const { return FStrip; }
  int FrameCount() const { return FFrameCount; }

  // For a block whose visible part starts p pixels after its left edge and is
  // visibleWidth wide, with thumbnails of thumbWidth pixels each msPerThumb ms long,
  // and the block's clip starting offsetMs into the file.
  static TAnimationStrip StripFor(int p, int visibleWidth, int thumbWidth, double msPerThumb, double offsetMs);

 private:
  TAVI* FAnimation = nullptr;
  TDIB FStrip;
  int FFrameWidth = 0, FFrameHeight = 0, FFrameCount = 0;
  double FTimeLength = -1, FTimeOffset = -1;
};

}  // namespace movara
