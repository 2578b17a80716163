#include "app/ui/PageEditorCommand.h"

#include <QObject>
#include <QPointer>

#include <QApplication>
#include <QGroupBox>

#include "base/AppPaths.h"
#include "base/FileKind.h"
#include "compose/ui/ComposeForm.h"
#include "compose/ui/KeyingDialogs.h"
#include "pages/ui/PageEditView.h"
#include "project/ClipGraphic.h"
#include "project/Layers.h"
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

bool SavePageAndKeyingScreenshots(QWidget* parent, TTimeLineForm& project, const std::string& folder) {
  const QString dir = QString::fromStdString(IncludeTrailingSlash(folder));
  auto save = [&dir](QWidget& w, const char* file) {
    QApplication::processEvents();
    return w.grab().save(dir + file);
  };
  bool ok = true;
  TClipBox& clips = project.Document().ClipBox();
  {
    // the settings of a screenshots run stay in its own home
    TPageEditForm form(UserFolder() + "screenshots.ini", parent);
    for (int i = 0; i < clips.Count(); ++i)
      if (FileKindOfName(clips.Clips(i)->FullFileName()) == fkPte) {
        form.OpenFileByName(clips.Clips(i)->FullFileName());
        break;
      }
    if (form.Box().ItemCount() > 0) form.Box().SelectOnly(form.Box().Items(0));
    if (TFontItem* item = form.Box().Items(0)) form.LoadItem(item);
    form.resize(1000, 760);
    form.show();
    form.View()->Changed();
    ok = save(form, "pageedit.png") && ok;
    form.Box().SetModified(false);
    form.close();
  }
  {
    TComposeForm form(parent);
    form.setWindowTitle(QString::fromUtf8("Wybór koloru kluczowania"));
    TDIB picture;
    TLayerRow* row = project.Box().RowByNumber(lnImage);
    if (row && row->ItemCount() > 0 && BlockPictureAt(*row->Items(0), 0, picture)) form.SetPicture(&picture);
    form.SetColorKey(0xFF00FF);
    form.SetMode(1);
    form.resize(form.sizeHint().expandedTo(QSize(620, 330)));
    form.show();
    ok = save(form, "compose.png") && ok;
    form.close();
  }
  {
    TComposeForm form(parent);
    form.setWindowTitle(QString::fromUtf8("Wybór koloru"));
    form.gbCompose->setVisible(false);
    form.SetColorKey(0x40A0E0);
    form.SetMode(0);
    form.show();
    ok = save(form, "compose-color.png") && ok;
    form.close();
  }
  return ok;
}

}  // namespace movara
