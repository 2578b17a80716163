#include "compose/ui/MarkInOutSlider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <cmath>

namespace movara {
namespace {
constexpr int kMargin = 8;  // room for the thumb at both ends
}

TMarkInOutSlider::TMarkInOutSlider(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize TMarkInOutSlider::sizeHint() const { return QSize(200, 26); }
QSize TMarkInOutSlider::minimumSizeHint() const { return QSize(2 * kMargin + 20, 26); }

int TMarkInOutSlider::Clamp(int position) const { return std::clamp(position, FMinPos, FMaxPos); }

void TMarkInOutSlider::SetRange(int minPos, int maxPos) {
  FMinPos = minPos;
  FMaxPos = std::max(minPos, maxPos);
  FPosition = Clamp(FPosition);
  FMarkIn = Clamp(FMarkIn);
  FMarkOut = Clamp(FMarkOut);
  update();
}

void TMarkInOutSlider::SetPosition(int position) {
  position = Clamp(position);
  if (position == FPosition) return;
  FPosition = position;
  update();
}

void TMarkInOutSlider::SetMarkInPosition(int position) {
  FMarkIn = Clamp(position);
  update();
}

void TMarkInOutSlider::SetMarkOutPosition(int position) {
  FMarkOut = Clamp(position);
  update();
}

void TMarkInOutSlider::SetShowMarkArea(bool show) {
  FShowMarkArea = show;
  update();
}

int TMarkInOutSlider::XOf(int position) const {
  const int span = FMaxPos - FMinPos;
  const int w = std::max(1, width() - 2 * kMargin);
  if (span <= 0) return kMargin;
  return kMargin + static_cast<int>(std::lround(static_cast<double>(position - FMinPos) * w / span));
}

int TMarkInOutSlider::PositionAt(int x) const {
  const int w = std::max(1, width() - 2 * kMargin);
  const double f = std::clamp(static_cast<double>(x - kMargin) / w, 0.0, 1.0);
  return Clamp(FMinPos + static_cast<int>(std::lround(f * (FMaxPos - FMinPos))));
}

void TMarkInOutSlider::UserMove(int position) {
  position = Clamp(position);
  if (position == FPosition) return;
  FPosition = position;
  update();
  emit positionChanged(position);
}

void TMarkInOutSlider::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) UserMove(PositionAt(event->position().toPoint().x()));
}

void TMarkInOutSlider::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() & Qt::LeftButton) UserMove(PositionAt(event->position().toPoint().x()));
}

void TMarkInOutSlider::keyPressEvent(QKeyEvent* event) {
  const int step = std::max(1, (FMaxPos - FMinPos) / 100);
  switch (event->key()) {
    case Qt::Key_Left: UserMove(FPosition - step); break;
    case Qt::Key_Right: UserMove(FPosition + step); break;
    case Qt::Key_Home: UserMove(FMinPos); break;
    case Qt::Key_End: UserMove(FMaxPos); break;
    default: QWidget::keyPressEvent(event); return;
  }
}

void TMarkInOutSlider::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QPalette& pal = palette();
  const int track = height() / 2 - 2;
  const QRect groove(kMargin, track, std::max(1, width() - 2 * kMargin), 5);
  p.fillRect(rect(), pal.color(QPalette::Window));
  if (FShowMarkArea) {
    const int a = XOf(std::min(FMarkIn, FMarkOut)), b = XOf(std::max(FMarkIn, FMarkOut));
    p.fillRect(QRect(a, 2, std::max(1, b - a), height() - 4), pal.color(QPalette::Highlight).lighter(150));
  }
  p.setPen(pal.color(QPalette::Dark));
  p.setBrush(pal.color(QPalette::Base));
  p.drawRect(groove);
  if (FShowMarkArea) {
    // the marks: small flags above the groove, the in mark facing right, the out left
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 128, 0));
    const int in = XOf(FMarkIn), out = XOf(FMarkOut);
    p.drawPolygon(QPolygon({QPoint(in, 1), QPoint(in + 5, 1), QPoint(in, 7)}));
    p.setBrush(QColor(160, 0, 0));
    p.drawPolygon(QPolygon({QPoint(out, 1), QPoint(out - 5, 1), QPoint(out, 7)}));
  }
  const int x = XOf(FPosition);
  p.setPen(pal.color(QPalette::Shadow));
  p.setBrush(hasFocus() ? pal.color(QPalette::Highlight) : pal.color(QPalette::Button));
  p.drawPolygon(QPolygon({QPoint(x - 5, track - 5), QPoint(x + 5, track - 5), QPoint(x + 5, track + 9),
                          QPoint(x, track + 14), QPoint(x - 5, track + 9)}));
}

}  // namespace movara
