#pragma once
// Layers: the project's time line. A TLayerBox owns nine fixed TLayerRow rows; each
// row owns its TLayerItem clip blocks, kept sorted by first frame and free of overlaps.
// Positions and lengths are frames; pixels come from FrameToPixel at the box's zoom and
// icon size. The editing operations of one row (insertion, overlap correction, moving,
// resizing with snapping, the razor, selection) live on the row; those that span rows
// (moving a selection, copy and paste, deleting, the transition row derived from the
// overlaps of video rows A and B) on the box. Mouse gestures are plain calls with row
// pixel positions, buttons and modifier keys; drawing belongs to the windows.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/MouseInput.h"
#include "base/Exceptions.h"
#include "project/ItemList.h"
#include "project/LevelBox.h"
#include "project/RangeList.h"
#include "project/ScaleGraphic.h"
#include "project/VfxData.h"

namespace movara {

MOVARA_EXCEPTION(ELayerBox);

class TAnimationBox;
class TAudioBox;
class TClipGraphic;
class TLayerItem;
class TLayerRow;
class TLayerBox;

// System colours (top bit set) used by the rows.
inline constexpr TColor clBtnFace = 0x8000000F;
inline constexpr TColor clBtnShadow = 0x80000010;

// The effect new transition blocks get until the user chooses one.
inline constexpr int32_t InitialDefaultFx3dID = 257;

// The tool of the time line: the pointer, or the razor after the cut command (one cut).
enum TTimeLineTool { ttPointer, ttRazor };

// The end of a block that a resize gesture moves.
enum TItemEdge { ieNone = 0, ieLeft = 1, ieRight = 2 };

// Keys the project window hands to the box.
enum TTimeLineKey { tkEscape, tkLeft, tkRight, tkDelete, tkAdd, tkSubtract, tkOther };

// A set of layer types (bit = 1 << ordinal).
using TLayerTypes = unsigned;
constexpr TLayerTypes LayerTypeBit(TLayerType t) { return 1u << static_cast<unsigned>(t); }
constexpr bool InLayerTypes(TLayerType t, TLayerTypes set) { return (set & LayerTypeBit(t)) != 0; }

// What is dragged over a row.
struct TDragSource {
  enum TKind { dkNone, dkClip, dkClipPart, dkLayerBox, dkLayerItem, dkRazor };
  TKind Kind = dkNone;
  TClipGraphic* Clip = nullptr;        // dkClip
  const TClipDragger* Part = nullptr;  // dkClipPart
  TLayerBox* Box = nullptr;            // dkLayerBox (a paste)
  TLayerItem* Item = nullptr;          // dkLayerItem

  static TDragSource FromClip(TClipGraphic* c) { return {dkClip, c, nullptr, nullptr, nullptr}; }
  static TDragSource FromPart(const TClipDragger* p) { return {dkClipPart, nullptr, p, nullptr, nullptr}; }
  static TDragSource FromBox(TLayerBox* b) { return {dkLayerBox, nullptr, nullptr, b, nullptr}; }
  static TDragSource FromItem(TLayerItem* i) { return {dkLayerItem, nullptr, nullptr, nullptr, i}; }
  static TDragSource Razor() { return {dkRazor, nullptr, nullptr, nullptr, nullptr}; }
};

// Largest first frame or length a block takes: sums of two stay within int32.
inline constexpr int MaxTimeLineFrames = 1000000000;

// FrameToPixel for time-line positions: the same value, saturated at the int range
// instead of failing for positions far beyond any view.
int TimeLinePixelOfFrame(TZoom Zoom, TIconSize IconSize, int Frames);

// ---------------------------------------------------------------------------------
// TLayerItem: one clip block.

class TLayerItem {
 public:
  using TItemEvent = std::function<void(TLayerItem*)>;

  // The parent is set only when the owner is a row; the row inserts the block itself.
  explicit TLayerItem(TLayerRow* Owner = nullptr);
  ~TLayerItem();
  TLayerItem(const TLayerItem&) = delete;
  TLayerItem& operator=(const TLayerItem&) = delete;

  TLayerRow* Parent() const { return FParent; }
  TLayerBox* Box() const;

  int Duration() const { return FDuration; }
  // Ignored when equal, while ConstDuration, or below 1; capped by the clip's natural
  // length (OffsetFrame not deducted).
  void SetDuration(int Value);
  bool ConstDuration() const { return FConstDuration; }
  void SetConstDuration(bool Value) { FConstDuration = Value; }
  bool HasMaxDuration() const;
  // The clip's natural length less OffsetFrame; 0 without a clip.
  int MaxDuration() const;
  int MaxLastFrame() const { return FFirstFrame + MaxDuration(); }

