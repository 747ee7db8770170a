#pragma once

#include <QAbstractEventDispatcher>
#include <QFuture>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThread>

#include <type_traits>
#include <utility>

// Runs fn with the future's result on the thread context lives in, once the future has its
// result, and only if context still exists then; a cancelled or failed future runs nothing. One of
// the four ways this program says "later" (PostToThread.h tells them apart).
//
// In place of QFuture::then(context, fn), which this Qt asserts on, and otherwise reads its
// QPointer on the finishing thread, when context is destroyed before the future finishes: an
// owner that quits while one of its requests is still out does just that. Here the result is
// handed to the event loop of context's thread, and context is looked at there, where it is
// destroyed.
namespace ContinueOnDetail {

// Runs call on loop's thread: at once when that is this thread (as QFuture::then(context, …)
// does), queued otherwise.
template <typename Call> void runOn(const QPointer<QAbstractEventDispatcher>& loop, Call call)
{
    if (!loop)
        return;
    if (loop->thread() == QThread::currentThread())
        call();
    else
        QMetaObject::invokeMethod(loop.data(), std::move(call), Qt::QueuedConnection);
}

} // namespace ContinueOnDetail

template <typename T, typename F> void continueOn(QFuture<T> future, QObject* context, F fn)
{
    // The thread's event dispatcher outlives everything of the thread's that waits on a future.
    QPointer<QAbstractEventDispatcher> loop(QAbstractEventDispatcher::instance(context->thread()));
    QPointer<QObject> guard(context);
    if constexpr (std::is_void_v<T>) {
        future.then(QtFuture::Launch::Sync, [loop, guard, fn = std::move(fn)]() mutable {
            ContinueOnDetail::runOn(loop, [guard, fn = std::move(fn)]() mutable {
                if (guard)
                    fn();
            });
        });
    } else {
        future.then(QtFuture::Launch::Sync, [loop, guard, fn = std::move(fn)](T value) mutable {
            ContinueOnDetail::runOn(loop, [guard, fn = std::move(fn), value = std::move(value)]() mutable {
                if (guard)
                    fn(std::move(value));
            });
        });
    }
}
