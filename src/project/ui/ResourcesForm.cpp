#include "project/ui/ResourcesForm.h"

#include <QAction>
#include <QActionGroup>
#include <QFileDialog>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QVBoxLayout>

#include "base/FileKind.h"
#include "persist/ProjectDocument.h"
#include "project/ClipBox.h"
#include "project/ClipGraphic.h"
#include "project/ui/ClipBoxView.h"
#include "project/ui/DocumentSignals.h"

namespace movara {
namespace {

// "Opis (*.BMP *.bmp ...)" for the given extensions.
QString Filter(const char* description, const std::vector<std::string>& extensions) {
  QStringList patterns;
  for (const std::string& e : extensions) {
    const QString ext = QString::fromStdString(e.rfind('.', 0) == 0 ? e.substr(1) : e);
    patterns << QString("*.%1").arg(ext.toUpper()) << QString("*.%1").arg(ext.toLower());
  }
  return QString::fromUtf8(description) + " (" + patterns.join(' ') + ")";
}

// AVI and WAV with the other containers read through the media library
std::vector<std::string> With(std::vector<std::string> first, const std::vector<std::string>& more) {
  first.insert(first.end(), more.begin(), more.end());
  return first;
}

class TQtResourceDialogs : public IResourceDialogs {
 public:
  explicit TQtResourceDialogs(QWidget* parent) : FParent(parent) {}
  std::vector<std::string> AskResourceFiles(const std::string& folder) override {
    QFileDialog dialog(FParent, QString::fromUtf8("Wybór plików graficznych i animowanych"),
                       QString::fromStdString(folder));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilters(ResourceFileFilters());
    dialog.setDefaultSuffix("BMP");
    std::vector<std::string> files;
    if (dialog.exec() != QDialog::Accepted) return files;
    for (const QString& f : dialog.selectedFiles()) files.push_back(f.toStdString());
    return files;
  }

