#pragma once

#include "app/controller/RecordingState.h"

#include <QCoroTask>
#include <QObject>
#include <QUrl>

#include <atomic>
#include <memory>

class AppServices;

// Turns the controller from idle into recording, in one pass on the main thread: the sign-in
// gate, the front application and its screen context, the streaming session, the level meter,
// the microphone, then the cues, the ducking, the overlay and the two recording-limit timers.
//
// Main thread only. Everything that outlives the call (timers, the screen-context read, the
// handlers) checks that this object and the recording it belongs to still exist.
class RecordingStart : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kDuckDelay{180};
    // How long a hotkey pressed right after start waits for the keyring's session before the
    // sign-in gate decides without it.
    static constexpr std::chrono::milliseconds kSessionWait{2000};

    // streamingGateway: where sessions connect (the gateway's base address).
    RecordingStart(AppServices& app, RecordingState& recording, QUrl streamingGateway, QObject* parent = nullptr);

    void startRecording();

Q_SIGNALS:
    // The recording limit has been reached; the owner stops and transcribes.
    void limitReached();

private:
    // The newest buffer level, handed from the capture thread to the overlay with at most one
    // queued call in flight, however many buffers arrive meanwhile.
    struct LevelRelay
    {
        std::atomic<float> latest{0.0f};
        std::atomic<bool> queued{false};
    };

    bool signInRequired() const;
    QCoro::Task<void> startOnceSessionLoaded();
    void begin();
    void openStreaming();
    QCoro::Task<> readScreenContext(quint64 seq, RunningApplication front, bool readText);
    void armLimits();
    void onLimit();
    void onOneMinuteLeft();

    AppServices& m_app;
    RecordingState& m_recording;
    QUrl m_streamingGateway;
    std::shared_ptr<LevelRelay> m_level = std::make_shared<LevelRelay>();
};
