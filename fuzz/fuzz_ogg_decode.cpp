// Recording files are read back from disk, where anything may have replaced them.
#include "core/ogg/OGGDecoder.h"
#include "core/ogg/OpusError.h"

#include <QLoggingCategory>

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {
// Enough for every seed and then some, small enough to keep each run quick.
constexpr qsizetype kMaxOutput = qsizetype(1) << 22;
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Diagnostic lines for every rejected input would drown the fuzzer's own output.
    QLoggingCategory::setFilterRules(QStringLiteral("murmo.ogg.warning=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        const OGGDecoder decoder(bytes, kMaxOutput);
        const int rate = decoder.sampleRate;
        if (rate != 8000 && rate != 12000 && rate != 16000 && rate != 24000 && rate != 48000)
            std::abort();
        if (decoder.numChannels < 1 || decoder.numChannels > 255)
            std::abort();
        if (qsizetype(decoder.pcmData.size()) > kMaxOutput)
            std::abort();
        for (const float sample : decoder.pcmData)
            if (!std::isfinite(sample))
                std::abort();
    } catch (const OpusError&) {
        // Rejected as not an Opus stream, or as a broken one: the expected outcome for most input.
    }
    return 0;
}
