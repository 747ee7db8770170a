#pragma once

#include <QAudioDevice>
#include <QAudioSource>
#include <QMediaDevices>

#include <cmath>
#include <functional>
#include <memory>

// Listens to a microphone with the sound server's shortest fragments and calls back as soon as a
// tone it has heard falls silent: the moment a user who stops as the last word ends presses the
// key. The tone is taken for silent after 3 ms below a quarter of full scale.
class ToneEndWatcher
{
public:
    explicit ToneEndWatcher(std::function<void()> onEnd)
        : m_onEnd(std::move(onEnd))
    {}

    // Qt 6.4's PulseAudio source turns the event loop while it is destroyed, and a read it queued
    // for itself would then run on its closed stream, which libpulse aborts on. Stopped first,
    // that read finds the source stopped and does nothing.
    ~ToneEndWatcher()
    {
        if (m_source)
            m_source->stop();
    }

    ToneEndWatcher(const ToneEndWatcher&) = delete;
    ToneEndWatcher& operator=(const ToneEndWatcher&) = delete;

    bool start(const QByteArray& deviceId)
    {
        QAudioDevice device;
        for (const QAudioDevice& input : QMediaDevices::audioInputs())
            if (input.id() == deviceId)
                device = input;
        if (device.isNull())
            return false;
        m_format = device.preferredFormat();
        m_format.setSampleFormat(QAudioFormat::Float);
        m_source = std::make_unique<QAudioSource>(device, m_format);
        m_source->setBufferSize(m_format.bytesForDuration(2000));
        m_stream = m_source->start();
        if (!m_stream)
            return false;
        QObject::connect(m_stream, &QIODevice::readyRead, m_stream, [this] { listen(); });
        return true;
    }

    bool heardTheEnd() const { return m_ended; }

private:
    void listen()
    {
        const QByteArray bytes = m_stream->readAll();
        const auto* samples = reinterpret_cast<const float*>(bytes.constData());
        const qsizetype count = bytes.size() / qsizetype(sizeof(float));
        const int channels = m_format.channelCount();
        for (qsizetype i = 0; i < count && !m_ended; i += channels) {
            if (std::abs(samples[i]) > 0.25f) {
                m_heard = true;
                m_quiet = 0;
            } else if (m_heard && ++m_quiet >= m_format.sampleRate() * 3 / 1000) {
                m_ended = true;
                m_onEnd();
            }
        }
    }

    std::function<void()> m_onEnd;
    QAudioFormat m_format;
    std::unique_ptr<QAudioSource> m_source;
    QIODevice* m_stream = nullptr;
    bool m_heard = false;
    bool m_ended = false;
    int m_quiet = 0;
};
