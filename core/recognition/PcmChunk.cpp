#include "core/recognition/PcmChunk.h"

#include <QtEndian>

#include <array>
#include <cmath>
#include <cstdint>

namespace {

// Sum of squares in single precision over eight interleaved partial sums: the same arithmetic,
// but without one long chain of dependent additions, so the compiler can use vector registers.
float sumOfSquares(const float* samples, qsizetype count)
{
    std::array<float, 8> partial{};
    qsizetype i = 0;
    for (; i + 8 <= count; i += 8)
        for (int lane = 0; lane < 8; ++lane)
            partial[std::size_t(lane)] += samples[i + lane] * samples[i + lane];
    float sum = 0.0f;
    for (float value : partial)
        sum += value;
    for (; i < count; ++i)
        sum += samples[i] * samples[i];
    return sum;
}

int16_t toPcm(float sample)
{
    // Written as comparisons rather than std::clamp so that a NaN, which fails the first test,
    // becomes full scale instead of reaching the integer conversion.
    float clamped = sample <= 1.0f ? sample : 1.0f;
    clamped = clamped >= -1.0f ? clamped : -1.0f;
    return int16_t(clamped * 32767.0f);
}

} // namespace

PcmChunk PcmChunk::encode(const float* samples, qsizetype count)
{
    PcmChunk chunk;
    chunk.sampleCount = count;
    if (count <= 0)
        return chunk;

    chunk.quiet = std::sqrt(sumOfSquares(samples, count) / float(count)) < kQuietRms;

    QByteArray pcm(count * 2, Qt::Uninitialized);
    if constexpr (QSysInfo::ByteOrder == QSysInfo::LittleEndian) {
        // The buffer comes from the heap, so 16-bit values may live in it; a plain store loop is
        // one the compiler turns into vector code.
        auto* out = reinterpret_cast<int16_t*>(pcm.data());
        for (qsizetype i = 0; i < count; ++i)
            out[i] = toPcm(samples[i]);
    } else {
        for (qsizetype i = 0; i < count; ++i)
            qToLittleEndian<qint16>(toPcm(samples[i]), pcm.data() + 2 * i);
    }
    chunk.base64 = pcm.toBase64();
    return chunk;
}
