// Recording files are read back from disk, where anything may have replaced them.
#include "core/audio/RecordingConverter.h"
#include "core/ogg/OGGDecoder.h"
#include "core/ogg/OpusError.h"

#include <QLoggingCategory>

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

// Enough for every seed and then some, small enough to keep each run quick.
constexpr qsizetype kMaxOutput = qsizetype(1) << 22;

void expectFinite(const std::vector<float>& samples)
{
    for (const float sample : samples)
        if (!std::isfinite(sample))
            std::abort();
}

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
    // The length the pages claim is only ever a hint, and a bounded one.
    const qsizetype stated = OGGDecoder::statedFrames(bytes, 48000);
    if (stated < 0 || stated > qsizetype(size) * 2880)
        std::abort();
    try {
        const OGGDecoder decoder(bytes, kMaxOutput);
        const int rate = decoder.sampleRate;
        if (rate != 8000 && rate != 12000 && rate != 16000 && rate != 24000 && rate != 48000)
            std::abort();
        if (decoder.numChannels < 1 || decoder.numChannels > 255)
            std::abort();
        if (qsizetype(decoder.pcmData.size()) > kMaxOutput)
            std::abort();
        expectFinite(decoder.pcmData);
    } catch (const OpusError&) {
        // Rejected as not an Opus stream, or as a broken one: the expected outcome for most input.
    }
    // The way recordings are read: each packet converted to 16 kHz mono as it decodes, links of
    // any format one after the other.
    try {
        RecordingConverter converter(std::min(OGGDecoder::statedFrames(bytes, 16000), kMaxOutput));
        const OGGDecoder decoder(bytes, converter, kMaxOutput);
        const Samples recording = converter.finish();
        // At most the decoded frames, twice over where 8 kHz audio is brought up to 16 kHz.
        if (qsizetype(recording.size()) > 2 * kMaxOutput + 64)
            std::abort();
        expectFinite(recording);
    } catch (const OpusError&) {
    }
    return 0;
}
