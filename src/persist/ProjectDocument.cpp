#include "persist/ProjectDocument.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/AppPaths.h"
#include "base/Format.h"
#include "base/Trace.h"
#include "base/UserMessages.h"

namespace movara {
namespace {

enum TProjectCheck { pcProject, pcUnreadable, pcForeign, pcDamaged };

// Whether the file can be read and starts as a project file. The open command looks
// before it clears anything, so that a file it cannot use leaves the open project as
// it was.
TProjectCheck CheckProjectFile(const std::string& fileName) {
  std::FILE* f = std::fopen(fileName.c_str(), "rb");
  if (f == nullptr) {
    TraceF("[TProjectDocument.Open] Cannot open %s: %s", fileName.c_str(), std::strerror(errno));
    return pcUnreadable;
  }
  char magic[4] = {};
  const size_t n = std::fread(magic, 1, sizeof magic, f);
  const bool error = std::ferror(f) != 0;
  std::fclose(f);
  if (error) return pcUnreadable;
  if (n != sizeof magic || std::memcmp(magic, "MV10", sizeof magic) != 0) return pcForeign;
  // A trial read into a time line of its own, media known by name only (nothing is
  // loaded) and its messages kept quiet: a file cut or broken inside its blocks is found
  // before the open project is cleared.
  try {
    TScopedMessageRecorder quiet;
    TLayerBox box;
    TProjectClipList clips;
    clips.SetAcceptMissing(true);
    TProjectStream stream(fileName, nullptr, &clips, &box, true);
    int total = 0;
    if (stream.ReadProject(total) < 0) return pcDamaged;
  } catch (const std::exception& e) {
    TraceF("[TProjectDocument.Open] Trial read of %s: %s", fileName.c_str(), e.what());
    return pcDamaged;
  }
  return pcProject;
}

}  // namespace

TProjectDocument::TProjectDocument()
    : FClipBox(std::make_unique<TClipBox>()), FResources(std::make_unique<TClipBoxResources>(*FClipBox)) {
  FLayerBox.EnsureRangeItem();
  FLayerBox.SetModified(false);
  FHistory = std::make_unique<TUndoHistory>(FLayerBox);
}

TProjectDocument::~TProjectDocument() {
  // a normal close: the recovery copy is no longer needed
  if (FAutoSave) FAutoSave->Discard();
}

void TProjectDocument::StartAutoSave(const std::string& folder, pid_t process) {
  FAutoSave = std::make_unique<TAutoSave>(folder, process);
  FAutoSaved = 0;
}

bool TProjectDocument::AutoSaveNow() {
  if (!FAutoSave || !Modified() || FAutoSave->Busy() || FHistory->GestureActive()) return false;
  FHistory->Commit();
  if (FAutoSaved == FHistory->Serial() && FAutoSave->LastOk()) return false;
  std::vector<uint8_t> bytes;
  try {
    // media by their full names: the copy lives in another folder than the project
    bytes = ProjectBytes(FLayerBox, FResources.get(), FCountType, std::string());
  } catch (const std::exception& e) {
    TraceF("[TProjectDocument.AutoSaveNow] %s", e.what());
    return false;
  }
  if (!FAutoSave->Write(std::move(bytes), FFileName)) return false;
  FAutoSaved = FHistory->Serial();
  return true;
}

bool TProjectDocument::OfferRecovery(const std::string& folder) {
  for (const TRecoveryFile& f : FindRecoveryFiles(folder)) {
    if (CheckProjectFile(f.FileName) != pcProject) {
      // a copy that cannot be read back would only empty the project
      TraceF("[TProjectDocument.OfferRecovery] %s is no readable project: removed", f.FileName.c_str());
      RemoveRecoveryFile(f);
      continue;
    }
    const std::string name = f.ProjectName.empty() ? std::string("(nowy projekt)") : f.ProjectName;
    const TMsgAnswer a = AskMessage(Format("Odzyskać niezapisane zmiany projektu %s z %s?", name.c_str(),
                                           f.TimeText().c_str()),
                                    "Odzyskiwanie projektu", TMsgButtons::YesNo, TMsgAnswer::Yes);
    if (a == TMsgAnswer::Yes) {
      Recover(f);
      return true;
    }
    RemoveRecoveryFile(f);
  }
  return false;
}

void TProjectDocument::StartedAfresh() {
  FHistory->Clear();
  if (FAutoSave) FAutoSave->Discard();
  FAutoSaved = 0;
}

bool TProjectDocument::Recover(const TRecoveryFile& file) {
  const TOpenProjectResult r = OpenProjectFile(file.FileName, FLayerBox, *FResources, FProgress);
  FCountType = r.CountType;
  SetFileName(file.ProjectName);
  FLayerBox.SetModified(true);
  FHistory->Clear();
  if (FAutoSave) {
    FAutoSave->Adopt(file);
    FAutoSaved = FHistory->Serial();
  }
  if (OnOpened) OnOpened();
  return r.Ok;
}

void TProjectDocument::SetFileName(const std::string& fileName) {
  if (fileName == FFileName) return;
  FFileName = fileName;
  if (OnFileNameChanged) OnFileNameChanged();
}

void TProjectDocument::AddRecentFile(const std::string& fileName) {
  if (fileName.empty() || FRecentFiles[0] == fileName) return;
  int k = kRecentProjectCount - 1;  // not listed: the oldest drops out
  for (int i = 1; i < kRecentProjectCount; ++i) {
    if (FRecentFiles[static_cast<size_t>(i)] == fileName) {
      k = i;
      break;
    }
  }
  for (int i = k; i > 0; --i) FRecentFiles[static_cast<size_t>(i)] = FRecentFiles[static_cast<size_t>(i - 1)];
  FRecentFiles[0] = fileName;
}

void TProjectDocument::RemoveRecentFile(const std::string& fileName) {
  for (int i = 0; i < kRecentProjectCount; ++i) {
    if (FRecentFiles[static_cast<size_t>(i)] != fileName) continue;
    for (int k = i; k + 1 < kRecentProjectCount; ++k)
      FRecentFiles[static_cast<size_t>(k)] = FRecentFiles[static_cast<size_t>(k + 1)];
    FRecentFiles[kRecentProjectCount - 1].clear();
    return;
  }
}

bool TProjectDocument::OpenRecent(const std::string& fileName) {
  if (fileName.empty()) return false;
  if (!FileExists(ExpandFileName(fileName))) {
    ShowMessage(Format("Plik '%s' nie istnieje !", fileName.c_str()), TMsgKind::Error);
    RemoveRecentFile(fileName);
    return false;
  }
  return Open(fileName);
}

bool TProjectDocument::QueryUnsaved() {
  if (!Modified()) return true;
  const TMsgAnswer a = AskMessage("Projekt nie jest zapisany. Czy chcesz zapisać aktualny stan na dysk ?",
                                  "Zapis projektu", TMsgButtons::YesNoCancel, TMsgAnswer::Cancel);
  if (a == TMsgAnswer::Yes) {
    Save();
    return !Modified();
  }
  return a == TMsgAnswer::No;
}

std::string TProjectDocument::RecentCaptionFileName(const std::string& caption) {
  std::string name;
  for (char c : caption)
    if (c != '&') name += c;
  if (!name.empty() && std::isdigit(static_cast<unsigned char>(name[0]))) {
    const size_t blank = name.find(' ');
    name = blank == std::string::npos ? std::string() : name.substr(blank + 1);
  }
  return name;
}

bool TProjectDocument::OpenRecentCaption(const std::string& caption) {
  const std::string name = RecentCaptionFileName(caption);
  if (name.empty()) return false;
  return Open(name);
}

bool TProjectDocument::Open(const std::string& fileName) {
  if (!QueryUnsaved()) return false;
  std::string name = fileName;
  if (name.empty()) {
    if (FDialogs == nullptr) return false;
    name = FDialogs->AskOpenProject(FLastFolder);
    if (name.empty()) return false;
    FLastFolder = ExtractFilePath(ExpandFileName(name));
  }
  const std::string expanded = ExpandFileName(name);
  if (!FileExists(expanded)) {
    ShowMessage(Format("Plik '%s' nie istnieje !", name.c_str()), TMsgKind::Error);
    return false;
  }
  switch (CheckProjectFile(expanded)) {
    case pcUnreadable:
    case pcDamaged:
      ShowMessage(Format("[812]. Wystąpił bląd podczas próby odczytu pliku %s", name.c_str()), TMsgKind::Error);
      return false;
    case pcForeign:
      ShowMessage(Format("Plik %s nie został rozpoznany przez Movara 1.0", expanded.c_str()), TMsgKind::Error);
      return false;
    case pcProject: break;
  }

  SetFileName(expanded);
  const TOpenProjectResult r = OpenProjectFile(expanded, FLayerBox, *FResources, FProgress);
  FCountType = r.CountType;
  if (r.Ok) {
    FLastFolder = ExtractFilePath(expanded);
    AddRecentFile(expanded);
  }
  StartedAfresh();
  if (OnOpened) OnOpened();
  return r.Ok;
}

bool TProjectDocument::WriteTo(const std::string& fileName) {
  TProjectStream stream(fileName, nullptr, FResources.get(), &FLayerBox, false);
  stream.SetCountType(FCountType);
  if (!stream.WriteProject(fileName)) {
    ShowMessage(Format("Nie udało się zapisać projektu do pliku %s", fileName.c_str()), TMsgKind::Error);
    return false;
  }
  FLayerBox.SetModified(false);
  FHistory->MarkSaved();
  if (FAutoSave) FAutoSave->Discard();
  AddRecentFile(fileName);
  return true;
}

bool TProjectDocument::Save() {
  if (FFileName.empty()) return SaveAs();
  return WriteTo(FFileName);
}

bool TProjectDocument::SaveAs() {
  if (FDialogs == nullptr) return false;
  const std::string folder = FFileName.empty() ? FLastFolder : ExtractFilePath(FFileName);
  std::string name = FDialogs->AskSaveProject(folder, FFileName);
  if (name.empty()) return false;
  if (ExtractFileExt(name).empty()) name += ".mvf";
  name = ExpandFileName(name);
  if (!WriteTo(name)) return false;
  SetFileName(name);
  return true;
}

bool TProjectDocument::New() {
  if (!QueryUnsaved()) return false;
  FLayerBox.ClearProject(true);
  FLayerBox.EnsureRangeItem();
  FClipBox->ClearClips();
  SetFileName(std::string());
  FLayerBox.SetModified(false);
  StartedAfresh();
  if (OnCleared) OnCleared();
  return true;
}

}  // namespace movara
