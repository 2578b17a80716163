// The title page file: opening with its messages, saving, and the loaders that render
// a page file into a picture for the resource lists.
#include <utility>
#include <vector>

#include "base/AppPaths.h"
#include "base/Format.h"
#include "base/Trace.h"
#include "base/UserMessages.h"
#include "pages/PageEditBox.h"
#include "pages/PageRecord.h"
#include "pages/PageText.h"

namespace movara {
namespace {

// No page file comes near this; a bigger file is not read.
constexpr size_t kMaxPageFileBytes = size_t(256) << 20;

// The records not read, as their numbers counted from 1.
std::string SkippedEntries(uint32_t read, uint32_t announced) {
  if (announced <= read) return std::string();
  if (announced == read + 1) return Format("%u", announced);
  return Format("%u - %u", read + 1, announced);
}

}  // namespace

bool TPageEditBox::AskToSave() {
  if (!modified_) return true;
  switch (AskMessage(kAskSavePageText, TMsgButtons::YesNoCancel, TMsgAnswer::Cancel)) {
    case TMsgAnswer::Yes:
      SaveFile();
      return !modified_;
    case TMsgAnswer::No:
      return true;
    default:
      return false;
  }
}

bool TPageEditBox::ChooseFile(bool save, std::string& name) {
  name.clear();
  if (!OnFileDialog) return false;
  TPageFileDialog d;
  d.Save = save;
  d.Title = save ? kSavePageTitle : kOpenPageTitle;
  d.Filter = kPageFileFilter;
  d.DefaultExt = kPageFileExt;
  d.InitialDir = initialDir_;
  name = OnFileDialog(d);
  if (name.empty()) return false;
  initialDir_ = ExtractFilePath(FullPathName(name));
  return true;
}

bool TPageEditBox::OpenFile(const std::optional<std::string>& menuItemCaption) {
  if (!AskToSave()) {
    lastOpen_ = porCancelled;
    return false;
  }
  std::string name;
  if (menuItemCaption) {
    name = StripHotkey(*menuItemCaption);
    if (!FileExists(name)) {
      ShowMessage(Format("Plik '%s' nie istnieje !", name.c_str()), TMsgKind::Error);
      lastOpen_ = porMissing;
      return false;
    }
  } else if (!ChooseFile(false, name)) {
    lastOpen_ = porCancelled;
    return false;
  }
  fileName_ = name;
  ClearItems();
  lastOpen_ = ReadFrom(name);
  // A file that could not be taken as a page keeps no name, so that saving the empty
  // page never writes over it.
  if (lastOpen_ == porNotRecognised || lastOpen_ == porUnreadable) fileName_ = ".";
  const bool ok = lastOpen_ == porOk;
  modified_ = false;
  SetModified(!ok);
  DeselectAll();
  Invalidate();
  return ok;
}

bool TPageEditBox::OpenFileNamed(const std::string& fileName) {
  // The caption's accelerator marks are stripped again by OpenFile.
  return OpenFile(EscapeHotkey(fileName));
}

TPageOpenResult TPageEditBox::ReadFrom(const std::string& name) {
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(name, bytes, kMaxPageFileBytes)) {
    ShowMessage(Format("[852]. Wystąpił bląd podczas próby odczytu pliku \"%s\"", name.c_str()),
                TMsgKind::Error);
    return porUnreadable;
  }
  const TPageReadResult r = ReadPageBytes(bytes.data(), bytes.size());
  if (!r.Recognised) {
    const std::string full = FullPathName(name);
    ShowMessage(Format("Plik %s%s nie został rozpoznany przez Edytora Tekstu",
                       ExtractFilePath(full).c_str(), ExtractFileName(full).c_str()),
                TMsgKind::Error);
    return porNotRecognised;
  }
  for (const TFontItem& read : r.Items) {
    TFontItem* it = AddFontItem(false, false);
    it->Assign(read);
    it->Selected = false;
  }
  if (!r.HeaderComplete) {
    ShowMessage(Format("[852]. Wystąpił bląd podczas próby odczytu pliku \"%s\"", name.c_str()),
                TMsgKind::Error);
    return porUnreadable;
  }
  SetPageSize(r.PageSize);
  SetPageColor(r.PageColor);
  const uint32_t read = static_cast<uint32_t>(r.Items.size());
  if (read < r.Announced) {
    TraceF("[TPageEditBox.OpenFile] \"%s\": %s after %u records", name.c_str(),
           r.BadRecordLength ? "bad record length" : "file ends", read);
    ShowMessage(Format("[851] Uwaga! Odczytanych zostało tylko %u elem.w z wszystkich %u. %s "
                       "Pominięto:%s%s",
                       read, r.Announced, "\r\n", "\r\n",
                       SkippedEntries(read, r.Announced).c_str()),
                TMsgKind::Warning);
  }
  if (!r.PageSizeValid) {
    // The size byte names no page size: the page takes the video size.
    ShowMessage(Format("[852]. Wystąpił bląd podczas próby odczytu pliku \"%s\"", name.c_str()),
                TMsgKind::Error);
  }
  return r.Complete() ? porOk : porDamaged;
}

bool TPageEditBox::WriteTo(const std::string& name) {
  std::vector<const TFontItem*> list;
  list.reserve(items_.size());
  for (const auto& it : items_) list.push_back(it.get());
  // The image is made whole in memory and replaces the file at once, so either every
  // record is written or the file stays as it was.
  const std::vector<uint8_t> bytes = WritePageBytes(pageSize_, pageColor_, list);
  if (!WriteWholeFile(name, bytes.data(), bytes.size())) {
    ShowMessage(Format("[852]. Wystąpił bląd podczas próby zapisu pliku %s", name.c_str()),
                TMsgKind::Error);
    return false;
  }
  modified_ = false;
  saved_ = true;
  if (OnSavedDocument) OnSavedDocument(*this, name);
  return true;
}

bool TPageEditBox::SaveFile() {
  if (!HasFileName()) return SaveFileAs();
  return WriteTo(fileName_);
}

bool TPageEditBox::SaveFileAs() {
  std::string name;
  if (!ChooseFile(true, name)) return false;
  fileName_ = name;
  return WriteTo(name);
}

namespace {

// Opens the page file into box (by its bare name in the program's folder when missing
// where named); false when there is no readable page.
bool OpenPageForPicture(const std::string& fileName, TPageEditBox& box) {
  std::string path = fileName;
  if (!FileExists(path)) {
    path = DataFolder() + ExtractFileName(fileName);
    if (ExtractFileName(fileName).empty() || !FileExists(path)) return false;
  }
  box.OpenFileNamed(path);
  if (box.LastOpenResult() != porOk && box.LastOpenResult() != porDamaged) return false;
  box.DeselectAll();
  return true;
}

}  // namespace

bool LoadPageToBitmap(const std::string& fileName, TDIB& bitmap) {
  TPageEditBox box;
  if (!OpenPageForPicture(fileName, box)) return false;
  TDIB page;
  if (!box.RenderToBitmap(page)) return false;
  bitmap = std::move(page);
  return true;
}

bool LoadPageToDIB(const std::string& fileName, TDIB& dib) { return LoadPageToBitmap(fileName, dib); }

bool LoadPageBackgroundToDIB(const std::string& fileName, TDIB& dib) {
  TPageEditBox box;
  if (!OpenPageForPicture(fileName, box)) return false;
  TDIB page(box.PageRect().Width(), box.PageRect().Height(), 24);
  page.Fill(box.PageColor() & 0xFFFFFF);
  dib = std::move(page);
  return true;
}

}  // namespace movara
