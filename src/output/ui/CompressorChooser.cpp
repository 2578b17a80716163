#include "output/ui/CompressorChooser.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QThread>
#include <QVBoxLayout>

#include "base/Format.h"
#include "base/Trace.h"

namespace movara {
namespace {

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

// What the Option of a compressor's settings chooses, by its code.
QStringList OptionNames(uint32_t handler, int maxOption) {
  QStringList names;
  if (VideoSameFourCC(handler, VideoFourCC("MJPG"))) {
    names << Q("Chrominancja 4:2:2") << Q("Chrominancja 4:2:0");
  } else if (VideoSameFourCC(handler, VideoFourCC("HFYU"))) {
    names << Q("Przewidywanie z lewej") << Q("Przewidywanie płaszczyzny");
  } else if (VideoSameFourCC(handler, VideoFourCC("FFV1"))) {
    names << Q("Kodowanie Golomba-Rice'a") << Q("Koder zakresowy");
  } else if (VideoSameFourCC(handler, VideoFourCC("H264"))) {
    names << "ultrafast" << "superfast" << "veryfast" << "faster" << "fast" << "medium" << "slow" << "slower"
          << "veryslow";
  }
  while (names.size() <= maxOption) names << Q("Wariant %1").arg(names.size());
  while (names.size() > maxOption + 1) names.removeLast();
  return names;
}

// The compressor's own settings: its default quality, the longest run between key
// frames, the data rate and its variant.
class TCompressorConfigureForm : public QDialog {
 public:
  TCompressorConfigureForm(const TVideoCompressorInfo& info, const TVideoCompressorState& state, int maxOption,
                           QWidget* parent)
      : QDialog(parent) {
    setObjectName("CompressorConfigureForm");
    setWindowTitle(Q("Konfiguracja kompresora - %1").arg(QString::fromStdString(info.szName)));
    auto* form = new QFormLayout;
    cbOwnQuality = new QCheckBox(Q("Jakość ustala kompresor"), this);
    cbOwnQuality->setObjectName("cbOwnQuality");
    seQuality = new QSpinBox(this);
    seQuality->setObjectName("seQuality");
    seQuality->setRange(0, 10000);
    seQuality->setSingleStep(100);
    cbOwnQuality->setChecked(state.Quality < 0);
    seQuality->setValue(state.Quality < 0 ? 7500 : state.Quality);
    seQuality->setEnabled(state.Quality >= 0);
    connect(cbOwnQuality, &QCheckBox::toggled, seQuality, [this](bool on) { seQuality->setEnabled(!on); });
    auto* quality = new QHBoxLayout;
    quality->addWidget(seQuality);
    quality->addWidget(cbOwnQuality);
    form->addRow(Q("Jakość domyślna (0..10000):"), quality);
    seKeyInterval = new QSpinBox(this);
    seKeyInterval->setObjectName("seKeyInterval");
    seKeyInterval->setRange(0, 1000000);
    seKeyInterval->setSpecialValueText(Q("własny kompresora"));
    seKeyInterval->setValue(state.KeyInterval);
    form->addRow(Q("Najdłuższy odstęp klatek kluczowych:"), seKeyInterval);
    seDataRate = new QSpinBox(this);
    seDataRate->setObjectName("seDataRate");
    seDataRate->setRange(0, 1000000);
    seDataRate->setSpecialValueText(Q("według jakości"));
    seDataRate->setSuffix(Q(" KB/s"));
    seDataRate->setValue(state.DataRate);
    form->addRow(Q("Szybkość danych:"), seDataRate);
    cbOption = new QComboBox(this);
    cbOption->setObjectName("cbOption");
    cbOption->addItems(OptionNames(info.fccHandler, maxOption));
    cbOption->setCurrentIndex(std::clamp(state.Option, 0, maxOption));
    cbOption->setEnabled(maxOption > 0);
    form->addRow(Q("Wariant:"), cbOption);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(Q("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(Q("Anuluj"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* all = new QVBoxLayout(this);
    all->addLayout(form);
    all->addWidget(buttons);
  }
  TVideoCompressorState State() const {
    TVideoCompressorState s;
    s.Quality = cbOwnQuality->isChecked() ? ICQUALITY_DEFAULT : seQuality->value();
    s.KeyInterval = seKeyInterval->value();
    s.DataRate = seDataRate->value();
    s.Option = cbOption->currentIndex();
    return s;
  }

 private:
  QCheckBox* cbOwnQuality;
  QSpinBox* seQuality;
  QSpinBox* seKeyInterval;
  QSpinBox* seDataRate;
  QComboBox* cbOption;
};

}  // namespace

TCompressorChooser::TCompressorChooser(const std::string& title, const TVideoFormat* input, const TCompVars& start,
                                       QWidget* parent)
    : QDialog(parent) {
  setObjectName("CompressorChooser");
  setWindowTitle(QString::fromStdString(title));
  FOffered = VideoCompressorsFor(input);

  cbCompressor = new QComboBox(this);
  cbCompressor->setObjectName("cbCompressor");
  for (const TVideoCompressorInfo& info : FOffered)
    cbCompressor->addItem(QString::fromStdString(info.szDescription), QVariant::fromValue(info.fccHandler));
  bbConfigure = new QPushButton(Q("Konfig&uruj..."), this);
  bbConfigure->setObjectName("bbConfigure");

  tbQuality = new QSlider(Qt::Horizontal, this);
  tbQuality->setObjectName("tbQuality");
  tbQuality->setRange(0, 10000);
  tbQuality->setPageStep(500);
  lQualityValue = new QLabel(this);
  lQualityValue->setMinimumWidth(36);
  connect(tbQuality, &QSlider::valueChanged, lQualityValue,
          [this](int v) { lQualityValue->setText(QString::number(v / 100)); });
  cbKeyFrame = new QCheckBox(Q("Klatka &kluczowa co"), this);
  cbKeyFrame->setObjectName("cbKeyFrame");
  seKeyFrame = new QSpinBox(this);
  seKeyFrame->setObjectName("seKeyFrame");
  seKeyFrame->setRange(1, 9999);
  cbDataRate = new QCheckBox(Q("&Szybkość danych"), this);
  cbDataRate->setObjectName("cbDataRate");
  seDataRate = new QSpinBox(this);
  seDataRate->setObjectName("seDataRate");
  seDataRate->setRange(1, 1000000);
  connect(cbKeyFrame, &QCheckBox::toggled, seKeyFrame, &QWidget::setEnabled);
  connect(cbDataRate, &QCheckBox::toggled, seDataRate, &QWidget::setEnabled);

  auto* grid = new QGridLayout;
  auto* lCompressor = new QLabel(Q("&Kompresor:"), this);
  lCompressor->setBuddy(cbCompressor);
  auto* lQuality = new QLabel(Q("&Jakość kompresji:"), this);
  lQuality->setBuddy(tbQuality);
  grid->addWidget(lCompressor, 0, 0);
  grid->addWidget(cbCompressor, 0, 1, 1, 3);
  grid->addWidget(bbConfigure, 0, 4);
  grid->addWidget(lQuality, 1, 0);
  grid->addWidget(tbQuality, 1, 1, 1, 2);
  grid->addWidget(lQualityValue, 1, 3);
  grid->addWidget(cbKeyFrame, 2, 0);
  grid->addWidget(seKeyFrame, 2, 1);
  grid->addWidget(new QLabel(Q("klatek"), this), 2, 2);
  grid->addWidget(cbDataRate, 3, 0);
  grid->addWidget(seDataRate, 3, 1);
  grid->addWidget(new QLabel(Q("KB/s"), this), 3, 2);
  grid->setColumnStretch(2, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(Q("OK"));
  buttons->button(QDialogButtonBox::Cancel)->setText(Q("Anuluj"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* all = new QVBoxLayout(this);
  all->addLayout(grid);
  all->addWidget(buttons);

  // the starting settings
  int index = 0;
  for (int i = 0; i < static_cast<int>(FOffered.size()); ++i)
    if (VideoSameFourCC(FOffered[static_cast<size_t>(i)].fccHandler, start.fccHandler)) index = i;
  cbCompressor->setCurrentIndex(index);
  if (!FOffered.empty() && VideoSameFourCC(FOffered[static_cast<size_t>(index)].fccHandler, start.fccHandler)) {
    FState = start.State;
    FStateHandler = FOffered[static_cast<size_t>(index)].fccHandler;
  }
  tbQuality->setValue(start.lQ < 0 ? 7500 : std::clamp(start.lQ, 0, 10000));
  lQualityValue->setText(QString::number(tbQuality->value() / 100));
  cbKeyFrame->setChecked(start.lKey > 0);
  seKeyFrame->setValue(start.lKey > 0 ? start.lKey : 15);
  cbDataRate->setChecked(start.lDataRate > 0);
  seDataRate->setValue(start.lDataRate > 0 ? start.lDataRate : 300);
  FDefaultQuality = start.lQ < 0;
  FStartQuality = start.lQ;
  connect(tbQuality, &QSlider::valueChanged, this, [this] { FDefaultQuality = false; });
  connect(cbCompressor, &QComboBox::currentIndexChanged, this, &TCompressorChooser::CompressorChanged);
  connect(bbConfigure, &QPushButton::clicked, this, &TCompressorChooser::Configure);
  CompressorChanged();
}

uint32_t TCompressorChooser::CurrentHandler() const {
  const int i = cbCompressor->currentIndex();
  return i >= 0 && i < static_cast<int>(FOffered.size()) ? FOffered[static_cast<size_t>(i)].fccHandler : 0;
}

void TCompressorChooser::CompressorChanged() {
  const int i = cbCompressor->currentIndex();
  const uint32_t flags = i >= 0 && i < static_cast<int>(FOffered.size()) ? FOffered[static_cast<size_t>(i)].dwFlags : 0;
  // a state block belongs to its compressor
  if (FStateHandler != CurrentHandler()) {
    FState.clear();
    FStateHandler = CurrentHandler();
  }
  tbQuality->setEnabled(flags & VIDCF_QUALITY);
  cbKeyFrame->setEnabled(flags & VIDCF_TEMPORAL);
  seKeyFrame->setEnabled((flags & VIDCF_TEMPORAL) && cbKeyFrame->isChecked());
  cbDataRate->setEnabled(flags & VIDCF_CRUNCH);
  seDataRate->setEnabled((flags & VIDCF_CRUNCH) && cbDataRate->isChecked());
  bbConfigure->setEnabled(CurrentHandler() != 0 && CurrentHandler() != VideoFourCC("DIB "));
}

void TCompressorChooser::Configure() {
  const int i = cbCompressor->currentIndex();
  if (i < 0 || i >= static_cast<int>(FOffered.size())) return;
  const TVideoCompressorInfo& info = FOffered[static_cast<size_t>(i)];
  auto session = TVideoCompressorSession::Open(info.fccType, info.fccHandler, ICMODE_QUERY);
  if (!session) return;
  if (!FState.empty() && session->SetState(FState.data(), FState.size()) == 0) {
    TraceF("[TCompressorChooser.Configure] The saved state of %s is not taken; its defaults are shown.",
           info.szName.c_str());
    session->SetState(nullptr, 0);
  }
  TCompressorConfigureForm form(info, session->State(), session->MaxOption(), this);
  if (form.exec() != QDialog::Accepted) return;
  if (session->SetState(form.State()) != ICERR_OK) return;
  FState = session->GetState();
  FStateHandler = info.fccHandler;
}

TCompVars TCompressorChooser::Result() const {
  TCompVars c;
  c.dwFlags = ICMF_COMPVARS_VALID;
  c.fccType = ICTYPE_VIDEO;
  c.fccHandler = CurrentHandler();
  const int i = cbCompressor->currentIndex();
  const uint32_t flags = i >= 0 && i < static_cast<int>(FOffered.size()) ? FOffered[static_cast<size_t>(i)].dwFlags : 0;
  // an untouched default quality stays the compressor's own
  c.lQ = (flags & VIDCF_QUALITY) && !FDefaultQuality ? tbQuality->value() : FStartQuality;
  c.lKey = (flags & VIDCF_TEMPORAL) && cbKeyFrame->isChecked() ? seKeyFrame->value() : 0;
  c.lDataRate = (flags & VIDCF_CRUNCH) && cbDataRate->isChecked() ? seDataRate->value() : 0;
  c.State = FState;
  return c;
}

bool ChooseVideoCompressor(TWindowHandle owner, const std::string& title, const TVideoFormat* input,
                           TCompVars& chosen) {
  auto ask = [&] {
    TCompressorChooser dialog(title, input, chosen, static_cast<QWidget*>(owner));
    if (dialog.exec() != QDialog::Accepted) return false;
    chosen = dialog.Result();
    return chosen.fccHandler != 0;
  };
  if (!qApp) return false;
  if (QThread::currentThread() == qApp->thread()) return ask();
  // the film thread asks: the window opens on the user-interface thread, which never
  // waits on the film thread without running its events
  bool result = false;
  QMetaObject::invokeMethod(qApp, [&] { result = ask(); }, Qt::BlockingQueuedConnection);
  return result;
}

void InstallCompressorDialog() { TVideoCompressor::CompressorDialogHook() = ChooseVideoCompressor; }

}  // namespace movara
