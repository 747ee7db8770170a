#include "core/store/Lexicon.h"

#include "core/store/StoreFile.h"
#include "core/text/HotwordMatcher.h"
#include "platform/FreedMemory.h"

#include <cstdio>

// How the lexicon reaches its file: every change queues a write on the lexicon's worker, which
// encodes a copy of what the lexicon holds then, outside the lock, and writes it atomically.

std::optional<QByteArray> Lexicon::exportSnapshot() const
{
    const std::shared_ptr<const View> view = loadedView();
    QByteArray encoded = LexiconSnapshot{view->rules, view->extraHotwords}.encode();
    giveBackFreedSoon(encoded.size());
    return encoded;
}

qsizetype Lexicon::exportedSize() const
{
    const std::shared_ptr<const View> view = loadedView();
    return LexiconSnapshot{view->rules, view->extraHotwords}.encodedSize();
}

void Lexicon::giveBackFreedSoon(qsizetype bytes) const
{
    // The text grows through buffers of every size up to its own, which the allocator keeps.
    if (bytes >= kLargeLexiconBytes && m_freedMemory)
        m_freedMemory->giveBackSoon();
}

void Lexicon::saveLocked(const Held& held)
{
    // Every change is saved, so this is where it is published and told; what memory holds changed
    // even when the disk refuses it.
    publishLocked(held);
    announceChange();
    scheduleWriteLocked(held);
}

void Lexicon::scheduleWriteLocked(const Held&)
{
    if (m_writes.queue())
        m_worker.start([this] { writeLatest(); });
}

void Lexicon::writeLatest()
{
    QMutexLocker lock(&m_mutex);
    m_writes.begin();
    lock.unlock();
    qsizetype bytes = 0;
    bool written = false;
    {
        // Every change so far has been published: changes from here on queue the next write. The
        // view is taken without the lexicon's lock, which a dictation's rules may be waiting for.
        const std::shared_ptr<const View> view = this->view();
        const LexiconSnapshot snapshot{view->rules, view->extraHotwords};
        writeTaken();
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
        scheduleWriteLocked(lock);
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
