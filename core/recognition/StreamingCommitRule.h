#pragma once

#include <QtGlobal>

// When the session asks the server to turn the audio it holds into text. A stretch is cut once it
// reaches 30 s, but only inside a pause: a single quiet buffer is often the gap between two words,
// and a cut there loses or garbles the words on either side, so the quiet has to last as long as a
// pause between phrases. At 55 s the stretch is cut regardless. Counts are samples at 16 kHz.
class StreamingCommitRule
{
public:
    static constexpr qsizetype kSoftSamples = 480000; // 30 s
    static constexpr qsizetype kHardSamples = 880000; // 55 s
    static constexpr qsizetype kPauseSamples = 4480;  // 280 ms of consecutive quiet

    // Counts one chunk that went out; true when a commit is due right after it.
    bool add(qsizetype samples, bool quiet);
    // A commit went out (by this rule or at the end): a new stretch begins.
    void reset();

    qsizetype samplesSinceCommit() const { return m_samplesSinceCommit; }

private:
    qsizetype m_samplesSinceCommit = 0;
    qsizetype m_quietRunSamples = 0;
};
