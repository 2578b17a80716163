#pragma once
// The film command of the main window and the effect windows' place in the editor.
//
// TFilmCommand runs film generation: (the script made anew when started from the tool
// bar or the project window), every block deselected, the settings window
// "Własności generowanego filmu" for the content (0 picture and sound, 1 picture,
// 2 sound), a short pause for the screen to settle, the script loaded into the preview
// window's render thread, the progress window, and the finished film opened when the
// settings ask for it.
//
// InstallEffectWindows puts the preview chain's windows into the main window (the
// chooser as its dialog, the preview as an MDI child), gives the film writer its
// compressor dialog, and connects the project window: the slider's preview, the
// transition's effect chooser, "&Generuj film..." and Ctrl+M.
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>

namespace movara {

class ITimeLineDialogs;
class TMovaraForm;
class TTimeLineForm;

class TFilmCommand : public QObject {
  Q_OBJECT
 public:
  TFilmCommand(TMovaraForm& main, TTimeLineForm& project);
  ~TFilmCommand() override;

  // mode: 0 film, 1 animation, 2 sound; regenerate: started from the tool bar or the
  // project window. True when a film was made.
  bool Run(int mode, bool regenerate);

  // Opens a finished film (the desktop's default player until the program has its own).
  std::function<void(const std::string& fileName)> OpenFilm;
  // The windows of the last run, while they are shown (tests drive them).
  bool Running() const { return FRunning; }

 private:
  friend TFilmCommand* InstallEffectWindows(TMovaraForm&, TTimeLineForm&);
  TMovaraForm& FMain;
  QPointer<TTimeLineForm> FProject;
  std::unique_ptr<ITimeLineDialogs> FDialogs;  // the project window's, while it lives
  bool FRunning = false;
};

// Saves a PNG of each effect and film window into folder ("fxselect.png",
// "fxpreview.png", "aviformat.png", "compressor.png", "aviprogress.png"), the windows
// shown on the open project; false when one could not be saved.
bool SaveFilmWindowScreenshots(TMovaraForm& main, TTimeLineForm& project, const std::string& folder);

// Installs the effect windows and the film command into the editor; the command
// belongs to the main window.
TFilmCommand* InstallEffectWindows(TMovaraForm& main, TTimeLineForm& project);

}  // namespace movara
