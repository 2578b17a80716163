#pragma once
// TDvCapForm, "Wychwyt": shows the camera, drives its tape and captures into a DV AVI
// file after the settings dialog "Wychwyt - konfiguracja". Its settings live in the
// section "DvCapture" of the settings file.
#include <QTimer>
#include <QWidget>
#include <memory>

#include "dv/DvController.h"
#include "dv/DvSettings.h"

class QLabel;
class QPushButton;

namespace movara {

class TDvAnimation;
class TDvPreviewPanel;
class TPowerInhibit;

class TDvCapForm : public QWidget {
  Q_OBJECT
 public:
  // iniFile: the settings file; clock: the controller's (tests give a manual one).
  explicit TDvCapForm(const std::string& iniFile, QWidget* parent = nullptr,
                      std::shared_ptr<IDvClock> clock = nullptr);
  ~TDvCapForm() override;

  TDvController& Controller() { return *FDv; }
  const TDvCaptureSettings& Settings() const { return FSettings; }
  QPushButton* CaptureButton() const { return FCapture; }
  QPushButton* Button(const char* caption) const;
  QLabel* TimeLabel() const { return FTime; }
  QLabel* SizeLabel() const { return FSize; }
  QLabel* StateLabel() const { return FState; }
  TDvAnimation* Animation() const { return FAnimation; }
  TDvPreviewPanel* Preview() const { return FPreview; }
  // Enables the buttons as the controller allows and shows the state.
  void UpdateControls();

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  void CaptureClicked();
  void ShowTime(const TDvTime& t, int64_t kb);
  void Shutdown();

  std::string FIniFile;
  TDvCaptureSettings FSettings;
  std::unique_ptr<TDvController> FDv;
  std::unique_ptr<TPowerInhibit> FInhibit;
  QTimer FTimer;
  TDvPreviewPanel* FPreview;
  TDvAnimation* FAnimation;
  QLabel* FTime;
  QLabel* FSize;
  QLabel* FState;
  QPushButton* FPlay;
  QPushButton* FFreeze;
  QPushButton* FStop;
  QPushButton* FRewind;
  QPushButton* FForward;
  QPushButton* FPrev;
  QPushButton* FNext;
  QPushButton* FCapture;
  bool FClosed = false;
};

}  // namespace movara
