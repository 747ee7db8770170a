#pragma once

#include "platform/Accessibility.h"
#include "platform/SystemClock.h"

#include <QObject>
#include <QPromise>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

typedef struct _AtspiAccessible AtspiAccessible;

// Lives on the AT-SPI thread; everything in it touches libatspi and runs on that thread only.
class AtspiWorker : public QObject
{
    Q_OBJECT

public:
    // Runs job on the worker thread and resolves the future with its result; resolves with
    // fallback at once when the worker is gone.
    template <typename T>
    static QFuture<T> run(const std::shared_ptr<AtspiWorker>& worker, std::function<T(AtspiWorker&)> job, T fallback)
    {
        auto promise = std::make_shared<QPromise<T>>();
        QFuture<T> future = promise->future();
        promise->start();
        const bool posted = worker && QMetaObject::invokeMethod(worker.get(), [w = worker.get(), promise, job] {
                                promise->addResult(job(*w));
                                promise->finish();
                            });
        if (!posted) {
            promise->addResult(std::move(fallback));
            promise->finish();
        }
        return future;
    }

    // Connects to the bus; called on the worker thread first.
    void start();
    // Lets go of libatspi; called on the worker thread last.
    void shutDown();
    bool isAvailable() const { return m_available; }

    AccessibleElementPtr focusedElement();
    std::optional<QString> selectedText(const AccessibleElementPtr& element);
    std::optional<QString> value(const AccessibleElementPtr& element);
    bool replaceSelection(const AccessibleElementPtr& element, const QString& text);
    bool setValue(const AccessibleElementPtr& element, const QString& text);
    std::optional<QString> focusedWindowTitle(qint32 pid);

    // Gives up a reference taken for an element handle, on this thread.
    static void release(const std::weak_ptr<AtspiWorker>& worker, AtspiAccessible* object);

private:
    AccessibleElementPtr wrap(AtspiAccessible* object);

    // Only its now() is used, which any thread may call.
    SystemClock m_clock;
    std::atomic<bool> m_available = false;
    std::weak_ptr<AtspiWorker> m_self;
    friend class AtspiAccessibility;
};
