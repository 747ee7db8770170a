#pragma once

#include "core/audio/Samples.h"

#include <QByteArray>

// One chunk of audio as the realtime recogniser takes it: 16-bit signed little-endian PCM in
// base64, and whether the chunk is quiet enough to end a commit at.
struct PcmChunk
{
    QByteArray base64;
    qsizetype sampleCount = 0;
    bool quiet = true;

    // Chunks below this RMS count as a pause in speech.
    static constexpr float kQuietRms = 0.012f;

    // RMS in single precision; each sample clamped to [-1, 1], times 32767, truncated toward zero
    // (a NaN becomes 32767). An empty chunk is quiet and encodes to nothing.
    static PcmChunk encode(const float* samples, qsizetype count);
    static PcmChunk encode(const Samples& samples) { return encode(samples.data(), qsizetype(samples.size())); }
};