  bool Selected() const { return FSelected; }
  // On a synchronised block the partner follows.
  void SetSelected(bool Value);
  bool InClipboard() const { return FInClipboard; }
  void SetInClipboard(bool Value) { FInClipboard = Value; }

  TLayerItem* NextItem() const { return FNextItem; }
  TLayerItem* PrevItem() const { return FPrevItem; }

  // The row's type; ltNone without a row.
  TLayerType LayerType() const;
  // The stored media type, else the row's type.
  TLayerType MediaType() const;
  TLayerType StoredMediaType() const { return FMediaType; }
  void SetMediaType(TLayerType Value);
  TClipType ClipType() const;

  int32_t Fx3dID() const { return FFx3dID; }
  void SetFx3dID(int32_t Value);
  // Transition blocks: the effect's name or "Fx3d #???"; sequence blocks: the text of
  // the shortcut; else empty.
  std::string Fx3dName() const;

  // The envelope, created on first use (level 50 on sound rows, 100 elsewhere).
  TLevelBox* LevelBox();
  TLevelBox* LevelBoxIfAny() const { return FLevelBox.get(); }
  // Drops the envelope (a copied block starts without one).
  void FreeLevelBox() { FLevelBox.reset(); }

  bool ShowAnimationBox() const { return FShowAnimationBox; }
  void SetShowAnimationBox(bool Value);
  // The strip of frames of an animation or movie block, made on first use; nullptr
  // for other blocks.
  TAnimationBox* AnimationBox();
  // The waveform of a block on a sound row, made on first use from the clip's waveform
  // cache; nullptr on other rows.
  TAudioBox* AudioBox();
  // The effect picture of a transition block at the thumbnail size, made on first use
  // (again when the icon size changed).
  const TDIB& BmpFx3d();

  TClipGraphic* LinkClipGraphic() const { return FClip; }
  void SetLinkClipGraphic(TClipGraphic* Clip);

  // The row's colours (button face and 0x808000 without a row).
  TColor Color() const;
  TColor ColorMarked() const;

  TColor ColorKey() const { return FColorKey; }
  void SetColorKey(TColor Value);
  // cmNone unless the block lies on an ltImage row.
  TComposeMode ComposeMode() const;
  TComposeMode StoredComposeMode() const { return FComposeMode; }
  void SetComposeMode(TComposeMode Value);
  bool UseColorKey() const;
  TUniformColor UniformColor() const { return FUniformColor; }
  void SetUniformColor(TUniformColor Value);
  TColor UniformColorValue() const { return FUniformColorValue; }
  void SetUniformColorValue(TColor Value);
  int32_t YUVLo() const { return FYUVLo; }
  void SetYUVLo(int32_t Value) { FYUVLo = Value; }
  int32_t YUVHi() const { return FYUVHi; }
  void SetYUVHi(int32_t Value) { FYUVHi = Value; }
  int32_t Speed() const { return FSpeed; }
  void SetSpeed(int32_t Value) { FSpeed = Value; }

  // The row's; zmSixFrames and isNormal without a row.
  TZoom Zoom() const;
  TIconSize IconSize() const;

  int FirstFrame() const { return FFirstFrame; }
  // Below 0 becomes 0.
  void SetFirstFrame(int Value);
  int LastFrame() const { return FFirstFrame + FDuration; }
  int OffsetFrame() const { return FOffsetFrame; }
  void SetOffsetFrame(int Value);

  // The rectangle on the row in time-line pixels (row coordinates vertically).
  int Left() const { return FRect.Left; }
  int Right() const { return FRect.Right; }
  int Top() const { return FRect.Top; }
  int Bottom() const { return FRect.Bottom; }
  int Width() const { return FRect.Right - FRect.Left; }
  int Height() const { return FRect.Bottom - FRect.Top; }
  // Each keeps Left <= Right and Top <= Bottom by pushing the other side along.
  void SetLeft(int Value);
  void SetRight(int Value);
  void SetTop(int Value);
  void SetBottom(int Value);
  // Recomputes the rectangle from the frames and the row's height.
  void UpdateRect();

  bool Checked() const { return FChecked; }
  void SetChecked(bool Value) { FChecked = Value; }

