#pragma once
// The system clipboard for copied page items: each named format travels under a
// private MIME type of its own ("Page Editor FontItem" as
// "application/x-movara-page-editor-fontitem"); a picture may go with it, so that other
// programs can paste the copy as an image.
#include <QImage>
#include <QString>
#include <functional>
#include <string>

#include "pages/PageClipboard.h"

namespace movara {

// The MIME type of a clipboard format name.
QString PageClipboardMimeType(const std::string& format);

class TQtPageClipboard : public IPageClipboard {
 public:
  void SetData(const std::string& format, const std::vector<uint8_t>& data) override;
  bool GetData(const std::string& format, std::vector<uint8_t>& data) override;
  bool HasFormat(const std::string& format) override;
  // The picture put beside the data on every copy (none when empty or unset).
  std::function<QImage()> Picture;
};

}  // namespace movara
