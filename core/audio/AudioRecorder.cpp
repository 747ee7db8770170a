#include "core/audio/AudioRecorder.h"

#include "core/audio/AudioCaptureError.h"
#include "core/audio/Resampler.h"
#include "core/audio/TakeJournal.h"

#include <QCoroFuture>
#include <QPromise>

#include <algorithm>
#include <cmath>

namespace {
// Room the stream converter gets beyond the nominal output of a buffer, for its filter's jitter.
constexpr qsizetype kStreamOutputSlack = 64;
// Output blocks for the filter's tail at the end of a take: a few hundred samples at most.
constexpr qsizetype kStreamTailBlock = 1024;
} // namespace

AudioRecorder::AudioRecorder(AudioInput& input)
    : m_input(input)
{}

AudioRecorder::~AudioRecorder()
{
    // The input's capture thread calls back into this object; it must be silent before we go.
    m_input.stop();
}

void AudioRecorder::setLevelHandler(LevelHandler handler)
{
    auto shared = handler ? std::make_shared<const LevelHandler>(std::move(handler)) : nullptr;
    std::lock_guard guard(m_lock);
    m_levelHandler = std::move(shared);
}

void AudioRecorder::setStreamHandler(StreamHandler handler)
{
    auto shared = handler ? std::make_shared<const StreamHandler>(std::move(handler)) : nullptr;
    std::lock_guard guard(m_lock);
    m_streamHandler = std::move(shared);
}

void AudioRecorder::setCutHandler(CutHandler handler)
{
    auto shared = handler ? std::make_shared<const CutHandler>(std::move(handler)) : nullptr;
    std::lock_guard guard(m_lock);
    m_cutHandler = std::move(shared);
}

QCoro::Task<void> AudioRecorder::start()
{
    const std::weak_ptr<const bool> alive = m_alive;
    // The take before still collects its last frames; this one begins after them.
    while (m_finishing) {
        QFuture<void> finishing = m_finished;
        co_await finishing;
        if (alive.expired())
            co_return;
    }
    if (m_engineRunning || m_opening) {
        {
            std::lock_guard guard(m_lock);
            m_buffers.clear();
            m_takeFrames = 0;
            m_cut.reset();
            m_accumulating = true;
        }
        beginJournal();
        if (!m_opening)
            co_return;
        // The take before was stopped while the input still opened: the same open serves this one.
        m_stopWhenOpen = false;
        QFuture<QString> opening = m_openingInput;
        const QString failure = co_await opening;
        if (!alive.expired() && !failure.isEmpty())
            throw AudioCaptureError(failure);
        co_return;
    }
    {
        std::lock_guard guard(m_lock);
        m_accumulating = false;
    }
    QString error;
    const std::optional<AudioInputFormat> format = m_input.prepare(&error);
    if (!format)
        throw AudioCaptureError(error);
    // A fresh converter per input start: its filter state belongs to one continuous stream.
    m_streamConverter = Resampler::create(*format);
    {
        std::lock_guard guard(m_lock);
        m_format = *format;
        m_buffers.clear();
        m_takeFrames = 0;
        m_cut.reset();
        m_accumulating = true;
    }
    beginJournal();
    m_opening = true;
    m_stopWhenOpen = false;
    m_openingInput = m_input.start([this](const float* frames, qsizetype count) { onBuffer(frames, count); },
                                   [this](const QString& reason) { onInputLost(reason); });
    QFuture<QString> opening = m_openingInput;
    const QString failure = co_await opening;
    if (alive.expired())
        co_return;
    m_opening = false;
    if (!failure.isEmpty()) {
        std::shared_ptr<TakeJournal> journal;
        {
            std::lock_guard guard(m_lock);
            m_accumulating = false;
            journal = std::exchange(m_journal, nullptr);
        }
        throw AudioCaptureError(failure);
    }
    m_engineRunning = true;
    if (std::exchange(m_stopWhenOpen, false)) {
        m_input.stop();
        m_engineRunning = false;
    }
}

qsizetype AudioRecorder::Take::expectedSamples() const
{
    if (format.channelCount <= 0)
        return 0;
    qsizetype frames = 0;
    for (const std::vector<float>& buffer : buffers)
        frames += qsizetype(buffer.size()) / format.channelCount;
    return Resampler::expectedOutput(format, frames);
}

Samples AudioRecorder::Take::toSamples() const
{
    return convertTake(buffers, format);
}

