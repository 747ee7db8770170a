#pragma once

#include "platform/Hotkey.h"

#include <QString>

#include <optional>

// The line under a hotkey row that warns when the stored combination meets a shortcut the
// desktop already uses or another of the program's hotkeys, or tells whether the Fn key (played by Menu) is free to be
// a talk key.
namespace HotkeyNote {

struct Note
{
    enum class Tone
    {
        Warn,
        Ok
    };
    QString text;
    Tone tone = Tone::Warn;
    // The note offers to open the desktop's keyboard settings.
    bool offersKeyboardSettings = false;

    friend bool operator==(const Note&, const Note&) = default;
};

// fnTaken: the desktop gives the Fn key a function of its own. heldElsewhere: another program
// holds the combination, so pressing it also reaches that program.
std::optional<Note> forHotkey(const std::optional<Hotkey>& hotkey, bool fnTaken, bool heldElsewhere);

// The warning for a combination another of the program's hotkeys (titled otherLabel) also holds.
Note sharedWith(const QString& otherLabel);

} // namespace HotkeyNote
