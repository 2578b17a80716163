#include "dv/ui/DvRecordForm.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/AppPaths.h"
#include "base/MyIniFile.h"
#include "base/Trace.h"
#include "base/UserMessages.h"
#include "dv/ui/DvWidgets.h"
#include "output/ui/PowerInhibit.h"

namespace movara {

namespace {
enum { pcPlay, pcPause, pcStop, pcPrev, pcNext };
}

TDvRecordForm::TDvRecordForm(const std::string& iniFile, QWidget* parent, std::shared_ptr<IDvClock> clock)
    : QWidget(parent), FIniFile(iniFile), FDv(std::make_unique<TDvController>(std::move(clock))),
      FInhibit(std::make_unique<TPowerInhibit>()) {
  setWindowTitle(QString::fromUtf8("Zgrywanie"));
  FPreview = new TDvPreviewPanel;
  FAnimation = new TDvAnimation("Animacje/Record.AVI");
  FTime = new QLabel;
  QFont mono("Monospace");
  mono.setStyleHint(QFont::TypeWriter);
  mono.setPointSize(14);
  FTime->setFont(mono);
  FState = new QLabel;
  FPlay = new QPushButton(QString::fromUtf8("Odtwarzaj"));
  FPause = new QPushButton(QString::fromUtf8("Wstrzymaj"));
  FStop = new QPushButton(QString::fromUtf8("Zatrzymaj"));
  FChoose = new QPushButton(QString::fromUtf8("Wybierz własną listę plików avi"));
  FPrev = new QPushButton(QString::fromUtf8("Pokaż poprzednią klatkę"));
  FNext = new QPushButton(QString::fromUtf8("Pokaż następną klatkę"));
  FList = new QListWidget;
  FCameraControl = new QCheckBox(QString::fromUtf8("Sterowanie kamerą"));
  FRecord = new QPushButton(QString::fromUtf8("&Rozpocznij nagrywanie"));
  FRecord->setMinimumHeight(48);

  auto* info = new QVBoxLayout;
  info->addWidget(FAnimation);
  info->addWidget(FTime);
  info->addWidget(FState);
  info->addStretch();
  auto* top = new QHBoxLayout;
  top->addWidget(FPreview, 1);
  top->addLayout(info);
  auto* buttons = new QGridLayout;
  buttons->addWidget(FPlay, 0, 0);
  buttons->addWidget(FPause, 0, 1);
  buttons->addWidget(FStop, 0, 2);
  buttons->addWidget(FPrev, 1, 0);
  buttons->addWidget(FNext, 1, 1);
  buttons->addWidget(FChoose, 1, 2);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(FCameraControl);
  bottom->addStretch();
  bottom->addWidget(FRecord);
  auto* box = new QVBoxLayout(this);
  box->addLayout(top, 1);
  box->addLayout(buttons);
  box->addWidget(FList);
  box->addLayout(bottom);

  connect(FPlay, &QPushButton::clicked, this, [this] { PreviewCommand(pcPlay); });
  connect(FPause, &QPushButton::clicked, this, [this] { PreviewCommand(pcPause); });
  connect(FStop, &QPushButton::clicked, this, [this] { PreviewCommand(pcStop); });
  connect(FPrev, &QPushButton::clicked, this, [this] { PreviewCommand(pcPrev); });
  connect(FNext, &QPushButton::clicked, this, [this] { PreviewCommand(pcNext); });
  connect(FChoose, &QPushButton::clicked, this, [this] { ChooseFiles(); });
  connect(FRecord, &QPushButton::clicked, this, [this] { RecordClicked(); });

  FDv->OnTimeDisplay = [this](const TDvTime& t, int64_t) { FTime->setText(DvTimeText(t)); };
  FDv->OnEndOfList = [this] {
    QMetaObject::invokeMethod(this, [this] {
      if (FDv->Sending()) StopSending();
    }, Qt::QueuedConnection);
  };
  FDv->OnPicture = [this](const TDIB& d) { FPreview->Offer(d); };
  FSettings.Read(FIniFile);
  FCameraControl->setChecked(FSettings.CameraControl);
  AddFiles([this] {
    QStringList l;
    for (const std::string& f : FSettings.Files) l << QString::fromStdString(f);
    return l;
  }());
  FTime->setText(DvTimeText(TDvTime{}));
  FDv->SetPreviewPanelSize(FPreview->width(), FPreview->height());
  ConnectDvController(*FDv, this, FTimer);
  // While the window is open the screen saver and the monitor's power-off stay away.
  FInhibit->Acquire(QString::fromUtf8("Zgrywanie na kamerę DV"));
  connect(&FTimer, &QTimer::timeout, this, [this] { UpdateControls(); });
  UpdateControls();
}

TDvRecordForm::~TDvRecordForm() { Shutdown(); }

QPushButton* TDvRecordForm::Button(const char* caption) const {
  for (QPushButton* b : {FPlay, FPause, FStop, FChoose, FPrev, FNext, FRecord})
    if (b->text() == QString::fromUtf8(caption)) return b;
  return nullptr;
}

void TDvRecordForm::AddFiles(const QStringList& files) {
  for (const QString& f : files)
    if (FileExists(f.toStdString())) FList->addItem(f);
  UpdateControls();
}

std::vector<std::string> TDvRecordForm::Files() const {
  std::vector<std::string> out;
  for (int i = 0; i < FList->count(); ++i) out.push_back(FList->item(i)->text().toStdString());
  return out;
}

void TDvRecordForm::ChooseFiles() {
  const QStringList files = QFileDialog::getOpenFileNames(this, FChoose->text(),
                                                          QString::fromStdString(FSettings.FileListDefaultDir),
                                                          QString::fromUtf8("Pliki animacji AVI (*.avi *.AVI)"));
  if (files.isEmpty()) return;
  FSettings.FileListDefaultDir = ExtractFilePath(files.first().toStdString());
  FList->clear();
  AddFiles(files);
}

void TDvRecordForm::UpdateControls() {
  const bool sending = FDv->Sending();
  const bool previewing = FDv->Mode() == dmFilePreview;
  const TDvGraphState s = previewing ? FDv->GraphState() : gsStopped;
  const bool haveFiles = FList->count() > 0;
  FPlay->setEnabled(!sending && haveFiles && s != gsRunning);
  FPause->setEnabled(!sending && haveFiles && s != gsPaused);
  FStop->setEnabled(!sending && previewing);
  FPrev->setEnabled(!sending && previewing && s == gsPaused);
  FNext->setEnabled(!sending && previewing && s == gsPaused);
  FChoose->setEnabled(!sending);
  FList->setEnabled(!sending);
  FCameraControl->setEnabled(!sending);
  FRecord->setEnabled(sending || haveFiles);
  FRecord->setText(sending ? QString::fromUtf8("Zakończ nagrywanie") : QString::fromUtf8("&Rozpocznij nagrywanie"));
  FAnimation->SetActive(sending);
  FState->setText(sending ? QString::fromUtf8("Nagrywanie: ") + QString::fromStdString(ExtractFileName(FDv->PlayList().Current()))
                  : previewing ? (s == gsRunning ? QString::fromUtf8("Odtwarzanie") : QString::fromUtf8("Pauza"))
                               : QString::fromUtf8("Stop"));
}

void TDvRecordForm::PreviewCommand(int what) {
  if (what == pcStop) {
    FDv->StopFilePreview();
  } else if (what == pcPlay || what == pcPause) {
    if (FDv->Mode() != dmFilePreview) {
      FDv->PlayList().Assign(Files());
      FDv->StartFilePreview(what == pcPause);
    } else if (what == pcPlay) {
      FDv->Run();
    } else {
      FDv->Pause();
    }
  } else {
    FDv->StepMediaPosition(what == pcNext ? 0.04 : -0.04);
    // A paused preview has no timer running: the new place is shown here.
    FTime->setText(DvTimeText(DvFileTime(FDv->MediaPosition())));
  }
  UpdateControls();
}

void TDvRecordForm::StopSending() {
  FDv->StopSendToCamera();
  UpdateControls();
}

void TDvRecordForm::RecordClicked() {
  if (FDv->Sending()) {
    StopSending();
    return;
  }
  FDv->StopFilePreview();
  FDv->PlayList().Assign(Files());
  const bool control = FCameraControl->isChecked();
  if (!FDv->StartSendToCamera(control)) {
    UpdateControls();
    return;
  }
  if (control && !FDv->MediumPresent()) {
    ShowMessage(QString::fromUtf8("Najpierw włóż taśmę do kamery!").toStdString(), TMsgKind::Warning);
    StopSending();
    return;
  }
  if (control && FDv->WriteProtected()) {
    ShowMessage(QString::fromUtf8("Najpierw odbezpiecz taśmę przed zapisem!").toStdString(), TMsgKind::Warning);
    StopSending();
    return;
  }
  if (!FDv->Run()) {
    StopSending();
    return;
  }
  UpdateControls();
}

void TDvRecordForm::Shutdown() {
  if (FClosed) return;
  FClosed = true;
  FTimer.stop();
  if (FDv->Sending()) FDv->StopSendToCamera();
  FDv->StopFilePreview();
  FInhibit->Release();
  FSettings.CameraControl = FCameraControl->isChecked();
  FSettings.Files = Files();
  try {
    FSettings.Write(FIniFile);
  } catch (const EIniFileError& e) {
    TraceF("[TDvRecordForm.Close] %s", e.what());
  }
}

void TDvRecordForm::closeEvent(QCloseEvent* e) {
  Shutdown();
  QWidget::closeEvent(e);
}

}  // namespace movara
