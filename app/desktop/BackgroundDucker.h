#pragma once

#include "app/desktop/AudioDucker.h"

#include <QCoroTask>
#include <QThreadPool>

// The ducker with its sound-server calls moved off the main thread: asking the server can take
// up to the adapter's timeout, which the interface must never wait for. The calls run one at a
// time on a thread of their own, in the order they were made, so a restore never overtakes the
// duck before it. Created and called on the main thread.
class BackgroundDucker
{
public:
    BackgroundDucker(OutputVolume& output, QString stateFile);
    // Waits for a call still running; the output port gives up after its short timeout.
    ~BackgroundDucker();

    BackgroundDucker(const BackgroundDucker&) = delete;
    BackgroundDucker& operator=(const BackgroundDucker&) = delete;

    QCoro::Task<void> duck();
    QCoro::Task<void> restore();
    QCoro::Task<void> restoreAfterCrash();

private:
    QCoro::Task<void> inBackground(void (AudioDucker::*step)());

    AudioDucker m_ducker;
    // Declared after the ducker so that it is destroyed, and drained, first.
    QThreadPool m_pool;
};
