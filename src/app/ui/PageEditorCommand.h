#pragma once
// The page editor in the editor: opened from a title page's thumbnail (or a menu) on
// the open project's resource list, a page it saves refreshes every use of that file,
// and its export puts the page into the list.
#include <string>

class QWidget;

namespace movara {

class TClipBox;
class TTimeLineForm;

// Opens the page editor modally on fileName (a new page when empty) for the resource
// list box.
void OpenPageEditor(QWidget* parent, TClipBox& box, const std::string& fileName);
// A double-click on a title page thumbnail of the project opens the editor on it.
void InstallPageEditor(QWidget* parent, TTimeLineForm& project);

}  // namespace movara
