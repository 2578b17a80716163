#pragma once
// Keyboard shortcuts of sequence blocks in the windows: Qt's keys made into the codes
// the blocks keep (the virtual key in the low byte, 0x2000 Shift, 0x4000 Ctrl, 0x8000
// Alt) and back; and TShortCutForm, the dialog that gives a sequence its shortcut.
#include <QDialog>
#include <QKeyCombination>
#include <cstdint>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace movara {

// The code of a key with its modifiers; 0 for a key that cannot be a shortcut (a
// modifier alone, a key without a code).
uint16_t ShortCutOfKey(int qtKey, Qt::KeyboardModifiers modifiers);
// The Qt key and modifiers of a code (keypad keys carry Qt::KeypadModifier);
// Qt::Key_unknown for a code without a key. ShortCutOfKey of it gives the code again.
QKeyCombination KeyOfShortCut(uint16_t code);

// The program's own keys, which a sequence cannot take (the commands of the main
// window and of the project window, and the project window's editing keys).
bool IsProgramShortCut(uint16_t code);

// The dialog: the shortcut is pressed in its field or picked from the list of free
// shortcuts; "&Brak" takes the shortcut away. A shortcut another sequence uses, or one
// of the program's, is refused with the reason shown.
class TShortCutForm : public QDialog {
  Q_OBJECT
 public:
  TShortCutForm(uint16_t code, const std::vector<std::string>& used, QWidget* parent = nullptr);
  uint16_t Code() const { return FCode; }
  // Takes a code as if pressed; false (and the reason shown) when it is refused.
  bool SetCode(uint16_t code);

  QLineEdit* edKey = nullptr;
  QComboBox* cbFree = nullptr;
  QLabel* lbReason = nullptr;
  QPushButton* btnNone = nullptr;
  QPushButton* btnOk = nullptr;
  QPushButton* btnCancel = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::vector<std::string> FUsed;
  uint16_t FCode = 0;
};

// Runs the dialog for code, offered the shortcuts the other sequences use; on OK code
// is the new shortcut (0 = none) and the result true.
bool ChooseShortCut(QWidget* parent, int32_t& code, const std::vector<std::string>& used);

}  // namespace movara
