#pragma once

#include "core/audio/Samples.h"
#include "platform/AudioInput.h"

#include <QDateTime>
#include <QIODevice>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <thread>

// The take being recorded, written to a file as it arrives, so that a crash or a kill of the
// program loses at most the last moments of it. The file ("<name>.take") holds a short header with
// the device's rate, then the frames mixed to mono as 16-bit samples. A take that ends normally removes its
// file; files left behind by a run that ended abruptly are read back with readBack().
class TakeJournal
{
public:
    static inline const QString kSuffix = QStringLiteral(".take");
    // The device rates a journal is written at, and so the only ones a file is read back at:
    // a rate outside them turns a few kilobytes into gigabytes of samples.
    static constexpr int kMinRate = 8000;
    static constexpr int kMaxRate = 384000;
    // The longest take a journal keeps; what comes later is not written. A file that claims more
    // was not written by this program.
    static constexpr qint64 kMaxSeconds = 2 * 60 * 60;
    static constexpr qint64 kHeaderSize = 16;

    // Starts the file in directory, its owner's alone. When it cannot be made, or the format is
    // not one a journal is written at, the journal keeps nothing.
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
    // Reads back one of them and leaves it in place: whoever files the take removes the file once
    // the take is safe elsewhere. Nothing for a file that is not a journal this program wrote
    // (cut inside its header, a rate outside [kMinRate, kMaxRate], longer than kMaxSeconds); an
    // empty file or a journal with no samples gives an empty take. A take of minutes costs a
    // moment to convert: call it from a worker.
    static std::optional<Left> readBack(const QString& path);
    // The same from any device: the journal's samples at 16 kHz mono.
    static std::optional<Samples> read(QIODevice& device);

private:
    struct Queue;

    QString m_path;
    int m_channelCount = 0;
    // Frames the journal still takes before it reaches kMaxSeconds. Guarded by the queue's lock.
    qint64 m_framesLeft = 0;
    std::shared_ptr<Queue> m_queue;
    std::thread m_writer;
};
