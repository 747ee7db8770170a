#include "app/desktop/BackgroundDucker.h"

#include <QCoroFuture>
#include <QtConcurrent>

BackgroundDucker::BackgroundDucker(OutputVolume& output, QString stateFile)
    : m_ducker(output, std::move(stateFile))
{
    m_pool.setMaxThreadCount(1);
    m_pool.setObjectName(QStringLiteral("murmo-ducker"));
}

BackgroundDucker::~BackgroundDucker()
{
    m_pool.waitForDone();
}

QCoro::Task<void> BackgroundDucker::duck()
{
    return inBackground(&AudioDucker::duck);
}

QCoro::Task<void> BackgroundDucker::restore()
{
    return inBackground(&AudioDucker::restore);
}

QCoro::Task<void> BackgroundDucker::restoreAfterCrash()
{
    return inBackground(&AudioDucker::restoreAfterCrash);
}

QCoro::Task<void> BackgroundDucker::inBackground(void (AudioDucker::*step)())
{
    // Queued now, not when the task is first awaited, so the order of calls is the order of work.
    QFuture<void> done = QtConcurrent::run(&m_pool, [ducker = &m_ducker, step] { (ducker->*step)(); });
    co_await done;
}
