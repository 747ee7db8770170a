#include "core/recognition/StreamingCommitRule.h"

bool StreamingCommitRule::add(qsizetype samples, bool quiet)
{
    m_samplesSinceCommit += samples;
    // An empty chunk is quiet but lasts no time: it neither ends a pause nor lengthens it.
    m_quietRunSamples = quiet ? m_quietRunSamples + samples : 0;
    const bool due = m_samplesSinceCommit >= kHardSamples ||
                     (m_samplesSinceCommit >= kSoftSamples && m_quietRunSamples >= kPauseSamples);
    if (due)
        reset();
    return due;
}

void StreamingCommitRule::reset()
{
    m_samplesSinceCommit = 0;
    m_quietRunSamples = 0;
}
