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

// Saves a PNG of the page editor on the project's first title page with its first item
// selected ("pageedit.png"), of the keying window on the first image-row block's
// picture ("compose.png") and of the plain colour chooser ("compose-color.png");
// false when one could not be saved.
bool SavePageAndKeyingScreenshots(QWidget* parent, TTimeLineForm& project, const std::string& folder);

}  // namespace movara
