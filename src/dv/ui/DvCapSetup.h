#pragma once
// TDvCapSetup, "Wychwyt - konfiguracja": the capture file, the free space left for it,
// the time limit and the camera's pause after the capture.
#include <QDialog>

#include "dv/DvSettings.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QTimeEdit;

namespace movara {

class TDvCapSetup : public QDialog {
  Q_OBJECT
 public:
  explicit TDvCapSetup(const TDvCaptureSettings& settings, QWidget* parent = nullptr);
  // The settings as the user left them (file name completed).
  TDvCaptureSettings Settings() const;
  // Free KB for the file (plus an existing file's size); 0 when unknown.
  int64_t SizeLimitKB() const;

  QLineEdit* FileEdit() const { return FFile; }
  QLabel* FreeSpaceLabel() const { return FFreeValue; }
  QCheckBox* TimeLimitBox() const { return FUseLimit; }
  QTimeEdit* TimeLimitEdit() const { return FLimit; }
  QCheckBox* AutoPauseBox() const { return FAutoPause; }

 private:
  void FileChanged();
  void ChooseFile();
  QLineEdit* FFile;
  QLabel* FFreeCaption;
  QLabel* FFreeValue;
  QCheckBox* FUseLimit;
  QTimeEdit* FLimit;
  QCheckBox* FAutoPause;
  int64_t FRoomKB = -1;
};

}  // namespace movara
