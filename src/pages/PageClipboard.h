#pragma once
// The clipboard that copied page items go through. The windows install one over the
// system clipboard; until then a clipboard inside the process serves (command line,
// tests).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace movara {

class IPageClipboard {
 public:
  virtual ~IPageClipboard() = default;
  // Replaces the clipboard's content with data in the named format.
  virtual void SetData(const std::string& format, const std::vector<uint8_t>& data) = 0;
  // False when the clipboard holds nothing in that format.
  virtual bool GetData(const std::string& format, std::vector<uint8_t>& data) = 0;
  virtual bool HasFormat(const std::string& format) = 0;
};

// Installs a clipboard (nullptr restores the one inside the process); returns the
// previous one.
std::shared_ptr<IPageClipboard> SetPageClipboard(std::shared_ptr<IPageClipboard> clipboard);
std::shared_ptr<IPageClipboard> PageClipboard();

}  // namespace movara