 private:
  QWidget* FParent;
};

}  // namespace

QStringList ResourceFileFilters() {
  const std::vector<std::string> movies = With({"avi"}, MediaMovieExtensions());
  const std::vector<std::string> sounds = With({"wav"}, MediaSoundExtensions());
  return {Filter("Pliki zasobów", With(With({"bmp", "jpg", "gif", "pte"}, movies), sounds)),
          Filter("Pliki map bitowych", {"bmp"}),
          Filter("Pliki graficzne JPEG", {"jpg"}),
          Filter("Pliki graficzne GIF", {"gif"}),
          Filter("Animacje", movies),
          Filter("Dźwięki", sounds),
          Filter("Pliki Edytora Tekstów", {"pte"}),
          QString::fromUtf8("Wszystkie pliki (*)")};
}

TResourcesForm::TResourcesForm(TDocumentSignals& adapter, QWidget* parent)
    : QWidget(parent), FSignals(adapter), FQtDialogs(new TQtResourceDialogs(this)) {
  setWindowTitle(QString::fromUtf8("Okno zasobów"));
  setObjectName("ResourcesForm");
  FDialogs = FQtDialogs;
  // the resource window selects with Ctrl and Shift
  FSignals.Document().ClipBox().SetMultiselect(true);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  auto* header = new QHBoxLayout;
  header->setContentsMargins(4, 2, 4, 2);
  FItems = new QLabel(this);
  FName = new QLabel(this);
  FName->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  FName->setMinimumWidth(10);
  FName->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  header->addWidget(FItems);
  header->addWidget(FName, 1);
  layout->addLayout(header);
  FView = new TClipBoxView(FSignals.ClipBox(), this);
  layout->addWidget(FView, 1);

  BuildActions();
  connect(&FSignals.ClipBox(), &TClipBoxSignals::changed, this, &TResourcesForm::UpdateLabels);
  connect(&FSignals, &TDocumentSignals::opened, this, &TResourcesForm::Refresh);
  connect(&FSignals, &TDocumentSignals::cleared, this, &TResourcesForm::Refresh);
  connect(FView, &TClipBoxView::selectionChanged, this, &TResourcesForm::UpdateLabels);
  connect(FView, &TClipBoxView::filesDropped, this, &TResourcesForm::UpdateLabels);
  UpdateLabels();
}

TResourcesForm::~TResourcesForm() { delete FQtDialogs; }

void TResourcesForm::SetDialogs(IResourceDialogs* dialogs) { FDialogs = dialogs ? dialogs : FQtDialogs; }

void TResourcesForm::BuildActions() {
  FView->setContextMenuPolicy(Qt::ActionsContextMenu);
  auto* add = new QAction(QString::fromUtf8("&Dodaj pliki..."), this);
  add->setShortcut(QKeySequence(Qt::Key_Insert));
  add->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  connect(add, &QAction::triggered, this, [this] { AddFiles(); });
  auto* del = new QAction(QString::fromUtf8("&Usuń zaznaczone"), this);
  del->setShortcut(QKeySequence(Qt::Key_Delete));
  del->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  connect(del, &QAction::triggered, this, [this] { DeleteSelected(); });
  auto* sep1 = new QAction(this);
  sep1->setSeparator(true);
  auto* byName = new QAction(QString::fromUtf8("Sortuj według &nazwy"), this);
  connect(byName, &QAction::triggered, this, [this] {
    FSignals.Document().ClipBox().SetSort(clipsort::scName);
    Refresh();
  });
  auto* byUse = new QAction(QString::fromUtf8("Sortuj według użycia na &linii czasu"), this);
  connect(byUse, &QAction::triggered, this, [this] {
    FSignals.Document().ClipBox().SetSort(clipsort::scTimeLine);
    Refresh();
  });
  auto* sep2 = new QAction(this);
  sep2->setSeparator(true);
  FView->addActions({add, del, sep1, byName, byUse, sep2});
  addAction(add);
  addAction(del);

  // the thumbnail size
  auto* sizes = new QActionGroup(this);
  const char* names[] = {"Najmniejsze ikony", "Małe ikony", "Normalne ikony", "Duże ikony"};
  for (int s = isSmallest; s <= isLarge; ++s) {
    auto* a = new QAction(QString::fromUtf8(names[s]), sizes);
    a->setCheckable(true);
    a->setChecked(FSignals.Document().ClipBox().ClipIconSize() == s);
    connect(a, &QAction::triggered, this, [this, s] {
      FSignals.Document().ClipBox().SetClipIconSize(static_cast<TIconSize>(s));
      Refresh();
    });
    FView->addAction(a);
  }
}

int TResourcesForm::AddFiles() {
  TClipBox& box = FSignals.Document().ClipBox();
  const std::vector<std::string> files = FDialogs->AskResourceFiles(box.InitialDir());
  if (files.empty()) return 0;
  setCursor(Qt::WaitCursor);
  const int before = box.Count();
  const int added = box.AddFiles(files);
  unsetCursor();
  Refresh();
  if (added > 0) FView->EnsureVisible(before);
  return added;
}

int TResourcesForm::DeleteSelected() {
  const int deleted = FSignals.Document().ClipBox().DeleteClips(true, false);
  Refresh();
  return deleted;
}

void TResourcesForm::ShowClip(TClipGraphic* clip, bool select) {
  TClipBox& box = FSignals.Document().ClipBox();
  const int index = box.IndexOf(clip);
  if (index < 0) return;
  if (select) box.SelectAlone(clip);
  FView->EnsureVisible(index);
  Refresh();
}

void TResourcesForm::Refresh() {
  FView->Refresh();
  UpdateLabels();
}

void TResourcesForm::UpdateLabels() {
  const TClipBox& box = FSignals.Document().ClipBox();
  const QFontMetrics fm(FItems->font());
  // the count shortens to the bare number when the window is too narrow for its words
  FItems->setText(QString::fromStdString(box.LabelClipItemsText(std::max(width() / 2, 40), fm.averageCharWidth())));
  QString name;
  for (int i = 0; i < box.Count(); ++i) {
    if (box.Clips(i)->Selected()) {
      name = QString::fromStdString(box.Clips(i)->DisplayName());
      break;
    }
  }
  FName->setText(name);
  FName->setToolTip(name);
}

QString TResourcesForm::ItemsText() const { return FItems->text(); }
QString TResourcesForm::NameText() const { return FName->text(); }

}  // namespace movara
