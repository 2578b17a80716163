#pragma once
// The resource lists: every media file a clip refers to is opened once and kept in a
// process-wide cache of (key, object) pairs. Four list classes, five instances:
//   "DIBList"       TDIBList       pictures, rows flipped once after loading
//   "DIBFYList"     TDIBList       pictures as loaded
//   "AVIList"       TAVIList       opened AVI files
//   "DIBColorList"  TDIBColorList  256 x 256 solid-colour pictures, keyed by colour text
//   "AudioFileList" TAudioFileList opened WAV/AVI sound readers
// A lookup never shows a message: a file that cannot be found or decoded gives nullptr
// and a trace line; the caller decides what to tell the user.
//
// Ownership: objects handed out by FindItem/GetItem stay owned by the list. An object
// taken out by RemoveItem/ReloadItem is no longer reachable through the list but is not
// destroyed at once, since another thread (the render thread, the audio engine) may
// still hold it: it waits in the list's graveyard until Clear or the list's end.
//
// Threads: the UI thread fills and empties the lists while the render thread resolves
// through GetItem; every operation takes the list's own (recursive) lock.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "base/Dib.h"
#include "base/VfxTypes.h"  // TClipType
#include "media/AudioReader.h"
#include "media/Avi.h"

namespace movara {

// "clRed" etc. for the named colours, else "$00BBGGRR" (eight upper-case hex digits).
std::string ColorToString(TColor color);

// Common part of the four lists: keys compared case-blind, duplicates allowed.
template <class T>
class TResourceListBase {
 public:
  TResourceListBase(std::string name, const char* className) : FName(std::move(name)), FClassName(className) {}
  virtual ~TResourceListBase() { ClearItems(); }
  TResourceListBase(const TResourceListBase&) = delete;
  TResourceListBase& operator=(const TResourceListBase&) = delete;

  const std::string& Name() const { return FName; }
  int Count() const;
  // The object at index; nullptr outside 0..Count-1.
  T* Items(int index) const;
  std::string Keys(int index) const;
  // Adds the object under key (the list takes it); the new index, -1 for no object.
  int AddItem(const std::string& key, std::unique_ptr<T> object);
  // Objects taken out by RemoveItem still kept alive (see above).
  int GraveyardCount() const;

 protected:
  // Index of the first entry whose key equals key case-blind, -1 when none.
  int IndexOfKey(const std::string& key) const;
  T* FindKey(const std::string& key) const;
  // Takes the entry of object out (into the graveyard); false when it is not listed.
  bool RemoveObject(const T* object);
  void ClearItems();

  mutable std::recursive_mutex FLock;
  std::string FName;
  const char* FClassName;
  std::vector<std::pair<std::string, std::unique_ptr<T>>> FItems;
  std::vector<std::unique_ptr<T>> FGraveyard;
};

// Lists keyed by file name share the six-candidate lookup.
template <class T>
class TFileResourceList : public TResourceListBase<T> {
 public:
  TFileResourceList(std::string name, const char* className, const char* fallbackFolder)
      : TResourceListBase<T>(std::move(name), className), FFallbackFolder(fallbackFolder) {}
  // The object of fileName, tried as: the name made absolute, its short form, the full
  // form of that; then the bare name in the list's fallback folder of the data folder,
  // its short form, the full form of that. nullptr when none is listed.
  T* FindItem(const std::string& fileName) const;
  // Finds the object and takes its entry out; false when nothing was found.
  bool RemoveItem(const std::string& fileName);
  void Clear() { this->ClearItems(); }
  const char* FallbackFolder() const { return FFallbackFolder; }

 protected:
  // The file to open for fileName (made absolute; else the bare name in the fallback
  // folder), in short form; "" when no file is at either place.
  std::string ResolveFile(const std::string& fileName) const;

