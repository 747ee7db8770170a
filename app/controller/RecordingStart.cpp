#include "app/controller/RecordingStart.h"

#include "app/controller/AppServices.h"
#include "app/controller/DictationSetup.h"
#include "app/controller/FlowFailure.h"
#include "app/desktop/DictationKeys.h"
#include "core/async/PostToThread.h"
#include "core/audio/AudioGain.h"
#include "core/recognition/StreamingAsr.h"

#include <QPointer>

using namespace std::chrono_literals;

RecordingStart::RecordingStart(AppServices& app, RecordingState& recording, QUrl streamingGateway, QObject* parent)
    : QObject(parent)
    , m_app(app)
    , m_recording(recording)
    , m_streamingGateway(std::move(streamingGateway))
{}

bool RecordingStart::signInRequired() const
{
    return m_app.options().signIn.has_value() && !m_app.session().isLoggedIn();
}

void RecordingStart::startRecording()
{
    // Right after start the keyring may not have answered yet: a signed-in user must not meet
    // the sign-in gate for that.
    if (m_app.options().signIn && !m_app.session().isLoaded()) {
        startOnceSessionLoaded();
        return;
    }
    begin();
}

QCoro::Task<void> RecordingStart::startOnceSessionLoaded()
{
    const QPointer<RecordingStart> self(this);
    co_await m_app.session().waitUntilLoaded(kSessionWait);
    if (self)
        self->begin();
}

void RecordingStart::begin()
{
    AppState& state = m_app.state();
    Settings& settings = m_app.settings();
    if (signInRequired()) {
        // The main window shows the sign-in sheet while the gate is up.
        state.setShowLoginGate(true);
        return;
    }
    if (state.isRecording()) {
        m_recording.clearPending();
        return;
    }
    state.advanceGeneration();
    state.setCurrentAction(m_recording.pendingAsk         ? AppState::RecordAction::Ask
                           : m_recording.pendingTranslate ? AppState::RecordAction::Translate
                                                          : AppState::RecordAction::Dictate);
    ++m_recording.recordSeq;
    m_recording.screenContext.reset();
    m_recording.lastPartial.clear();
    m_recording.frontmostApp = m_app.ports().workspace.frontApplication();
    m_recording.recordStartedAt = m_app.ports().clock.now();

    m_app.recorder().setLevelHandler(
        [relay = m_level, overlay = QPointer<RecordingOverlay>(&m_app.overlay())](float level) {
            relay->latest.store(level, std::memory_order_relaxed);
            if (relay->queued.exchange(true))
                return;
            postTo(overlay.data(), [relay, overlay] {
                relay->queued.store(false);
                overlay->setLevel(relay->latest.load(std::memory_order_relaxed));
            });
        });
    openStreaming();

    try {
        m_app.recorder().start();
    } catch (...) {
        const QString reason = FlowFailure::from(std::current_exception()).userText;
        if (m_recording.streamer)
            m_recording.streamer->cancel();
        m_recording.streamer.reset();
        m_app.recorder().setStreamHandler({});
        m_recording.pendingTranslate = false;
        m_app.ducker().restore();
        state.setStatusLine(QStringLiteral("麦克风启动失败：") + reason);
        m_app.overlay().fail(QStringLiteral("麦克风启动失败 · 请再按一次"));
        return;
    }
    state.setRecording(true);
    // Started once the recording runs: a read that answers at once must find it running, and a
    // microphone that failed needs no context.
    if (m_recording.frontmostApp &&
        (settings.flag(SettingKey::contextAwareness) || settings.flag(SettingKey::contextReadText)))
        readScreenContext(m_recording.recordSeq, *m_recording.frontmostApp, settings.flag(SettingKey::contextReadText));
    m_app.hotkeys().setRecordingActive(true);
    m_app.hotkeys().setSwitchDeadline(m_app.ports().clock.now() + DictationKeys::switchWindow);
    m_app.sounds().play(QStringLiteral("start"));
    if (settings.flag(SettingKey::duckOthers)) {
        m_app.ports().clock.schedule(kDuckDelay, [self = QPointer<RecordingStart>(this)] {
            if (self && self->m_app.state().isRecording())
                self->m_app.ducker().duck();
        });
    }
    state.setStatusLine(m_recording.pendingAsk         ? QStringLiteral("正在聆听…（提问）")
                        : m_recording.pendingTranslate ? QStringLiteral("正在聆听…（译成英文）")
                                                       : QStringLiteral("正在聆听…"));
    m_app.overlay().showListening(m_recording.pendingTranslate, m_recording.pendingAsk, false);
    armLimits();
}