  TLayerItem* LinkSynchronizeItem() const { return FLinkSynchronizeItem; }
  // Links both ways: the new partner names this block, an old partner is let go.
  void SetLinkSynchronizeItem(TLayerItem* Partner);
  // True only while a partner is set.
  bool SynchronizeBothItem() const { return FSynchronizeBoth && FLinkSynchronizeItem != nullptr; }
  void SetSynchronizeBothItem(bool Value) { FSynchronizeBoth = Value; }
  void Synchronize();
  void Desynchronize();
  // Aligns a synchronised pair that differs in start or length.
  void Align();

  // [a, b) frames / pixels tests.
  bool SpansFrames(int A, int B) const { return FFirstFrame < B && A < LastFrame(); }
  bool SpansPixels(int A, int B) const { return FRect.Left < B && FRect.Right >= A; }

  TItemEvent OnDuration;
  TItemEvent OnDestroyItem;
  TItemEvent OnModified;
  TItemEvent OnNeedUpdateLayerFx3d;
  TItemEvent OnNeedShow;
  TItemEvent OnSelectedChange;

 private:
  friend class TLayerRow;
  friend class TLayerBox;
  void ReleaseClip();
  void ClipDestroyed();
  void Fire(const TItemEvent& e) {
    if (e) e(this);
  }

  TLayerRow* FParent = nullptr;
  int FDuration = 25;
  bool FConstDuration = false;
  bool FSelected = false;
  bool FInClipboard = false;
  TLayerItem* FNextItem = nullptr;
  TLayerItem* FPrevItem = nullptr;
  TLayerType FMediaType = ltNone;
  int32_t FFx3dID = -1;
  std::unique_ptr<TLevelBox> FLevelBox;
  bool FShowAnimationBox = false;
  std::unique_ptr<TAnimationBox> FAnimationBox;
  std::unique_ptr<TAudioBox> FAudioBox;
  TDIB FBmpFx3d;
  TClipGraphic* FClip = nullptr;
  TColor FColorKey = clBtnFace;
  TComposeMode FComposeMode = cmNone;
  TUniformColor FUniformColor = ucNone;
  TColor FUniformColorValue = 0;
  int32_t FYUVLo = 0;
  int32_t FYUVHi = 0;
  int32_t FSpeed = 100;
  int FFirstFrame = 0;
  int FOffsetFrame = 0;
  TRect FRect;
  bool FChecked = false;
  TLayerItem* FLinkSynchronizeItem = nullptr;
  bool FSynchronizeBoth = false;
};

// The attributes a copy takes from its source (paste and razor); its length, clip and
// envelope are its own.
void CopyItemAttributes(const TLayerItem* From, TLayerItem* To);

// ---------------------------------------------------------------------------------
// TLayerRow: one row of the time line and the editing of its blocks.

class TLayerRow {
 public:
  using TRowEvent = std::function<void(TLayerRow*)>;
  using TRowItemEvent = std::function<void(TLayerRow*, TLayerItem*)>;
  using TResizingEvent = std::function<void(TLayerRow*, int Pixel)>;

  // A row outside a box passes Box = nullptr.
  TLayerRow(TLayerBox* Box, TLayerType LayerType, TLayerNumber LayerNumber);
  ~TLayerRow();
  TLayerRow(const TLayerRow&) = delete;
  TLayerRow& operator=(const TLayerRow&) = delete;

  TLayerBox* Box() const { return FBox; }

  // ---- properties
  TColor Color() const { return FColor; }
  void SetColor(TColor c) { FColor = c; }
  TColor ColorMarked() const { return FColorMarked; }
  void SetColorMarked(TColor c) { FColorMarked = c; }
  bool DrawCrossIf() const { return FDrawCrossIf; }
  void SetDrawCrossIf(bool b) { FDrawCrossIf = b; }
  TLayerStyle Style() const { return FStyle; }
  void SetStyle(TLayerStyle s) { FStyle = s; }
  TIconSize IconSize() const { return FIconSize; }
  void SetIconSize(TIconSize Value);
  TZoom Zoom() const { return FZoom; }
  void SetZoom(TZoom Value);
  // The scale's time base inside a box, else 1.
  int TimeBase() const;
  TLayerType LayerType() const { return FLayerType; }
  void SetLayerType(TLayerType t);
  TLayerNumber LayerNumber() const { return FLayerNumber; }
  // First visible frame (never below 0).
  int FirstFrame() const { return FFirstFrame; }
  void SetFirstFrame(int Value);
  int MotionOffset() const { return FMotionOffset; }
  void SetMotionOffset(int Value) { FMotionOffset = Value; }
  TLayerRow* PrevRow() const { return FPrevRow; }
  TLayerRow* NextRow() const { return FNextRow; }
  void SetPrevRow(TLayerRow* r) { FPrevRow = r; }
  void SetNextRow(TLayerRow* r) { FNextRow = r; }
  TLayerItem* LinkFirstLayerItem() const { return FItems.empty() ? nullptr : FItems.front().get(); }
  // The box's SnapItems; true without a box.
  bool SnapItems() const;
  bool SynchronizePaint() const { return FSynchronizePaint; }
  void SetSynchronizePaint(bool b) { FSynchronizePaint = b; }
  bool LevelBoxVisible() const { return FLevelBoxVisible; }
  void SetLevelBoxVisible(bool Value);
  bool Visible() const { return FVisible; }
  void SetVisible(bool Value);
  // The effect of new transition blocks (the box's when in a box).
  int32_t DefaultFx3dID() const;
  void SetDefaultFx3dID(int32_t Value);
  // Whether a change of a block on this row rebuilds the transition row.
  bool UpdateFx3dEnabled() const { return FUpdateFx3dEnabled; }
  void SetUpdateFx3dEnabled(bool Value) { FUpdateFx3dEnabled = Value; }

