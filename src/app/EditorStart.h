#pragma once
// Which command lines start the editor, and its start from the headless program. The
// editor is a program of its own (movara-editor, next to movara): the subcommands then
// load neither the windows' libraries nor the sound output, and start sooner.
#include <string>

namespace movara {

struct TEditorOptions {
  std::string ProjectFile;     // opened at start; empty = a new project
  std::string ScreenshotsDir;  // hidden mode: save a PNG of every window there, then quit
};

// Whether the command line starts the editor: no arguments, one project file (".mvf",
// any case), or "--screenshots DIR [PROJECT]". Everything else is a headless subcommand.
bool IsEditorCommandLine(int argc, char** argv, TEditorOptions& options);

// The editor program beside the running one.
std::string EditorProgramPath();

// Replaces the process by the editor with the same arguments; returns only when that
// fails, with the exit code after a one-line error on stderr.
int ExecEditor(char** argv);

}  // namespace movara
