#include "app/controller/Recording.h"

#include "app/controller/ActionSwitch.h"
#include "app/controller/AppState.h"
#include "app/controller/DictationSetup.h"
#include "app/controller/FlowFailure.h"
#include "app/controller/ServiceSelector.h"
#include "app/controller/Settings.h"
#include "app/controller/TakeRecovery.h"
#include "app/desktop/BackgroundDucker.h"
#include "app/desktop/SelectedText.h"
#include "app/feedback/RecordingOverlay.h"
#include "app/feedback/SoundFX.h"
#include "core/account/SessionStore.h"
#include "core/async/PostToThread.h"
#include "core/audio/AudioGain.h"
#include "core/recognition/AsrProvider.h"
#include "core/recognition/StreamingAsr.h"
#include "core/recognition/StreamingAsrSource.h"
#include "core/store/HistoryStore.h"
#include "core/store/Lexicon.h"
#include "platform/FreedMemory.h"

#include <QCoroFuture>
#include <QPointer>
#include <QThreadPool>
#include <QtConcurrent>

using namespace std::chrono_literals;
using Action = RecordingPurpose::Action;

Recording::Recording(Parts parts, QObject* parent)
    : QObject(parent)
    , m_parts(std::move(parts))
{
    // Listed before this run records anything: these are takes an earlier run never finished.
    auto* recovery = new TakeRecovery(m_parts.history, m_parts.workers, this);
    m_parts.recorder.setJournalDirectory(m_parts.history.recordingsDir());
    if (!recovery->left().isEmpty()) {
        connect(recovery, &TakeRecovery::filed, this, [this](int count) {
            if (count > 0)
                m_parts.state.bumpHistoryVersion();
        });
        // The entries' mode and recogniser as the settings name them now; the time is the take's own.
        recovery->file(retryEntry(HistoryEntry::kDictate, QDateTime()));
    }
}

Recording::~Recording()
{
    if (!m_parts.state.isRecording())
        return;
    const AudioRecorder::Take take = m_parts.recorder.stop();
    m_parts.ducker.restore();
    keepForRetry(take);
}

HistoryEntry Recording::retryEntry(const QString& action, const QDateTime& when) const
{
    const DictationPipeline pipeline = DictationSetup::pipeline(m_parts.services, m_parts.lexicon, m_parts.clock);
    return HistoryEntry::make(QString(), HistoryEntry::kFailedText, DictationSetup::currentMode(m_parts.settings).id,
                              pipeline.provider()->id(), action, when);
}

void Recording::keepForRetry(const AudioRecorder::Take& take)
{
    if (take.expectedSamples() <= kTooShortSamples)
        return;
    // Converted and saved here, as the program ends: nothing waits for the interface any more.
    Samples samples = take.toSamples();
    if (m_parts.settings.flag(SettingKey::quietBoost))
        samples = AudioGain::boostQuietSpeech(std::move(samples));
    m_parts.history.add(retryEntry(m_purpose.historyAction(), QDateTime::currentDateTimeUtc()), samples);
    // The program is ending: the take's file goes only once the entry is on disk.
    m_parts.history.flush();
}

bool Recording::signInRequired() const
{
    return m_parts.signInConfigured && !m_parts.session.isLoggedIn();
}

void Recording::toggle()
{
    if (m_parts.state.isRecording())
        stop();
    else
        start();
}

void Recording::start(RecordingPurpose purpose)
{
    // Right after start the keyring may not have answered yet: a signed-in user must not meet
    // the sign-in gate for that.
    if (m_parts.signInConfigured && !m_parts.session.isLoaded()) {
        startOnceSessionLoaded(std::move(purpose));
        return;
    }
    begin(std::move(purpose));
}

QCoro::Task<void> Recording::startOnceSessionLoaded(RecordingPurpose purpose)
{
    const QPointer<Recording> self(this);
    co_await m_parts.session.waitUntilLoaded(kSessionWait);
    if (self)
        self->begin(std::move(purpose));
}

