#include "project/ui/LayerBoxView.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>

#include "base/UserMessages.h"
#include "project/ClipBox.h"
#include "project/ClipGraphic.h"
#include "project/Layers.h"
#include "project/ui/ClipMime.h"
#include "project/ui/LayerBoxSignals.h"
#include "project/ui/TimeLineBitmaps.h"
#include "project/ui/TimeLineMime.h"

namespace movara {

unsigned ShiftStateOf(Qt::KeyboardModifiers modifiers) {
  TShiftState s = 0;
  if (modifiers & Qt::ShiftModifier) s |= ssShift;
  if (modifiers & Qt::ControlModifier) s |= ssCtrl;
  if (modifiers & Qt::AltModifier) s |= ssAlt;
  return s;
}

int VirtualKeyOf(int qtKey, bool keypad) {
  if (keypad) {
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return 0x60 + (qtKey - Qt::Key_0);
    switch (qtKey) {
      case Qt::Key_Asterisk: return 0x6A;
      case Qt::Key_Plus: return 0x6B;
      case Qt::Key_Minus: return 0x6D;
      case Qt::Key_Period:
      case Qt::Key_Delete: return 0x6E;
      case Qt::Key_Slash: return 0x6F;
      default: break;
    }
  }
  if ((qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) || (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)) return qtKey;
  if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) return 0x70 + (qtKey - Qt::Key_F1);
  switch (qtKey) {
    case Qt::Key_Backspace: return 0x08;
    case Qt::Key_Tab: return 0x09;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 0x0D;
    case Qt::Key_Escape: return 0x1B;
    case Qt::Key_Space: return 0x20;
    case Qt::Key_PageUp: return 0x21;
    case Qt::Key_PageDown: return 0x22;
    case Qt::Key_End: return 0x23;
    case Qt::Key_Home: return 0x24;
    case Qt::Key_Left: return 0x25;
    case Qt::Key_Up: return 0x26;
    case Qt::Key_Right: return 0x27;
    case Qt::Key_Down: return 0x28;
    case Qt::Key_Insert: return 0x2D;
    case Qt::Key_Delete: return 0x2E;
    // the punctuation keys by their place on the keyboard (the US layout that Polish
    // keyboards share): with Shift they bring their second sign
    case Qt::Key_Semicolon: case Qt::Key_Colon: return 0xBA;
    case Qt::Key_Equal: case Qt::Key_Plus: return 0xBB;
    case Qt::Key_Comma: case Qt::Key_Less: return 0xBC;
    case Qt::Key_Minus: case Qt::Key_Underscore: return 0xBD;
    case Qt::Key_Period: case Qt::Key_Greater: return 0xBE;
    case Qt::Key_Slash: case Qt::Key_Question: return 0xBF;
    case Qt::Key_QuoteLeft: case Qt::Key_AsciiTilde: return 0xC0;
    case Qt::Key_BracketLeft: case Qt::Key_BraceLeft: return 0xDB;
    case Qt::Key_Backslash: case Qt::Key_Bar: return 0xDC;
    case Qt::Key_BracketRight: case Qt::Key_BraceRight: return 0xDD;
    case Qt::Key_Apostrophe: case Qt::Key_QuoteDbl: return 0xDE;
    // the digits' second signs
    case Qt::Key_Exclam: return '1';
    case Qt::Key_At: return '2';
    case Qt::Key_NumberSign: return '3';
    case Qt::Key_Dollar: return '4';
    case Qt::Key_Percent: return '5';
    case Qt::Key_AsciiCircum: return '6';
    case Qt::Key_Ampersand: return '7';
    case Qt::Key_Asterisk: return '8';
    case Qt::Key_ParenLeft: return '9';
    case Qt::Key_ParenRight: return '0';
    default: return 0;
  }
}

namespace {

TMouseButton ButtonOf(Qt::MouseButton b) {
  switch (b) {
    case Qt::LeftButton: return mbLeft;
    case Qt::RightButton: return mbRight;
    default: return mbMiddle;
  }
}

}  // namespace

TLayerBoxView::TLayerBoxView(TLayerBoxSignals& adapter, TClipBox* clips, QWidget* parent)
    : QWidget(parent), FSignals(adapter), FClips(clips), FFont(TimeLineFont()) {
  setObjectName("LayerBoxView");
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  setAcceptDrops(true);
  setAttribute(Qt::WA_OpaquePaintEvent, true);
  setFont(FFont);
  TLayerBox& box = Box();
  const QFontMetrics fm(FFont);
  box.Scale().SetTextHeight(fm.height());
  box.Scale().SetSliderSize(SliderImage().width(), SliderImage().height());
  box.ArrangeRows();
  FMarching = new QTimer(this);
  FMarching->setInterval(333);
  connect(FMarching, &QTimer::timeout, this, &TLayerBoxView::MarchingTick);
  connect(&FSignals, &TLayerBoxSignals::repaint, this, &TLayerBoxView::Repaint);
  connect(&FSignals, &TLayerBoxSignals::selected, this, [this] {
    if (Box().SelectedLayerItemCount() > 0 && !FMarching->isActive()) FMarching->start();
  });
  UpdateHeight();
  if (box.SelectedLayerItemCount() > 0) FMarching->start();
}

