#pragma once

#include "core/audio/Samples.h"
#include "core/store/CoalescedWrites.h"
#include "core/store/HistoryEntry.h"

#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <QUuid>
#include <QWaitCondition>

#include <functional>
#include <memory>
#include <optional>
#include <span>

class FreedMemory;

// The history of takes: entries in "history.json" and one recording per entry in "recordings"
// beside it. Memory is the truth and the file its copy, rewritten whole and atomically after
// each change. Every call may come from any thread and none waits for the disk: the file is read,
// and every change written, on the store's own worker, one at a time and in order; changes made
// while a write is under way go out together in the next one, so the file never goes back to an
// older state. Access to the entries is serialised by one mutex that is never held across the
// disk. A failed save (a full disk) keeps the change in memory; isSaved() says so until a later
// save, or saveAgain(), writes the whole list. A recording that cannot be written is held in memory
// the same way until saveAgain() finds room for it. The folder and everything in it are the user's
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
    // marked failed, for a retry. What reading a file far over the cap freed goes back to
    // freedMemory, when given.
    explicit HistoryStore(const QString& directory, FreedMemory* freedMemory = nullptr, QObject* parent = nullptr);
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

    // Recordings that could not be written are held in memory up to this many samples in all
    // (20 minutes); beyond it the oldest are let go.
    static constexpr qsizetype kMaxHeldSamples = qsizetype(kRecordingSampleRate) * 60 * 20;

    // Stores the recording (when samples are given) and then the entry. Compressing the audio
    // happens on the caller's thread before the store is locked: call it from a worker for long
    // takes. The recording is complete on disk before the entry that names it is saved. One that
    // cannot be written (a full disk) is held in memory, where audioOf() finds it, and written by
    // a later saveAgain(); the entry names it from then on. onceOnDisk, when given, runs on the
    // store's worker after a save that holds the entry with its recording (or after the entry was
    // removed); never when that does not happen, so what it lets go of is kept until then.
    void add(const HistoryEntry& entry, std::span<const float> samples = {}, std::function<void()> onceOnDisk = {});
    // For a caller that will add() a take on another thread: until what this returns is let go,
    // flush() waits as it does for an add() under way, so that a quit asked for before that thread
    // begins does not pass the take by. Let go of it once the add() has returned; the thread that
    // holds it never flushes.
    std::shared_ptr<void> promiseAdd();

    // The entry's recording file when it exists: a plain file path despite the design's name.
    std::optional<QString> audioURL(const HistoryEntry& entry) const;

    // Where an entry's recording is: its file, or its samples while they wait for room on disk.
    struct Audio
    {
        std::optional<QString> file;
        std::shared_ptr<const Samples> held;

        explicit operator bool() const { return file || held; }
        // The samples at 16 kHz mono; empty when the file cannot be read. Decoding a file is
        // heavy: call it from a worker.
        Samples read() const;
    };
    Audio audioOf(const QUuid& id) const;

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

    // False while the file lacks a change, or a recording its file, that could not be written.
    bool isSaved() const;
    // Writes the held recordings and the entries again, on the worker, when something could not
    // be written; saveFinished() follows.
    void saveAgain();
    // Waits until the history is read and every change so far has been written, or has failed
    // to be, an add() still compressing its recording on another thread included: for the
    // program's end and for tests, never for a frame. Returns isSaved().
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
    // Holds the samples of a recording that could not be written. The mutex is held.
    void hold(const QUuid& id, std::shared_ptr<const Samples> samples);
    // Writes the held recordings on the worker, without the mutex while it writes; afterwards the
    // entries of those written name them. Called and returns with the mutex held.
    void writeHeld(QMutexLocker<QMutex>& lock);
    qsizetype indexOf(const QUuid& id) const;
    // The path of a recording named by the file, or std::nullopt for a name that would reach
    // outside the recordings folder.
    std::optional<QString> recordingPath(const QString& fileName) const;

    const QString m_fileURL;
    const QString m_recordingsDir;
    FreedMemory* const m_freedMemory;
    mutable QMutex m_mutex;
    // Its waiters are also woken when the load is over.
    CoalescedWrites m_writes;
    // Oldest first, in the order of addition.
    QList<HistoryEntry> m_entries;
    // Recordings of removed entries, deleted once a save without their entries went through.
    QStringList m_unlinkedRecordings;
    struct Held
    {
        QUuid id;
        std::shared_ptr<const Samples> samples;
    };
    // Recordings not yet on disk, oldest first, and their samples in all.
    QList<Held> m_held;
    qsizetype m_heldSamples = 0;
    // The next save tries the held recordings first.
    bool m_writeHeld = false;
    struct Waiting
    {
        QUuid id;
        std::function<void()> run;
    };
    // Run once a save holds their entries with their recordings.
    QList<Waiting> m_onceOnDisk;
    bool m_loaded = false;
    // add() calls under way or promised on other threads, whose entries a flush waits for: a take
    // still being compressed when the program is asked to quit must not be reported saved.
    int m_adding = 0;
    // One thread: the load, then each save, in the order they were asked for.
    QThreadPool m_worker;
};
