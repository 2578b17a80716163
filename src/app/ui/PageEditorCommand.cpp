#include "app/ui/PageEditorCommand.h"

#include <QObject>
#include <QPointer>

#include "base/AppPaths.h"
#include "script/Chain3D.h"
#include "pages/ui/PageEditForm.h"
#include "persist/Config.h"
#include "persist/ProjectDocument.h"
#include "project/ClipBox.h"
#include "project/ui/DocumentSignals.h"
#include "project/ui/TimeLineForm.h"

namespace movara {

void OpenPageEditor(QWidget* parent, TClipBox& box, const std::string& fileName) {
  EditTitlePage(
      parent, fileName, ConfigFileName(),
      [&box](const std::string& name) {
        box.AddFiles({ExpandFileName(name)});
      },
      [&box](const std::string& name) { box.TitlePageSaved(name); });
}

void InstallPageEditor(QWidget* parent, TTimeLineForm& project) {
  QPointer<QWidget> owner(parent);
  QPointer<TTimeLineForm> form(&project);
  QObject::connect(&project.DocumentSignals().ClipBox(), &TClipBoxSignals::editPage, &project,
                   [owner, form](const QString& name) {
                     HideFxRenderWindow();
                     if (form) OpenPageEditor(owner, form->Document().ClipBox(), name.toStdString());
                   });
}

}  // namespace movara
