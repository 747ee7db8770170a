#pragma once

#include <QtGlobal>

// When the session asks the server to turn the audio it holds into text: once a stretch reaches
// 30 s at a quiet chunk, and at 55 s regardless. Counts are samples at 16 kHz.
class StreamingCommitRule
{
public:
    static constexpr qsizetype kSoftSamples = 480000; // 30 s
    static constexpr qsizetype kHardSamples = 880000; // 55 s

    // Counts one chunk that went out; true when a commit is due right after it.
    bool add(qsizetype samples, bool quiet);
    // A commit went out (by this rule or at the end): a new stretch begins.
    void reset();

    qsizetype samplesSinceCommit() const { return m_samplesSinceCommit; }

private:
    qsizetype m_samplesSinceCommit = 0;
};
