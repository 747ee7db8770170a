#include "tests/support/FakeKeySource.h"

#include <stdexcept>

bool FakeKeySource::start(KeyEventSink& sink)
{
    if (m_refuseStart)
        return false;
    m_sink = &sink;
    return true;
}

void FakeKeySource::stop()
{
    m_sink = nullptr;
}

bool FakeKeySource::press(int keyCode)
{
    m_held.insert(keyCode);
    return send(keyCode, true, false);
}

bool FakeKeySource::repeat(int keyCode)
{
    return send(keyCode, true, true);
}

bool FakeKeySource::release(int keyCode)
{
    m_held.erase(keyCode);
    return send(keyCode, false, false);
}

bool FakeKeySource::tap(int keyCode)
{
    const bool down = press(keyCode);
    const bool up = release(keyCode);
    return down && up;
}

KeyGrabRequest FakeKeySource::grabs() const
{
    return m_sink ? m_sink->wantedGrabs() : KeyGrabRequest{};
}

void FakeKeySource::reportFailures(const KeyGrabFailures& failures)
{
    if (m_sink)
        m_sink->grabsApplied(failures);
}

void FakeKeySource::loseKeys()
{
    if (m_sink)
        m_sink->keysLost();
}

quint64 FakeKeySource::heldModifiers() const
{
    quint64 modifiers = 0;
    for (const int key : m_held)
        modifiers |= KeyModifier::familyOf(key);
    return modifiers;
}

bool FakeKeySource::send(int keyCode, bool isPress, bool isRepeat)
{
    if (!m_sink)
        throw std::logic_error("key event sent to a stopped key source");
    return m_sink->keyEvent(KeyEvent{keyCode, isPress, isRepeat, heldModifiers()});
}
