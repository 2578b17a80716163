#pragma once
// Mouse buttons and modifier keys as the models receive them from the windows, so that
// tests drive the models exactly as a user's mouse would.

namespace movara {

enum TMouseButton { mbLeft, mbRight, mbMiddle };

using TShiftState = unsigned;
inline constexpr TShiftState ssShift = 1;
inline constexpr TShiftState ssAlt = 2;
inline constexpr TShiftState ssCtrl = 4;

}  // namespace movara
