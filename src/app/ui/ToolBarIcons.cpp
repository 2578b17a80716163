#include "app/ui/ToolBarIcons.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace movara {
namespace {

const QColor kInk(50, 50, 60);

void Page(QPainter& p, const QRectF& r) {
  QPainterPath path;
  path.moveTo(r.left(), r.top());
  path.lineTo(r.right() - 6, r.top());
  path.lineTo(r.right(), r.top() + 6);
  path.lineTo(r.right(), r.bottom());
  path.lineTo(r.left(), r.bottom());
  path.closeSubpath();
  p.setPen(QPen(kInk, 1.5));
  p.setBrush(Qt::white);
  p.drawPath(path);
  p.drawLine(QPointF(r.right() - 6, r.top()), QPointF(r.right() - 6, r.top() + 6));
  p.drawLine(QPointF(r.right() - 6, r.top() + 6), QPointF(r.right(), r.top() + 6));
}

void Folder(QPainter& p) {
  p.setPen(QPen(QColor(150, 110, 20), 1.5));
  p.setBrush(QColor(250, 205, 80));
  QPainterPath back;
  back.moveTo(3, 9);
  back.lineTo(11, 9);
  back.lineTo(13, 12);
  back.lineTo(27, 12);
  back.lineTo(27, 26);
  back.lineTo(3, 26);
  back.closeSubpath();
  p.drawPath(back);
  p.setBrush(QColor(255, 225, 120));
  QPolygonF front;
  front << QPointF(3, 26) << QPointF(7, 16) << QPointF(30, 16) << QPointF(27, 26);
  p.drawPolygon(front);
}

void Plus(QPainter& p, QPointF c, QColor colour) {
  p.setPen(Qt::NoPen);
  p.setBrush(colour);
  p.drawEllipse(c, 6, 6);
  p.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::FlatCap));
  p.drawLine(c + QPointF(-3.5, 0), c + QPointF(3.5, 0));
  p.drawLine(c + QPointF(0, -3.5), c + QPointF(0, 3.5));
}

void FilmStrip(QPainter& p, const QRectF& r) {
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(40, 40, 48));
  p.drawRoundedRect(r, 2, 2);
  p.setBrush(QColor(235, 235, 235));
  for (qreal x = r.left() + 2; x + 2 < r.right(); x += 5) {
    p.drawRect(QRectF(x, r.top() + 1.5, 2.5, 2.5));
    p.drawRect(QRectF(x, r.bottom() - 4, 2.5, 2.5));
  }
}

void Camera(QPainter& p) {
  p.setPen(QPen(kInk, 1.5));
  p.setBrush(QColor(90, 95, 110));
  p.drawRoundedRect(QRectF(3, 10, 18, 14), 2, 2);
  QPolygonF lens;
  lens << QPointF(21, 14) << QPointF(29, 10) << QPointF(29, 24) << QPointF(21, 20);
  p.drawPolygon(lens);
}

void Round(QPainter& p, QColor colour, const QString& sign) {
  QRadialGradient g(QPointF(12, 11), 16);
  g.setColorAt(0, colour.lighter(140));
  g.setColorAt(1, colour);
  p.setPen(QPen(colour.darker(130), 1.2));
  p.setBrush(g);
  p.drawEllipse(QRectF(3, 3, 26, 26));
  QFont f("DejaVu Sans");
  f.setPixelSize(19);
  f.setBold(true);
  p.setFont(f);
  p.setPen(Qt::white);
  p.drawText(QRectF(3, 3, 26, 26), Qt::AlignCenter, sign);
}

