#include "core/audio/WavEncoder.h"

#include <QtEndian>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
    const float clipped = sample < 1.0f ? sample : 1.0f;
    return static_cast<int16_t>((clipped > -1.0f ? clipped : -1.0f) * 32767.0f);
}

// Fills pcm with the 16-bit values of samples. The compiler will not vectorise the comparisons
// above on its own (it must keep their NaN behaviour), so on x86 the same selects are spelled
// out: minps(x, 1) yields 1 for NaN exactly like the scalar code.
void toPcm16(std::span<const float> samples, int16_t* pcm)
{
    size_t i = 0;
#if defined(__SSE2__) && Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 minusOne = _mm_set1_ps(-1.0f);
    const __m128 scale = _mm_set1_ps(32767.0f);
    for (; i + 8 <= samples.size(); i += 8) {
        const __m128 low = _mm_loadu_ps(samples.data() + i);
        const __m128 high = _mm_loadu_ps(samples.data() + i + 4);
        const __m128i lowInt = _mm_cvttps_epi32(_mm_mul_ps(_mm_max_ps(_mm_min_ps(low, one), minusOne), scale));
        const __m128i highInt = _mm_cvttps_epi32(_mm_mul_ps(_mm_max_ps(_mm_min_ps(high, one), minusOne), scale));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pcm + i), _mm_packs_epi32(lowInt, highInt));
    }
#endif
    for (; i < samples.size(); ++i)
        pcm[i] = qToLittleEndian(toPcm16(samples[i]));
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

    toPcm16(samples, reinterpret_cast<int16_t*>(out));
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
