#include "base/FileKind.h"

#include "base/AppPaths.h"
#include "base/Format.h"

#include <iterator>

namespace movara {

namespace {

// Containers of movies and of sounds that libavformat reads for us.
constexpr const char* kMovieExts[] = {".MP4", ".M4V", ".MOV", ".3GP", ".MKV", ".WEBM", ".TS",
                                      ".MTS", ".M2TS", ".MPG", ".MPEG", ".VOB"};
constexpr const char* kSoundExts[] = {".MP3", ".M4A", ".AAC", ".FLAC", ".OGG", ".OGA", ".OPUS"};

bool OneOf(const std::string& ext, const auto& list) {
  for (const char* e : list)
    if (ext == e) return true;
  return false;
}

}  // namespace

bool IsMediaMovieName(const std::string& fileName) {
  return OneOf(UpperCase(ExtractFileExt(fileName)), kMovieExts);
}

bool IsMediaSoundName(const std::string& fileName) {
  return OneOf(UpperCase(ExtractFileExt(fileName)), kSoundExts);
}

std::vector<std::string> MediaMovieExtensions() { return {std::begin(kMovieExts), std::end(kMovieExts)}; }
std::vector<std::string> MediaSoundExtensions() { return {std::begin(kSoundExts), std::end(kSoundExts)}; }

TFileKind FileKindOfName(const std::string& fileName) {
  const std::string ext = UpperCase(ExtractFileExt(fileName));
  if (OneOf(ext, kMovieExts)) return fkAvi;
  if (OneOf(ext, kSoundExts)) return fkWav;
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
