#pragma once

#include <optional>

// The program's key codes by key position. X numbers keys by the kernel's evdev codes plus 8
// regardless of the layout, so a hotkey stays on the same physical key whatever the keyboard
// prints on it. Keys without a program code are not tracked.
namespace X11KeyMap {

std::optional<int> programKeyCode(int xKeyCode);
std::optional<int> xKeyCode(int programKeyCode);

} // namespace X11KeyMap
