// movara-editor: the windows over a project; any other command line runs the headless
// subcommands as movara does.
#include <QApplication>

#include "app/CommandLine.h"
#include "app/ui/Editor.h"
#include "platform/codecs/CodecLog.h"

int main(int argc, char** argv) {
  movara::TEditorOptions options;
  if (movara::IsEditorCommandLine(argc, argv, options)) {
    // the windows' application comes before any other call
    QApplication app(argc, argv);
    movara::RouteCodecLogToTrace();
    return movara::RunEditor(app, options);
  }
  movara::RouteCodecLogToTrace();
  return movara::RunCommandLine(argc, argv);
}
