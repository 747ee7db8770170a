#pragma once

#include "core/audio/Samples.h"

#include <span>
#include <vector>

// Cuts a long recording into chunks a recogniser takes in one request. Each cut is placed in the
// quietest short stretch near the ideal point so no word is split, and every chunk after the
// first starts a little before its cut so nothing falls between two chunks.
namespace AudioChunker {

// The chunks in time order. A recording of at most 1.5 x targetSeconds is one chunk, the whole
// input; longer ones are cut about every targetSeconds (searching +/- searchWindowSeconds for the
// quietest 800-sample window, never closer than one second to the previous cut or to the end),
// each chunk after the first reaching overlapSeconds back before its cut.
//
// Values that cannot describe a cut (a sample rate or target of less than one sample, negative
// or non-finite seconds, or products too large for a sample index) give the input as one chunk.
std::vector<Samples> split(std::span<const float> samples, int sampleRate, double targetSeconds,
                           double searchWindowSeconds, double overlapSeconds);

} // namespace AudioChunker
