#pragma once
// Drawing of a sound's waveform (TAudioBox): the background, the centre line and one
// vertical line per column, in the box's colours; the resource thumbnails and the sound
// blocks of the time line both use it.
class QPainter;
class QRect;

namespace movara {

class TAudioBox;

// Draws level `level` of the box's sound into rect, column firstColumn of the level at
// the rect's left edge (columns before the sound are silence). With the box's info line
// on, its text is written in yellow at (3, 3) of the rect.
void DrawAudioBox(QPainter& painter, const QRect& rect, TAudioBox& box, int level, int firstColumn = 0);

}  // namespace movara