void Recording::begin(RecordingPurpose purpose)
{
    AppState& state = m_parts.state;
    const Settings& settings = m_parts.settings;
    if (signInRequired()) {
        // The main window shows the sign-in sheet while the gate is up.
        state.setShowLoginGate(true);
        return;
    }
    if (state.isRecording())
        return;
    state.advanceGeneration();
    m_purpose = std::move(purpose);
    ++m_seq;
    m_scene = RecordingScene{m_parts.workspace.frontApplication(), std::nullopt, QString(), std::nullopt};

    relayLevels();
    m_parts.recorder.setCutHandler([self = QPointer<Recording>(this), seq = m_seq](const TakeCut& cut) {
        postTo(self.data(), [self, seq, cut] { self->onMicrophoneStopped(seq, cut); });
    });
    openStreaming();
    // The capsule and the cue answer the key at once; the microphone opens meanwhile, and a
    // microphone that fails at once (no device) needs nothing more.
    state.setRecording(true);
    m_opening = true;
    m_stopWhenOpen = false;
    const quint64 seq = m_seq;
    openMicrophone(seq);
    if (!state.isRecording() || m_seq != seq)
        return;
    // Started once the recording runs: a read that answers at once must find it running, and a
    // microphone that failed at once needs no context.
    const bool readText = settings.flag(SettingKey::contextReadText);
    if (m_scene.startedIn && (settings.flag(SettingKey::contextAwareness) || readText))
        readScreenContext(m_seq, *m_scene.startedIn, readText);
    m_parts.sounds.play(QStringLiteral("start"));
    if (settings.flag(SettingKey::duckOthers)) {
        m_parts.clock.schedule(kDuckDelay, [self = QPointer<Recording>(this)] {
            if (self && self->m_parts.state.isRecording())
                self->m_parts.ducker.duck();
        });
    }
    state.setStatusLine(m_purpose.listeningStatus());
    showListening();
    armLimits();
}

QCoro::Task<> Recording::openMicrophone(quint64 seq)
{
    const QPointer<Recording> self(this);
    QString failure;
    try {
        co_await m_parts.recorder.start();
    } catch (...) {
        failure = FlowFailure::from(std::current_exception()).userText;
        if (failure.isEmpty())
            failure = QStringLiteral("麦克风无法打开");
    }
    // Cancelled meanwhile, or overtaken by the next recording: that one owns the microphone now.
    if (!self || m_seq != seq || !m_opening)
        co_return;
    m_opening = false;
    if (!failure.isEmpty()) {
        failToStart(failure);
        co_return;
    }
    if (std::exchange(m_stopWhenOpen, false))
        stop();
}

void Recording::failToStart(const QString& reason)
{
    AppState& state = m_parts.state;
    state.setRecording(false);
    m_parts.clock.cancel(m_limitTimer);
    m_parts.clock.cancel(m_warnTimer);
    m_limitTimer = m_warnTimer = 0;
    if (m_streamer)
        m_streamer->cancel();
    m_streamer.reset();
    m_parts.recorder.setStreamHandler({});
    m_parts.recorder.setLevelHandler({});
    m_parts.recorder.setCutHandler({});
    m_purpose = RecordingPurpose::dictate();
    m_parts.ducker.restore();
    state.setStatusLine(QStringLiteral("麦克风启动失败：") + reason);
    m_parts.overlay.fail(QStringLiteral("麦克风启动失败 · 请再按一次"));
}

void Recording::relayLevels()
{
    m_parts.recorder.setLevelHandler(
        [relay = m_level, overlay = QPointer<RecordingOverlay>(&m_parts.overlay)](float level) {
            relay->latest.store(level, std::memory_order_relaxed);
            if (relay->queued.exchange(true))
                return;
            postTo(overlay.data(), [relay, overlay] {
                relay->queued.store(false);
                overlay->setLevel(relay->latest.load(std::memory_order_relaxed));
            });
        });
}

QString Recording::cutStatus(const TakeCut& cut)
{
    return QStringLiteral("麦克风已停止：") + cut.reason + QStringLiteral(" · ") +
           HistoryEntry::cutText(double(cut.at.count()) / 1000.0) + QStringLiteral("，识别已录下的部分…");
}

void Recording::onMicrophoneStopped(quint64 seq, const TakeCut& cut)
{
    // A cut that reaches us after its recording ended belongs to a take already handed on.
    if (!m_parts.state.isRecording() || m_seq != seq)
        return;
    m_parts.state.setStatusLine(cutStatus(cut));
    m_parts.overlay.showProcessing(kMicrophoneStopped);
    // The take ends here even if the sound server comes back: what came after was never heard,
    // and a take with a hole in it would read as one sentence.
    stop();
}

