#pragma once
// TResourcesForm: the resource window ("Okno zasobów"), one of the standing windows. It
// shows the resource list of the open project (TClipBoxView) under the count of its
// thumbnails ("Pozycje: %d") and the name of the selected one, and offers adding files
// (the open dialog "Wybór plików graficznych i animowanych"), deleting the selected
// thumbnails, sorting and the thumbnail size.
#include <QStringList>
#include <QWidget>
#include <string>
#include <vector>

class QLabel;
class QAction;

namespace movara {

class TClipBoxView;
class TClipGraphic;
class TDocumentSignals;

// The add-files dialog; an empty list means cancelled.
class IResourceDialogs {
 public:
  virtual ~IResourceDialogs() = default;
  virtual std::vector<std::string> AskResourceFiles(const std::string& folder) = 0;
};

// The filters of the add-files dialog, every pattern in upper and lower case.
QStringList ResourceFileFilters();

class TResourcesForm : public QWidget {
  Q_OBJECT
 public:
  explicit TResourcesForm(TDocumentSignals& adapter, QWidget* parent = nullptr);
  ~TResourcesForm() override;

  TClipBoxView* View() const { return FView; }
  // The add-files dialog (not owned); nullptr restores the Qt dialog.
  void SetDialogs(IResourceDialogs* dialogs);

  // The open-resource command: asks for files in the list's last folder, adds them.
  // The number of thumbnails added.
  int AddFiles();
  // Deletes the selected thumbnails (a used one asks first). The number deleted.
  int DeleteSelected();
  // Scrolls the thumbnail fully into view and, when asked, selects it alone (a
  // time-line block was clicked: its thumbnail is shown).
  void ShowClip(TClipGraphic* clip, bool select);
  // The labels' texts as shown.
  QString ItemsText() const;
  QString NameText() const;

 public slots:
  void Refresh();

 private:
  void BuildActions();
  void UpdateLabels();

  TDocumentSignals& FSignals;
  TClipBoxView* FView = nullptr;
  QLabel* FItems = nullptr;
  QLabel* FName = nullptr;
  IResourceDialogs* FDialogs = nullptr;
  IResourceDialogs* FQtDialogs = nullptr;
};

}  // namespace movara
