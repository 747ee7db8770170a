#include "tests/support/FakeAudioInput.h"

#include <cmath>
#include <numbers>

FakeAudioInput::FakeAudioInput(AudioInputFormat format)
    : m_format(format)
{}

std::optional<AudioInputFormat> FakeAudioInput::prepare(QString* error)
{
    ++m_prepares;
    if (!m_prepareError.isEmpty()) {
        *error = std::exchange(m_prepareError, QString());
        return std::nullopt;
    }
    return m_format;
}

bool FakeAudioInput::start(BufferHandler handler, QString* error)
{
    ++m_starts;
    if (!m_startError.isEmpty()) {
        *error = std::exchange(m_startError, QString());
        return false;
    }
    m_handler = std::move(handler);
    return true;
}

void FakeAudioInput::stop()
{
    ++m_stops;
    if (m_handler && !m_lateBuffer.empty()) {
        const std::vector<float> late = std::exchange(m_lateBuffer, {});
        m_handler(late.data(), qsizetype(late.size()) / m_format.channelCount);
    }
    m_handler = nullptr;
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
