#include "app/controller/RecordingStop.h"

#include "app/controller/AppContextLabel.h"
#include "app/controller/AppServices.h"
#include "app/controller/DictationSetup.h"
#include "app/controller/DictationTask.h"
#include "core/audio/AudioGain.h"
#include "core/recognition/AsrProvider.h"
#include "core/recognition/StreamingAsr.h"
#include "core/recognition/StreamingAsrSource.h"

#include <QCoroFuture>
#include <QPointer>
#include <QThreadPool>
#include <QtConcurrent>

using namespace std::chrono_literals;

RecordingStop::RecordingStop(AppServices& app, RecordingState& recording, DictationTask& dictation,
                             QThreadPool& workers, QObject* parent)
    : QObject(parent)
    , m_app(app)
    , m_recording(recording)
    , m_dictation(dictation)
    , m_workers(workers)
{}

AudioRecorder::Take RecordingStop::endCapture()
{
    m_app.state().setRecording(false);
    m_app.hotkeys().setRecordingActive(false);
    Clock& clock = m_app.ports().clock;
    clock.cancel(m_recording.maxDurationTimer);
    clock.cancel(m_recording.softWarnTimer);
    m_recording.maxDurationTimer = m_recording.softWarnTimer = 0;
    AudioRecorder::Take take = m_app.recorder().stop();
    m_app.recorder().setStreamHandler({});
    m_app.recorder().setLevelHandler({});
    m_app.ducker().restore();
    return take;
}

QCoro::Task<Samples> RecordingStop::convert(AudioRecorder::Take take, bool boost)
{
    // Resampling a take of minutes would hold the interface for several frames.
    QFuture<Samples> converting = QtConcurrent::run(&m_workers, [take = std::move(take), boost] {
        Samples samples = take.toSamples();
        if (boost)
            samples = AudioGain::normalize(std::move(samples), 0.06f, 12.0f);
        return samples;
    });
    co_return co_await converting;
}

QCoro::Task<> RecordingStop::handOver(AudioRecorder::Take take, bool boost,
                                      std::shared_ptr<StreamingTranscriptSource> session,
                                      std::optional<QString> selection)
{
    const QPointer<RecordingStop> self(this);
    const quint64 generation = m_app.state().generation();
    QCoro::Task<Samples> converting = convert(std::move(take), boost);
    const Samples samples = co_await std::move(converting);
    // A recording started meanwhile owns the overlay and the generation now; the flows would
    // take both from it.
    if (!self || m_app.state().generation() != generation) {
        if (session)
            session->cancel(QWebSocketProtocol::CloseCodeGoingAway);
        co_return;
    }
    if (selection)
        Q_EMIT rewriteRecorded(samples, session, *selection);
    else
        Q_EMIT askRecorded(samples, session);
}

QCoro::Task<> RecordingStop::transcribe(AudioRecorder::Take take, DictationJob job)
{
    const QPointer<RecordingStop> self(this);
    // The dictation boosts the take itself, where it also decides whether a worker is worth it.
    QCoro::Task<Samples> converting = convert(std::move(take), false);
    job.samples = co_await std::move(converting);
    // A recording started meanwhile has made this dictation's generation an old one; the task
    // then leaves the overlay and the status line to the new recording.
    if (self)
        m_dictation.run(std::move(job));
}

void RecordingStop::stopAndTranscribe()
{
    AppState& state = m_app.state();
    if (!state.isRecording())
        return;
    const bool translate = m_recording.pendingTranslate;
    const bool ask = m_recording.pendingAsk;
    const bool rewrite = m_recording.pendingRewrite;
    const std::optional<QString> selection = m_recording.rewriteSelection;
    m_recording.clearPending();
    std::shared_ptr<StreamingAsr> streamer = std::exchange(m_recording.streamer, nullptr);
    std::shared_ptr<StreamingTranscriptSource> session =
        streamer ? std::make_shared<StreamingAsrSource>(streamer) : nullptr;
    AudioRecorder::Take take = endCapture();

    if (take.expectedSamples() <= kTooShortSamples) {
        if (session)
            session->cancel(QWebSocketProtocol::CloseCodeGoingAway);
        state.setStatusLine(state.readyStatusLine());
        m_app.overlay().hide();
        return;
    }
    const bool boost = m_app.settings().flag(SettingKey::quietBoost);
    if (ask || (rewrite && selection)) {
        // Questions and rewrites are short; their flows take the boosted take as it is.
        handOver(std::move(take), boost, session, ask ? std::nullopt : selection);
        return;
    }

    m_app.sounds().play(QStringLiteral("stop"));
    state.setStatusLine(QStringLiteral("识别中…"));
    m_app.overlay().showProcessing();

    DictationPipeline pipeline = DictationSetup::pipeline(m_app.services(), m_app.lexicon(), m_app.ports().clock);
    // The entry names the recogniser that will run, so a direct key's results are not filed
    // under the gateway.
    HistoryEntry entry = HistoryEntry::make(QString(), kPlaceholder, DictationSetup::currentMode(m_app.settings()).id,
                                            pipeline.provider()->id(),
                                            translate ? QStringLiteral("translate") : QStringLiteral("dictate"));

    const std::optional<QString> target = targetBundleId();
    StylePreferences preferences = state.preferences();
    if (m_recording.screenContext) {
        if (const std::optional<QString> line = ScreenContext::promptLine(*m_recording.screenContext))
            preferences.contextSection = *line;
    }
    preferences.profileSection = m_app.styleProfile().promptFragment();
    preferences.appContext =
        AppContextLabel::label(m_app.settings().flag(SettingKey::autoCompose), m_recording.screenContext,
                               m_app.ports().workspace, target, m_recording.frontmostApp);

    DictationJob job{session,
                     defaultMode(),
                     Samples(),
                     boost,
                     DictationSetup::languageHint(m_app.settings()),
                     std::move(pipeline),
                     std::move(preferences),
                     translate,
                     m_recording.lastPartial,
                     std::move(entry),
                     state.advanceGeneration(),
                     m_recording.screenContext,
                     target};
    transcribe(std::move(take), std::move(job));
}

StyleMode RecordingStop::defaultMode() const
{
    const StyleMode current = DictationSetup::currentMode(m_app.settings());
    if (!m_recording.frontmostApp)
        return current;
    const StyleMode* ruled = StyleMode::byId(m_app.settings().appModeRules().value(m_recording.frontmostApp->bundleId));
    return ruled ? *ruled : current;
}

std::optional<QString> RecordingStop::targetBundleId() const
{
    // Text goes where the user is now, unless that is this program (the history window): then
    // to the application the recording started in.
    const std::optional<RunningApplication> front = m_app.ports().workspace.frontApplication();
    if (front && !front->bundleId.isEmpty() && front->bundleId != m_app.ports().workspace.ownBundleId())
        return front->bundleId;
    if (m_recording.frontmostApp)
        return m_recording.frontmostApp->bundleId;
    return std::nullopt;
}

void RecordingStop::cancelDictation()
{
    AppState& state = m_app.state();
    if (!state.isRecording())
        return;
    m_recording.clearPending();
    state.setCurrentAction(AppState::RecordAction::Dictate);
    state.advanceGeneration();
    std::shared_ptr<StreamingAsr> streamer = std::exchange(m_recording.streamer, nullptr);
    endCapture();
    if (streamer)
        streamer->cancel();
    m_app.sounds().play(QStringLiteral("stop"));
    state.setStatusLine(QStringLiteral("已取消 · ") + state.readyStatusLine());
    m_app.overlay().showCancelled();
}
