#include "core/store/HistoryStore.h"

#include "core/audio/AudioStorage.h"
#include "core/store/StoreFile.h"
#include "platform/FreedMemory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>

#include <algorithm>
#include <utility>

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
    if (!StoreFile::writeAtomically(StoreFile::asidePath(historyFile, QStringLiteral("untrimmed")), bytes))
        StoreFile::setAside(historyFile, QStringLiteral("untrimmed"));
}

// "<id>.ogg": the recording of the entry with that id.
QString recordingName(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper() + QLatin1Char('.') + AudioStorage::fileExtension;
}

} // namespace

HistoryStore::HistoryStore(const QString& directory, FreedMemory* freedMemory, QObject* parent)
    : QObject(parent)
    , m_fileURL(QDir(directory).filePath(QStringLiteral("history.json")))
    , m_recordingsDir(QDir(directory).filePath(QStringLiteral("recordings")))
    , m_freedMemory(freedMemory)
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
    // Reading a file far over the cap takes many times the memory of what is kept, and the
    // allocator holds on to what this thread freed unless asked to give it back.
    if (trimmed && m_freedMemory)
        m_freedMemory->giveBack();
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
    m_writes.wakeIfIdle();
    lock.unlock();
    Q_EMIT loaded();
}

void HistoryStore::scheduleSave()
{
    if (m_writes.queue())
        m_worker.start([this] { writeLatest(); });
}

void HistoryStore::writeHeld(QMutexLocker<QMutex>& lock)
{
    const QList<Held> held = m_held;
    lock.unlock();
    QList<QUuid> written;
    for (const Held& recording : held) {
        const QString path = QDir(m_recordingsDir).filePath(recordingName(recording.id));
        // Still no room: the rest wait for the next try.
        if (!AudioStorage::write(*recording.samples, path))
            break;
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        written.append(recording.id);
    }
    lock.relock();
    for (const QUuid& id : written) {
        const auto found = std::find_if(m_held.begin(), m_held.end(), [&id](const Held& h) { return h.id == id; });
        const QString name = recordingName(id);
        const qsizetype index = indexOf(id);
        // Removed, or let go, while it was written: the file goes with the save.
        if (found == m_held.end() || index < 0) {
            m_unlinkedRecordings.append(QDir(m_recordingsDir).filePath(name));
        } else {
            m_entries[index].audioFileName = name;
        }
        if (found != m_held.end()) {
            m_heldSamples -= qsizetype(found->samples->size());
            m_held.erase(found);
        }
    }
}

void HistoryStore::hold(const QUuid& id, std::shared_ptr<const Samples> samples)
{
    m_heldSamples += qsizetype(samples->size());
    m_held.append({id, std::move(samples)});
    // The newest take is kept whatever its length; older ones make room for it.
    while (m_heldSamples > kMaxHeldSamples && m_held.size() > 1) {
        const Held dropped = m_held.takeFirst();
        m_heldSamples -= qsizetype(dropped.samples->size());
        // Its entry is saved without the recording: whatever still keeps the take is kept.
        m_onceOnDisk.removeIf([&dropped](const Waiting& waiting) { return waiting.id == dropped.id; });
    }
}

