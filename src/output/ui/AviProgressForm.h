#pragma once
// TAviProgressForm: the small modal window that runs the film thread and shows its
// progress: the bar with its percentage, the estimated end below it and, on request, a
// preview box of the frames. Esc stops the film (a stopped film is still a valid file);
// the window closes by itself when the thread ends, with OK when the film was made.
// The film thread's callbacks reach the window as queued calls, and the window waits
// for the thread only with its events running.
#include <QDialog>
#include <QImage>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "output/FilmSettings.h"
#include "output/MakeAviThread.h"
#include "output/ui/PowerInhibit.h"

class QLabel;
class QTimer;

namespace movara {

class TFxRenderThread;
class TLayerBox;

// Draws a TMyProgressBar: the part done, the part to do, a frame and "%s %d %%".
class TProgressBarView : public QWidget {
  Q_OBJECT
 public:
  explicit TProgressBarView(TMyProgressBar& model, QWidget* parent = nullptr);
  QColor ColorDone{0, 0, 128};
  QColor ColorToDo{255, 255, 255};
  QColor ColorFrame{0, 0, 0};
  int BorderWidth = 1;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  TMyProgressBar& FModel;
};

// The preview box: the film thread paints frames into it (copied, shown later).
class TPreviewBoxView : public QWidget, public TPreviewBox {
  Q_OBJECT
 public:
  explicit TPreviewBoxView(QWidget* parent = nullptr);
  int ClientWidth() const override { return FWidth; }
  int ClientHeight() const override { return FHeight; }
  void Paint(const TDIB& picture) override;
  int FramesPainted() const { return FPainted; }
  QImage Picture() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  std::atomic<int> FWidth{0}, FHeight{0}, FPainted{0};
  std::atomic<bool> FUpdatePending{false};
  mutable std::mutex FLock;
  QImage FImage;
};

class TAviProgressForm : public QDialog {
  Q_OBJECT
 public:
  // preview: the window opened with Ctrl held: every frame is shown and nothing is
  // written. The render thread and the layer box stay the caller's.
  TAviProgressForm(QWidget* owner, const std::string& scriptText, TFxRenderThread* renderThread,
                   const TLayerBox* layerBox, const TFilmSettingsData& settings, bool preview);
  // Stops a running film (waiting with the events running) and frees the thread.
  ~TAviProgressForm() override;

  TMakeAviThread* Thread() const { return FThread.get(); }
  TMyProgressBar& Bar() { return FBar; }
  TPreviewBoxView* PreviewBox() const { return FBox; }
  QLabel* InfoLabel() const { return FInfo; }
  // The error the film ended with (meNone for a film made or stopped by the user) and
  // its text.
  int FilmError() const { return FFilmError; }
  std::string FilmErrorText() const { return FFilmErrorText; }
  bool StoppedByUser() const { return FUserStopped; }
  const TPowerInhibit& Inhibit() const { return FInhibit; }

  // Shows or hides the preview box (Ctrl+Space while the film runs).
  void TogglePreview();

  static constexpr int kHeight = 77;
  static constexpr int kHeightWithPreview = 187;
  static constexpr int kWidth = 480;

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void InitializeThread();
  void OnTerminateThread();
  // Asks the film to stop and waits at most ms with the events running; true when the
  // thread has ended.
  bool StopAndWait(int ms);
  void ShowBox(bool show);
  void DisplayChanged();

  TMyProgressBar FBar;
  TProgressBarView* FBarView = nullptr;
  QLabel* FInfo = nullptr;
  TPreviewBoxView* FBox = nullptr;
  QTimer* FStartTimer = nullptr;
  std::unique_ptr<TMakeAviThread> FThread;
  TFilmSettingsData FSettings;
  TPowerInhibit FInhibit;
  std::atomic<bool> FBarUpdatePending{false};
  bool FGenerating = false;
  bool FUserStopped = false;
  bool FWaiting = false;
  int FRefusedCloses = 0;
  int FFilmError = meNone;
  std::string FFilmErrorText;
};

}  // namespace movara
