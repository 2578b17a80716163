#include "project/ui/AudioPaint.h"

#include <QFontMetrics>
#include <QPainter>
#include <QRect>

#include <vector>

#include "media/AudioZoom.h"

namespace movara {
namespace {

QColor ToQColor(TColor c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

}  // namespace

void DrawAudioBox(QPainter& painter, const QRect& rect, TAudioBox& box, int level, int firstColumn) {
  if (rect.width() <= 0 || rect.height() <= 0) return;
  const TRect r = Rect(rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height());
  const std::vector<TAudioLine> lines = box.Lines(r, level, firstColumn);
  painter.save();
  painter.setClipRect(rect, Qt::IntersectClip);
  painter.fillRect(rect, ToQColor(box.BackgroundColor()));
  QPen pen(ToQColor(box.LineColor()));
  pen.setWidth(1);
  pen.setCosmetic(true);
  painter.setPen(pen);
  painter.setRenderHint(QPainter::Antialiasing, false);
  const int centre = box.CentreY(r);
  painter.drawLine(rect.left(), centre, rect.right(), centre);
  for (const TAudioLine& l : lines) painter.drawLine(l.X, l.Y1, l.X, l.Y2);
  const std::string info = box.InfoText();
  if (!info.empty()) {
    painter.setPen(QColor(255, 255, 0));
    const QFontMetrics fm(painter.font());
    painter.drawText(rect.left() + 3, rect.top() + 3 + fm.ascent(), QString::fromStdString(info));
  }
  painter.restore();
}

}  // namespace movara