  // ---- geometry
  // The height of the row (with the envelope band when shown) and of its blocks.
  int Height() const;
  int BaseHeight() const;
  int Top() const { return FTop; }  // in the box
  void SetTop(int y) { FTop = y; }
  int Width() const { return FWidth; }
  void SetWidth(int w) { FWidth = w; }
  // Time-line pixel of row x (x = 0 at the first visible frame).
  int TimeLinePixel(int X) const;
  int FrameAtX(int X) const;  // frame under row x
  int PixelOfFrame(int Frame) const;  // time-line pixel of a frame (saturating)
  int StepValue() const;  // the ZoomStep step: default length of a new block
  int FramesPerThumbnail() const;
  int MinItemWidth() const { return PixelToFrame(FZoom, FIconSize, 10); }

  // ---- lookups
  int ItemCount() const { return static_cast<int>(FItems.size()); }
  TLayerItem* Items(int Index) const;
  int IndexOf(const TLayerItem* Item) const;
  TLayerItem* FirstClipboardItem() const;
  int SelectedCount() const;
  int ClipboardCount() const;
  // The first block spanning [A, B) frames; Checked blocks and Ignore skipped when asked.
  TLayerItem* ItemAtFrames(int A, int B, bool SkipChecked = false, const TLayerItem* Ignore = nullptr) const;
  // The first block spanning [A, B) time-line pixels.
  TLayerItem* ItemAtPixels(int A, int B) const;
  // The blocks that reach into time-line pixels [A, B), as indexes [From, To): a binary
  // search, the row being sorted and free of overlaps.
  void ItemsInPixels(int A, int B, int& From, int& To) const;
  // The last block ending at or before Frame / first block starting at or after Frame.
  TLayerItem* LastItemEndingBefore(int Frame, const TLayerItem* Ignore1 = nullptr,
                                   const TLayerItem* Ignore2 = nullptr) const;
  TLayerItem* FirstItemStartingAfter(int Frame, const TLayerItem* Ignore1 = nullptr,
                                     const TLayerItem* Ignore2 = nullptr) const;
  // The block under row point (x, y): its rectangle, or with envelopes shown its column
  // down to the full row height.
  TLayerItem* ItemAtPoint(int X, int Y) const;
  // The envelope point under row point (x, y), with its block.
  TLevelItem* LevelPointAtPoint(int X, int Y, TLayerItem** Item = nullptr) const;
  // Whether a block of Duration frames fits at Start without overlapping a block other
  // than Ignore1/Ignore2.
  bool Fits(int Start, int Duration, const TLayerItem* Ignore1 = nullptr,
            const TLayerItem* Ignore2 = nullptr) const;

  // ---- editing of one row
  // Inserts a block at Frame: the clip's own length when UseClipLength and it has one,
  // else Duration, else the step value; centred on Frame when asked; overlaps are
  // corrected with the new block as the inserted one. Returns the block.
  TLayerItem* InsertLayerItem(int Frame, bool UseClipLength, bool UpdateFx3d, bool Centre, int32_t Fx3dID,
                              TClipGraphic* Clip, int Duration);
  // Stable sort by FirstFrame, then relinks PrevItem/NextItem.
  void SortItems();
  // Restores a row free of overlaps (not on the transition row).
  void CorrectOverlaps(TLayerItem* Inserted);
  // Snapping target near time-line pixel X: a frame, or -1.
  int SnapFrame(int X, int Threshold, const TLayerItem* Ignore1, const TLayerItem* Ignore2) const;
  // Moves Item under the pointer at row (x, y) with the grab offset; true when moved.
  bool MoveItem(int X, int Y, int GrabOffset, TLayerItem* Item);
  // Resizes Item's Edge to row x; true when something changed.
  bool ResizeItem(int X, TLayerItem* Item, TItemEdge Edge);
  // Cuts the block under row (x, y) at the frame there; true when cut.
  bool DoSplitItem(int X, int Y);
  // Aligns two partners to their common extent.
  void AlignSynchronizeItem(TLayerItem* B1, TLayerItem* B2);
  // Edge of Item under time-line pixel X (ieNone when none).
  TItemEdge EdgeAt(const TLayerItem* Item, int X) const;

