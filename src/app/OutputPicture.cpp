// Pictures written by "movara frame" and "movara fx": BMP, JPEG and GIF by the program's own
// writers, PNG through QtGui.
#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <cstring>

#include "app/CommandLine.h"
#include "base/AppPaths.h"
#include "base/Dib.h"
#include "base/FileKind.h"
#include "base/Format.h"
#include "fx3d/DDUtils.h"

namespace movara {
namespace {

bool IsPngName(const std::string& file) { return UpperCase(ExtractFileExt(file)) == ".PNG"; }

bool SavePng(const TDIB& picture, const std::string& file) {
  const TDIB rgb = picture.BitCount() == 24 ? picture : picture.ConvertTo(24);
  QImage image(rgb.Width(), rgb.Height(), QImage::Format_BGR888);
  if (image.isNull()) return false;
  for (int y = 0; y < rgb.Height(); ++y) std::memcpy(image.scanLine(y), rgb.ScanLine(y), size_t(rgb.Width()) * 3);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) return false;
  return WriteWholeFile(file, bytes.constData(), static_cast<size_t>(bytes.size()));
}

}  // namespace

bool OutputPictureKnown(const std::string& file) {
  const TFileKind kind = FileKindOfName(file);
  return kind == fkBmp || kind == fkJpg || kind == fkGif || IsPngName(file);
}

bool SaveOutputPicture(const TDIB& picture, const std::string& file) {
  if (!OutputPictureKnown(file)) return false;
  if (IsPngName(file)) return SavePng(picture, file);
  std::string name = file;
  return SavePictureFile(picture, name, false);
}

}  // namespace movara
