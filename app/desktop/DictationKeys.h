#pragma once

#include "app/desktop/HotkeyGrabs.h"
#include "app/desktop/HotkeyUse.h"
#include "app/desktop/KeyTransition.h"
#include "platform/Hotkey.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <utility>
#include <vector>

// The keys that act only while a dictation is being recorded: Esc cancels it, and during its
// first second the ask, translate and rewrite hotkeys switch what the dictation is for.
//
// Holds no lock of its own: the hotkey engine owns it and calls it under the engine's lock.
class DictationKeys
{
public:
    // What a key meant to the running dictation. The key is withheld from other applications.
    struct Outcome
    {
        // The chord key pressed.
        std::optional<HotkeyUse> chord;
        bool cancel = false;
    };

    // How long the switch keys act: from the start of a recording, or from the talk key's press.
    static constexpr std::chrono::milliseconds switchWindow{1000};

    bool isRecordingActive() const { return m_isRecordingActive; }
    // Whether keyEvent may find any key of its own: a recording runs, or a talk key armed one.
    bool wantsKeys() const { return m_isRecordingActive || m_armedUntil.count() > 0; }
    // The recording's own state takes over from a talk key's arming, whichever way it went.
    void setRecordingActive(bool active)
    {
        m_isRecordingActive = active;
        m_armedUntil = std::chrono::milliseconds{0};
    }
    std::chrono::milliseconds switchDeadline() const { return m_switchDeadline; }
    // Until when the switch keys act or are armed; nothing needs them after this.
    std::chrono::milliseconds switchesUntil() const { return std::max(m_switchDeadline, m_armedUntil); }
    void setSwitchDeadline(std::chrono::milliseconds deadline) { m_switchDeadline = deadline; }
    // The chord keys and the talk key among them: a chord key equal to the talk key never
    // switches.
    void setHotkeys(const HotkeySet& hotkeys);
    const std::optional<Hotkey>& primaryHotkey() const { return m_primaryHotkey; }

    // The talk key went down with no recording running, so one is about to start. Starting takes
    // a moment (the microphone opens first), and a person who presses a switch key right after
    // the talk key must not see it typed into their text: the switch keys act from now on.
    void armForStart(std::chrono::milliseconds now) { m_armedUntil = now + switchWindow; }

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

    SwitchHit switchHit(const Hotkey& hotkey, const KeyTransition& key) const;
    bool isPrimary(const Hotkey& hotkey) const;

    bool m_isRecordingActive = false;
    std::chrono::milliseconds m_switchDeadline{0};
    std::chrono::milliseconds m_armedUntil{0};
    // The chord keys set, in the order they are looked at.
    std::vector<std::pair<HotkeyUse, Hotkey>> m_chordKeys;
    std::optional<Hotkey> m_primaryHotkey;
};
