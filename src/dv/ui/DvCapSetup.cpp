#include "dv/ui/DvCapSetup.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "base/AppPaths.h"

namespace movara {

TDvCapSetup::TDvCapSetup(const TDvCaptureSettings& settings, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8("Wychwyt - konfiguracja"));
  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(QString::fromUtf8("Plik wychwytu:")), 0, 0);
  FFile = new QLineEdit(QString::fromStdString(settings.FileName));
  FFile->setMinimumWidth(320);
  grid->addWidget(FFile, 0, 1);
  auto* browse = new QPushButton("...");
  browse->setFixedWidth(32);
  grid->addWidget(browse, 0, 2);
  FFreeCaption = new QLabel(QString::fromUtf8("Na dysku pozostało wolnych:"));
  FFreeValue = new QLabel;
  grid->addWidget(FFreeCaption, 1, 0);
  grid->addWidget(FFreeValue, 1, 1);
  FUseLimit = new QCheckBox(QString::fromUtf8("Wychwyt filmu o podanej długości:"));
  FUseLimit->setChecked(settings.UseTimeLimit);
  FLimit = new QTimeEdit;
  FLimit->setDisplayFormat("H:mm:ss");
  FLimit->setTime(QTime(0, 0).addMSecs(std::max(settings.TimeLimitValue, 0)));
  FLimit->setEnabled(settings.UseTimeLimit);
  grid->addWidget(FUseLimit, 2, 0);
  grid->addWidget(FLimit, 2, 1);
  FAutoPause = new QCheckBox(QString::fromUtf8("Automatyczne wstrzymanie kamery po zakończeniu wychwytu"));
  FAutoPause->setChecked(settings.AutoPauseCamera);
  grid->addWidget(FAutoPause, 3, 0, 1, 3);
  auto* hint = new QLabel(QString::fromUtf8(
      "Po wciśnięciu klawisza \"Rozpocznij wychwyt\" można zatrzymać wychwyt poprzez wciśnięcie klawisza ESC lub "
      "kliknięcie klawisza \"Zatrzymaj wychwyt\"."));
  hint->setWordWrap(true);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->button(QDialogButtonBox::Ok)->setText(QString::fromUtf8("Rozpocznij wychwyt"));
  buttons->button(QDialogButtonBox::Cancel)->setText(QString::fromUtf8("Anuluj"));
  auto* box = new QVBoxLayout(this);
  box->addLayout(grid);
  box->addWidget(hint);
  box->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(browse, &QPushButton::clicked, this, [this] { ChooseFile(); });
  connect(FUseLimit, &QCheckBox::toggled, FLimit, &QWidget::setEnabled);
  connect(FFile, &QLineEdit::editingFinished, this, [this] { FileChanged(); });
  FileChanged();
}

void TDvCapSetup::FileChanged() {
  const std::string full = CompleteCaptureFileName(FFile->text().toStdString(), UserFolder());
  FFile->setText(QString::fromStdString(full));
  FFile->setToolTip(QString::fromStdString(full));
  FRoomKB = CaptureRoomKB(full);
  FFreeCaption->setVisible(FRoomKB >= 0);
  FFreeValue->setVisible(FRoomKB >= 0);
  if (FRoomKB >= 0) FFreeValue->setText(QString::fromStdString(FormatFreeSpace(FRoomKB)));
}

void TDvCapSetup::ChooseFile() {
  QFileDialog dialog(this, windowTitle(), QString::fromStdString(ExtractFilePath(FFile->text().toStdString())),
                     QString::fromUtf8("Pliki animacji AVI (*.avi *.AVI)"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix("avi");
  dialog.selectFile(QString::fromStdString(ExtractFileName(FFile->text().toStdString())));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  FFile->setText(dialog.selectedFiles().first());
  FileChanged();
}

TDvCaptureSettings TDvCapSetup::Settings() const {
  TDvCaptureSettings s;
  s.FileName = CompleteCaptureFileName(FFile->text().toStdString(), UserFolder());
  s.UseTimeLimit = FUseLimit->isChecked();
  s.TimeLimitValue = QTime(0, 0).msecsTo(FLimit->time());
  s.AutoPauseCamera = FAutoPause->isChecked();
  return s;
}

int64_t TDvCapSetup::SizeLimitKB() const { return std::max<int64_t>(FRoomKB, 0); }

}  // namespace movara
