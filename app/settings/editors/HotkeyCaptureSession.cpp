#include "app/settings/editors/HotkeyCaptureSession.h"

#include "app/desktop/HotkeyEngine.h"
#include "platform/KeyEvent.h"

#include <algorithm>

HotkeyCaptureSession::HotkeyCaptureSession(HotkeyEngine& engine, QObject* parent)
    : QObject(parent)
    , m_engine(engine)
{
    connect(&m_engine, &HotkeyEngine::grabsUpdated, this, &HotkeyCaptureSession::grabsChanged);
    connect(&m_engine, &HotkeyEngine::captured, this, [this](HotkeyUse use, const Hotkey& hotkey) {
        if (m_use == use)
            Q_EMIT captured(use, hotkey);
    });
    // A later capture may have begun by the time the report arrives.
    connect(&m_engine, &HotkeyEngine::captureEnded, this, [this] {
        if (!m_engine.isCapturing())
            end();
    });
}

HotkeyCaptureSession::~HotkeyCaptureSession()
{
    if (m_use)
        m_engine.cancelCapture();
}

void HotkeyCaptureSession::begin(HotkeyUse use)
{
    if (m_use && m_use != use) {
        m_engine.cancelCapture();
        end();
    }
    m_use = use;
    m_engine.beginCapture(use);
}

void HotkeyCaptureSession::cancel(HotkeyUse use)
{
    if (m_use != use)
        return;
    m_engine.cancelCapture();
    end();
}

bool HotkeyCaptureSession::isHeldElsewhere(const Hotkey& hotkey) const
{
    const KeyGrabFailures failures = m_engine.grabFailures();
    const quint64 modifiers = hotkey.modifiers & KeyModifier::all;
    const auto heldIn = [&](const std::vector<KeyGrab>& grabs) {
        return std::any_of(grabs.begin(), grabs.end(), [&](const KeyGrab& grab) {
            return grab.keyCode == hotkey.keyCode && (grab.anyModifiers || grab.modifiers == modifiers);
        });
    };
    return heldIn(failures.keys) || heldIn(failures.probes);
}

void HotkeyCaptureSession::probeGrabs()
{
    m_engine.probeGrabs();
}

void HotkeyCaptureSession::end()
{
    if (const std::optional<HotkeyUse> use = std::exchange(m_use, std::nullopt))
        Q_EMIT ended(*use);
}
