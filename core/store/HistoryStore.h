#pragma once

#include "core/store/HistoryEntry.h"

#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <QUuid>
#include <QWaitCondition>

#include <optional>
#include <span>

// The history of takes: entries in "history.json" and one recording per entry in "recordings"
// beside it. Memory is the truth and the file its copy, rewritten whole and atomically after
// each change. Every call may come from any thread and none waits for the disk: the file is read,
// and every change written, on the store's own worker, one at a time and in order; changes made
// while a write is under way go out together in the next one, so the file never goes back to an
// older state. Access to the entries is serialised by one mutex that is never held across the
// disk. A failed save (a full disk) keeps the change in memory; isSaved() says so until a later
// save, or saveAgain(), writes the whole list. The folder and everything in it are the user's
// alone (0700, files 0600).
class HistoryStore : public QObject
{
    Q_OBJECT

public:
    // The most entries kept; adding more drops the oldest.
    static constexpr qsizetype maxEntries = 2000;

    // Starts reading the history of directory on the worker; until loaded() the store holds only
    // what is added meanwhile, and the file is not written. A "history.json" that exists but cannot
    // be read is moved aside ("history.json.unreadable-<time>") and the history starts empty. Of
    // one holding more than maxEntries the newest are kept, and the file as it was is kept beside
    // it ("history.json.untrimmed-<time>"). Entries left recognising by the program's last run are
    // marked failed, for a retry.
    explicit HistoryStore(const QString& directory, QObject* parent = nullptr);
    // Waits for the worker: everything changed is written before the store goes.
    ~HistoryStore() override;

    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    // A plain file path despite the name, which the design gives it.
    const QString& fileURL() const { return m_fileURL; }
    const QString& recordingsDir() const { return m_recordingsDir; }

    // Whether the file has been read (or found missing or unreadable).
    bool isLoaded() const;

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

    // Deletes the entry and, once the file no longer names it, its recording; unknown ids are
    // ignored.
    void remove(const QUuid& id);

    // False while the file lacks a change that could not be written.
    bool isSaved() const;
    // Writes the entries again, on the worker, when the last save failed; saveFinished() follows.
    void saveAgain();
    // Waits until the history is read and every change so far has been written, or has failed
    // to be: for the program's end and for tests, never for a frame. Returns isSaved().
    bool flush();

Q_SIGNALS:
    // From the worker, once the file has been read: all() lists the history from now on.
    void loaded();
    // From the worker, after each write of the file, whether it went through or not (isSaved()).
    void saveFinished();

private:
    void load();
    void writeLatest();
    // Queues a write of the entries as they will be when it runs. The mutex is held.
    void scheduleSave();
    qsizetype indexOf(const QUuid& id) const;
    // The path of a recording named by the file, or std::nullopt for a name that would reach
    // outside the recordings folder.
    std::optional<QString> recordingPath(const QString& fileName) const;

    const QString m_fileURL;
    const QString m_recordingsDir;
    mutable QMutex m_mutex;
    // Woken whenever the worker has nothing left to do.
    QWaitCondition m_idle;
    // Oldest first, in the order of addition.
    QList<HistoryEntry> m_entries;
    // Recordings of removed entries, deleted once a save without their entries went through.
    QStringList m_unlinkedRecordings;
    bool m_loaded = false;
    bool m_saveQueued = false;
    bool m_writing = false;
    bool m_saved = true;
    // One thread: the load, then each save, in the order they were asked for.
    QThreadPool m_worker;
};
