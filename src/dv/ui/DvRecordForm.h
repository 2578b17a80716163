#pragma once
// TDvRecordForm, "Zgrywanie": keeps a list of DV AVI files, previews them and sends
// them to the camera's tape. The list lives in the section "DvRecord".
#include <QTimer>
#include <QWidget>
#include <memory>

#include "dv/DvController.h"
#include "dv/DvSettings.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace movara {

class TDvAnimation;
class TDvPreviewPanel;
class TPowerInhibit;

class TDvRecordForm : public QWidget {
  Q_OBJECT
 public:
  explicit TDvRecordForm(const std::string& iniFile, QWidget* parent = nullptr,
                         std::shared_ptr<IDvClock> clock = nullptr);
  ~TDvRecordForm() override;

  TDvController& Controller() { return *FDv; }
  // Adds existing files to the list (what the file dialog gives); the others are skipped.
  void AddFiles(const QStringList& files);
  std::vector<std::string> Files() const;
  QPushButton* RecordButton() const { return FRecord; }
  QPushButton* Button(const char* caption) const;
  QCheckBox* CameraControlBox() const { return FCameraControl; }
  QListWidget* List() const { return FList; }
  QLabel* TimeLabel() const { return FTime; }
  QLabel* StateLabel() const { return FState; }
  TDvAnimation* Animation() const { return FAnimation; }
  TDvPreviewPanel* Preview() const { return FPreview; }
  void UpdateControls();

 protected:
  void closeEvent(QCloseEvent* e) override;

 private:
  void RecordClicked();
  void ChooseFiles();
  void PreviewCommand(int what);
  void StopSending();
  void Shutdown();

  std::string FIniFile;
  TDvRecordSettings FSettings;
  std::unique_ptr<TDvController> FDv;
  std::unique_ptr<TPowerInhibit> FInhibit;
  QTimer FTimer;
  TDvPreviewPanel* FPreview;
  TDvAnimation* FAnimation;
  QLabel* FTime;
  QLabel* FState;
  QPushButton* FPlay;
  QPushButton* FPause;
  QPushButton* FStop;
  QPushButton* FChoose;
  QPushButton* FPrev;
  QPushButton* FNext;
  QListWidget* FList;
  QCheckBox* FCameraControl;
  QPushButton* FRecord;
  bool FClosed = false;
};

}  // namespace movara
