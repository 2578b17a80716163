#pragma once
// The level envelope of a clip block: a start point, an end point and the inner points
// between them, each a frame from the block's start and a level in percent. The user
// draws it on the sound rows and the image row; script generation turns it into level
// commands.
#include <memory>
#include <vector>

namespace movara {

class TLevelBox;

// One point of an envelope.
class TLevelItem {
 public:
  explicit TLevelItem(TLevelBox* owner) : FOwner(owner) {}
  TLevelBox* Owner() const { return FOwner; }

  int Frame = 0;        // frames from the block's start
  int Level = 100;      // percent
  int PixelX = 0;       // pixels from the block's left edge
  bool Marked = false;  // the level lies outside the envelope's band

 private:
  TLevelBox* FOwner;
};

class TLevelBox {
 public:
  // Both end points start at level 100 (frame 0); the length is 1 frame until set.
  TLevelBox(int defaultLevel, int maxLevel, int minLevel);
  TLevelBox(const TLevelBox&) = delete;
  TLevelBox& operator=(const TLevelBox&) = delete;

  // Points: 0 is the start point, Count() - 1 the end point.
  int Count() const { return static_cast<int>(FInner.size()) + 2; }
  TLevelItem* Points(int Index) const;  // nullptr outside 0 .. Count - 1
  int IndexOf(const TLevelItem* Point) const;  // -1 when not found
  TLevelItem* PrevPoint(const TLevelItem* Point) const;  // none for the start point
  TLevelItem* NextPoint(const TLevelItem* Point) const;  // none for the end point
  TLevelItem* StartPoint() const { return FStart.get(); }
  TLevelItem* EndPoint() const { return FEnd.get(); }

  int DefaultLevel() const { return FDefaultLevel; }
  void SetDefaultLevel(int Value);  // taken only within 0..100
  // Every point, the end points included, takes DefaultLevel.
  void ResetLevels();
  int MinLevel() const { return FMinLevel; }
  int MaxLevel() const { return FMaxLevel; }

  int LengthFrames() const { return FLengthFrames; }
  // The end point moves to the new length; inner points at or beyond it go. Ignored
  // when 0 or less or unchanged.
  void SetLength(int Frames);
  int WidthPixels() const { return FWidthPixels; }
  // Recomputes every point's PixelX for the new width.
  void SetWidth(int Pixels);
  int TopPixel() const { return FTopPixel; }
  int BottomPixel() const { return FBottomPixel; }
  void SetBand(int Top, int Bottom);  // taken only when Bottom >= Top

  // The point at exactly that frame (an end point included); nullptr when none.
  TLevelItem* PointAtFrame(int Frame) const;
  // The point at that frame, or a new inner point there with DefaultLevel. Frames
  // outside 0 .. LengthFrames have no place on the envelope and give nullptr.
  TLevelItem* AddPoint(int Frame);
  // Moves an inner point, keeping it strictly between its neighbours.
  void MovePoint(TLevelItem* Point, int Frame);
  // The dragging form: refuses frames below 0 and end points, clamps like MovePoint,
  // recomputes every PixelX after a change and tells whether the frame changed.
  bool DragPoint(TLevelItem* Point, int Frame);

  // Level under pixel x (from the block's left edge), interpolated between points.
  int GetLevelAtPixel(int X) const;
  // Row y of a level within the band.
  int LevelToY(int Level) const;
  // The first point whose 7 x 7 square around it contains (x, y).
  TLevelItem* PointAtPixel(int X, int Y) const;
  // A point inserted on the line between two points under (x, y), or nullptr.
  TLevelItem* PointOnLine(int X, int Y);
  // Marks the points whose level lies outside MinLevel .. MaxLevel (done while the
  // envelope is drawn and while a point is dragged).
  void UpdateMarks();
  // Removes the marked inner points; a marked end point takes DefaultLevel. Returns
  // the number of points handled.
  int RemoveMarkedPoints();

 private:
  friend class TUndoHistory;
  int PixelOfFrame(int Frame) const;
  void UpdatePixels();

  std::unique_ptr<TLevelItem> FStart;
  std::unique_ptr<TLevelItem> FEnd;
  std::vector<std::unique_ptr<TLevelItem>> FInner;
  int FDefaultLevel = 100;
  int FMinLevel = 0;
  int FMaxLevel = 100;
  int FLengthFrames = 1;
  int FWidthPixels = 0;
  int FTopPixel = 0;
  int FBottomPixel = 0;
};

}  // namespace movara
