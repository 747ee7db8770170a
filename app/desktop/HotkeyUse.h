#pragma once

#include "platform/Hotkey.h"

#include <map>

// What a hotkey the user sets is for. The talk and mode-cycling keys act at any time; the chord
// keys (ask, translate, rewrite) only in the first second of a dictation, pressed while or right
// after the talk key is, so they may be bare keys.
enum class HotkeyUse
{
    talk,
    ask,
    translate,
    rewrite,
    cycle,
};

bool isChordKey(HotkeyUse use);

// Every hotkey the user set, by what it is for; a use without a hotkey is absent. The hotkey
// engine is always handed the whole set.
using HotkeySet = std::map<HotkeyUse, Hotkey>;
