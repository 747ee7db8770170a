#include "core/recognition/StreamingCommitRule.h"

bool StreamingCommitRule::add(qsizetype samples, bool quiet)
{
    m_samplesSinceCommit += samples;
    const bool due = m_samplesSinceCommit >= kHardSamples || (m_samplesSinceCommit >= kSoftSamples && quiet);
    if (due)
        reset();
    return due;
}

void StreamingCommitRule::reset()
{
    m_samplesSinceCommit = 0;
}
