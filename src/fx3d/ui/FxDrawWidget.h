#pragma once
// TFxDrawWidget: the drawing control of the effect windows. A render thread draws its
// frames into it through the thread's frame sink (from the thread's own loop or from a
// caller's RenderFrame); the widget keeps a copy of the newest frame and paints it,
// centred on black, with the thread's overlay text when the thread shows it.
#include <QImage>
#include <QWidget>
#include <atomic>
#include <mutex>

#include "base/Dib.h"

namespace movara {

class TFxThread;

class TFxDrawWidget : public QWidget {
  Q_OBJECT
 public:
  explicit TFxDrawWidget(QWidget* parent = nullptr);
  ~TFxDrawWidget() override;

  // Becomes the thread's frame sink (nullptr: lets go of the thread). The thread must
  // be let go before either of the two is destroyed.
  void Attach(TFxThread* thread);
  TFxThread* Thread() const { return FThread; }

  // Takes a frame: called by the thread's sink, on any thread. On the widget's own
  // thread the frame is painted before the call returns.
  void ShowFrame(const TDIB& frame);
  // The newest frame (empty before the first).
  TDIB Frame() const;
  QImage FrameImage() const;
  int FramesShown() const { return FFramesShown; }
  // Forgets the frame shown (black until the next one).
  void ClearFrame();

  QSize sizeHint() const override { return QSize(360, 288); }

 signals:
  // The widget's size changed: the renderer follows it.
  void Resized(QSize size);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  TFxThread* FThread = nullptr;
  mutable std::mutex FLock;
  QImage FImage;
  TDIB FDib;
  std::atomic<int> FFramesShown{0};
  std::atomic<bool> FUpdatePending{false};
};

// The keys both effect windows share (F1 restart, F2 direction, F3 pause, F4 step,
// Ctrl+Alt+Space overlay, Ctrl+Space overlay colour, Ctrl+S save the frame, and the
// keys of a hardware device, which do nothing here). True when the key was handled.
// saveCounter numbers the saved frames ("Surf%.2d.Bmp" in the user's folder).
bool HandleFxPreviewKey(int key, Qt::KeyboardModifiers modifiers, TFxThread* thread, TFxDrawWidget* view,
                        int& saveCounter);

}  // namespace movara
