#pragma once

#include "core/audio/Samples.h"
#include "core/recognition/TranscriptRace.h"
#include "core/text/DictationPipeline.h"
#include "core/text/StyleMode.h"
#include "core/text/StylePreferences.h"

#include <QCoroTask>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>
#include <optional>

class Clock;
class StreamingTranscriptSource;

// The roads by which a stopped dictation's take becomes styled text: batch recognition of the
// whole take when there is no streaming session; for a "formal" take of 3 s or more, styling the
// session's transcript while batch recognition cross-checks it; otherwise the race of the session
// against batch recognition, styling the last partial early in case the final transcript agrees
// with it. When a streaming road fails, or the race yields nothing, before its batch request has
// ended, the whole take is recognised in batch once more, and only that attempt's failure is
// thrown; a batch request that has ended is never sent again (its failure is thrown).
//
// Main thread only; the clock must outlive every call.
class DictationRoads
{
public:
    static constexpr int kSampleRate = 16000;
    // The shortest take that goes the formal road.
    static constexpr qsizetype kFormalMinSamples = 3 * kSampleRate;
    // The shortest last partial worth styling before the final transcript is in.
    static constexpr qsizetype kSpeculativeMinChars = 4;

    // What one dictation is recognised and styled with, fixed when it stops.
    struct Request
    {
        // The recording's live recognition, or none.
        std::shared_ptr<StreamingTranscriptSource> session;
        DictationPipeline pipeline;
        StyleMode mode;
        StylePreferences preferences;
        bool translate = false;
        std::optional<QString> languageHint;
        // The hot words batch recognition sends.
        QStringList vocabulary;
        // The last words the session showed while the take was recorded.
        QString lastPartial;
    };

    // How a streaming road's batch request ended, if it did.
    struct BatchOutcome;

    explicit DictationRoads(Clock& clock);

    // Takes its own copies: it may run on after its caller has stopped waiting.
    QCoro::Task<DictationPipeline::Output> run(Request request, std::shared_ptr<const Samples> take) const;

private:
    QCoro::Task<DictationPipeline::Output> race(const Request& request, const Samples& samples,
                                                TranscriptRace::BatchRecognition batch, const BatchOutcome& outcome,
                                                std::chrono::milliseconds asrStart) const;
    static QCoro::Task<DictationPipeline::Output> whole(const Request& request,
                                                        const std::shared_ptr<const Samples>& take);

    Clock& m_clock;
    TranscriptRace m_race;
};
