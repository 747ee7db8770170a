#include "core/store/Lexicon.h"

#include "core/store/StoreFile.h"
#include "core/text/HotwordMatcher.h"
#include "platform/FreedMemory.h"

#include <cstdio>

// How the lexicon reaches its file: every change queues a write on the lexicon's worker, which
// encodes a copy of what the lexicon holds then, outside the lock, and writes it atomically.

std::optional<QByteArray> Lexicon::exportSnapshot() const
{
    LexiconSnapshot snapshot;
    {
        const auto lock = lockLoaded();
        snapshot = snapshotLocked();
    }
    QByteArray encoded = snapshot.encode();
    giveBackFreedSoon(encoded.size());
    return encoded;
}

LexiconSnapshot Lexicon::snapshotLocked() const
{
    // The encoder reads this copy on several threads while the lexicon goes on changing: the texts
    // are shared, not copied, and a change made meanwhile leaves the copy as it was.
    LexiconSnapshot snapshot;
    snapshot.rules.reserve(m_rules.size());
    for (const StoredRule& stored : m_rules)
        snapshot.rules.append(stored.rule);
    snapshot.hotwords = extraHotwordsLocked();
    return snapshot;
}

void Lexicon::giveBackFreedSoon(qsizetype bytes) const
{
    // The text grows through buffers of every size up to its own, which the allocator keeps.
    if (bytes >= kLargeLexiconBytes && m_freedMemory)
        m_freedMemory->giveBackSoon();
}

void Lexicon::saveLocked()
{
    // Every change is saved, so this is where it is told; what memory holds changed even when the
    // disk refuses it.
    announceChange();
    scheduleWriteLocked();
}

void Lexicon::scheduleWriteLocked()
{
    if (m_writes.queue())
        m_worker.start([this] { writeLatest(); });
}

void Lexicon::writeLatest()
{
    QMutexLocker lock(&m_mutex);
    m_writes.begin();
    qsizetype bytes = 0;
    bool written = false;
    {
        const LexiconSnapshot snapshot = snapshotLocked();
        lock.unlock();
        const QByteArray encoded = snapshot.encode();
        bytes = encoded.size();
        // A failed write leaves the change in memory; the next one writes everything.
        QString error;
        written = StoreFile::writeAtomically(m_fileURL, encoded, &error);
        if (!written)
            std::fprintf(stderr, "lexicon: cannot save %s: %s\n", qPrintable(m_fileURL), qPrintable(error));
    }
    if (bytes >= kLargeLexiconBytes && m_freedMemory)
        m_freedMemory->giveBack();
    lock.relock();
    m_writes.end(lock, written, [this] { Q_EMIT saveFinished(); });
}

bool Lexicon::isSaved() const
{
    QMutexLocker lock(&m_mutex);
    return m_writes.lastWritten() && !m_writes.isBusy();
}

bool Lexicon::lastWriteFailed() const
{
    return !m_writes.lastWritten();
}

void Lexicon::saveAgain()
{
    QMutexLocker lock(&m_mutex);
    // Even beside a write under way: it may have told its end already, and none would follow.
    if (!m_writes.lastWritten())
        scheduleWriteLocked();
}

bool Lexicon::flush()
{
    // Before the file is read nothing can have changed.
    if (!m_loaded)
        return true;
    saveAgain();
    QMutexLocker lock(&m_mutex);
    while (m_writes.isBusy())
        m_writes.wait(m_mutex);
    return m_writes.lastWritten();
}
