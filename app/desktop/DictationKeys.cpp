#include "app/desktop/DictationKeys.h"

#include <array>
#include <utility>

std::optional<DictationKeys::Outcome> DictationKeys::keyEvent(const KeyTransition& key,
                                                              std::chrono::milliseconds now) const
{
    const bool armed = now < m_armedUntil;
    if (!m_isRecordingActive && !armed)
        return std::nullopt;
    if (armed || now < m_switchDeadline) {
        const std::array<std::pair<SwitchAction, const std::optional<Hotkey>*>, 3> secondaries{{
            {SwitchAction::ask, &m_askHotkey},
            {SwitchAction::translate, &m_translateHotkey},
            {SwitchAction::rewrite, &m_rewriteHotkey},
        }};
        for (const auto& [action, hotkey] : secondaries) {
            const SwitchHit hit = switchHit(*hotkey, key);
            if (hit == SwitchHit::noMatch)
                continue;
            // A held switch key repeats; the switch was already reported by its first press.
            if (hit == SwitchHit::fire && !key.isRepeat)
                return Outcome{action, false};
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
    for (const auto* secondary : {&m_askHotkey, &m_translateHotkey, &m_rewriteHotkey}) {
        if (!isPrimary(*secondary))
            grabs.add(*secondary);
    }
}

bool DictationKeys::isPrimary(const std::optional<Hotkey>& hotkey) const
{
    return hotkey && m_primaryHotkey && *m_primaryHotkey == *hotkey;
}

DictationKeys::SwitchHit DictationKeys::switchHit(const std::optional<Hotkey>& hotkey, const KeyTransition& key) const
{
    using Type = KeyTransition::Type;
    if (!hotkey || isPrimary(hotkey))
        return SwitchHit::noMatch;
    if (!hotkey->isModifierOnly) {
        if (hotkey->keyCode != key.keyCode)
            return SwitchHit::noMatch;
        if (key.type == Type::keyDown)
            return key.mask == hotkey->modifiers ? SwitchHit::fire : SwitchHit::noMatch;
        return key.type == Type::keyUp ? SwitchHit::swallow : SwitchHit::noMatch;
    }
    if (key.type != Type::modifierChanged)
        return SwitchHit::noMatch;
    if (hotkey->modifiers == 0)
        return key.isPress && hotkey->keyCode == key.keyCode ? SwitchHit::fire : SwitchHit::noMatch;
    return key.mask == (hotkey->modifiers & KeyModifier::all) ? SwitchHit::fire : SwitchHit::noMatch;
}
