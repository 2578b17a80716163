#include "project/ClipBox.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <set>

#include "base/AppPaths.h"
#include "base/Format.h"
#include "base/Rounding.h"
#include "base/Trace.h"
#include "base/UserMessages.h"
#include "media/AudioZoom.h"
#include "media/Avi.h"
#include "media/PictureFile.h"
#include "media/ResourceLists.h"

namespace movara {
using namespace clipsort;

namespace {

// Case-blind comparison of two names: <0, 0, >0.
int CompareText(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const int ca = std::toupper(static_cast<unsigned char>(a[i]));
    const int cb = std::toupper(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// True when a must come after b.
bool ComesAfter(TSortClips sort, const TClipGraphic& a, const TClipGraphic& b) {
  if (sort == scName) return CompareText(a.FileShortName(), b.FileShortName()) > 0;
  if (sort == scTimeLine) {
    if (a.Used() != b.Used()) return !a.Used();
    if (a.Used() && a.Position() != b.Position()) return a.Position() > b.Position();
    return CompareText(a.FileShortName(), b.FileShortName()) > 0;
  }
  return false;
}

}  // namespace

TClipBox::TClipBox() = default;

TClipBox::~TClipBox() {
  // Thumbnails go last to first, each telling its blocks; the lists stay as they are.
  while (!FClips.empty()) {
    std::unique_ptr<TClipGraphic> c = std::move(FClips.back());
    FClips.pop_back();
    c.reset();
  }
}

TClipGraphic* TClipBox::Clips(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return FClips[static_cast<size_t>(index)].get();
}

int TClipBox::IndexOf(const TClipGraphic* clip) const {
  for (size_t i = 0; i < FClips.size(); ++i) {
    if (FClips[i].get() == clip) return static_cast<int>(i);
  }
  return -1;
}

std::unique_ptr<TClipGraphic> TClipBox::MakeClip() const {
  auto c = std::make_unique<TClipGraphic>();
  c->SetOwner(const_cast<TClipBox*>(this));
  c->SetIconSize(FClipIconSize);
  c->SetCountType(FClipCountType);
  c->SetTimeBase(FClipTimeBase);
  c->SetForFilmOnly(FClipsForFilmOnly);
  return c;
}

bool TClipBox::SameFile(const TClipGraphic* a, const TClipGraphic* b) const {
  return a->FullFileName() == b->FullFileName();
}

void TClipBox::Changed() {
  if (OnChange) OnChange();
}

TClipGraphic* TClipBox::AddFile(const std::string& fileName) {
  if (fileName.empty()) return nullptr;
  FClips.push_back(MakeClip());
  TClipGraphic* c = FClips.back().get();
  bool ok = c->LoadClip(fileName);
  if (ok) {
    CreateResourceLists();
    ok = LoadResourceFile(c->ClipType(), c->FullFileName());
  }
  if (!ok) {
    std::unique_ptr<TClipGraphic> gone = std::move(FClips.back());
    FClips.pop_back();
    return nullptr;
  }
  c->SetOrder(OrderOf(Count() - 1));
  return c;
}

bool TClipBox::LimitReached() {
  if (Count() < FMaxClipCount) return false;
  if (!FLimitShown) {
    FLimitShown = true;
    ShowMessage(Format("Przekroczono limit ładowanych zasobów !!! Dopuszczalna liczba zasobów: %d.", FMaxClipCount),
                TMsgKind::Warning);
  }
  return true;
}

int TClipBox::AddFiles(const std::vector<std::string>& fileNames) {
  int added = 0;
  TBoxStateItemScope loading(&FBoxState, bsLoadingItems);
  FLoadFilesCount = 0;
  for (const std::string& name : fileNames) {
    if (LimitReached()) break;
    if (AddFile(name) != nullptr) {
      ++added;
      ++FLoadFilesCount;
    } else {
      ShowMessage(Format("Nastąpił błąd w trakcie odczytu zbioru \"%s\"", name.c_str()), "Uwaga !", TMsgKind::Warning);
    }
  }
  loading.Restore();
  if (!fileNames.empty()) FInitialDir = ExtractFilePath(ExpandFileName(fileNames.back()));
  FSort = scNone;
  Changed();
  return added;
}

TClipGraphic* TClipBox::FindClip(const std::string& fileName) const {
  if (fileName.empty()) return nullptr;
  const std::string name = ExpandFileName(fileName);
  for (const auto& c : FClips) {
    if (c->FullFileName() == name) return c.get();
  }
  return nullptr;
}

int TClipBox::OrderOf(int index) const {
  if (index < 0 || index >= Count()) return 0;
  int order = 0;
  for (int i = 0; i <= index; ++i) {
    if (SameFile(FClips[static_cast<size_t>(i)].get(), FClips[static_cast<size_t>(index)].get())) ++order;
  }
  return order;
}

void TClipBox::UpdateOrders() {
  for (int i = 0; i < Count(); ++i) FClips[static_cast<size_t>(i)]->SetOrder(OrderOf(i));
}

void TClipBox::TryKillBitmapID(TClipGraphic* clip) {
  if (clip == nullptr || clip->BitmapID() == -1) return;
  for (const auto& c : FClips) {
    if (c.get() != clip && SameFile(c.get(), clip)) return;
  }
  TraceF("[TClipBox.TryKillBitmapID] VfxKillBitmap(0x%x)", static_cast<unsigned>(clip->BitmapID()));
  if (OnKillBitmap) OnKillBitmap(clip->BitmapID());
  clip->SetBitmapID(-1);
}

bool TClipBox::TryClearFromResourceList(TClipGraphic* clip) {
  if (clip == nullptr) return false;
  for (const auto& c : FClips) {
    if (c.get() != clip && SameFile(c.get(), clip)) return false;
  }
  TraceF("[TClipBox.TryClearFromResourceList] Release file \"%s\"", clip->FullFileName().c_str());
  return ReleaseResourceFile(clip->ClipType(), clip->FullFileName());
}

void TClipBox::DeleteClip(TClipGraphic* clip) {
  const int index = IndexOf(clip);
  if (index < 0) return;
  TryKillBitmapID(clip);
  TryClearFromResourceList(clip);
  std::unique_ptr<TClipGraphic> gone = std::move(FClips[static_cast<size_t>(index)]);
  FClips.erase(FClips.begin() + index);
  // Freeing it tells every block showing it.
  gone.reset();
  ++FDeleteClipCount;
  if (Count() < FMaxClipCount) FLimitShown = false;
  UpdateOrders();
}

int TClipBox::DeleteClips(bool selectedOnly, bool usedOnly) {
  TBoxStateItemScope deleting(&FBoxState, bsDeletingItems);
  FDeleteClipCount = 0;
  int deleted = 0;
  for (int i = Count() - 1; i >= 0; --i) {
    if (i >= Count()) continue;
    TClipGraphic* c = FClips[static_cast<size_t>(i)].get();
    if (selectedOnly && !c->Selected()) continue;
    if (usedOnly && !c->Used()) continue;
    if (c->Used()) {
      const TMsgAnswer a = AskMessage(
          Format("Wybrany element użyty jest na linii czasu. Czy napewno go usunąć %s z okna zasobów oraz z linii "
                 "czasu ?",
                 c->FileShortName().c_str()),
          "Uwaga !", TMsgButtons::OkCancel, TMsgAnswer::Cancel);
      if (a != TMsgAnswer::Yes && a != TMsgAnswer::Ok) continue;
    }
    DeleteClip(c);
    ++deleted;
  }
  deleting.Restore();
  if (FClips.empty()) {
    if (OnClearPreview) OnClearPreview();
    ClearResourceLists();
    AudioZoomReaderList().Clear();
  }
  if (deleted > 0) Changed();
  return deleted;
}

void TClipBox::ClearClips() {
  {
    TBoxStateItemScope deleting(&FBoxState, bsDeletingItems);
    while (!FClips.empty()) DeleteClip(FClips.back().get());
  }
  if (OnClearPreview) OnClearPreview();
  ClearResourceLists();
  AudioZoomReaderList().Clear();
  Changed();
}

TClipGraphic* TClipBox::AddTitlePage(const std::string& fileName) {
  TClipGraphic* c = AddFile(fileName);
  if (c == nullptr) {
    ShowMessage(Format("Nastąpił błąd w trakcie odczytu zbioru \"%s\"", fileName.c_str()), "Uwaga !",
                TMsgKind::Warning);
  } else {
    Changed();
  }
  return c;
}

bool TClipBox::TitlePageSaved(const std::string& fileName) {
  const std::string name = ExpandFileName(fileName);
  TDIB picture;
  std::string path = name;
  if (!LoadPictureFile(picture, path, false)) {
    ShowMessage(Format("Nastąpił błąd w trakcie aktualizacji zbioru \"%s\" w liście zasobów", name.c_str()),
                "Uwaga !", TMsgKind::Warning);
    return false;
  }
  CreateResourceLists();
  // Both picture lists hold the page; the unflipped one must not keep the old text.
  const bool listed = DIBList()->FindItem(name) != nullptr;
  const bool listedFY = DIBFYList()->FindItem(name) != nullptr;
  if ((listed && DIBList()->ReloadItem(name, true) == nullptr) ||
      (listedFY && DIBFYList()->ReloadItem(name, false) == nullptr)) {
    ShowMessage(
        "Próba uaktualnienia strony napisów w liscie zasobów nie powiodła się ! Zamknij pozostałe alplikacje i "
        "powtórz operację.",
        "Błąd", TMsgKind::Error);
    return false;
  }
  std::set<int> killed;
  bool anyUsed = false;
  for (const auto& c : FClips) {
    if (c->FullFileName() != name) continue;
    const int id = c->BitmapID();
    if (id != -1 && killed.insert(id).second) {
      TraceF("[TClipBox.TryKillBitmapID] VfxKillBitmap(0x%x)", static_cast<unsigned>(id));
      if (OnKillBitmap) OnKillBitmap(id);
    }
    c->SetBitmapID(-1);
    c->SetPicture(picture);
    anyUsed = anyUsed || c->Used();
  }
  if (anyUsed) Changed();
  return true;
}

TClipGraphic* TClipBox::DropFile(const std::string& fileName) {
  if (fileName.empty() || LimitReached()) return nullptr;
  TClipGraphic* c = AddFile(fileName);
  if (c == nullptr) {
    ShowMessage(Format("Nastąpił błąd w trakcie odczytu zbioru \"%s\"", fileName.c_str()), "Uwaga !",
                TMsgKind::Warning);
    return nullptr;
  }
  Changed();
  return c;
}

void TClipBox::ClickClip(TClipGraphic* clip, TShiftState shift) {
  const int c = IndexOf(clip);
  if (c < 0) return;
  if (shift & ssCtrl) {
    clip->SetSelected(!clip->Selected());
    Changed();
    return;
  }
  if ((shift & ssShift) && FMultiselect) {
    int first = -1, last = -1;
    for (int i = 0; i < Count(); ++i) {
      if (FClips[static_cast<size_t>(i)]->Selected()) {
        if (first < 0) first = i;
        last = i;
      }
    }
    if (first >= 0) {
      const int other = std::abs(c - first) >= std::abs(c - last) ? first : last;
      for (int i = std::min(c, other); i <= std::max(c, other); ++i) FClips[static_cast<size_t>(i)]->SetSelected(true);
      return;
    }
  }
  SelectAlone(clip);
}

bool TClipBox::CanDragClip(const TClipGraphic* clip) const {
  return clip != nullptr && !(MaxClipOverflow() && clip->Used());
}

void TClipBox::StartDrag(TClipGraphic* clip) {
  if (IndexOf(clip) >= 0) clip->SetSelected(true);
}

bool TClipBox::MoveClip(TClipGraphic* dragged, TClipGraphic* target) {
  const int from = IndexOf(dragged);
  const int to = IndexOf(target);
  if (from < 0 || to < 0 || from == to) return false;
  std::unique_ptr<TClipGraphic> moving = std::move(FClips[static_cast<size_t>(from)]);
  FClips.erase(FClips.begin() + from);
  FClips.insert(FClips.begin() + to, std::move(moving));
  FSort = scNone;
  UpdateOrders();
  Changed();
  return true;
}

void TClipBox::SelectAlone(TClipGraphic* clip) {
  for (const auto& c : FClips) c->SetSelected(c.get() == clip);
}

int TClipBox::SelectedCount() const {
  return static_cast<int>(std::count_if(FClips.begin(), FClips.end(), [](const auto& c) { return c->Selected(); }));
}

int TClipBox::UnusedCount() const {
  return static_cast<int>(std::count_if(FClips.begin(), FClips.end(), [](const auto& c) { return !c->Used(); }));
}

void TClipBox::SetSort(TSortClips sort) {
  if (sort < scNone || sort > scTimeLine) return;
  FSort = sort;
  SortClips();
}

void TClipBox::SortClips() {
  if (FSort == scNone) return;
  // Bubble sort: stable, and the lists are short.
  for (size_t n = FClips.size(); n > 1; --n) {
    bool swapped = false;
    for (size_t i = 0; i + 1 < n; ++i) {
      if (ComesAfter(FSort, *FClips[i], *FClips[i + 1])) {
        std::swap(FClips[i], FClips[i + 1]);
        swapped = true;
      }
    }
    if (!swapped) break;
  }
}

void TClipBox::SetClipIconSize(TIconSize size) {
  if (!ValidEnum(size)) return;
  FClipIconSize = size;
  for (const auto& c : FClips) c->SetIconSize(size);
}

void TClipBox::SetClipCountType(TCountType ct) {
  if (!ValidEnum(ct)) return;
  FClipCountType = ct;
  for (const auto& c : FClips) c->SetCountType(ct);
}

void TClipBox::SetClipTimeBase(int fps) {
  if (fps <= 0) return;
  FClipTimeBase = fps;
  for (const auto& c : FClips) c->SetTimeBase(fps);
}

std::string TClipBox::LabelClipItemsText(int maxWidth, int charWidth) const {
  const std::string text = Format("Pozycje: %d", Count());
  if (static_cast<int64_t>(text.size()) * charWidth > maxWidth) return Format("%d", Count());
  return text;
}

void TClipBox::DoubleClick(TClipGraphic* clip) {
  if (clip == nullptr) return;
  if (FileKindOfName(clip->FileShortName()) == fkPte && OnEditPage) OnEditPage(clip->FullFileName());
}

// ---------------------------------------------------------------------------------
// TAnimationBox

void TAnimationBox::SetAnimation(TAVI* animation) {
  if (animation == FAnimation) return;
  FAnimation = animation;
  FStrip.Clear();
  FFrameCount = 0;
  FTimeLength = -1;
}

bool TAnimationBox::SetParams(int frameWidth, int frameHeight, int frameCount, double timeLength, double timeOffset) {
  if (frameWidth <= 0 || frameHeight <= 0 || frameCount <= 0) return false;
  // A strip wider than any picture the program makes is refused.
  if (static_cast<int64_t>(frameWidth) * frameCount > kMaxDibSide || frameHeight > kMaxDibSide) return false;
  if (frameWidth == FFrameWidth && frameHeight == FFrameHeight && frameCount <= FFrameCount &&
      timeLength == FTimeLength && timeOffset == FTimeOffset && !FStrip.Empty()) {
    return false;
  }
  TraceF("[TAnimationBox.SetParams] fTimeOffset: %.3f, fTimeLength = %.3f, fFrameCount = %d, fFrameSize.cx = %d",
         timeOffset, timeLength, frameCount, frameWidth);
  FFrameWidth = frameWidth;
  FFrameHeight = frameHeight;
  FFrameCount = frameCount;
  FTimeLength = timeLength;
  FTimeOffset = timeOffset;
  FStrip.SetSize(frameWidth * frameCount, frameHeight, 24);
  FStrip.Fill(RGBColor(0, 0, 0));
  if (FAnimation == nullptr || !FAnimation->Opened()) return true;
  for (int k = 0; k < frameCount; ++k) {
    FAnimation->SetPositionOfTime(RoundInt(static_cast<long double>(timeOffset) + static_cast<long double>(k) * timeLength));
    if (!FAnimation->Opened()) break;
    const TDIB* frame = FAnimation->DIB();
    if (frame->Empty()) continue;
    FStrip.StretchFrom(*frame, Rect(0, 0, frame->Width(), frame->Height()),
                       Rect(k * frameWidth, 0, (k + 1) * frameWidth, frameHeight));
  }
  return true;
}

TAnimationStrip TAnimationBox::StripFor(int p, int visibleWidth, int thumbWidth, double msPerThumb, double offsetMs) {
  TAnimationStrip s;
  if (thumbWidth <= 0) return s;
  p = std::max(p, 0);
  visibleWidth = std::max(visibleWidth, 0);
  s.Phase = p % thumbWidth;
  s.FrameCount = (visibleWidth + s.Phase + thumbWidth - 1) / thumbWidth;
  s.TimeLength = msPerThumb;
  s.TimeOffset = static_cast<double>((p - s.Phase) / thumbWidth) * msPerThumb + offsetMs;
  return s;
}

}  // namespace movara
