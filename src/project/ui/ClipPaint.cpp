#include "project/ui/ClipPaint.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRect>
#include <algorithm>
#include <string>
#include <vector>

#include "base/Dib.h"
#include "base/Format.h"
#include "media/AudioZoom.h"
#include "project/ClipGraphic.h"
#include "project/ui/AudioPaint.h"

namespace movara {
namespace {

constexpr int kMargin = 2;   // around the picture
constexpr int kTextGap = 4;  // between the picture and the text

// The finest waveform level that shows the whole sound within width columns.
int LevelShowingAll(int durationMs, int width) {
  for (int level = 0; level < kZoomLevelCount; ++level) {
    if (ZoomRate(kWaveScaleRow, level) * durationMs / 1000.0 <= width) return level;
  }
  return kZoomLevelCount - 1;
}

}  // namespace

QImage DibToImage(const TDIB& dib) {
  if (dib.Empty()) return QImage();
  const TDIB* src = &dib;
  TDIB converted;
  if (dib.BitCount() != 24) {
    converted = dib.ConvertTo(24);
    src = &converted;
  }
  QImage image(src->Width(), src->Height(), QImage::Format_BGR888);
  for (int y = 0; y < src->Height(); ++y)
    std::copy_n(src->ScanLine(y), static_cast<size_t>(src->Width()) * 3, image.scanLine(y));
  return image;
}

QFont ClipFont() {
  QFont::insertSubstitutions("MS Sans Serif", {"Liberation Sans", "Arial", "Helvetica", "DejaVu Sans"});
  QFont font("MS Sans Serif");
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  return font;
}

TClipPaintColors DefaultClipColors() { return {QColor(0xF0, 0xF0, 0xF0), QColor(0x80, 0x80, 0x80)}; }

QSize ClipControlSize(const TClipGraphic& clip, const QFont& font) {
  const QFontMetrics fm(font);
  const int textWidth = fm.horizontalAdvance("Duration: 0:00:00:00 NNNNNNN");
  return QSize(clip.ControlWidth(textWidth) + kMargin * 2 + kTextGap, clip.ControlHeight(fm.height()));
}

QRect ClipPictureRect(const QRect& rect, const TClipGraphic& clip) {
  const TThumbSize size = ThumbSize[clip.IconSize()];
  return QRect(rect.left() + kMargin, rect.top() + kMargin, size.Width, size.Height);
}

void DrawClipGraphic(QPainter& painter, const QRect& rect, const TClipGraphic& clip, const TClipPaintColors& colors) {
  painter.save();
  painter.setClipRect(rect, Qt::IntersectClip);
  painter.fillRect(rect, clip.Selected() ? colors.ColorMarked : colors.Color);

  // the picture, or the waveform of a sound
  const QRect pic = ClipPictureRect(rect, clip);
  TAudioZoomReader* zoom = clip.ClipType() == ctAudio ? clip.AudioZoomReader() : nullptr;
  if (zoom != nullptr && zoom->Duration() > 0) {
    TAudioBox box;
    box.SetAudioZoomReader(zoom);
    box.SetStartTime(0);
    DrawAudioBox(painter, pic, box, LevelShowingAll(zoom->Duration(), pic.width()));
  } else if (!clip.BitmapClip().Empty()) {
    painter.drawImage(pic, DibToImage(clip.BitmapClip()));
  } else {
    painter.fillRect(pic, colors.Color);
  }
  painter.setPen(QColor(0x80, 0x80, 0x80));
  painter.drawRect(pic.adjusted(0, 0, -1, -1));

  // the lines of information
  const QFontMetrics fm(painter.font());
  const QColor text = clip.Selected() ? QColor(Qt::white) : QColor(Qt::black);
  painter.setPen(text);
  const int left = pic.right() + 1 + kTextGap;
  const int right = rect.right() - kMargin;
  const int lineHeight = fm.height() - 1;
  int y = rect.top() + kMargin;
  const std::vector<std::string> lines = clip.InfoLines();
  for (size_t i = 0; i < lines.size(); ++i) {
    if (y + lineHeight > rect.bottom() + 1) break;
    QRect line(left, y, right - left + 1, lineHeight + 1);
    if (i == 0) {
      // the name, with the thumbnail's number among those of its file at the right
      const QString order = QString::fromStdString(Format("[%d]", clip.Order()));
      const int orderWidth = fm.horizontalAdvance(order) + kTextGap;
      const QString name = fm.elidedText(QString::fromStdString(clip.DisplayName()), Qt::ElideMiddle,
                                         std::max(line.width() - orderWidth, 10));
      painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, name);
      painter.drawText(line, Qt::AlignRight | Qt::AlignVCenter, order);
    } else if (lines[i] == "(*)") {
      // the use mark stands at the right of the line above
      QRect above = line.translated(0, -lineHeight);
      painter.drawText(above, Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("(*)"));
      continue;
    } else {
      painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter,
                       fm.elidedText(QString::fromStdString(lines[i]), Qt::ElideRight, line.width()));
    }
    y += lineHeight;
  }

  // a thin frame, raised
  painter.setPen(QColor(Qt::white));
  painter.drawLine(rect.topLeft(), rect.topRight());
  painter.drawLine(rect.topLeft(), rect.bottomLeft());
  painter.setPen(QColor(0x80, 0x80, 0x80));
  painter.drawLine(rect.bottomLeft(), rect.bottomRight());
  painter.drawLine(rect.topRight(), rect.bottomRight());
  painter.restore();
}

QPixmap DropperOkPixmap() {
  // a dropper pointing down-left: rubber bulb, glass tube, a drop at the tip
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.translate(16, 16);
  p.rotate(45);
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(QColor(200, 40, 40));
  p.drawRoundedRect(QRectF(-4, -15, 8, 9), 3, 3);  // bulb
  p.setBrush(QColor(230, 240, 255));
  p.drawRect(QRectF(-2.5, -6, 5, 14));  // tube
  QPainterPath tip;
  tip.moveTo(-2.5, 8);
  tip.lineTo(2.5, 8);
  tip.lineTo(0, 12);
  tip.closeSubpath();
  p.drawPath(tip);
  p.resetTransform();
  p.setBrush(QColor(40, 90, 220));
  p.setPen(QPen(QColor(20, 40, 120), 1));
  QPainterPath drop;  // the drop below the tip
  drop.moveTo(5, 25);
  drop.cubicTo(2, 29, 2, 31, 5, 31);
  drop.cubicTo(8, 31, 8, 29, 5, 25);
  p.drawPath(drop);
  p.end();
  return pixmap;
}

QCursor DropperOkCursor() { return QCursor(DropperOkPixmap(), 7, 25); }

}  // namespace movara
