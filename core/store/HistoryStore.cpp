#include "core/store/HistoryStore.h"

#include "core/audio/AudioStorage.h"
#include "core/store/StoreFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>

#include <algorithm>
#include <utility>

HistoryStore::HistoryStore(const QString& directory)
    : m_fileURL(QDir(directory).filePath(QStringLiteral("history.json")))
    , m_recordingsDir(QDir(directory).filePath(QStringLiteral("recordings")))
{
    // Without the folder, recordings fail to write and entries are kept without audio.
    StoreFile::makePrivateFolder(directory);
    StoreFile::makePrivateFolder(m_recordingsDir);

    const std::optional<QByteArray> bytes = StoreFile::readOrQuarantine(m_fileURL);
    if (!bytes)
        return;
    std::optional<QList<HistoryEntry>> entries = HistoryEntry::decodeList(*bytes);
    if (!entries) {
        StoreFile::quarantine(m_fileURL);
        return;
    }
    m_entries = std::move(*entries);
    // A take still being recognised when the program last ended (it quit or crashed) never will
    // be: it is offered for a retry like any other that failed.
    bool repaired = false;
    for (HistoryEntry& entry : m_entries) {
        if (entry.finalText == HistoryEntry::kRecognisingText) {
            entry.finalText = HistoryEntry::kFailedText;
            repaired = true;
        }
    }
    if (repaired)
        save();
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
    save();
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
    save();
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
    save();
    return true;
}

std::optional<QString> HistoryStore::updateFinalText(const QUuid& id, const QString& newText)
{
    QMutexLocker lock(&m_mutex);
    const qsizetype index = indexOf(id);
    if (index < 0)
        return std::nullopt;
    QString former = std::exchange(m_entries[index].finalText, newText);
    save();
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
    // The entry leaves the file before its recording leaves the disk, so an interruption in
    // between leaves a stray recording, never an entry whose audio is gone.
    save();
    if (audio) {
        if (const std::optional<QString> path = recordingPath(*audio))
            QFile::remove(*path);
    }
}

bool HistoryStore::isSaved() const
{
    QMutexLocker lock(&m_mutex);
    return m_saved;
}

bool HistoryStore::saveAgain()
{
    QMutexLocker lock(&m_mutex);
    if (!m_saved)
        save();
    return m_saved;
}

void HistoryStore::save()
{
    m_saved = StoreFile::writeAtomically(m_fileURL, HistoryEntry::encodeList(m_entries));
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
