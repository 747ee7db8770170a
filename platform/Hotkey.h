#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// A global hotkey: a key with an exact set of modifiers, a chord of modifier keys
// (isModifierOnly with modifiers), or one lone modifier key (isModifierOnly, modifiers 0).
// Key codes and modifier bits are those of platform/KeyEvent.h.
struct Hotkey
{
    qint64 keyCode = 0;
    quint64 modifiers = 0;
    bool isModifierOnly = false;

    // The text shown to the user: "Alt+Space", "Ctrl+Alt", "Menu".
    QString display() const;

    friend bool operator==(const Hotkey&, const Hotkey&) = default;
};

// The stored setting to a record. Anything that is not a JSON object with the three members of
// the right types (integers written as integers, a real Boolean) means "no hotkey".
std::optional<Hotkey> hotkey(const QString& stored);

// A record to its stored setting: compact JSON, or the empty string for no hotkey and for a
// record that JSON cannot hold exactly.
QString encodeHotkey(const std::optional<Hotkey>& hotkey);
