#pragma once
// TScriptWindow: "Wygenerowany Skrypt", the modal window that shows the film script
// just made from the time line. Every change of its text replaces the project's
// script, so that a film made without making the script again uses the edited text.
// Closing the window ends its link to the script.
#include <QDialog>

class QPlainTextEdit;

namespace movara {

class TScript;

class TScriptWindow : public QDialog {
  Q_OBJECT
 public:
  explicit TScriptWindow(TScript& script, QWidget* parent = nullptr);
  QPlainTextEdit* Memo() const { return FMemo; }
  // The script it edits; nullptr once closed.
  TScript* Script() const { return FScript; }

 protected:
  void done(int result) override;

 private:
  TScript* FScript;
  QPlainTextEdit* FMemo = nullptr;
};

}  // namespace movara
