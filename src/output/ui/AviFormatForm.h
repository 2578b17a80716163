#pragma once
// TAviFormatForm: "Własności generowanego filmu", shown by the film command before every
// generation. It collects the output file, the picture and sound parameters, the video
// compressor with its own state, the part of the time line to generate and the file
// size limit, keeps them between runs in the INI section "AviFormatSection" (read when
// the window is made, written when it goes) and hands them over as one
// TFilmSettingsData record.
#include <QDialog>
#include <string>
#include <vector>

#include "output/FilmSettings.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;

namespace movara {

class TLayerBox;

// The default output: "Film.AVI" in $XDG_VIDEOS_DIR, else ~/Videos when it exists, else
// the home folder.
std::string DefaultFilmFileName();

class TAviFormatForm : public QDialog {
  Q_OBJECT
 public:
  // box: the time line whose parts the summary measures (may be nullptr); iniFile: the
  // settings file.
  TAviFormatForm(const TLayerBox* box, const std::string& iniFile, QWidget* parent = nullptr);
  // Writes the settings back to the INI file.
  ~TAviFormatForm() override;

  // The content to generate (0 picture and sound, 1 picture, 2 sound).
  void SetContent(int index);
  // The record the window's choices make (what OK hands over).
  TFilmSettingsData Settings() const;
  // The summary beside the pages, one line each.
  QString Summary() const;
  // Why the output cannot be written; empty when it can.
  std::string OutputProblem() const;

  // The compressor: its settings and state as the window keeps them.
  const TCompVars& Compvars() const { return FCompvars; }
  const std::vector<uint8_t>& CompvarsState() const { return FState; }
  // True when the compressor of the settings file could not be opened and the window
  // fell back to full frames (the summary says so).
  bool CompressorFellBack() const { return !FFallbackHandler.empty(); }
  // Asks for another compressor ("Zmień kompresor...").
  void ChangeCompressor();
  // Asks for the output file ("Wskaż plik wyjściowy...").
  void BrowseFileName();

  void ReadIni();
  void WriteIni() const;

  void accept() override;

  // The named controls, for tests.
  QSpinBox* mseVideoRate = nullptr;
  QComboBox* cbFrameSize = nullptr;
  QSpinBox* mseFrameWidth = nullptr;
  QSpinBox* mseFrameHeight = nullptr;
  QGroupBox* rgBitDepth = nullptr;
  QLineEdit* edVideoCompressor = nullptr;
  QPushButton* bbChangeCompressor = nullptr;
  QComboBox* cbVideoRenderMode = nullptr;
  QComboBox* cbAudioCodec = nullptr;
  QComboBox* cbAudioFrequency = nullptr;
  QComboBox* cbAudioFormat = nullptr;
  QComboBox* cbAudioInterleave = nullptr;
  QGroupBox* rgExport = nullptr;
  QGroupBox* rgRange = nullptr;
  QComboBox* cbFileType = nullptr;
  QComboBox* cbMaxAviFileSize = nullptr;
  QCheckBox* cbOpenWhenFinished = nullptr;
  QLineEdit* edFileName = nullptr;
  QPushButton* bbFileName = nullptr;
  QTabWidget* pcPages = nullptr;
  QLabel* lSummary = nullptr;
  QPushButton* bbOK = nullptr;
  QPushButton* bbCancel = nullptr;

 private:
  void BuildControls();
  void InitAudioControls();
  void FillAudioLists();
  void ShowCompressorDescription();
  void FrameSizeChosen(int index);
  void FrameSizeTyped();
  void UpdateSummary();
  int Checked(const QButtonGroup* group) const;
  void Check(QButtonGroup* group, int index);

  const TLayerBox* FLayerBox;
  std::string FIniFile;
  TCompVars FCompvars;
  std::vector<uint8_t> FState;
  std::string FFallbackHandler;
  int FNoCompressionIndex = 0;  // "Bez kompresji" in the codec list
  QButtonGroup* FBitDepth = nullptr;
  QButtonGroup* FExport = nullptr;
  QButtonGroup* FRange = nullptr;
  bool FFilling = false;
};

}  // namespace movara
