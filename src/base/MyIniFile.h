#pragma once
// The program's settings files in the common INI format: "[Section]" lines followed by
// "Key=Value" lines. Text is UTF-8 (a leading byte order mark is skipped and kept);
// CRLF and LF line ends both read, and a rewrite keeps the line end the file had.
//
// Reading rules:
// - section and key names are compared case-blind (ASCII letters only);
// - names and values are trimmed of surrounding blanks and tabs, inner blanks stay;
// - lines starting with ';' are comments; they and every other line that is not a
//   section or a pair are kept as they are when the file is rewritten;
// - a pair before the first section is ignored; a key repeated in a section reads as
//   its first occurrence; a section repeated in the file continues the first one (a
//   rewrite merges them);
// - Booleans are integers, any non-zero value is true; an integer is decimal, "$1F" or
//   "0x1F" hexadecimal, with an optional sign; anything else reads the default.
//
// Every call reads the file afresh, and every write rewrites the whole file at once
// (temporary file in the same folder, then rename). So several objects on one file see
// each other's changes, and a failed write never leaves the file half written. Writers
// of one file, in this program or another, take turns from their reading of the file to
// their rename (TFileUpdate), so no change of one is lost to another's.
//
// A group of writes lands at once: between BeginUpdate and EndUpdate the file is read
// once, reads and writes go to that reading, and EndUpdate writes the whole result;
// other writers wait for their turn meanwhile. An object that goes (or an error that
// leaves) before EndUpdate writes nothing of the group.
//
// Errors: reads never fail (a missing or unreadable file reads as empty). Writes throw
// EIniFileError when the file cannot be written, when it exists but cannot be read (so
// a write never replaces settings it could not see), or when a name or value cannot be
// stored in the format (an empty name, a line break, '=' in a key, ']' in a section).
// One object is not meant to be shared between threads.
#include <memory>
#include <string>
#include <vector>

#include "base/Exceptions.h"

namespace movara {

MOVARA_EXCEPTION(EIniFileError);

class TMyIniFile {
 public:
  explicit TMyIniFile(std::string fileName);
  ~TMyIniFile();
  // A copy names the same file; a group of writes stays with its object.
  TMyIniFile(const TMyIniFile& other);
  TMyIniFile& operator=(const TMyIniFile& other);

  const std::string& FileName() const { return fileName_; }

  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) const;
  int ReadInteger(const std::string& section, const std::string& key, int defaultValue) const;
  bool ReadBool(const std::string& section, const std::string& key, bool defaultValue) const;

  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, int value);
  void WriteBool(const std::string& section, const std::string& key, bool value);  // 1 or 0

  // True when the file has a line for the section (even one without keys).
  bool SectionExists(const std::string& section) const;
  bool ValueExists(const std::string& section, const std::string& key) const;
  // Section names in file order, as spelled in the file.
  std::vector<std::string> ReadSections() const;
  // The keys of one section in file order, each once, as first spelled in the file.
  std::vector<std::string> ReadSection(const std::string& section) const;

  void DeleteKey(const std::string& section, const std::string& key);
  // Removes the section line and every line below it up to the next section.
  void EraseSection(const std::string& section);
  // Empties the file (it stays, with no content).
  void Clear();

  // Starts a group of writes (throws EIniFileError when the file cannot be read or
  // the turn cannot be had); EndUpdate writes it (throws when that fails). Groups do
  // not nest.
  void BeginUpdate();
  void EndUpdate();
  bool Updating() const { return batch_ != nullptr; }

  struct TBatch;  // the group's reading of the file

 private:
  std::string fileName_;
  std::unique_ptr<TBatch> batch_;
};

}  // namespace movara
