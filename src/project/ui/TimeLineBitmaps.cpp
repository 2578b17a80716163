// The project window's pictures and cursors, drawn once.
#include "project/ui/TimeLineBitmaps.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygon>
#include <array>

namespace movara {

namespace {

QImage Slider() {
  // a red pointer, its tip one pixel above the scale's bottom
  QImage img(9, 13, QImage::Format_RGB32);
  img.fill(QColor(255, 0, 255));  // the transparent colour
  QPainter p(&img);
  QPolygon shape({QPoint(0, 0), QPoint(8, 0), QPoint(8, 7), QPoint(4, 12), QPoint(0, 7)});
  p.setPen(QColor(96, 0, 0));
  p.setBrush(QColor(220, 30, 30));
  p.drawPolygon(shape);
  p.setPen(QColor(255, 160, 160));
  p.drawLine(2, 2, 2, 6);
  return img;
}

QImage MotionFrame() {
  QImage img(8, 8, QImage::Format_RGB32);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) img.setPixel(x, y, (x + y) % 8 < 4 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
  return img;
}

QImage KeyGraph() {
  // a small chequer: the key colour cut out of this picture
  QImage img(8, 8, QImage::Format_RGB32);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) img.setPixel(x, y, ((x / 2) + (y / 2)) % 2 ? qRgb(255, 0, 255) : qRgb(255, 255, 255));
  return img;
}

QImage KeyVideo() {
  // scan lines: the key colour cut out of the other video row's picture
  QImage img(8, 8, QImage::Format_RGB32);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) img.setPixel(x, y, y % 4 < 2 ? qRgb(0, 0, 160) : qRgb(150, 190, 255));
  return img;
}

QImage Razor(bool enabled) {
  QImage img(32, 32, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, true);
  // the cut line under the hot spot (15, 16)
  p.setPen(QPen(QColor(0, 0, 0), 1, Qt::DashLine));
  p.drawLine(QPointF(15.5, 0), QPointF(15.5, 31));
  // the blade, upper right
  QPainterPath blade;
  blade.addRoundedRect(QRectF(18, 2, 12, 18), 2, 2);
  p.setPen(QPen(QColor(0, 0, 0), 1));
  p.setBrush(enabled ? QColor(200, 210, 225) : QColor(170, 170, 170));
  p.drawPath(blade);
  p.setBrush(Qt::white);
  p.drawRect(QRectF(22.5, 6.5, 4, 10));
  p.setPen(QPen(enabled ? QColor(40, 60, 90) : QColor(110, 110, 110), 2));
  p.drawLine(QPointF(18.5, 20), QPointF(18.5, 2));
  if (!enabled) {
    p.setPen(QPen(QColor(210, 0, 0), 2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(9, 24), 6, 6);
    p.drawLine(QPointF(4.8, 28.2), QPointF(13.2, 19.8));
  }
  return img;
}

QImage RowIcon(bool video, int number) {
  QImage img(20, 20, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, true);
  if (video) {
    // a frame of film
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(45, 45, 55));
    p.drawRoundedRect(QRectF(1, 2, 18, 16), 2, 2);
    p.setBrush(QColor(235, 235, 235));
    for (int x = 3; x < 18; x += 4) {
      p.drawRect(QRectF(x, 3.5, 2, 2));
      p.drawRect(QRectF(x, 14.5, 2, 2));
    }
    p.setBrush(number == 1 ? QColor(90, 150, 235) : QColor(240, 160, 60));
    p.drawRect(QRectF(3, 6.5, 14, 7));
  } else {
    // a loudspeaker
    p.setPen(QPen(QColor(30, 30, 30), 1));
    p.setBrush(QColor(60, 110, 200));
    QPolygonF speaker({QPointF(2, 7), QPointF(6, 7), QPointF(11, 3), QPointF(11, 17), QPointF(6, 13), QPointF(2, 13)});
    p.drawPolygon(speaker);
  }
  QFont f("Liberation Sans");
  f.setPixelSize(10);
  f.setBold(true);
  p.setFont(f);
  p.setPen(video ? QColor(255, 255, 255) : QColor(0, 0, 0));
  QRectF box = video ? QRectF(3, 5, 14, 10) : QRectF(11, 6, 9, 12);
  p.drawText(box, Qt::AlignCenter, QString::number(number));
  return img;
}

QImage SnapIcon() {
  // a magnet
  QImage img(16, 16, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, true);
  QPainterPath u;
  u.moveTo(3, 2);
  u.lineTo(3, 9);
  u.arcTo(QRectF(3, 4, 10, 10), 180, 180);
  u.lineTo(13, 2);
  p.setPen(QPen(QColor(200, 20, 20), 3, Qt::SolidLine, Qt::FlatCap));
  p.drawPath(u);
  p.setPen(QPen(QColor(150, 150, 150), 3, Qt::SolidLine, Qt::FlatCap));
  p.drawLine(QPointF(3, 1), QPointF(3, 4));
  p.drawLine(QPointF(13, 1), QPointF(13, 4));
  return img;
}

QImage ZoomIcon() {
  // a magnifying glass over a ruler
  QImage img(16, 16, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setPen(QPen(QColor(0, 0, 0), 1));
  for (int x = 1; x < 16; x += 3) p.drawLine(QPointF(x + 0.5, 13), QPointF(x + 0.5, x % 2 ? 15 : 14));
  p.setPen(QPen(QColor(30, 30, 30), 1.5));
  p.setBrush(QColor(200, 230, 255));
  p.drawEllipse(QPointF(6, 6), 4.5, 4.5);
  p.setPen(QPen(QColor(90, 60, 30), 2.5, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(9.5, 9.5), QPointF(13.5, 13.5));
  return img;
}

QImage Make(TTimeLineBitmap which) {
  switch (which) {
    case tbSlider: return Slider();
    case tbMotionFrame: return MotionFrame();
    case tbKeyGraph: return KeyGraph();
    case tbKeyVideo: return KeyVideo();
    case tbRazorEnabled: return Razor(true);
    case tbRazorDisabled: return Razor(false);
    case tbVideo1: return RowIcon(true, 1);
    case tbVideo2: return RowIcon(true, 2);
    case tbAudio1: return RowIcon(false, 1);
    case tbAudio2: return RowIcon(false, 2);
    case tbAudio3: return RowIcon(false, 3);
    case tbSnap: return SnapIcon();
    case tbZoom: return ZoomIcon();
  }
  return QImage();
}

}  // namespace

const QImage& TimeLineBitmap(TTimeLineBitmap which) {
  static std::array<QImage, tbZoom + 1> images;
  QImage& img = images[static_cast<size_t>(which)];
  if (img.isNull()) img = Make(which);
  return img;
}

const QImage& SliderImage() {
  static QImage transparent;
  if (transparent.isNull()) {
    const QImage& src = TimeLineBitmap(tbSlider);
    transparent = src.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = src.pixel(1, src.height() - 1);
    for (int y = 0; y < transparent.height(); ++y)
      for (int x = 0; x < transparent.width(); ++x)
        if (src.pixel(x, y) == key) transparent.setPixel(x, y, qRgba(0, 0, 0, 0));
  }
  return transparent;
}

QCursor RazorCursor(bool enabled) {
  return QCursor(QPixmap::fromImage(TimeLineBitmap(enabled ? tbRazorEnabled : tbRazorDisabled)), 15, 16);
}

QFont TimeLineFont() {
  QFont::insertSubstitutions("MS Sans Serif", {"Liberation Sans", "Arial", "Helvetica", "DejaVu Sans"});
  QFont font("MS Sans Serif");
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(12);
  return font;
}

}  // namespace movara