TLayerBoxView::~TLayerBoxView() = default;

TLayerBox& TLayerBoxView::Box() const { return FSignals.Box(); }

bool TLayerBoxView::MarchingTimerRunning() const { return FMarching->isActive(); }

void TLayerBoxView::MarchingTick() {
  TLayerBox& box = Box();
  if (box.SelectedLayerItemCount() == 0) {
    FMarching->stop();
    return;
  }
  box.MarchingTick();  // stands still while blocks are moved
}

QSize TLayerBoxView::sizeHint() const { return QSize(640, Box().TotalHeight()); }

QSize TLayerBoxView::minimumSizeHint() const { return QSize(100, Box().TotalHeight()); }

void TLayerBoxView::UpdateHeight() {
  const int h = Box().TotalHeight();
  if (h == FHeight) return;
  FHeight = h;
  setMinimumHeight(h);
  updateGeometry();
}

void TLayerBoxView::Repaint(TLayerRow* row) {
  UpdateHeight();
  if (row && row->Visible())
    update(QRect(0, row->Top(), width(), row->Height()));
  else
    update();
}

void TLayerBoxView::paintEvent(QPaintEvent* event) {
  QPainter p(this);
  PaintLayerBox(p, Box(), event->rect(), FCache, FFont);
  p.end();
  ShowFailures();
}

void TLayerBoxView::ShowFailures() {
  std::vector<std::string> failures = FCache.TakeFailures();
  if (failures.empty()) return;
  // shown after the paint: a message box must not open inside it
  QTimer::singleShot(0, this, [failures] {
    for (const std::string& f : failures) ShowMessage(f, TMsgKind::Error);
  });
}

void TLayerBoxView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Box().SetClientWidth(width());
}

void TLayerBoxView::StartRazor() {
  Box().StartRazor();
  UpdateCursor(mapFromGlobal(QCursor::pos()));
}

QMimeData* TLayerBoxView::PasteMimeData(const TLayerBox& box) {
  auto* data = new QMimeData;
  data->setData(kPasteMimeType, QByteArray::number(reinterpret_cast<quintptr>(&box)));
  return data;
}

void TLayerBoxView::StartPaste() {
  auto* drag = new QDrag(this);
  drag->setMimeData(PasteMimeData(Box()));
  drag->exec(Qt::CopyAction);
}

void TLayerBoxView::UpdateCursor(const QPoint& pos) {
  if (FHeldCursor) return;
  TLayerBox& box = Box();
  if (box.Tool() == ttRazor) {
    setCursor(RazorCursor(box.DragOver(TDragSource::Razor(), pos.x(), pos.y())));
    return;
  }
  TLayerRow* row = box.RowAtPoint(pos.y());
  if (row && !box.Scale().MouseCaptured()) {
    const int y = pos.y() - row->Top();
    if (row->LevelPointAtPoint(pos.x(), y)) {
      setCursor(Qt::PointingHandCursor);
      return;
    }
    TLayerItem* item = row->ItemAtPoint(pos.x(), y);
    if (item && row->EdgeAt(item, row->TimeLinePixel(pos.x())) != 0) {
      setCursor(Qt::SizeHorCursor);
      return;
    }
  }
  unsetCursor();
}

void TLayerBoxView::mousePressEvent(QMouseEvent* event) {
  FLastModifiers = event->modifiers();
  setFocus(Qt::MouseFocusReason);
  TLayerBox& box = Box();
  const TShiftState shift = ShiftStateOf(event->modifiers());
  const QPoint pos = event->position().toPoint();
  const TMouseButton button = ButtonOf(event->button());
  if (button == mbMiddle) return;
  if (button == mbRight) {
    // a right click ends a gesture or the razor; only a plain one opens the menu
    const bool busy = box.CaptureRow() != nullptr || box.Scale().MouseCaptured();
    const bool quiet = busy || box.Tool() == ttRazor;
    box.SetTool(ttPointer);
    if (busy) box.MouseDown(mbRight, shift, pos.x(), pos.y());
    FHeldCursor = false;
    UpdateCursor(pos);
    if (!quiet) emit popupMenuRequested(pos, event->modifiers());
    return;
  }
  UpdateCursor(pos);
  box.MouseDown(mbLeft, shift, pos.x(), pos.y());
  // the sizing or hand cursor stays for the whole gesture
  FHeldCursor = box.CaptureRow() != nullptr;
  if (!FHeldCursor) UpdateCursor(pos);
}

void TLayerBoxView::mouseMoveEvent(QMouseEvent* event) {
  FLastModifiers = event->modifiers();
  const QPoint pos = event->position().toPoint();
  Box().MouseMove(ShiftStateOf(event->modifiers()), pos.x(), pos.y());
  UpdateCursor(pos);
}

