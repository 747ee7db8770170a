#pragma once

#include "platform/KeyEventSource.h"

#include <set>

// A keyboard driven by the test. It keeps track of the modifier keys it holds, so each event
// carries the modifiers a real keyboard would report, and answers whether the sink swallowed it.
class FakeKeySource : public KeyEventSource
{
public:
    bool start(KeyEventSink& sink) override;
    void stop() override;
    bool isRunning() const override { return m_sink != nullptr; }
    void grabsChanged() override { ++m_grabChanges; }

    // Makes start() fail, as a desktop without a keyboard to watch would.
    void refuseStart(bool refuse) { m_refuseStart = refuse; }

    bool press(int keyCode);
    bool repeat(int keyCode);
    bool release(int keyCode);
    // Press and release, answering whether both were swallowed.
    bool tap(int keyCode);

    // What the sink wants grabbed now.
    KeyGrabRequest grabs() const;
    int grabChanges() const { return m_grabChanges; }
    void reportFailures(const KeyGrabFailures& failures);
    void loseKeys();

    quint64 heldModifiers() const;

private:
    bool send(int keyCode, bool isPress, bool isRepeat);

    KeyEventSink* m_sink = nullptr;
    bool m_refuseStart = false;
    int m_grabChanges = 0;
    std::set<int> m_held;
};
