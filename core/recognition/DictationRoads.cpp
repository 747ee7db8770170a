#include "core/recognition/DictationRoads.h"

#include "core/async/CancelToken.h"
#include "core/async/SharedResult.h"
#include "core/audio/WavEncoder.h"
#include "core/recognition/AsrProvider.h"
#include "core/text/Graphemes.h"
#include "platform/Clock.h"

using Output = DictationPipeline::Output;
using std::chrono::milliseconds;

struct DictationRoads::BatchOutcome
{
    bool ended = false;
    std::exception_ptr failure;
};

namespace {

// The recogniser as the streaming roads use it, noting how its request ended; one that was
// cancelled (the session won) did not end.
class WatchedProvider : public AsrProvider
{
public:
    WatchedProvider(std::shared_ptr<const AsrProvider> inner, std::shared_ptr<DictationRoads::BatchOutcome> outcome)
        : m_inner(std::move(inner))
        , m_outcome(std::move(outcome))
    {}

    QString id() const override { return m_inner->id(); }

    QCoro::Task<QString> transcribe(QByteArray wavData, QStringList vocabulary, std::optional<QString> languageHint,
                                    CancelToken* cancel) const override
    {
        const std::shared_ptr<const AsrProvider> inner = m_inner;
        const std::shared_ptr<DictationRoads::BatchOutcome> outcome = m_outcome;
        try {
            QString text =
                co_await inner->transcribe(std::move(wavData), std::move(vocabulary), std::move(languageHint), cancel);
            outcome->ended = true;
            co_return text;
        } catch (const CancelledError&) {
            throw;
        } catch (...) {
            outcome->ended = true;
            outcome->failure = std::current_exception();
            throw;
        }
    }

private:
    std::shared_ptr<const AsrProvider> m_inner;
    std::shared_ptr<DictationRoads::BatchOutcome> m_outcome;
};

} // namespace

DictationRoads::DictationRoads(Clock& clock)
    : m_clock(clock)
    , m_race(clock)
{}

void DictationRoads::rethrowIfEnded(const BatchOutcome& outcome)
{
    // The take's batch request went out and ended already: after a time-out the same wait would
    // follow, and an empty answer would stay empty.
    if (outcome.ended)
        std::rethrow_exception(outcome.failure ? outcome.failure : std::current_exception());
}

TranscriptRace::BatchRecognition DictationRoads::watched(TranscriptRace::BatchRecognition batch,
                                                         const std::shared_ptr<BatchOutcome>& outcome)
{
    batch.provider = std::make_shared<WatchedProvider>(std::move(batch.provider), outcome);
    return batch;
}

QCoro::Task<std::optional<QString>> DictationRoads::raceRaw(const TranscriptRace& race,
                                                            std::shared_ptr<StreamingTranscriptSource> session,
                                                            TranscriptRace::BatchRecognition batch,
                                                            std::shared_ptr<const BatchOutcome> outcome)
{
    QCoro::Task<QString> finishing = race.finishRaw(std::move(session), std::move(batch));
    const QString raw = co_await std::move(finishing);
    if (!raw.trimmed().isEmpty())
        co_return raw;
    if (!outcome->ended)
        co_return std::nullopt;
    if (outcome->failure)
        std::rethrow_exception(outcome->failure);
    // Both sides heard nothing.
    co_return raw;
}

QCoro::Task<QString> DictationRoads::transcript(std::shared_ptr<StreamingTranscriptSource> session,
                                                TranscriptRace::BatchRecognition batch) const
{
    if (session) {
        const auto outcome = std::make_shared<BatchOutcome>();
        std::optional<QString> raw;
        try {
            QCoro::Task<std::optional<QString>> racing =
                raceRaw(m_race, std::move(session), watched(batch, outcome), outcome);
            raw = co_await std::move(racing);
        } catch (...) {
            rethrowIfEnded(*outcome);
        }
        if (raw)
            co_return *raw;
    }
    const QByteArray wav = WavEncoder::encode(batch.samples, kRecordingSampleRate);
    QCoro::Task<QString> recognising = batch.provider->transcribe(wav, batch.vocabulary, batch.languageHint);
    co_return co_await std::move(recognising);
}

