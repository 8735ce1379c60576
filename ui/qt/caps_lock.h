#pragma once
#include <optional>

namespace sealdoor::ui {

// Whether Caps Lock is on, where the desktop tells: the X server's keyboard
// state (XKB). nullopt where it cannot be told (Wayland gives a program no
// such state, and there is none without a display).
[[nodiscard]] std::optional<bool> CapsLockOn();

}  // namespace sealdoor::ui
