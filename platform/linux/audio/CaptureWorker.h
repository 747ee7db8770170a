#pragma once

#include "platform/AudioInput.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QIODevice>
#include <QPromise>
#include <QTimer>

#include <chrono>
#include <memory>
#include <optional>

class QAudioSource;

// The capture thread's half of QtAudioInput: owns the QAudioSource, receives its bytes as a
// write-only device and cuts them into fixed buffers of float frames. Every member runs on the
// capture thread.
class CaptureWorker : public QIODevice
{
    Q_OBJECT

public:
    CaptureWorker(QAudioDevice device, QAudioFormat format, qsizetype bufferFrames);
    ~CaptureWorker() override;

    // Empty on success, else why the device would not open.
    QString begin(AudioInput::BufferHandler handler, AudioInput::LossHandler lost);
    // Stops at once; what has not been handed on yet is dropped.
    void end();
    // Goes on until the frames heard at `pressed` have arrived, hands them on (the last buffer
    // partial) and ends; `done` finishes then, or when end() comes first.
    void finish(std::chrono::steady_clock::time_point pressed, std::shared_ptr<QPromise<void>> done);

    // How long the sound server may keep frames before it sends them; short, so a take's last
    // frames arrive soon after the stop.
    static constexpr std::chrono::microseconds kFragment{10000};
    // A server that stops sending while the take finishes is given up on after this.
    static constexpr std::chrono::milliseconds kFinishLimit{300};

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    void deliver(const char* bytes, qsizetype frames);
    // Hands on what is pending (up to the finish point while finishing), as one last buffer.
    void deliverRest();
    // The source stopped by itself: what it gave is handed on, then the loss is told.
    void lose(const QString& reason);

    QAudioDevice m_device;
    QAudioFormat m_format;
    qsizetype m_bufferFrames;
    std::unique_ptr<QAudioSource> m_source;
    AudioInput::BufferHandler m_handler;
    AudioInput::LossHandler m_lost;
    QByteArray m_pending;
    std::vector<float> m_frames;
    // Frames received from the source since begin().
    qint64 m_received = 0;
    // Frames handed to the handler since begin().
    qint64 m_delivered = 0;
    // While finishing: the frame count at which the take ends, and who waits for it.
    std::optional<qint64> m_finishAt;
    std::shared_ptr<QPromise<void>> m_finishing;
    QTimer m_finishLimit;
};
