#pragma once

#include "core/audio/Samples.h"
#include "platform/AudioInput.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <thread>

// The take being recorded, written to a file as it arrives, so that a crash or a kill of the
// program loses at most the last moments of it. The file ("<name>.take") holds a short header with
// the device's rate, then the frames mixed to mono as 16-bit samples. A take that ends normally removes its
// file; files left behind by a run that ended abruptly are read back with recover().
class TakeJournal
{
public:
    static inline const QString kSuffix = QStringLiteral(".take");

    // Starts the file in directory. When it cannot be made the journal keeps nothing.
    TakeJournal(const QString& directory, AudioInputFormat format);
    // Stops the writer and removes the file: the take ended normally and is kept elsewhere.
    ~TakeJournal();

    TakeJournal(const TakeJournal&) = delete;
    TakeJournal& operator=(const TakeJournal&) = delete;

    // Queues frameCount interleaved frames for the journal's own writer thread; never waits on the
    // disk. Any thread.
    void append(const float* frames, qsizetype frameCount);

    // The file, empty when none could be made.
    const QString& path() const { return m_path; }

    // A take a run left behind: its samples at 16 kHz mono and when it was last written.
    struct Left
    {
        Samples samples;
        QDateTime lastWritten;
    };

    // The take files in directory, oldest first: listed before this run records anything, they
    // are what an earlier run left behind.
    static QStringList leftIn(const QString& directory);
    // Reads back one of them and removes it; nothing for an unreadable or empty file, which is
    // removed too. A take of minutes costs a moment to convert: call it from a worker.
    static std::optional<Left> takeBack(const QString& path);

private:
    struct Queue;

    QString m_path;
    int m_channelCount = 0;
    std::shared_ptr<Queue> m_queue;
    std::thread m_writer;
};
