// Reading and writing of project files.
#include "persist/ProjectFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_map>

#include "base/AppPaths.h"
#include "base/Dib.h"
#include "base/FileKind.h"
#include "base/Format.h"
#include "base/LittleEndian.h"
#include "base/LoadFailure.h"
#include "base/Trace.h"
#include "base/UserMessages.h"
#include "project/ClipBox.h"
#include "project/ClipGraphic.h"

namespace movara {
namespace {

constexpr char Magic[4] = {'M', 'V', '1', '0'};

// Header offsets.
constexpr int hIconSize = 4;
constexpr int hZoom = 5;
constexpr int hFirstFrame = 8;
constexpr int hFirstLayerDoKey = 13;
constexpr int hClipTimeBase = 16;
constexpr int hSnapItems = 20;
constexpr int hCountType = 21;
constexpr int hLevelBoxVisible = 24;  // + 36 x layer number ordinal
constexpr int hLayerStep = 36;
constexpr int hClipIconSize = 776;
constexpr int hItemCount = 844;

// Record offsets.
constexpr int rLength = 0;
constexpr int rLayerNumber = 4;
constexpr int rMediaType = 5;
constexpr int rFirstFrame = 8;
constexpr int rOffsetFrame = 12;
constexpr int rDuration = 16;
constexpr int rConstDuration = 20;
constexpr int rColorKey = 24;
constexpr int rComposeMode = 28;
constexpr int rUniformColor = 29;
constexpr int rUniformColorValue = 32;
constexpr int rYUVLo = 36;
constexpr int rYUVHi = 40;
constexpr int rSpeed = 44;
constexpr int rClipType = 48;
constexpr int rFx3dID = 52;
constexpr int rPointCount = 56;
constexpr int rSynchronizeBoth = 60;
constexpr int rLinkID = 64;

// An enumeration byte: its value, or Fallback for an ordinal past the last value.
template <typename E>
E EnumOr(uint8_t Ordinal, E Fallback) {
  E v = Fallback;
  EnumFromOrdinal<E>(Ordinal, v);
  return v;
}

// The reading order of the blocks (link identifiers count in it).
constexpr TLayerNumber FileOrder[] = {lnRange,           lnSequence,   lnImage,       lnFirstClipTop, lnFirstFx3d,
                                      lnFirstClipBottom, lnAudioFirst, lnAudioSecond, lnAudioThird};

bool IsMediaType(TLayerType t) { return t == ltBmpAvi || t == ltAudio || t == ltImage; }

// A media name as stored: relative to the project's folder when the file lies in it or
// below it, else the full name.
std::string StoredMediaName(const std::string& Full, const std::string& Folder) {
  if (!Folder.empty() && Full.size() > Folder.size() && Full.compare(0, Folder.size(), Folder) == 0)
    return Full.substr(Folder.size());
  return Full;
}

}  // namespace

// ---------------------------------------------------------------------------------
// TProjectClipList

TClipGraphic* TProjectClipList::Clips(int Index) const {
  if (Index < 0 || Index >= Count()) return nullptr;
  return FClips[static_cast<size_t>(Index)].get();
}

TClipGraphic* TProjectClipList::FindClip(const std::string& ExpandedName) const {
  for (const auto& c : FClips)
    if (c->FullFileName() == ExpandedName) return c.get();
  return nullptr;
}

TClipGraphic* TProjectClipList::AddClip(const std::string& ExpandedName, TClipType Type, int MaxDuration) {
  auto clip = std::make_unique<TClipGraphic>();
  clip->SetFileName(ExpandedName);
  clip->SetClipType(Type);
  clip->SetMaxDuration(MaxDuration);
  if (Type == ctAudio)
    clip->SetAudioDuration(MaxDuration);
  else if (Type == ctAnimation || Type == ctMovie)
    clip->SetMovieDuration(MaxDuration);
  clip->SetDuration(MaxDuration >= 1 ? MaxDuration : FTimeBase * 10);
  int order = 1;
  for (const auto& c : FClips)
    if (c->FullFileName() == ExpandedName) ++order;
  clip->SetOrder(order);
  FClips.push_back(std::move(clip));
  return FClips.back().get();
}

TClipGraphic* TProjectClipList::ClipForFile(const std::string& ExpandedName) {
  if (TClipGraphic* c = FindClip(ExpandedName)) return c;
  if (!FAcceptMissing) {
    if (!FileExists(ExpandedName)) return nullptr;
    std::FILE* f = std::fopen(ExpandedName.c_str(), "rb");
    if (!f) return nullptr;
    const bool empty = std::fgetc(f) == EOF;
    std::fclose(f);
    if (empty) return nullptr;
  }
  TClipType type;
  switch (FileKindOfName(ExpandedName)) {
    case fkBmp:
    case fkJpg:
    case fkGif:
    case fkPte: type = ctStillImage; break;
    case fkAvi: type = ctMovie; break;
    case fkWav: type = ctAudio; break;
    default: return nullptr;
  }
  return AddClip(ExpandedName, type);
}

// ---------------------------------------------------------------------------------
// TClipBoxResources

void TClipBoxResources::ClearClips() { FBox.ClearClips(); }

TClipGraphic* TClipBoxResources::ClipForFile(const std::string& ExpandedName) {
  if (TClipGraphic* c = FBox.FindClip(ExpandedName)) return c;
  return FBox.AddFile(ExpandedName);
}

TIconSize TClipBoxResources::ClipIconSize() const { return FBox.ClipIconSize(); }
void TClipBoxResources::SetClipIconSize(TIconSize Value) { FBox.SetClipIconSize(Value); }
int TClipBoxResources::ClipTimeBase() const { return FBox.ClipTimeBase(); }
void TClipBoxResources::SetClipTimeBase(int Value) { FBox.SetClipTimeBase(Value); }

// ---------------------------------------------------------------------------------
// Reading

// Buffered reading of the file; a read past the end gives the bytes that are there.
class TProjectStream::TReader {
 public:
  explicit TReader(std::FILE* f) : FFile(f) {}

