#include "app/controller/DictationTask.h"

#include "app/controller/AppServices.h"
#include "app/controller/DictationStatus.h"
#include "app/controller/FailureReport.h"
#include "core/async/SharedResult.h"
#include "core/audio/AudioGain.h"
#include "core/recognition/AsrError.h"
#include "core/text/Graphemes.h"
#include "platform/Clipboard.h"
#include "platform/Workspace.h"

#include <QCoroFuture>
#include <QPointer>
#include <QThreadPool>
#include <QtConcurrent>

using Output = DictationPipeline::Output;
using std::chrono::milliseconds;

namespace {

int msSince(const Clock& clock, milliseconds start)
{
    return int((clock.now() - start).count());
}

} // namespace

DictationTask::DictationTask(AppServices& app, FailureReport& failures, QThreadPool& workers, QObject* parent)
    : QObject(parent)
    , m_app(app)
    , m_failures(failures)
    , m_workers(workers)
    , m_race(app.ports().clock)
{}

bool DictationTask::isCurrent(const DictationJob& job) const
{
    return m_app.state().generation() == job.generation;
}

QCoro::Task<> DictationTask::run(DictationJob job)
{
    QPointer<DictationTask> self(this);
    // Boosting a long take would hold the interface for several frames; a short one costs less
    // than the trip to a worker and back.
    Samples samples = std::move(job.samples);
    if (job.quietBoost && qsizetype(samples.size()) <= kInlineBoostSamples) {
        samples = AudioGain::normalize(std::move(samples), 0.06f, 12.0f);
    } else if (job.quietBoost) {
        QFuture<Samples> boosting = QtConcurrent::run(&m_workers, [samples = std::move(samples)]() mutable {
            return AudioGain::normalize(std::move(samples), 0.06f, 12.0f);
        });
        samples = co_await boosting;
        if (!self)
            co_return;
    }
    // Recognition runs while the take is encoded and saved, and the text goes in as soon as it
    // is ready: the history, which needs the saved entry, follows once the file is written.
    std::optional<Output> output;
    std::exception_ptr failure;
    // Shared rather than copied: a long take is tens of megabytes.
    const auto take = std::make_shared<const Samples>(std::move(samples));
    SharedResult<Output> recognition([this, job, take](CancelToken&) { return obtain(job, take); });
    HistoryStore& history = m_app.history();
    QFuture<void> saving =
        QtConcurrent::run(&m_workers, [&history, entry = job.entry, take] { history.add(entry, *take); });
    try {
        QCoro::Task<Output> result = recognition.value();
        output = co_await std::move(result);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        co_return;
    bool inserted = false;
    if (output && !output->finalText.trimmed().isEmpty() && !isOwnApp(job))
        inserted = m_app.inserter().insert(output->finalText, job.targetBundleId);
    if (!saving.isFinished()) {
        co_await saving;
        if (!self)
            co_return;
    }
    m_app.state().bumpHistoryVersion();
    const FailureReport::Dictation dictation{job.entry.id, job.generation, job.targetBundleId};
    if (failure)
        m_failures.recognitionFailed(dictation, FlowFailure::from(failure));
    else
        deliver(job, *output, take->size(), inserted);
}

bool DictationTask::isOwnApp(const DictationJob& job) const
{
    return job.targetBundleId == m_app.ports().workspace.ownBundleId();
}

QCoro::Task<Output> DictationTask::obtain(DictationJob job, std::shared_ptr<const Samples> take)
{
    const Samples& samples = *take;
    if (!job.session) {
        QCoro::Task<Output> whole =
            job.pipeline.run(samples, job.mode, job.preferences, job.translate, job.languageHint);
        co_return co_await std::move(whole);
    }
    const milliseconds asrStart = m_app.ports().clock.now();
    TranscriptRace::BatchRecognition batch{job.pipeline.provider(), m_app.lexicon()->asrHotwords(), samples,
                                           job.languageHint};
    bool fellThrough = false;
    try {
        if (job.mode.id == QLatin1String("formal") && samples.size() >= kFormalMinSamples) {
            const DictationPipeline pipeline = job.pipeline;
            TranscriptRace::Style style = [pipeline, mode = job.mode, preferences = job.preferences,
                                           translate = job.translate](QString raw, int asrMs, CancelToken* cancel) {
                return pipeline.process(std::move(raw), mode, preferences, translate, asrMs, cancel);
            };
            QCoro::Task<Output> formal = m_race.formalOverlapOutput(job.session, batch, style, asrStart);
            co_return co_await std::move(formal);
        }
        QCoro::Task<Output> race = raceRoad(job, samples, batch, asrStart);
        co_return co_await std::move(race);
    } catch (...) {
        fellThrough = true;
    }
    // Whatever broke on a streaming road, the whole take is recognised once more; only that
    // attempt's failure is reported.
    Q_ASSERT(fellThrough);
    QCoro::Task<Output> whole = job.pipeline.run(samples, job.mode, job.preferences, job.translate, job.languageHint);
    co_return co_await std::move(whole);
}

QCoro::Task<Output> DictationTask::raceRoad(const DictationJob& job, const Samples& samples,
                                            TranscriptRace::BatchRecognition batch, milliseconds asrStart)
{
    const QString partial = job.lastPartial.trimmed();
    std::optional<SharedResult<Output>> speculative;
    if (Graphemes::count(partial) >= kSpeculativeMinChars) {
        speculative.emplace([pipeline = job.pipeline, partial, mode = job.mode, preferences = job.preferences,
                             translate = job.translate](CancelToken& cancel) {
            return pipeline.process(partial, mode, preferences, translate, 0, &cancel);
        });
    }
    QCoro::Task<QString> finishing = m_race.finishRaw(job.session, std::move(batch));
    const QString raw = co_await std::move(finishing);
    const int asrMs = msSince(m_app.ports().clock, asrStart);

    if (raw.trimmed().isEmpty()) {
        if (speculative)
            speculative->cancel();
        QCoro::Task<Output> whole =
            job.pipeline.run(samples, job.mode, job.preferences, job.translate, job.languageHint);
        co_return co_await std::move(whole);
    }
    if (speculative && TranscriptRace::squashWS(raw) == TranscriptRace::squashWS(partial)) {
        QCoro::Task<Output> early = speculative->value();
        Output output = co_await std::move(early);
        output.asrMs = asrMs;
        co_return output;
    }
    if (speculative)
        speculative->cancel();
    QCoro::Task<Output> styling = job.pipeline.process(raw, job.mode, job.preferences, job.translate, asrMs);
    co_return co_await std::move(styling);
}

void DictationTask::deliver(const DictationJob& job, const Output& output, qsizetype sampleCount, bool inserted)
{
    AppState& state = m_app.state();
    const FailureReport::Dictation dictation{job.entry.id, job.generation, job.targetBundleId};
    if (output.finalText.trimmed().isEmpty()) {
        // A second of audio that yields nothing is more likely a recogniser's bad moment than
        // silence: keep it so the user can try again.
        if (sampleCount >= kKeepEmptySamples) {
            m_failures.recognitionFailed(
                dictation, FlowFailure{FlowFailure::Kind::Recognition, AsrError::emptyResult().description(), true});
            return;
        }
        m_app.history().remove(job.entry.id);
        state.bumpHistoryVersion();
        if (isCurrent(job)) {
            state.setStatusLine(QStringLiteral("未识别到语音"));
            m_app.overlay().hide();
        }
        return;
    }
    // A correction the user saved while this ran stays; the text is still delivered.
    m_app.history().replaceTexts(job.entry.id, HistoryEntry::kRecognisingText, output.asrText, output.finalText);
    state.bumpHistoryVersion();
    learnTerms(job, output.finalText);

    const bool ownApp = isOwnApp(job);
    if (!isCurrent(job))
        return;
    if (output.stylingFailed) {
        m_failures.stylingFailed(dictation, output, job.preferences, job.translate, inserted);
        return;
    }
    if (inserted) {
        state.setStatusLine(DictationStatus::success(output.mode.name, job.translate, output.asrMs, output.styleMs));
    } else {
        // The inserter left the text on the clipboard already when it could not insert.
        if (ownApp)
            m_app.ports().clipboard.setText(output.finalText);
        state.setStatusLine(ownApp ? QStringLiteral("已复制（焦点在Murmo）")
                                   : QStringLiteral("已复制 · 授予「辅助功能」后可自动上屏"));
    }
    m_app.overlay().finish(output.finalText, inserted, std::nullopt);
}

void DictationTask::learnTerms(const DictationJob& job, const QString& finalText)
{
    if (!job.screenContext)
        return;
    Lexicon& lexicon = *m_app.lexicon();
    const QStringList known = lexicon.hotwords();
    const QStringList terms =
        ScreenContext::extractTerms(job.screenContext->windowTitle + QLatin1Char(' ') + job.screenContext->nearbyText);
    int added = 0;
    for (const QString& term : terms) {
        if (added == kTermsPerDictation)
            break;
        if (Graphemes::count(term) < kTermMinChars || known.contains(term) || !finalText.contains(term))
            continue;
        lexicon.addHotword(term);
        ++added;
    }
    if (added > 0)
        m_app.state().bumpHistoryVersion();
}
