#include "app/EditorStart.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "base/FileKind.h"

namespace movara {

bool IsEditorCommandLine(int argc, char** argv, TEditorOptions& options) {
  options = TEditorOptions();
  if (argc <= 1) return true;
  const std::string first = argv[1];
  if (first == "--screenshots") {
    if (argc < 3 || argc > 4) return false;
    options.ScreenshotsDir = argv[2];
    if (argc == 4) options.ProjectFile = argv[3];
    return true;
  }
  if (argc == 2 && FileKindOfName(first) == fkMvf) {
    options.ProjectFile = first;
    return true;
  }
  return false;
}

std::string EditorProgramPath() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  const std::filesystem::path dir = ec ? std::filesystem::path(".") : self.parent_path();
  return (dir / "movara-editor").string();
}

int ExecEditor(char** argv) {
  const std::string editor = EditorProgramPath();
  ::execv(editor.c_str(), argv);
  const int err = errno;
  std::fprintf(stderr, "movara: cannot start the editor '%s': %s\n", editor.c_str(), std::strerror(err));
  return 1;
}

}  // namespace movara
