#pragma once

#include "platform/AudioInput.h"

#include <QByteArray>

#include <memory>

class QThread;
class CaptureWorker;

// The microphone through Qt Multimedia (PulseAudio or PipeWire underneath). It records in the
// device's own rate and channel count on a capture thread of its own and hands over buffers of
// 4096 frames. Without a device id it takes the sound server's default source.
class QtAudioInput : public AudioInput
{
public:
    // `deviceId` is a Qt audio device id (the PulseAudio source name); empty means the default.
    explicit QtAudioInput(QByteArray deviceId = {});
    ~QtAudioInput() override;

    std::optional<AudioInputFormat> prepare(QString* error) override;
    QFuture<QString> start(BufferHandler handler, LossHandler lost) override;
    void stop() override;
    QFuture<void> finish() override;

    static constexpr qsizetype kBufferFrames = 4096;

private:
    QByteArray m_deviceId;
    std::unique_ptr<QThread> m_thread;
    // Lives on m_thread; deleted there.
    CaptureWorker* m_worker = nullptr;
};
