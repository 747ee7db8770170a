#pragma once

#include "platform/Clock.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>

class QTimer;

// The real clock: QElapsedTimer for now(), single-shot QTimers for schedule().
class SystemClock : public QObject, public Clock
{
    Q_OBJECT

public:
    explicit SystemClock(QObject* parent = nullptr);

    std::chrono::milliseconds now() const override;
    TimerId schedule(std::chrono::milliseconds delay, std::function<void()> callback) override;
    void cancel(TimerId id) override;

private:
    QElapsedTimer m_elapsed;
    QHash<TimerId, QTimer*> m_timers;
    TimerId m_nextId = 1;
};
