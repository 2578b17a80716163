#pragma once
// printf-style formatting into std::string; the message texts of the program are
// printf patterns ("%s = $%x (%x + %d).") and stay readable next to their call.
#include <string>

namespace movara {

std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Left-pads a decimal text with '0' up to minLen characters; longer text stays.
std::string PadZeros(const std::string& text, int minLen);

std::string UpperCase(std::string s);
std::string LowerCase(std::string s);
bool SameText(const std::string& a, const std::string& b);  // ASCII case-blind

}  // namespace movara
