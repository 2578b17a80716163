#include "compose/ui/ComposeForm.h"

#include <QApplication>
#include <QColorDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>

#include "base/Rounding.h"
#include "project/VfxData.h"

namespace movara {
namespace {

QColor ToQColor(TColor c) {
  const TColor rgb = ColorToRGB(c);
  return QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}

// Any picture as 24-bit RGB, rows top first.
QImage PictureImage(const TDIB& dib) {
  QImage image(dib.Width(), dib.Height(), QImage::Format_RGB888);
  for (int y = 0; y < dib.Height(); ++y) {
    uchar* out = image.scanLine(y);
    for (int x = 0; x < dib.Width(); ++x) {
      const TColor c = dib.Pixel(x, y);
      out[3 * x] = static_cast<uchar>(GetRValue(c));
      out[3 * x + 1] = static_cast<uchar>(GetGValue(c));
      out[3 * x + 2] = static_cast<uchar>(GetBValue(c));
    }
  }
  return image;
}

const char* const kKeyTitle = "Wybór koloru kluczowania";
const char* const kColorTitle = "Wybór koloru";

}  // namespace

// ---------------------------------------------------------------------------------
// swatches and the picture box

TColorSwatch::TColorSwatch(TColor color, QWidget* parent) : QWidget(parent), FColor(color) {
  setFixedSize(22, 22);
}

void TColorSwatch::SetColor(TColor color) {
  FColor = color;
  update();
}

void TColorSwatch::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), ToQColor(FColor));
  p.setPen(isEnabled() ? Qt::black : Qt::gray);
  p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void TColorSwatch::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && OnClick) OnClick(FColor);
}

void TColorSwatch::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && OnDoubleClick) OnDoubleClick(FColor);
}

TPickImage::TPickImage(QWidget* parent) : QWidget(parent) {
  setMinimumSize(180, 144);
  setCursor(Qt::CrossCursor);
}

void TPickImage::SetPicture(const TDIB* picture) {
  FImage = picture && !picture->Empty() ? PictureImage(*picture) : QImage();
  update();
}

void TPickImage::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (FImage.isNull())
    p.fillRect(rect(), palette().color(QPalette::Button));
  else
    p.drawImage(rect(), FImage);
}

void TPickImage::mousePressEvent(QMouseEvent* event) {
  if (OnPick) OnPick(event->position().toPoint().x(), event->position().toPoint().y());
}

void TPickImage::mouseMoveEvent(QMouseEvent* event) {
  if ((event->buttons() & Qt::LeftButton) && !FImage.isNull() && OnPick)
    OnPick(event->position().toPoint().x(), event->position().toPoint().y());
}

// ---------------------------------------------------------------------------------
// the window

