#include "dv/ui/DvCapForm.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/MyIniFile.h"
#include "base/Trace.h"
#include "dv/ui/DvCapSetup.h"
#include "dv/ui/DvWidgets.h"
#include "output/ui/PowerInhibit.h"

namespace movara {

namespace {

QString TransportText(int mode, bool capturing) {
  if (capturing) return QString::fromUtf8("Wychwyt");
  switch (mode) {
    case ED_MODE_PLAY: return QString::fromUtf8("Odtwarzanie");
    case ED_MODE_FREEZE: return QString::fromUtf8("Pauza");
    case ED_MODE_STOP: return QString::fromUtf8("Stop");
    case ED_MODE_FF: case ED_MODE_PLAY_FASTEST_FWD: return QString::fromUtf8("Przewijanie do przodu");
    case ED_MODE_REW: case ED_MODE_PLAY_FASTEST_REV: return QString::fromUtf8("Przewijanie do tyłu");
    case ED_MODE_RECORD: return QString::fromUtf8("Nagrywanie");
    default: return QString::fromUtf8("Brak połączenia z kamerą");
  }
}

}  // namespace

TDvCapForm::TDvCapForm(const std::string& iniFile, QWidget* parent, std::shared_ptr<IDvClock> clock)
    : QWidget(parent), FIniFile(iniFile), FDv(std::make_unique<TDvController>(std::move(clock))),
      FInhibit(std::make_unique<TPowerInhibit>()) {
  setWindowTitle(QString::fromUtf8("Wychwyt"));
  FPreview = new TDvPreviewPanel;
  FAnimation = new TDvAnimation("Animacje/FireWire.AVI");
  FTime = new QLabel;
  FSize = new QLabel;
  FState = new QLabel;
  QFont mono("Monospace");
  mono.setStyleHint(QFont::TypeWriter);
  mono.setPointSize(14);
  FTime->setFont(mono);
  FSize->setFont(mono);
  FPlay = new QPushButton(QString::fromUtf8("Odtwarzaj"));
  FFreeze = new QPushButton(QString::fromUtf8("Wstrzymaj"));
  FStop = new QPushButton(QString::fromUtf8("Zatrzymaj"));
  FRewind = new QPushButton(QString::fromUtf8("Przewiń do tyłu"));
  FForward = new QPushButton(QString::fromUtf8("Przewiń do przodu"));
  FPrev = new QPushButton(QString::fromUtf8("Pokaż poprzednią klatkę"));
  FNext = new QPushButton(QString::fromUtf8("Pokaż następną klatkę"));
  FCapture = new QPushButton(QString::fromUtf8("&Rozpocznij wychwyt"));

  auto* info = new QVBoxLayout;
  info->addWidget(FAnimation);
  info->addWidget(FTime);
  info->addWidget(FSize);
  info->addWidget(FState);
  info->addStretch();
  auto* top = new QHBoxLayout;
  top->addWidget(FPreview, 1);
  top->addLayout(info);
  auto* transport = new QGridLayout;
  transport->addWidget(FPlay, 0, 0);
  transport->addWidget(FFreeze, 0, 1);
  transport->addWidget(FStop, 0, 2);
  transport->addWidget(FRewind, 1, 0);
  transport->addWidget(FForward, 1, 1);
  transport->addWidget(FPrev, 2, 0);
  transport->addWidget(FNext, 2, 1);
  transport->addWidget(FCapture, 1, 2, 2, 1);
  FCapture->setMinimumHeight(48);
  auto* box = new QVBoxLayout(this);
  box->addLayout(top, 1);
  box->addLayout(transport);

  connect(FPlay, &QPushButton::clicked, this, [this] { FDv->Play(); UpdateControls(); });
  connect(FFreeze, &QPushButton::clicked, this, [this] { FDv->Freeze(); UpdateControls(); });
  connect(FStop, &QPushButton::clicked, this, [this] { FDv->StopTape(); UpdateControls(); });
  connect(FRewind, &QPushButton::clicked, this, [this] { FDv->Rewind(); UpdateControls(); });
  connect(FForward, &QPushButton::clicked, this, [this] { FDv->FastForward(); UpdateControls(); });
  connect(FPrev, &QPushButton::clicked, this, [this] { FDv->StepBack(); UpdateControls(); });
  connect(FNext, &QPushButton::clicked, this, [this] { FDv->StepForward(); UpdateControls(); });
  connect(FCapture, &QPushButton::clicked, this, [this] { CaptureClicked(); });

  // The controller's callbacks: all but the pictures come on this thread.
  FDv->OnTimeDisplay = [this](const TDvTime& t, int64_t kb) { ShowTime(t, kb); };
  FDv->OnTick = [this] { UpdateControls(); };
  FDv->OnLimitReached = [this] {
    QMetaObject::invokeMethod(this, [this] {
      if (FDv->Capturing()) CaptureClicked();
    }, Qt::QueuedConnection);
  };
  FDv->OnPicture = [this](const TDIB& d) { FPreview->Offer(d); };
  FSettings.Read(FIniFile);
  ShowTime(TDvTime{}, -1);
  FDv->SetPreviewPanelSize(FPreview->width(), FPreview->height());
  FDv->SetPreviewAfterCapture(true);
  ConnectDvController(*FDv, this, FTimer);
  // While the window is open the screen saver and the monitor's power-off stay away.
  FInhibit->Acquire(QString::fromUtf8("Wychwyt z kamery DV"));
  FDv->StartCameraPreview();
  UpdateControls();
}

TDvCapForm::~TDvCapForm() { Shutdown(); }

QPushButton* TDvCapForm::Button(const char* caption) const {
  for (QPushButton* b : {FPlay, FFreeze, FStop, FRewind, FForward, FPrev, FNext, FCapture})
    if (b->text() == QString::fromUtf8(caption)) return b;
  return nullptr;
}

void TDvCapForm::ShowTime(const TDvTime& t, int64_t kb) {
  FTime->setText(DvTimeText(t));
  FSize->setText(kb < 0 ? QString("-------") : QString::fromStdString(FormatCaptureSize(kb)));
}

void TDvCapForm::UpdateControls() {
  const bool capturing = FDv->Capturing();
  FPlay->setEnabled(!capturing && FDv->CanPlay());
  FFreeze->setEnabled(!capturing && FDv->CanFreeze());
  FStop->setEnabled(!capturing && FDv->CanStopTape());
  FRewind->setEnabled(!capturing && FDv->CanRewind());
  FForward->setEnabled(!capturing && FDv->CanFastForward());
  FPrev->setEnabled(!capturing && FDv->CanStep());
  FNext->setEnabled(!capturing && FDv->CanStep());
  FCapture->setEnabled(FDv->HasCamera() && (capturing || FDv->Mode() == dmCameraPreview));
  FCapture->setText(capturing ? QString::fromUtf8("Zakończ wychwyt") : QString::fromUtf8("&Rozpocznij wychwyt"));
  FAnimation->SetActive(capturing);
  FState->setText(FDv->HasCamera() ? TransportText(FDv->TransportMode(), capturing)
                                   : QString::fromUtf8("Brak połączenia z kamerą"));
}

void TDvCapForm::CaptureClicked() {
  if (FDv->Capturing()) {
    FDv->StopCapture();
    UpdateControls();
    return;
  }
  TDvCaptureSettings s = FSettings;
  int64_t sizeKB = 0;
  {
    TDvCapSetup setup(FSettings, this);
    if (setup.exec() != QDialog::Accepted) return;
    s = setup.Settings();
    sizeKB = setup.SizeLimitKB();
  }
  FSettings = s;
  FDv->SetTimeLimit(s.UseTimeLimit, s.TimeLimitValue);
  FDv->SetCaptureFileName(s.FileName);
  FDv->SetStopTapeAfterCapture(s.AutoPauseCamera);
  FDv->SetSizeLimit(sizeKB > 0, sizeKB);
  FDv->StartCapture();
  ShowTime(TDvTime{}, -1);
  UpdateControls();
}

void TDvCapForm::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Escape && FDv->Capturing()) {
    FCapture->click();
    return;
  }
  QWidget::keyPressEvent(e);
}

void TDvCapForm::Shutdown() {
  if (FClosed) return;
  FClosed = true;
  FTimer.stop();
  if (FDv->Capturing()) FDv->StopCapture();
  FDv->SetPreviewAfterCapture(false);
  const int mode = FDv->TransportMode();
  if (FDv->HasCamera() && mode != ED_MODE_FREEZE && mode != ED_MODE_STOP && mode != 0) FDv->StopTape();
  FDv->StopCameraPreview();
  FInhibit->Release();
  try {
    FSettings.Write(FIniFile);
  } catch (const EIniFileError& e) {
    TraceF("[TDvCapForm.Close] %s", e.what());
  }
}

void TDvCapForm::closeEvent(QCloseEvent* e) {
  Shutdown();
  QWidget::closeEvent(e);
}

}  // namespace movara
