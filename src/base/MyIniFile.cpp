#include "base/MyIniFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <system_error>
#include <utility>

#include "base/Dib.h"
#include "base/FileUpdate.h"
#include "base/Format.h"

namespace movara {
namespace {

// Settings files are small; a larger one is not ours and is never rewritten.
constexpr size_t kMaxIniBytes = size_t(16) << 20;

struct TIniLine {
  std::string text;  // the line as written to the file
  bool isPair = false;
  std::string key;    // trimmed, for pairs
  std::string value;  // trimmed, for pairs
};

struct TIniSection {
  std::string name;
  std::string header;  // the section line as written to the file
  std::vector<TIniLine> lines;
};

struct TIniDocument {
  bool bom = false;
  bool crlf = false;
  std::vector<TIniLine> preamble;  // lines before the first section
  std::vector<TIniSection> sections;
};

enum class TLoadResult { Missing, Loaded, Unreadable };

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

void Parse(const std::string& data, TIniDocument& doc) {
  size_t pos = 0;
  if (data.size() >= 3 && data.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    doc.bom = true;
    pos = 3;
  }
  size_t firstLf = data.find('\n', pos);
  doc.crlf = firstLf != std::string::npos && firstLf > pos && data[firstLf - 1] == '\r';

  TIniSection* current = nullptr;
  while (pos < data.size()) {
    size_t end = data.find('\n', pos);
    if (end == std::string::npos) end = data.size();
    std::string text = data.substr(pos, end - pos);
    pos = end + 1;
    if (!text.empty() && text.back() == '\r') text.pop_back();

    std::string trimmed = Trim(text);
    size_t close = trimmed.find(']');
    if (!trimmed.empty() && trimmed[0] == '[' && close != std::string::npos) {
      std::string name = Trim(trimmed.substr(1, close - 1));
      current = nullptr;
      for (TIniSection& s : doc.sections) {
        if (SameText(s.name, name)) {
          current = &s;  // a repeated section continues the first one
          break;
        }
      }
      if (!current) {
        doc.sections.push_back(TIniSection{name, text, {}});
        current = &doc.sections.back();
      }
      continue;
    }

    TIniLine line;
    line.text = text;
    size_t eq = trimmed.find('=');
    if (!trimmed.empty() && trimmed[0] != ';' && eq != std::string::npos) {
      line.key = Trim(trimmed.substr(0, eq));
      line.value = Trim(trimmed.substr(eq + 1));
      line.isPair = !line.key.empty();
    }
    if (current) {
      current->lines.push_back(std::move(line));
    } else {
      line.isPair = false;  // a pair before any section belongs to none
      doc.preamble.push_back(std::move(line));
    }
  }
}

TLoadResult Load(const std::string& fileName, TIniDocument& doc) {
  doc = TIniDocument{};
  struct stat st{};
  if (::stat(fileName.c_str(), &st) != 0) {
    return (errno == ENOENT || errno == ENOTDIR) ? TLoadResult::Missing : TLoadResult::Unreadable;
  }
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(fileName, bytes, kMaxIniBytes)) return TLoadResult::Unreadable;
  Parse(std::string(bytes.begin(), bytes.end()), doc);
  return TLoadResult::Loaded;
}

std::string Serialize(const TIniDocument& doc) {
  const char* eol = doc.crlf ? "\r\n" : "\n";
  std::string out;
  if (doc.bom) out += "\xEF\xBB\xBF";
  for (const TIniLine& l : doc.preamble) out += l.text + eol;
  for (const TIniSection& s : doc.sections) {
    out += s.header + eol;
    for (const TIniLine& l : s.lines) out += l.text + eol;
  }
  return out;
}

// A symbolic link is followed, so that the rename replaces the file it points to.
std::string WriteTarget(const std::string& fileName) {
  std::error_code ec;
  if (std::filesystem::is_symlink(fileName, ec)) {
    std::filesystem::path target = std::filesystem::weakly_canonical(fileName, ec);
    if (!ec) return target.string();
  }
  return fileName;
}

// The turn at the file for a write (its link followed).
std::unique_ptr<TFileUpdate> TakeTurn(const std::string& fileName) {
  auto update = std::make_unique<TFileUpdate>(WriteTarget(fileName));
  if (!update->Held()) throw EIniFileError(Format("Cannot write the settings file %s", fileName.c_str()));
  return update;
}

void Store(TFileUpdate& update, const std::string& fileName, const TIniDocument& doc) {
  std::string text = Serialize(doc);
  if (!update.Commit(text.data(), text.size()))
    throw EIniFileError(Format("Cannot write the settings file %s", fileName.c_str()));
}

// Loads the document a write is going to change; a file that exists but cannot be read
// is not replaced.
void LoadForWrite(const std::string& fileName, TIniDocument& doc) {
  if (Load(fileName, doc) == TLoadResult::Unreadable)
    throw EIniFileError(Format("Cannot read the settings file %s", fileName.c_str()));
}

bool HasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

std::string CheckedSection(const std::string& section) {
  std::string name = Trim(section);
  if (name.empty() || HasLineBreak(name) || name.find(']') != std::string::npos)
    throw EIniFileError(Format("Invalid settings section name \"%s\"", section.c_str()));
  return name;
}

std::string CheckedKey(const std::string& key) {
  std::string name = Trim(key);
  if (name.empty() || HasLineBreak(name) || name.find('=') != std::string::npos || name[0] == ';' ||
      name[0] == '[')
    throw EIniFileError(Format("Invalid settings key name \"%s\"", key.c_str()));
  return name;
}

TIniSection* FindSection(TIniDocument& doc, const std::string& section) {
  std::string name = Trim(section);
  for (TIniSection& s : doc.sections)
    if (SameText(s.name, name)) return &s;
  return nullptr;
}

TIniLine* FindPair(TIniSection& s, const std::string& key) {
  std::string name = Trim(key);
  for (TIniLine& l : s.lines)
    if (l.isPair && SameText(l.key, name)) return &l;
  return nullptr;
}

// Reads a decimal or "$"/"0x" hexadecimal integer with an optional sign; false when the
// text is not one or does not fit in an int.
bool ParseInteger(const std::string& text, int& result) {
  std::string s = Trim(text);
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  int base = 10;
  if (i < s.size() && s[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= s.size()) return false;
  int64_t value = 0;
  for (; i < s.size(); ++i) {
    char c = s[i];
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else return false;
    value = value * base + digit;
    if (value > int64_t(INT_MAX) + 1) return false;
  }
  if (negative) value = -value;
  if (value < INT_MIN || value > INT_MAX) return false;
  result = static_cast<int>(value);
  return true;
}

}  // namespace

struct TMyIniFile::TBatch {
  std::unique_ptr<TFileUpdate> update;
  TIniDocument doc;
  bool changed = false;
};

namespace {

// The document a read looks at: the group's, else the file as it is now.
TIniDocument& ReadDocument(TMyIniFile::TBatch* batch, const std::string& fileName, TIniDocument& local) {
  if (batch) return batch->doc;
  Load(fileName, local);
  return local;
}

// Runs change on the document a write changes: the group's, else the file's during a
// turn at it (written back when change says it changed something).
template <typename F>
void ChangeDocument(TMyIniFile::TBatch* batch, const std::string& fileName, F&& change) {
  if (batch) {
    if (change(batch->doc)) batch->changed = true;
    return;
  }
  std::unique_ptr<TFileUpdate> update = TakeTurn(fileName);
  TIniDocument doc;
  LoadForWrite(fileName, doc);
  if (change(doc)) Store(*update, fileName, doc);
}

}  // namespace

TMyIniFile::TMyIniFile(std::string fileName) : fileName_(std::move(fileName)) {}
TMyIniFile::~TMyIniFile() = default;
TMyIniFile::TMyIniFile(const TMyIniFile& other) : fileName_(other.fileName_) {}
TMyIniFile& TMyIniFile::operator=(const TMyIniFile& other) {
  if (this != &other) {
    fileName_ = other.fileName_;
    batch_.reset();
  }
  return *this;
}

void TMyIniFile::BeginUpdate() {
  if (batch_) throw EIniFileError("A group of settings writes is already open");
  auto batch = std::make_unique<TBatch>();
  batch->update = TakeTurn(fileName_);
  LoadForWrite(fileName_, batch->doc);
  batch_ = std::move(batch);
}

void TMyIniFile::EndUpdate() {
  if (!batch_) return;
  std::unique_ptr<TBatch> batch = std::move(batch_);
  if (batch->changed) Store(*batch->update, fileName_, batch->doc);
}

std::string TMyIniFile::ReadString(const std::string& section, const std::string& key,
                                   const std::string& defaultValue) const {
  TIniDocument local;
  TIniDocument& doc = ReadDocument(batch_.get(), fileName_, local);
  TIniSection* s = FindSection(doc, section);
  if (!s) return defaultValue;
  TIniLine* l = FindPair(*s, key);
  return l ? l->value : defaultValue;
}

int TMyIniFile::ReadInteger(const std::string& section, const std::string& key,
                            int defaultValue) const {
  int value = 0;
  return ParseInteger(ReadString(section, key, std::string()), value) ? value : defaultValue;
}

bool TMyIniFile::ReadBool(const std::string& section, const std::string& key,
                          bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TMyIniFile::WriteString(const std::string& section, const std::string& key,
                             const std::string& value) {
  std::string sectionName = CheckedSection(section);
  std::string keyName = CheckedKey(key);
  if (HasLineBreak(value))
    throw EIniFileError(Format("A settings value cannot hold a line break (%s)", keyName.c_str()));

  ChangeDocument(batch_.get(), fileName_, [&](TIniDocument& doc) {
    TIniSection* s = FindSection(doc, sectionName);
    if (!s) {
      // a blank line between sections, for whoever reads the file
      std::vector<TIniLine>& before = doc.sections.empty() ? doc.preamble : doc.sections.back().lines;
      if (!before.empty() && !Trim(before.back().text).empty()) before.push_back(TIniLine{});
      doc.sections.push_back(TIniSection{sectionName, "[" + sectionName + "]", {}});
      s = &doc.sections.back();
    }
    std::string stripped = Trim(value);
    if (TIniLine* l = FindPair(*s, keyName)) {
      l->value = stripped;
      l->text = l->key + "=" + stripped;
    } else {
      // after the last non-blank line of the section, so blank separators stay below it
      size_t at = s->lines.size();
      while (at > 0 && Trim(s->lines[at - 1].text).empty()) --at;
      s->lines.insert(s->lines.begin() + static_cast<std::ptrdiff_t>(at),
                      TIniLine{keyName + "=" + stripped, true, keyName, stripped});
    }
    return true;
  });
}

void TMyIniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
  WriteString(section, key, Format("%d", value));
}

void TMyIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

bool TMyIniFile::SectionExists(const std::string& section) const {
  TIniDocument local;
  return FindSection(ReadDocument(batch_.get(), fileName_, local), section) != nullptr;
}

bool TMyIniFile::ValueExists(const std::string& section, const std::string& key) const {
  TIniDocument local;
  TIniSection* s = FindSection(ReadDocument(batch_.get(), fileName_, local), section);
  return s && FindPair(*s, key);
}

std::vector<std::string> TMyIniFile::ReadSections() const {
  TIniDocument local;
  std::vector<std::string> names;
  for (const TIniSection& s : ReadDocument(batch_.get(), fileName_, local).sections) names.push_back(s.name);
  return names;
}

std::vector<std::string> TMyIniFile::ReadSection(const std::string& section) const {
  TIniDocument local;
  std::vector<std::string> keys;
  TIniSection* s = FindSection(ReadDocument(batch_.get(), fileName_, local), section);
  if (!s) return keys;
  for (const TIniLine& l : s->lines) {
    if (!l.isPair) continue;
    bool seen = false;
    for (const std::string& k : keys) seen = seen || SameText(k, l.key);
    if (!seen) keys.push_back(l.key);
  }
  return keys;
}

void TMyIniFile::DeleteKey(const std::string& section, const std::string& key) {
  ChangeDocument(batch_.get(), fileName_, [&](TIniDocument& doc) {
    TIniSection* s = FindSection(doc, section);
    if (!s) return false;
    std::string name = Trim(key);
    size_t before = s->lines.size();
    std::erase_if(s->lines, [&](const TIniLine& l) { return l.isPair && SameText(l.key, name); });
    return s->lines.size() != before;
  });
}

void TMyIniFile::EraseSection(const std::string& section) {
  ChangeDocument(batch_.get(), fileName_, [&](TIniDocument& doc) {
    std::string name = Trim(section);
    size_t before = doc.sections.size();
    std::erase_if(doc.sections, [&](const TIniSection& s) { return SameText(s.name, name); });
    return doc.sections.size() != before;
  });
}

void TMyIniFile::Clear() {
  if (batch_) {
    batch_->doc = TIniDocument{};
    batch_->changed = true;
    return;
  }
  std::unique_ptr<TFileUpdate> update = TakeTurn(fileName_);
  Store(*update, fileName_, TIniDocument{});
}

}  // namespace movara
