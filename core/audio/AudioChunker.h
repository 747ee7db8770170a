#pragma once

#include "core/audio/Samples.h"

#include <span>
#include <vector>

// Cuts a long recording into pieces a recogniser takes in one request. Each cut is placed in the
// quietest short stretch near the ideal point so no word is split, and every piece after the
// first starts a little before its cut so nothing falls between two pieces.
namespace AudioChunker {

// The pieces in time order. A recording of at most 1.5 x targetSeconds is one piece, the whole
// input; longer ones are cut about every targetSeconds (searching +/- searchWindowSeconds for the
// quietest 800-sample window, never closer than one second to the previous cut or to the end),
// each piece after the first reaching overlapSeconds back before its cut.
//
// Values that cannot describe a cut (a sample rate or target of less than one sample, negative
// or non-finite seconds, or products too large for a sample index) give the input as one piece.
std::vector<Samples> split(std::span<const float> samples, int sampleRate, double targetSeconds,
                           double searchWindowSeconds, double overlapSeconds);

} // namespace AudioChunker
