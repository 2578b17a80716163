#pragma once
// TClipGraphic: a resource of the resource list as the time line sees it: the file it
// shows, its clip type, its natural length in frames, the colour of a colour clip and
// the name the user reads. Time-line blocks refer to it without owning it and are told
// when it goes away. The thumbnail picture, the loading of the file, the readers and
// the drawing come with the resource list (the clip box), which extends this class.
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "project/VfxData.h"

namespace movara {

class TClipGraphic {
 public:
  TClipGraphic() = default;
  // Tells every registered user (the blocks showing this clip) before it goes.
  ~TClipGraphic();
  TClipGraphic(const TClipGraphic&) = delete;
  TClipGraphic& operator=(const TClipGraphic&) = delete;

  // File. The full name is the folder and the short name joined by one separator.
  const std::string& FileShortName() const { return FFileShortName; }
  const std::string& FilePath() const { return FFilePath; }
  void SetFileShortName(const std::string& name) { FFileShortName = name; }
  void SetFilePath(const std::string& path) { FFilePath = path; }
  // Splits a full name into folder and short name.
  void SetFileName(const std::string& fullName);
  std::string FullFileName() const;
  // The short name, or "Nieznany plik" when there is no file.
  std::string DisplayName() const;
  int64_t FileLength() const { return FFileLength; }
  void SetFileLength(int64_t bytes) { FFileLength = bytes; }

  TClipType ClipType() const { return FClipType; }
  void SetClipType(TClipType ct) { FClipType = ValidEnum(ct) ? ct : ctNone; }

  // Lengths in frames. Duration: the length a new block gets. MaxDuration: the natural
  // length (0 for stills). MovieDuration/AudioDuration: the picture and sound streams.
  int Duration() const { return FDuration; }
  void SetDuration(int frames) { FDuration = frames; }
  int MaxDuration() const { return FMaxDuration; }
  void SetMaxDuration(int frames) { FMaxDuration = frames < 0 ? 0 : frames; }
  int MovieDuration() const { return FMovieDuration; }
  void SetMovieDuration(int frames) { FMovieDuration = frames < 0 ? 0 : frames; }
  int AudioDuration() const { return FAudioDuration; }
  void SetAudioDuration(int frames) { FAudioDuration = frames < 0 ? 0 : frames; }
  // A natural length exists for animations, sounds and movies with a stream of at
  // least one frame.
  bool HasMaxDuration() const;
  int TimeBase() const { return FTimeBase; }
  // Frames per second of the AVI's picture stream (as read from the file).
  double MovieTimeBase() const { return FMovieTimeBase; }
  void SetMovieTimeBase(double fps) { FMovieTimeBase = fps > 0 ? fps : FMovieTimeBase; }

  // The solid colour of a colour clip.
  TColor UniformColorValue() const { return FUniformColorValue; }
  void SetUniformColorValue(TColor c) { FUniformColorValue = c; }

  // Frame at which the block using it starts; marks set by the blocks and the box.
  int Position() const { return FPosition; }
  void SetPosition(int frame) { FPosition = frame; }
  int Order() const { return FOrder; }
  void SetOrder(int order) { FOrder = order; }
  bool Used() const { return FUsed; }
  void SetUsed(bool used) { FUsed = used; }
  bool Selected() const { return FSelected; }
  void SetSelected(bool selected) { FSelected = selected; }

  // Destruction callbacks, one per user (a block registers itself under its own
  // address). Every block that shows the clip keeps one, so none is left pointing at a
  // freed clip.
  void AddDestroyListener(const void* key, std::function<void()> callback);
  void RemoveDestroyListener(const void* key);
  bool HasDestroyListeners() const { return !FListeners.empty(); }
  int DestroyListenerCount() const { return static_cast<int>(FListeners.size()); }

 private:
  std::string FFileShortName;
  std::string FFilePath;
  int64_t FFileLength = 0;
  TClipType FClipType = ctNone;
  int FDuration = 0;
  int FMaxDuration = 0;
  int FMovieDuration = 0;
  int FAudioDuration = 0;
  int FTimeBase = DefaultTimeBase;
  double FMovieTimeBase = DefaultTimeBase;
  TColor FUniformColorValue = 0;
  int FPosition = 0;
  int FOrder = 1;
  bool FUsed = false;
  bool FSelected = false;
  std::vector<std::pair<const void*, std::function<void()>>> FListeners;
};

}  // namespace movara