  // Deleting: one block, the selected ones (last to first), all.
  void DeleteItem(TLayerItem* Item);
  void DeleteSelected();
  void ClearItems();
  // Takes a block out of the row (a move to another row); nullptr when not here
  // ("[513]" shown).
  std::unique_ptr<TLayerItem> DetachItem(TLayerItem* Item);
  // Puts a detached block in at its FirstFrame (sorted in, events hooked).
  TLayerItem* AttachItem(std::unique_ptr<TLayerItem> Item);
  void DeselectAll();

  // Solid-colour blocks (ltBmpAvi and ltImage rows): a centred block at the frame of row
  // x with the step value as length, or nullptr on another row.
  TLayerItem* InsertUniformColor(int X, TUniformColor Kind, TColor Value);
  // Recolours a colour block.
  void RecolorItem(TLayerItem* Item, TUniformColor Kind, TColor Value);
  struct TColorMenuState {
    bool Visible = false;  // the row takes colour blocks
    bool BlueChecked = false, BlueEnabled = false;
    bool MagentaChecked = false, MagentaEnabled = false;
    bool DeleteVisible = false;  // "Kasuj jednolity kolor"
    TLayerItem* Item = nullptr;  // the block under the point
  };
  TColorMenuState ColorMenuState(int X, int Y) const;
  // The double-click menu command for blue or magenta at row (x, y): recolours the
  // colour block there, or inserts a new one over empty space.
  TLayerItem* ApplyUniformColor(int X, int Y, TUniformColor Kind, TColor Value);
  // Keying block on a key row: creates one at row x when none, stores the values.
  TLayerItem* SetKeyItem(int X, int Y, TColor ColorKey, TComposeMode Mode, int32_t YUVHi, int32_t YUVLo);
  // Sequence row: sets the shortcut of the block at row (x, y), creating one there when
  // none; nullptr on another row.
  TLayerItem* SetSequenceShortcut(int X, int Y, int32_t Code);
  // Shortcut texts of the sequence blocks other than Except.
  std::vector<std::string> UsedShortcutTexts(const TLayerItem* Except) const;

  // ---- mouse and drag and drop (row coordinates)
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
  void MouseMove(TShiftState Shift, int X, int Y);
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
  bool DragOver(const TDragSource& Source, int X, int Y);
  // Performs a drop; true when it did something.
  bool DragDrop(const TDragSource& Source, int X, int Y);
  // The edge under the pointer at the last move without a button.
  TItemEdge OverEdge() const { return FHoverEdge; }
  bool GestureActive() const { return FGesture.ButtonDown; }
  TLayerItem* GestureItem() const { return FGesture.Item; }
  // The envelope point being dragged and its block (nullptr when none), and the
  // modifier keys held when the gesture began.
  TLevelItem* GesturePoint() const { return FGesture.Point; }
  TLayerItem* GesturePointItem() const { return FGesture.PointItem; }
  TShiftState GestureShift() const { return FGesture.DownShift; }

  // ---- events
  TRowItemEvent OnInsertItem;
  TRowEvent OnChangeByUser;
  TRowEvent OnNeedScrollStep;
  TRowEvent OnSelectedItems;
  TRowEvent OnModified;
  TRowEvent OnModifyClipboarded;
  TRowEvent OnStartMoving;
  TRowEvent OnEndMoving;
  TRowEvent OnStartResizing;
  TRowEvent OnEndResizing;
  TResizingEvent OnResizing;

 private:
  friend class TLayerItem;
  friend class TLayerBox;

  struct TGesture {
    bool ButtonDown = false;
    TLayerItem* Item = nullptr;
    TItemEdge Edge = ieNone;
    bool Moving = false;
    bool Moved = false;
    bool Resized = false;
    int GrabOffset = 0;
    int DownX = 0, DownY = 0;
    TShiftState DownShift = 0;
    TLevelItem* Point = nullptr;  // envelope point being dragged
    TLayerItem* PointItem = nullptr;
  };

