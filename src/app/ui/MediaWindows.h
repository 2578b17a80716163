#pragma once
// The clip players and resource views in the editor: where they open, what a
// double-click on a thumbnail opens, and their screenshots.
#include <string>

namespace movara {

class TMovaraForm;

// Players and views open in the main window's MDI area; a thumbnail's double-click
// plays AVI and WAV files and shows pictures; drags of a player's marked part refer
// to the open project's resource list. Undone when the main window goes.
void InstallMediaWindows(TMovaraForm& main);

// Saves "clipplayer.png" (a player on the first AVI of the resource list, a part
// marked, a few frames into the clip), "clipplayer-sound.png" (a WAV of the list, when
// there is one) and "resourceview.png" (the first still picture of the list, or a frame
// of the AVI); false when one that could be made was not saved.
bool SaveMediaWindowScreenshots(TMovaraForm& main, const std::string& folder);

}  // namespace movara
