#include "app/controller/Dictation.h"

#include "app/controller/AppState.h"
#include "app/controller/DictationStatus.h"
#include "app/controller/FailureReport.h"
#include "app/controller/TakeRecipe.h"
#include "app/controller/TextDelivery.h"
#include "app/feedback/RecordingOverlay.h"
#include "core/async/ContinueOn.h"
#include "core/async/SharedResult.h"
#include "core/recognition/AsrError.h"
#include "core/recognition/AsrProvider.h"
#include "core/store/HistoryStore.h"
#include "core/store/Lexicon.h"
#include "core/text/Graphemes.h"
#include "core/text/Styler.h"
#include "platform/Workspace.h"

#include <QCoroFuture>
#include <QPointer>
#include <QThreadPool>
#include <QtConcurrent>

using Output = DictationPipeline::Output;

namespace {

// A dictation's styler that says when styling begins, so the status line can follow.
class AnnouncedStyler : public Styler
{
public:
    AnnouncedStyler(std::shared_ptr<const Styler> inner, std::function<void()> starting)
        : m_inner(std::move(inner))
        , m_starting(std::move(starting))
    {}

    std::chrono::milliseconds timeout() const override { return m_inner->timeout(); }

    QCoro::Task<QString> apply(StyleMode mode, QString text, StylePreferences preferences, bool translate,
                               CancelToken* cancel) const override
    {
        m_starting();
        return m_inner->apply(std::move(mode), std::move(text), std::move(preferences), translate, cancel);
    }

private:
    std::shared_ptr<const Styler> m_inner;
    std::function<void()> m_starting;
};

} // namespace

Dictation::Dictation(FlowParts parts, FailureReport& failures, QObject* parent)
    : QObject(parent)
    , m_parts(std::move(parts))
    , m_failures(failures)
    , m_roads(m_parts.clock)
{}

DictationJob Dictation::jobFor(const FinishedRecording& recording) const
{
    const RecordingScene& scene = recording.scene;
    const bool translate = recording.purpose.is(RecordingPurpose::Action::Translate);
    // The mode the application's rule names, the screen's context and the style profile.
    const TakeRecipe::Occasion occasion{scene.startedIn, scene.screen, true, &m_parts.workspace, scene.target};
    TakeRecipe recipe =
        TakeRecipe::make(m_parts.state, m_parts.settings, m_parts.data, m_parts.services, m_parts.clock, occasion);
    auto styling = [state = QPointer<AppState>(&m_parts.state), generation = recording.generation] {
        if (state && state->isCurrent(generation))
            state->setStatusLine(QStringLiteral("整理中…"));
    };
    const DictationPipeline& chosen = recipe.pipeline;
    DictationPipeline pipeline(chosen.provider(), std::make_shared<AnnouncedStyler>(chosen.styler(), styling),
                               chosen.lexicon(), chosen.modes(), &m_parts.clock);
    // The entry names the recogniser that will run, so a direct key's results are not filed
    // under the gateway.
    HistoryEntry entry =
        HistoryEntry::make(QString(), HistoryEntry::kRecognisingText, recipe.entryModeId, recipe.providerId,
                           translate ? HistoryEntry::kTranslate : HistoryEntry::kDictate);
    entry.cutAt = recording.cutAtSeconds();
    DictationRoads::Request request{recording.session,
                                    std::move(pipeline),
                                    std::move(recipe.mode),
                                    std::move(recipe.preferences),
                                    translate,
                                    std::move(recipe.languageHint),
                                    std::move(recipe.vocabulary),
                                    scene.lastPartial};
    return DictationJob{std::move(request), std::move(entry), recording.generation, scene.screen, scene.target};
}

