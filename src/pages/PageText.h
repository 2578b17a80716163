#pragma once
// Text helpers of the title pages: UTF-8 checking and repair, the code page of older
// page files, menu captions, line breaks and settings values.
#include <cstddef>
#include <string>

namespace movara {

// True when the bytes are well-formed UTF-8 (no overlongs, no surrogates).
bool IsValidUtf8(const std::string& text);
// Text read from a file: kept when it is UTF-8, otherwise taken as Windows-1250 (the
// Polish code page older page files were written in) and converted.
std::string TextFromFileBytes(const char* bytes, size_t size);
// Cuts the text to at most maxBytes bytes without splitting a UTF-8 sequence; a zero
// byte ends the text (the files keep zero-terminated texts).
std::string LimitTextBytes(const std::string& text, size_t maxBytes);

// The code points of a UTF-8 text; ill-formed bytes read as U+FFFD each.
std::u32string DecodeUtf8(const std::string& text);
std::string EncodeUtf8(const std::u32string& text);

// A menu caption without its accelerator marks: "&&" is one '&', a single '&' goes.
std::string StripHotkey(const std::string& caption);
// The caption that StripHotkey turns back into text ('&' doubled).
std::string EscapeHotkey(const std::string& text);

// Settings values hold one line: a backslash is written as "\\" and a line break as
// "\n"; reading turns them back (CR LF in memory) and keeps any other backslash.
std::string EncodeSettingsText(const std::string& text);
std::string DecodeSettingsText(const std::string& value);

}  // namespace movara
