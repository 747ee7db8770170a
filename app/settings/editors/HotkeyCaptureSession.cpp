#include "app/settings/editors/HotkeyCaptureSession.h"

#include "app/desktop/HotkeyEngine.h"
#include "platform/KeyEvent.h"

#include <algorithm>

HotkeyCaptureSession::HotkeyCaptureSession(HotkeyEngine& engine, QObject* parent)
    : QObject(parent)
    , m_engine(engine)
{
    connect(&m_engine, &HotkeyEngine::grabsUpdated, this, &HotkeyCaptureSession::grabsChanged);
    // A later capture may have begun by the time the report arrives.
    connect(&m_engine, &HotkeyEngine::captureEnded, this, [this] {
        if (!m_engine.isCapturing())
            end();
    });
}

HotkeyCaptureSession::~HotkeyCaptureSession()
{
    if (!m_id.isEmpty())
        m_engine.cancelCapture();
}

void HotkeyCaptureSession::begin(const QString& id)
{
    if (!m_id.isEmpty() && m_id != id) {
        m_engine.cancelCapture();
        end();
    }
    m_id = id;
    m_engine.beginCapture(id);
}

void HotkeyCaptureSession::cancel(const QString& id)
{
    if (m_id.isEmpty() || m_id != id)
        return;
    m_engine.cancelCapture();
    end();
}

bool HotkeyCaptureSession::isHeldElsewhere(const Hotkey& hotkey) const
{
    const KeyGrabFailures failures = m_engine.grabFailures();
    const quint64 modifiers = hotkey.modifiers & KeyModifier::all;
    return std::any_of(failures.keys.begin(), failures.keys.end(), [&](const KeyGrab& grab) {
        return grab.keyCode == hotkey.keyCode && (grab.anyModifiers || grab.modifiers == modifiers);
    });
}

void HotkeyCaptureSession::end()
{
    const QString id = std::exchange(m_id, QString());
    if (!id.isEmpty())
        Q_EMIT ended(id);
}
