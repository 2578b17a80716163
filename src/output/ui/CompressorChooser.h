#pragma once
// TCompressorChooser: "Wybór kompresora video", our stand-in for the platform's
// compressor dialog. It lists the compressors of our catalogue that can compress the
// input (every one without an input), with the quality, the key-frame rate and the data
// rate where the chosen compressor takes them, and "Konfiguruj..." for the compressor's
// own settings, which travel as its state block.
#include <QDialog>
#include <string>

#include "output/VideoCompressorSession.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSlider;
class QSpinBox;

namespace movara {

class TCompressorChooser : public QDialog {
  Q_OBJECT
 public:
  // start: the settings to begin with (its handler, quality, key rate, data rate and
  // state block).
  TCompressorChooser(const std::string& title, const TVideoFormat* input, const TCompVars& start,
                     QWidget* parent = nullptr);

  // The choice: type, handler, flags, quality, key rate, data rate and the state block.
  TCompVars Result() const;
  QComboBox* CompressorList() const { return cbCompressor; }
  // The handlers offered, in list order.
  const std::vector<TVideoCompressorInfo>& Offered() const { return FOffered; }
  // Opens the compressor's own settings (the "Konfiguruj..." button).
  void Configure();

 private:
  void CompressorChanged();
  uint32_t CurrentHandler() const;

  QComboBox* cbCompressor = nullptr;
  QLabel* lQualityValue = nullptr;
  QSlider* tbQuality = nullptr;
  QCheckBox* cbKeyFrame = nullptr;
  QSpinBox* seKeyFrame = nullptr;
  QCheckBox* cbDataRate = nullptr;
  QSpinBox* seDataRate = nullptr;
  QPushButton* bbConfigure = nullptr;
  std::vector<TVideoCompressorInfo> FOffered;
  std::vector<uint8_t> FState;  // the state block of the compressor shown
  bool FDefaultQuality = true;  // the quality was left to the compressor and not touched
  int32_t FStartQuality = ICQUALITY_DEFAULT;
  uint32_t FStateHandler = 0;
};

// The dialog as the writer's compressor hook (TCompressorDialog): owner is the parent
// window (a QWidget*, or nullptr).
bool ChooseVideoCompressor(TWindowHandle owner, const std::string& title, const TVideoFormat* input,
                           TCompVars& chosen);
// Makes ChooseVideoCompressor the dialog the film writer asks when it has no compressor.
void InstallCompressorDialog();

}  // namespace movara
