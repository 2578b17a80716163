#include "app/ui/OptionsForm.h"

#include <QButtonGroup>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <cstdlib>

#include "base/Format.h"
#include "base/MyIniFile.h"
#include "base/UserMessages.h"

namespace movara {

const char* const OptionsWarningText =
    "Pojawienie się wykrzyknika w oknie \"Opcje programu\" świadczy o tym, że wykonywane wcześniejsze operacje "
    "renderowania wykonywane były na pamięci systemowej zamiast na pamięci karty graficznej.\n"
    "W przypadku niektórych kart graficznych operacje renderowania mogą przebiegać nieprawidłowo. \n"
    "Dlatego należy zastosować się do następujących wskazówek:\n"
    "A) Jeżeli posiadana karta graficzna posiada tylko 8MB pamięci RAM to należy ustawić opcję \"Jakość obrazu\" na "
    "\"dobrą\".\n"
    "B) Jeżeli pracujemy w wysokiej rozdzielczości i karta graficzna posiada mniej niż 16MB RAM to należy zamknąć "
    "program \"Movara\". Następnie ustawić rozdzielczość ekranu na 800x600 x 16 bitów (High Color) i ponownie "
    "uruchomić program.\n"
    "\n"
    "Po powtórnym otwarciu okna \"Opcje programu\" wykrzyknik powinien zniknąć.";

namespace {

constexpr const char* kSection = "Application Options";

const char* const kWarningHint =
    "Pojawienie się tego wykrzyknika świadczy o możliwości nieprawidłowego działania programu. Kliknij tutaj aby "
    "otrzymać więcej informacji.";

QGroupBox* RadioGroup(const char* title, std::initializer_list<const char*> items, QButtonGroup*& group,
                      QWidget* parent) {
  auto* box = new QGroupBox(QString::fromUtf8(title), parent);
  auto* layout = new QVBoxLayout(box);
  group = new QButtonGroup(box);
  int id = 0;
  for (const char* item : items) {
    auto* b = new QRadioButton(QString::fromUtf8(item), box);
    group->addButton(b, id++);
    layout->addWidget(b);
  }
  layout->addStretch(1);
  return box;
}

QDoubleSpinBox* PositionEdit(QWidget* parent) {
  auto* e = new QDoubleSpinBox(parent);
  e->setRange(-10, 10);
  e->setDecimals(2);
  e->setSingleStep(0.1);
  e->setAlignment(Qt::AlignRight);
  return e;
}

// A float of the file: "0.5" (or "0,5" as some files have it); anything else is 0.
double ReadFloat(const TMyIniFile& ini, const char* key) {
  std::string text = ini.ReadString(kSection, key, "0");
  for (char& c : text)
    if (c == ',') c = '.';
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  return end == text.c_str() ? 0.0 : v;
}

}  // namespace

TOptionsForm::TOptionsForm(const std::string& iniFile, bool showWarning, QWidget* parent)
    : QDialog(parent), FIniFile(iniFile) {
  setObjectName("OptionsForm");
  setWindowTitle(QString::fromUtf8("Opcje programu"));
  auto* layout = new QVBoxLayout(this);
  auto* groups = new QHBoxLayout;
  groups->addWidget(RadioGroup("Jakość obrazu", {"dobra", "bardzo dobra", "najlepsza"}, rgTextureSize, this));
  groups->addWidget(RadioGroup("Filtrowanie obrazu", {"bez filtrowania", "linearyzacja"}, rgTextureQuality, this));
  layout->addLayout(groups);

  auto* position = new QGroupBox(QString::fromUtf8("Korekta pozycji obrazu"), this);
  auto* grid = new QHBoxLayout(position);
  seCameraScaleX = PositionEdit(position);
  seCameraScaleY = PositionEdit(position);
  auto* lx = new QLabel(QString::fromUtf8("X:"), position);
  lx->setBuddy(seCameraScaleX);
  auto* ly = new QLabel(QString::fromUtf8("Y:"), position);
  ly->setBuddy(seCameraScaleY);
  grid->addWidget(lx);
  grid->addWidget(seCameraScaleX, 1);
  grid->addSpacing(12);
  grid->addWidget(ly);
  grid->addWidget(seCameraScaleY, 1);
  layout->addWidget(position);

  auto* buttons = new QHBoxLayout;
  sbWarning = new QToolButton(this);
  sbWarning->setObjectName("sbWarning");
  sbWarning->setText("!");
  QFont bold = sbWarning->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.4);
  sbWarning->setFont(bold);
  sbWarning->setStyleSheet("QToolButton { color: #c00000; }");
  sbWarning->setAutoRaise(true);
  sbWarning->setToolTip(QString::fromUtf8(kWarningHint));
  sbWarning->setVisible(showWarning);
  connect(sbWarning, &QToolButton::clicked, this, &TOptionsForm::ShowWarning);
  btnAccept = new QPushButton(QString::fromUtf8("A&kceptuj"), this);
  btnAccept->setDefault(true);
  btnCancel = new QPushButton(QString::fromUtf8("A&nuluj"), this);
  buttons->addWidget(sbWarning);
  buttons->addStretch(1);
  buttons->addWidget(btnAccept);
  buttons->addWidget(btnCancel);
  layout->addLayout(buttons);