QCoro::Task<Output> DictationRoads::whole(const Request& request, const std::shared_ptr<const Samples>& take)
{
    return request.pipeline.run(take, request.mode, request.preferences, request.translate, request.languageHint,
                                request.vocabulary);
}

QCoro::Task<Output> DictationRoads::run(Request request, std::shared_ptr<const Samples> take) const
{
    const Samples& samples = *take;
    if (!request.session) {
        QCoro::Task<Output> batch = whole(request, take);
        co_return co_await std::move(batch);
    }
    const milliseconds asrStart = m_clock.now();
    const auto outcome = std::make_shared<BatchOutcome>();
    TranscriptRace::BatchRecognition batch =
        watched({request.pipeline.provider(), request.vocabulary, samples, request.languageHint}, outcome);
    try {
        if (request.mode.id == QLatin1String("formal") && qsizetype(samples.size()) >= kFormalMinSamples) {
            TranscriptRace::Style style = [pipeline = request.pipeline, mode = request.mode,
                                           preferences = request.preferences,
                                           translate = request.translate](QString raw, int asrMs, CancelToken* cancel) {
                return pipeline.process(std::move(raw), mode, preferences, translate, asrMs, cancel);
            };
            QCoro::Task<Output> formal = m_race.formalOverlapOutput(request.session, batch, style, asrStart);
            co_return co_await std::move(formal);
        }
        QCoro::Task<Output> raced = race(request, samples, batch, outcome, asrStart);
        co_return co_await std::move(raced);
    } catch (...) {
        rethrowIfEnded(*outcome);
    }
    // Whatever else broke on a streaming road, the whole take is recognised once more.
    QCoro::Task<Output> again = whole(request, take);
    co_return co_await std::move(again);
}

QCoro::Task<Output> DictationRoads::race(const Request& request, const Samples& samples,
                                         TranscriptRace::BatchRecognition batch,
                                         std::shared_ptr<const BatchOutcome> outcome, milliseconds asrStart) const
{
    const QString partial = request.lastPartial.trimmed();
    std::optional<SharedResult<Output>> speculative;
    if (Graphemes::count(partial) >= kSpeculativeMinChars) {
        speculative.emplace([pipeline = request.pipeline, partial, mode = request.mode,
                             preferences = request.preferences, translate = request.translate](CancelToken& cancel) {
            return pipeline.process(partial, mode, preferences, translate, 0, &cancel);
        });
    }
    QCoro::Task<std::optional<QString>> racing = raceRaw(m_race, request.session, std::move(batch), outcome);
    const std::optional<QString> finished = co_await std::move(racing);
    const int asrMs = int((m_clock.now() - asrStart).count());

    if (!finished || finished->trimmed().isEmpty()) {
        if (speculative)
            speculative->cancel();
        if (!finished) {
            QCoro::Task<Output> again = whole(request, std::make_shared<const Samples>(samples));
            co_return co_await std::move(again);
        }
        // Both sides heard nothing.
        Output nothing;
        nothing.mode = request.mode;
        nothing.asrMs = asrMs;
        co_return nothing;
    }
    const QString raw = *finished;
    if (speculative && TranscriptRace::squashWS(raw) == TranscriptRace::squashWS(partial)) {
        QCoro::Task<Output> early = speculative->value();
        Output output = co_await std::move(early);
        output.asrMs = asrMs;
        co_return output;
    }
    if (speculative)
        speculative->cancel();
    QCoro::Task<Output> styling =
        request.pipeline.process(raw, request.mode, request.preferences, request.translate, asrMs);
    co_return co_await std::move(styling);
}