  // Up to N bytes into Dst; returns how many were there.
  size_t Read(uint8_t* Dst, size_t N) {
    size_t got = 0;
    while (got < N) {
      if (FPos == FEnd && !Fill()) break;
      const size_t n = std::min(N - got, FEnd - FPos);
      std::memcpy(Dst + got, FBuf + FPos, n);
      FPos += n;
      got += n;
    }
    return got;
  }
  // The next N (at most 4) bytes without consuming them.
  size_t Peek(uint8_t* Dst, size_t N) {
    if (FEnd - FPos < N) {
      std::memmove(FBuf, FBuf + FPos, FEnd - FPos);
      FEnd -= FPos;
      FPos = 0;
      while (FEnd < N) {
        const size_t n = std::fread(FBuf + FEnd, 1, sizeof FBuf - FEnd, FFile);
        if (n == 0) break;
        FEnd += n;
      }
    }
    const size_t n = std::min(N, FEnd - FPos);
    std::memcpy(Dst, FBuf + FPos, n);
    return n;
  }
  // Passes over N bytes (or to the end of the file).
  void Skip(uint64_t N) {
    const uint64_t inBuf = FEnd - FPos;
    if (N <= inBuf) {
      FPos += static_cast<size_t>(N);
      return;
    }
    N -= inBuf;
    FPos = FEnd = 0;
    if (N > static_cast<uint64_t>(INT64_MAX) || fseeko(FFile, static_cast<off_t>(N), SEEK_CUR) != 0)
      fseeko(FFile, 0, SEEK_END);
  }
  bool Error() const { return std::ferror(FFile) != 0; }

