#include "pages/ui/QtPageClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <cctype>

namespace movara {

QString PageClipboardMimeType(const std::string& format) {
  QString name;
  for (char c : format) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (std::isalnum(u))
      name += QChar(std::tolower(u));
    else if (!name.endsWith('-'))
      name += '-';
  }
  return "application/x-movara-" + name;
}

void TQtPageClipboard::SetData(const std::string& format, const std::vector<uint8_t>& data) {
  auto* mime = new QMimeData;
  mime->setData(PageClipboardMimeType(format),
                QByteArray(reinterpret_cast<const char*>(data.data()), static_cast<qsizetype>(data.size())));
  if (Picture) {
    const QImage image = Picture();
    if (!image.isNull()) mime->setImageData(image);
  }
  QGuiApplication::clipboard()->setMimeData(mime);
}

bool TQtPageClipboard::GetData(const std::string& format, std::vector<uint8_t>& data) {
  const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
  const QString type = PageClipboardMimeType(format);
  if (!mime || !mime->hasFormat(type)) return false;
  const QByteArray bytes = mime->data(type);
  data.assign(bytes.begin(), bytes.end());
  return true;
}

bool TQtPageClipboard::HasFormat(const std::string& format) {
  const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
  return mime && mime->hasFormat(PageClipboardMimeType(format));
}

}  // namespace movara
