#include "core/recognition/DictationRoads.h"

#include "core/async/SharedResult.h"
#include "core/recognition/AsrProvider.h"
#include "core/text/Graphemes.h"
#include "platform/Clock.h"

using Output = DictationPipeline::Output;
using std::chrono::milliseconds;

DictationRoads::DictationRoads(Clock& clock)
    : m_clock(clock)
    , m_race(clock)
{}

QCoro::Task<Output> DictationRoads::whole(const Request& request, const Samples& samples)
{
    return request.pipeline.run(samples, request.mode, request.preferences, request.translate, request.languageHint);
}

QCoro::Task<Output> DictationRoads::run(Request request, std::shared_ptr<const Samples> take) const
{
    const Samples& samples = *take;
    if (!request.session) {
        QCoro::Task<Output> batch = whole(request, samples);
        co_return co_await std::move(batch);
    }
    const milliseconds asrStart = m_clock.now();
    TranscriptRace::BatchRecognition batch{request.pipeline.provider(), request.vocabulary, samples,
                                           request.languageHint};
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
        QCoro::Task<Output> raced = race(request, samples, batch, asrStart);
        co_return co_await std::move(raced);
    } catch (...) {
        // Whatever broke on a streaming road, the whole take is recognised once more below.
    }
    QCoro::Task<Output> again = whole(request, samples);
    co_return co_await std::move(again);
}

QCoro::Task<Output> DictationRoads::race(const Request& request, const Samples& samples,
                                         TranscriptRace::BatchRecognition batch, milliseconds asrStart) const
{
    const QString partial = request.lastPartial.trimmed();
    std::optional<SharedResult<Output>> speculative;
    if (Graphemes::count(partial) >= kSpeculativeMinChars) {
        speculative.emplace([pipeline = request.pipeline, partial, mode = request.mode,
                             preferences = request.preferences, translate = request.translate](CancelToken& cancel) {
            return pipeline.process(partial, mode, preferences, translate, 0, &cancel);
        });
    }
    QCoro::Task<QString> finishing = m_race.finishRaw(request.session, std::move(batch));
    const QString raw = co_await std::move(finishing);
    const int asrMs = int((m_clock.now() - asrStart).count());

    if (raw.trimmed().isEmpty()) {
        if (speculative)
            speculative->cancel();
        QCoro::Task<Output> again = whole(request, samples);
        co_return co_await std::move(again);
    }
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
