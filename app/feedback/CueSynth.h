#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <map>

// The parametric description of a cue sound: a few decaying partials over a fundamental, plus a
// short burst of low-passed noise for the strike. The start and stop sounds of a set share it and
// differ only in their fundamental.
struct SoundSpec
{
    struct Partial
    {
        double r = 1.0; // frequency ratio to the fundamental
        double a = 1.0; // amplitude
        double k = 0.0; // exponential decay rate per second
    };

    QList<Partial> partials;
    double f0Start = 0.0;
    double f0Stop = 0.0;
    double durMs = 0.0;
    double attackMs = 0.0;
    double cutoffHz = 0.0;
    int noiseTaps = 1;
    double noiseWinMs = 0.0;
    double noiseK = 0.0;
    double noiseMix = 0.0;

    // The built-in sets by id: "cork", "droplet", "tick", "marimba".
    static const std::map<QString, SoundSpec>& builtIn();
};

// The white noise of the strike: xorshift64 from the 64-bit golden-ratio constant, so every run
// renders the same bytes.
class CueNoise
{
public:
    // The next value in -1...1.
    double next();

private:
    uint64_t m_x = 0x9E3779B97F4A7C15ULL;
};

namespace CueSynth {

inline constexpr int sampleRate = 44100;

// The sound at fundamental f0 as a mono 16-bit WAV image at rate, its loudest sample at 0.89.
// Empty when the recipe cannot be rendered (no samples, or fewer than one noise tap).
QByteArray render(const SoundSpec& spec, double f0, int rate = sampleRate);

} // namespace CueSynth
