#include "project/UndoHistory.h"

#include <algorithm>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "base/Format.h"
#include "media/AudioZoom.h"
#include "project/ClipBox.h"
#include "project/ClipGraphic.h"
#include "project/Layers.h"

namespace movara {

// What a block is, as far as the film and the project file see it. Selection, the
// clipboard mark and the pictures made from the clip are not part of it.
struct TUndoHistory::TItemState {
  uint64_t ID = 0;
  uint64_t Partner = 0;  // 0: none
  TClipGraphic* Clip = nullptr;
  int32_t FirstFrame = 0;
  int32_t Duration = 0;
  int32_t OffsetFrame = 0;
  int32_t Fx3dID = -1;
  int32_t YUVLo = 0;
  int32_t YUVHi = 0;
  int32_t Speed = 100;
  TColor ColorKey = 0;
  TColor UniformColorValue = 0;
  uint8_t Row = lnNone;
  uint8_t MediaType = ltNone;
  uint8_t ComposeMode = cmNone;
  uint8_t UniformColor = ucNone;
  bool ConstDuration = false;
  bool SynchronizeBoth = false;
  bool ShowAnimationBox = false;
  bool HasLevels = false;
  int32_t LevelDefault = 100;
  int32_t LevelLength = 1;
  uint32_t Seen = 0;  // the scan that last met the block (kept state only)
  std::vector<std::pair<int32_t, int32_t>> Levels;  // every point: frame, level
};

namespace {

// Settings of the box that an edit changes.
struct TBoxProps {
  int32_t DefaultFx3dID = 0;
  bool FirstLayerDoKey = false;
  bool operator==(const TBoxProps&) const = default;
};

struct TChange {
  std::optional<TUndoHistory::TItemState> Before;
  std::optional<TUndoHistory::TItemState> After;
};

uint64_t PartnerID(const TLayerItem* Item) {
  const TLayerItem* p = Item->LinkSynchronizeItem();
  return p ? p->UndoID() : 0;
}

bool SameLevels(const TUndoHistory::TItemState& S, const TLevelBox* L) {
  if (!L) return !S.HasLevels;
  if (!S.HasLevels || S.LevelDefault != L->DefaultLevel() || S.LevelLength != L->LengthFrames() ||
      static_cast<int>(S.Levels.size()) != L->Count())
    return false;
  for (int k = 0; k < L->Count(); ++k) {
    const TLevelItem* p = L->Points(k);
    if (S.Levels[static_cast<size_t>(k)].first != p->Frame || S.Levels[static_cast<size_t>(k)].second != p->Level)
      return false;
  }
  return true;
}

// Kinds of difference, for the step's name.
enum TDiffKind : unsigned {
  dkPosition = 1,
  dkLength = 2,
  dkLevels = 4,
  dkFx = 8,
  dkColor = 16,
  dkKey = 32,
  dkLink = 64,
  dkOther = 128,
};

unsigned DiffKinds(const TUndoHistory::TItemState& A, const TUndoHistory::TItemState& B) {
  unsigned k = 0;
  if (A.FirstFrame != B.FirstFrame || A.Row != B.Row) k |= dkPosition;
  if (A.Duration != B.Duration || A.OffsetFrame != B.OffsetFrame) k |= dkLength;
  if (A.HasLevels != B.HasLevels || A.Levels != B.Levels || A.LevelDefault != B.LevelDefault) k |= dkLevels;
  if (A.Fx3dID != B.Fx3dID) k |= dkFx;
  if (A.UniformColor != B.UniformColor || A.UniformColorValue != B.UniformColorValue) k |= dkColor;
  if (A.ColorKey != B.ColorKey || A.ComposeMode != B.ComposeMode || A.YUVLo != B.YUVLo || A.YUVHi != B.YUVHi)
    k |= dkKey;
  if (A.Partner != B.Partner || A.SynchronizeBoth != B.SynchronizeBoth) k |= dkLink;
  if (A.Clip != B.Clip || A.MediaType != B.MediaType || A.ConstDuration != B.ConstDuration || A.Speed != B.Speed ||
      A.ShowAnimationBox != B.ShowAnimationBox)
    k |= dkOther;
  // a level envelope follows the length of its block
  if ((k & dkLength) && A.HasLevels == B.HasLevels) k &= ~static_cast<unsigned>(dkLevels);
  return k;
}

const char* Plural(int n, const char* one, const char* many) { return n == 1 ? one : many; }

}  // namespace

struct TUndoHistory::TStep {
  std::string Name;
  std::vector<TChange> Changes;
  TBoxProps Before, After;
};

struct TUndoHistory::TImpl {
  std::unordered_map<uint64_t, TItemState> Base;
  TBoxProps BaseProps;
  uint32_t Serial = 0;
  std::unordered_set<TClipGraphic*> Watched;
};

namespace {

void Capture(const TLayerItem* Item, TUndoHistory::TItemState& S) {
  S.ID = Item->UndoID();
  S.Partner = PartnerID(Item);
  S.Clip = Item->LinkClipGraphic();
  S.FirstFrame = Item->FirstFrame();
  S.Duration = Item->Duration();
  S.OffsetFrame = Item->OffsetFrame();
  S.Fx3dID = Item->Fx3dID();
  S.YUVLo = Item->YUVLo();
  S.YUVHi = Item->YUVHi();
  S.Speed = Item->Speed();
  S.ColorKey = Item->ColorKey();
  S.UniformColorValue = Item->UniformColorValue();
  S.Row = static_cast<uint8_t>(Item->Parent()->LayerNumber());
  S.MediaType = static_cast<uint8_t>(Item->StoredMediaType());
  S.ComposeMode = static_cast<uint8_t>(Item->StoredComposeMode());
  S.UniformColor = static_cast<uint8_t>(Item->UniformColor());
  S.ConstDuration = Item->ConstDuration();
  S.SynchronizeBoth = Item->SynchronizeBothItem();
  S.ShowAnimationBox = Item->ShowAnimationBox();
  const TLevelBox* L = Item->LevelBoxIfAny();
  S.HasLevels = L != nullptr;
  S.Levels.clear();
  if (L) {
    S.LevelDefault = L->DefaultLevel();
    S.LevelLength = L->LengthFrames();
    S.Levels.reserve(static_cast<size_t>(L->Count()));
    for (int k = 0; k < L->Count(); ++k) S.Levels.emplace_back(L->Points(k)->Frame, L->Points(k)->Level);
  } else {
    S.LevelDefault = 100;
    S.LevelLength = 1;
  }
}

bool Same(const TUndoHistory::TItemState& S, const TLayerItem* Item) {
  return S.FirstFrame == Item->FirstFrame() && S.Duration == Item->Duration() &&
         S.Row == static_cast<uint8_t>(Item->Parent()->LayerNumber()) && S.OffsetFrame == Item->OffsetFrame() &&
         S.Fx3dID == Item->Fx3dID() && S.Clip == Item->LinkClipGraphic() && S.Partner == PartnerID(Item) &&
         S.SynchronizeBoth == Item->SynchronizeBothItem() && S.YUVLo == Item->YUVLo() && S.YUVHi == Item->YUVHi() &&
         S.Speed == Item->Speed() && S.ColorKey == Item->ColorKey() && S.UniformColorValue == Item->UniformColorValue() &&
         S.MediaType == static_cast<uint8_t>(Item->StoredMediaType()) &&
         S.ComposeMode == static_cast<uint8_t>(Item->StoredComposeMode()) &&
         S.UniformColor == static_cast<uint8_t>(Item->UniformColor()) && S.ConstDuration == Item->ConstDuration() &&
         S.ShowAnimationBox == Item->ShowAnimationBox() && SameLevels(S, Item->LevelBoxIfAny());
}

TBoxProps PropsOf(const TLayerBox& Box) { return {Box.DefaultFx3dID(), Box.FirstLayerDoKey()}; }

size_t StateBytes(const TUndoHistory::TItemState& S) {
  return sizeof S + S.Levels.capacity() * sizeof(S.Levels[0]);
}

// A name for what a step changed, for the Undo and Redo commands.
std::string NameOf(const std::vector<TChange>& Changes, const TBoxProps& Before, const TBoxProps& After) {
  int modified = 0, fxChanged = 0, seqChanged = 0;
  unsigned kinds = 0;
  bool onlyRange = true, linked = false, unlinked = false, any = false;
  // blocks that came, went or moved, each with its partner (a pair counts once)
  std::vector<std::pair<uint64_t, uint64_t>> added, removed, moved;
  for (const TChange& c : Changes) {
    const TUndoHistory::TItemState& s = c.After ? *c.After : *c.Before;
    // the transition row follows rows A and B; it names a step only alone
    if (s.Row == lnFirstFx3d && (!c.Before || !c.After || DiffKinds(*c.Before, *c.After) != dkFx)) continue;
    any = true;
    if (s.Row != lnRange) onlyRange = false;
    if (!c.Before) {
      added.emplace_back(s.ID, s.Partner);
      continue;
    }
    if (!c.After) {
      removed.emplace_back(s.ID, s.Partner);
      continue;
    }
    ++modified;
    const unsigned k = DiffKinds(*c.Before, *c.After);
    kinds |= k;
    if (k & dkPosition) moved.emplace_back(s.ID, s.Partner);
    if (k & dkFx) (s.Row == lnSequence ? seqChanged : fxChanged)++;
    if (k & dkLink) {
      if (c.After->Partner != 0 && (c.Before->Partner == 0 || !c.Before->SynchronizeBoth) && c.After->SynchronizeBoth)
        linked = true;
      else
        unlinked = true;
    }
  }
  auto count = [](const std::vector<std::pair<uint64_t, uint64_t>>& v) {
    std::unordered_set<uint64_t> ids;
    for (const auto& e : v) ids.insert(e.first);
    int n = 0;
    for (const auto& [id, partner] : v)
      if (partner == 0 || id < partner || ids.count(partner) == 0) ++n;
    return n;
  };
  const int nAdded = count(added), nRemoved = count(removed), nMoved = count(moved);
  if (!any) {
    if (Before.FirstLayerDoKey != After.FirstLayerDoKey) return "klucz na pierwszej warstwie";
    if (Before.DefaultFx3dID != After.DefaultFx3dID) return "wybór efektu przejścia";
    return "zmiana projektu";
  }
  if (onlyRange) return "zmiana zakresu";
  if (nRemoved > 0 && nAdded == 0 && (kinds & ~static_cast<unsigned>(dkLink)) == 0)
    return Plural(nRemoved, "usunięcie bloczka", "usunięcie bloczków");
  if (nAdded > 0 && nRemoved == 0) {
    // a cut shortens a block and puts the rest beside it
    if (modified > 0 && (kinds & ~static_cast<unsigned>(dkLength | dkLink | dkLevels)) == 0) return "cięcie bloczka";
    return Plural(nAdded, "wstawienie bloczka", "wstawienie bloczków");
  }
  if (nAdded == 0 && nRemoved == 0) {
    if (kinds == dkLevels) return "zmiana obwiedni głośności";
    if (kinds == dkFx) {
      if (seqChanged > 0 && fxChanged == 0) return "zmiana skrótu sekwencji";
      return fxChanged > 1 ? "losowe efekty przejść" : "wybór efektu przejścia";
    }
    if (kinds & dkLink) return linked && !unlinked ? "połączenie obrazu i dźwięku" : "rozłączenie obrazu i dźwięku";
    if (kinds == dkPosition) return Plural(nMoved, "przesunięcie bloczka", "przesunięcie bloczków");
    if ((kinds & ~static_cast<unsigned>(dkPosition | dkLevels)) == dkLength) return "zmiana długości bloczka";
    if ((kinds & ~static_cast<unsigned>(dkColor | dkOther)) == 0 && (kinds & dkColor)) return "zmiana koloru";
    if ((kinds & ~static_cast<unsigned>(dkKey | dkOther)) == 0 && (kinds & dkKey)) return "ustawienie klucza koloru";
  }
  return "zmiana bloczków";
}

}  // namespace

TUndoHistory::TUndoHistory(TLayerBox& Box, int Limit)
    : FBox(Box), FLimit(std::max(1, Limit)), FImpl(std::make_unique<TImpl>()) {
  Clear();
}

TUndoHistory::~TUndoHistory() { UnwatchClips(); }

void TUndoHistory::WatchClip(TClipGraphic* Clip) {
  if (!Clip || !FImpl->Watched.insert(Clip).second) return;
  Clip->AddDestroyWatcher(this, [this, Clip] {
    FImpl->Watched.erase(Clip);
    ClipGoing();
  });
}

void TUndoHistory::UnwatchClips() {
  for (TClipGraphic* c : FImpl->Watched) c->RemoveDestroyWatcher(this);
  FImpl->Watched.clear();
}

void TUndoHistory::ClipGoing() {
  // a recorded block would come back showing a freed clip: every step goes at the next
  // occasion (the time line is being changed right now)
  if (FStale) return;
  FStale = true;
  Changed();
}

void TUndoHistory::Clear() {
  UnwatchClips();
  FSteps.clear();
  FPosition = 0;
  FSavedPosition = FBox.Modified() ? -1 : 0;
  FNextName.clear();
  FStale = false;
  auto& base = FImpl->Base;
  base.clear();
  base.reserve(static_cast<size_t>(FBox.TotalItemCount()) + 16);
  for (int r = 0; r < FBox.RowCount(); ++r) {
    const TLayerRow* row = FBox.Rows(r);
    for (int i = 0; i < row->ItemCount(); ++i) {
      const TLayerItem* it = row->Items(i);
      TItemState& s = base[it->UndoID()];
      Capture(it, s);
      s.Seen = FImpl->Serial;
      WatchClip(s.Clip);
    }
  }
  FImpl->BaseProps = PropsOf(FBox);
  Changed();
}

bool TUndoHistory::GestureActive() const {
  if (FBox.CaptureRow() != nullptr) return true;
  for (int r = 0; r < FBox.RowCount(); ++r)
    if (FBox.Rows(r)->GestureActive()) return true;
  return false;
}

bool TUndoHistory::Commit() {
  if (FApplying || GestureActive()) return false;
  if (FStale) {
    Clear();
    return false;
  }
  auto& base = FImpl->Base;
  const uint32_t serial = ++FImpl->Serial;
  auto step = std::make_unique<TStep>();
  size_t seen = 0;
  for (int r = 0; r < FBox.RowCount(); ++r) {
    const TLayerRow* row = FBox.Rows(r);
    for (int i = 0; i < row->ItemCount(); ++i) {
      const TLayerItem* it = row->Items(i);
      auto found = base.find(it->UndoID());
      if (found == base.end()) {
        TChange c;
        c.After.emplace();
        Capture(it, *c.After);
        step->Changes.push_back(std::move(c));
        continue;
      }
      ++seen;
      found->second.Seen = serial;
      if (Same(found->second, it)) continue;
      TChange c;
      c.Before = found->second;
      c.After.emplace();
      Capture(it, *c.After);
      step->Changes.push_back(std::move(c));
    }
  }
  if (seen != base.size()) {
    for (auto& [id, s] : base)
      if (s.Seen != serial) {
        TChange c;
        c.Before = s;
        step->Changes.push_back(std::move(c));
      }
  }
  step->Before = FImpl->BaseProps;
  step->After = PropsOf(FBox);
  std::string hint = std::move(FNextName);
  FNextName.clear();
  if (step->Changes.empty() && step->Before == step->After) return false;

  // the kept state moves on to the end of this step
  for (TChange& c : step->Changes) {
    if (c.After) {
      TItemState& s = base[c.After->ID];
      s = *c.After;
      s.Seen = serial;
      WatchClip(s.Clip);
    } else {
      base.erase(c.Before->ID);
    }
  }
  FImpl->BaseProps = step->After;
  step->Name = hint.empty() ? NameOf(step->Changes, step->Before, step->After) : hint;
  step->Changes.shrink_to_fit();

  if (FPosition < static_cast<int>(FSteps.size())) {
    FSteps.erase(FSteps.begin() + FPosition, FSteps.end());
    if (FSavedPosition > FPosition) FSavedPosition = -1;
  }
  FSteps.push_back(std::move(step));
  ++FPosition;
  if (static_cast<int>(FSteps.size()) > FLimit) {
    FSteps.erase(FSteps.begin());
    --FPosition;
    if (FSavedPosition >= 0) --FSavedPosition;
  }
  Changed();
  return true;
}

bool TUndoHistory::CanUndo() const { return !FStale && (FPosition > 0); }
bool TUndoHistory::CanRedo() const { return !FStale && FPosition < static_cast<int>(FSteps.size()); }

std::string TUndoHistory::UndoName() const { return CanUndo() ? FSteps[static_cast<size_t>(FPosition - 1)]->Name : ""; }
std::string TUndoHistory::RedoName() const { return CanRedo() ? FSteps[static_cast<size_t>(FPosition)]->Name : ""; }

std::string TUndoHistory::UndoText() const {
  return CanUndo() ? Format("Cofnij: %s", UndoName().c_str()) : std::string("Cofnij");
}
std::string TUndoHistory::RedoText() const {
  return CanRedo() ? Format("Ponów: %s", RedoName().c_str()) : std::string("Ponów");
}

bool TUndoHistory::Undo() {
  if (FApplying || GestureActive()) return false;
  Commit();
  if (!CanUndo()) return false;
  --FPosition;
  Apply(*FSteps[static_cast<size_t>(FPosition)], false);
  return true;
}

bool TUndoHistory::Redo() {
  if (FApplying || GestureActive()) return false;
  // an edit made after an undo starts a new branch: nothing is left to redo
  Commit();
  if (!CanRedo()) return false;
  ++FPosition;
  Apply(*FSteps[static_cast<size_t>(FPosition - 1)], true);
  return true;
}

void TUndoHistory::MarkSaved() {
  Commit();
  FSavedPosition = FPosition;
}

void TUndoHistory::Changed() {
  ++FSerial;
  if (OnChange) OnChange(this);
}

void TUndoHistory::Apply(const TStep& Step, bool Forward) {
  FApplying = true;
  auto& base = FImpl->Base;
  std::vector<TLayerRow*> touched;
  auto touch = [&touched](TLayerRow* r) {
    if (std::find(touched.begin(), touched.end(), r) == touched.end()) touched.push_back(r);
  };
  {
    // the rules of editing stay out of it (no transition row rebuilt, no overlaps
    // corrected): every block takes its recorded state
    TLayerBox::TStateScope loading(&FBox, bsLoadingItems);

    // the blocks of the step and their partners, found in one pass
    std::unordered_map<uint64_t, TLayerItem*> live;
    live.reserve(Step.Changes.size() * 3);
    for (const TChange& c : Step.Changes) {
      live.emplace((c.Before ? c.Before->ID : c.After->ID), nullptr);
      const auto& target = Forward ? c.After : c.Before;
      if (target && target->Partner) live.emplace(target->Partner, nullptr);
    }
    for (int r = 0; r < FBox.RowCount(); ++r) {
      TLayerRow* row = FBox.Rows(r);
      for (int i = 0; i < row->ItemCount(); ++i) {
        auto f = live.find(row->Items(i)->UndoID());
        if (f != live.end()) f->second = row->Items(i);
      }
    }

    for (const TChange& c : Step.Changes) {
      const auto& target = Forward ? c.After : c.Before;
      if (target) continue;
      const uint64_t id = c.Before ? c.Before->ID : c.After->ID;
      TLayerItem* item = live[id];
      if (!item) continue;
      TLayerRow* row = item->Parent();
      touch(row);
      std::unique_ptr<TLayerItem> owned = row->DetachItem(item);
      live[id] = nullptr;
      owned.reset();
    }

    for (const TChange& c : Step.Changes) {
      const auto& target = Forward ? c.After : c.Before;
      if (!target) continue;
      const TItemState& s = *target;
      TLayerRow* row = FBox.RowByNumber(static_cast<TLayerNumber>(s.Row));
      if (!row) continue;
      TLayerItem*& item = live[s.ID];
      std::unique_ptr<TLayerItem> owned;
      if (!item) {
        owned = std::make_unique<TLayerItem>(nullptr);
        owned->FUndoID = s.ID;
      } else if (item->Parent() != row) {
        touch(item->Parent());
        owned = item->Parent()->DetachItem(item);
      }
      TLayerItem* it = owned ? owned.get() : item;
      if (it->LinkClipGraphic() != s.Clip) it->SetLinkClipGraphic(s.Clip);
      it->FAnimationBox.reset();
      it->FAudioBox.reset();
      it->FBmpFx3d = TDIB();
      it->FFirstFrame = s.FirstFrame;
      it->FDuration = s.Duration;
      it->FOffsetFrame = s.OffsetFrame;
      it->FFx3dID = s.Fx3dID;
      it->FYUVLo = s.YUVLo;
      it->FYUVHi = s.YUVHi;
      it->FSpeed = s.Speed;
      it->FColorKey = s.ColorKey;
      it->FUniformColorValue = s.UniformColorValue;
      it->FMediaType = static_cast<TLayerType>(s.MediaType);
      it->FComposeMode = static_cast<TComposeMode>(s.ComposeMode);
      it->FUniformColor = static_cast<TUniformColor>(s.UniformColor);
      it->FConstDuration = s.ConstDuration;
      it->FShowAnimationBox = s.ShowAnimationBox;
      if (s.Clip) s.Clip->SetPosition(s.FirstFrame);
      if (owned) item = row->AttachItem(std::move(owned));
      touch(row);
    }
    for (TLayerRow* r : touched) {
      r->SortItems();
      r->RelinkAll();
    }

    // links, envelopes and rectangles once every block is in place
    for (const TChange& c : Step.Changes) {
      const auto& target = Forward ? c.After : c.Before;
      if (!target) continue;
      const TItemState& s = *target;
      TLayerItem* it = live[s.ID];
      if (!it) continue;
      TLayerItem* partner = s.Partner ? live[s.Partner] : nullptr;
      it->FLinkSynchronizeItem = partner;
      it->FSynchronizeBoth = s.SynchronizeBoth;
      if (!s.HasLevels) {
        it->FreeLevelBox();
      } else {
        TLevelBox* L = it->LevelBox();
        L->FDefaultLevel = s.LevelDefault;
        L->FLengthFrames = s.LevelLength;
        L->FInner.clear();
        const size_t n = s.Levels.size();
        for (size_t k = 0; k < n; ++k) {
          TLevelItem* p;
          if (k == 0) {
            p = L->FStart.get();
          } else if (k + 1 == n) {
            p = L->FEnd.get();
          } else {
            L->FInner.push_back(std::make_unique<TLevelItem>(L));
            p = L->FInner.back().get();
          }
          p->Frame = s.Levels[k].first;
          p->Level = s.Levels[k].second;
          p->Marked = false;
        }
      }
      it->UpdateRect();
    }
    const TBoxProps& props = Forward ? Step.After : Step.Before;
    FBox.FDefaultFx3dID = props.DefaultFx3dID;
    FBox.FFirstLayerDoKey = props.FirstLayerDoKey;
    FBox.FPasteValid = false;

    for (const TChange& c : Step.Changes) {
      const auto& target = Forward ? c.After : c.Before;
      if (target) {
        TItemState& s = base[target->ID];
        s = *target;
        s.Seen = FImpl->Serial;
      } else {
        base.erase(c.Before ? c.Before->ID : c.After->ID);
      }
    }
    FImpl->BaseProps = props;
  }
  FApplying = false;
  for (TLayerRow* r : touched) FBox.RowModified(r);
  FBox.UpdateScrollBar();
  FBox.FMarchingTimer = FBox.SelectedLayerItemCount() > 0;
  if (FBox.OnSelected) FBox.OnSelected(&FBox);
  FBox.SetModified(FPosition != FSavedPosition);
  FBox.Repaint(nullptr);
  Changed();
}

size_t TUndoHistory::StepBytes() const {
  size_t n = FSteps.capacity() * sizeof(FSteps[0]);
  for (const auto& s : FSteps) {
    n += sizeof(TStep) + s->Name.capacity() + s->Changes.capacity() * sizeof(TChange);
    for (const TChange& c : s->Changes) {
      if (c.Before) n += c.Before->Levels.capacity() * sizeof(c.Before->Levels[0]);
      if (c.After) n += c.After->Levels.capacity() * sizeof(c.After->Levels[0]);
    }
  }
  return n;
}

size_t TUndoHistory::BaseBytes() const {
  const auto& base = FImpl->Base;
  size_t n = base.bucket_count() * sizeof(void*);
  for (const auto& [id, s] : base) n += StateBytes(s) + sizeof(void*) + sizeof(id);
  return n;
}

}  // namespace movara
