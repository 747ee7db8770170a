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
    if (format.sampleRate <= 0 || format.channelCount <= 0)
        return;
    const QString path =
        QDir(directory).filePath(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + kSuffix);
    auto file = std::make_shared<QFile>(path);
    Header header{};
    std::memcpy(header.magic, kMagic, sizeof kMagic);
    header.sampleRate = format.sampleRate;
    header.channelCount = 1;
    if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file->write(reinterpret_cast<const char*>(&header), sizeof header) != qint64(sizeof header)) {
        file->remove();
        return;
    }
    m_path = path;
    m_channelCount = format.channelCount;
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

std::optional<TakeJournal::Left> TakeJournal::takeBack(const QString& path)
{
    std::optional<Left> left;
    QFile file(path);
    const QDateTime lastWritten = QFileInfo(path).lastModified().toUTC();
    Header header{};
    if (file.open(QIODevice::ReadOnly) &&
        file.read(reinterpret_cast<char*>(&header), sizeof header) == qint64(sizeof header) &&
        std::memcmp(header.magic, kMagic, sizeof kMagic) == 0 && header.sampleRate > 0 && header.channelCount == 1) {
        const QByteArray bytes = file.readAll();
        // A write cut short by the end of the program leaves half a sample: it is dropped.
        std::vector<float> buffer(std::size_t(bytes.size() / qsizetype(sizeof(qint16))));
        for (std::size_t i = 0; i < buffer.size(); ++i) {
            qint16 sample = 0;
            std::memcpy(&sample, bytes.constData() + i * sizeof(qint16), sizeof sample);
            buffer[i] = float(sample) / 32767.0f;
        }
        Samples samples = convertTake({std::move(buffer)}, {header.sampleRate, 1});
        if (!samples.empty())
            left = Left{std::move(samples), lastWritten};
    }
    file.close();
    QFile::remove(path);
    return left;
}
