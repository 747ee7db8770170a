#include "core/store/HistoryStore.h"

#include "core/audio/AudioStorage.h"
#include "core/store/StoreFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>

#include <algorithm>
#include <utility>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

// A take still being recognised when the program last ended (it quit or crashed) never will be:
// it is offered for a retry like any other that failed. True when any was.
bool failInterruptedTakes(QList<HistoryEntry>& entries)
{
    bool repaired = false;
    for (HistoryEntry& entry : entries) {
        if (entry.finalText == HistoryEntry::kRecognisingText) {
            entry.finalText = HistoryEntry::kFailedText;
            repaired = true;
        }
    }
    return repaired;
}

// Keeps a history file that holds more than the cap, as it is, beside the history before the
// history is written without its oldest entries. When the copy cannot be written (a full disk),
// the file itself is moved aside, which takes no room; the newest are then in memory and written
// anew.
void setAsideUntrimmed(const QString& historyFile, const QByteArray& bytes)
{
    const QString aside = StoreFile::asidePath(historyFile, QStringLiteral("untrimmed"));
    if (!StoreFile::writeAtomically(aside, bytes) && QFile::rename(historyFile, aside))
        QFile::setPermissions(aside, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

// Reading a file far over the cap takes many times the memory of what is kept, and glibc holds on
// to what a thread frees for that thread's later use unless asked to give it back.
void releaseFreedHistoryMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

} // namespace

HistoryStore::HistoryStore(const QString& directory, QObject* parent)
    : QObject(parent)
    , m_fileURL(QDir(directory).filePath(QStringLiteral("history.json")))
    , m_recordingsDir(QDir(directory).filePath(QStringLiteral("recordings")))
{
    m_worker.setMaxThreadCount(1);
    // Without the folder, recordings fail to write and entries are kept without audio.
    StoreFile::makePrivateFolder(directory);
    StoreFile::makePrivateFolder(m_recordingsDir);
    m_worker.start([this] { load(); });
}

HistoryStore::~HistoryStore()
{
    m_worker.waitForDone();
}

void HistoryStore::load()
{
    QList<HistoryEntry> read;
    bool trimmed = false;
    if (const std::optional<QByteArray> bytes = StoreFile::readOrQuarantine(m_fileURL)) {
        std::optional<HistoryEntry::Newest> newest = HistoryEntry::decodeNewest(*bytes, maxEntries);
        if (!newest) {
            StoreFile::quarantine(m_fileURL);
        } else {
            trimmed = newest->olderCount > 0;
            if (trimmed)
                setAsideUntrimmed(m_fileURL, *bytes);
            read = std::move(newest->entries);
        }
    }
    if (trimmed)
        releaseFreedHistoryMemory();
    // Only what was read: an entry added meanwhile may well be recognising.
    const bool rewrite = failInterruptedTakes(read) || trimmed;

    QMutexLocker lock(&m_mutex);
    // Whatever was added while the file was read is newer than all of it.
    m_entries = read + m_entries;
    if (m_entries.size() > maxEntries)
        m_entries.remove(0, m_entries.size() - maxEntries);
    m_loaded = true;
    if (rewrite)
        scheduleSave();
    if (!m_saveQueued)
        m_idle.wakeAll();
    lock.unlock();
    Q_EMIT loaded();
}

void HistoryStore::scheduleSave()
{
    if (std::exchange(m_saveQueued, true))
        return;
    m_worker.start([this] { writeLatest(); });
}

void HistoryStore::writeLatest()
{
    QMutexLocker lock(&m_mutex);
    // Changes from here on queue the next write, which finds them all.
    m_saveQueued = false;
    m_writing = true;
    const QList<HistoryEntry> entries = m_entries;
    const QStringList unlinked = std::exchange(m_unlinkedRecordings, {});
    lock.unlock();

    const bool written = StoreFile::writeAtomically(m_fileURL, HistoryEntry::encodeList(entries));
    // The entry left the file before its recording leaves the disk, so an interruption in
    // between leaves a stray recording, never an entry whose audio is gone.
    if (written) {
        for (const QString& path : unlinked)
            QFile::remove(path);
    }

    lock.relock();
    m_saved = written;
    if (!written)
        m_unlinkedRecordings = unlinked + m_unlinkedRecordings;
    // Told before flush() returns, and without the lock, which those told may take.
    lock.unlock();
    Q_EMIT saveFinished();
    lock.relock();
    m_writing = false;
    if (!m_saveQueued)
        m_idle.wakeAll();
}

bool HistoryStore::isLoaded() const
{
    QMutexLocker lock(&m_mutex);
    return m_loaded;
}

QList<HistoryEntry> HistoryStore::all() const
{
    QMutexLocker lock(&m_mutex);
    return QList<HistoryEntry>(m_entries.crbegin(), m_entries.crend());
}

void HistoryStore::add(const HistoryEntry& entry, std::span<const float> samples)
{
    HistoryEntry stored = entry;
    if (!samples.empty()) {
        const QString name = entry.idText() + QLatin1Char('.') + AudioStorage::fileExtension;
        const QString path = QDir(m_recordingsDir).filePath(name);
        if (AudioStorage::write(samples, path)) {
            QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
            stored.audioFileName = name;
        }
    }

    QMutexLocker lock(&m_mutex);
    const bool full = m_entries.size() >= maxEntries;
    m_entries.append(std::move(stored));
    // Recordings of dropped entries stay on disk; only remove() deletes audio.
    if (full)
        m_entries.remove(0, m_entries.size() - maxEntries);
    scheduleSave();
}

std::optional<QString> HistoryStore::audioURL(const HistoryEntry& entry) const
{
    if (!entry.audioFileName)
        return std::nullopt;
    const std::optional<QString> path = recordingPath(*entry.audioFileName);
    if (!path || !QFileInfo(*path).isFile())
        return std::nullopt;
    return path;
}

std::optional<HistoryEntry> HistoryStore::entry(const QUuid& id) const
{
    QMutexLocker lock(&m_mutex);
    const qsizetype index = indexOf(id);
    if (index < 0)
        return std::nullopt;
    return m_entries[index];
}

void HistoryStore::updateTexts(const QUuid& id, const QString& asrText, const QString& finalText)
{
    QMutexLocker lock(&m_mutex);
    const qsizetype index = indexOf(id);
    if (index < 0)
        return;
    m_entries[index].asrText = asrText;
    m_entries[index].finalText = finalText;
    scheduleSave();
}

bool HistoryStore::replaceTexts(const QUuid& id, const QString& expectedFinalText, const QString& asrText,
                                const QString& finalText)
{
    QMutexLocker lock(&m_mutex);
    const qsizetype index = indexOf(id);
    if (index < 0 || m_entries[index].finalText != expectedFinalText)
        return false;
    m_entries[index].asrText = asrText;
    m_entries[index].finalText = finalText;
    scheduleSave();
    return true;
}

std::optional<QString> HistoryStore::updateFinalText(const QUuid& id, const QString& newText)
{
    QMutexLocker lock(&m_mutex);
    const qsizetype index = indexOf(id);
    if (index < 0)
        return std::nullopt;
    QString former = std::exchange(m_entries[index].finalText, newText);
    scheduleSave();
    return former;
}

void HistoryStore::remove(const QUuid& id)
{
    QMutexLocker lock(&m_mutex);
    const qsizetype index = indexOf(id);
    if (index < 0)
        return;
    const std::optional<QString> audio = m_entries[index].audioFileName;
    m_entries.removeAt(index);
    if (audio) {
        if (const std::optional<QString> path = recordingPath(*audio))
            m_unlinkedRecordings.append(*path);
    }
    scheduleSave();
}

bool HistoryStore::isSaved() const
{
    QMutexLocker lock(&m_mutex);
    return m_saved;
}

void HistoryStore::saveAgain()
{
    QMutexLocker lock(&m_mutex);
    if (!m_saved)
        scheduleSave();
}

bool HistoryStore::flush()
{
    QMutexLocker lock(&m_mutex);
    while (!m_loaded || m_saveQueued || m_writing)
        m_idle.wait(&m_mutex);
    return m_saved;
}

qsizetype HistoryStore::indexOf(const QUuid& id) const
{
    const auto found =
        std::find_if(m_entries.cbegin(), m_entries.cend(), [&id](const HistoryEntry& entry) { return entry.id == id; });
    return found == m_entries.cend() ? -1 : qsizetype(found - m_entries.cbegin());
}

std::optional<QString> HistoryStore::recordingPath(const QString& fileName) const
{
    // The name comes from the file, which anything may have edited: "../.." or a path must not
    // let remove() delete, or audioURL() hand out, a file outside the folder.
    if (fileName.isEmpty() || fileName == QLatin1String(".") || fileName == QLatin1String("..") ||
        fileName.contains(QLatin1Char('/')) || fileName.contains(QChar(0)))
        return std::nullopt;
    return QDir(m_recordingsDir).filePath(fileName);
}
