#include "platform/SystemClock.h"

#include <QTimer>

SystemClock::SystemClock(QObject* parent)
    : QObject(parent)
{
    m_elapsed.start();
}

std::chrono::milliseconds SystemClock::now() const
{
    return std::chrono::milliseconds(m_elapsed.elapsed());
}

Clock::TimerId SystemClock::schedule(std::chrono::milliseconds delay, std::function<void()> callback)
{
    const TimerId id = m_nextId++;
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    connect(timer, &QTimer::timeout, this, [this, id, callback = std::move(callback)] {
        if (QTimer* spent = m_timers.take(id))
            spent->deleteLater();
        callback();
    });
    m_timers.insert(id, timer);
    timer->start(delay);
    return id;
}

void SystemClock::cancel(TimerId id)
{
    if (QTimer* timer = m_timers.take(id)) {
        timer->stop();
        timer->deleteLater();
    }
}
