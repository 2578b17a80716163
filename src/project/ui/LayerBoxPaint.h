#pragma once
// Drawing of the time line: the rows top to bottom in their colours (the empty part of
// picture and sound rows hatched), the scale, every block by its kind (pictures and
// sounds with their thumbnail and label, transitions with the effect's picture and
// name, sequences with their shortcut, the range, keying and colour blocks), level
// envelopes, animation strips, the marching frame of selected blocks and the position
// line. Only the blocks within the painted area are visited (a binary search per row).
#include <QFont>
#include <QImage>
#include <map>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

class QPainter;
class QRect;

namespace movara {

class TAnimationBox;
class TClipGraphic;
class TLayerBox;
class TLayerItem;

// Pictures converted for drawing, kept between paints.
class TLayerBoxPaintCache {
 public:
  // The clip's picture at a size (made again when the clip's picture changed).
  const QImage& Thumbnail(const TClipGraphic& clip, int width, int height);
  // The strip of an animation box (made again when the strip was rebuilt).
  const QImage& Strip(TAnimationBox& box, bool rebuilt);
  // The effect picture at the thumbnail size of an icon size.
  const QImage& Fx3d(TLayerItem& item);
  void Clear();
  // A paint begins: pictures are looked at again for changes.
  void BeginPaint() { ++FPaint; }

  // Drawing failures met while painting, each (block, text) once: the window shows them
  // after the paint.
  std::vector<std::string> TakeFailures();
  void Fail(const TLayerItem* item, const std::string& text);

 private:
  struct TThumb {
    QImage Image;
    uint64_t Fingerprint = 0;
    uint64_t Checked = 0;  // the paint that last looked at it
  };
  uint64_t FPaint = 1;
  std::map<std::tuple<const void*, int, int>, TThumb> FThumbs;
  std::unordered_map<const void*, QImage> FStrips;
  std::unordered_map<int, QImage> FFx3d;
  std::vector<std::string> FFailures;
  std::vector<std::pair<const TLayerItem*, std::string>> FReported;
};

// Draws the part clip of the time line (box coordinates: x = 0 at the first visible
// frame, y = 0 at the range row's top).
void PaintLayerBox(QPainter& painter, TLayerBox& box, const QRect& clip, TLayerBoxPaintCache& cache,
                   const QFont& font);

}  // namespace movara
