#pragma once

#include "core/store/HistoryEntry.h"

#include <QCoroTask>
#include <QObject>
#include <QStringList>

class HistoryStore;
class QThreadPool;

// The takes an earlier run was recording when it ended abruptly (a crash, a kill), left as journal
// files in the history's recordings folder: each becomes a failed history entry with its
// recording, ready for a retry. A journal goes only once its entry and recording are on disk; one
// this program did not write is set aside ("<name>.unreadable-<time>"), never deleted. Reading and
// compressing the takes runs on a worker. Main thread.
class TakeRecovery : public QObject
{
    Q_OBJECT

public:
    // Takes of this many samples or fewer (0.1 s) cannot hold speech and are not filed.
    static constexpr qsizetype kTooShortSamples = 1600;

    // Lists the journals in the history's recordings folder: made before this run records
    // anything, it finds only what an earlier run left.
    TakeRecovery(HistoryStore& history, QThreadPool& workers, QObject* parent = nullptr);

    const QStringList& left() const { return m_left; }

    // Files the left takes as copies of model (its texts, mode and recogniser), each with an id
    // of its own and the time its take was last written; filed() follows.
    void file(const HistoryEntry& model);

Q_SIGNALS:
    // How many takes became entries.
    void filed(int count);

private:
    QCoro::Task<> fileOnWorker(HistoryEntry model);

    HistoryStore& m_history;
    QThreadPool& m_workers;
    const QStringList m_left;
};
