#include "media/ResourceLists.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <exception>

#include "base/AppPaths.h"
#include "base/FileKind.h"
#include "base/Format.h"
#include "base/LoadFailure.h"
#include "base/Trace.h"
#include "media/MediaFile.h"
#include "media/PictureFile.h"

namespace movara {

namespace {

bool SameTextCaseBlind(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

std::string UpperCase(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

struct TColorIdent {
  TColor Value;
  const char* Name;
};

// The standard colour names, system colours included (top bit set, index below).
constexpr TColorIdent kColorIdents[] = {
    {0x000000, "clBlack"},       {0x000080, "clMaroon"},     {0x008000, "clGreen"},
    {0x008080, "clOlive"},       {0x800000, "clNavy"},       {0x800080, "clPurple"},
    {0x808000, "clTeal"},        {0x808080, "clGray"},       {0xC0C0C0, "clSilver"},
    {0x0000FF, "clRed"},         {0x00FF00, "clLime"},       {0x00FFFF, "clYellow"},
    {0xFF0000, "clBlue"},        {0xFF00FF, "clFuchsia"},    {0xFFFF00, "clAqua"},
    {0xFFFFFF, "clWhite"},       {0xC0DCC0, "clMoneyGreen"}, {0xF0CAA6, "clSkyBlue"},
    {0xF0FBFF, "clCream"},       {0xA4A0A0, "clMedGray"},    {0x80000000, "clScrollBar"},
    {0x80000001, "clBackground"}, {0x80000002, "clActiveCaption"}, {0x80000003, "clInactiveCaption"},
    {0x80000004, "clMenu"},      {0x80000005, "clWindow"},   {0x80000006, "clWindowFrame"},
    {0x80000007, "clMenuText"},  {0x80000008, "clWindowText"}, {0x80000009, "clCaptionText"},
    {0x8000000A, "clActiveBorder"}, {0x8000000B, "clInactiveBorder"}, {0x8000000C, "clAppWorkSpace"},
    {0x8000000D, "clHighlight"}, {0x8000000E, "clHighlightText"}, {0x8000000F, "clBtnFace"},
    {0x80000010, "clBtnShadow"}, {0x80000011, "clGrayText"}, {0x80000012, "clBtnText"},
    {0x80000013, "clInactiveCaptionText"}, {0x80000014, "clBtnHighlight"}, {0x80000015, "cl3DDkShadow"},
    {0x80000016, "cl3DLight"},   {0x80000017, "clInfoText"}, {0x80000018, "clInfoBk"},
    {0x1FFFFFFF, "clNone"},      {0x20000000, "clDefault"},
};

TDIBList* GDIBList = nullptr;
TDIBList* GDIBFYList = nullptr;
TAVIList* GAVIList = nullptr;
TDIBColorList* GDIBColorList = nullptr;
TAudioFileList* GAudioFileList = nullptr;
std::mutex GInstanceLock;

// The reader for a file by its upper-cased extension; nullptr for any other kind.
std::unique_ptr<TCustomAudioReader> MakeReaderByExt(const std::string& fileName) {
  const std::string ext = UpperCase(ExtractFileExt(fileName));
  if (ext == ".AVI") return std::make_unique<TAviAudioReader>();
  if (ext == ".WAV") return std::make_unique<TWaveAudioReader>();
  if (IsMediaMovieName(fileName) || IsMediaSoundName(fileName)) return std::make_unique<TMediaAudioReader>();
  return nullptr;
}

// A WAV file our own reader refuses (24-bit or floating-point samples, more than two
// channels) is read again through libavformat; nullptr when that fails too, and the
// first reader's reason stands.
std::unique_ptr<TCustomAudioReader> WaveThroughMedia(const std::string& path, const WAVEFORMATEX& dest) {
  if (UpperCase(ExtractFileExt(path)) != ".WAV") return nullptr;
  const std::string reason = TakeLoadFailure();
  auto media = std::make_unique<TMediaAudioReader>();
  try {
    media->SetDestinationFormat(dest.nChannels, dest.wBitsPerSample, static_cast<int>(dest.nSamplesPerSec));
    if (media->OpenFile(path)) return media;
  } catch (...) {
  }
  NoteLoadFailure(reason);
  return nullptr;
}

}  // namespace

std::string ColorToString(TColor color) {
  for (const auto& ident : kColorIdents) {
    if (ident.Value == color) return ident.Name;
  }
  return Format("$%.8X", static_cast<unsigned>(color));
}

void FlipPictureRows(TDIB& dib) {
  const int h = dib.Height();
  const size_t row = static_cast<size_t>(dib.RowSize());
  if (h < 2 || row == 0) return;
  std::vector<uint8_t> scratch(row);
  for (int i = 0; i < h / 2; ++i) {
    uint8_t* a = dib.ScanLine(i);
    uint8_t* b = dib.ScanLine(h - 1 - i);
    std::copy(a, a + row, scratch.data());
    std::copy(b, b + row, a);
    std::copy(scratch.data(), scratch.data() + row, b);
  }
}

// ---------------------------------------------------------------------------------
// TResourceListBase

template <class T>
int TResourceListBase<T>::Count() const {
  std::lock_guard<std::recursive_mutex> g(FLock);
  return static_cast<int>(FItems.size());
}

template <class T>
T* TResourceListBase<T>::Items(int index) const {
  std::lock_guard<std::recursive_mutex> g(FLock);
  if (index < 0 || index >= static_cast<int>(FItems.size())) return nullptr;
  return FItems[static_cast<size_t>(index)].second.get();
}

template <class T>
std::string TResourceListBase<T>::Keys(int index) const {
  std::lock_guard<std::recursive_mutex> g(FLock);
  if (index < 0 || index >= static_cast<int>(FItems.size())) return std::string();
  return FItems[static_cast<size_t>(index)].first;
}

template <class T>
int TResourceListBase<T>::AddItem(const std::string& key, std::unique_ptr<T> object) {
  if (!object) return -1;
  std::lock_guard<std::recursive_mutex> g(FLock);
  FItems.emplace_back(key, std::move(object));
  const int count = static_cast<int>(FItems.size());
  TraceF("[%s.AddItem \"%s\"] ItemCount = %d. Added \"%s\". ", FClassName, FName.c_str(), count, key.c_str());
  return count - 1;
}

template <class T>
int TResourceListBase<T>::GraveyardCount() const {
  std::lock_guard<std::recursive_mutex> g(FLock);
  return static_cast<int>(FGraveyard.size());
}

template <class T>
int TResourceListBase<T>::IndexOfKey(const std::string& key) const {
  std::lock_guard<std::recursive_mutex> g(FLock);
  for (size_t i = 0; i < FItems.size(); ++i) {
    if (SameTextCaseBlind(FItems[i].first, key)) return static_cast<int>(i);
  }
  return -1;
}

template <class T>
T* TResourceListBase<T>::FindKey(const std::string& key) const {
  std::lock_guard<std::recursive_mutex> g(FLock);
  const int i = IndexOfKey(key);
  return i < 0 ? nullptr : FItems[static_cast<size_t>(i)].second.get();
}

template <class T>
bool TResourceListBase<T>::RemoveObject(const T* object) {
  if (object == nullptr) return false;
  std::lock_guard<std::recursive_mutex> g(FLock);
  for (auto it = FItems.begin(); it != FItems.end(); ++it) {
    if (it->second.get() == object) {
      FGraveyard.push_back(std::move(it->second));
      FItems.erase(it);
      return true;
    }
  }
  return false;
}

template <class T>
void TResourceListBase<T>::ClearItems() {
  std::lock_guard<std::recursive_mutex> g(FLock);
  FItems.clear();
  FGraveyard.clear();
}

// ---------------------------------------------------------------------------------
// TFileResourceList

template <class T>
T* TFileResourceList<T>::FindItem(const std::string& fileName) const {
  std::lock_guard<std::recursive_mutex> g(this->FLock);
  if (fileName.empty()) return nullptr;
  const std::string expanded = ExpandFileName(fileName);
  const std::string shortName = ShortPathName(expanded);
  const std::string fullName = FullPathName(shortName);
  // The fallback folder lives in the data folder, where LoadFromFile looks for it.
  const std::string fallback =
      ExpandFileName(DataFolder() + FFallbackFolder + "/" + ExtractFileName(fileName));
  const std::string fallbackShort = ShortPathName(fallback);
  const std::string fallbackFull = FullPathName(fallbackShort);
  for (const std::string* key : {&expanded, &shortName, &fullName, &fallback, &fallbackShort, &fallbackFull}) {
    if (T* found = this->FindKey(*key)) return found;
  }
  return nullptr;
}

template <class T>
bool TFileResourceList<T>::RemoveItem(const std::string& fileName) {
  std::lock_guard<std::recursive_mutex> g(this->FLock);
  return this->RemoveObject(FindItem(fileName));
}

template <class T>
std::string TFileResourceList<T>::ResolveFile(const std::string& fileName) const {
  if (fileName.empty()) return std::string();
  std::string path = ExpandFileName(fileName);
  if (!FileExists(path)) path = DataFolder() + FFallbackFolder + "/" + ExtractFileName(fileName);
  path = ShortPathName(path);
  return FileExists(path) ? path : std::string();
}

template class TResourceListBase<TDIB>;
template class TResourceListBase<TAVI>;
template class TResourceListBase<TCustomAudioReader>;
template class TFileResourceList<TDIB>;
template class TFileResourceList<TAVI>;
template class TFileResourceList<TCustomAudioReader>;

// ---------------------------------------------------------------------------------
// Picture budget

namespace {

uint64_t DefaultPictureBudget() {
  const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGE_SIZE);
  const uint64_t memory = pages > 0 && pageSize > 0 ? uint64_t(pages) * uint64_t(pageSize) : uint64_t(3) << 30;
  return std::max<uint64_t>(memory / 3, uint64_t(512) << 20);
}

std::atomic<uint64_t> GPictureBudget{DefaultPictureBudget()};
std::atomic<uint64_t> GPictureBytes{0};

// Counts bytes against the budget; false (nothing counted) when they do not fit.
bool ReservePictureBytes(uint64_t bytes) {
  uint64_t held = GPictureBytes.load();
  do {
    if (bytes > GPictureBudget.load() || held > GPictureBudget.load() - bytes) return false;
  } while (!GPictureBytes.compare_exchange_weak(held, held + bytes));
  return true;
}

void ReleasePictureBytes(uint64_t bytes) { GPictureBytes.fetch_sub(std::min(bytes, GPictureBytes.load())); }

std::string SizeText(uint64_t bytes) {
  const unsigned long long kb = (bytes + 1023) >> 10;
  return kb < 10240 ? Format("%llu KB", kb) : Format("%llu MB", (kb + 1023) >> 10);
}

}  // namespace

void SetPictureBudget(uint64_t bytes) { GPictureBudget = bytes; }
uint64_t PictureBudget() { return GPictureBudget; }
uint64_t PictureBytesHeld() { return GPictureBytes; }

// ---------------------------------------------------------------------------------
// TDIBList

TDIBList::~TDIBList() {
  ReleasePictureBytes(FHeldBytes);
  FHeldBytes = 0;
}

void TDIBList::Clear() {
  std::lock_guard<std::recursive_mutex> g(FLock);
  ClearItems();
  ReleasePictureBytes(FHeldBytes);
  FHeldBytes = 0;
}

TDIB* TDIBList::LoadFromFile(const std::string& fileName) {
  std::lock_guard<std::recursive_mutex> g(FLock);
  const std::string key = ResolveFile(fileName);
  if (key.empty()) return nullptr;
  auto dib = std::make_unique<TDIB>();
  std::string path = key;
  try {
    if (!LoadPictureFile(*dib, path, true)) return nullptr;
  } catch (const std::exception& e) {
    TraceF("[TDIBList.LoadFromFile \"%s\"] Exception on LoadPictureFile(%s): %s", FName.c_str(), key.c_str(), e.what());
    return nullptr;
  }
  const uint64_t bytes = dib->ImageSize();
  if (!ReservePictureBytes(bytes)) {
    TraceF("[TDIBList.LoadFromFile \"%s\"] %s: %llu bytes past the picture budget (%llu of %llu held)",
           FName.c_str(), key.c_str(), static_cast<unsigned long long>(bytes),
           static_cast<unsigned long long>(PictureBytesHeld()), static_cast<unsigned long long>(PictureBudget()));
    NoteLoadFailure(Format("its picture (%s) does not fit in the memory left for the project's pictures (%s of %s "
                           "taken)",
                           SizeText(bytes).c_str(), SizeText(PictureBytesHeld()).c_str(),
                           SizeText(PictureBudget()).c_str()));
    return nullptr;
  }
  FHeldBytes += bytes;
  TDIB* result = dib.get();
  AddItem(key, std::move(dib));
  return result;
}

TDIB* TDIBList::GetItem(const std::string& fileName, bool flip) {
  std::lock_guard<std::recursive_mutex> g(FLock);
  if (TDIB* found = FindItem(fileName)) return found;
  TDIB* dib = LoadFromFile(fileName);
  if (dib != nullptr && flip) FlipPictureRows(*dib);
  return dib;
}

TDIB* TDIBList::ReloadItem(const std::string& fileName, bool flip) {
  std::lock_guard<std::recursive_mutex> g(FLock);
  RemoveObject(FindItem(fileName));
  TDIB* dib = LoadFromFile(fileName);
  if (dib != nullptr && flip) FlipPictureRows(*dib);
  return dib;
}

// ---------------------------------------------------------------------------------
// TAVIList

TAVI* TAVIList::LoadFromFile(const std::string& fileName) {
  std::lock_guard<std::recursive_mutex> g(FLock);
  const std::string key = ResolveFile(fileName);
  if (key.empty()) return nullptr;
  auto avi = std::make_unique<TAVI>();
  try {
    if (!avi->Open(key)) return nullptr;
  } catch (const std::exception& e) {
    TraceF("[TAVIList.LoadFromFile \"%s\"] Exception on Open(%s): %s", FName.c_str(), key.c_str(), e.what());
    return nullptr;
  }
  TAVI* result = avi.get();
  AddItem(key, std::move(avi));
  return result;
}

TAVI* TAVIList::GetItem(const std::string& fileName, bool flip) {
  std::lock_guard<std::recursive_mutex> g(FLock);
  if (TAVI* found = FindItem(fileName)) return found;
  TAVI* avi = LoadFromFile(fileName);
  if (avi != nullptr && flip) FlipPictureRows(*avi->DIB());
  return avi;
}

// ---------------------------------------------------------------------------------
// TAudioFileList

TCustomAudioReader* TAudioFileList::LoadFromFile(const std::string& fileName) {
  std::lock_guard<std::recursive_mutex> g(FLock);
  const std::string key = ResolveFile(fileName);
  if (key.empty()) return nullptr;
  std::unique_ptr<TCustomAudioReader> audio = MakeReaderByExt(key);
  if (!audio) {
    TraceF("[TAudioFileList.LoadFromFile \"%s\"] cannot load audio file \"%s\". (Unknown format)", FName.c_str(),
           key.c_str());
    return nullptr;
  }
  try {
    if (!audio->OpenFile(key)) {
      TraceF("[TAudioFileList.LoadFromFile \"%s\"] AAudio.OpenFile(%s) FAILED !", FName.c_str(), key.c_str());
      audio = WaveThroughMedia(key, audio->DestinationFormat());
      if (!audio) return nullptr;
    }
  } catch (...) {
    TraceF("[TAudioFileList.LoadFromFile \"%s\"] Exception on AAudio.OpenFile(%s).", FName.c_str(), key.c_str());
    audio = WaveThroughMedia(key, audio->DestinationFormat());
    if (!audio) return nullptr;
  }
  TCustomAudioReader* result = audio.get();
  AddItem(key, std::move(audio));
  return result;
}

TCustomAudioReader* TAudioFileList::GetItem(const std::string& fileName) {
  std::lock_guard<std::recursive_mutex> g(FLock);
  if (TCustomAudioReader* found = FindItem(fileName)) return found;
  return LoadFromFile(fileName);
}

// ---------------------------------------------------------------------------------
// TDIBColorList

TDIB* TDIBColorList::GetItem(TColor color, bool flip) {
  std::lock_guard<std::recursive_mutex> g(FLock);
  const std::string key = ColorToString(color);
  if (TDIB* found = FindKey(key)) return found;
  std::unique_ptr<TDIB> dib;
  try {
    dib = std::make_unique<TDIB>();
    dib->SetPixelFormat(pf888);
    dib->SetSize(256, 256, 24);
    // System colours and the special values have no RGB of their own here; their low
    // bytes paint.
    dib->Fill(color & 0xFFFFFF);
  } catch (const std::exception& e) {
    TraceF("[TDIBColorList.GetItem \"%s\"] Exception making %s: %s", FName.c_str(), key.c_str(), e.what());
    return nullptr;
  }
  if (flip) FlipPictureRows(*dib);
  TDIB* result = dib.get();
  AddItem(key, std::move(dib));
  return result;
}

bool TDIBColorList::RemoveItem(TColor color) {
  std::lock_guard<std::recursive_mutex> g(FLock);
  return RemoveObject(FindItem(color));
}

// ---------------------------------------------------------------------------------
// Instances and free functions

// A caller that comes before the program made the lists (a worker thread, a tool)
// gets them made instead of a null list.
TDIBList* DIBList() {
  CreateResourceLists();
  return GDIBList;
}
TDIBList* DIBFYList() {
  CreateResourceLists();
  return GDIBFYList;
}
TAVIList* AVIList() {
  CreateResourceLists();
  return GAVIList;
}
TDIBColorList* DIBColorList() {
  CreateResourceLists();
  return GDIBColorList;
}
TAudioFileList* AudioFileList() {
  CreateResourceLists();
  return GAudioFileList;
}

void CreateResourceLists() {
  std::lock_guard<std::mutex> g(GInstanceLock);
  if (!GDIBList) GDIBList = new TDIBList("DIBList");
  if (!GDIBFYList) GDIBFYList = new TDIBList("DIBFYList");
  if (!GAVIList) GAVIList = new TAVIList("AVIList");
  if (!GDIBColorList) GDIBColorList = new TDIBColorList("DIBColorList");
  if (!GAudioFileList) GAudioFileList = new TAudioFileList("AudioFileList");
}

void DestroyResourceLists() {
  std::lock_guard<std::mutex> g(GInstanceLock);
  delete GAudioFileList;
  GAudioFileList = nullptr;
  delete GDIBColorList;
  GDIBColorList = nullptr;
  delete GAVIList;
  GAVIList = nullptr;
  delete GDIBFYList;
  GDIBFYList = nullptr;
  delete GDIBList;
  GDIBList = nullptr;
}

bool LoadResourceFile(TClipType clipType, const std::string& fileName) {
  CreateResourceLists();
  switch (clipType) {
    case ctStillImage:
      return DIBList()->GetItem(fileName, true) != nullptr && DIBFYList()->GetItem(fileName, false) != nullptr;
    case ctAnimation:
      return AVIList()->GetItem(fileName, false) != nullptr;
    case ctAudio:
      return AudioFileList()->GetItem(fileName) != nullptr;
    case ctMovie:
      return AVIList()->GetItem(fileName, false) != nullptr && AudioFileList()->GetItem(fileName) != nullptr;
    default:
      return false;
  }
}

bool ReleaseResourceFile(TClipType clipType, const std::string& fileName) {
  CreateResourceLists();
  // both lists of a kind let the file go, even when the first no longer held it
  auto both = [&](auto* first, auto* second) {
    const bool a = first->RemoveItem(fileName);
    const bool b = second->RemoveItem(fileName);
    return a && b;
  };
  switch (clipType) {
    case ctStillImage:
      return both(DIBList(), DIBFYList());
    case ctAnimation:
      return AVIList()->RemoveItem(fileName);
    case ctAudio:
      return AudioFileList()->RemoveItem(fileName);
    case ctMovie:
      return both(AVIList(), AudioFileList());
    default:
      return false;
  }
}

void ClearResourceLists() {
  std::lock_guard<std::mutex> g(GInstanceLock);
  if (GDIBList) GDIBList->Clear();
  if (GDIBFYList) GDIBFYList->Clear();
  if (GAVIList) GAVIList->Clear();
  if (GDIBColorList) GDIBColorList->Clear();
  if (GAudioFileList) GAudioFileList->Clear();
}

std::unique_ptr<TCustomAudioReader> MakeAudioReaderFromFile(const std::string& fileName, int channels,
                                                            int bitsPerSample, int samplesPerSecond) {
  if (fileName.empty()) return nullptr;
  std::string path = ExpandFileName(fileName);
  if (!FileExists(path)) path = DataFolder() + "LoadAudio/" + ExtractFileName(fileName);
  if (!FileExists(path)) return nullptr;
  std::unique_ptr<TCustomAudioReader> audio = MakeReaderByExt(path);
  if (!audio) {
    TraceF("[MakeAudioReaderFromFile] cannot load audio file \"%s\". (Unknown format)", path.c_str());
    return nullptr;
  }
  try {
    audio->SetDestinationFormat(channels, bitsPerSample, samplesPerSecond);
    if (!audio->OpenFile(path)) {
      TraceF("[MakeAudioReaderFromFile] AAudio.OpenFile(%s) FAILED !", path.c_str());
      return WaveThroughMedia(path, MakePcmFormat(channels, samplesPerSecond, bitsPerSample));
    }
  } catch (...) {
    TraceF("[MakeAudioReaderFromFile] Exception on AAudio.OpenFile(%s).", path.c_str());
    return WaveThroughMedia(path, MakePcmFormat(channels, samplesPerSecond, bitsPerSample));
  }
  return audio;
}

}  // namespace movara
