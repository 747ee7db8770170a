#pragma once

#include "core/async/CancelToken.h"
#include "core/async/ResultSlot.h"

#include <QCoroTask>

#include <functional>
#include <memory>
#include <optional>

// Work started once whose result several parties await: a QCoro::Task can be awaited only once,
// a SharedResult any number of times, each awaiter getting a copy of the value or the exception
// the work threw. The work starts in the constructor and runs to its end even when nobody awaits
// it any more; cancel() raises the token it was given. Copies share the one run.
//
// Main thread only. The work must end once its token is raised (or on its own), since it keeps
// what it captured alive until then.
template <typename T> class SharedResult
{
public:
    using Work = std::function<QCoro::Task<T>(CancelToken& cancel)>;

    explicit SharedResult(Work work)
        : m_state(std::make_shared<State>())
    {
        m_state->work = std::move(work);
        run(m_state);
    }

    bool isReady() const { return m_state->slot->isSet(); }

    // Asks the work to stop; awaiters then get whatever it ends with (usually CancelledError).
    void cancel() { m_state->token.cancel(); }

    // The work's value or its exception. Raising cancel stops only this awaiter, with
    // CancelledError, and leaves the work running.
    QCoro::Task<T> value(CancelToken* cancel = nullptr) const { return m_state->slot->wait(cancel); }

private:
    struct State
    {
        Work work;
        CancelToken token;
        std::shared_ptr<ResultSlot<T>> slot = ResultSlot<T>::create();
    };

    // Runs detached: the returned task is dropped, and the frame, which owns the state, frees
    // itself when the work ends.
    static QCoro::Task<> run(std::shared_ptr<State> state)
    {
        std::optional<T> value;
        std::exception_ptr error;
        try {
            QCoro::Task<T> task = state->work(state->token);
            value.emplace(co_await std::move(task));
        } catch (...) {
            error = std::current_exception();
        }
        if (error)
            state->slot->setError(error);
        else
            state->slot->setValue(std::move(*value));
    }

    std::shared_ptr<State> m_state;
};
