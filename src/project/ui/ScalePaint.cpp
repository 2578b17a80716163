#include "project/ui/ScalePaint.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

#include "project/ScaleGraphic.h"
#include "project/ui/TimeLineBitmaps.h"

namespace movara {

namespace {

QColor ToQColor(TColor c) {
  c = ColorToRGB(c);
  return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}

}  // namespace

void PaintScale(QPainter& painter, const TScaleGraphic& scale, int top, const QFont& font) {
  const int w = scale.Width();
  const int h = scale.Height();
  const QColor face = ToQColor(scale.Color());
  painter.save();
  painter.setClipRect(QRect(0, top, w, h), Qt::IntersectClip);
  painter.fillRect(QRect(0, top, w, h), face);
  if (scale.TopLine()) painter.fillRect(QRect(0, top, w, 1), ToQColor(scale.FrameTopColor()));
  if (scale.BottomLine()) painter.fillRect(QRect(0, top + h - 1, w, 1), ToQColor(scale.FrameBottomColor()));

  painter.setPen(ToQColor(scale.LineColor()));
  for (const TScaleTick& t : scale.Ticks()) painter.drawLine(t.X, top + t.Top, t.X, top + t.Bottom);

  // the time codes stand on their own background, cut into the long ticks
  painter.setFont(font);
  const QFontMetrics fm(font);
  for (const TScaleLabel& l : scale.Labels()) {
    const QString text = QString::fromStdString(l.Text);
    const int tw = fm.horizontalAdvance(text);
    // centred on its tick, but kept whole at the two ends of the scale
    const int left = std::clamp(l.X - tw / 2, 1, std::max(1, w - tw - 1));
    const QRect r(left, top + l.Top, tw, fm.height());
    painter.fillRect(r.adjusted(-1, 0, 1, 0), face);
    painter.drawText(r.left(), r.top() + fm.ascent(), text);
  }

  if (scale.SliderVisible()) {
    const QImage& slider = SliderImage();
    const int x = scale.SliderPosition() - slider.width() / 2;
    painter.drawImage(x, top + h - 1 - slider.height(), slider);
  }
  painter.restore();
}

}  // namespace movara
