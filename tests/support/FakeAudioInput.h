#pragma once

#include "platform/AudioInput.h"

#include <QObject>
#include <QPromise>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

// A microphone the test feeds by hand. deliver() calls the handler on the calling thread, as the
// capture thread would; it reaches the handler only while started, unless the test plays a late
// buffer with deliverDuringStop. It opens at once, unless the test holds its opens: then a start
// stays pending, delivering nothing, until openHeld() (or, with a delay, the delay has passed in
// real time, as a slow sound server's would).
class FakeAudioInput : public AudioInput
{
public:
    explicit FakeAudioInput(AudioInputFormat format = {48000, 1});
    ~FakeAudioInput() override;

    std::optional<AudioInputFormat> prepare(QString* error) override;
    QFuture<QString> start(BufferHandler handler, LossHandler lost) override;
    void stop() override;

    // Interleaved frames in the input's format.
    void deliver(const std::vector<float>& frames);
    // Delivers `seconds` of a sine of `amplitude` on every channel in buffers of `bufferFrames`.
    void deliverSine(double seconds, float amplitude, qsizetype bufferFrames = 4096, double frequency = 440.0);

    // The device stops on its own, as when the sound server goes away: the loss handler hears why.
    void lose(const QString& reason);

    void setFormat(AudioInputFormat format) { m_format = format; }
    // The next prepare() / start() fails with this text.
    void failNextPrepare(QString error) { m_prepareError = std::move(error); }
    void failNextStart(QString error) { m_startError = std::move(error); }
    // Later starts stay pending until openHeld(); with a delay, each opens by itself after it.
    void holdOpens(bool hold, std::chrono::milliseconds delay = std::chrono::milliseconds(0));
    // Opens the pending start: the handler is live from now on.
    void openHeld();
    bool isOpening() const { return m_pending.has_value(); }
    // stop() hands this buffer to the handler once more before it stops, the way a real device may
    // deliver one last buffer while it is being stopped.
    void deliverDuringStop(std::vector<float> frames) { m_lateBuffer = std::move(frames); }

    bool isStarted() const { return bool(m_handler); }
    int prepareCount() const { return m_prepares; }
    int startCount() const { return m_starts; }
    int stopCount() const { return m_stops; }

private:
    AudioInputFormat m_format;
    BufferHandler m_handler;
    LossHandler m_lost;
    bool m_holdOpens = false;
    std::chrono::milliseconds m_openDelay{0};
    struct PendingOpen
    {
        BufferHandler handler;
        LossHandler lost;
        std::shared_ptr<QPromise<QString>> promise;
        QString failure;
    };
    std::optional<PendingOpen> m_pending;
    // Bounds the delayed opens to this input's life.
    std::unique_ptr<QObject> m_timers = std::make_unique<QObject>();
    QString m_prepareError;
    QString m_startError;
    std::vector<float> m_lateBuffer;
    double m_phase = 0.0;
    int m_prepares = 0;
    int m_starts = 0;
    int m_stops = 0;
};
