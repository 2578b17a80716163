#pragma once
// TFxMyRenderForm: the preview window "Podgląd", an MDI child that shows the frame of the
// film under the time line's cursor. Its render thread is the program's one render
// thread: the film command renders the film's frames through it too. Closing the
// window hides it; the thread lives as long as the window.
#include <QWidget>
#include <memory>

#include "script/Chain3D.h"

class QTimer;

namespace movara {

class TFxDrawWidget;
class TFxRenderThread;

class TFxMyRenderForm : public QWidget {
  Q_OBJECT
 public:
  explicit TFxMyRenderForm(const TRenderOptions& options, QWidget* parent = nullptr);
  ~TFxMyRenderForm() override;

  // Show: the window (or its MDI frame) becomes visible and its drawing is readied;
  // whether it is visible. Hide: the drawing is dropped and the window hidden; whether
  // it is hidden.
  bool ShowPreview(bool show);
  // Passes the options to the thread and readies the drawing again.
  void SetOptions(const TRenderOptions& options);

  TFxRenderThread* RenderThread() const { return FThread.get(); }
  TFxDrawWidget* DrawControl() const { return DXDraw; }
  // The window that is shown and hidden: the MDI frame when there is one.
  QWidget* Frame() const;

  QSize sizeHint() const override;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void InitDXDraw();
  void DoneDXDraw();

  TFxDrawWidget* DXDraw = nullptr;
  std::unique_ptr<TFxRenderThread> FThread;
  QTimer* FTimer = nullptr;
  bool FFirstShow = true;
  bool FInitialized = false;
  int FSaveCounter = 0;
};

}  // namespace movara
