#pragma once

#include "core/audio/Samples.h"

#include <QByteArray>
#include <QByteArrayView>

#include <span>

// The one WAV layout the program writes: a canonical 44-byte header, mono, 16-bit little-endian
// PCM, nothing else. Recognition uploads, cue sounds and previews all use these bytes.
namespace WavEncoder {

inline constexpr qsizetype kHeaderSize = 44;

// The WAV image of samples at sampleRate. Samples at or above 1 (and NaN) become 32767, those at
// or below -1 become -32767; the rest are scaled by 32767 and truncated toward zero.
// Requires 0 <= sampleRate and a sample count whose image fits 32-bit sizes; throws
// std::length_error otherwise.
QByteArray encode(std::span<const float> samples, int sampleRate);

// The samples after the first 44 bytes, each 16-bit value divided by 32767. The header is not
// looked at; images of 45 bytes or fewer give no samples, a trailing odd byte is ignored.
Samples decode(QByteArrayView wav);

} // namespace WavEncoder
