#pragma once
// The file dialogs of the project commands (open and save-as a project file).
#include "persist/ProjectDocument.h"

class QWidget;

namespace movara {

class TQtProjectDialogs : public IProjectDialogs {
 public:
  explicit TQtProjectDialogs(QWidget* parent) : FParent(parent) {}
  std::string AskOpenProject(const std::string& folder) override;
  std::string AskSaveProject(const std::string& folder, const std::string& current) override;

 private:
  QWidget* FParent;
};

}  // namespace movara
