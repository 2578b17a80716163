#pragma once
// Where the program's files are. "The program's folder" for read-only data is the data
// folder next to the executable (build/data, or <prefix>/share/movara when installed);
// writable files (the INI file, saved pictures) go to the user folder: $MOVARA_HOME,
// else $XDG_CONFIG_HOME/movara, else ~/.config/movara.
#include <string>

namespace movara {

std::string ExecutableFolder();      // with trailing '/'
std::string DataFolder();            // with trailing '/'
std::string UserFolder();            // with trailing '/', created on first use
void SetDataFolderForTests(const std::string& folder);  // "" restores the default

// Path helpers of the Linux port: the short form of a path is the path itself; the
// full form is the absolute, normalised path (lexically; links are not resolved).
std::string ShortPathName(const std::string& path);
std::string FullPathName(const std::string& path);
std::string ExpandFileName(const std::string& path);  // absolute against the current dir
std::string ExtractFileName(const std::string& path);  // "a/b/c.bmp" -> "c.bmp"
std::string ExtractFilePath(const std::string& path);  // "a/b/c.bmp" -> "a/b/"
std::string ExtractFileExt(const std::string& path);   // "a/b/c.bmp" -> ".bmp"
std::string IncludeTrailingSlash(const std::string& path);
bool FileExists(const std::string& path);  // a regular file

}  // namespace movara
