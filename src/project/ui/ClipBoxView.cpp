#include "project/ui/ClipBoxView.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QUrl>
#include <algorithm>
#include <string>
#include <vector>

#include "project/ClipBox.h"
#include "project/ClipGraphic.h"
#include "project/ui/ClipMime.h"
#include "project/ui/ClipOpeners.h"
#include "project/ui/ClipPaint.h"
#include "project/ui/DocumentSignals.h"

namespace movara {
namespace {

TShiftState ShiftOf(Qt::KeyboardModifiers m) {
  TShiftState s = 0;
  if (m & Qt::ShiftModifier) s |= ssShift;
  if (m & Qt::ControlModifier) s |= ssCtrl;
  if (m & Qt::AltModifier) s |= ssAlt;
  return s;
}

// The index a thumbnail drag carries; -1 when the data holds none.
int DraggedIndex(const QMimeData* data) {
  if (data == nullptr || !data->hasFormat(kClipMimeType)) return -1;
  bool ok = false;
  const int index = data->data(kClipMimeType).toInt(&ok);
  return ok ? index : -1;
}

// The files a drop names: local files from a file manager's URL list, or a text that is
// the name of an existing file (a name dragged out of another window).
std::vector<std::string> DroppedFiles(const QMimeData* data) {
  std::vector<std::string> files;
  if (data == nullptr) return files;
  if (data->hasUrls()) {
    for (const QUrl& url : data->urls())
      if (url.isLocalFile()) files.push_back(url.toLocalFile().toStdString());
  } else if (data->hasText()) {
    const QString text = data->text().trimmed();
    if (!text.isEmpty() && !text.contains('\n') && QFileInfo(text).isFile()) files.push_back(text.toStdString());
  }
  return files;
}

}  // namespace

TClipBoxView::TClipBoxView(TClipBoxSignals& adapter, QWidget* parent)
    : QAbstractScrollArea(parent), FSignals(adapter) {
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  viewport()->setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setFont(ClipFont());
  // thumbnails take the list's width (their lines are shortened to fit), so the list
  // scrolls up and down only
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  connect(&FSignals, &TClipBoxSignals::changed, this, &TClipBoxView::Refresh);
  UpdateScrollBars();
}

TClipBox& TClipBoxView::Box() const { return FSignals.Box(); }

QSize TClipBoxView::ItemSize() const {
  TClipGraphic probe;
  probe.SetIconSize(Box().ClipIconSize());
  return ClipControlSize(probe, font());
}

QSize TClipBoxView::sizeHint() const {
  // wide enough for a thumbnail, tall enough for every thumbnail up to ten
  const QSize item = ItemSize();
  const int rows = std::clamp(Box().Count(), 4, 10);
  return QSize(item.width() + verticalScrollBar()->sizeHint().width() + 2 * frameWidth(),
               item.height() * rows + 2 * frameWidth());
}

QRect TClipBoxView::ClipRect(int index) const {
  const QSize item = ItemSize();
  const TThumbSize picture = ThumbSize[Box().ClipIconSize()];
  const int width = std::max(picture.Width + 40, viewport()->width());
  return QRect(0, index * item.height() - verticalScrollBar()->value(), width, item.height());
}

int TClipBoxView::IndexAt(const QPoint& point) const {
  const QSize item = ItemSize();
  if (point.x() < 0 || item.height() <= 0) return -1;
  const int y = point.y() + verticalScrollBar()->value();
  if (y < 0) return -1;
  const int index = y / item.height();
  return index < Box().Count() ? index : -1;
}

void TClipBoxView::EnsureVisible(int index) {
  if (index < 0 || index >= Box().Count()) return;
  const int h = ItemSize().height();
  QScrollBar* bar = verticalScrollBar();
  const int top = index * h;
  if (top < bar->value())
    bar->setValue(top);
  else if (top + h > bar->value() + viewport()->height())
    bar->setValue(top + h - viewport()->height());
}

void TClipBoxView::Refresh() {
  updateGeometry();  // the size hint follows the number of thumbnails
  UpdateScrollBars();
  viewport()->update();
}

void TClipBoxView::UpdateScrollBars() {
  const QSize item = ItemSize();
  const int total = item.height() * Box().Count();
  QScrollBar* v = verticalScrollBar();
  v->setRange(0, std::max(0, total - viewport()->height()));
  v->setPageStep(std::max(1, viewport()->height()));
  v->setSingleStep(std::max(1, item.height()));  // one thumbnail a step
}

void TClipBoxView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBars();
}

void TClipBoxView::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  painter.fillRect(viewport()->rect(), palette().color(QPalette::Base));
  // nothing is drawn while thumbnails are being deleted
  if (Box().BoxState().Contains(bsDeletingItems)) return;
  const TClipPaintColors colors = DefaultClipColors();
  const int h = std::max(1, ItemSize().height());
  const int first = std::max(0, verticalScrollBar()->value() / h);
  for (int i = first; i < Box().Count(); ++i) {
    const QRect r = ClipRect(i);
    if (r.top() > viewport()->height()) break;
    DrawClipGraphic(painter, r, *Box().Clips(i), colors);
  }
}

