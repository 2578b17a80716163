#pragma once
// TClipGraphic: a clip thumbnail of the resource window: the file it shows, its clip
// type, its natural length in frames, its picture (kept at 96 x 77 and at the icon
// size), the opened AVI and sound readers, the colour of a colour clip and the name the
// user reads. Time-line blocks refer to it without owning it and are told when it goes
// away. TClipBox (ClipBox.h) holds the thumbnails; drawing belongs to the window.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/Dib.h"
#include "project/VfxData.h"

namespace movara {

class TAVI;
class TCustomAudioReader;
class TAudioZoomReader;
class TClipBox;

class TClipGraphic {
 public:
  TClipGraphic();
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
  // The file could not be loaded, yet the blocks showing it keep their place on the
  // time line (the film shows black and silence there).
  bool Missing() const { return FMissing; }
  void SetMissing(bool missing) { FMissing = missing; }

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
  void SetTimeBase(int fps) { FTimeBase = fps > 0 ? fps : FTimeBase; }
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
  // Told after the users, and not counted as users (the edit history, which remembers
  // blocks that showed the clip).
  void AddDestroyWatcher(const void* key, std::function<void()> callback);
  void RemoveDestroyWatcher(const void* key);

 // ---- loading (the thumbnail model)

  // Loads fileName: kind by extension, picture, lengths, readers and clip type. False
  // (with a trace line) when the file is missing, empty, of another kind or damaged.
  bool LoadClip(const std::string& fileName);
  // A solid-colour clip: no file, the colour as its picture, ten seconds long.
  void LoadColor(TColor color);
  // Replaces the picture (a title page saved again): Bitmap and BitmapClip anew.
  void SetPicture(const TDIB& picture);
  // A clip loaded for a film alone (the command line) takes its lengths, sizes and
  // sound format from the readers the film is made from (the resource lists'): no
  // picture, movie reader or waveform of its own. Set before LoadClip.
  void SetForFilmOnly(bool on) { FForFilmOnly = on; }
  bool ForFilmOnly() const { return FForFilmOnly; }

  // The master picture at 96 x 77, and scaled to the icon size.
  const TDIB& Bitmap() const { return FBitmap; }
  const TDIB& BitmapClip() const { return FBitmapClip; }
  // Full width and height of the picture the thumbnail shows.
  int PictureWidth() const { return FPictureWidth; }
  int PictureHeight() const { return FPictureHeight; }
  TIconSize IconSize() const { return FIconSize; }
  void SetIconSize(TIconSize size);
  TCountType CountType() const { return FCountType; }
  void SetCountType(TCountType ct) { FCountType = ValidEnum(ct) ? ct : FCountType; }

  // Sound format of sounds and movies.
  int Frequency() const { return FFrequency; }
  int Bits() const { return FBits; }
  bool Stereo() const { return FStereo; }

  // Picture registered with the render engine; -1 = none.
  int BitmapID() const { return FBitmapID; }
  void SetBitmapID(int id) { FBitmapID = id; }

  // The opened AVI (owned), the PCM reader at 1 channel, 16 bits, 44100 Hz (owned) and
  // the waveform cache (owned by the cache list).
  TAVI* Animation() const { return FAnimation.get(); }
  TCustomAudioReader* AudioReader() const { return FAudioReader.get(); }
  TAudioZoomReader* AudioZoomReader() const { return FAudioZoomReader; }

  // The box holding it (not owned); nullptr for a free thumbnail.
  TClipBox* Owner() const { return FOwner; }
  void SetOwner(TClipBox* box) { FOwner = box; }

  // Lines the thumbnail writes beside its picture (no drawing here).
  std::vector<std::string> InfoLines() const;
  // Control size for a font whose line is fontHeight pixels and a text width of
  // textWidth ("Duration: 0:00:00:00 NNNNNNN"; 200 without a canvas).
  int ControlHeight(int fontHeight) const;
  int ControlWidth(int textWidth = 200) const;

 private:
  bool LoadAvi(const std::string& fileName);
  bool LoadWave(const std::string& fileName);
  // False when the file has no sound (or it cannot be read).
  bool OpenSound(const std::string& fileName);

  TIconSize FIconSize = isNormal;
  TCountType FCountType = ctSMPTE;
  TDIB FBitmap;
  TDIB FBitmapClip;
  TDIB FPicture;  // the full picture, kept so that an icon size change scales from it
  int FPictureWidth = 0;
  int FPictureHeight = 0;
  int FFrequency = 0;
  int FBits = 0;
  bool FStereo = false;
  int FBitmapID = -1;
  std::unique_ptr<TAVI> FAnimation;
  std::unique_ptr<TCustomAudioReader> FAudioReader;
  TAudioZoomReader* FAudioZoomReader = nullptr;
  TClipBox* FOwner = nullptr;

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
  bool FMissing = false;
  bool FForFilmOnly = false;
  std::vector<std::pair<const void*, std::function<void()>>> FListeners;
  std::vector<std::pair<const void*, std::function<void()>>> FWatchers;
};

}  // namespace movara
