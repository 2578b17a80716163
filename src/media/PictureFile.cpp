#include "media/PictureFile.h"

#include <exception>
#include <mutex>
#include <vector>

#include "base/AppPaths.h"
#include "base/FileKind.h"
#include "base/GifFile.h"
#include "base/JpegFile.h"
#include "base/Trace.h"
#include "pages/PageEditBox.h"

namespace movara {
namespace {

std::mutex g_loaderMutex;
TTitlePageLoader g_titlePageLoader;

// The first existing file among the picture fallback folders, "" when none.
std::string FindInFallbackFolders(const std::string& path) {
  const std::string name = ExtractFileName(path);
  if (name.empty()) return std::string();
  const std::string pictures = DataFolder() + "AppData/Obrazki/";
  for (const std::string& folder : {pictures, pictures + "Maski/"}) {
    std::string candidate = folder + name;
    if (FileExists(candidate)) return candidate;
  }
  return std::string();
}

bool LoadEncoded(TDIB& dib, const std::string& path, TFileKind kind) {
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(path, bytes, kMaxPictureFileBytes)) {
    TraceF("[LoadPictureFile] cannot read \"%s\"", path.c_str());
    return false;
  }
  bool ok = false;
  switch (kind) {
    case fkBmp:
      ok = dib.LoadFromBmpBytes(bytes.data(), bytes.size());
      break;
    case fkJpg:
      ok = LoadJpegFromBytes(bytes.data(), bytes.size(), dib);
      break;
    case fkGif:
      ok = LoadGifFromBytes(bytes.data(), bytes.size(), dib);
      break;
    default:
      break;
  }
  if (!ok) TraceF("[LoadPictureFile] \"%s\" is damaged", path.c_str());
  return ok;
}

}  // namespace

void SetTitlePageLoader(TTitlePageLoader loader) {
  std::lock_guard<std::mutex> lock(g_loaderMutex);
  g_titlePageLoader = std::move(loader);
}

bool LoadPictureFile(TDIB& dib, std::string& path, bool allowFallback) {
  if (!FileExists(path)) {
    if (!allowFallback) return false;
    std::string found = FindInFallbackFolders(path);
    if (found.empty()) return false;
    path = found;
  }
  const TFileKind kind = FileKindOfName(path);
  switch (kind) {
    case fkBmp:
    case fkJpg:
    case fkGif:
      return LoadEncoded(dib, path, kind);
    case fkPte: {
      TTitlePageLoader loader;
      {
        std::lock_guard<std::mutex> lock(g_loaderMutex);
        loader = g_titlePageLoader;
      }
      // The page editor's renderer unless another one was registered (tests).
      if (!loader) loader = LoadPageToDIB;
      // A failed render must not leave a half-drawn picture behind.
      TDIB page;
      try {
        if (!loader(path, page)) return false;
      } catch (const std::exception& e) {
        TraceF("[LoadPictureFile] title page \"%s\" failed: %s", path.c_str(), e.what());
        return false;
      }
      dib = std::move(page);
      return true;
    }
    default:
      return false;
  }
}

bool LoadPictureToBitmap(TDIB& bitmap, std::string& fileName, bool allowFallback) {
  return LoadPictureFile(bitmap, fileName, allowFallback);
}

}  // namespace movara
