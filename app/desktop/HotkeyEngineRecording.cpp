// The engine's second duty: recording a new hotkey from the keys the user presses.
#include "app/desktop/HotkeyEngine.h"

#include <bit>
#include <utility>

namespace {

int familiesCount(quint64 flags)
{
    return std::popcount(flags & KeyModifier::all);
}

bool isSecondaryAction(const QString& id)
{
    return id == QLatin1StringView("ask") || id == QLatin1StringView("translate") || id == QLatin1StringView("rewrite");
}

} // namespace

void HotkeyEngine::beginRecording(const QString& id)
{
    {
        std::scoped_lock lock(m_lock);
        m_recordingId = id;
        m_recordingIsSecondary = isSecondaryAction(id);
        m_pendingModifiers.clear();
        m_pendingModifiersPeak.clear();
    }
    m_source.grabsChanged();
}

void HotkeyEngine::cancelRecording()
{
    {
        std::scoped_lock lock(m_lock);
        clearRecording();
    }
    m_source.grabsChanged();
}

bool HotkeyEngine::isHotkeyRecording() const
{
    std::scoped_lock lock(m_lock);
    return m_recordingId.has_value();
}

void HotkeyEngine::setOnRecorded(std::function<void(const QString&, const Hotkey&)> callback)
{
    std::scoped_lock lock(m_lock);
    m_onRecorded = std::move(callback);
}

void HotkeyEngine::handleRecording(EventType type, int keyCode, quint64 mask, std::optional<bool> isPress)
{
    switch (type) {
    case EventType::modifierChanged: {
        if (!isPress)
            return;
        if (*isPress) {
            m_pendingModifiers.insert(keyCode);
            m_pendingModifiersPeak.insert(keyCode);
            return;
        }
        m_pendingModifiers.erase(keyCode);
        if (!m_pendingModifiers.empty())
            return;
        const std::set<int> peak = std::exchange(m_pendingModifiersPeak, {});
        quint64 flags = 0;
        for (const int key : peak)
            flags |= KeyModifier::familyOf(key);
        if (familiesCount(flags) < 2) {
            // A key already held when the recording began leaves the peak empty.
            const int lone = peak.empty() ? keyCode : *peak.begin();
            finishRecording(Hotkey{lone, 0, true});
        } else {
            finishRecording(Hotkey{*peak.begin(), flags, true});
        }
        return;
    }
    case EventType::keyDown:
        if (keyCode == KeyCode::escape) {
            clearRecording();
            m_source.grabsChanged();
            return;
        }
        if (mask == 0 && !functionKeyCodes().contains(keyCode) && !m_recordingIsSecondary)
            return;
        finishRecording(Hotkey{keyCode, mask, false});
        return;
    case EventType::keyUp:
        return;
    }
}

void HotkeyEngine::finishRecording(std::optional<Hotkey> hotkey)
{
    if (!m_recordingId)
        return;
    const QString id = *m_recordingId;
    clearRecording();
    if (hotkey) {
        if (const auto found = m_bindings.find(id); found != m_bindings.end())
            found->second.hotkey = hotkey;
        auto callback = m_onRecorded;
        QMetaObject::invokeMethod(
            this,
            [callback = std::move(callback), id, recorded = *hotkey] {
                if (callback)
                    callback(id, recorded);
            },
            Qt::QueuedConnection);
    }
    // The keyboard grab ends and the new hotkey may need a grab of its own.
    m_source.grabsChanged();
}

void HotkeyEngine::clearRecording()
{
    m_recordingId.reset();
    m_recordingIsSecondary = false;
    m_pendingModifiers.clear();
    m_pendingModifiersPeak.clear();
}
