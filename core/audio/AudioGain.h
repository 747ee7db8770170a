#pragma once

#include "core/audio/Samples.h"

// Lifts quiet speech towards a level the recogniser hears well. It only ever amplifies: silence,
// small corrections and loud input come back untouched.
namespace AudioGain {

// The samples scaled by min(maxGain, targetRms / rms) and hard-clipped to [-1, 1], or the samples
// unchanged when they are empty, their RMS is at most 0.0005 or the gain would be at most 1.15.
// Takes the samples by value so a caller that hands them over pays no copy.
Samples normalize(Samples samples, float targetRms, float maxGain);

// The boost for quiet speech, when the user asks for it: towards an RMS of 0.06, at most 12×.
inline constexpr float kQuietSpeechRms = 0.06f;
inline constexpr float kQuietSpeechMaxGain = 12.0f;

inline Samples boostQuietSpeech(Samples samples)
{
    return normalize(std::move(samples), kQuietSpeechRms, kQuietSpeechMaxGain);
}

// The same boost for a take that arrives buffer by buffer (streaming recognition). Each buffer is
// weighed into the take so far, which sets the gain as normalize would for it, never more than the
// buffer takes without clipping. A higher gain than the last buffer's is reached sample by sample,
// so the recogniser hears no steps; a lower one applies from the buffer's first sample, so a word
// after silence starts at the gain the take with it supports. The gain comes to what the whole
// take gets. Loud speech gets none. One take, one thread.
class QuietSpeechBoost
{
public:
    Samples apply(Samples buffer);
    // The gain the last buffer ended on.
    float gain() const { return m_gain; }

private:
    double m_sumOfSquares = 0.0;
    double m_count = 0.0;
    float m_gain = 1.0f;
};

} // namespace AudioGain
