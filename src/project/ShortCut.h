#pragma once
// Keyboard shortcuts as the sequence blocks keep them: a 16-bit code with the virtual
// key in the low byte and the modifiers 0x2000 (Shift), 0x4000 (Ctrl), 0x8000 (Alt).
#include <cstdint>
#include <string>

namespace movara {

inline constexpr uint16_t scShift = 0x2000;
inline constexpr uint16_t scCtrl = 0x4000;
inline constexpr uint16_t scAlt = 0x8000;

// "Shift+Ctrl+Alt+" as held, then the key's name ("A", "5", "F1", "Left", "Num +"...).
// Codes 0 and keys without a name give "".
std::string ShortCutToText(uint32_t code);

}  // namespace movara
