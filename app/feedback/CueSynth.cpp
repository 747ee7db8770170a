#include "app/feedback/CueSynth.h"

#include "core/audio/WavEncoder.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

const std::map<QString, SoundSpec>& SoundSpec::builtIn()
{
    static const std::map<QString, SoundSpec> specs = [] {
        std::map<QString, SoundSpec> s;
        s[QStringLiteral("cork")] =
            SoundSpec{{{0.5, 0.45, 22}, {1, 1, 30}, {2.01, 0.3, 55}, {3.42, 0.12, 80}, {5.1, 0.05, 130}},
                      130.81,
                      110,
                      130,
                      6,
                      760,
                      12,
                      30,
                      180,
                      0.3};
        s[QStringLiteral("droplet")] = SoundSpec{
            {{1, 1, 45}, {2.32, 0.4, 75}, {4.25, 0.16, 115}, {6.63, 0.07, 170}}, 660, 494, 90, 2, 6500, 4, 8, 400, 0.1};
        s[QStringLiteral("tick")] =
            SoundSpec{{{1, 0.55, 110}, {2.76, 0.12, 190}}, 1568, 1175, 45, 1.5, 5000, 6, 10, 320, 0.85};
        s[QStringLiteral("marimba")] =
            SoundSpec{{{1, 1, 17}, {3.93, 0.28, 55}, {9.2, 0.09, 110}}, 392, 294, 160, 3, 4500, 16, 18, 240, 0.18};
        return s;
    }();
    return specs;
}

double CueNoise::next()
{
    m_x ^= m_x << 13;
    m_x ^= m_x >> 7;
    m_x ^= m_x << 17;
    return double(static_cast<int64_t>(m_x)) * 0x1p-63;
}

namespace CueSynth {

QByteArray render(const SoundSpec& spec, double f0, int rate)
{
    const double R = rate;
    const auto n = static_cast<int64_t>(R * spec.durMs / 1000.0);
    if (n <= 0 || spec.noiseTaps < 1)
        return {};
    const int64_t attack = std::max<int64_t>(1, static_cast<int64_t>(R * spec.attackMs / 1000.0));
    const int64_t release = std::min<int64_t>(static_cast<int64_t>(R * 0.015), n);
    const int64_t releaseStart = n - release;
    const double window = spec.noiseWinMs / 1000.0;
    constexpr double pi = std::numbers::pi;

    CueNoise noise;
    std::vector<double> ring(static_cast<size_t>(spec.noiseTaps), 0.0);
    size_t ringPos = 0;
    double peak = 1e-9;
    std::vector<float> samples(static_cast<size_t>(n));

    for (int64_t i = 0; i < n; ++i) {
        const double t = double(i) / R;
        const double e = i < attack ? 0.5 - 0.5 * std::cos(pi * double(i) / double(attack)) : 1.0;
        double v = 0.0;
        for (const SoundSpec::Partial& p : spec.partials) {
            if (f0 * p.r < spec.cutoffHz)
                v += p.a * std::sin(2.0 * pi * p.r * f0 * t) * std::exp(-p.k * t);
        }
        // The generator advances on every sample, so the burst's noise does not depend on how
        // long the window is.
        ring[ringPos] = noise.next();
        ringPos = (ringPos + 1) % ring.size();
        if (t < window) {
            double sum = 0.0;
            for (double tap : ring)
                sum += tap;
            const double mean = sum / double(ring.size());
            v += mean * spec.noiseMix * std::sin(pi * t / window) * std::exp(-spec.noiseK * t);
        }
        double s = e * v;
        if (i >= releaseStart)
            s *= 0.5 + 0.5 * std::cos(pi * double(i - releaseStart + 1) / double(release));
        samples[size_t(i)] = float(s);
        peak = std::max(peak, std::abs(s));
    }

    const float gain = float(0.89 / peak);
    for (float& s : samples)
        s *= gain;
    return WavEncoder::encode(samples, rate);
}

} // namespace CueSynth
