#include "tests/support/FakeAudioInput.h"

#include <QTimer>

#include <cmath>
#include <numbers>

FakeAudioInput::FakeAudioInput(AudioInputFormat format)
    : m_format(format)
{}

FakeAudioInput::~FakeAudioInput()
{
    // Nobody may wait for ever on a start of an input that is gone.
    if (m_pending) {
        m_pending->failure = QStringLiteral("麦克风已关闭");
        openHeld();
    }
}

std::optional<AudioInputFormat> FakeAudioInput::prepare(QString* error)
{
    ++m_prepares;
    if (!m_prepareError.isEmpty()) {
        *error = std::exchange(m_prepareError, QString());
        return std::nullopt;
    }
    return m_format;
}

QFuture<QString> FakeAudioInput::start(BufferHandler handler, LossHandler lost)
{
    ++m_starts;
    QString failure = std::exchange(m_startError, QString());
    if (!m_holdOpens) {
        if (failure.isEmpty()) {
            m_handler = std::move(handler);
            m_lost = std::move(lost);
        }
        return QtFuture::makeReadyFuture(failure);
    }
    auto promise = std::make_shared<QPromise<QString>>();
    promise->start();
    m_pending = PendingOpen{std::move(handler), std::move(lost), promise, std::move(failure)};
    if (m_openDelay > std::chrono::milliseconds(0))
        QTimer::singleShot(m_openDelay, m_timers.get(), [this, promise] {
            if (m_pending && m_pending->promise == promise)
                openHeld();
        });
    return promise->future();
}

void FakeAudioInput::holdOpens(bool hold, std::chrono::milliseconds delay)
{
    m_holdOpens = hold;
    m_openDelay = delay;
}

void FakeAudioInput::openHeld()
{
    if (!m_pending)
        return;
    PendingOpen pending = std::move(*m_pending);
    m_pending.reset();
    if (pending.failure.isEmpty()) {
        m_handler = std::move(pending.handler);
        m_lost = std::move(pending.lost);
    }
    pending.promise->addResult(pending.failure);
    pending.promise->finish();
}

void FakeAudioInput::stop()
{
    ++m_stops;
    if (m_handler && !m_lateBuffer.empty()) {
        const std::vector<float> late = std::exchange(m_lateBuffer, {});
        m_handler(late.data(), qsizetype(late.size()) / m_format.channelCount);
    }
    m_handler = nullptr;
    m_lost = nullptr;
}

void FakeAudioInput::lose(const QString& reason)
{
    m_handler = nullptr;
    if (const LossHandler lost = std::exchange(m_lost, nullptr))
        lost(reason);
}

void FakeAudioInput::deliver(const std::vector<float>& frames)
{
    if (m_handler)
        m_handler(frames.data(), qsizetype(frames.size()) / m_format.channelCount);
}

void FakeAudioInput::deliverSine(double seconds, float amplitude, qsizetype bufferFrames, double frequency)
{
    const qsizetype total = qsizetype(std::llround(seconds * m_format.sampleRate));
    const double step = 2.0 * std::numbers::pi * frequency / m_format.sampleRate;
    for (qsizetype done = 0; done < total; done += bufferFrames) {
        const qsizetype frames = std::min(bufferFrames, total - done);
        std::vector<float> buffer(std::size_t(frames * m_format.channelCount));
        for (qsizetype i = 0; i < frames; ++i) {
            const float value = amplitude * float(std::sin(m_phase));
            m_phase += step;
            for (int c = 0; c < m_format.channelCount; ++c)
                buffer[std::size_t(i * m_format.channelCount + c)] = value;
        }
        deliver(buffer);
    }
}
