#include "core/audio/AudioChunker.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>

namespace AudioChunker {

namespace {

// The quiet stretch searched for a cut: long enough to tell a pause from the gap between two
// syllables, stepped by half its length.
constexpr std::int64_t kWindow = 800;
constexpr std::int64_t kStride = 400;

std::optional<std::int64_t> toSamples(double seconds, int sampleRate)
{
    const double product = seconds * static_cast<double>(sampleRate);
    // Well inside int64 so the index arithmetic below cannot overflow either.
    if (!std::isfinite(product) || product < 0.0 || product >= 0x1p60)
        return std::nullopt;
    return static_cast<std::int64_t>(product);
}

float energy(const float* samples)
{
    float sum = 0.0f;
    for (std::int64_t i = 0; i < kWindow; ++i)
        sum += samples[i] * samples[i];
    return sum;
}

std::int64_t quietestCut(std::span<const float> samples, std::int64_t lo, std::int64_t hi, std::int64_t ideal)
{
    if (lo + kWindow >= hi)
        return ideal;
    std::int64_t bestPos = lo;
    float bestEnergy = energy(samples.data() + lo);
    for (std::int64_t pos = lo + kStride; pos + kWindow < hi; pos += kStride) {
        const float e = energy(samples.data() + pos);
        // Strictly smaller: on a tie the earlier window keeps the cut.
        if (e < bestEnergy) {
            bestEnergy = e;
            bestPos = pos;
        }
    }
    return bestPos + kWindow / 2;
}

std::vector<Samples> whole(std::span<const float> samples)
{
    std::vector<Samples> chunks;
    chunks.emplace_back(samples.begin(), samples.end());
    return chunks;
}

} // namespace

std::vector<Samples> split(std::span<const float> samples, int sampleRate, double targetSeconds,
                           double searchWindowSeconds, double overlapSeconds)
{
    const auto target = toSamples(targetSeconds, sampleRate);
    const auto window = toSamples(searchWindowSeconds, sampleRate);
    const auto overlap = toSamples(overlapSeconds, sampleRate);
    if (sampleRate < 1 || !target || !window || !overlap || *target < 1)
        return whole(samples);

    const auto count = static_cast<std::int64_t>(samples.size());
    const std::int64_t limit = *target + *target / 2;
    if (count <= limit)
        return whole(samples);

    // No cut lands closer than this to the previous cut or to the end.
    const std::int64_t minimumGap = sampleRate;
    std::vector<std::int64_t> cuts{0};
    std::int64_t start = 0;
    do {
        const std::int64_t ideal = start + *target;
        const std::int64_t lo = std::max(start + minimumGap, ideal - *window);
        const std::int64_t hi = std::min(count - minimumGap, ideal + *window);
        const std::int64_t cut = quietestCut(samples, lo, hi, ideal);
        cuts.push_back(cut);
        start = cut;
    } while (count - start > limit);
    cuts.push_back(count);

    std::vector<Samples> chunks;
    chunks.reserve(cuts.size() - 1);
    for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
        const std::int64_t from = std::max<std::int64_t>(cuts[i] - *overlap, 0);
        chunks.emplace_back(samples.begin() + from, samples.begin() + cuts[i + 1]);
    }
    return chunks;
}

} // namespace AudioChunker
