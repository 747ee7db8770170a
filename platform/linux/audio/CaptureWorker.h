#pragma once

#include "platform/AudioInput.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QIODevice>

#include <memory>

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
    QString begin(AudioInput::BufferHandler handler);
    void end();

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    void deliver(const char* bytes);

    QAudioDevice m_device;
    QAudioFormat m_format;
    qsizetype m_bufferFrames;
    std::unique_ptr<QAudioSource> m_source;
    AudioInput::BufferHandler m_handler;
    QByteArray m_pending;
    std::vector<float> m_frames;
};
