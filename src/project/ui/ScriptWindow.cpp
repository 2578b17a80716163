#include "project/ui/ScriptWindow.h"

#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "script/Script.h"

namespace movara {

TScriptWindow::TScriptWindow(TScript& script, QWidget* parent) : QDialog(parent), FScript(&script) {
  setObjectName("ScriptWindow");
  setWindowTitle(QString::fromUtf8("Wygenerowany Skrypt"));
  setModal(true);
  FMemo = new QPlainTextEdit(this);
  FMemo->setObjectName("ScriptMemo");
  FMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
  FMemo->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  // one line per line of the script; the text's own ends are CR LF
  QString text;
  for (const std::string& line : script.Lines()) {
    text += QString::fromStdString(line);
    text += '\n';
  }
  FMemo->setPlainText(text);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(FMemo);
  resize(520, 400);
  connect(FMemo, &QPlainTextEdit::textChanged, this, [this] {
    if (FScript) FScript->SetText(FMemo->toPlainText().toStdString());
  });
}

void TScriptWindow::done(int result) {
  FScript = nullptr;
  QDialog::done(result);
}

}  // namespace movara
