#pragma once
// TComposeForm: the keying window and the program's plain colour chooser. In the
// keying modes (1 keys the image-row picture itself, 2 keys the picture below it) the
// user picks the key colour from scroll bars stepped as a 5-6-5 pixel is, from eight
// swatches, the colour dialog, or the block's own picture by press or drag; in mode 0
// the same window chooses any colour.
#include <QDialog>
#include <QImage>
#include <QWidget>
#include <cstdint>
#include <functional>

#include "base/Dib.h"

class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QWidget;

namespace movara {

// A colour swatch: a click chooses its colour, a double-click also accepts.
class TColorSwatch : public QWidget {
 public:
  TColorSwatch(TColor color, QWidget* parent);
  TColor Color() const { return FColor; }
  void SetColor(TColor color);
  std::function<void(TColor)> OnClick;
  std::function<void(TColor)> OnDoubleClick;

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  TColor FColor;
};

// The picture box: the picture stretched over it; a press, or a move with the left
// button held, reports the point.
class TPickImage : public QWidget {
 public:
  explicit TPickImage(QWidget* parent);
  void SetPicture(const TDIB* picture);
  std::function<void(int x, int y)> OnPick;

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  QImage FImage;
};

class TComposeForm : public QDialog {
  Q_OBJECT
 public:
  explicit TComposeForm(QWidget* parent = nullptr);
  ~TComposeForm() override;

  TColor ColorKey() const { return FColorKey; }
  void SetColorKey(TColor color);  // system colours resolved to RGB
  uint8_t Mode() const { return FMode; }
  void SetMode(uint8_t mode);
  // The picture to pick from (borrowed, nullptr for none).
  void SetPicture(const TDIB* picture);
  const TDIB* Picture() const { return FPicture; }
  // Picks the picture's colour under a point of the picture box (nothing without one).
  void PickAt(int x, int y);

  QGroupBox* gbCompose = nullptr;
  QRadioButton* rbGraph = nullptr;     // "Warstwie &2", mode 1
  QRadioButton* rbKeyGraph = nullptr;  // "Warstwie &1", mode 2
  QGroupBox* gbColor = nullptr;
  QScrollBar* sbRed = nullptr;
  QScrollBar* sbGreen = nullptr;
  QScrollBar* sbBlue = nullptr;
  QLabel* laRed = nullptr;
  QLabel* laGreen = nullptr;
  QLabel* laBlue = nullptr;
  QLabel* laRedHue = nullptr;
  QLabel* laGreenSat = nullptr;
  QLabel* laBlueVal = nullptr;
  // shWhite, shBlack, shFuchsia, shBlue, shRed, shYellow, shLime, shAqua
  TColorSwatch* Swatches[8] = {};
  QPushButton* btSelect = nullptr;
  TPickImage* Image = nullptr;
  TColorSwatch* shKeyColor = nullptr;
  QPushButton* bbOK = nullptr;
  QPushButton* bbCancel = nullptr;

 private:
  void Refresh();
  void ScrollChanged();
  void ChooseWithDialog();

  TColor FColorKey = 0xFF00FF;
  uint8_t FMode = 1;
  const TDIB* FPicture = nullptr;
  bool FUpdating = false;
};

// The key row's colour key: the colour and mode of a block; on OK true with the chosen
// ones and both tolerances 0; otherwise false, nothing changed.
bool SelectKeyColor(QWidget* parent, TColor& color, uint8_t& mode, int32_t& tolLo, int32_t& tolHi);
// The plain colour chooser: true with the colour on OK.
bool SelectColor(QWidget* parent, TColor& color);
// The key of an image-row block, with its picture to pick from (may be nullptr). A mode
// of 0 opens as 1. Always true: on OK the colour and mode chosen, on cancel mode 0 (the
// block's keying removed).
bool SelectImageKey(QWidget* parent, TColor& color, uint8_t& mode, const TDIB* picture);

}  // namespace movara
