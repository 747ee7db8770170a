#pragma once

#include "core/audio/Resampler.h"
#include "core/audio/Samples.h"
#include "core/ogg/OGGDecoder.h"

#include <memory>

// Turns decoded audio, handed over a packet at a time at whatever rate and channel count each
// link of a stream has, into one 16 kHz mono recording. Each packet is mixed down and resampled
// as it arrives and the result goes into an output reserved once for the expected length, so
// reading a long recording holds little more than its 16 kHz mono result, whatever its source
// format: one packet's worth of scratch and the filter's state besides. A link in another format
// than the one before drains the filter and starts a new one. One caller at a time.
class RecordingConverter final : public OGGDecoder::Sink
{
public:
    explicit RecordingConverter(qsizetype expectedSamples);

    void format(int32_t sampleRate, int32_t channels) override;
    void audio(const float* interleaved, qsizetype frames) override;

    // Ends the stream and hands over the recording; empty when the filter failed.
    Samples finish();

private:
    void endFormat();
    void append(const Samples& samples);

    AudioInputFormat m_format;
    // None while the audio is already at 16 kHz.
    std::unique_ptr<Resampler> m_resampler;
    Samples m_block;
    Samples m_out;
    bool m_failed = false;
};
