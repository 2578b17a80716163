#pragma once
// Pieces shared by the DV windows: the preview panel that shows the pictures of the
// graph, the looping animation of a working window, the time display, and the adapter
// that brings the controller's callbacks to the user-interface thread.
#include <QImage>
#include <QLabel>
#include <QTimer>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "dv/DvController.h"

namespace movara {

class TDvPreviewPanel : public QLabel {
  Q_OBJECT
 public:
  explicit TDvPreviewPanel(QWidget* parent = nullptr);
  // Any thread: the picture is copied; the panel shows the newest one.
  void Offer(const TDIB& picture);
  QImage Shown() const { return FShown; }

 protected:
  void resizeEvent(QResizeEvent* e) override;

 private:
  void ShowNewest();
  std::mutex FLock;
  QImage FNewest;
  QImage FShown;
  std::atomic<bool> FPending{false};
};

// A looping clip of the program's data folder ("Animacje/FireWire.AVI"); still on its
// first picture when stopped, empty when the file cannot be read.
class TDvAnimation : public QLabel {
  Q_OBJECT
 public:
  TDvAnimation(const std::string& fileName, QWidget* parent = nullptr);
  void SetActive(bool on);
  bool Active() const { return FTimer.isActive(); }
  int FrameCount() const { return static_cast<int>(FFrames.size()); }
  int CurrentFrame() const { return FCurrent; }

 private:
  void Step();
  std::vector<QImage> FFrames;
  QTimer FTimer;
  int FCurrent = 0;
};

// "h:mm:ss:ff" of a time display.
QString DvTimeText(const TDvTime& t);

// Wires a controller to a window: graph events and the timer run on the window's thread.
void ConnectDvController(TDvController& dv, QObject* owner, QTimer& timer);

}  // namespace movara
