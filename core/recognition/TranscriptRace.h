#pragma once

#include "core/audio/Samples.h"
#include "core/text/DictationPipeline.h"

#include <QCoroTask>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class AsrProvider;
class CancelToken;
class Clock;
class StreamingTranscriptSource;

// The end of a dictation that was recognised while it was spoken: the streaming session is
// finished and batch recognition of the whole recording runs beside it, and the two transcripts
// are weighed against each other. A quick session costs no batch request; a slow or silent one
// is overtaken by the batch answer.
//
// Main thread only; the clock must outlive every call. Each call consumes its session: when it
// returns or throws, the session has been cancelled (close code 1001), except after a failed
// finish, which has ended the session already. Batch recognition failures are never thrown: they
// only mean that side has no transcript.
class TranscriptRace
{
public:
    static constexpr std::chrono::milliseconds kStreamingFinishTimeout{12000};
    static constexpr std::chrono::milliseconds kRaceDelay{2000};
    static constexpr std::chrono::milliseconds kCap{3500};

    // Batch recognition as the dictation started it: the provider and hotwords are taken when the
    // race begins, so a settings change meanwhile does not mix two recognisers.
    struct BatchRecognition
    {
        std::shared_ptr<const AsrProvider> provider;
        QStringList vocabulary;
        Samples samples;
        std::optional<QString> languageHint;
    };

    // Styles a raw transcript with the dictation's mode, preferences and translate flag (the
    // pipeline's process() bound to them). Its failures propagate.
    using Style =
        std::function<QCoro::Task<DictationPipeline::Output>(QString rawText, int asrMs, CancelToken* cancel)>;

    explicit TranscriptRace(Clock& clock);

    // Transcripts agree when these are equal: split at white space, empty pieces dropped, joined
    // with one space.
    static QString squashWS(const QString& text);

    // The first transcript to arrive (possibly empty): the session's, or batch recognition's,
    // started only once raceDelay has passed without the session finishing. Empty when neither
    // has one. A failed session finish is thrown, unless batch recognition is already on its way:
    // then its answer is awaited (its request has its own timeout) and used when it has one.
    QCoro::Task<QString> finishRaw(std::shared_ptr<StreamingTranscriptSource> streamer, BatchRecognition batch,
                                   std::chrono::milliseconds raceDelay = kRaceDelay) const;

    // The styled result of a "formal" dictation. Styling of the session's transcript starts at
    // once while batch recognition runs; the batch transcript replaces it only when it arrives
    // within cap of the session's end and differs beyond white space. Styling already done is
    // reused whenever the transcript used agrees with it. asrMs is measured from asrStart (a time
    // of the clock). Throws AsrError::emptyResult when neither side has a transcript, and the
    // styling's errors.
    QCoro::Task<DictationPipeline::Output> formalOverlapOutput(std::shared_ptr<StreamingTranscriptSource> streamer,
                                                               BatchRecognition batch, Style style,
                                                               std::chrono::milliseconds asrStart,
                                                               std::chrono::milliseconds cap = kCap) const;

private:
    Clock& m_clock;
};
