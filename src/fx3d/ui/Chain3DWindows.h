#pragma once
// Installs the effect windows into the preview chain: the chooser as a modal dialog of
// the main window, the preview window as an MDI child of it (or a window of its own
// when there is no MDI area, as in tests).
#include <functional>

class QMdiSubWindow;
class QWidget;

namespace movara {

class TFxMyRenderForm;
class TFxSelectForm;

// owner: the chooser's parent (may be nullptr); addMdiChild: puts the preview window
// into the main window's MDI area and returns its frame (empty: a top-level window).
// The render options come from the INI file when the preview window is made.
void InstallChain3DWindows(QWidget* owner, std::function<QMdiSubWindow*(QWidget*)> addMdiChild);

// The windows the chain made (nullptr before and after).
TFxSelectForm* ChainChooserForm();
TFxMyRenderForm* ChainPreviewForm();

}  // namespace movara
