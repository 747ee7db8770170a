#include "core/audio/RecordingConverter.h"

namespace {
// Room for the filter's output of one packet (at most 120 ms) and for its tail, per step.
constexpr qsizetype kBlock = 4096;
} // namespace

RecordingConverter::RecordingConverter(qsizetype expectedSamples)
{
    // The filter's rounding at each change of format may add a sample or two.
    m_out.reserve(size_t(std::max<qsizetype>(expectedSamples, 0)) + 64);
}

void RecordingConverter::format(int32_t sampleRate, int32_t channels)
{
    const AudioInputFormat format{sampleRate, channels};
    if (format == m_format)
        return;
    endFormat();
    m_format = format;
    if (sampleRate != kRecordingSampleRate) {
        m_resampler = Resampler::create(format);
        m_failed = m_failed || !m_resampler;
    }
}

void RecordingConverter::audio(const float* interleaved, qsizetype frames)
{
    if (m_failed)
        return;
    m_block.clear();
    if (m_resampler) {
        m_failed = !m_resampler->feed(interleaved, frames, m_resampler->expectedOutput(frames) + kBlock, m_block);
    } else {
        m_block.resize(size_t(frames));
        Resampler::mixToMono(interleaved, frames, m_format.channelCount, m_block.data());
    }
    append(m_block);
}

void RecordingConverter::endFormat()
{
    if (!m_resampler || m_failed)
        return;
    m_block.clear();
    m_failed = !m_resampler->drain(kBlock, m_block);
    append(m_block);
    m_resampler.reset();
}

void RecordingConverter::append(const Samples& samples)
{
    m_out.insert(m_out.end(), samples.begin(), samples.end());
}

Samples RecordingConverter::finish()
{
    endFormat();
    if (m_failed)
        return {};
    return std::move(m_out);
}