void Recording::openStreaming()
{
    const Settings& settings = m_parts.settings;
    const std::optional<Credential> credential = m_parts.services.gatewayCredential();
    if (!settings.flag(SettingKey::useStreaming) || !credential) {
        m_streamer.reset();
        m_parts.recorder.setStreamHandler({});
        return;
    }
    std::shared_ptr<StreamingAsr> session =
        StreamingAsr::create(m_parts.streamingGateway, *credential, m_parts.clock, m_parts.services.credentials());
    // Partials arrive on the main thread; one of a session that is no longer this recording's
    // must not overwrite the capsule of what came after.
    session->setOnPartial([self = QPointer<Recording>(this), raw = session.get(),
                           showPartial = settings.flag(SettingKey::showPartial)](const QString& text) {
        if (!self || self->m_streamer.get() != raw)
            return;
        self->m_scene.lastPartial = text;
        if (showPartial)
            self->m_parts.overlay.setPartial(text);
    });
    session->start(m_parts.lexicon->asrHotwords(), DictationSetup::languageHint(settings));
    m_streamer = session;
    // Quiet speech is lifted as the whole take would be, with a gain that glides from buffer to
    // buffer: one that jumped at every buffer costs the recogniser words.
    std::shared_ptr<AudioGain::QuietSpeechBoost> boost;
    if (settings.flag(SettingKey::quietBoost))
        boost = std::make_shared<AudioGain::QuietSpeechBoost>();
    m_parts.recorder.setStreamHandler([weak = std::weak_ptr<StreamingAsr>(session), boost](const Samples& samples) {
        const std::shared_ptr<StreamingAsr> live = weak.lock();
        if (!live)
            return;
        live->append(boost ? boost->apply(samples) : samples);
    });
}

QCoro::Task<> Recording::readScreenContext(quint64 seq, RunningApplication front, bool readText)
{
    QPointer<Recording> self(this);
    QCoro::Task<ScreenContext::Info> reading =
        ScreenContext::read(&m_parts.accessibility, &m_parts.workspace, front.name,
                            front.pid ? std::optional<qint32>(front.pid) : std::nullopt, readText);
    ScreenContext::Info info = co_await std::move(reading);
    // A read that outlived its recording, or was overtaken by the next one, is dropped.
    if (!self || !m_parts.state.isRecording() || m_seq != seq)
        co_return;
    m_scene.screen = std::move(info);
}

void Recording::armLimits()
{
    Clock& clock = m_parts.clock;
    clock.cancel(m_limitTimer);
    clock.cancel(m_warnTimer);
    const std::chrono::minutes limit(m_parts.settings.value(SettingKey::maxRecordMinutes).toInt());
    m_limitTimer = clock.schedule(limit, [self = QPointer<Recording>(this)] {
        if (self)
            self->onLimit();
    });
    m_warnTimer = clock.schedule(limit - 1min, [self = QPointer<Recording>(this)] {
        if (self)
            self->onOneMinuteLeft();
    });
}

void Recording::onLimit()
{
    m_limitTimer = 0;
    if (!m_parts.state.isRecording())
        return;
    m_parts.state.setStatusLine(
        QStringLiteral("已录满 %1 分钟，自动结束并识别").arg(m_parts.settings.text(SettingKey::maxRecordMinutes)));
    stop();
}

void Recording::onOneMinuteLeft()
{
    m_warnTimer = 0;
    if (m_parts.state.isRecording())
        m_parts.overlay.setPartial(QStringLiteral("还有 1 分钟到录音上限…"));
}

void Recording::showListening()
{
    m_parts.overlay.showListening(m_purpose.listeningPhase());
}

QCoro::Task<void> Recording::switchAction(RecordingPurpose::Action key)
{
    AppState& state = m_parts.state;
    if (!state.isRecording())
        co_return;
    const Action current = m_purpose.action;
    std::optional<QString> selection;
    if (ActionSwitch::needsSelection(current, key)) {
        // The read waits on the front application; the recording may end or change meanwhile.
        const QPointer<Recording> self(this);
        const quint64 generation = state.generation();
        selection = co_await readSelectedText(&m_parts.accessibility);
        if (!self || !state.isRecording() || state.generation() != generation || m_purpose.action != current)
            co_return;
        if (!selection) {
            noSelection(generation);
            co_return;
        }
    }
    std::optional<RecordingPurpose> next = ActionSwitch::apply(current, key, selection);
    if (!next)
        co_return;
    m_purpose = std::move(*next);
    showListening();
    state.setStatusLine(m_purpose.listeningStatus());
}

void Recording::noSelection(quint64 generation)
{
    m_parts.state.setStatusLine(kNoSelection);
    m_parts.overlay.fail(kNoSelection);
    m_parts.clock.schedule(kNoSelectionHold, [self = QPointer<Recording>(this), generation] {
        // The status line keeps the hint; only the capsule goes back to listening.
        if (self && self->m_parts.state.isRecording() && self->m_parts.state.generation() == generation)
            self->showListening();
    });
}

void Recording::endRecording()
{
    m_opening = false;
    m_parts.state.setRecording(false);
    m_parts.clock.cancel(m_limitTimer);
    m_parts.clock.cancel(m_warnTimer);
    m_limitTimer = m_warnTimer = 0;
    m_parts.ducker.restore();
}

AudioRecorder::Take Recording::endCapture()
{
    endRecording();
    AudioRecorder::Take take = m_parts.recorder.stop();
    m_parts.recorder.setStreamHandler({});
    m_parts.recorder.setLevelHandler({});
    m_parts.recorder.setCutHandler({});
    return take;
}

