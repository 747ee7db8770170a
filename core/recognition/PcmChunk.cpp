#include "core/recognition/PcmChunk.h"

#include <QtEndian>

#include <algorithm>
#include <cmath>

PcmChunk PcmChunk::encode(const float* samples, qsizetype count)
{
    PcmChunk chunk;
    chunk.sampleCount = count;
    if (count <= 0)
        return chunk;

    float sum = 0.0f;
    for (qsizetype i = 0; i < count; ++i)
        sum += samples[i] * samples[i];
    chunk.quiet = std::sqrt(sum / float(count)) < kQuietRms;

    QByteArray pcm(count * 2, Qt::Uninitialized);
    char* out = pcm.data();
    for (qsizetype i = 0; i < count; ++i) {
        const float sample = samples[i];
        const float clamped = std::isnan(sample) ? 1.0f : std::clamp(sample, -1.0f, 1.0f);
        qToLittleEndian<qint16>(qint16(clamped * 32767.0f), out + 2 * i);
    }
    chunk.base64 = pcm.toBase64();
    return chunk;
}