  void HookItem(TLayerItem* Item);
  void ItemModified(TLayerItem* Item);
  void ItemNeedUpdate(TLayerItem* Item);
  void ItemSelectedChange(TLayerItem* Item);
  void ItemNeedShow(TLayerItem* Item);
  void RelinkAll();
  void RelinkAround(size_t Index);
  void Fire(const TRowEvent& e) {
    if (e) e(this);
  }
  void UpdateLayerFx3d();
  int FindFreeStart(TLayerItem* Item, int NewStart, bool MovingLeft) const;
  void SelectRun(TLayerItem* Clicked);
  void EndGesture();
  void LevelDrag(TShiftState Shift, int X, int Y);
  size_t LowerBound(int Frame) const;  // first index with FirstFrame >= Frame (sorted row)
  bool IsSorted() const;
  std::unique_ptr<TLayerItem> TakeAt(size_t Index);
  // Deletes the blocks Doomed picks in one pass (events per block, last to first).
  void DeleteWhere(const std::function<bool(const TLayerItem*)>& Doomed);

  TLayerBox* FBox;
  std::vector<std::unique_ptr<TLayerItem>> FItems;
  TColor FColor = clBtnFace;
  TColor FColorMarked = 0x00FFFF;
  bool FDrawCrossIf = false;
  TLayerStyle FStyle = lsRaised;
  TIconSize FIconSize = isNormal;
  TZoom FZoom = zmOneSecond;
  TLayerType FLayerType = ltNone;
  TLayerNumber FLayerNumber = lnNone;
  int FFirstFrame = 0;
  int FMotionOffset = 0;
  TLayerRow* FPrevRow = nullptr;
  TLayerRow* FNextRow = nullptr;
  bool FSynchronizePaint = false;
  bool FLevelBoxVisible = false;
  bool FVisible = true;
  bool FUpdateFx3dEnabled = true;
  int32_t FDefaultFx3dID = InitialDefaultFx3dID;
  int FTop = 0;
  int FWidth = 800;
  TGesture FGesture;
  TItemEdge FHoverEdge = ieNone;
};

// ---------------------------------------------------------------------------------
// TLayerBox: the time line with its nine rows.

// The scroll bar under the time line, as the box keeps it up to date.
struct TTimeLineScrollBar {
  bool Visible = false;
  int Min = 0;
  int Max = 0;
  int Position = 0;
  int LargeChange = 1;
  int SmallChange = 1;
};

class TLayerBox {
 public:
  using TBoxEvent = std::function<void(TLayerBox*)>;
  // A key the box does not use, offered to the sequences window; true when taken.
  using TKeyEvent = std::function<bool(int Key, TShiftState Shift)>;

  TLayerBox();
  ~TLayerBox();
  TLayerBox(const TLayerBox&) = delete;
  TLayerBox& operator=(const TLayerBox&) = delete;

  // ---- rows
  // By layer number; nullptr for lnNone and bad values.
  TLayerRow* RowByNumber(TLayerNumber Number) const;
  // In creation (enumeration) order: range, sequence, image, A, B, transitions, sound
  // 1, 2, 3.
  int RowCount() const { return static_cast<int>(FRows.size()); }
  TLayerRow* Rows(int Index) const;
  // The n-th row (in enumeration order) whose type is in Types; and their number.
  TLayerRow* RowOfTypes(TLayerTypes Types, int N) const;
  int CountRowsOfTypes(TLayerTypes Types) const;
  // The sound row paired with a picture row (image - sound 1, A - sound 2, B - sound 3);
  // nullptr for every other row.
  TLayerRow* AudioRowOf(const TLayerRow* Row) const;
  // The picture row paired with a sound row; nullptr for every other row.
  TLayerRow* PictureRowOf(const TLayerRow* Row) const;
  // The row under box y; nullptr when none.
  TLayerRow* RowAtPoint(int Y) const;
  // Box y of the scale (between the sequence row and the image row) and its height.
  int ScaleTop() const { return FScaleTop; }
  int ScaleHeight() const { return FScale.Height(); }
  // The time ruler with the position slider.
  TScaleGraphic& Scale() { return FScale; }
  const TScaleGraphic& Scale() const { return FScale; }
  // Lays the rows out top to bottom (range, sequence, scale, image, A, transitions, B,
  // sound 1..3).
  void ArrangeRows();
  int TotalHeight() const;

