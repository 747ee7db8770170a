#pragma once

#include <QMutex>
#include <QWaitCondition>

#include <atomic>
#include <utility>

// Where a store stands with writing itself out on its worker, when every change queues a write of
// the whole: a burst of changes goes out in one write, which finds them all, and a flush waits
// for the last. Every call is made with the store's lock held, the one passed in.
class CoalescedWrites
{
public:
    // A change: true when no write was queued yet, and the caller starts one on the worker.
    bool queue() { return !std::exchange(m_queued, true); }

    // On the worker, as a write begins: changes from here on queue the next one.
    void begin()
    {
        m_queued = false;
        m_writing = true;
    }

    // On the worker, as a write ends: tell runs without the lock, which those it tells may take,
    // and before a flush waiting for this write returns.
    template <typename Tell> void end(QMutexLocker<QMutex>& lock, bool written, Tell tell)
    {
        m_written = written;
        lock.unlock();
        tell();
        lock.relock();
        m_writing = false;
        wakeIfIdle();
    }

    // Whether the last write went through (true before the first). The one call that needs no
    // lock: a watcher on the GUI thread asks after every write, while the worker may hold the
    // store's lock copying a large store.
    bool lastWritten() const { return m_written; }
    bool isWriting() const { return m_writing; }
    // A write queued or under way.
    bool isBusy() const { return m_queued || m_writing; }

    // Wakes those waiting when no write is left to do; for a store whose waiters wait on more.
    void wakeIfIdle()
    {
        if (!m_queued)
            m_idle.wakeAll();
    }
    // Waits once for the worker to run out of writes, letting go of the store's lock meanwhile.
    void wait(QMutex& lock) { m_idle.wait(&lock); }

private:
    QWaitCondition m_idle;
    bool m_queued = false;
    bool m_writing = false;
    std::atomic_bool m_written = true;
};
