#pragma once
// The kind of a media, project or title-page file, decided by its name alone.
#include <string>

namespace movara {

enum TFileKind { fkUnknown, fkBmp, fkJpg, fkGif, fkAvi, fkWav, fkPte, fkMvf };

// By the extension, case-blind: .BMP 1, .JPG (and .JPEG) 2, .GIF 3, .AVI 4, .WAV 5,
// .PTE 6, .MVF 7, anything else (no extension too) 0.
TFileKind FileKindOfName(const std::string& fileName);
// The name (with its folder) without its extension: "a/b.c/d.bmp" -> "a/b.c/d".
std::string FileNameWithoutExt(const std::string& fileName);

}  // namespace movara
