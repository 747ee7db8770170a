#pragma once

#include "app/desktop/HotkeyUse.h"
#include "app/desktop/KeyTransition.h"
#include "platform/Hotkey.h"

#include <QSet>

#include <optional>
#include <set>

// Captures a new hotkey for the settings window from the keys the user presses: a key with its
// modifiers, a chord of modifier keys or one lone modifier key. Esc abandons the capture.
//
// Holds no lock of its own: the hotkey engine owns it and calls it under the engine's lock.
class HotkeyCapture
{
public:
    struct Captured
    {
        HotkeyUse use;
        Hotkey hotkey;
    };

    // F1 to F12: the only keys a talk hotkey may use without a modifier.
    static const QSet<int>& functionKeyCodes();

    // Captures the next hotkey for use, replacing a capture in progress.
    void begin(HotkeyUse use);
    // Ends the capture in progress without a hotkey.
    void cancel();
    bool isActive() const { return m_use.has_value(); }

    // One key transition while capturing. The new hotkey once the gesture is complete; nothing
    // while it goes on or when it was abandoned (isActive() tells which).
    std::optional<Captured> keyEvent(const KeyTransition& key);
    // The keyboard was lost: the keys held may have been released unseen.
    void keysLost() { m_pendingModifiers.clear(); }

private:
    std::optional<Captured> modifierChanged(const KeyTransition& key);
    std::optional<Captured> finish(const Hotkey& hotkey);

    std::optional<HotkeyUse> m_use;
    std::set<int> m_pendingModifiers;
    std::set<int> m_pendingModifiersPeak;
};