 private:
  bool Fill() {
    FPos = 0;
    FEnd = std::fread(FBuf, 1, sizeof FBuf, FFile);
    return FEnd > 0;
  }
  std::FILE* FFile;
  uint8_t FBuf[1 << 16];
  size_t FPos = 0;
  size_t FEnd = 0;
};

TProjectStream::TProjectStream(const std::string& FileName, TProjectProgress* StatusBar,
                               TProjectResources* ClipBox, TLayerBox* LayerBox, bool ReadMode)
    : FFileName(ExpandFileName(FileName)),
      FFolder(ExtractFilePath(FFileName)),
      FStatusBar(StatusBar),
      FClipBox(ClipBox),
      FLayerBox(LayerBox) {
  if (ReadMode) {
    FFile = std::fopen(FFileName.c_str(), "rb");
    if (!FFile) throw EProjectFile(Format("Cannot open %s: %s", FFileName.c_str(), std::strerror(errno)));
  }
}

TProjectStream::~TProjectStream() {
  if (FFile) std::fclose(FFile);
}

std::string TProjectStream::SkippedFilesText() const {
  std::string s;
  for (size_t i = 0; i < FSkippedFiles.size(); ++i) {
    s += FSkippedFiles[i];
    if (i < FSkippedReasons.size() && !FSkippedReasons[i].empty()) s += " (" + FSkippedReasons[i] + ")";
    s += "\r\n";
  }
  return s;
}

int TProjectStream::ReadProject(int& Total) {
  if (!FFile || !FLayerBox) throw EProjectFile("Project stream not opened for reading");
  uint8_t header[ProjectHeaderSize] = {};
  TReader in(FFile);
  in.Read(header, sizeof header);  // a short file leaves the rest zero
  FCreated = 0;
  if (std::memcmp(header, Magic, sizeof Magic) != 0) {
    ShowMessage(Format("Plik %s nie został rozpoznany przez Movara 1.0", FFileName.c_str()));
    Total = 0;
    return 0;
  }

  Total = GetLEI32(header + hItemCount);
  if (FStatusBar) FStatusBar->Start(std::max(Total, 0));
  auto loading = FLayerBox->ScopedState(bsLoadingItems);
  int result = 0;
  try {
    for (int i = 0; i < Total; ++i) {
      if (ReadItemRecord(in)) ++FCreated;
      if (FStatusBar) FStatusBar->Step();
      if (i >= FCreated + ProjectMaxRejected) break;
    }
    result = FCreated;
  } catch (const std::exception& e) {
    TraceF("[TProjectStream.ReadProject] %s", e.what());
    result = -1;
  }

  try {
    ApplyHeader(header);
    for (TLayerNumber n : FileOrder) {
      TLayerRow* row = FLayerBox->RowByNumber(n);
      row->SetLevelBoxVisible(header[hLevelBoxVisible + hLayerStep * n] != 0);
      row->SortItems();
    }
  } catch (...) {
    loading.Restore();
    if (FStatusBar) FStatusBar->End();
    throw;
  }
  loading.Restore();
  FLayerBox->ArrangeRows();
  FLayerBox->UpdateScrollBar();
  if (FStatusBar) FStatusBar->End();
  return result;
}

// The header's settings, in the order the time line takes them. Values outside their
// types (an enumeration byte past its last value, a time base below 1) leave the
// setting as it is: the time base divides in every time code.
void TProjectStream::ApplyHeader(const uint8_t* Header) {
  TIconSize iconSize;
  if (EnumFromOrdinal<TIconSize>(Header[hIconSize], iconSize)) FLayerBox->SetIconSize(iconSize);
  TZoom zoom;
  if (EnumFromOrdinal<TZoom>(Header[hZoom], zoom)) FLayerBox->SetZoom(zoom);
  const int32_t firstFrame = GetLEI32(Header + hFirstFrame);
  FLayerBox->SetFirstFrame(firstFrame);
  FLayerBox->SetFirstLayerDoKey(Header[hFirstLayerDoKey] != 0);
  FLayerBox->SetSnapItems(Header[hSnapItems] != 0);
  EnumFromOrdinal<TCountType>(Header[hCountType], FCountType);
  if (FClipBox) {
    TIconSize clipIconSize;
    if (EnumFromOrdinal<TIconSize>(Header[hClipIconSize], clipIconSize)) FClipBox->SetClipIconSize(clipIconSize);
    const int32_t timeBase = GetLEI32(Header + hClipTimeBase);
    if (timeBase >= 1) FClipBox->SetClipTimeBase(timeBase);
  }
  FLayerBox->SetFirstFrame(firstFrame);
}

// The clip that shows a media file named in a record, resolved against the project's
// folder; nullptr when the file is not in the resource list and does not load.
TClipGraphic* TProjectStream::ResolveMedia(const std::string& Name) {
  const std::string expanded = ExpandFileName(!Name.empty() && Name[0] == '/' ? Name : FFolder + Name);
  TakeLoadFailure();  // a reason left from another file is not this one's
  TClipGraphic* clip = FClipBox ? FClipBox->ClipForFile(expanded) : nullptr;
  if (!clip) {
    FSkippedFiles.push_back(expanded);
    FSkippedReasons.push_back(TakeLoadFailure());
  }
  return clip;
}

bool TProjectStream::ReadItemRecord(TReader& In) {
  // the buffer is one byte longer than a record, so a name always ends in a zero
  uint8_t rec[ProjectRecordMaxSize + 1] = {};
  uint8_t lengthBytes[4] = {};
  In.Peek(lengthBytes, 4);
  const int32_t length = std::clamp<int32_t>(GetLEI32(lengthBytes), 0, ProjectRecordMaxSize);
  In.Read(rec, static_cast<size_t>(length));
  if (In.Error()) throw EProjectFile("Read error");

  const int32_t pointCount = GetLEI32(rec + rPointCount);
  auto reject = [&]() {
    if (pointCount > 0) In.Skip(static_cast<uint64_t>(pointCount) * ProjectLevelPointSize);
    return false;
  };

  TLayerNumber number = lnNone;
  EnumFromOrdinal<TLayerNumber>(rec[rLayerNumber], number);
  TLayerRow* row = FLayerBox->RowByNumber(number);
  if (!row) return reject();

  const int32_t firstFrame = GetLEI32(rec + rFirstFrame);
  const int32_t duration = GetLEI32(rec + rDuration);
  TLayerItem* item = row->InsertLayerItem(firstFrame, false, false, false, -1, nullptr, duration);
  if (!item) return reject();
  const int placedFirst = item->FirstFrame();
  const int placedDuration = item->Duration();
  item->SetFirstFrame(firstFrame);
  item->SetOffsetFrame(GetLEI32(rec + rOffsetFrame));
  item->SetDuration(duration);
  item->SetConstDuration(rec[rConstDuration] != 0);
  item->SetColorKey(GetLE32(rec + rColorKey));
  item->SetSpeed(GetLEI32(rec + rSpeed));
  item->SetMediaType(EnumOr<TLayerType>(rec[rMediaType], ltNone));
  item->SetComposeMode(EnumOr<TComposeMode>(rec[rComposeMode], cmNone));
  item->SetUniformColor(EnumOr<TUniformColor>(rec[rUniformColor], ucNone));
  item->SetUniformColorValue(GetLE32(rec + rUniformColorValue));
  item->SetYUVLo(GetLEI32(rec + rYUVLo));
  item->SetYUVHi(GetLEI32(rec + rYUVHi));
  if (item->FirstFrame() != placedFirst || item->Duration() != placedDuration) {
    // the record overlaps a block read before it: the row is made free of overlaps again
    row->SortItems();
    row->CorrectOverlaps(item);
  }

  const TLayerType media = item->MediaType();
  if (IsMediaType(media) && rec[rClipType] != ctNone) {
    const char* name = reinterpret_cast<const char*>(rec + ProjectRecordNameOffset);
    const std::string fileName(name, strnlen(name, sizeof rec - ProjectRecordNameOffset));
    TClipGraphic* clip = fileName.empty() ? nullptr : ResolveMedia(fileName);
    if (!clip) {
      row->DeleteItem(item);
      return reject();
    }
    TClipType clipType;
    if (EnumFromOrdinal<TClipType>(rec[rClipType], clipType)) clip->SetClipType(clipType);
    clip->SetDuration(item->Duration());
    item->SetLinkClipGraphic(clip);
  }
  if (media == ltFx3d || media == ltSequence) {
    item->SetFx3dID(GetLEI32(rec + rFx3dID));
    item->SetDuration(duration);
  }

  const int32_t linkID = GetLEI32(rec + rLinkID);
  if (rec[rSynchronizeBoth] != 0 && linkID >= 0 && rec[rMediaType] == ltAudio) {
    TLayerItem* partner = FLayerBox->ItemByIndex(linkID);
    // only a block read before this one can be its partner
    if (partner && partner != item && linkID < FLayerBox->IndexOfItem(item)) {
      item->SetLinkSynchronizeItem(partner);
      partner->SetLinkSynchronizeItem(item);
      item->SetSynchronizeBothItem(true);
      partner->SetSynchronizeBothItem(true);
    } else {
      ShowMessage(Format("[907] Błąd łączenia bloczków animacji i dźwięku. (ID = %d)", linkID));
    }
  }

  if (pointCount > 0) {
    TLevelBox* levels = item->LevelBox();
    levels->SetLength(item->Duration());
    levels->SetWidth(item->Width());
    for (int32_t k = 0; k < pointCount; ++k) {
      uint8_t point[ProjectLevelPointSize];
      if (In.Read(point, sizeof point) != sizeof point) throw EProjectFile("Level points cut short");
      const int32_t frame = GetLEI32(point);
      TLevelItem* p = levels->PointAtFrame(frame);
      if (!p) p = levels->AddPoint(frame);
      if (p) p->Level = GetLEI32(point + 4);
    }
    if (levels->Count() != pointCount)
      ShowMessage(Format("[906] Błąd ławodania próbek - niepoprawna liczba. Wczytano: %d, Powinno być: %d",
                         pointCount, levels->Count()));
  }
  return true;
}

// ---------------------------------------------------------------------------------
// Writing

std::vector<uint8_t> ProjectBytes(TLayerBox& LayerBox, const TProjectResources* ClipBox, TCountType CountType,
                                  const std::string& ProjectFolder) {
  std::vector<uint8_t> out(ProjectHeaderSize, 0);
  uint8_t* h = out.data();
  std::memcpy(h, Magic, sizeof Magic);
  h[hIconSize] = static_cast<uint8_t>(LayerBox.IconSize());
  h[hZoom] = static_cast<uint8_t>(LayerBox.Zoom());
  PutLEI32(h + hFirstFrame, LayerBox.FirstFrame());
  h[hFirstLayerDoKey] = LayerBox.FirstLayerDoKey() ? 1 : 0;
  PutLEI32(h + hClipTimeBase, ClipBox ? ClipBox->ClipTimeBase() : DefaultTimeBase);
  h[hSnapItems] = LayerBox.SnapItems() ? 1 : 0;
  h[hCountType] = static_cast<uint8_t>(CountType);
  for (TLayerNumber n : FileOrder)
    h[hLevelBoxVisible + hLayerStep * n] = LayerBox.RowByNumber(n)->LevelBoxVisible() ? 1 : 0;
  h[hClipIconSize] = static_cast<uint8_t>(ClipBox ? ClipBox->ClipIconSize() : isNormal);

  // ordinals of the blocks in the reading order, for the links
  std::unordered_map<const TLayerItem*, int32_t> ordinal;
  int32_t count = 0;
  for (TLayerNumber n : FileOrder) {
    const TLayerRow* row = LayerBox.RowByNumber(n);
    for (int i = 0; i < row->ItemCount(); ++i) ordinal[row->Items(i)] = count++;
  }
  PutLEI32(h + hItemCount, count);
  out.reserve(out.size() + static_cast<size_t>(count) * (ProjectRecordNameOffset + 48));

  uint8_t rec[ProjectRecordMaxSize + 1];
  for (TLayerNumber n : FileOrder) {
    const TLayerRow* row = LayerBox.RowByNumber(n);
    for (int i = 0; i < row->ItemCount(); ++i) {
      TLayerItem* item = row->Items(i);
      const TClipGraphic* clip = item->LinkClipGraphic();
      std::string name;
      TClipType clipType = ctNone;
      if (clip && clip->ClipType() != ctNone) {
        clipType = clip->ClipType();
        name = StoredMediaName(clip->FullFileName(), ProjectFolder);
        if (name.size() > static_cast<size_t>(ProjectRecordMaxSize - ProjectRecordNameOffset - 1))
          throw EProjectFile(Format("Media file name too long: %s", name.c_str()));
        if (name.find('\0') != std::string::npos || name.empty())
          throw EProjectFile("Media file name cannot be stored");
      }
      // a link is read only from records whose media type is ltAudio, so a linked sound
      // block stores that type explicitly
      TLayerType mediaType = item->StoredMediaType();
      const TLayerItem* partner = item->LinkSynchronizeItem();
      int32_t linkID = -1;
      if (partner && item->MediaType() == ltAudio) {
        // the later block of a pair carries the link: the reader links back to blocks
        // it has already read
        auto it = ordinal.find(partner);
        if (it != ordinal.end() && it->second < ordinal[item]) {
          linkID = it->second;
          mediaType = ltAudio;
        }
      }
      const int length = ProjectRecordNameOffset + static_cast<int>(name.size()) + 1;
      // only the record's own bytes are stored: those are cleared
      std::memset(rec, 0, static_cast<size_t>(length));
      PutLEI32(rec + rLength, length);
      rec[rLayerNumber] = static_cast<uint8_t>(n);
      rec[rMediaType] = static_cast<uint8_t>(mediaType);
      PutLEI32(rec + rFirstFrame, item->FirstFrame());
      PutLEI32(rec + rOffsetFrame, item->OffsetFrame());
      PutLEI32(rec + rDuration, item->Duration());
      rec[rConstDuration] = item->ConstDuration() ? 1 : 0;
      PutLEI32(rec + rColorKey, static_cast<int32_t>(item->ColorKey()));
      rec[rComposeMode] = static_cast<uint8_t>(item->StoredComposeMode());
      rec[rUniformColor] = static_cast<uint8_t>(item->UniformColor());
      PutLEI32(rec + rUniformColorValue, static_cast<int32_t>(item->UniformColorValue()));
      PutLEI32(rec + rYUVLo, item->YUVLo());
      PutLEI32(rec + rYUVHi, item->YUVHi());
      PutLEI32(rec + rSpeed, item->Speed());
      rec[rClipType] = static_cast<uint8_t>(clipType);
      PutLEI32(rec + rFx3dID, item->Fx3dID());
      const TLevelBox* levels = item->LevelBoxIfAny();
      PutLEI32(rec + rPointCount, levels ? levels->Count() : 0);
      rec[rSynchronizeBoth] = linkID >= 0 && item->SynchronizeBothItem() ? 1 : 0;
      PutLEI32(rec + rLinkID, linkID);
      std::memcpy(rec + ProjectRecordNameOffset, name.data(), name.size());
      out.insert(out.end(), rec, rec + length);
      if (levels) {
        for (int k = 0; k < levels->Count(); ++k) {
          const TLevelItem* p = levels->Points(k);
          uint8_t point[ProjectLevelPointSize];
          PutLEI32(point, p->Frame);
          PutLEI32(point + 4, p->Level);
          out.insert(out.end(), point, point + sizeof point);
        }
      }
    }
  }
  return out;
}

bool TProjectStream::WriteProject(const std::string& FileName) {
  if (!FLayerBox) return false;
  const std::string target = ExpandFileName(FileName);
  std::vector<uint8_t> bytes;
  try {
    bytes = ProjectBytes(*FLayerBox, FClipBox, FCountType, ExtractFilePath(target));
  } catch (const std::exception& e) {
    TraceF("[TProjectStream.WriteProject] %s", e.what());
    return false;
  }
  return WriteWholeFile(target, bytes.data(), bytes.size());
}

// ---------------------------------------------------------------------------------
// Opening a project

TOpenProjectResult OpenProjectFile(const std::string& FileName, TLayerBox& LayerBox, TProjectResources& ClipBox,
                                   TProjectProgress* StatusBar) {
  TOpenProjectResult r;
  LayerBox.ClearProject(false);
  ClipBox.ClearClips();
  ClipBox.BeginLoading();
  try {
    TProjectStream stream(FileName, StatusBar, &ClipBox, &LayerBox, true);
    r.Read = stream.ReadProject(r.Total);
    r.CountType = stream.CountType();
    r.Ok = r.Read == r.Total;
    if (r.Read < 0)  // the blocks could not be read to the end: a damaged file, not skipped media
      ShowMessage(Format("[812]. Wystąpił bląd podczas próby odczytu pliku %s", FileName.c_str()));
    else if (!r.Ok)
      ShowMessage(Format("[811] Uwaga! Odczytanych zostało tylko %d elem.w z wszystkich %d. %s Pominięto:%s%s", r.Read,
                         r.Total, "\r\n", "\r\n", stream.SkippedFilesText().c_str()));
  } catch (const std::exception& e) {
    TraceF("[TProjectStream] %s", e.what());
    ShowMessage(Format("[812]. Wystąpił bląd podczas próby odczytu pliku %s", FileName.c_str()));
    r.Ok = false;
  }
  LayerBox.EnsureRangeItem();
  ClipBox.EndLoading();
  LayerBox.SetModified(!r.Ok);
  return r;
}

}  // namespace movara
