#include "core/audio/TakeJournal.h"

#include "core/audio/Resampler.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

constexpr char kMagic[8] = {'M', 'U', 'R', 'M', 'O', 'T', 'K', '1'};

struct Header
{
    char magic[8];
    qint32 sampleRate;
    qint32 channelCount;
};
static_assert(sizeof(Header) == TakeJournal::kHeaderSize);

// Read back a second of audio at a time: a long take never exists whole at the device's rate.
constexpr qint64 kReadFrames = 48000;
constexpr qsizetype kOutputBlock = 8192;

bool isJournalRate(int rate)
{
    return rate >= TakeJournal::kMinRate && rate <= TakeJournal::kMaxRate;
}

} // namespace

struct TakeJournal::Queue
{
    std::mutex lock;
    std::condition_variable wake;
    std::vector<qint16> pending;
    bool closing = false;
};

TakeJournal::TakeJournal(const QString& directory, AudioInputFormat format)
{
    if (!isJournalRate(format.sampleRate) || format.channelCount <= 0)
        return;
    const QString path =
        QDir(directory).filePath(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + kSuffix);
    auto file = std::make_shared<QFile>(path);
    Header header{};
    std::memcpy(header.magic, kMagic, sizeof kMagic);
    header.sampleRate = format.sampleRate;
    header.channelCount = 1;
    // Made private from the start: it is the user's speech, in a folder that may have been left
    // open by an older version.
    if (!file->open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        file->write(reinterpret_cast<const char*>(&header), sizeof header) != qint64(sizeof header) || !file->flush()) {
        file->remove();
        return;
    }
    m_path = path;
    m_channelCount = format.channelCount;
    m_framesLeft = qint64(format.sampleRate) * kMaxSeconds;
    m_queue = std::make_shared<Queue>();
    m_writer = std::thread([queue = m_queue, file] {
        std::vector<qint16> writing;
        for (;;) {
            bool closing = false;
            {
                std::unique_lock guard(queue->lock);
                queue->wake.wait(guard, [&queue] { return queue->closing || !queue->pending.empty(); });
                writing.swap(queue->pending);
                closing = queue->closing;
            }
            if (!writing.empty()) {
                file->write(reinterpret_cast<const char*>(writing.data()), qint64(writing.size() * sizeof(qint16)));
                // Into the system's hands at once: a killed program loses nothing it has written.
                file->flush();
                writing.clear();
            }
            if (closing)
                return;
        }
    });
}

TakeJournal::~TakeJournal()
{
    if (!m_queue)
        return;
    {
        std::lock_guard guard(m_queue->lock);
        m_queue->closing = true;
        m_queue->pending.clear();
    }
    m_queue->wake.notify_one();
    m_writer.join();
    QFile::remove(m_path);
}

void TakeJournal::append(const float* frames, qsizetype frameCount)
{
    if (!m_queue || frameCount <= 0)
        return;
    {
        std::lock_guard guard(m_queue->lock);
        if (m_queue->closing)
            return;
        frameCount = qsizetype(std::min<qint64>(frameCount, m_framesLeft));
        if (frameCount <= 0)
            return;
        m_framesLeft -= frameCount;
        try {
            // Mono 16-bit, at the device's rate: a take of minutes stays a file of megabytes.
            std::vector<qint16>& pending = m_queue->pending;
            pending.reserve(pending.size() + std::size_t(frameCount));
            for (qsizetype frame = 0; frame < frameCount; ++frame) {
                float sum = 0.0f;
                for (int channel = 0; channel < m_channelCount; ++channel)
                    sum += frames[frame * m_channelCount + channel];
                const float mono = std::clamp(sum / float(m_channelCount), -1.0f, 1.0f);
                pending.push_back(std::isfinite(mono) ? qint16(std::lround(mono * 32767.0f)) : qint16(0));
            }
        } catch (const std::bad_alloc&) {
            // Out of memory: this buffer is missing from the journal, not from the take.
            return;
        }
    }
    m_queue->wake.notify_one();
}

QStringList TakeJournal::leftIn(const QString& directory)
{
    const QDir folder(directory);
    QStringList paths;
    const QStringList names =
        folder.entryList({QStringLiteral("*") + kSuffix}, QDir::Files, QDir::Time | QDir::Reversed);
    for (const QString& name : names)
        paths.append(folder.filePath(name));
    return paths;
}

std::optional<TakeJournal::Left> TakeJournal::readBack(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    std::optional<Samples> samples = read(file);
    if (!samples)
        return std::nullopt;
    return Left{std::move(*samples), QFileInfo(path).lastModified().toUTC()};
}

std::optional<Samples> TakeJournal::read(QIODevice& device)
{
    // A run killed as the file was made leaves it empty: a take with nothing in it yet.
    if (device.size() == 0)
        return Samples();
    Header header{};
    if (device.read(reinterpret_cast<char*>(&header), sizeof header) != qint64(sizeof header) ||
        std::memcmp(header.magic, kMagic, sizeof kMagic) != 0 || header.channelCount != 1 ||
        !isJournalRate(header.sampleRate))
        return std::nullopt;
    // A write cut short by the end of the program leaves half a sample: it is dropped.
    const qint64 frames = (device.size() - kHeaderSize) / qint64(sizeof(qint16));
    if (frames > qint64(header.sampleRate) * kMaxSeconds)
        return std::nullopt;
    Samples samples;
    if (frames <= 0)
        return samples;
    const std::unique_ptr<Resampler> resampler = Resampler::create({header.sampleRate, 1});
    if (!resampler)
        return std::nullopt;
    try {
        samples.reserve(std::size_t(resampler->expectedOutput(frames) + kOutputBlock));
        std::vector<qint16> raw(std::size_t(std::min(frames, kReadFrames)));
        std::vector<float> chunk(raw.size());
        for (qint64 done = 0; done < frames;) {
            const qint64 count = std::min(frames - done, kReadFrames);
            const qint64 bytes = count * qint64(sizeof(qint16));
            if (device.read(reinterpret_cast<char*>(raw.data()), bytes) != bytes)
                return std::nullopt;
            for (qint64 i = 0; i < count; ++i)
                chunk[std::size_t(i)] = float(raw[std::size_t(i)]) / 32767.0f;
            if (!resampler->feed(chunk.data(), qsizetype(count), kOutputBlock, samples))
                return samples;
            done += count;
        }
        resampler->drain(kOutputBlock, samples);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    return samples;
}