TComposeForm::TComposeForm(QWidget* parent) : QDialog(parent) {
  setObjectName("ComposeForm");
  setWindowTitle(QString::fromUtf8("Kompozycja"));

  gbCompose = new QGroupBox(QString::fromUtf8(" Kluczuj na  "), this);
  gbCompose->setObjectName("gbCompose");
  rbGraph = new QRadioButton(QString::fromUtf8("Warstwie &2"), gbCompose);
  rbGraph->setObjectName("rbGraph");
  rbKeyGraph = new QRadioButton(QString::fromUtf8("Warstwie &1"), gbCompose);
  rbKeyGraph->setObjectName("rbKeyGraph");
  auto* composeLayout = new QHBoxLayout(gbCompose);
  composeLayout->addWidget(rbGraph);
  composeLayout->addWidget(rbKeyGraph);
  composeLayout->addStretch(1);
  connect(rbGraph, &QRadioButton::clicked, this, [this] { SetMode(1); });
  connect(rbKeyGraph, &QRadioButton::clicked, this, [this] { SetMode(2); });

  gbColor = new QGroupBox(this);
  gbColor->setObjectName("gbColor");
  auto* colorLayout = new QGridLayout(gbColor);
  QScrollBar** bars[3] = {&sbRed, &sbGreen, &sbBlue};
  QLabel** values[3] = {&laRed, &laGreen, &laBlue};
  QLabel** captions[3] = {&laRedHue, &laGreenSat, &laBlueVal};
  const char* barNames[3] = {"sbRed", "sbGreen", "sbBlue"};
  for (int i = 0; i < 3; ++i) {
    *captions[i] = new QLabel(gbColor);
    (*captions[i])->setMinimumWidth(70);
    *bars[i] = new QScrollBar(Qt::Horizontal, gbColor);
    (*bars[i])->setObjectName(barNames[i]);
    (*bars[i])->setRange(0, 255);
    (*bars[i])->setMinimumWidth(160);
    (*bars[i])->setFocusPolicy(Qt::StrongFocus);
    *values[i] = new QLabel(gbColor);
    (*values[i])->setMinimumWidth(28);
    (*values[i])->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    colorLayout->addWidget(*captions[i], i, 0);
    colorLayout->addWidget(*bars[i], i, 1);
    colorLayout->addWidget(*values[i], i, 2);
    connect(*bars[i], &QScrollBar::valueChanged, this, [this] { ScrollChanged(); });
  }
  static const struct {
    const char* name;
    TColor color;
  } swatches[8] = {{"shWhite", 0xFFFFFF}, {"shBlack", 0x000000}, {"shFuchsia", 0xFF00FF}, {"shBlue", 0xFF0000},
                   {"shRed", 0x0000FF},   {"shYellow", 0x00FFFF}, {"shLime", 0x00FF00},   {"shAqua", 0xFFFF00}};
  auto* swatchRow = new QHBoxLayout;
  for (int i = 0; i < 8; ++i) {
    Swatches[i] = new TColorSwatch(swatches[i].color, gbColor);
    Swatches[i]->setObjectName(swatches[i].name);
    Swatches[i]->OnClick = [this](TColor c) { SetColorKey(c); };
    Swatches[i]->OnDoubleClick = [this](TColor c) {
      SetColorKey(c);
      accept();
    };
    swatchRow->addWidget(Swatches[i]);
  }
  swatchRow->addStretch(1);
  btSelect = new QPushButton(QString::fromUtf8("Wybierz..."), gbColor);
  btSelect->setObjectName("btSelect");
  swatchRow->addWidget(btSelect);
  colorLayout->addLayout(swatchRow, 3, 0, 1, 3);
  connect(btSelect, &QPushButton::clicked, this, [this] { ChooseWithDialog(); });

  auto* panelImage = new QWidget(this);
  panelImage->setObjectName("PanelImage");
  auto* imageLayout = new QVBoxLayout(panelImage);
  imageLayout->setContentsMargins(0, 0, 0, 0);
  Image = new TPickImage(panelImage);
  Image->setObjectName("Image");
  Image->OnPick = [this](int x, int y) { PickAt(x, y); };
  imageLayout->addWidget(Image, 1);
  auto* chosenRow = new QHBoxLayout;
  chosenRow->addWidget(new QLabel(QString::fromUtf8("Wybrany kolor:"), panelImage));
  shKeyColor = new TColorSwatch(FColorKey, panelImage);
  shKeyColor->setObjectName("shKeyColor");
  shKeyColor->setFixedSize(60, 22);
  chosenRow->addWidget(shKeyColor);
  chosenRow->addStretch(1);
  imageLayout->addLayout(chosenRow);

  bbOK = new QPushButton(this);
  bbOK->setObjectName("bbOK");
  bbOK->setDefault(true);
  bbCancel = new QPushButton(this);
  bbCancel->setObjectName("bbCancel");
  connect(bbOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(bbCancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* left = new QVBoxLayout;
  left->addWidget(gbCompose);
  left->addWidget(gbColor);
  left->addStretch(1);
  auto* top = new QHBoxLayout;
  top->addLayout(left);
  top->addWidget(panelImage, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(bbOK);
  buttons->addWidget(bbCancel);
  auto* all = new QVBoxLayout(this);
  all->addLayout(top, 1);
  all->addLayout(buttons);
  Refresh();
}

TComposeForm::~TComposeForm() { FPicture = nullptr; }

void TComposeForm::SetColorKey(TColor color) {
  FColorKey = ColorToRGB(color);
  Refresh();
}

void TComposeForm::SetMode(uint8_t mode) {
  FMode = mode;
  Refresh();
}

void TComposeForm::SetPicture(const TDIB* picture) {
  FPicture = picture;
  Image->SetPicture(picture);
}

void TComposeForm::Refresh() {
  FUpdating = true;
  rbGraph->setChecked(FMode == 1);
  rbKeyGraph->setChecked(FMode == 2);
  shKeyColor->SetColor(FColorKey);
  const bool keying = FMode == 1 || FMode == 2;
  if (FMode < 3) {
    const int parts[3] = {GetRValue(FColorKey), GetGValue(FColorKey), GetBValue(FColorKey)};
    QScrollBar* bars[3] = {sbRed, sbGreen, sbBlue};
    QLabel* labels[3] = {laRed, laGreen, laBlue};
    for (int i = 0; i < 3; ++i) {
      bars[i]->setEnabled(true);
      bars[i]->setValue(parts[i]);
      labels[i]->setText(QString::number(parts[i]));
      // keys compare as 16-bit 5-6-5 pixels: steps of one level of such a pixel
      const int step = keying ? (i == 1 ? 4 : 8) : 1;
      bars[i]->setSingleStep(step);
      bars[i]->setPageStep(keying ? (i == 1 ? 4 : 8) : 4);
    }
    for (TColorSwatch* s : Swatches) s->setEnabled(true);
    btSelect->setEnabled(true);
    Image->setEnabled(keying);
  }
  if (keying) {
    gbColor->setTitle(QString::fromUtf8(FMode == 1 ? "Kluczowanie warstwy Video 2" : "Kluczowanie warstwy Video 1"));
    laRedHue->setText(QString::fromUtf8("Czerwony"));
    laGreenSat->setText(QString::fromUtf8("Zielony"));
    laBlueVal->setText(QString::fromUtf8("Niebieski"));
    bbOK->setText(QString::fromUtf8("Zastosuj &kluczowanie"));
    bbCancel->setText(QString::fromUtf8("Kasuj kluczowa&nie"));
  } else {
    gbColor->setTitle(QString());
    laRedHue->setText(QString::fromUtf8("Barwa"));
    laGreenSat->setText(QString::fromUtf8("Nasycenie"));
    laBlueVal->setText(QString::fromUtf8("Wartość"));
    bbOK->setText(QString::fromUtf8("A&kceptuj wybrany kolor"));
    bbCancel->setText(QString::fromUtf8("A&nuluj"));
  }
  FUpdating = false;
}

void TComposeForm::ScrollChanged() {
  if (FUpdating) return;
  FColorKey = RGBColor(sbRed->value(), sbGreen->value(), sbBlue->value());
  Refresh();
}

void TComposeForm::ChooseWithDialog() {
  const QColor c = QColorDialog::getColor(ToQColor(FColorKey), this, QString(), QColorDialog::ColorDialogOptions());
  if (c.isValid()) SetColorKey(RGBColor(c.red(), c.green(), c.blue()));
}

void TComposeForm::PickAt(int x, int y) {
  if (!FPicture || FPicture->Empty() || Image->width() <= 0 || Image->height() <= 0) return;
  const int w = FPicture->Width(), h = FPicture->Height();
  const int px = std::clamp(RoundInt(static_cast<long double>(x) * w / Image->width()), 0, w - 1);
  const int py = std::clamp(RoundInt(static_cast<long double>(y) * h / Image->height()), 0, h - 1);
  // an indexed picture gives its palette colour, a deeper one its RGB colour
  SetColorKey(FPicture->Pixel(px, py));
}

// ---------------------------------------------------------------------------------
// entry points

bool SelectKeyColor(QWidget* parent, TColor& color, uint8_t& mode, int32_t& tolLo, int32_t& tolHi) {
  TComposeForm form(parent);
  form.setWindowTitle(QString::fromUtf8(kKeyTitle));
  form.gbCompose->setVisible(true);
  form.gbCompose->setEnabled(true);
  form.SetColorKey(color);
  form.SetMode(mode);
  if (form.exec() != QDialog::Accepted) return false;
  color = form.ColorKey();
  mode = form.Mode();
  tolLo = 0;
  tolHi = 0;
  return true;
}

bool SelectColor(QWidget* parent, TColor& color) {
  TComposeForm form(parent);
  form.setWindowTitle(QString::fromUtf8(kColorTitle));
  form.gbCompose->setVisible(false);
  form.gbCompose->setEnabled(false);
  form.SetColorKey(color);
  form.SetMode(0);
  if (form.exec() != QDialog::Accepted) return false;
  color = form.ColorKey();
  return true;
}

bool SelectImageKey(QWidget* parent, TColor& color, uint8_t& mode, const TDIB* picture) {
  TComposeForm form(parent);
  form.setWindowTitle(QString::fromUtf8(kKeyTitle));
  form.gbCompose->setVisible(true);
  form.gbCompose->setEnabled(true);
  form.SetColorKey(color);
  form.SetMode(mode == 0 ? 1 : mode);
  form.SetPicture(picture);
  if (form.exec() == QDialog::Accepted) {
    color = form.ColorKey();
    mode = form.Mode();
  } else {
    mode = 0;
  }
  return true;
}

}  // namespace movara
