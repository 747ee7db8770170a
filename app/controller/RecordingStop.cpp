#include "app/controller/RecordingStop.h"

#include "app/controller/AppContextLabel.h"
#include "app/controller/AppServices.h"
#include "app/controller/DictationSetup.h"
#include "app/controller/DictationTask.h"
#include "core/audio/AudioGain.h"
#include "core/recognition/AsrProvider.h"
#include "core/recognition/StreamingAsr.h"
#include "core/recognition/StreamingAsrSource.h"

using namespace std::chrono_literals;

RecordingStop::RecordingStop(AppServices& app, RecordingState& recording, DictationTask& dictation, QObject* parent)
    : QObject(parent)
    , m_app(app)
    , m_recording(recording)
    , m_dictation(dictation)
{}

Samples RecordingStop::endCapture()
{
    m_app.state().setRecording(false);
    m_app.hotkeys().setRecordingActive(false);
    Clock& clock = m_app.ports().clock;
    clock.cancel(m_recording.maxDurationTimer);
    clock.cancel(m_recording.softWarnTimer);
    m_recording.maxDurationTimer = m_recording.softWarnTimer = 0;
    Samples samples = m_app.recorder().stop();
    m_app.recorder().setStreamHandler({});
    m_app.recorder().setLevelHandler({});
    m_app.ducker().restore();
    return samples;
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
    Samples samples = endCapture();

    if (samples.size() <= kTooShortSamples) {
        if (session)
            session->cancel(QWebSocketProtocol::CloseCodeGoingAway);
        state.setStatusLine(state.readyStatusLine());
        m_app.overlay().hide();
        return;
    }
    const bool boost = m_app.settings().quietBoost();
    if (ask || (rewrite && selection)) {
        // Questions and rewrites are short; their flows take the boosted take as it is.
        if (boost)
            samples = AudioGain::normalize(std::move(samples), 0.06f, 12.0f);
        if (ask)
            Q_EMIT askRecorded(samples, session);
        else
            Q_EMIT rewriteRecorded(samples, session, *selection);
        return;
    }

    if (m_app.sounds().enabled())
        m_app.sounds().play(QStringLiteral("stop"));
    state.setStatusLine(QStringLiteral("识别中…"));
    m_app.overlay().showProcessing();

    DictationPipeline pipeline = DictationSetup::pipeline(m_app);
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
    preferences.appContext = AppContextLabel::label(m_app.settings().autoCompose(), m_recording.screenContext,
                                                    m_app.ports().workspace, target, m_recording.frontmostApp);

    DictationJob job{session,
                     defaultMode(),
                     std::move(samples),
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
    m_dictation.run(std::move(job));
}

StyleMode RecordingStop::defaultMode() const
{
    const StyleMode current = DictationSetup::currentMode(m_app.settings());
    if (!m_recording.frontmostApp)
        return current;
    const QString ruled = m_app.settings().appModeRules().value(m_recording.frontmostApp->bundleId);
    for (const StyleMode& mode : StyleMode::builtins())
        if (!ruled.isEmpty() && mode.id == ruled)
            return mode;
    return current;
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
    if (m_app.sounds().enabled())
        m_app.sounds().play(QStringLiteral("stop"));
    state.setStatusLine(QStringLiteral("已取消 · ") + state.readyStatusLine());
    m_app.overlay().showCancelled();
}
