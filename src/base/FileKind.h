#pragma once
// The kind of a media, project or title-page file, decided by its name alone.
#include <string>
#include <vector>

namespace movara {

enum TFileKind { fkUnknown, fkBmp, fkJpg, fkGif, fkAvi, fkWav, fkPte, fkMvf };

// By the extension, case-blind: .BMP 1, .JPG (and .JPEG) 2, .GIF 3, .AVI 4, .WAV 5,
// .PTE 6, .MVF 7, anything else (no extension too) 0. A movie of another container
// (MP4, M4V, MOV, 3GP, MKV, WEBM, TS, MTS, M2TS, MPG, MPEG, VOB) is a movie as an AVI
// is (4), a sound of another kind (MP3, M4A, AAC, FLAC, OGG, OGA, OPUS) a sound as a
// WAV is (5): the readers behind them tell the containers apart.
TFileKind FileKindOfName(const std::string& fileName);
// The name has one of those movie or sound extensions (not .AVI or .WAV).
bool IsMediaMovieName(const std::string& fileName);
bool IsMediaSoundName(const std::string& fileName);
// Those extensions, upper case with their dot (for file dialogs).
std::vector<std::string> MediaMovieExtensions();
std::vector<std::string> MediaSoundExtensions();
// The name (with its folder) without its extension: "a/b.c/d.bmp" -> "a/b.c/d".
std::string FileNameWithoutExt(const std::string& fileName);

}  // namespace movara
