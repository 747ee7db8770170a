#include "app/desktop/DictationKeys.h"

std::optional<DictationKeys::Outcome> DictationKeys::keyEvent(const KeyTransition& key,
                                                              std::chrono::milliseconds now) const
{
    const bool armed = now < m_armedUntil;
    if (!m_isRecordingActive && !armed)
        return std::nullopt;
    if (armed || now < m_switchDeadline) {
        for (const auto& [use, hotkey] : m_chordKeys) {
            const SwitchHit hit = switchHit(hotkey, key);
            if (hit == SwitchHit::noMatch)
                continue;
            // A held switch key repeats; the switch was already reported by its first press.
            if (hit == SwitchHit::fire && !key.isRepeat)
                return Outcome{use, false};
            return Outcome{};
        }
    }
    // Esc waits for the recording itself: a start that fails must not have taken it.
    if (m_isRecordingActive && key.type == KeyTransition::Type::keyDown && key.keyCode == KeyCode::escape)
        return Outcome{std::nullopt, true};
    return std::nullopt;
}

void DictationKeys::addGrabs(HotkeyGrabs& grabs, std::chrono::milliseconds now) const
{
    if (m_isRecordingActive) {
        // Esc cancels with whatever modifiers are held, so none of its presses may reach the
        // application.
        grabs.addWithAnyModifiers(KeyCode::escape);
    }
    if (now >= m_armedUntil && (!m_isRecordingActive || now >= m_switchDeadline))
        return;
    for (const auto& [use, hotkey] : m_chordKeys) {
        if (!isPrimary(hotkey))
            grabs.add(hotkey);
    }
}

void DictationKeys::setHotkeys(const HotkeySet& hotkeys)
{
    m_chordKeys.clear();
    for (const auto& [use, hotkey] : hotkeys) {
        if (isChordKey(use))
            m_chordKeys.emplace_back(use, hotkey);
    }
    const auto talk = hotkeys.find(HotkeyUse::talk);
    m_primaryHotkey = talk == hotkeys.end() ? std::nullopt : std::optional<Hotkey>(talk->second);
}

bool DictationKeys::isPrimary(const Hotkey& hotkey) const
{
    return m_primaryHotkey && *m_primaryHotkey == hotkey;
}

DictationKeys::SwitchHit DictationKeys::switchHit(const Hotkey& hotkey, const KeyTransition& key) const
{
    using Type = KeyTransition::Type;
    if (isPrimary(hotkey))
        return SwitchHit::noMatch;
    if (!hotkey.isModifierOnly) {
        if (hotkey.keyCode != key.keyCode)
            return SwitchHit::noMatch;
        if (key.type == Type::keyDown)
            return key.mask == hotkey.modifiers ? SwitchHit::fire : SwitchHit::noMatch;
        return key.type == Type::keyUp ? SwitchHit::swallow : SwitchHit::noMatch;
    }
    if (key.type != Type::modifierChanged)
        return SwitchHit::noMatch;
    if (hotkey.modifiers == 0)
        return key.isPress && hotkey.keyCode == key.keyCode ? SwitchHit::fire : SwitchHit::noMatch;
    return key.mask == (hotkey.modifiers & KeyModifier::all) ? SwitchHit::fire : SwitchHit::noMatch;
}