  // ---- properties
  TIconSize IconSize() const { return FIconSize; }
  void SetIconSize(TIconSize Value);
  TZoom Zoom() const { return FZoom; }
  void SetZoom(TZoom Value);
  int FirstFrame() const { return FFirstFrame; }
  // Not below 0, rounded down to a thumbnail boundary.
  void SetFirstFrame(int Value);
  int LastFrame() const { return FFirstFrame + VisibleFrames(); }
  int VisibleFrames() const;
  int ClientWidth() const { return FClientWidth; }
  void SetClientWidth(int Pixels);
  bool FirstLayerDoKey() const { return FFirstLayerDoKey; }
  void SetFirstLayerDoKey(bool Value);
  bool SnapItems() const { return FSnapItems; }
  void SetSnapItems(bool Value) { FSnapItems = Value; }
  bool Modified() const { return FModified; }
  void SetModified(bool Value);
  TBoxState BoxState() const { return FBoxState; }
  // Clearing the last of the states under which rows do not draw repaints the box.
  void SetBoxState(TBoxState Value);
  void IncludeState(TBoxStateItem i) { FBoxState.Include(i); }
  void ExcludeState(TBoxStateItem i);
  // Rows do not draw while the box loads, deletes in bulk or is under bsNoDrawing.
  bool DrawingSuspended() const;
  // Includes an item for the length of a scope, also when an exception leaves it; its end
  // repaints as ExcludeState does. An item that was already set stays set.
  class TStateScope {
   public:
    TStateScope(TLayerBox* Box, TBoxStateItem Item)
        : FBox(Box), FItem(Item), FOwned(!Box->FBoxState.Contains(Item)) {
      if (FOwned) FBox->IncludeState(Item);
    }
    ~TStateScope() { Restore(); }
    TStateScope(const TStateScope&) = delete;
    TStateScope& operator=(const TStateScope&) = delete;
    void Restore() noexcept;

   private:
    TLayerBox* FBox;
    TBoxStateItem FItem;
    bool FOwned;
  };
  [[nodiscard]] TStateScope ScopedState(TBoxStateItem i) { return TStateScope(this, i); }
  int32_t DefaultFx3dID() const { return FDefaultFx3dID; }
  void SetDefaultFx3dID(int32_t Value) { FDefaultFx3dID = Value; }
  TTimeLineTool Tool() const { return FTool; }
  void SetTool(TTimeLineTool Value) { FTool = Value; }
  // The razor command: the next press on a row cuts there.
  void StartRazor() { FTool = ttRazor; }
  const TTimeLineScrollBar& ScrollBar() const { return FScrollBar; }
  void UpdateScrollBar();
  // The marching-frame timer runs while a block is selected.
  // (paused while blocks are being moved)
  bool MarchingTimerActive() const { return FMarchingTimer && !FBoxState.Contains(bsDraggingItems); }
  int MarchingPhase() const { return FMarchingPhase; }
  // One tick of the 333 ms timer: advances the phase and hands it to the rows.
  void MarchingTick();

  // ---- counts
  int SelectedLayerItemCount() const;
  int ExecutableItemCount() const;
  int TotalItemCount() const;
  // Blocks outside the range row.
  int ProjectItemCount() const;
  // The block at a running index over the rows in layer-number order (range, sequence,
  // image, A, transitions, B, sound 1..3); and the index of a block in that order.
  TLayerItem* ItemByIndex(int Index) const;
  int IndexOfItem(const TLayerItem* Item) const;
  // The largest LastFrame of the last block of every row but the range row (the
  // sequence row only when asked).
  int ProjectEndFrame(bool WithSequences = false) const;
  // The block under box point (x, y).
  TLayerItem* ItemAtPoint(int X, int Y) const;

  // ---- ranges: kind 0 the range, 1 the sequences, 2 the whole film
  void FillRangeList(TRangeList& List, TRangeKind Kind) const;
  int RangeDuration(TRangeKind Kind) const;
  // Puts the default range block [0, 50) on an empty range row.
  void EnsureRangeItem();

  // ---- editing across rows
  void DeselectAll();
  // Selects the block alone and scrolls it into view.
  void ShowItem(TLayerItem* Item);
  bool MoveSelection(TLayerItem* Dragged, int NewStart, TLayerRow* PointerRow);
  void CopyToClipboard();
  bool CanPasteAt(int Frame, TLayerRow* Target);
  void PasteItems(TLayerRow* Target);
  // Convenience for the paste command: CanPasteAt, then PasteItems; false when refused.
  bool PasteAt(int Frame, TLayerRow* Target);
  void ClearClipboardMarks();
  void DeleteSelected();
  void ClearProject(bool KeepRange);
  // "Kasuj wszystko": asks first; true when cleared.
  bool ConfirmClearProject();
  void RemoveClipUses(TClipGraphic* Clip, TLayerItem* Keep);
  // Rebuilds the transition row from the overlaps of rows A and B.
  void UpdateLayerFx3d();
  // The effect chooser's result on a transition block; it also becomes the default.
  void ChooseEffect(TLayerItem* Item, int32_t Fx3dID);
  // Gives every transition block a random effect of the catalogue.
  void MakeRandomFx3d();

