#pragma once

#include <QtGlobal>

#include <chrono>
#include <functional>

// Time as the program sees it: a monotonic "now" and one-shot timers. Flows that wait (recording
// limits, fades, debounces, retry waits) take a Clock so tests can drive them with a manual one
// instead of sleeping.
class Clock
{
public:
    using TimerId = quint64;

    virtual ~Clock() = default;

    // Monotonic time since an arbitrary origin.
    virtual std::chrono::milliseconds now() const = 0;

    // Calls callback once, after delay, on the thread that scheduled it (which must run an event
    // loop). Returns an id that cancel() takes; ids are never 0.
    virtual TimerId schedule(std::chrono::milliseconds delay, std::function<void()> callback) = 0;

    // Forgets a scheduled callback that has not run yet; unknown or spent ids are ignored.
    virtual void cancel(TimerId id) = 0;
};
