#include "core/audio/AudioGain.h"

#include <algorithm>
#include <cmath>

namespace AudioGain {

namespace {

// Below this the take is treated as silence: amplifying it would only raise the noise floor.
constexpr float kSilenceRms = 0.0005f;
// Corrections this small are not worth the clipping risk.
constexpr float kMinimumGain = 1.15f;

// The gain for speech of this RMS, 1 when none applies. Written as negated comparisons so a NaN
// level (from a NaN sample) leaves the take alone.
float gainFor(float rms, float targetRms, float maxGain)
{
    if (!(rms > kSilenceRms))
        return 1.0f;
    const float gain = std::min(maxGain, targetRms / rms);
    return gain > kMinimumGain ? gain : 1.0f;
}

} // namespace

Samples normalize(Samples samples, float targetRms, float maxGain)
{
    if (samples.empty())
        return samples;

    float sumOfSquares = 0.0f;
    for (const float sample : samples)
        sumOfSquares += sample * sample;
    const float rms = std::sqrt(sumOfSquares / static_cast<float>(samples.size()));
    const float gain = gainFor(rms, targetRms, maxGain);
    if (gain == 1.0f)
        return samples;

    for (float& sample : samples)
        sample = std::clamp(sample * gain, -1.0f, 1.0f);
    return samples;
}

Samples QuietSpeechBoost::apply(Samples buffer)
{
    if (buffer.empty())
        return buffer;
    float peak = 0.0f;
    for (const float sample : buffer) {
        // A NaN sample would stop the level for the rest of the take.
        if (!std::isfinite(sample))
            continue;
        m_sumOfSquares += double(sample) * double(sample);
        peak = std::max(peak, std::abs(sample));
    }
    m_count += double(buffer.size());
    // The most this buffer takes without clipping; 1 leaves a buffer at full scale alone.
    const float headroom = peak > 0.0f ? std::max(1.0f, 1.0f / peak) : kQuietSpeechMaxGain;
    const float supported = gainFor(float(std::sqrt(m_sumOfSquares / m_count)), kQuietSpeechRms, kQuietSpeechMaxGain);
    const float to = std::min(supported, headroom);
    // Only rises glide. A take that was all silence until now gave a gain its first word does not
    // support: gliding down from it would start every onset far too loud and clip it.
    const float from = std::min(m_gain, to);
    m_gain = to;
    if (from == 1.0f && to == 1.0f)
        return buffer;
    const float step = (to - from) / float(buffer.size());
    for (std::size_t i = 0; i < buffer.size(); ++i)
        buffer[i] = std::clamp(buffer[i] * (from + step * float(i + 1)), -1.0f, 1.0f);
    return buffer;
}

} // namespace AudioGain
