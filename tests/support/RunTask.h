#pragma once

#include <QCoroTask>

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
