#pragma once

#include "app/desktop/HotkeyGrabs.h"
#include "app/desktop/KeyTransition.h"
#include "platform/Hotkey.h"

#include <chrono>
#include <optional>

// The keys that act only while a dictation is being recorded: Esc cancels it, and during its
// first second the ask, translate and rewrite hotkeys switch what the dictation is for.
//
// Holds no lock of its own: the hotkey engine owns it and calls it under the engine's lock.
class DictationKeys
{
public:
    enum class SwitchAction
    {
        dictate,
        ask,
        translate,
        rewrite,
    };

    // What a key meant to the running dictation. The key is withheld from other applications.
    struct Outcome
    {
        std::optional<SwitchAction> switchTo;
        bool cancel = false;
    };

    bool isRecordingActive() const { return m_isRecordingActive; }
    void setRecordingActive(bool active) { m_isRecordingActive = active; }
    std::chrono::milliseconds switchDeadline() const { return m_switchDeadline; }
    void setSwitchDeadline(std::chrono::milliseconds deadline) { m_switchDeadline = deadline; }
    void setAskHotkey(std::optional<Hotkey> hotkey) { m_askHotkey = hotkey; }
    void setTranslateHotkey(std::optional<Hotkey> hotkey) { m_translateHotkey = hotkey; }
    void setRewriteHotkey(std::optional<Hotkey> hotkey) { m_rewriteHotkey = hotkey; }
    // The talk hotkey: a secondary hotkey equal to it never switches.
    void setPrimaryHotkey(std::optional<Hotkey> hotkey) { m_primaryHotkey = hotkey; }

    // What the key means to a dictation at the time now; nothing when it is none of its keys, or
    // no dictation is being recorded.
    std::optional<Outcome> keyEvent(const KeyTransition& key, std::chrono::milliseconds now) const;

    // Adds the combinations a dictation withholds at the time now.
    void addGrabs(HotkeyGrabs& grabs, std::chrono::milliseconds now) const;

private:
    enum class SwitchHit
    {
        noMatch,
        fire,
        swallow,
    };

    SwitchHit switchHit(const std::optional<Hotkey>& hotkey, const KeyTransition& key) const;
    bool isPrimary(const std::optional<Hotkey>& hotkey) const;

    bool m_isRecordingActive = false;
    std::chrono::milliseconds m_switchDeadline{0};
    std::optional<Hotkey> m_askHotkey;
    std::optional<Hotkey> m_translateHotkey;
    std::optional<Hotkey> m_rewriteHotkey;
    std::optional<Hotkey> m_primaryHotkey;
};