 private:
  const char* FFallbackFolder;
};

// The memory all picture lists together may hold for loaded pictures (a third of the
// machine's memory unless set): a picture that would pass it is not loaded, and the
// reason is noted (LoadFailure.h) for the message that names the file.
void SetPictureBudget(uint64_t bytes);
uint64_t PictureBudget();
// Bytes of the pictures the picture lists hold now (taken-out ones included).
uint64_t PictureBytesHeld();

class TDIBList : public TFileResourceList<TDIB> {
 public:
  explicit TDIBList(std::string name) : TFileResourceList<TDIB>(std::move(name), "TDIBList", "LoadBmp") {}
  ~TDIBList() override;
  // Loads the picture (with the picture loader's own fallbacks) and adds it; nullptr
  // also when the picture budget has no room for it.
  TDIB* LoadFromFile(const std::string& fileName);
  // FindItem, else LoadFromFile and, when flip is set, the new picture flipped once.
  TDIB* GetItem(const std::string& fileName, bool flip);
  // Takes the present entry out and loads the file again (a title page saved anew).
  TDIB* ReloadItem(const std::string& fileName, bool flip);
  void Clear();

 private:
  uint64_t FHeldBytes = 0;  // of the pictures this list loaded and still keeps
};

class TAVIList : public TFileResourceList<TAVI> {
 public:
  explicit TAVIList(std::string name) : TFileResourceList<TAVI>(std::move(name), "TAVIList", "LoadAvi") {}
  TAVI* LoadFromFile(const std::string& fileName);
  // A new AVI's current-frame picture is flipped when flip is set.
  TAVI* GetItem(const std::string& fileName, bool flip);
};

class TAudioFileList : public TFileResourceList<TCustomAudioReader> {
 public:
  explicit TAudioFileList(std::string name)
      : TFileResourceList<TCustomAudioReader>(std::move(name), "TAudioFileList", "LoadAudio") {}
  // ".AVI" (any case) opens a TAviAudioReader, ".WAV" a TWaveAudioReader (a WAV it
  // refuses: a TMediaAudioReader), the movie and sound extensions of other containers a
  // TMediaAudioReader, with the reader's default destination format; any other
  // extension is refused.
  TCustomAudioReader* LoadFromFile(const std::string& fileName);
  TCustomAudioReader* GetItem(const std::string& fileName);
};

class TDIBColorList : public TResourceListBase<TDIB> {
 public:
  explicit TDIBColorList(std::string name) : TResourceListBase<TDIB>(std::move(name), "TDIBColorList") {}
  TDIB* FindItem(TColor color) const { return FindKey(ColorToString(color)); }
  // The colour's picture; made (256 x 256, 24 bits, filled) and added when missing.
  TDIB* GetItem(TColor color, bool flip);
  bool RemoveItem(TColor color);
  void Clear() { ClearItems(); }
};

// The five process-wide instances (made on first use when CreateResourceLists was not
// called yet).
TDIBList* DIBList();
TDIBList* DIBFYList();
TAVIList* AVIList();
TDIBColorList* DIBColorList();
TAudioFileList* AudioFileList();
// Creates the instances not there yet (in the order above); DestroyResourceLists frees
// all of them with every object they hold.
void CreateResourceLists();
void DestroyResourceLists();

// True when the lists now hold the file for the clip type: stills in "DIBList"
// (flipped) and then "DIBFYList"; animations in "AVIList"; sounds in "AudioFileList";
// movies in "AVIList" and then (its sound) "AudioFileList". Creates the lists if needed.
bool LoadResourceFile(TClipType clipType, const std::string& fileName);
// The same lists in the same order, RemoveItem on each (true when every list let it go).
bool ReleaseResourceFile(TClipType clipType, const std::string& fileName);
// Clear on all five lists.
void ClearResourceLists();

// An uncached PCM reader (owned by the caller) of a WAV or AVI file, converting to the
// given format; nullptr when the file is missing, of unknown kind or does not open.
std::unique_ptr<TCustomAudioReader> MakeAudioReaderFromFile(const std::string& fileName, int channels,
                                                            int bitsPerSample, int samplesPerSecond);

// Swaps row i with row height-1-i for i below height/2.
void FlipPictureRows(TDIB& dib);

}  // namespace movara
