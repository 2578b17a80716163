#pragma once
// The pictures of the main window's tool bar and the program's icon, drawn in code.
#include <QIcon>

namespace movara {

enum TToolIcon {
  tiNewProject,
  tiOpenProject,
  tiSaveProject,
  tiOpenResource,
  tiOpenSelectedResources,
  tiCopy,
  tiPaste,
  tiDelete,
  tiMakeFilm,
  tiMakeAudio,
  tiOptions,
  tiDvCapture,
  tiDvRecord,
  tiHelpContent,
  tiInformation
};

QIcon ToolBarIcon(TToolIcon which);
// A frame of film with its perforation.
QIcon ProgramIcon();
QPixmap ProgramPixmap(int size);

}  // namespace movara
