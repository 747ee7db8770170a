#include "app/desktop/HotkeyCapture.h"

#include <bit>
#include <utility>

namespace {

int familiesCount(quint64 flags)
{
    return std::popcount(flags & KeyModifier::all);
}

} // namespace

const QSet<int>& HotkeyCapture::functionKeyCodes()
{
    static const QSet<int> codes{122, 120, 99, 118, 96, 97, 98, 100, 101, 109, 103, 111};
    return codes;
}

void HotkeyCapture::begin(HotkeyUse use)
{
    m_use = use;
    m_pendingModifiers.clear();
    m_pendingModifiersPeak.clear();
}

void HotkeyCapture::cancel()
{
    m_use.reset();
    m_pendingModifiers.clear();
    m_pendingModifiersPeak.clear();
}

std::optional<HotkeyCapture::Captured> HotkeyCapture::keyEvent(const KeyTransition& key)
{
    if (!m_use)
        return std::nullopt;
    switch (key.type) {
    case KeyTransition::Type::modifierChanged:
        return modifierChanged(key);
    case KeyTransition::Type::keyDown:
        if (key.keyCode == KeyCode::escape) {
            cancel();
            return std::nullopt;
        }
        if (key.mask == 0 && !functionKeyCodes().contains(key.keyCode) && !isChordKey(*m_use))
            return std::nullopt;
        return finish(Hotkey{key.keyCode, key.mask, false});
    case KeyTransition::Type::keyUp:
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<HotkeyCapture::Captured> HotkeyCapture::modifierChanged(const KeyTransition& key)
{
    if (key.isPress) {
        m_pendingModifiers.insert(key.keyCode);
        m_pendingModifiersPeak.insert(key.keyCode);
        return std::nullopt;
    }
    m_pendingModifiers.erase(key.keyCode);
    if (!m_pendingModifiers.empty())
        return std::nullopt;
    const std::set<int> peak = std::exchange(m_pendingModifiersPeak, {});
    quint64 flags = 0;
    for (const int held : peak)
        flags |= KeyModifier::familyOf(held);
    if (familiesCount(flags) < 2) {
        // A key already held when the capture began leaves the peak empty.
        const int lone = peak.empty() ? key.keyCode : *peak.begin();
        return finish(Hotkey{lone, 0, true});
    }
    return finish(Hotkey{*peak.begin(), flags, true});
}

std::optional<HotkeyCapture::Captured> HotkeyCapture::finish(const Hotkey& hotkey)
{
    Captured captured{*m_use, hotkey};
    cancel();
    return captured;
}
