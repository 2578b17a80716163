#include "app/ui/ProjectDialogs.h"

#include <QFileDialog>

namespace movara {
namespace {

const char* const kProjectFilter = "Pliki projektu Movara 1.0 (*.MVF *.mvf)";

}  // namespace

std::string TQtProjectDialogs::AskOpenProject(const std::string& folder) {
  QFileDialog dialog(FParent, QString::fromUtf8("Odczyt pliku projektu Movara 1.0"), QString::fromStdString(folder),
                     QString::fromUtf8(kProjectFilter));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setDefaultSuffix("MVF");
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::string();
  return dialog.selectedFiles().front().toStdString();
}

std::string TQtProjectDialogs::AskSaveProject(const std::string& folder, const std::string& current) {
  QFileDialog dialog(FParent, QString::fromUtf8("Zapis pliku projektu Movara 1.0"), QString::fromStdString(folder),
                     QString::fromUtf8(kProjectFilter));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix("mvf");
  if (!current.empty()) dialog.selectFile(QString::fromStdString(current));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::string();
  return dialog.selectedFiles().front().toStdString();
}

}  // namespace movara
