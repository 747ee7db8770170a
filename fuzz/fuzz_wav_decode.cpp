// WAV images from outside (a file picked by the user, a service's answer) go through decode().
#include "core/audio/WavEncoder.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const Samples samples = WavEncoder::decode(bytes);
    const size_t expected = size > 45 ? (size - 44) / 2 : 0;
    if (samples.size() != expected)
        std::abort();
    for (const float sample : samples)
        if (!std::isfinite(sample) || sample < -1.0001f || sample > 1.0f)
            std::abort();
    // Re-encoding what was decoded must reproduce the sample bytes exactly.
    const QByteArray again = WavEncoder::encode(samples, 16000);
    for (size_t i = 0; i < samples.size(); ++i) {
        const bool minimum = data[44 + 2 * i] == 0x00 && data[45 + 2 * i] == 0x80;
        if (!minimum && (again[qsizetype(44 + 2 * i)] != char(data[44 + 2 * i]) ||
                         again[qsizetype(45 + 2 * i)] != char(data[45 + 2 * i])))
            std::abort();
    }
    return 0;
}
