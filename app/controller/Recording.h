#pragma once

#include "app/controller/FinishedRecording.h"
#include "core/audio/AudioRecorder.h"
#include "core/store/HistoryEntry.h"
#include "platform/Clock.h"

#include <QCoroTask>
#include <QObject>
#include <QStringList>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <memory>

class Accessibility;
class AppState;
class BackgroundDucker;
class HistoryStore;
class Lexicon;
class FreedMemory;
class QThreadPool;
class RecordingOverlay;
class ServiceSelector;
class SessionStore;
class Settings;
class SoundFX;
class StreamingAsr;

// One recording, from the key that starts it to the take it hands on: the sign-in gate, the front
// application and its screen context, the streaming session, the level meter and the microphone,
// the cues, the ducking, the capsule and the recording limits; the chord keys that change its
// purpose while it runs; and its end, cancelled or stopped. The recording runs from the key on;
// the microphone opens beside it, never holding the interface. A stopped take is converted to
// 16 kHz on a worker and handed on whole in recorded(), except one too short to hold speech.
// Every take is also written to a file as it is recorded: one the program quits or crashes during
// comes back as a failed history entry, ready for a retry.
//
// Main thread only. Everything that outlives a call (timers, reads, the conversion) checks that
// this object and the recording it belongs to still exist.
class Recording : public QObject
{
    Q_OBJECT

public:
    struct Parts
    {
        AppState& state;
        Settings& settings;
        // The sign-in gate stays closed while sign-in is configured and nobody is signed in.
        SessionStore& session;
        bool signInConfigured = false;
        AudioRecorder& recorder;
        Workspace& workspace;
        Accessibility& accessibility;
        Clock& clock;
        RecordingOverlay& overlay;
        SoundFX& sounds;
        BackgroundDucker& ducker;
        // The credential for the streaming session, and the hot words it listens for.
        const ServiceSelector& services;
        std::shared_ptr<Lexicon> lexicon;
        // Where streaming sessions connect: the gateway's base address.
        QUrl streamingGateway;
        // Converts the takes.
        QThreadPool& workers;
        // Keeps the take of a recording the program quits during.
        HistoryStore& history;
        // Gives back what a long take's buffers leave in the allocator's pools.
        FreedMemory& freedMemory;
    };

    static constexpr std::chrono::milliseconds kDuckDelay{180};
    // How long a hotkey pressed right after start waits for the keyring's session before the
    // sign-in gate decides without it.
    static constexpr std::chrono::milliseconds kSessionWait{2000};
    // Takes of this many samples or fewer (0.1 s) cannot hold speech; the user is told so.
    static constexpr qsizetype kTooShortSamples = 1600;
    static inline const QString kTooShort = QStringLiteral("录音太短，未识别");
    // How long "nothing selected" stays on the capsule before it listens again.
    static constexpr std::chrono::milliseconds kNoSelectionHold{4000};
    static inline const QString kNoSelection = QStringLiteral("未读到选中文本——先选中要改的文字");
    // What the capsule says once the microphone stopped on its own, while what it heard is
    // recognised.
    static inline const QString kMicrophoneStopped = QStringLiteral("麦克风已停止");
    // The status line's word for a take the microphone cut: why, and where.
    static QString cutStatus(const TakeCut& cut);

    explicit Recording(Parts parts, QObject* parent = nullptr);
    // Quitting mid-recording (the window closed, SIGTERM) must not leave the other programs
    // ducked: the microphone stops and the volume goes back. The take so far is kept in the
    // history as a failed one, for the user to retry.
    ~Recording() override;

    // Starts a dictation when none runs, else stops the running recording.
    void toggle();
    void start(RecordingPurpose purpose = RecordingPurpose::dictate());
    void stop();
    // Abandons the running recording without recognising it (Esc).
    void cancel();
    // Switches the running recording's purpose; nothing without a recording. Rewrite reads the
    // front application's selection first, so the change may come later.
    QCoro::Task<void> switchAction(RecordingPurpose::Action key);

    const RecordingPurpose& purpose() const { return m_purpose; }
    // Where the running recording is being made, as read so far.
    const RecordingScene& scene() const { return m_scene; }
    // The running recording's streaming session, none without one.
    const std::shared_ptr<StreamingAsr>& streamingSession() const { return m_streamer; }

Q_SIGNALS:
    void recorded(const FinishedRecording& recording);

private:
    // The newest buffer level, handed from the capture thread to the overlay with at most one
    // queued call in flight, however many buffers arrive meanwhile.
    struct LevelRelay
    {
        std::atomic<float> latest{0.0f};
        std::atomic<bool> queued{false};
    };

    bool signInRequired() const;
    QCoro::Task<void> startOnceSessionLoaded(RecordingPurpose purpose);
    void begin(RecordingPurpose purpose);
    // Opens the microphone without holding the interface; a stop that came meanwhile follows.
    QCoro::Task<> openMicrophone(quint64 seq);
    void failToStart(const QString& reason);
    void relayLevels();
    // The microphone stopped on its own: the take ends there, as cut, and says so at once.
    void onMicrophoneStopped(quint64 seq, const TakeCut& cut);
    void openStreaming();
    QCoro::Task<> readScreenContext(quint64 seq, RunningApplication front, bool readText);
    void armLimits();
    void onLimit();
    void onOneMinuteLeft();
    void showListening();
    void noSelection(quint64 generation);
    // Ends the recording's timers and ducking; the capture goes on until the caller ends it.
    void endRecording();
    // Ends the recording and its capture at once; returns the take.
    AudioRecorder::Take endCapture();
    // Ends the capture once its last frames are in, then hands the take on.
    QCoro::Task<> finishCapture(FinishedRecording finished);
    // A failed entry, ready for a retry, for a take that never reached recognition.
    HistoryEntry retryEntry(const QString& action, const QDateTime& when) const;
    void keepForRetry(const AudioRecorder::Take& take);
    std::optional<QString> target() const;
    QCoro::Task<> handOver(AudioRecorder::Take take, bool boost, FinishedRecording finished);

    Parts m_parts;
    std::shared_ptr<LevelRelay> m_level = std::make_shared<LevelRelay>();

    // The running recording's own state, from its start to its stop.
    RecordingPurpose m_purpose;
    RecordingScene m_scene;
    // Tags the screen-context read of each recording, so a late read of an older one is dropped.
    quint64 m_seq = 0;
    std::shared_ptr<StreamingAsr> m_streamer;
    // The microphone of the running recording is still opening, and a stop waits for it.
    bool m_opening = false;
    bool m_stopWhenOpen = false;
    Clock::TimerId m_limitTimer = 0;
    Clock::TimerId m_warnTimer = 0;
};