void AudioRecorder::beginJournal()
{
    AudioInputFormat format;
    {
        std::lock_guard guard(m_lock);
        format = m_format;
    }
    auto journal = m_journalDirectory.isEmpty() ? nullptr : std::make_shared<TakeJournal>(m_journalDirectory, format);
    // The take before ends its journal here, outside the lock.
    std::shared_ptr<TakeJournal> before;
    std::lock_guard guard(m_lock);
    before = std::exchange(m_journal, std::move(journal));
}

AudioRecorder::Take AudioRecorder::stop()
{
    Take take;
    bool took = false;
    std::shared_ptr<const StreamHandler> streamHandler;
    {
        std::lock_guard guard(m_lock);
        took = std::exchange(m_accumulating, false);
        take.buffers.swap(m_buffers);
        take.format = m_format;
        take.journal = std::exchange(m_journal, nullptr);
        take.cut = std::exchange(m_cut, std::nullopt);
        streamHandler = m_streamHandler;
    }
    if (m_opening) {
        m_stopWhenOpen = true;
        return take;
    }
    m_input.stop();
    m_engineRunning = false;
    // The capture thread is silent now: what the filter still holds is the end of the take, and
    // the stream must carry it like the rest (the last word may be in it).
    if (took && streamHandler && m_streamConverter) {
        Samples tail;
        if (m_streamConverter->drain(kStreamTailBlock, tail) && !tail.empty())
            (*streamHandler)(tail);
    }
    m_streamConverter.reset();
    return take;
}

QCoro::Task<AudioRecorder::Take> AudioRecorder::finish()
{
    bool cut = false;
    {
        std::lock_guard guard(m_lock);
        cut = m_cut.has_value();
    }
    // A microphone that stopped on its own has nothing more on the way.
    if (m_opening || !m_engineRunning || m_finishing || cut)
        co_return stop();
    const std::weak_ptr<const bool> alive = m_alive;
    auto finished = std::make_shared<QPromise<void>>();
    finished->start();
    m_finished = finished->future();
    m_finishing = true;
    QFuture<void> draining = m_input.finish();
    co_await draining;
    if (alive.expired())
        co_return Take{};
    m_finishing = false;
    Take take = stop();
    finished->finish();
    co_return take;
}

float AudioRecorder::level(const float* frames, qsizetype frameCount, int channelCount)
{
    if (frameCount <= 0 || channelCount <= 0)
        return 0.0f;
    float sum = 0.0f;
    for (qsizetype i = 0; i < frameCount; ++i) {
        const float sample = frames[i * channelCount];
        sum += sample * sample;
    }
    const float rms = 3.2f * std::sqrt(sum / float(frameCount));
    const float level = std::pow(rms, 1.4f);
    if (std::isnan(level))
        return 0.0f;
    return std::clamp(level, 0.0f, 1.0f);
}

void AudioRecorder::onBuffer(const float* frames, qsizetype frameCount)
{
    std::shared_ptr<const LevelHandler> levelHandler;
    std::shared_ptr<const StreamHandler> streamHandler;
    std::shared_ptr<TakeJournal> journal;
    int channels = 0;
    {
        std::lock_guard guard(m_lock);
        if (!m_accumulating)
            return;
        levelHandler = m_levelHandler;
        streamHandler = m_streamHandler;
        journal = m_journal;
        channels = m_format.channelCount;
        m_takeFrames += frameCount;
        try {
            m_buffers.emplace_back(frames, frames + frameCount * channels);
        } catch (const std::bad_alloc&) {
            // Out of memory for the copy: this buffer is missing from the take but still measured
            // and streamed below.
        }
    }

    if (journal)
        journal->append(frames, frameCount);

    if (levelHandler)
        (*levelHandler)(level(frames, frameCount, channels));

    if (streamHandler && m_streamConverter) {
        Samples converted;
        const qsizetype capacity = m_streamConverter->expectedOutput(frameCount) + kStreamOutputSlack;
        converted.reserve(std::size_t(capacity));
        if (m_streamConverter->feed(frames, frameCount, capacity, converted) && !converted.empty())
            (*streamHandler)(converted);
    }
}

void AudioRecorder::onInputLost(const QString& reason)
{
    std::shared_ptr<const CutHandler> handler;
    TakeCut cut;
    {
        std::lock_guard guard(m_lock);
        if (!m_accumulating || m_format.sampleRate <= 0)
            return;
        cut = TakeCut{std::chrono::milliseconds(m_takeFrames * 1000 / m_format.sampleRate), reason};
        m_cut = cut;
        handler = m_cutHandler;
    }
    if (handler)
        (*handler)(cut);
}