void RecordingStart::openStreaming()
{
    Settings& settings = m_app.settings();
    const std::optional<Credential> credential = m_app.services().gatewayCredential();
    if (!settings.flag(SettingKey::useStreaming) || !credential) {
        m_recording.streamer.reset();
        m_app.recorder().setStreamHandler({});
        return;
    }
    std::shared_ptr<StreamingAsr> session = StreamingAsr::create(m_streamingGateway, *credential, m_app.ports().clock);
    // Partials arrive on the main thread; one of a session that is no longer this recording's
    // must not overwrite the capsule of what came after.
    session->setOnPartial([self = QPointer<RecordingStart>(this), raw = session.get(),
                           showPartial = settings.flag(SettingKey::showPartial)](const QString& text) {
        if (!self || self->m_recording.streamer.get() != raw)
            return;
        self->m_recording.lastPartial = text;
        if (showPartial)
            self->m_app.overlay().setPartial(text);
    });
    session->start(m_app.lexicon()->asrHotwords(), DictationSetup::languageHint(settings));
    m_recording.streamer = session;
    m_app.recorder().setStreamHandler([weak = std::weak_ptr<StreamingAsr>(session),
                                       boost = settings.flag(SettingKey::quietBoost)](const Samples& samples) {
        const std::shared_ptr<StreamingAsr> live = weak.lock();
        if (!live)
            return;
        live->append(boost ? AudioGain::normalize(samples, 0.06f, 12.0f) : samples);
    });
}

QCoro::Task<> RecordingStart::readScreenContext(quint64 seq, RunningApplication front, bool readText)
{
    QPointer<RecordingStart> self(this);
    QCoro::Task<ScreenContext::Info> reading =
        ScreenContext::read(&m_app.ports().accessibility, &m_app.ports().workspace, front.name,
                            front.pid ? std::optional<qint32>(front.pid) : std::nullopt, readText);
    ScreenContext::Info info = co_await std::move(reading);
    // A read that outlived its recording, or was overtaken by the next one, is dropped.
    if (!self || !m_app.state().isRecording() || m_recording.recordSeq != seq)
        co_return;
    m_recording.screenContext = std::move(info);
}

void RecordingStart::armLimits()
{
    Clock& clock = m_app.ports().clock;
    clock.cancel(m_recording.maxDurationTimer);
    clock.cancel(m_recording.softWarnTimer);
    const std::chrono::minutes limit(m_app.settings().value(SettingKey::maxRecordMinutes).toInt());
    m_recording.maxDurationTimer = clock.schedule(limit, [self = QPointer<RecordingStart>(this)] {
        if (self)
            self->onLimit();
    });
    m_recording.softWarnTimer = clock.schedule(limit - 1min, [self = QPointer<RecordingStart>(this)] {
        if (self)
            self->onOneMinuteLeft();
    });
}

void RecordingStart::onLimit()
{
    m_recording.maxDurationTimer = 0;
    if (!m_app.state().isRecording())
        return;
    m_app.state().setStatusLine(
        QStringLiteral("已录满 %1 分钟，自动结束并识别").arg(m_app.settings().text(SettingKey::maxRecordMinutes)));
    Q_EMIT limitReached();
}

void RecordingStart::onOneMinuteLeft()
{
    m_recording.softWarnTimer = 0;
    if (m_app.state().isRecording())
        m_app.overlay().setPartial(QStringLiteral("还有 1 分钟到录音上限…"));
}
