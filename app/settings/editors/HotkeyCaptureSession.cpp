#include "app/settings/editors/HotkeyCaptureSession.h"

#include "app/desktop/HotkeyEngine.h"
#include "platform/KeyEvent.h"

#include <algorithm>

namespace {

// Often enough that a row leaves its prompt as the user lets go of Esc.
constexpr int kWatchIntervalMs = 100;

} // namespace

HotkeyCaptureSession::HotkeyCaptureSession(HotkeyEngine& engine, QObject* parent)
    : QObject(parent)
    , m_engine(engine)
{
    m_watch.setInterval(kWatchIntervalMs);
    connect(&m_watch, &QTimer::timeout, this, &HotkeyCaptureSession::watch);
    connect(&m_engine, &HotkeyEngine::grabsUpdated, this, &HotkeyCaptureSession::grabsChanged);
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
    m_watch.start();
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

void HotkeyCaptureSession::watch()
{
    if (!m_engine.isCapturing())
        end();
}

void HotkeyCaptureSession::end()
{
    m_watch.stop();
    const QString id = std::exchange(m_id, QString());
    if (!id.isEmpty())
        Q_EMIT ended(id);
}
