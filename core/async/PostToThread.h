#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include <utility>

// How this program says "later". Four ways, one per kind of news; nothing else:
//
// - A widget tells its owner what the user did through a signal (the overlay's retryClicked, the
//   answer card's insertClicked). The owner connects; the widget never holds a callback.
// - An operation whose result comes later is a coroutine returning QCoro::Task<T>; it reports
//   failure by throwing, and the caller co_awaits it.
// - Code running on another thread (the key watcher, the audio input, the accessibility worker)
//   reaches an object of the GUI thread only through postTo() below: the call is queued onto the
//   thread of context and dropped when context has been destroyed by then.
// - A result that a worker hands over as a QFuture (the accessibility port's reads, a secret's
//   write, a history save) reaches an owner that is not itself waiting in a coroutine through
//   continueOn() in ContinueOn.h. postTo() will not do there: the future finishes on the worker,
//   where the owner may be in the middle of being destroyed; continueOn looks at the owner on
//   the owner's own thread.
//
// No std::function completions and no public std::function members in new code. Ports in
// platform/ that call back from their own thread say so in their header.

// Queues fn to run on the thread that context lives in, after the current call returns, and
// only if context still exists then. Callable from any thread; context itself must not be in the
// middle of being destroyed while this runs. Returns false when nothing was queued (no context).
template <typename F> bool postTo(QObject* context, F&& fn)
{
    if (!context)
        return false;
    return QMetaObject::invokeMethod(
        context,
        [guard = QPointer<QObject>(context), fn = std::forward<F>(fn)]() mutable {
            if (guard)
                fn();
        },
        Qt::QueuedConnection);
}
