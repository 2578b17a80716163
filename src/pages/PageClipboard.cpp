#include "pages/PageClipboard.h"

#include <map>
#include <mutex>

#include "pages/PageEditBox.h"
#include "pages/PageRecord.h"

namespace movara {
namespace {

class TProcessClipboard : public IPageClipboard {
 public:
  void SetData(const std::string& format, const std::vector<uint8_t>& data) override {
    std::lock_guard<std::mutex> lock(m_);
    content_.clear();
    content_[format] = data;
  }
  bool GetData(const std::string& format, std::vector<uint8_t>& data) override {
    std::lock_guard<std::mutex> lock(m_);
    auto it = content_.find(format);
    if (it == content_.end()) return false;
    data = it->second;
    return true;
  }
  bool HasFormat(const std::string& format) override {
    std::lock_guard<std::mutex> lock(m_);
    return content_.count(format) != 0;
  }

 private:
  std::mutex m_;
  std::map<std::string, std::vector<uint8_t>> content_;
};

std::mutex g_clipboardMutex;
std::shared_ptr<IPageClipboard>& Current() {
  static std::shared_ptr<IPageClipboard> c = std::make_shared<TProcessClipboard>();
  return c;
}

}  // namespace

std::shared_ptr<IPageClipboard> SetPageClipboard(std::shared_ptr<IPageClipboard> clipboard) {
  std::lock_guard<std::mutex> lock(g_clipboardMutex);
  auto old = Current();
  Current() = clipboard ? std::move(clipboard) : std::make_shared<TProcessClipboard>();
  return old;
}

std::shared_ptr<IPageClipboard> PageClipboard() {
  std::lock_guard<std::mutex> lock(g_clipboardMutex);
  return Current();
}

void TPageEditBox::CopySelectedToClipboard() {
  std::vector<const TFontItem*> sel;
  for (TFontItem* it : SelectedItems()) sel.push_back(it);
  if (sel.empty()) return;
  PageClipboard()->SetData(kClipboardFormatName, EncodeClipboardItems(sel));
}

void TPageEditBox::PasteFromClipboard() {
  std::vector<uint8_t> data;
  if (!PageClipboard()->GetData(kClipboardFormatName, data)) return;
  std::vector<TFontItem> read;
  if (!DecodeClipboardItems(data.data(), data.size(), read)) return;
  bool first = true;
  for (const TFontItem& r : read) {
    TFontItem* it = AddFontItem(first, true);
    it->Assign(r);
    it->Selected = true;
    first = false;
  }
  if (!read.empty()) MarkModified();
  Invalidate();
}

bool TPageEditBox::CanPaste() const { return PageClipboard()->HasFormat(kClipboardFormatName); }

}  // namespace movara
