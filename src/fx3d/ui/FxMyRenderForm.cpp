#include "fx3d/ui/FxMyRenderForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMdiSubWindow>
#include <QTimer>
#include <QVBoxLayout>

#include "base/Trace.h"
#include "fx3d/ui/FxDrawWidget.h"
#include "script/RenderThread.h"

namespace movara {

TFxMyRenderForm::TFxMyRenderForm(const TRenderOptions& options, QWidget* parent) : QWidget(parent) {
  setObjectName("FxMyRenderForm");
  setWindowTitle(QString::fromUtf8("Podgląd"));
  setAutoFillBackground(true);
  QPalette black = palette();
  black.setColor(QPalette::Window, Qt::black);
  setPalette(black);
  DXDraw = new TFxDrawWidget(this);
  DXDraw->setObjectName("DXDraw");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(DXDraw);
  setFocusProxy(DXDraw);

  FThread = std::make_unique<TFxRenderThread>(options.TextureSize);
  FThread->SetRenderOptions(options.TextureSize, options.Filter == 1, options.CameraScaleX, options.CameraScaleY);
  FThread->SetShowOverlay(false);
  DXDraw->Attach(FThread.get());
  connect(DXDraw, &TFxDrawWidget::Resized, this, [this] {
    // the renderer follows the window's size
    if (FInitialized && !isMinimized() && !(Frame() && Frame()->isMinimized())) InitDXDraw();
  });

  FTimer = new QTimer(this);
  FTimer->setSingleShot(true);
  FTimer->setInterval(11);
  connect(FTimer, &QTimer::timeout, this, [this] {
    Trace("[TFxPreviewForm.OnTimer]");
    if (!FInitialized && isVisible()) InitDXDraw();
  });
}

TFxMyRenderForm::~TFxMyRenderForm() {
  if (FThread) FThread->Stop();
  DXDraw->Attach(nullptr);
  FThread.reset();
}

QWidget* TFxMyRenderForm::Frame() const {
  return qobject_cast<QMdiSubWindow*>(parentWidget()) ? parentWidget() : nullptr;
}

QSize TFxMyRenderForm::sizeHint() const { return QSize(360, 288); }

void TFxMyRenderForm::InitDXDraw() {
  try {
    const QSize size = DXDraw->width() > 1 && DXDraw->height() > 1 ? DXDraw->size() : DXDraw->sizeHint();
    FThread->InitializeControl(size.width(), size.height());
    FInitialized = true;
  } catch (const std::exception& e) {
    TraceF("[TFxMyRenderForm.InitDXDraw] %s", e.what());
    FInitialized = false;
  }
}

void TFxMyRenderForm::DoneDXDraw() {
  FThread->FinalizeControl();
  FInitialized = false;
}

bool TFxMyRenderForm::ShowPreview(bool show) {
  QWidget* frame = Frame();
  if (show) {
    if (frame) frame->show();
    QWidget::show();
    if (!FInitialized) InitDXDraw();
    return isVisible();
  }
  DoneDXDraw();
  if (frame)
    frame->hide();
  else
    hide();
  return !isVisible();
}

void TFxMyRenderForm::SetOptions(const TRenderOptions& options) {
  const bool was = FInitialized;
  if (was) DoneDXDraw();
  FThread->SetRenderOptions(options.TextureSize, options.Filter == 1, options.CameraScaleX, options.CameraScaleY);
  if (was) InitDXDraw();
}

void TFxMyRenderForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  Trace("[TFxMyRenderForm.FormShow]");
  if (FFirstShow) {
    FFirstShow = false;
    FTimer->start();
  }
}

void TFxMyRenderForm::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  Trace("[TFxMyRenderForm.FormHide]");
}

void TFxMyRenderForm::closeEvent(QCloseEvent* event) {
  // closing hides the window; it lives as long as the program's chain
  event->ignore();
  ShowPreview(false);
}

void TFxMyRenderForm::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
    close();
    return;
  }
  const Qt::KeyboardModifiers mods = event->modifiers() & (Qt::ControlModifier | Qt::AltModifier);
  if (mods == Qt::AltModifier && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) return;
  if (HandleFxPreviewKey(event->key(), event->modifiers(), FThread.get(), DXDraw, FSaveCounter)) return;
  QWidget::keyPressEvent(event);
}

}  // namespace movara
