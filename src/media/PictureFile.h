#pragma once
// Loading still pictures (BMP, JPEG, GIF and, once the page editor registers its
// renderer, title pages) into a TDIB, with the picture fallback folders of the
// program's data folder.
#include <functional>
#include <string>

#include "base/Dib.h"

namespace movara {

// Renders a title-page file into a picture; false when it cannot.
using TTitlePageLoader = std::function<bool(const std::string& fileName, TDIB& dib)>;
// Registers the title-page renderer (an empty function removes it). Without one,
// title pages do not load.
void SetTitlePageLoader(TTitlePageLoader loader);

// Files larger than this are not pictures the program loads.
inline constexpr size_t kMaxPictureFileBytes = size_t(256) << 20;

// Loads the picture at path into dib. When no file is at path and allowFallback is
// set, the bare file name is looked for in "AppData/Obrazki" and then in
// "AppData/Obrazki/Maski" of the data folder; the path found is written back into
// path. False (dib untouched) when no file is found, the kind is not a picture, or
// the file is damaged.
bool LoadPictureFile(TDIB& dib, std::string& path, bool allowFallback);
// The same loader for clip thumbnails, whose target is a plain bitmap; here the
// bitmap is a TDIB too.
bool LoadPictureToBitmap(TDIB& bitmap, std::string& fileName, bool allowFallback);

}  // namespace movara
