// movara: the headless subcommands; the editor's command lines start movara-editor in
// this process's place.
#include "app/CommandLine.h"
#include "app/EditorStart.h"
#include "platform/codecs/CodecLog.h"

int main(int argc, char** argv) {
  movara::TEditorOptions options;
  if (movara::IsEditorCommandLine(argc, argv, options)) return movara::ExecEditor(argv);
  movara::RouteCodecLogToTrace();
  return movara::RunCommandLine(argc, argv);
}
