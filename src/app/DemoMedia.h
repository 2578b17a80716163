#pragma once
// The demo's own media, made by the program with no input from the user.
#include <string>
#include <vector>

#include "base/Dib.h"

namespace movara {

// Colour bars with a grey ramp below them.
TDIB MakeDemoBars(int width, int height);
// A diagonal colour gradient with a light disc in the middle.
TDIB MakeDemoGradient(int width, int height);
// A checkerboard of two colours.
TDIB MakeDemoChecker(int width, int height, int cell, TColor a, TColor b);

struct TDemoFile {
  std::string path;
  std::string what;
};

// Writes the demo pictures into folder (with trailing '/'); returns what was made.
// Throws EMovara when a file cannot be written.
std::vector<TDemoFile> MakeDemoPictures(const std::string& folder);

}  // namespace movara
