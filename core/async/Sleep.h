#pragma once

#include <QCoroTask>

#include <chrono>

class CancelToken;
class Clock;

// Waits for duration on clock, or until cancel is raised, whichever comes first. Returns true when
// the whole duration passed, false when the token cut it short (already raised: no wait at all).
// Never throws: a caller that must stop on cancellation checks the token itself. The clock and the
// token must outlive the wait; the coroutine resumes on the thread that started it.
QCoro::Task<bool> sleepFor(Clock* clock, std::chrono::milliseconds duration, CancelToken* cancel = nullptr);
