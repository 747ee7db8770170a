#include "core/audio/Resampler.h"

#include "core/audio/SoxrCalls.h"

#include <algorithm>

namespace {
constexpr qsizetype kTakeOutputBlock = 8192;
}

std::unique_ptr<Resampler> Resampler::create(AudioInputFormat input)
{
    const SoxrCalls* soxr = SoxrCalls::get();
    if (input.sampleRate <= 0 || input.channelCount <= 0 || !soxr)
        return nullptr;
    soxr_error_t error = nullptr;
    soxr_t handle = soxr->create(input.sampleRate, kRecordingSampleRate, 1, &error, nullptr, nullptr, nullptr);
    if (error || !handle) {
        soxr->destroy(handle);
        return nullptr;
    }
    return std::unique_ptr<Resampler>(new Resampler(input, handle));
}

Resampler::Resampler(AudioInputFormat input, soxr* handle)
    : m_input(input)
    , m_soxr(handle)
{}

Resampler::~Resampler()
{
    // A resampler exists only where the library was found.
    SoxrCalls::get()->destroy(m_soxr);
}

qsizetype Resampler::expectedOutput(AudioInputFormat input, qsizetype frameCount)
{
    if (input.sampleRate <= 0)
        return 0;
    return qsizetype(double(kRecordingSampleRate) / input.sampleRate * double(frameCount));
}

void Resampler::mixToMono(const float* frames, qsizetype frameCount, int channels, float* out)
{
    for (qsizetype i = 0; i < frameCount; ++i) {
        float sum = 0.0f;
        for (int c = 0; c < channels; ++c)
            sum += frames[i * channels + c];
        out[i] = sum / float(channels);
    }
}

const float* Resampler::mono(const float* frames, qsizetype frameCount)
{
    if (m_input.channelCount == 1)
        return frames;
    m_mono.resize(std::size_t(frameCount));
    mixToMono(frames, frameCount, m_input.channelCount, m_mono.data());
    return m_mono.data();
}

bool Resampler::feed(const float* frames, qsizetype frameCount, qsizetype capacity, Samples& out)
{
    if (frameCount <= 0)
        return true;
    const float* in = mono(frames, frameCount);
    std::size_t remaining = std::size_t(frameCount);
    std::size_t room = std::size_t(std::max<qsizetype>(capacity, 1));
    while (remaining > 0) {
        const std::size_t start = out.size();
        out.resize(start + room);
        std::size_t used = 0;
        std::size_t made = 0;
        const soxr_error_t error =
            SoxrCalls::get()->process(m_soxr, in, remaining, &used, out.data() + start, room, &made);
        out.resize(start + made);
        if (error)
            return false;
        in += used;
        remaining -= used;
        // The filter stopped taking input only because the output was full: give it more room.
        if (remaining > 0 && used == 0 && made == 0)
            return false;
    }
    return true;
}

bool Resampler::drain(qsizetype blockSize, Samples& out)
{
    const std::size_t room = std::size_t(std::max<qsizetype>(blockSize, 1));
    for (;;) {
        const std::size_t start = out.size();
        out.resize(start + room);
        std::size_t used = 0;
        std::size_t made = 0;
        const soxr_error_t error =
            SoxrCalls::get()->process(m_soxr, nullptr, 0, &used, out.data() + start, room, &made);
        out.resize(start + made);
        if (error)
            return false;
        if (made == 0)
            return true;
    }
}

Samples convertTake(const std::vector<std::vector<float>>& buffers, AudioInputFormat format)
{
    Samples result;
    if (buffers.empty())
        return result;
    const std::unique_ptr<Resampler> resampler = Resampler::create(format);
    if (!resampler)
        return result;
    qsizetype frames = 0;
    for (const std::vector<float>& buffer : buffers)
        frames += qsizetype(buffer.size()) / format.channelCount;
    result.reserve(std::size_t(resampler->expectedOutput(frames) + kTakeOutputBlock));
    for (const std::vector<float>& buffer : buffers) {
        const qsizetype count = qsizetype(buffer.size()) / format.channelCount;
        if (!resampler->feed(buffer.data(), count, kTakeOutputBlock, result))
            return result;
    }
    resampler->drain(kTakeOutputBlock, result);
    return result;
}
