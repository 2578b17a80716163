#pragma once
// TOptionsForm: the options window "Opcje programu", the settings of the 3D renderer:
// the size of the textures that carry the pictures ("Jakość obrazu"), their filtering
// ("Filtrowanie obrazu") and a correction of the picture's position ("Korekta pozycji
// obrazu", X and Y from -10 to 10). They live in the section "Application Options" of
// the settings file; "A&kceptuj" writes them there. The warning marker "!" shows when
// the renderer reported trouble; clicking it explains ("Ostrzeżenie").
#include <QDialog>
#include <string>

#include "script/Chain3D.h"

class QButtonGroup;
class QDoubleSpinBox;
class QPushButton;
class QToolButton;

namespace movara {

class TOptionsForm : public QDialog {
  Q_OBJECT
 public:
  TOptionsForm(const std::string& iniFile, bool showWarning, QWidget* parent = nullptr);

  // The window as the settings file fills it (radio indexes as stored).
  void ReadFromIni();
  // Writes the four keys at once; false when the file cannot be written.
  bool WriteToIni();

  QButtonGroup* rgTextureSize = nullptr;     // 0 "dobra", 1 "bardzo dobra", 2 "najlepsza"
  QButtonGroup* rgTextureQuality = nullptr;  // 0 "bez filtrowania", 1 "linearyzacja"
  QDoubleSpinBox* seCameraScaleX = nullptr;
  QDoubleSpinBox* seCameraScaleY = nullptr;
  QToolButton* sbWarning = nullptr;          // "!"
  QPushButton* btnAccept = nullptr;
  QPushButton* btnCancel = nullptr;

  // The warning window of the marker (modal).
  void ShowWarning();

 private:
  std::string FIniFile;
};

// The text of the warning window (line breaks as "\n").
extern const char* const OptionsWarningText;

// Runs the window modally; accepted writes the keys. Either way the record is read
// afresh from the file and handed back.
bool ShowOptions(QWidget* parent, const std::string& iniFile, bool showWarning, TRenderOptions& options);

}  // namespace movara
