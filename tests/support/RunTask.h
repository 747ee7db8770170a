#pragma once

#include <QCoreApplication>
#include <QCoroTask>
#include <QEvent>

#include <exception>
#include <optional>

// Runs a coroutine to its end inside a nested event loop and keeps what it gave: its value or
// the exception it threw. QCoro::waitFor alone would hang on a throwing task, and QtTest's
// checks cannot be used inside a coroutine, so tests await through this and check outside.
template <typename T> struct TaskOutcome
{
    std::optional<T> value;
    std::exception_ptr error;

    // The thrown error as E, or nothing when the task succeeded or threw something else.
    template <typename E> std::optional<E> errorAs() const
    {
        if (!error)
            return std::nullopt;
        try {
            std::rethrow_exception(error);
        } catch (const E& e) {
            return e;
        } catch (...) {
            return std::nullopt;
        }
    }
};

template <> struct TaskOutcome<void> : TaskOutcome<bool>
{};

namespace RunTaskDetail {

template <typename T> QCoro::Task<TaskOutcome<T>> capture(QCoro::Task<T> task)
{
    TaskOutcome<T> outcome;
    try {
        if constexpr (std::is_void_v<T>) {
            co_await std::move(task);
            outcome.value = true;
        } else {
            outcome.value = co_await std::move(task);
        }
    } catch (...) {
        outcome.error = std::current_exception();
    }
    co_return outcome;
}

} // namespace RunTaskDetail

template <typename T> TaskOutcome<T> runTask(QCoro::Task<T> task)
{
    return QCoro::waitFor(RunTaskDetail::capture(std::move(task)));
}

// Deletes what finished tasks handed to deleteLater (network replies above all). runTask's loop
// ends as soon as its task does, often before it reaches those deletions, and after the last test
// no loop runs at all; a test's cleanup calls this so nothing is left for the exit to tear down.
inline void deleteReleasedObjects()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
