#pragma once

#include "core/async/CancelToken.h"

#include <QCoroTask>
#include <QObject>

#include <algorithm>
#include <coroutine>
#include <exception>
#include <memory>
#include <optional>
#include <vector>

// A value or a failure that arrives once and that any number of coroutines wait for. The first
// setValue()/setError() decides; later ones are ignored. Waiters are resumed inside that call, in
// the order they started waiting, so they must not expect the setter to have finished.
//
// Always held by shared_ptr (create()): a waiting coroutine keeps the slot alive. Main thread
// only. wait() throws the stored failure to every waiter, and CancelledError to a waiter whose
// token is raised before the value arrives (the slot itself is not affected).
template <typename T> class ResultSlot : public std::enable_shared_from_this<ResultSlot<T>>
{
public:
    static std::shared_ptr<ResultSlot> create() { return std::shared_ptr<ResultSlot>(new ResultSlot); }

    bool isSet() const { return m_value.has_value() || m_error; }

    void setValue(T value)
    {
        if (isSet())
            return;
        m_value.emplace(std::move(value));
        wakeAll();
    }

    void setError(std::exception_ptr error)
    {
        if (isSet())
            return;
        m_error = std::move(error);
        wakeAll();
    }

    // A copy of the value once it is there, or the stored failure thrown.
    QCoro::Task<T> wait(CancelToken* cancel = nullptr)
    {
        // Keeps the slot alive across the suspension even if every other owner lets go.
        const std::shared_ptr<ResultSlot> self = this->shared_from_this();
        Awaiter awaiter(self, cancel);
        co_await awaiter;
        if (self->m_error)
            std::rethrow_exception(self->m_error);
        // A named copy: QCoro 0.8 moves from a non-const lvalue given to co_return, which would
        // empty the slot for the next waiter.
        T copy = *self->m_value;
        co_return copy;
    }

private:
    struct Waiter
    {
        std::coroutine_handle<> handle;
        QMetaObject::Connection connection;
    };

    class Awaiter
    {
    public:
        Awaiter(std::shared_ptr<ResultSlot> slot, CancelToken* cancel)
            : m_slot(std::move(slot))
            , m_cancel(cancel)
        {}

        bool await_ready() const { return m_slot->isSet() || (m_cancel && m_cancel->isCancelled()); }

        void await_suspend(std::coroutine_handle<> handle)
        {
            m_waiter = std::make_shared<Waiter>();
            m_waiter->handle = handle;
            if (m_cancel) {
                std::weak_ptr<ResultSlot> slot = m_slot;
                std::shared_ptr<Waiter> waiter = m_waiter;
                m_waiter->connection = QObject::connect(m_cancel, &CancelToken::cancelled, [slot, waiter] {
                    if (const auto strong = slot.lock())
                        strong->dropWaiter(waiter);
                });
            }
            m_slot->m_waiters.push_back(m_waiter);
        }

        void await_resume() const
        {
            // Resumed without a result: the token was raised.
            if (!m_slot->isSet())
                throw CancelledError();
        }

    private:
        std::shared_ptr<ResultSlot> m_slot;
        CancelToken* m_cancel;
        std::shared_ptr<Waiter> m_waiter;
    };

    ResultSlot() = default;

    void wakeAll()
    {
        // Taken out first: a resumed waiter may start waiting again or drop another waiter.
        std::vector<std::shared_ptr<Waiter>> waiters;
        waiters.swap(m_waiters);
        for (const auto& waiter : waiters) {
            QObject::disconnect(waiter->connection);
            waiter->handle.resume();
        }
    }

    void dropWaiter(const std::shared_ptr<Waiter>& waiter)
    {
        const auto it = std::find(m_waiters.begin(), m_waiters.end(), waiter);
        if (it == m_waiters.end())
            return;
        m_waiters.erase(it);
        QObject::disconnect(waiter->connection);
        waiter->handle.resume();
    }

    std::optional<T> m_value;
    std::exception_ptr m_error;
    std::vector<std::shared_ptr<Waiter>> m_waiters;
};
