#include "pages/ui/PageEditView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>

#include "pages/PageEditBox.h"
#include "pages/PageImage.h"

namespace movara {
namespace {

TShiftState ShiftOf(Qt::KeyboardModifiers m) {
  TShiftState s = 0;
  if (m & Qt::ShiftModifier) s |= ssShift;
  if (m & Qt::ControlModifier) s |= ssCtrl;
  if (m & Qt::AltModifier) s |= ssAlt;
  return s;
}

bool ButtonOf(Qt::MouseButton b, TMouseButton& out) {
  switch (b) {
    case Qt::LeftButton: out = mbLeft; return true;
    case Qt::RightButton: out = mbRight; return true;
    case Qt::MiddleButton: out = mbMiddle; return true;
    default: return false;
  }
}

}  // namespace

TPageEditView::TPageEditView(TPageEditBox& box, QWidget* parent) : QAbstractScrollArea(parent), FBox(box) {
  setObjectName("PageEditBox");
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setMouseTracking(true);
  viewport()->setAutoFillBackground(false);
  // the selection frames march and the caret blinks with them
  FBlink = new QTimer(this);
  FBlink->setInterval(250);
  connect(FBlink, &QTimer::timeout, this, [this] {
    FPhase = (FPhase + 1) % 8;
    if (FBox.SelectedCount() > 0) viewport()->update();
  });
  FBlink->start();
}

TPageEditView::~TPageEditView() = default;

void TPageEditView::Relayout() {
  const TRect page = FBox.PageRect();
  const int w = static_cast<int>(int64_t(page.Width()) * FBox.Scale() / 100);
  const int h = static_cast<int>(int64_t(page.Height()) * FBox.Scale() / 100);
  horizontalScrollBar()->setRange(0, std::max(0, w - viewport()->width()));
  horizontalScrollBar()->setPageStep(viewport()->width());
  verticalScrollBar()->setRange(0, std::max(0, h - viewport()->height()));
  verticalScrollBar()->setPageStep(viewport()->height());
  SyncScroll();
  Changed();
}

void TPageEditView::Changed() {
  FStale = true;
  viewport()->update();
}

void TPageEditView::SetCaretShown(bool shown) {
  if (shown == FCaretShown) return;
  FCaretShown = shown;
  viewport()->update();
}

void TPageEditView::SyncScroll() {
  FBox.SetViewSize(viewport()->width(), viewport()->height());
  FBox.SetScrollPos(horizontalScrollBar()->value(), verticalScrollBar()->value());
  FBox.UpdateBounds();
}

QPoint TPageEditView::PageToView(double x, double y) const {
  const TRect page = FBox.PageRect();
  const int64_t w = int64_t(page.Width()) * FBox.Scale() / 100;
  const int64_t h = int64_t(page.Height()) * FBox.Scale() / 100;
  const int64_t mx = std::max<int64_t>(0, (viewport()->width() - w) / 2) - horizontalScrollBar()->value();
  const int64_t my = std::max<int64_t>(0, (viewport()->height() - h) / 2) - verticalScrollBar()->value();
  return QPoint(static_cast<int>(x * FBox.Scale() / 100 + mx), static_cast<int>(y * FBox.Scale() / 100 + my));
}

void TPageEditView::paintEvent(QPaintEvent*) {
  if (FStale) {
    RenderPageToImage(FBox, FPage);
    FStale = false;
  }
  SyncScroll();
  QPainter p(viewport());
  p.fillRect(viewport()->rect(), QColor(128, 128, 128));
  const TRect page = FBox.PageRect();
  const QPoint origin = PageToView(0, 0);
  const QRect target(origin, QSize(static_cast<int>(int64_t(page.Width()) * FBox.Scale() / 100),
                                   static_cast<int>(int64_t(page.Height()) * FBox.Scale() / 100)));
  // the page's shadow, then the page
  p.fillRect(target.translated(4, 4), QColor(64, 64, 64));
  p.setRenderHint(QPainter::SmoothPixmapTransform, FBox.Scale() < 100);
  p.drawImage(target, FPage);

  // marching frames of the selected items
  QPen frame(Qt::white, 1, Qt::CustomDashLine);
  frame.setDashPattern({4, 4});
  frame.setDashOffset(FPhase);
  QPen under(Qt::black, 1);
  for (int i = 0; i < FBox.ItemCount(); ++i) {
    const TFontItem* item = FBox.Items(i);
    if (!item->Selected) continue;
    const QRect r(QPoint(item->Frame.Left, item->Frame.Top), QPoint(item->Frame.Right - 1, item->Frame.Bottom - 1));
    p.setPen(under);
    p.drawRect(r);
    p.setPen(frame);
    p.drawRect(r);
  }
  // the rubber band
  if (FBox.RubberBanding()) {
    const TRect b = FBox.RubberBand();
    const QRect r(PageToView(b.Left, b.Top), PageToView(b.Right, b.Bottom));
    QPen band(Qt::white, 1, Qt::DotLine);
    p.setPen(band);
    p.setBrush(Qt::NoBrush);
    p.drawRect(r.normalized());
  }
  // the caret in the item being edited, blinking with the frames
  if (FCaretShown && FBox.SelectedCount() == 1 && FPhase % 4 < 2) {
    const TFontItem* item = FBox.NextSelected(nullptr);
    const TRect c = FBox.CaretRectAt(*item, FBox.CaretIndex());
    const QPoint a = PageToView(c.Left, c.Top), b = PageToView(c.Right, c.Bottom);
    p.fillRect(QRect(a, QPoint(std::max(a.x() + 1, b.x()), b.y())), QColor(255, 255, 255));
  }
}

void TPageEditView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  Relayout();
}

void TPageEditView::scrollContentsBy(int, int) {
  SyncScroll();
  viewport()->update();
}

void TPageEditView::UpdateCursor() {
  switch (FBox.Cursor()) {
    case pcCross: viewport()->setCursor(Qt::CrossCursor); break;
    case pcSizeAll: viewport()->setCursor(Qt::SizeAllCursor); break;
    default: viewport()->unsetCursor(); break;
  }
}

void TPageEditView::mousePressEvent(QMouseEvent* event) {
  TMouseButton b;
  if (!ButtonOf(event->button(), b)) return;
  setFocus(Qt::MouseFocusReason);
  SyncScroll();
  const QPoint pos = event->position().toPoint();
  FBox.MouseDown(b, FBox.ViewToPage(pos.x(), pos.y()), ShiftOf(event->modifiers()));
  UpdateCursor();
  viewport()->update();
}

void TPageEditView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  FBox.MouseMove(FBox.ViewToPage(pos.x(), pos.y()), ShiftOf(event->modifiers()));
  UpdateCursor();
  if (event->buttons() != Qt::NoButton) viewport()->update();
}

void TPageEditView::mouseReleaseEvent(QMouseEvent* event) {
  TMouseButton b;
  if (!ButtonOf(event->button(), b)) return;
  const QPoint pos = event->position().toPoint();
  FBox.MouseUp(b, FBox.ViewToPage(pos.x(), pos.y()), ShiftOf(event->modifiers()));
  UpdateCursor();
  Changed();
}

void TPageEditView::keyPressEvent(QKeyEvent* event) {
  TPageKey key = pkOther;
  if (event->key() == Qt::Key_Delete) key = pkDelete;
  if (event->key() == Qt::Key_F2) key = pkF2;
  if (key != pkOther && FBox.KeyDown(key, ShiftOf(event->modifiers()))) {
    Changed();
    return;
  }
  QAbstractScrollArea::keyPressEvent(event);
}

}  // namespace movara
