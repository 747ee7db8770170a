#pragma once

#include <QtGlobal>

// The program's own key numbering and modifier bits. Settings store hotkeys in these values, so
// they never change; each keyboard adapter translates its keys into them by key position.
namespace KeyCode {
inline constexpr int escape = 53;
inline constexpr int rightSuper = 54;
inline constexpr int leftSuper = 55;
inline constexpr int leftShift = 56;
inline constexpr int capsLock = 57;
inline constexpr int leftAlt = 58;
inline constexpr int leftControl = 59;
inline constexpr int rightShift = 60;
inline constexpr int rightAlt = 61;
inline constexpr int rightControl = 62;
// Stands for the Fn key of the original keyboards; on Linux the Menu key plays it.
inline constexpr int menu = 63;
} // namespace KeyCode

namespace KeyModifier {
inline constexpr quint64 shift = 0x20000;
inline constexpr quint64 control = 0x40000;
inline constexpr quint64 alt = 0x80000;
inline constexpr quint64 super = 0x100000;
inline constexpr quint64 all = shift | control | alt | super;

// The family a modifier key belongs to; CapsLock, Menu and ordinary keys belong to none.
constexpr quint64 familyOf(int keyCode)
{
    switch (keyCode) {
    case KeyCode::rightSuper:
    case KeyCode::leftSuper:
        return super;
    case KeyCode::leftShift:
    case KeyCode::rightShift:
        return shift;
    case KeyCode::leftAlt:
    case KeyCode::rightAlt:
        return alt;
    case KeyCode::leftControl:
    case KeyCode::rightControl:
        return control;
    default:
        return 0;
    }
}
} // namespace KeyModifier

// One key transition as a keyboard adapter saw it.
struct KeyEvent
{
    int keyCode = 0;
    // Press or release, as the keyboard reported it (never inferred from earlier events).
    bool isPress = false;
    // A press the keyboard generated because the key stays held.
    bool isRepeat = false;
    // The modifier families held once this transition has taken effect: pressing Alt while Ctrl
    // is held reports Ctrl+Alt, releasing Alt then reports Ctrl alone.
    quint64 modifiers = 0;
};
