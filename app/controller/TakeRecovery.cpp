#include "app/controller/TakeRecovery.h"

#include "core/audio/TakeJournal.h"
#include "core/store/HistoryStore.h"
#include "core/store/StoreFile.h"

#include <QCoroFuture>
#include <QFile>
#include <QPointer>
#include <QThreadPool>
#include <QtConcurrent>

namespace {

// Reads, compresses and files each take; runs on a worker.
int fileTakes(HistoryStore& history, const QStringList& paths, const HistoryEntry& model)
{
    int filed = 0;
    for (const QString& path : paths) {
        const std::optional<TakeJournal::Left> left = TakeJournal::readBack(path);
        if (!left) {
            // Not what this program writes (a damaged header, another program's file): kept for
            // the user, out of the way of the next start.
            StoreFile::quarantine(path);
            continue;
        }
        if (qsizetype(left->samples.size()) <= TakeRecovery::kTooShortSamples) {
            QFile::remove(path);
            continue;
        }
        HistoryEntry entry = model;
        entry.id = QUuid::createUuid();
        entry.timestamp = left->lastWritten;
        // Until then a crash leaves the journal for the next start to file again.
        history.add(entry, left->samples, [path] { QFile::remove(path); });
        ++filed;
    }
    return filed;
}

} // namespace

TakeRecovery::TakeRecovery(HistoryStore& history, QThreadPool& workers, QObject* parent)
    : QObject(parent)
    , m_history(history)
    , m_workers(workers)
    , m_left(TakeJournal::leftIn(history.recordingsDir()))
{}

void TakeRecovery::file(const HistoryEntry& model)
{
    fileOnWorker(model);
}

QCoro::Task<> TakeRecovery::fileOnWorker(HistoryEntry model)
{
    const QPointer<TakeRecovery> self(this);
    HistoryStore& history = m_history;
    QFuture<int> filing =
        QtConcurrent::run(&m_workers, [&history, paths = m_left, model] { return fileTakes(history, paths, model); });
    const int count = co_await filing;
    if (self)
        Q_EMIT self->filed(count);
}