void TClipBoxView::UpdateCursor(const QPoint& point) {
  const int index = IndexAt(point);
  TClipGraphic* clip = Box().Clips(index);
  if (clip == nullptr || !ClipPictureRect(ClipRect(index), *clip).contains(point)) {
    viewport()->unsetCursor();
    return;
  }
  // over the picture: the drag cursor, or no-drop when another use would not fit
  viewport()->setCursor(Box().CanDragClip(clip) ? Qt::OpenHandCursor : Qt::ForbiddenCursor);
}

void TClipBoxView::mousePressEvent(QMouseEvent* event) {
  setFocus(Qt::MouseFocusReason);
  if (event->button() != Qt::LeftButton) {
    QAbstractScrollArea::mousePressEvent(event);
    return;
  }
  FPressed = IndexAt(event->position().toPoint());
  FPressPoint = event->position().toPoint();
  FDragStarted = false;
}

void TClipBoxView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint point = event->position().toPoint();
  if (!(event->buttons() & Qt::LeftButton) || FPressed < 0 || FDragStarted) {
    UpdateCursor(point);
    return;
  }
  if ((point - FPressPoint).manhattanLength() < QApplication::startDragDistance()) return;
  TClipGraphic* clip = Box().Clips(FPressed);
  // a drag starts over the picture only
  if (clip == nullptr || !ClipPictureRect(ClipRect(FPressed), *clip).contains(FPressPoint)) return;
  FDragStarted = true;
  if (Box().CanDragClip(clip)) StartDrag(FPressed);
}

void TClipBoxView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && FPressed >= 0 && !FDragStarted) {
    const int index = IndexAt(event->position().toPoint());
    if (index == FPressed) {
      Box().ClickClip(Box().Clips(index), ShiftOf(event->modifiers()));
      viewport()->update();
      emit selectionChanged();
    }
  }
  FPressed = -1;
  FDragStarted = false;
}

void TClipBoxView::mouseDoubleClickEvent(QMouseEvent* event) {
  TClipGraphic* clip = Box().Clips(IndexAt(event->position().toPoint()));
  if (clip == nullptr) return;
  Box().DoubleClick(clip);
  OpenClipWindow(*clip);
}

void TClipBoxView::StartDrag(int index) {
  TClipGraphic* clip = Box().Clips(index);
  if (clip == nullptr) return;
  Box().StartDrag(clip);
  viewport()->update();
  emit selectionChanged();
  auto* data = new QMimeData;
  data->setData(kClipMimeType, QByteArray::number(index));
  auto* drag = new QDrag(this);
  drag->setMimeData(data);
  if (!clip->BitmapClip().Empty()) drag->setPixmap(QPixmap::fromImage(DibToImage(clip->BitmapClip())));
  drag->setDragCursor(DropperOkPixmap(), Qt::CopyAction);
  drag->setDragCursor(DropperOkPixmap(), Qt::MoveAction);
  drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
}

bool TClipBoxView::AcceptsDrag(const QMimeData* data, const QPoint& point) const {
  const int dragged = DraggedIndex(data);
  if (dragged >= 0) {
    // a thumbnail of this list: dropped on another thumbnail
    const int target = IndexAt(point);
    return dragged < Box().Count() && target >= 0 && target != dragged;
  }
  // files: not while the list is full
  return !DroppedFiles(data).empty() && !Box().MaxClipOverflow();
}

void TClipBoxView::dragEnterEvent(QDragEnterEvent* event) {
  const QMimeData* data = event->mimeData();
  if (DraggedIndex(data) >= 0 || !DroppedFiles(data).empty())
    event->acceptProposedAction();
  else
    event->ignore();
}

void TClipBoxView::dragMoveEvent(QDragMoveEvent* event) {
  if (AcceptsDrag(event->mimeData(), event->position().toPoint())) {
    event->acceptProposedAction();
  } else {
    event->ignore();
  }
}

void TClipBoxView::dropEvent(QDropEvent* event) {
  const QMimeData* data = event->mimeData();
  const QPoint point = event->position().toPoint();
  if (!AcceptsDrag(data, point)) {
    event->ignore();
    return;
  }
  const int dragged = DraggedIndex(data);
  if (dragged >= 0) {
    Box().MoveClip(Box().Clips(dragged), Box().Clips(IndexAt(point)));
    event->setDropAction(Qt::MoveAction);
    event->accept();
    Refresh();
    return;
  }
  event->acceptProposedAction();
  bool added = false;
  for (const std::string& file : DroppedFiles(data)) {
    TClipGraphic* clip = Box().DropFile(file);
    if (clip != nullptr)
      added = true;
    else if (Box().MaxClipOverflow())
      break;  // the limit message was shown once
  }
  Refresh();
  if (added) {
    EnsureVisible(Box().Count() - 1);
    emit filesDropped();
  }
}

}  // namespace movara