void HistoryStore::writeLatest()
{
    QMutexLocker lock(&m_mutex);
    m_writes.begin();
    if (std::exchange(m_writeHeld, false) && !m_held.isEmpty())
        writeHeld(lock);
    const QList<HistoryEntry> entries = m_entries;
    const QStringList unlinked = std::exchange(m_unlinkedRecordings, {});
    // Those whose entries this save holds with their recordings (or no longer holds at all).
    QList<Waiting> ready;
    QList<Waiting> waiting;
    for (Waiting& next : m_onceOnDisk) {
        const bool recordingWaits =
            std::any_of(m_held.cbegin(), m_held.cend(), [&next](const Held& held) { return held.id == next.id; });
        (recordingWaits ? waiting : ready).append(std::move(next));
    }
    m_onceOnDisk = std::move(waiting);
    lock.unlock();

    const bool written = StoreFile::writeAtomically(m_fileURL, HistoryEntry::encodeList(entries));
    // The entry left the file before its recording leaves the disk, so an interruption in
    // between leaves a stray recording, never an entry whose audio is gone.
    if (written) {
        for (const QString& path : unlinked)
            QFile::remove(path);
        for (const Waiting& waiting : ready)
            waiting.run();
    }

    lock.relock();
    if (!written) {
        m_unlinkedRecordings = unlinked + m_unlinkedRecordings;
        m_onceOnDisk = ready + m_onceOnDisk;
    }
    m_writes.end(lock, written, [this] { Q_EMIT saveFinished(); });
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

std::shared_ptr<void> HistoryStore::promiseAdd()
{
    QMutexLocker lock(&m_mutex);
    ++m_adding;
    return std::shared_ptr<void>(nullptr, [this](void*) {
        QMutexLocker lock(&m_mutex);
        --m_adding;
        m_writes.wakeIfIdle();
    });
}

void HistoryStore::add(const HistoryEntry& entry, std::span<const float> samples, std::function<void()> onceOnDisk)
{
    {
        QMutexLocker lock(&m_mutex);
        ++m_adding;
    }
    HistoryEntry stored = entry;
    std::shared_ptr<const Samples> unwritten;
    bool written = false;
    if (!samples.empty()) {
        const QString name = recordingName(entry.id);
        const QString path = QDir(m_recordingsDir).filePath(name);
        if (AudioStorage::write(samples, path)) {
            QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
            stored.audioFileName = name;
            written = true;
        } else {
            try {
                unwritten = std::make_shared<const Samples>(samples.begin(), samples.end());
            } catch (const std::bad_alloc&) {
                // No room anywhere: the entry is kept without its recording.
            }
        }
    }

    QMutexLocker lock(&m_mutex);
    --m_adding;
    const bool full = m_entries.size() >= maxEntries;
    m_entries.append(std::move(stored));
    // Recordings of dropped entries stay on disk; only remove() deletes audio.
    if (full)
        m_entries.remove(0, m_entries.size() - maxEntries);
    const bool held = unwritten != nullptr;
    if (held)
        hold(entry.id, std::move(unwritten));
    else if (written && !m_held.isEmpty())
        m_writeHeld = true; // there is room again for those that did not fit
    // A recording neither written nor held is not safe anywhere: whatever else keeps it stays.
    if (onceOnDisk && (samples.empty() || written || held))
        m_onceOnDisk.append({entry.id, std::move(onceOnDisk)});
    scheduleSave();
}

HistoryStore::Audio HistoryStore::audioOf(const QUuid& id) const
{
    Audio audio;
    std::optional<QString> name;
    {
        QMutexLocker lock(&m_mutex);
        const auto held = std::find_if(m_held.cbegin(), m_held.cend(), [&id](const Held& h) { return h.id == id; });
        if (held != m_held.cend()) {
            audio.held = held->samples;
            return audio;
        }
        const qsizetype index = indexOf(id);
        if (index >= 0)
            name = m_entries[index].audioFileName;
    }
    if (name) {
        const std::optional<QString> path = recordingPath(*name);
        if (path && QFileInfo(*path).isFile())
            audio.file = path;
    }
    return audio;
}

Samples HistoryStore::Audio::read() const
{
    if (held)
        return *held;
    return file ? AudioStorage::readSamples(*file) : Samples();
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
    const auto held = std::find_if(m_held.begin(), m_held.end(), [&id](const Held& h) { return h.id == id; });
    if (held != m_held.end()) {
        m_heldSamples -= qsizetype(held->samples->size());
        m_held.erase(held);
    }
    if (audio) {
        if (const std::optional<QString> path = recordingPath(*audio))
            m_unlinkedRecordings.append(*path);
    }
    scheduleSave();
}

bool HistoryStore::isSaved() const
{
    QMutexLocker lock(&m_mutex);
    return m_writes.lastWritten() && m_held.isEmpty();
}

void HistoryStore::saveAgain()
{
    QMutexLocker lock(&m_mutex);
    if (!m_held.isEmpty())
        m_writeHeld = true;
    if (!m_writes.lastWritten() || m_writeHeld)
        scheduleSave();
}

bool HistoryStore::flush()
{
    QMutexLocker lock(&m_mutex);
    // Every add() ends in a queued save, whose end wakes this.
    while (!m_loaded || m_adding > 0 || m_writes.isBusy())
        m_writes.wait(m_mutex);
    return m_writes.lastWritten() && m_held.isEmpty();
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
