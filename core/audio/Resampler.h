#pragma once

#include "core/audio/Samples.h"
#include "platform/AudioInput.h"

#include <memory>
#include <vector>

struct soxr;

// Turns interleaved float frames of any rate and channel count into 16 kHz mono. Channels are
// averaged into one before resampling. The filter keeps its state from one call to the next, so
// a stream fed buffer by buffer comes out seamless.
class Resampler
{
public:
    // Nothing when the format is unusable, or libsoxr is missing or refuses it.
    static std::unique_ptr<Resampler> create(AudioInputFormat input);
    ~Resampler();

    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;

    const AudioInputFormat& inputFormat() const { return m_input; }

    // Feeds `frameCount` frames and appends what the filter can give now to `out`, starting with
    // room for `capacity` samples. Input the filter could not take at once is fed again with more
    // room, so nothing is dropped. False on a libsoxr error (what came out before it is kept).
    bool feed(const float* frames, qsizetype frameCount, qsizetype capacity, Samples& out);

    // Ends the stream: appends the filter's remaining tail to `out` in blocks of `blockSize`
    // samples. False on a libsoxr error.
    bool drain(qsizetype blockSize, Samples& out);

    // Output samples to expect for `frameCount` input frames, rounded down.
    qsizetype expectedOutput(qsizetype frameCount) const { return expectedOutput(m_input, frameCount); }
    // The same for any format; 0 for an unusable one.
    static qsizetype expectedOutput(AudioInputFormat input, qsizetype frameCount);

    // Averages the channels of `frameCount` interleaved frames into `out`, one sample per frame.
    static void mixToMono(const float* frames, qsizetype frameCount, int channels, float* out);

private:
    explicit Resampler(AudioInputFormat input, soxr* handle);
    const float* mono(const float* frames, qsizetype frameCount);

    AudioInputFormat m_input;
    soxr* m_soxr;
    std::vector<float> m_mono;
};

// The whole-take conversion: every buffer of the take, in order, then the filter's tail, produced
// in output blocks of 8192 samples. Empty for an empty take or an unusable format; a libsoxr error
// ends it with what was converted so far.
Samples convertTake(const std::vector<std::vector<float>>& buffers, AudioInputFormat format);
