#pragma once
// Drawing of the resource thumbnails (TClipGraphic) and the pictures and cursors of the
// resource window: the thumbnail's picture (or, for a sound, its waveform) at the left
// and its information lines to the right, white when it is selected.
#include <QColor>
#include <QCursor>
#include <QImage>
#include <QSize>

class QFont;
class QPainter;
class QRect;

namespace movara {

class TClipGraphic;
class TDIB;

// A picture of the program as a Qt image (a copy).
QImage DibToImage(const TDIB& dib);

// The thumbnail's colours: button face, and button shadow when selected.
struct TClipPaintColors {
  QColor Color;
  QColor ColorMarked;
};
TClipPaintColors DefaultClipColors();

// The thumbnails' font: "MS Sans Serif" at the size of its 9 points on the screen, or
// the nearest sans-serif face the system has.
QFont ClipFont();

// The size of one thumbnail control for a font: the picture's width plus the width of
// "Duration: 0:00:00:00 NNNNNNN", and the height of its lines or picture.
QSize ClipControlSize(const TClipGraphic& clip, const QFont& font);

// Draws the thumbnail into rect (its control rectangle).
void DrawClipGraphic(QPainter& painter, const QRect& rect, const TClipGraphic& clip, const TClipPaintColors& colors);

// The picture rectangle of a thumbnail whose control is rect.
QRect ClipPictureRect(const QRect& rect, const TClipGraphic& clip);

// The cursor shown while a thumbnail is dragged where it can be dropped: a dropper with
// a drop at its tip (drawn here; its hot spot is the tip).
QCursor DropperOkCursor();
QPixmap DropperOkPixmap();

}  // namespace movara
