#include "fx3d/ui/FxDrawWidget.h"

#include <QFont>
#include <QPainter>
#include <QResizeEvent>
#include <QThread>
#include <cstring>

#include "base/AppPaths.h"
#include "base/Format.h"
#include "base/Trace.h"
#include "script/RenderThread.h"

namespace movara {
namespace {

// A 24-bit picture as an image of the same rows.
void CopyToImage(const TDIB& dib, QImage& image) {
  if (image.width() != dib.Width() || image.height() != dib.Height() || image.format() != QImage::Format_BGR888)
    image = QImage(dib.Width(), dib.Height(), QImage::Format_BGR888);
  const size_t row = static_cast<size_t>(dib.Width()) * 3;
  for (int y = 0; y < dib.Height(); ++y) std::memcpy(image.scanLine(y), dib.ScanLine(y), row);
}

QColor ToQColor(TColor c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }

}  // namespace

TFxDrawWidget::TFxDrawWidget(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAutoFillBackground(false);
  setFocusPolicy(Qt::StrongFocus);
  setMinimumSize(64, 48);
}

TFxDrawWidget::~TFxDrawWidget() { Attach(nullptr); }

void TFxDrawWidget::Attach(TFxThread* thread) {
  if (FThread == thread) return;
  if (FThread) FThread->SetFrameSink(nullptr);
  FThread = thread;
  if (FThread) FThread->SetFrameSink([this](const TDIB& frame) { ShowFrame(frame); });
}

void TFxDrawWidget::ShowFrame(const TDIB& frame) {
  if (frame.Empty() || frame.BitCount() != 24) return;
  {
    std::lock_guard<std::mutex> l(FLock);
    CopyToImage(frame, FImage);
    FDib = frame;
  }
  ++FFramesShown;
  if (QThread::currentThread() == thread()) {
    repaint();
    return;
  }
  // one update waits at a time: a thread faster than the screen does not flood it
  if (!FUpdatePending.exchange(true))
    QMetaObject::invokeMethod(
        this,
        [this] {
          FUpdatePending = false;
          update();
        },
        Qt::QueuedConnection);
}

TDIB TFxDrawWidget::Frame() const {
  std::lock_guard<std::mutex> l(FLock);
  return FDib;
}

QImage TFxDrawWidget::FrameImage() const {
  std::lock_guard<std::mutex> l(FLock);
  return FImage.copy();
}

void TFxDrawWidget::ClearFrame() {
  {
    std::lock_guard<std::mutex> l(FLock);
    FImage = QImage();
    FDib = TDIB();
  }
  update();
}

void TFxDrawWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::black);
  {
    std::lock_guard<std::mutex> l(FLock);
    if (!FImage.isNull()) {
      // the renderer follows the widget's size; a picture of another size (a film's)
      // is fitted, keeping its proportions, and centred
      QSize s = FImage.size();
      if (s.width() > width() || s.height() > height() || s != size()) s.scale(size(), Qt::KeepAspectRatio);
      const QRect target(QPoint((width() - s.width()) / 2, (height() - s.height()) / 2), s);
      if (s == FImage.size())
        p.drawImage(target.topLeft(), FImage);
      else
        p.drawImage(target, FImage);
    }
  }
  if (FThread && FThread->ShowOverlay()) {
    QFont f = font();
    f.setPointSize(8);
    p.setFont(f);
    p.setPen(ToQColor(FThread->OverlayColor()));
    const int ascent = p.fontMetrics().ascent();
    const int time = static_cast<int>(FThread->PreviewProgress() * FThread->Period() / 1000);
    for (const auto& line : FThread->OverlayLines(time))
      p.drawText(line.X, line.Y + ascent, QString::fromStdString(line.Text));
  }
}

void TFxDrawWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  emit Resized(event->size());
}

bool HandleFxPreviewKey(int key, Qt::KeyboardModifiers modifiers, TFxThread* thread, TFxDrawWidget* view,
                        int& saveCounter) {
  const Qt::KeyboardModifiers mods = modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier);
  const bool keypad = (modifiers & Qt::KeypadModifier) != 0;
  if (!thread) return false;
  if (mods == Qt::NoModifier) {
    switch (key) {
      case Qt::Key_F1:
        thread->SetPreviewProgress(0);
        thread->RedrawStep();
        return true;
      case Qt::Key_F2:
        thread->SetDirection(thread->Direction() == fdNormal ? fdReverse : fdNormal);
        return true;
      case Qt::Key_F3:
        if (thread->Suspended())
          thread->Resume();
        else
          thread->Pause();
        return true;
      case Qt::Key_F4:
        thread->StepOnce();
        return true;
      default: return false;
    }
  }
  if (mods == (Qt::ControlModifier | Qt::AltModifier) && key == Qt::Key_Space) {
    thread->SetShowOverlay(!thread->ShowOverlay());
    if (view) view->update();
    return true;
  }
  if (mods == Qt::ControlModifier) {
    switch (key) {
      case Qt::Key_Space:
        thread->SetOverlayColor(thread->OverlayColor() == 0 ? 0xFFFFFF : 0);
        if (view) view->update();
        return true;
      case Qt::Key_Home:
      case Qt::Key_End:
        // waiting for the vertical blank is the display device's: our renderer draws
        // into memory and the window shows each frame when it paints
        return true;
      case Qt::Key_S: {
        if (!view) return true;
        const TDIB frame = view->Frame();
        if (frame.Empty()) return true;
        const std::string name = UserFolder() + Format("Surf%.2d.Bmp", saveCounter);
        if (frame.SaveToFile(name))
          ++saveCounter;
        else
          TraceF("[TFxMyRenderForm.FormKeyDown] Cannot save %s", name.c_str());
        return true;
      }
      case Qt::Key_Plus:
      case Qt::Key_Minus:
        // the source-blend render state of a hardware device; the software renderer
        // blends in its one way
        return keypad;
      default: return false;
    }
  }
  return false;
}

}  // namespace movara
