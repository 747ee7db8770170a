#include "core/audio/AudioGain.h"

#include <algorithm>
#include <cmath>

namespace AudioGain {

namespace {

// Below this the take is treated as silence: amplifying it would only raise the noise floor.
constexpr float kSilenceRms = 0.0005f;
// Corrections this small are not worth the clipping risk.
constexpr float kMinimumGain = 1.15f;

} // namespace

Samples normalize(Samples samples, float targetRms, float maxGain)
{
    if (samples.empty())
        return samples;

    float sumOfSquares = 0.0f;
    for (const float sample : samples)
        sumOfSquares += sample * sample;
    const float rms = std::sqrt(sumOfSquares / static_cast<float>(samples.size()));
    // Written as negated comparisons so a NaN level (from a NaN sample) leaves the take alone.
    if (!(rms > kSilenceRms))
        return samples;

    const float gain = std::min(maxGain, targetRms / rms);
    if (!(gain > kMinimumGain))
        return samples;

    for (float& sample : samples)
        sample = std::clamp(sample * gain, -1.0f, 1.0f);
    return samples;
}

} // namespace AudioGain
