#pragma once
// The font system of the title-page renderer. Text is drawn with QtGui, which needs a
// QGuiApplication: the windowed program makes one in main() before anything draws; the
// command line and the tests get one made here on first use, on the "offscreen"
// platform unless QT_QPA_PLATFORM names another, so drawing works without a display.
// Make the first call from the main thread (Qt wants its application there).
//
// Font names of page files ("Time New Roman", "Times New Roman", "Arial",
// "MS Sans Serif", "Courier New") are substituted by the metric-compatible Liberation
// faces when the named face is not installed, so a page lays out alike on every machine.
#include <string>

namespace movara {

// True when fonts can be used (an application exists or was made). Thread-safe.
bool EnsurePageFontSystem();

// The face a font name of a page resolves to ("Liberation Serif" for "Time New Roman"
// on a machine without Times New Roman). Needs the font system.
std::string ResolvedPageFontFamily(const std::string& fontName);

}  // namespace movara
