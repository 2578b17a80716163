// TLayerItem: one clip block of the time line.
#include <algorithm>
#include <atomic>
#include <limits>

#include "fx3d/Fx3d.h"
#include "fx3d/FxList.h"
#include "media/AudioZoom.h"
#include "project/ClipBox.h"
#include "project/ClipGraphic.h"
#include "project/Fx3dBitmap.h"
#include "project/Layers.h"
#include "project/ShortCut.h"

namespace movara {

int TimeLinePixelOfFrame(TZoom Zoom, TIconSize IconSize, int Frames) {
  if (!ValidEnum(Zoom) || !ValidEnum(IconSize)) return FrameToPixel(Zoom, IconSize, Frames);
  long double x = static_cast<long double>(IconSizeFactor[IconSize]) * ThumbSize[IconSize].Width /
                  ZoomStep[Zoom][IconSize].Step * Frames;
  if (x >= std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  if (x <= std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  return FrameToPixel(Zoom, IconSize, Frames);
}

namespace {
std::atomic<uint64_t> NextUndoID{1};
}  // namespace

TLayerItem::TLayerItem(TLayerRow* Owner)
    : FParent(Owner), FUndoID(NextUndoID.fetch_add(1, std::memory_order_relaxed)) {}

TLayerItem::~TLayerItem() {
  ReleaseClip();
  if (FLinkSynchronizeItem) {
    TLayerItem* partner = FLinkSynchronizeItem;
    FLinkSynchronizeItem = nullptr;
    if (partner->FLinkSynchronizeItem == this) {
      partner->FLinkSynchronizeItem = nullptr;
      partner->FSynchronizeBoth = false;
    }
  }
  Fire(OnDestroyItem);
}

TLayerBox* TLayerItem::Box() const { return FParent ? FParent->Box() : nullptr; }

void TLayerItem::SetDuration(int Value) {
  if (Value == FDuration || FConstDuration) return;
  if (HasMaxDuration()) {
    int natural = FClip->MaxDuration();
    if (Value > natural) Value = natural;
  }
  if (Value > MaxTimeLineFrames) Value = MaxTimeLineFrames;
  if (Value < 1 || Value == FDuration) return;
  FDuration = Value;
  UpdateRect();
  if (FClip) FClip->SetDuration(FDuration);
  if (FLevelBox) {
    FLevelBox->SetLength(FDuration);
    FLevelBox->SetWidth(Width());
  }
  Fire(OnDuration);
  Fire(OnModified);
  Fire(OnNeedUpdateLayerFx3d);
}

bool TLayerItem::HasMaxDuration() const {
  return FClip && FClip->HasMaxDuration() && FClip->MaxDuration() >= 1;
}

int TLayerItem::MaxDuration() const {
  if (!FClip) return 0;
  return FClip->MaxDuration() - FOffsetFrame;
}

void TLayerItem::SetSelected(bool Value) {
  if (FSelected != Value) {
    FSelected = Value;
    Fire(OnSelectedChange);
  }
  TLayerItem* partner = FLinkSynchronizeItem;
  if (SynchronizeBothItem() && partner->FSelected != Value) partner->SetSelected(Value);
}

TLayerType TLayerItem::LayerType() const { return FParent ? FParent->LayerType() : ltNone; }

TLayerType TLayerItem::MediaType() const { return FMediaType != ltNone ? FMediaType : LayerType(); }

void TLayerItem::SetMediaType(TLayerType Value) {
  if (!ValidEnum(Value)) Value = ltNone;
  if (Value == FMediaType) return;
  FMediaType = Value;
  Fire(OnModified);
}

TClipType TLayerItem::ClipType() const {
  if (FClip) return FClip->ClipType();
  return FUniformColor != ucNone ? ctUniformColor : ctNone;
}

void TLayerItem::SetFx3dID(int32_t Value) {
  FFx3dID = Value;
  Fire(OnModified);
}

std::string TLayerItem::Fx3dName() const {
  TLayerType t = LayerType();
  if (t == ltFx3d) {
    std::string name;
    if (FFx3dID != -1) name = EnsureFxList().DescriptionByID(FFx3dID & ~ReverseFlag);
    return name.empty() ? std::string("Fx3d #???") : name;
  }
  if (t == ltSequence) return ShortCutToText(static_cast<uint32_t>(FFx3dID) & 0xFFFF);
  return "";
}

TLevelBox* TLayerItem::LevelBox() {
  if (!FLevelBox) {
    int level = LayerType() == ltAudio ? 50 : 100;
    FLevelBox = std::make_unique<TLevelBox>(level, 100, 0);
    FLevelBox->ResetLevels();
    FLevelBox->SetLength(FDuration);
    FLevelBox->SetWidth(Width());
    if (FParent) FLevelBox->SetBand(5, FParent->Height() - 4);
  }
  return FLevelBox.get();
}

void TLayerItem::SetShowAnimationBox(bool Value) {
  if (Value == FShowAnimationBox) return;
  FShowAnimationBox = Value;
  Fire(OnModified);
}

TAnimationBox* TLayerItem::AnimationBox() {
  TClipType ct = ClipType();
  if (!FClip || (ct != ctAnimation && ct != ctMovie)) return nullptr;
  if (!FAnimationBox) FAnimationBox = std::make_unique<TAnimationBox>(FClip->Animation());
  return FAnimationBox.get();
}

TAudioBox* TLayerItem::AudioBox() {
  if (LayerType() != ltAudio) return nullptr;
  if (!FAudioBox) {
    FAudioBox = std::make_unique<TAudioBox>();
    FAudioBox->SetAudioZoomReader(FClip ? FClip->AudioZoomReader() : nullptr);
  }
  return FAudioBox.get();
}

const TDIB& TLayerItem::BmpFx3d() {
  TThumbSize size = ThumbSize[IconSize()];
  if (FBmpFx3d.Width() != size.Width || FBmpFx3d.Height() != size.Height) {
    const TDIB& source = Fx3dBitmap();
    FBmpFx3d = source.Stretched(size.Width, size.Height, 24);
  }
  return FBmpFx3d;
}

void TLayerItem::ReleaseClip() {
  // the strips show the clip's AVI and sound: they go with it
  FAnimationBox.reset();
  FAudioBox.reset();
  if (!FClip) return;
  TClipGraphic* old = FClip;
  FClip = nullptr;
  old->RemoveDestroyListener(this);
  // other blocks may still show the clip: it stays used for them
  if (!old->HasDestroyListeners()) {
    old->SetUsed(false);
    old->SetPosition(0);
  }
}

void TLayerItem::SetLinkClipGraphic(TClipGraphic* Clip) {
  if (Clip == FClip) return;
  ReleaseClip();
  if (!Clip) return;
  FClip = Clip;
  Clip->SetUsed(true);
  Clip->SetPosition(FFirstFrame);
  Clip->AddDestroyListener(this, [this] { ClipDestroyed(); });
  if (HasMaxDuration() && Clip->MaxDuration() < FDuration) {
    // a block is never longer than its clip, whatever ConstDuration says
    FDuration = Clip->MaxDuration();
    UpdateRect();
    if (FLevelBox) {
      FLevelBox->SetLength(FDuration);
      FLevelBox->SetWidth(Width());
    }
  }
}

void TLayerItem::ClipDestroyed() {
  TClipGraphic* clip = FClip;
  FClip = nullptr;  // the clip is going: never call back into it
  FAnimationBox.reset();
  FAudioBox.reset();
  TLayerRow* row = FParent;
  if (!row) return;
  if (TLayerBox* box = row->Box()) box->RemoveClipUses(clip, this);
  row->DeleteItem(this);
}

TColor TLayerItem::Color() const { return FParent ? FParent->Color() : clBtnFace; }

TColor TLayerItem::ColorMarked() const { return FParent ? FParent->ColorMarked() : 0x808000; }

void TLayerItem::SetColorKey(TColor Value) {
  if (Value == FColorKey) return;
  FColorKey = Value;
  Fire(OnModified);
}

TComposeMode TLayerItem::ComposeMode() const { return LayerType() == ltImage ? FComposeMode : cmNone; }

void TLayerItem::SetComposeMode(TComposeMode Value) {
  if (!ValidEnum(Value)) Value = cmNone;
  if (Value == FComposeMode) return;
  FComposeMode = Value;
  Fire(OnModified);
}

bool TLayerItem::UseColorKey() const { return FComposeMode != cmNone && LayerType() == ltImage; }

void TLayerItem::SetUniformColor(TUniformColor Value) {
  if (!ValidEnum(Value)) Value = ucNone;
  if (Value == FUniformColor) return;
  FUniformColor = Value;
  Fire(OnModified);
}

void TLayerItem::SetUniformColorValue(TColor Value) {
  if (Value == FUniformColorValue) return;
  FUniformColorValue = Value;
  Fire(OnModified);
}

TZoom TLayerItem::Zoom() const { return FParent ? FParent->Zoom() : zmSixFrames; }

TIconSize TLayerItem::IconSize() const { return FParent ? FParent->IconSize() : isNormal; }

void TLayerItem::SetFirstFrame(int Value) {
  if (Value < 0) Value = 0;
  if (Value > MaxTimeLineFrames) Value = MaxTimeLineFrames;
  if (Value == FFirstFrame) return;
  FFirstFrame = Value;
  UpdateRect();
  if (FClip) FClip->SetPosition(FFirstFrame);
  Fire(OnModified);
  Fire(OnNeedUpdateLayerFx3d);
}

void TLayerItem::SetOffsetFrame(int Value) {
  if (Value < 0) Value = 0;
  if (Value == FOffsetFrame) return;
  FOffsetFrame = Value;
  Fire(OnModified);
}

void TLayerItem::SetLeft(int Value) {
  FRect.Left = Value;
  if (FRect.Right < Value) FRect.Right = Value;
}

void TLayerItem::SetRight(int Value) {
  FRect.Right = Value;
  if (FRect.Left > Value) FRect.Left = Value;
}

void TLayerItem::SetTop(int Value) {
  FRect.Top = Value;
  if (FRect.Bottom < Value) FRect.Bottom = Value;
}

void TLayerItem::SetBottom(int Value) {
  FRect.Bottom = Value;
  if (FRect.Top > Value) FRect.Top = Value;
}

void TLayerItem::UpdateRect() {
  TZoom z = Zoom();
  TIconSize s = IconSize();
  FRect.Left = TimeLinePixelOfFrame(z, s, FFirstFrame);
  FRect.Right = std::max(FRect.Left, TimeLinePixelOfFrame(z, s, LastFrame()));
  FRect.Top = 0;
  FRect.Bottom = FParent ? FParent->BaseHeight() : 0;
  if (FLevelBox) {
    FLevelBox->SetWidth(Width());
    if (FParent) FLevelBox->SetBand(5, FParent->Height() - 4);
  }
}

void TLayerItem::SetLinkSynchronizeItem(TLayerItem* Partner) {
  if (Partner == this) Partner = nullptr;
  TLayerItem* old = FLinkSynchronizeItem;
  if (old == Partner) {
    FSynchronizeBoth = Partner != nullptr;
    if (Partner) Partner->FSynchronizeBoth = true;
    return;
  }
  if (old) {
    old->FSynchronizeBoth = false;
    if (old->FLinkSynchronizeItem == this) old->FLinkSynchronizeItem = nullptr;
  }
  if (Partner && Partner->FLinkSynchronizeItem && Partner->FLinkSynchronizeItem != this) {
    TLayerItem* other = Partner->FLinkSynchronizeItem;
    other->FSynchronizeBoth = false;
    if (other->FLinkSynchronizeItem == Partner) other->FLinkSynchronizeItem = nullptr;
  }
  FLinkSynchronizeItem = Partner;
  FSynchronizeBoth = Partner != nullptr;
  if (Partner) {
    Partner->FLinkSynchronizeItem = this;
    Partner->FSynchronizeBoth = true;
  }
  Fire(OnModified);
}

void TLayerItem::Synchronize() {
  TLayerItem* partner = FLinkSynchronizeItem;
  if (!partner || SynchronizeBothItem()) return;
  FSynchronizeBoth = true;
  partner->FSynchronizeBoth = true;
  if (FSelected && partner->Parent()) partner->SetSelected(true);
  Fire(OnModified);
}

void TLayerItem::Desynchronize() {
  TLayerItem* partner = FLinkSynchronizeItem;
  FSynchronizeBoth = false;
  if (!partner) return;
  partner->FSynchronizeBoth = false;
  partner->SetSelected(false);
  Fire(OnModified);
}

void TLayerItem::Align() {
  TLayerItem* partner = FLinkSynchronizeItem;
  if (!SynchronizeBothItem() || !FParent) return;
  if (partner->FFirstFrame == FFirstFrame && partner->FDuration == FDuration) return;
  FParent->AlignSynchronizeItem(this, partner);
}

}  // namespace movara
