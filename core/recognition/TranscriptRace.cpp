#include "core/recognition/TranscriptRace.h"

#include "core/async/CancelToken.h"
#include "core/async/FirstOf.h"
#include "core/async/SharedResult.h"
#include "core/async/Sleep.h"
#include "core/audio/WavEncoder.h"
#include "core/recognition/AsrError.h"
#include "core/recognition/AsrProvider.h"
#include "core/recognition/StreamingTranscriptSource.h"
#include "platform/Clock.h"

#include <QWebSocketProtocol>

#include <vector>

using std::chrono::milliseconds;
using Output = DictationPipeline::Output;

// Everything below runs as free coroutines over copies and shared pointers, never through a
// TranscriptRace: the detached losers of a race may outlive the call and its object.
namespace {

using Batch = std::shared_ptr<const TranscriptRace::BatchRecognition>;
using BatchText = SharedResult<std::optional<QString>>;
using Source = std::shared_ptr<StreamingTranscriptSource>;

constexpr int kGoingAway = QWebSocketProtocol::CloseCodeGoingAway;

int elapsedMs(const Clock* clock, milliseconds since)
{
    return int((clock->now() - since).count());
}

// A batch failure only means that side has no transcript; the session may still have one.
QCoro::Task<std::optional<QString>> recogniseQuietly(Batch batch, CancelToken* cancel)
{
    try {
        const QByteArray wav = WavEncoder::encode(batch->samples, kRecordingSampleRate);
        QString text = co_await batch->provider->transcribe(wav, batch->vocabulary, batch->languageHint, cancel);
        co_return text;
    } catch (const std::exception&) {
        co_return std::nullopt;
    }
}

BatchText startBatch(Batch batch)
{
    return BatchText([batch](CancelToken& cancel) { return recogniseQuietly(batch, &cancel); });
}

QCoro::Task<std::optional<QString>> finishStreaming(Source streamer)
{
    QString text = co_await streamer->finish(TranscriptRace::kStreamingFinishTimeout);
    co_return text;
}

// Where finishRaw learns whether batch recognition got as far as the network.
struct DelayedBatch
{
    std::optional<BatchText> recognition;
};

QCoro::Task<std::optional<QString>> batchAfterDelay(Clock* clock, milliseconds delay, Batch batch,
                                                    std::shared_ptr<DelayedBatch> delayed, CancelToken* cancel)
{
    const bool slept = co_await sleepFor(clock, delay, cancel);
    if (!slept || cancel->isCancelled())
        co_return std::nullopt;
    delayed->recognition.emplace(startBatch(batch));
    // Awaited apart from running, so a failed session can still take the answer after the race.
    const BatchText recognition = *delayed->recognition;
    co_return co_await recognition.value(cancel);
}

QCoro::Task<QString> runFinishRaw(Clock* clock, Source streamer, Batch batch, milliseconds raceDelay)
{
    auto delayed = std::make_shared<DelayedBatch>();
    std::vector<Racer<QString>> racers;
    racers.push_back([streamer](CancelToken&) { return finishStreaming(streamer); });
    racers.push_back([clock, raceDelay, batch, delayed](CancelToken& cancel) {
        return batchAfterDelay(clock, raceDelay, batch, delayed, &cancel);
    });

    std::optional<QString> winner;
    std::exception_ptr streamFailure;
    try {
        winner = co_await firstOf(std::move(racers));
    } catch (...) {
        streamFailure = std::current_exception();
    }

    if (streamFailure) {
        if (!delayed->recognition)
            std::rethrow_exception(streamFailure);
        // The request is already on its way; dropping it would only make the caller's fallback
        // send the same recording again and wait for it from the start.
        const BatchText recognition = *delayed->recognition;
        winner = co_await recognition.value();
        if (!winner)
            std::rethrow_exception(streamFailure);
    } else if (delayed->recognition) {
        delayed->recognition->cancel();
    }
    streamer->cancel(kGoingAway);
    co_return winner.value_or(QString());
}

// What the cap race leaves: the batch transcript when it came in time and was one.
struct Capped
{
    std::optional<QString> text;
};

QCoro::Task<std::optional<Capped>> batchWithinCap(BatchText batch, CancelToken* cancel)
{
    Capped capped;
    capped.text = co_await batch.value(cancel);
    co_return capped;
}

QCoro::Task<std::optional<Capped>> capExpires(Clock* clock, milliseconds cap, CancelToken* cancel)
{
    co_await sleepFor(clock, cap, cancel);
    co_return Capped();
}

QCoro::Task<Output> runFormal(Clock* clock, Source streamer, Batch batch, TranscriptRace::Style style,
                              milliseconds asrStart, milliseconds cap)
{
    BatchText batchText = startBatch(batch);
    QString streamText;
    bool streamFailed = false;
    try {
        streamText = co_await streamer->finish(TranscriptRace::kStreamingFinishTimeout);
    } catch (...) {
        streamFailed = true;
    }
    streamer->cancel(kGoingAway);
    if (streamFailed) {
        const std::optional<QString> text = co_await batchText.value();
        if (!text)
            throw AsrError::emptyResult();
        co_return co_await style(*text, elapsedMs(clock, asrStart), nullptr);
    }

    std::optional<SharedResult<Output>> styling;
    if (!streamText.trimmed().isEmpty())
        styling.emplace([style, streamText](CancelToken& cancel) { return style(streamText, 0, &cancel); });

    // A batch answer later than the cap is never used, so it is not waited for either.
    std::vector<Racer<Capped>> racers;
    racers.push_back([batchText](CancelToken& cancel) { return batchWithinCap(batchText, &cancel); });
    racers.push_back([clock, cap](CancelToken& cancel) { return capExpires(clock, cap, &cancel); });
    const std::optional<Capped> capRace = co_await firstOf(std::move(racers));
    const std::optional<QString> capped = capRace ? capRace->text : std::nullopt;

    QString finalText;
    if (capped) {
        finalText = *capped;
    } else if (!streamText.trimmed().isEmpty()) {
        batchText.cancel();
        finalText = streamText;
    } else {
        const std::optional<QString> late = co_await batchText.value();
        if (!late)
            throw AsrError::emptyResult();
        finalText = *late;
    }

    const int asrMs = elapsedMs(clock, asrStart);
    if (styling && TranscriptRace::squashWS(finalText) == TranscriptRace::squashWS(streamText)) {
        Output output = co_await styling->value();
        output.asrMs = asrMs;
        co_return output;
    }
    if (styling)
        styling->cancel();
    co_return co_await style(finalText, asrMs, nullptr);
}

} // namespace

TranscriptRace::TranscriptRace(Clock& clock)
    : m_clock(clock)
{}

QString TranscriptRace::squashWS(const QString& text)
{
    // QChar::isSpace is Unicode white space, line breaks included.
    return text.simplified();
}

QCoro::Task<QString> TranscriptRace::finishRaw(std::shared_ptr<StreamingTranscriptSource> streamer,
                                               BatchRecognition batch, milliseconds raceDelay) const
{
    return runFinishRaw(&m_clock, std::move(streamer), std::make_shared<const BatchRecognition>(std::move(batch)),
                        raceDelay);
}

QCoro::Task<Output> TranscriptRace::formalOverlapOutput(std::shared_ptr<StreamingTranscriptSource> streamer,
                                                        BatchRecognition batch, Style style, milliseconds asrStart,
                                                        milliseconds cap) const
{
    return runFormal(&m_clock, std::move(streamer), std::make_shared<const BatchRecognition>(std::move(batch)),
                     std::move(style), asrStart, cap);
}
