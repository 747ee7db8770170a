#pragma once

#include "platform/KeyEvent.h"
#include "platform/KeyGrab.h"

// Receives the desktop's key events from a KeyEventSource, on the source's own thread.
class KeyEventSink
{
public:
    virtual ~KeyEventSink() = default;

    // One key transition anywhere on the desktop. The answer says whether the program consumed
    // it; sources that can only observe use it for nothing but their own bookkeeping.
    virtual bool keyEvent(const KeyEvent& event) = 0;

    // The grabs the sink wants in place now. Asked at start and after every grabsChanged().
    virtual KeyGrabRequest wantedGrabs() = 0;

    // Outcome of applying wantedGrabs(): what another program holds (empty when all succeeded).
    virtual void grabsApplied(const KeyGrabFailures& failures) = 0;

    // The source lost sight of the keyboard (its display connection broke): every key the sink
    // believes held may have been released unseen.
    virtual void keysLost() = 0;
};

// Watches every key of the desktop, including lone modifier keys, on a thread of its own.
class KeyEventSource
{
public:
    virtual ~KeyEventSource() = default;

    // Starts watching and applies the sink's first grabs before returning. False when the
    // keyboard cannot be watched (no display, no raw key events). Calls from the main thread.
    virtual bool start(KeyEventSink& sink) = 0;

    // Stops watching, drops every grab and waits for the thread: once it returns, the sink is
    // never called again. Safe to call when not running.
    virtual void stop() = 0;

    virtual bool isRunning() const = 0;

    // The sink's wanted grabs changed; the source asks for them again on its own thread.
    // Callable from any thread, also from inside a sink call.
    virtual void grabsChanged() = 0;
};