  // ---- mouse (box coordinates; the pressed row, or the scale, keeps the mouse until
  // release)
  bool OverScale(int Y) const;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
  void MouseMove(TShiftState Shift, int X, int Y);
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
  bool DragOver(const TDragSource& Source, int X, int Y);
  bool DragDrop(const TDragSource& Source, int X, int Y);
  TLayerRow* CaptureRow() const { return FCaptureRow; }
  void SetCaptureRow(TLayerRow* Row) { FCaptureRow = Row; }
  // Keys of the project window; true when handled.
  bool KeyDown(TTimeLineKey Key, TShiftState Shift, int Code = 0);

  // ---- events
  TBoxEvent OnModified;
  TBoxEvent OnAnyModified;
  TBoxEvent OnSequence;
  TBoxEvent OnSelected;
  TBoxEvent OnClipboard;
  TKeyEvent OnSequenceKey;
  // The scale's slider, passed on after the box's own reaction.
  TBoxEvent OnMoveSlider;
  TBoxEvent OnShowSlider;
  TBoxEvent OnHideSlider;
  // An edge of a block is being dragged: the rows' resizing events, with the view x of
  // the moving edge.
  TBoxEvent OnStartResizing;
  std::function<void(TLayerBox*, int X)> OnResizing;
  TBoxEvent OnEndResizing;
  // Something shown changed: one row, or the whole box (Row == nullptr). Not raised
  // while rows do not draw; clearing that state raises it for the whole box.
  std::function<void(TLayerBox*, TLayerRow* Row)> OnRepaint;

  // The one-pixel position line across the rows: at the slider while it is dragged
  // (from the scale's bottom), at the moving edge while a block is resized (from 2
  // pixels below the range row's top); down to the bottom of sound row 3, and only
  // within the client width.
  struct TPositionLine {
    bool Visible = false;
    int X = 0;
    int Top = 0;
    int Bottom = 0;
  };
  TPositionLine PositionLine() const;
  bool Resizing() const { return FResizeX >= 0 || FResizeActive; }

 private:
  friend class TLayerRow;
  void RowModified(TLayerRow* Row);
  void RowSelected(TLayerRow* Row);
  void RowInserted(TLayerRow* Row);
  void RowStartMoving(TLayerRow* Row);
  void RowEndMoving(TLayerRow* Row);
  void Repaint(TLayerRow* Row);
  // The slider left the view: the view follows it.
  void ScrollToSlider();
  bool MoveSelectionVertical(TLayerItem* Dragged, int NewStart, TLayerRow* PointerRow);
  bool MoveSelectionHorizontal(TLayerItem* Dragged, int NewStart);
  // The six rows that take part in vertical moves: image, A, B, sound 1..3.
  TLayerRow* MoveRow(int Index) const;
  int MoveRowIndex(const TLayerRow* Row) const;
  // Allowed row shifts for the occupancy of marked rows: down and up limits.
  void ShiftLimits(const std::function<bool(const TLayerItem*)>& Marked, bool PictureLocked, int& Down,
                   int& Up) const;

  std::vector<std::unique_ptr<TLayerRow>> FRows;
  TIconSize FIconSize = isNormal;
  TZoom FZoom = zmOneSecond;
  int FFirstFrame = 0;
  int FClientWidth = 800;
  int FScaleTop = 0;
  bool FFirstLayerDoKey = false;
  bool FSnapItems = false;
  bool FModified = false;
  TBoxState FBoxState{bsCreating};
  int32_t FDefaultFx3dID = InitialDefaultFx3dID;
  TTimeLineTool FTool = ttPointer;
  TTimeLineScrollBar FScrollBar;
  bool FMarchingTimer = false;
  int FMarchingPhase = 0;
  bool FUpdatingFx3d = false;
  TLayerRow* FCaptureRow = nullptr;
  TScaleGraphic FScale;
  bool FScrolling = false;
  bool FResizeActive = false;
  int FResizeX = -1;
  // paste state between CanPasteAt and PasteItems
  int FPasteShift = 0;
  int FPasteDelta = 0;
  bool FPasteValid = false;
};

}  // namespace movara