std::optional<QString> Recording::target() const
{
    // Text goes where the user is now, unless that is this program (the history window): then
    // to the application the recording started in.
    const std::optional<RunningApplication> front = m_parts.workspace.frontApplication();
    if (front && !front->bundleId.isEmpty() && !m_parts.workspace.isOwn(front->bundleId))
        return front->bundleId;
    if (m_scene.startedIn)
        return m_scene.startedIn->bundleId;
    return std::nullopt;
}

void Recording::stop()
{
    AppState& state = m_parts.state;
    if (!state.isRecording())
        return;
    // Until the microphone is open there is nothing to stop; what it captures until the stop
    // takes effect is kept.
    if (m_opening) {
        m_stopWhenOpen = true;
        return;
    }
    FinishedRecording finished;
    finished.purpose = std::exchange(m_purpose, RecordingPurpose::dictate());
    if (std::shared_ptr<StreamingAsr> streamer = std::exchange(m_streamer, nullptr))
        finished.session = std::make_shared<StreamingAsrSource>(std::move(streamer));
    const std::optional<QString> to = target();
    finished.scene = std::exchange(m_scene, RecordingScene{});
    finished.scene.target = to;
    // Stale unless the take turns out long enough while no other recording has begun.
    finished.generation = state.generation();
    endRecording();
    finishCapture(std::move(finished));
}

QCoro::Task<> Recording::finishCapture(FinishedRecording finished)
{
    const QPointer<Recording> self(this);
    const quint64 seq = m_seq;
    // The last words are still on their way from the sound server; the take ends once they are in.
    QCoro::Task<AudioRecorder::Take> finishing = m_parts.recorder.finish();
    AudioRecorder::Take take = co_await std::move(finishing);
    if (!self)
        co_return;
    // A recording begun meanwhile owns the handlers and the feedback now.
    const bool current = m_seq == seq;
    if (current) {
        m_parts.recorder.setStreamHandler({});
        m_parts.recorder.setLevelHandler({});
        m_parts.recorder.setCutHandler({});
    }
    AppState& state = m_parts.state;
    finished.cut = take.cut;
    if (take.expectedSamples() <= kTooShortSamples) {
        if (finished.session)
            finished.session->cancel(QWebSocketProtocol::CloseCodeGoingAway);
        if (current) {
            const QString line = take.cut ? QStringLiteral("麦克风已停止：") + take.cut->reason : kTooShort;
            state.setStatusLine(line);
            m_parts.overlay.fail(line);
        }
        co_return;
    }
    if (current) {
        finished.generation = state.advanceGeneration();
        m_parts.sounds.play(QStringLiteral("stop"));
        if (take.cut) {
            state.setStatusLine(cutStatus(*take.cut));
            m_parts.overlay.showProcessing(kMicrophoneStopped);
        } else {
            state.setStatusLine(finished.purpose.recognisingStatus());
            m_parts.overlay.showProcessing();
        }
    }
    finished.journal = std::exchange(take.journal, nullptr);
    handOver(std::move(take), m_parts.settings.flag(SettingKey::quietBoost), std::move(finished));
}

QCoro::Task<> Recording::handOver(AudioRecorder::Take take, bool boost, FinishedRecording finished)
{
    const QPointer<Recording> self(this);
    // Resampling a take of minutes would hold the interface for several frames.
    // The samples come back shared: a take of minutes is megabytes that the interface's thread
    // should not copy out of the future.
    QFuture<std::shared_ptr<const Samples>> converting =
        QtConcurrent::run(&m_parts.workers, [take = std::move(take), boost, &freed = m_parts.freedMemory]() mutable {
            Samples samples = take.toSamples();
            take = AudioRecorder::Take();
            // The take's buffers go back to the system now, and what its dictation used once the
            // last holder of its samples lets go.
            freed.giveBack();
            const auto done = [&freed](const Samples* finished) {
                delete finished;
                freed.giveBackSoon();
            };
            return std::shared_ptr<const Samples>(
                new Samples(boost ? AudioGain::boostQuietSpeech(std::move(samples)) : std::move(samples)), done);
        });
    finished.samples = co_await converting;
    if (self)
        Q_EMIT recorded(finished);
}

void Recording::cancel()
{
    AppState& state = m_parts.state;
    if (!state.isRecording())
        return;
    m_purpose = RecordingPurpose::dictate();
    state.advanceGeneration();
    std::shared_ptr<StreamingAsr> streamer = std::exchange(m_streamer, nullptr);
    endCapture();
    if (streamer)
        streamer->cancel();
    m_parts.sounds.play(QStringLiteral("stop"));
    state.setStatusLine(QStringLiteral("已取消 · ") + state.readyStatusLine());
    m_parts.overlay.showCancelled();
}
