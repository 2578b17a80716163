#pragma once
// The 49 numbered messages of the DV camera, each in Polish and in English.
#include <string>

namespace movara {

inline constexpr int kDvMessageCount = 49;
// Language of the messages: 1 Polish (the default), 0 English.
inline constexpr int kDvPolish = 1;
inline constexpr int kDvEnglish = 0;

// The text of message n with "%x" still in it; "" outside the table.
std::string DvMessageTemplate(int n, int language = kDvPolish);
// The text with the failing result in place of "%x" (upper-case hexadecimal).
std::string DvMessageText(int n, int result, int language = kDvPolish);

}  // namespace movara