QCoro::Task<> Dictation::run(FinishedRecording recording)
{
    QPointer<Dictation> self(this);
    const DictationJob job = jobFor(recording);
    // Recognition runs while the take is encoded and saved, and the text goes in as soon as it
    // is ready: the history, which needs the saved entry, follows once the file is written.
    std::optional<Output> output;
    std::exception_ptr failure;
    const std::shared_ptr<const Samples> take = recording.samples;
    SharedResult<Output> recognition(
        [this, request = job.request, take](CancelToken&) { return m_roads.run(request, take); });
    HistoryStore& history = m_parts.data.history;
    // The take's file is let go once the entry that holds the take is on disk. The entry is
    // promised before the workers take it up, so that a quit meanwhile waits for it.
    QFuture<void> saving =
        QtConcurrent::run(&m_parts.workers, [&history, entry = job.entry, take, journal = std::move(recording.journal),
                                             promise = history.promiseAdd()]() mutable {
            history.add(entry, *take, [journal]() mutable { journal.reset(); });
            promise.reset();
        });
    // The history window shows the take as "recognising" from the moment its entry is saved.
    continueOn(saving, this, [state = &m_parts.state] { state->bumpHistoryVersion(); });
    try {
        QCoro::Task<Output> result = recognition.value();
        output = co_await std::move(result);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        co_return;
    std::optional<QCoro::Task<bool>> typing;
    if (output && !output->finalText.trimmed().isEmpty()) {
        // Filed before the text may wait for held keys: a quit or a kill meanwhile leaves the text
        // in its entry for the user to copy, not a take that failed. On the workers, which drain
        // before the program ends, so that a quit still files it. A correction the user saved
        // while this ran stays; the text is still delivered.
        saving = QtConcurrent::run(&m_parts.workers, [saving, &history, id = job.entry.id, asrText = output->asrText,
                                                      finalText = output->finalText]() mutable {
            saving.waitForFinished();
            history.replaceTexts(id, HistoryEntry::kRecognisingText, asrText, finalText);
        });
        typing.emplace(m_parts.delivery.type(output->finalText, job.targetBundleId, job.generation));
    }
    if (!saving.isFinished()) {
        co_await saving;
        if (!self)
            co_return;
    }
    // The history window shows the text while it waits.
    m_parts.state.bumpHistoryVersion();
    bool typed = false;
    if (typing) {
        typed = co_await std::move(*typing);
        if (!self)
            co_return;
    }
    const FailureReport::Dictation dictation{job.entry.id, job.generation, job.targetBundleId};
    if (failure)
        m_failures.recognitionFailed(dictation, FlowFailure::from(failure));
    else
        deliver(job, *output, take->size(), typed);
}

void Dictation::deliver(const DictationJob& job, const Output& output, qsizetype sampleCount, bool typed)
{
    AppState& state = m_parts.state;
    HistoryStore& history = m_parts.data.history;
    const FailureReport::Dictation dictation{job.entry.id, job.generation, job.targetBundleId};
    if (output.finalText.trimmed().isEmpty()) {
        // A second of audio that yields nothing is more likely a recogniser's bad moment than
        // silence: keep it so the user can try again.
        if (sampleCount >= kKeepEmptySamples) {
            m_failures.recognitionFailed(
                dictation, FlowFailure{FlowFailure::Kind::Recognition, AsrError::emptyResult().description(), true});
            return;
        }
        history.remove(job.entry.id);
        state.bumpHistoryVersion();
        if (m_parts.state.isCurrent(job.generation)) {
            state.setStatusLine(QStringLiteral("未识别到语音"));
            m_parts.overlay.hide();
        }
        return;
    }
    // The program is ending: the entry holds the text, and the clipboard would go with the program.
    if (!typed && m_parts.delivery.isStopped())
        return;
    if (!m_parts.state.isCurrent(job.generation)) {
        m_parts.delivery.finishStale(output.finalText, job.targetBundleId, typed);
    } else if (output.stylingFailed || output.stylingBlank) {
        m_failures.stylingFailed(dictation, output, job.request.preferences, job.request.translate, typed);
    } else {
        // A cut take never reads as a plain success, however it went out.
        const auto cut = [at = job.entry.cutAt](const QString& line) { return DictationStatus::noteCut(line, at); };
        const TextDelivery::Lines lines{
            cut(DictationStatus::success(output.mode.name, job.request.translate, output.asrMs, output.styleMs)),
            cut(QStringLiteral("已复制 · 按 Ctrl+V 粘贴")), cut(QStringLiteral("已复制（焦点在Murmo）")),
            cut(QStringLiteral("已复制 · 这个桌面不让程序代为输入，按 Ctrl+V 粘贴")), std::nullopt};
        m_parts.delivery.finish(output.finalText, job.targetBundleId, typed, lines);
        // Typed, the capsule would show a plain tick; copied, it shows the text and where it is.
        if (typed && job.entry.cutAt)
            m_parts.overlay.fail(HistoryEntry::cutText(*job.entry.cutAt) + kCutCapsuleNote);
    }
    learnTerms(job.screenContext, output.finalText);
}

QCoro::Task<> Dictation::learnTerms(std::optional<ScreenContext::Info> screen, QString finalText)
{
    if (!screen)
        co_return;
    const QPointer<Dictation> self(this);
    const QStringList terms = ScreenContext::extractTerms(screen->windowTitle + QLatin1Char(' ') + screen->nearbyText);
    // The lexicon's hot words grow with the user's data: they are looked through on a worker, after
    // the text has gone out, so the paste never waits on them.
    QFuture<int> adding = QtConcurrent::run(&m_parts.workers, [lexicon = m_parts.data.lexicon, terms, finalText] {
        int added = 0;
        for (const QString& term : terms) {
            if (added == kTermsPerDictation)
                break;
            if (Graphemes::count(term) < kTermMinChars || !finalText.contains(term) || lexicon->listsHotword(term))
                continue;
            lexicon->addHotword(term);
            ++added;
        }
        return added;
    });
    const int added = co_await adding;
    if (self && added > 0)
        m_parts.state.bumpHistoryVersion();
}
