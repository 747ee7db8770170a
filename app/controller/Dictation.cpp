#include "app/controller/Dictation.h"

#include "app/controller/AppContextLabel.h"
#include "app/controller/AppState.h"
#include "app/controller/DictationSetup.h"
#include "app/controller/DictationStatus.h"
#include "app/controller/FailureReport.h"
#include "app/controller/Settings.h"
#include "app/controller/TextDelivery.h"
#include "app/feedback/RecordingOverlay.h"
#include "core/async/SharedResult.h"
#include "core/recognition/AsrError.h"
#include "core/recognition/AsrProvider.h"
#include "core/store/HistoryStore.h"
#include "core/store/Lexicon.h"
#include "core/store/StyleProfile.h"
#include "core/text/Graphemes.h"
#include "platform/Workspace.h"

#include <QCoroFuture>
#include <QPointer>
#include <QThreadPool>
#include <QtConcurrent>

using Output = DictationPipeline::Output;

Dictation::Dictation(Parts parts, QObject* parent)
    : QObject(parent)
    , m_parts(std::move(parts))
    , m_roads(m_parts.clock)
{}

bool Dictation::isCurrent(const DictationJob& job) const
{
    return m_parts.state.generation() == job.generation;
}

StyleMode Dictation::modeFor(const RecordingScene& scene) const
{
    const Settings& settings = m_parts.state.settings();
    const StyleMode current = DictationSetup::currentMode(settings);
    if (!scene.startedIn)
        return current;
    const StyleMode* ruled = StyleMode::byId(settings.appModeRules().value(scene.startedIn->bundleId));
    return ruled ? *ruled : current;
}

DictationJob Dictation::jobFor(const FinishedRecording& recording) const
{
    const Settings& settings = m_parts.state.settings();
    const RecordingScene& scene = recording.scene;
    const bool translate = recording.purpose.is(RecordingPurpose::Action::Translate);
    DictationPipeline pipeline = DictationSetup::pipeline(m_parts.services, m_parts.data.lexicon, m_parts.clock);
    // The entry names the recogniser that will run, so a direct key's results are not filed
    // under the gateway.
    HistoryEntry entry = HistoryEntry::make(QString(), HistoryEntry::kRecognisingText,
                                            DictationSetup::currentMode(settings).id, pipeline.provider()->id(),
                                            translate ? QStringLiteral("translate") : QStringLiteral("dictate"));
    StylePreferences preferences = m_parts.state.preferences();
    if (scene.screen) {
        if (const std::optional<QString> line = ScreenContext::promptLine(*scene.screen))
            preferences.contextSection = *line;
    }
    preferences.profileSection = m_parts.data.styleProfile.promptFragment();
    preferences.appContext = AppContextLabel::label(settings.flag(SettingKey::autoCompose), scene.screen,
                                                    m_parts.workspace, scene.target, scene.startedIn);
    DictationRoads::Request request{recording.session,
                                    std::move(pipeline),
                                    modeFor(scene),
                                    std::move(preferences),
                                    translate,
                                    DictationSetup::languageHint(settings),
                                    m_parts.data.lexicon->asrHotwords(),
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
    // The take's file is let go once the entry that holds the take is on disk.
    QFuture<void> saving = QtConcurrent::run(
        &m_parts.workers, [&history, entry = job.entry, take, journal = std::move(recording.journal)]() mutable {
            history.add(entry, *take);
            history.flush();
            journal.reset();
        });
    try {
        QCoro::Task<Output> result = recognition.value();
        output = co_await std::move(result);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self)
        co_return;
    std::optional<QCoro::Task<bool>> typing;
    if (output && !output->finalText.trimmed().isEmpty())
        typing.emplace(m_parts.delivery.type(output->finalText, job.targetBundleId));
    if (!saving.isFinished()) {
        co_await saving;
        if (!self)
            co_return;
    }
    bool typed = false;
    if (typing) {
        typed = co_await std::move(*typing);
        if (!self)
            co_return;
    }
    m_parts.state.bumpHistoryVersion();
    const FailureReport::Dictation dictation{job.entry.id, job.generation, job.targetBundleId};
    if (failure)
        m_parts.failures.recognitionFailed(dictation, FlowFailure::from(failure));
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
            m_parts.failures.recognitionFailed(
                dictation, FlowFailure{FlowFailure::Kind::Recognition, AsrError::emptyResult().description(), true});
            return;
        }
        history.remove(job.entry.id);
        state.bumpHistoryVersion();
        if (isCurrent(job)) {
            state.setStatusLine(QStringLiteral("未识别到语音"));
            m_parts.overlay.hide();
        }
        return;
    }
    // A correction the user saved while this ran stays; the text is still delivered.
    history.replaceTexts(job.entry.id, HistoryEntry::kRecognisingText, output.asrText, output.finalText);
    state.bumpHistoryVersion();
    learnTerms(job, output.finalText);

    if (!isCurrent(job)) {
        m_parts.delivery.finishStale(output.finalText, job.targetBundleId, typed);
        return;
    }
    if (output.stylingFailed) {
        m_parts.failures.stylingFailed(dictation, output, job.request.preferences, job.request.translate, typed);
        return;
    }
    const TextDelivery::Lines lines{
        DictationStatus::success(output.mode.name, job.request.translate, output.asrMs, output.styleMs),
        QStringLiteral("已复制 · 按 Ctrl+V 粘贴"), QStringLiteral("已复制（焦点在Murmo）"),
        QStringLiteral("已复制 · 授予「辅助功能」后可自动上屏"), std::nullopt};
    m_parts.delivery.finish(output.finalText, job.targetBundleId, typed, lines);
}

void Dictation::learnTerms(const DictationJob& job, const QString& finalText)
{
    if (!job.screenContext)
        return;
    Lexicon& lexicon = *m_parts.data.lexicon;
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
        m_parts.state.bumpHistoryVersion();
}