  connect(btnAccept, &QPushButton::clicked, this, [this] {
    if (!WriteToIni())
      ShowMessage(Format("Nie udało się zapisać opcji programu w pliku %s", FIniFile.c_str()), TMsgKind::Error);
    accept();
  });
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  ReadFromIni();
}

void TOptionsForm::ReadFromIni() {
  const TMyIniFile ini(FIniFile);
  int size = ini.ReadInteger(kSection, "TextureSize", 1);
  if (size < 0 || size > 2) size = 0;  // any other value is the smallest size
  int quality = ini.ReadInteger(kSection, "TextureQuality", 0);
  if (quality != 1) quality = 0;
  rgTextureSize->button(size)->setChecked(true);
  rgTextureQuality->button(quality)->setChecked(true);
  seCameraScaleX->setValue(ReadFloat(ini, "CameraScaleX"));
  seCameraScaleY->setValue(ReadFloat(ini, "CameraScaleY"));
}

bool TOptionsForm::WriteToIni() {
  try {
    TMyIniFile ini(FIniFile);
    ini.BeginUpdate();
    ini.WriteInteger(kSection, "TextureSize", rgTextureSize->checkedId());
    ini.WriteInteger(kSection, "TextureQuality", rgTextureQuality->checkedId());
    ini.WriteString(kSection, "CameraScaleX", Format("%.15g", seCameraScaleX->value()));
    ini.WriteString(kSection, "CameraScaleY", Format("%.15g", seCameraScaleY->value()));
    ini.EndUpdate();
    return true;
  } catch (const EIniFileError&) {
    return false;
  }
}

void TOptionsForm::ShowWarning() {
  QDialog w(this);
  w.setObjectName("WarningForm");
  w.setWindowTitle(QString::fromUtf8("Ostrzeżenie"));
  auto* layout = new QVBoxLayout(&w);
  auto* memo = new QPlainTextEdit(QString::fromUtf8(OptionsWarningText), &w);
  memo->setReadOnly(true);
  memo->setMinimumSize(460, 280);
  layout->addWidget(memo);
  auto* close = new QPushButton(QString::fromUtf8("&Zamknij"), &w);
  close->setDefault(true);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(close);
  layout->addLayout(row);
  connect(close, &QPushButton::clicked, &w, &QDialog::accept);
  w.exec();
}

bool ShowOptions(QWidget* parent, const std::string& iniFile, bool showWarning, TRenderOptions& options) {
  bool accepted = false;
  {
    TOptionsForm form(iniFile, showWarning, parent);
    accepted = form.exec() == QDialog::Accepted;
  }
  options = ReadRenderOptions(iniFile);
  return accepted;
}

}  // namespace movara
