#pragma once
// Texts of the platform's multimedia result codes and wave format tags, for error
// messages and trace lines.
#include <cstdint>
#include <string>

namespace movara {

// The description of an MMRESULT (general, wave, MIDI, timer, joystick and ACM codes);
// "(unknown. mmr = $%8.8x)" for any other code.
std::string MmResultText(uint32_t code);

// The published name of a wave format tag ("WAVE_FORMAT_PCM"); "(unknown $%.8x)" else.
std::string FormatTagName(uint32_t tag);

// The sizes of the two tables (for their tests).
int MmResultTextCount();
int FormatTagNameCount();

}  // namespace movara