void Draw(QPainter& p, TToolIcon which) {
  switch (which) {
    case tiNewProject:
      Page(p, QRectF(7, 3, 18, 26));
      break;
    case tiOpenProject:
      Folder(p);
      break;
    case tiSaveProject:
      p.setPen(QPen(QColor(20, 40, 90), 1.5));
      p.setBrush(QColor(60, 100, 190));
      p.drawRoundedRect(QRectF(4, 4, 24, 24), 2, 2);
      p.setBrush(Qt::white);
      p.drawRect(QRectF(9, 4, 14, 9));
      p.setBrush(QColor(200, 205, 215));
      p.drawRect(QRectF(8, 18, 16, 10));
      break;
    case tiOpenResource:
      Folder(p);
      Plus(p, QPointF(24, 8), QColor(30, 150, 60));
      break;
    case tiOpenSelectedResources: {
      p.setPen(QPen(kInk, 1.5));
      p.setBrush(QColor(170, 210, 250));
      p.drawRect(QRectF(3, 6, 24, 20));
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(60, 150, 70));
      QPolygonF hill;
      hill << QPointF(4, 25) << QPointF(12, 14) << QPointF(18, 21) << QPointF(22, 17) << QPointF(26, 25);
      p.drawPolygon(hill);
      p.setBrush(QColor(250, 210, 60));
      p.drawEllipse(QPointF(21, 11), 2.5, 2.5);
      break;
    }
    case tiCopy:
      Page(p, QRectF(4, 3, 15, 20));
      Page(p, QRectF(13, 9, 15, 20));
      break;
    case tiPaste:
      p.setPen(QPen(QColor(110, 70, 30), 1.5));
      p.setBrush(QColor(190, 140, 80));
      p.drawRoundedRect(QRectF(4, 5, 20, 24), 2, 2);
      p.setBrush(QColor(200, 200, 205));
      p.drawRoundedRect(QRectF(9, 3, 10, 5), 1.5, 1.5);
      Page(p, QRectF(13, 11, 15, 18));
      break;
    case tiDelete:
      p.setPen(QPen(QColor(200, 30, 30), 4.5, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(8, 8), QPointF(24, 24));
      p.drawLine(QPointF(24, 8), QPointF(8, 24));
      break;
    case tiMakeFilm: {
      FilmStrip(p, QRectF(2, 6, 28, 20));
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(220, 40, 40));
      QPolygonF play;
      play << QPointF(12, 10.5) << QPointF(22, 16) << QPointF(12, 21.5);
      p.drawPolygon(play);
      break;
    }
    case tiMakeAudio: {
      p.setPen(QPen(kInk, 1.2));
      p.setBrush(QColor(90, 95, 110));
      QPolygonF speaker;
      speaker << QPointF(4, 12) << QPointF(10, 12) << QPointF(17, 6) << QPointF(17, 26) << QPointF(10, 20)
              << QPointF(4, 20);
      p.drawPolygon(speaker);
      p.setBrush(Qt::NoBrush);
      p.setPen(QPen(QColor(30, 110, 200), 2, Qt::SolidLine, Qt::RoundCap));
      p.drawArc(QRectF(13, 10, 8, 12), -60 * 16, 120 * 16);
      p.drawArc(QRectF(12, 6, 15, 20), -60 * 16, 120 * 16);
      break;
    }
    case tiOptions: {
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(110, 115, 130));
      const QPointF c(16, 16);
      for (int i = 0; i < 8; ++i) {
        p.save();
        p.translate(c);
        p.rotate(i * 45);
        p.drawRect(QRectF(-2.5, -13, 5, 6));
        p.restore();
      }
      p.drawEllipse(c, 9, 9);
      p.setBrush(QColor(240, 240, 240));
      p.drawEllipse(c, 3.5, 3.5);
      break;
    }
    case tiDvCapture: {
      Camera(p);
      p.setPen(QPen(QColor(30, 150, 60), 2.5, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(12, 2), QPointF(12, 8));
      p.drawLine(QPointF(9, 5.5), QPointF(12, 8.5));
      p.drawLine(QPointF(15, 5.5), QPointF(12, 8.5));
      break;
    }
    case tiDvRecord:
      Camera(p);
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(220, 30, 30));
      p.drawEllipse(QPointF(12, 17), 4, 4);
      break;
    case tiHelpContent:
      Round(p, QColor(40, 110, 210), "?");
      break;
    case tiInformation:
      Round(p, QColor(40, 140, 120), "i");
      break;
  }
}

}  // namespace

QIcon ToolBarIcon(TToolIcon which) {
  QIcon icon;
  for (int size : {16, 20, 24, 32, 40}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.scale(size / 32.0, size / 32.0);
    Draw(p, which);
    p.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

QPixmap ProgramPixmap(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.scale(size / 32.0, size / 32.0);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(40, 40, 48));
  p.drawRoundedRect(QRectF(1, 3, 30, 26), 3, 3);
  p.setBrush(QColor(235, 235, 235));
  for (int x = 4; x < 30; x += 6) {
    p.drawRect(QRectF(x, 5, 3, 3));
    p.drawRect(QRectF(x, 24, 3, 3));
  }
  QLinearGradient sky(0, 10, 0, 22);
  sky.setColorAt(0, QColor(90, 160, 240));
  sky.setColorAt(1, QColor(250, 200, 90));
  p.setBrush(sky);
  p.drawRect(QRectF(4, 10, 24, 12));
  p.end();
  return pixmap;
}

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64}) icon.addPixmap(ProgramPixmap(size));
  return icon;
}

}  // namespace movara
