#pragma once

#include "app/controller/DictationJob.h"
#include "core/recognition/TranscriptRace.h"

#include <QCoroTask>
#include <QObject>

class AppServices;
class FailureReport;
class QThreadPool;

// Turns one stopped dictation into text at the cursor: saves the take with its history entry,
// obtains the transcript by one of three roads (batch only without a session; the race of the
// session against batch recognition; for a "formal" take of 3 s or more, styling the session's
// transcript while batch recognition cross-checks it), falls back once to batch recognition of
// the whole take when a streaming road fails, then inserts or copies, updates the history and
// learns on-screen terms. Failures go to the failure report.
//
// Main thread only. A dictation whose generation is no longer the newest still writes its entry,
// learns and inserts, but leaves the status line, the overlay and the clipboard alone.
class DictationTask : public QObject
{
    Q_OBJECT

public:
    static constexpr int kSampleRate = 16000;
    // The shortest take that goes the formal road.
    static constexpr qsizetype kFormalMinSamples = 3 * kSampleRate;
    // A take this long that recognises as nothing is kept as a failure, not thrown away.
    static constexpr qsizetype kKeepEmptySamples = kSampleRate;
    // Takes up to this long are boosted on the main thread (well under a millisecond).
    static constexpr qsizetype kInlineBoostSamples = 30 * kSampleRate;
    static constexpr qsizetype kSpeculativeMinChars = 4;
    static constexpr qsizetype kTermMinChars = 4;
    static constexpr int kTermsPerDictation = 5;

    // workers run the boost and the Ogg/Opus encoding of the take; app, failures and workers
    // must outlive this object.
    DictationTask(AppServices& app, FailureReport& failures, QThreadPool& workers, QObject* parent = nullptr);

    // Runs the whole dictation; never throws. Nobody needs to await it.
    QCoro::Task<> run(DictationJob job);

private:
    // Takes its own copies: it may run on after run() has stopped waiting.
    QCoro::Task<DictationPipeline::Output> obtain(DictationJob job, std::shared_ptr<const Samples> take);
    QCoro::Task<DictationPipeline::Output> raceRoad(const DictationJob& job, const Samples& samples,
                                                    TranscriptRace::BatchRecognition batch,
                                                    std::chrono::milliseconds asrStart);
    // The output step after the insertion, which run() makes as early as it can.
    void deliver(const DictationJob& job, const DictationPipeline::Output& output, qsizetype sampleCount,
                 bool inserted);
    // The text would go to this program itself (its history window is in front).
    bool isOwnApp(const DictationJob& job) const;
    void learnTerms(const DictationJob& job, const QString& finalText);
    bool isCurrent(const DictationJob& job) const;

    AppServices& m_app;
    FailureReport& m_failures;
    QThreadPool& m_workers;
    TranscriptRace m_race;
};
