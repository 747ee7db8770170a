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
// thrown; a batch request that has ended is never sent again (its failure is thrown). The spoken
// question and rewrite instruction follow the same rule (transcript()).
//
// Main thread only; the clock must outlive every call.
class DictationRoads
{
public:
    // The shortest take that goes the formal road.
    static constexpr qsizetype kFormalMinSamples = 3 * kRecordingSampleRate;
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

    // The raw transcript of a take by the same roads, without styling: the race when there is a
    // session, else (or when the race leaves the take to it) one batch request of the whole take.
    QCoro::Task<QString> transcript(std::shared_ptr<StreamingTranscriptSource> session,
                                    TranscriptRace::BatchRecognition batch) const;

private:
    QCoro::Task<DictationPipeline::Output> race(const Request& request, const Samples& samples,
                                                TranscriptRace::BatchRecognition batch,
                                                std::shared_ptr<const BatchOutcome> outcome,
                                                std::chrono::milliseconds asrStart) const;
    static QCoro::Task<DictationPipeline::Output> whole(const Request& request,
                                                        const std::shared_ptr<const Samples>& take);
    // The race's transcript (possibly empty: neither side heard anything), or none when it heard
    // nothing before its batch request ended and the whole take is to be recognised once more.
    // Throws the batch request's failure when both sides came up empty; the race's own failures
    // pass through, for the caller to weigh with rethrowIfEnded().
    static QCoro::Task<std::optional<QString>> raceRaw(const TranscriptRace& race,
                                                       std::shared_ptr<StreamingTranscriptSource> session,
                                                       TranscriptRace::BatchRecognition batch,
                                                       std::shared_ptr<const BatchOutcome> outcome);
    // Inside a handler: rethrows the batch request's failure (or the one being handled) when that
    // request has ended, so it is not sent again.
    static void rethrowIfEnded(const BatchOutcome& outcome);
    // The batch side of a race, noting in outcome how its request ended.
    static TranscriptRace::BatchRecognition watched(TranscriptRace::BatchRecognition batch,
                                                    const std::shared_ptr<BatchOutcome>& outcome);

    Clock& m_clock;
    TranscriptRace m_race;
};
