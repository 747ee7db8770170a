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
inline Samples boostQuietSpeech(Samples samples)
{
    return normalize(std::move(samples), 0.06f, 12.0f);
}

} // namespace AudioGain