void TLayerBoxView::mouseReleaseEvent(QMouseEvent* event) {
  FLastModifiers = event->modifiers();
  const QPoint pos = event->position().toPoint();
  const TMouseButton button = ButtonOf(event->button());
  if (button == mbMiddle) return;
  Box().MouseUp(button, ShiftStateOf(event->modifiers()), pos.x(), pos.y());
  FHeldCursor = false;
  UpdateCursor(pos);
}

void TLayerBoxView::mouseDoubleClickEvent(QMouseEvent* event) {
  FLastModifiers = event->modifiers();
  if (event->button() != Qt::LeftButton) return;
  const QPoint pos = event->position().toPoint();
  if (!Box().RowAtPoint(pos.y())) return;
  emit rowDoubleClicked(pos);
}

void TLayerBoxView::contextMenuEvent(QContextMenuEvent* event) {
  // the mouse's menu comes with the right button's press; the menu key's here
  if (event->reason() != QContextMenuEvent::Mouse)
    emit popupMenuRequested(QPoint(width() / 2, height() / 2), event->modifiers());
  event->accept();
}

void TLayerBoxView::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  if (!FHeldCursor && Box().Tool() != ttRazor) unsetCursor();
}

void TLayerBoxView::keyPressEvent(QKeyEvent* event) {
  const bool keypad = event->modifiers() & Qt::KeypadModifier;
  const TShiftState shift = ShiftStateOf(event->modifiers());
  TTimeLineKey key = tkOther;
  switch (event->key()) {
    case Qt::Key_Escape:
      key = tkEscape;
      if (Box().Tool() == ttRazor) {
        Box().SetTool(ttPointer);
        UpdateCursor(mapFromGlobal(QCursor::pos()));
      }
      break;
    case Qt::Key_Left: key = tkLeft; break;
    case Qt::Key_Right: key = tkRight; break;
    case Qt::Key_Delete: key = keypad ? tkOther : tkDelete; break;
    case Qt::Key_Plus: key = keypad ? tkAdd : tkOther; break;
    case Qt::Key_Minus: key = keypad ? tkSubtract : tkOther; break;
    default: break;
  }
  const int code = VirtualKeyOf(event->key(), keypad);
  if (Box().KeyDown(key, shift, code)) {
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

// ---------------------------------------------------------------------------------
// Drops

bool TLayerBoxView::SourceOf(const QMimeData* data, TDragSource& source) {
  if (!data) return false;
  if (data->hasFormat(kClipMimeType)) {
    bool ok = false;
    const int index = data->data(kClipMimeType).trimmed().toInt(&ok);
    TClipGraphic* clip = ok && FClips ? FClips->Clips(index) : nullptr;
    if (!clip) return false;
    source = TDragSource::FromClip(clip);
    return true;
  }
  if (data->hasFormat(kClipPartMimeType)) {
    const QList<QByteArray> f = data->data(kClipPartMimeType).simplified().split(' ');
    if (f.size() != 4 || !FClips) return false;
    bool ok[4] = {false, false, false, false};
    const int index = f[0].toInt(&ok[0]);
    const int type = f[1].toInt(&ok[1]);
    const qlonglong offset = f[2].toLongLong(&ok[2]);
    const qlonglong length = f[3].toLongLong(&ok[3]);
    TClipType ct;
    if (!ok[0] || !ok[1] || !ok[2] || !ok[3] || !EnumFromOrdinal<TClipType>(type, ct) || offset < 0) return false;
    TClipGraphic* clip = FClips->Clips(index);
    if (!clip) return false;
    FPart = TClipDragger{clip, ct, offset, length, std::string()};
    source = TDragSource::FromPart(&FPart);
    return true;
  }
  if (data->hasFormat(kPasteMimeType)) {
    if (data->data(kPasteMimeType) != QByteArray::number(reinterpret_cast<quintptr>(&Box()))) return false;
    source = TDragSource::FromBox(&Box());
    return true;
  }
  return false;
}

void TLayerBoxView::dragEnterEvent(QDragEnterEvent* event) {
  TDragSource source;
  if (SourceOf(event->mimeData(), source))
    event->acceptProposedAction();
  else
    event->ignore();
}

void TLayerBoxView::dragMoveEvent(QDragMoveEvent* event) {
  TDragSource source;
  const QPoint pos = event->position().toPoint();
  if (SourceOf(event->mimeData(), source) && Box().DragOver(source, pos.x(), pos.y()))
    event->acceptProposedAction();
  else
    event->ignore();
}

void TLayerBoxView::dropEvent(QDropEvent* event) {
  TDragSource source;
  const QPoint pos = event->position().toPoint();
  if (!SourceOf(event->mimeData(), source)) {
    event->ignore();
    return;
  }
  if (Box().DragDrop(source, pos.x(), pos.y()))
    event->acceptProposedAction();
  else
    event->ignore();
  setFocus(Qt::OtherFocusReason);
  update();
}

}  // namespace movara
