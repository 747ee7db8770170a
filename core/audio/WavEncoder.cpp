#include "core/audio/WavEncoder.h"

#include <QtEndian>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace WavEncoder {

namespace {

template <typename T> char* put(char* out, T value)
{
    qToLittleEndian(value, out);
    return out + sizeof(T);
}

char* putTag(char* out, const char (&tag)[5])
{
    std::memcpy(out, tag, 4);
    return out + 4;
}

inline int16_t toPcm16(float sample)
{
    // NaN fails the comparison and lands on full scale, as does anything at or above 1.
    if (!(sample < 1.0f))
        return 32767;
    return static_cast<int16_t>(std::max(sample, -1.0f) * 32767.0f);
}

} // namespace

QByteArray encode(std::span<const float> samples, int sampleRate)
{
    const uint64_t dataSize = uint64_t(samples.size()) * 2;
    if (sampleRate < 0 || 36 + dataSize > std::numeric_limits<uint32_t>::max())
        throw std::length_error("WAV image would not fit its 32-bit size fields");

    QByteArray wav(qsizetype(kHeaderSize + dataSize), Qt::Uninitialized);
    char* out = wav.data();
    out = putTag(out, "RIFF");
    out = put<uint32_t>(out, uint32_t(36 + dataSize));
    out = putTag(out, "WAVE");
    out = putTag(out, "fmt ");
    out = put<uint32_t>(out, 16);
    out = put<uint16_t>(out, 1); // integer PCM
    out = put<uint16_t>(out, 1); // mono
    out = put<uint32_t>(out, uint32_t(sampleRate));
    out = put<uint32_t>(out, uint32_t(sampleRate) * 2);
    out = put<uint16_t>(out, 2);
    out = put<uint16_t>(out, 16);
    out = putTag(out, "data");
    out = put<uint32_t>(out, uint32_t(dataSize));

    for (const float sample : samples)
        out = put<int16_t>(out, toPcm16(sample));
    return wav;
}

Samples decode(QByteArrayView wav)
{
    if (wav.size() <= kHeaderSize + 1)
        return {};
    const qsizetype count = (wav.size() - kHeaderSize) / 2;
    Samples samples(static_cast<size_t>(count));
    const char* in = wav.data() + kHeaderSize;
    for (qsizetype i = 0; i < count; ++i)
        samples[size_t(i)] = float(qFromLittleEndian<int16_t>(in + 2 * i)) / 32767.0f;
    return samples;
}

} // namespace WavEncoder
