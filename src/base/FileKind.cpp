#include "base/FileKind.h"

#include "base/AppPaths.h"
#include "base/Format.h"

namespace movara {

TFileKind FileKindOfName(const std::string& fileName) {
  const std::string ext = UpperCase(ExtractFileExt(fileName));
  if (ext == ".BMP") return fkBmp;
  if (ext == ".JPG" || ext == ".JPEG") return fkJpg;
  if (ext == ".GIF") return fkGif;
  if (ext == ".AVI") return fkAvi;
  if (ext == ".WAV") return fkWav;
  if (ext == ".PTE") return fkPte;
  if (ext == ".MVF") return fkMvf;
  return fkUnknown;
}

std::string FileNameWithoutExt(const std::string& fileName) {
  const std::string ext = ExtractFileExt(fileName);
  return fileName.substr(0, fileName.size() - ext.size());
}

}  // namespace movara
