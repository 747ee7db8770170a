#pragma once

#include "platform/HotkeyNames.h"
#include "platform/KeyEvent.h"

// A key event as the hotkey logic reads it: a modifier key (Menu among them) changes what is held,
// every other key goes down and up.
struct KeyTransition
{
    enum class Type
    {
        keyDown,
        keyUp,
        modifierChanged,
    };

    Type type = Type::keyDown;
    int keyCode = 0;
    // The modifier families held, the only modifiers hotkeys compare.
    quint64 mask = 0;
    // Pressed or released; for a modifier key the direction of the change.
    bool isPress = false;
    bool isRepeat = false;

    static KeyTransition of(const KeyEvent& event)
    {
        const bool isModifierKey = HotkeyNames::modifierKeyCodes().contains(event.keyCode);
        const Type type = isModifierKey ? Type::modifierChanged : event.isPress ? Type::keyDown : Type::keyUp;
        return {type, event.keyCode, event.modifiers & KeyModifier::all, event.isPress, event.isRepeat};
    }
};
