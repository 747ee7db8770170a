#pragma once

#include "platform/Hotkey.h"
#include "platform/KeyGrab.h"

#include <optional>

// Collects the key combinations the hotkeys want withheld from the application in front, each once.
class HotkeyGrabs
{
public:
    // Withholds what a hotkey's keys can be withheld as; lone modifiers and chords cannot be.
    void add(const std::optional<Hotkey>& hotkey);
    // Withholds keyCode whatever modifiers are held with it.
    void addWithAnyModifiers(int keyCode);

    KeyGrabRequest request;

private:
    void addGrab(const KeyGrab& grab);
};
