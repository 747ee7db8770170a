#pragma once

#include <vector>

// Mono 32-bit float PCM in [-1, 1]: the one form in which the core handles audio. Recordings are
// at 16 kHz unless a function says otherwise.
using Samples = std::vector<float>;

inline constexpr int kRecordingSampleRate = 16000;
