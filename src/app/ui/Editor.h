#pragma once
// The editor: the windows over one open project. main() creates the QApplication
// before anything else and hands over here when the command line asks for the editor.
#include <string>

class QApplication;

namespace movara {

struct TEditorOptions {
  std::string ProjectFile;     // opened at start; empty = a new project
  std::string ScreenshotsDir;  // hidden mode: save a PNG of every window there, then quit
};

// Whether the command line starts the editor: no arguments, one project file (".mvf",
// any case), or "--screenshots DIR [PROJECT]". Everything else is a headless subcommand.
bool IsEditorCommandLine(int argc, char** argv, TEditorOptions& options);

// Builds the windows, opens the project and runs the event loop; the exit code.
int RunEditor(QApplication& app, const TEditorOptions& options);

}  // namespace movara
