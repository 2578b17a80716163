#include "project/ClipGraphic.h"

namespace movara {

TClipGraphic::~TClipGraphic() {
  // A user may remove other users while it is told (a block deletes every other block
  // showing this clip), so take them one at a time.
  while (!FListeners.empty()) {
    auto listener = std::move(FListeners.front());
    FListeners.erase(FListeners.begin());
    if (listener.second) listener.second();
  }
}

void TClipGraphic::SetFileName(const std::string& fullName) {
  size_t slash = fullName.find_last_of('/');
  if (slash == std::string::npos) {
    FFilePath.clear();
    FFileShortName = fullName;
  } else {
    FFilePath = fullName.substr(0, slash + 1);
    FFileShortName = fullName.substr(slash + 1);
  }
}

std::string TClipGraphic::FullFileName() const {
  if (FFilePath.empty()) return FFileShortName;
  if (FFilePath.back() == '/') return FFilePath + FFileShortName;
  return FFilePath + "/" + FFileShortName;
}

std::string TClipGraphic::DisplayName() const {
  return FFileShortName.empty() ? std::string("Nieznany plik") : FFileShortName;
}

bool TClipGraphic::HasMaxDuration() const {
  return (FClipType == ctAnimation || FClipType == ctAudio || FClipType == ctMovie) &&
         (FAudioDuration >= 1 || FMovieDuration >= 1);
}

void TClipGraphic::AddDestroyListener(const void* key, std::function<void()> callback) {
  for (auto& l : FListeners) {
    if (l.first == key) {
      l.second = std::move(callback);
      return;
    }
  }
  FListeners.emplace_back(key, std::move(callback));
}

void TClipGraphic::RemoveDestroyListener(const void* key) {
  for (auto it = FListeners.begin(); it != FListeners.end(); ++it) {
    if (it->first == key) {
      FListeners.erase(it);
      return;
    }
  }
}

}  // namespace movara
