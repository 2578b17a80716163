#pragma once
// The editor: the windows over one open project. main() creates the QApplication
// before anything else and hands over here when the command line asks for the editor.
#include <memory>
#include <string>

#include "app/EditorStart.h"

class QApplication;
class QWidget;

namespace movara {

class TDocumentSignals;
class TFilmCommand;
class TMovaraForm;
class TProjectDocument;
class TResourcesForm;
class TTimeLineForm;
class TVideoSequenceForm;

// The editor's objects, made in the program's start-up order: the splash window, the
// main window (which reads the settings file), the film sequences window, the resource
// window, the project window; then the effect chain with the film command, and only
// when it is ready the command state, the saved layout and the windows' callbacks. The
// main window applies its own layout and frees the splash when it is first shown; when
// it closes it takes and saves the layout and lets go of the effect chain.
class TEditor {
 public:
  explicit TEditor(bool splash = true);
  ~TEditor();
  TEditor(const TEditor&) = delete;
  TEditor& operator=(const TEditor&) = delete;

  TProjectDocument& Document() const { return *FDocument; }
  TDocumentSignals& Signals() const { return *FSignals; }
  TMovaraForm& Main() const { return *FMain; }
  TVideoSequenceForm& Sequences() const { return *FSequences; }
  TResourcesForm& Resources() const { return *FResources; }
  TTimeLineForm& Project() const { return *FProject; }
  TFilmCommand* FilmCommand() const { return FFilm; }

 private:
  std::unique_ptr<TProjectDocument> FDocument;
  std::unique_ptr<TDocumentSignals> FSignals;
  std::unique_ptr<TMovaraForm> FMain;
  TVideoSequenceForm* FSequences = nullptr;
  TResourcesForm* FResources = nullptr;
  TTimeLineForm* FProject = nullptr;
  TFilmCommand* FFilm = nullptr;
};

// The splash window "Movara", painted at once.
QWidget* ShowSplash();

// Builds the windows, opens the project and runs the event loop; the exit code.
int RunEditor(QApplication& app, const TEditorOptions& options);

}  // namespace movara
