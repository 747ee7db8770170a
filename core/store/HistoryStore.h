#pragma once

#include "core/store/HistoryEntry.h"

#include <QList>
#include <QMutex>
#include <QString>
#include <QUuid>

#include <optional>
#include <span>

// The history of takes: entries in "history.json" and one recording per entry in "recordings"
// beside it. Memory is the truth and the file its copy, rewritten whole and atomically after
// each change. Every call may come from any thread; access to the entries and every save are
// serialised by one mutex. A failed save (a full disk) keeps the change in memory; isSaved()
// says so until a later save, or saveAgain(), writes the whole list. The folder and everything in
// it are the user's alone (0700, files 0600).
class HistoryStore
{
public:
    // The most entries kept; adding more drops the oldest.
    static constexpr qsizetype maxEntries = 2000;

    // Loads the history of directory. A "history.json" that exists but cannot be read is moved
    // aside ("history.json.unreadable-<time>") and the history starts empty. Entries left
    // recognising by the program's last run are marked failed, for a retry.
    explicit HistoryStore(const QString& directory);

    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    // A plain file path despite the name, which the design gives it.
    const QString& fileURL() const { return m_fileURL; }
    const QString& recordingsDir() const { return m_recordingsDir; }

    // All entries, newest first.
    QList<HistoryEntry> all() const;

    // Stores the recording (when samples are given) and then the entry. Compressing the audio
    // happens on the caller's thread before the store is locked: call it from a worker for long
    // takes. The recording is complete on disk before the entry that names it is saved.
    void add(const HistoryEntry& entry, std::span<const float> samples = {});

    // The entry's recording file when it exists: a plain file path despite the design's name.
    std::optional<QString> audioURL(const HistoryEntry& entry) const;

    std::optional<HistoryEntry> entry(const QUuid& id) const;

    // Replaces both texts of the entry; unknown ids are ignored.
    void updateTexts(const QUuid& id, const QString& asrText, const QString& finalText);

    // Replaces both texts only while the final text is still expectedFinalText, in one step, so a
    // task finishing late cannot overwrite a correction the user saved meanwhile. False when the
    // entry is gone or its text has changed.
    bool replaceTexts(const QUuid& id, const QString& expectedFinalText, const QString& asrText,
                      const QString& finalText);
    // Replaces the final text; returns the former one, or std::nullopt for an unknown id.
    std::optional<QString> updateFinalText(const QUuid& id, const QString& newText);

    // Deletes the entry and its recording; unknown ids are ignored.
    void remove(const QUuid& id);

    // False while the file lacks a change that could not be written.
    bool isSaved() const;
    // Writes the entries again when the last save failed; true when the file now holds them all.
    bool saveAgain();

private:
    void save();
    qsizetype indexOf(const QUuid& id) const;
    // The path of a recording named by the file, or std::nullopt for a name that would reach
    // outside the recordings folder.
    std::optional<QString> recordingPath(const QString& fileName) const;

    const QString m_fileURL;
    const QString m_recordingsDir;
    mutable QMutex m_mutex;
    // Oldest first, in the order of addition.
    QList<HistoryEntry> m_entries;
    bool m_saved = true;
};
