#include "core/async/Sleep.h"

#include "core/async/CancelToken.h"
#include "platform/Clock.h"

#include <coroutine>
#include <memory>

namespace {

// Suspends until the clock's timer fires or the token is raised. The state is shared with both
// callbacks so whichever comes second finds the wait already over and does nothing.
class ClockWait
{
public:
    ClockWait(Clock* clock, std::chrono::milliseconds duration, CancelToken* cancel)
        : m_clock(clock)
        , m_duration(duration)
        , m_cancel(cancel)
    {}

    bool await_ready() const { return m_duration.count() <= 0 || (m_cancel && m_cancel->isCancelled()); }

    void await_suspend(std::coroutine_handle<> handle)
    {
        m_state = std::make_shared<State>();
        m_state->handle = handle;
        Clock* clock = m_clock;
        std::shared_ptr<State> state = m_state;
        if (m_cancel) {
            state->connection = QObject::connect(m_cancel, &CancelToken::cancelled, [state, clock] {
                clock->cancel(state->timer);
                state->finish(false);
            });
        }
        state->timer = clock->schedule(m_duration, [state] { state->finish(true); });
    }

    bool await_resume() const
    {
        if (m_state)
            return m_state->elapsed;
        // Not suspended: either nothing to wait for, or the token was already up.
        return !(m_cancel && m_cancel->isCancelled());
    }

private:
    struct State
    {
        std::coroutine_handle<> handle;
        Clock::TimerId timer = 0;
        QMetaObject::Connection connection;
        bool done = false;
        bool elapsed = false;

        void finish(bool fullDuration)
        {
            if (done)
                return;
            done = true;
            elapsed = fullDuration;
            QObject::disconnect(connection);
            handle.resume();
        }
    };

    Clock* m_clock;
    std::chrono::milliseconds m_duration;
    CancelToken* m_cancel;
    std::shared_ptr<State> m_state;
};

} // namespace

QCoro::Task<bool> sleepFor(Clock* clock, std::chrono::milliseconds duration, CancelToken* cancel)
{
    co_return co_await ClockWait(clock, duration, cancel);
}
