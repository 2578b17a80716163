#pragma once
// Drawing of the time ruler (TScaleGraphic): its colour, the frame lines along the top
// and the bottom, the ticks, the time codes and, while it is dragged, the slider.
class QFont;
class QPainter;

namespace movara {

class TScaleGraphic;

// Draws the scale with its top-left corner at (0, top), as wide as the scale.
void PaintScale(QPainter& painter, const TScaleGraphic& scale, int top, const QFont& font);

}  // namespace movara
