#pragma once
// The project file ("MVF"): the time line's blocks with their timing, colour and keying
// settings, level envelopes and sound-to-picture links, and the view settings of the
// time line and of the resource list. Fixed-width little-endian fields: an 848-byte
// header, then one record per block followed by its level points. The file holds no
// media: blocks name their files, and reading rebuilds the resource list from them.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/Exceptions.h"
#include "project/Layers.h"
#include "project/VfxData.h"

namespace movara {

MOVARA_EXCEPTION(EProjectFile);

class TClipGraphic;

// Layout of the file.
inline constexpr int ProjectHeaderSize = 848;
inline constexpr int ProjectRecordMaxSize = 4195;
inline constexpr int ProjectRecordNameOffset = 100;
inline constexpr int ProjectLevelPointSize = 8;
// The reader gives up once the records it rejected pass this many (a damaged file
// that names no row in record after record).
inline constexpr int ProjectMaxRejected = 10000;

// The resource list as the project file sees it: the clips the blocks show and the
// list's own view settings. The resource window implements it over its clip box; a
// plain list of clips (TProjectClipList) serves the command line and the tests.
class TProjectResources {
 public:
  virtual ~TProjectResources() = default;
  // Removes every clip (opening a project starts from an empty resource list).
  virtual void ClearClips() = 0;
  // The clip that shows the file (expanded names compared), or else a new clip added
  // for the file; nullptr when the file does not load.
  virtual TClipGraphic* ClipForFile(const std::string& ExpandedName) = 0;
  virtual TIconSize ClipIconSize() const = 0;
  virtual void SetClipIconSize(TIconSize Value) = 0;
  virtual int ClipTimeBase() const = 0;
  virtual void SetClipTimeBase(int Value) = 0;
  // Around a whole read (the list's bsLoadingItems and suspended alignment).
  virtual void BeginLoading() {}
  virtual void EndLoading() {}
};

// Clips known by file name alone: a file that exists, is not empty and is of a kind the
// resource list takes (BMP, JPEG, GIF, PTE, AVI, WAV) becomes a clip; its picture and
// natural length are not read.
class TProjectClipList : public TProjectResources {
 public:
  void ClearClips() override { FClips.clear(); }
  TClipGraphic* ClipForFile(const std::string& ExpandedName) override;
  TIconSize ClipIconSize() const override { return FIconSize; }
  void SetClipIconSize(TIconSize Value) override { FIconSize = Value; }
  int ClipTimeBase() const override { return FTimeBase; }
  void SetClipTimeBase(int Value) override { FTimeBase = Value; }

  int Count() const { return static_cast<int>(FClips.size()); }
  TClipGraphic* Clips(int Index) const;
  // The clip showing the file, or nullptr.
  TClipGraphic* FindClip(const std::string& ExpandedName) const;
  // Adds a clip for a file without looking at the disk (tests, demo projects).
  TClipGraphic* AddClip(const std::string& ExpandedName, TClipType Type, int MaxDuration = 0);
  // Takes names of missing files too (to describe a project as it is stored).
  void SetAcceptMissing(bool Value) { FAcceptMissing = Value; }

 private:
  bool FAcceptMissing = false;
  std::vector<std::unique_ptr<TClipGraphic>> FClips;
  TIconSize FIconSize = isNormal;
  int FTimeBase = DefaultTimeBase;
};

// The resource window's clip box: a file not shown by any thumbnail is added with
// AddFile, which loads it into the resource lists.
class TClipBox;
class TClipBoxResources : public TProjectResources {
 public:
  explicit TClipBoxResources(TClipBox& Box) : FBox(Box) {}
  void ClearClips() override;
  TClipGraphic* ClipForFile(const std::string& ExpandedName) override;
  TIconSize ClipIconSize() const override;
  void SetClipIconSize(TIconSize Value) override;
  int ClipTimeBase() const override;
  void SetClipTimeBase(int Value) override;

 private:
  TClipBox& FBox;
};

// The status bar's progress while items are read.
class TProjectProgress {
 public:
  virtual ~TProjectProgress() = default;
  virtual void Start(int Max) = 0;
  virtual void Step() = 0;
  virtual void End() = 0;
};

// One read or one write of a project file.
class TProjectStream {
 public:
  // Read mode opens the existing file for reading, else the file is written by
  // WriteProject. Throws EProjectFile when the file cannot be opened for reading.
  TProjectStream(const std::string& FileName, TProjectProgress* StatusBar, TProjectResources* ClipBox,
                 TLayerBox* LayerBox, bool ReadMode);
  ~TProjectStream();
  TProjectStream(const TProjectStream&) = delete;
  TProjectStream& operator=(const TProjectStream&) = delete;

  const std::string& FileName() const { return FFileName; }
  const std::string& ProjectFolder() const { return FFolder; }

  // Reads the whole file into the layer box: the number of blocks created, or -1 when
  // an error stopped the reading of items. Total receives the header's item count (0
  // for an unrecognised file).
  int ReadProject(int& Total);
  // The media files that were neither in the resource list nor loadable.
  const std::vector<std::string>& SkippedFiles() const { return FSkippedFiles; }
  // One name per line, each ended by CR LF; a name whose loader told why it failed is
  // followed by the reason in parentheses.
  std::string SkippedFilesText() const;

  // The scale's count type: after a read the header's (for the window's scale), and
  // the value WriteProject stores.
  TCountType CountType() const { return FCountType; }
  void SetCountType(TCountType Value) { FCountType = Value; }

  // Writes the open project: through a temporary file in the same folder that replaces
  // the file only when complete, so a failed save leaves the old file as it was. False
  // on failure (nothing shown).
  bool WriteProject(const std::string& FileName);

 private:
  class TReader;
  bool ReadItemRecord(TReader& In);
  TClipGraphic* ResolveMedia(const std::string& Name);
  void ApplyHeader(const uint8_t* Header);

  std::string FFileName;
  std::string FFolder;
  std::FILE* FFile = nullptr;
  int FCreated = -1;
  TProjectProgress* FStatusBar;
  TProjectResources* FClipBox;
  TLayerBox* FLayerBox;
  std::vector<std::string> FSkippedFiles;
  std::vector<std::string> FSkippedReasons;  // one per skipped file, "" when none was told
  TCountType FCountType = ctSMPTE;
};

// The bytes WriteProject stores for a project (exposed for the tests and the benchmark).
std::vector<uint8_t> ProjectBytes(TLayerBox& LayerBox, const TProjectResources* ClipBox, TCountType CountType,
                                  const std::string& ProjectFolder);

// The open command of the project window without its dialogs: clears the time line and
// the resource list, reads the file, shows "[811]" or "[812]" when not everything was
// read, puts the default range block on an empty range row and sets Modified (false
// only when every block was read). True when the whole project was read.
struct TOpenProjectResult {
  bool Ok = false;
  int Read = 0;
  int Total = 0;
  TCountType CountType = ctSMPTE;
};
TOpenProjectResult OpenProjectFile(const std::string& FileName, TLayerBox& LayerBox, TProjectResources& ClipBox,
                                   TProjectProgress* StatusBar = nullptr);

}  // namespace movara
