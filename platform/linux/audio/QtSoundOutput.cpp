#include "platform/linux/audio/QtSoundOutput.h"

#include <QAudioSink>
#include <QBuffer>
#include <QCoreApplication>
#include <QMediaDevices>
#include <QPointer>
#include <QTimer>
#include <QtEndian>

namespace {

constexpr std::chrono::milliseconds tailGrace{2000};

class QtSound : public QObject, public Sound
{
public:
    explicit QtSound(QtSoundOutput::Pcm pcm)
        : m_pcm(std::move(pcm))
    {}

    ~QtSound() override { release(); }

    void play(float volume) override
    {
        release();
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (device.isNull())
            return;
        // Without a parent: Qt hands the parent on to the sink's backend object, which would then
        // die with this sound even while the sink itself lives on.
        m_sink = new QAudioSink(device, m_pcm.format);
        m_buffer = new QBuffer(m_sink);
        m_buffer->setData(m_pcm.data);
        m_buffer->open(QIODevice::ReadOnly);
        m_sink->setVolume(qBound(0.0, double(volume), 1.0));
        const quint64 play = ++m_playSeq;
        QObject::connect(m_sink, &QAudioSink::stateChanged, this, [this, play](QAudio::State state) {
            if (play != m_playSeq || state != QAudio::IdleState || !m_buffer || !m_buffer->atEnd())
                return;
            // The sink runs dry of our data while the sound server still holds the tail of the
            // sound. The listener is told about when that tail has played, outside the sink's own
            // signal since it may well destroy this sound.
            const auto tail = std::chrono::microseconds(m_pcm.format.durationForBytes(m_sink->bufferSize()));
            const auto wait =
                std::chrono::duration_cast<std::chrono::milliseconds>(tail) + std::chrono::milliseconds(50);
            QTimer::singleShot(wait, this, [this, play] {
                if (play != m_playSeq)
                    return;
                letTailPlayOut();
                if (onFinished)
                    onFinished();
            });
        });
        m_sink->start(m_buffer);
        m_playing = m_sink->error() == QAudio::NoError;
    }

    void stop() override { release(); }

    bool isPlaying() const override { return m_playing; }

private:
    // Lets go of a sink whose data has all been handed over without stopping it: stopping drops
    // what the server has not played yet, and a busy server can be well behind the estimate.
    void letTailPlayOut()
    {
        ++m_playSeq;
        m_playing = false;
        if (!m_sink)
            return;
        QAudioSink* sink = m_sink;
        m_sink = nullptr;
        m_buffer = nullptr;
        sink->disconnect(this);
        // Kept by the application meanwhile, so nothing is left behind at exit.
        auto* keeper = new QObject(QCoreApplication::instance());
        QObject::connect(keeper, &QObject::destroyed, [sink] {
            sink->stop();
            delete sink;
        });
        QTimer::singleShot(tailGrace, keeper, [keeper] { keeper->deleteLater(); });
    }

    void release()
    {
        ++m_playSeq;
        m_playing = false;
        if (m_sink) {
            m_sink->disconnect(this);
            m_sink->stop();
            // Never called from within the sink's own signals (the end is reported from a
            // timer), so it can go at once.
            delete m_sink;
            m_sink = nullptr;
        }
        m_buffer = nullptr; // the sink's child
    }

    QtSoundOutput::Pcm m_pcm;
    QAudioSink* m_sink = nullptr;
    QBuffer* m_buffer = nullptr;
    quint64 m_playSeq = 0;
    bool m_playing = false;
};

} // namespace

std::optional<QtSoundOutput::Pcm> QtSoundOutput::parseWav(const QByteArray& wav)
{
    if (wav.size() < 12 || !wav.startsWith("RIFF") || wav.mid(8, 4) != "WAVE")
        return std::nullopt;
    int channels = 0;
    int rate = 0;
    int bits = 0;
    bool pcm = false;
    std::optional<QByteArray> data;
    qsizetype at = 12;
    while (at + 8 <= wav.size()) {
        const QByteArray tag = wav.mid(at, 4);
        const quint32 size = qFromLittleEndian<quint32>(wav.constData() + at + 4);
        const qsizetype body = at + 8;
        const qsizetype available = std::min<qsizetype>(qsizetype(size), wav.size() - body);
        if (tag == "fmt ") {
            if (available < 16)
                return std::nullopt;
            pcm = qFromLittleEndian<quint16>(wav.constData() + body) == 1;
            channels = qFromLittleEndian<quint16>(wav.constData() + body + 2);
            rate = int(std::min<quint32>(qFromLittleEndian<quint32>(wav.constData() + body + 4), 1'000'000));
            bits = qFromLittleEndian<quint16>(wav.constData() + body + 14);
        } else if (tag == "data") {
            data = wav.mid(body, available);
            break;
        }
        // Chunks are padded to an even length.
        at = body + qsizetype(size) + (size & 1);
    }
    if (!pcm || bits != 16 || channels < 1 || channels > 8 || rate < 1000 || rate > 384000 || !data)
        return std::nullopt;
    Pcm out;
    out.format.setSampleRate(rate);
    out.format.setChannelCount(channels);
    out.format.setSampleFormat(QAudioFormat::Int16);
    out.data = std::move(*data);
    out.data.truncate(out.data.size() - out.data.size() % (2 * channels));
    if (out.data.isEmpty())
        return std::nullopt;
    return out;
}

std::unique_ptr<Sound> QtSoundOutput::makeSound(const QByteArray& wav)
{
    std::optional<Pcm> pcm = parseWav(wav);
    if (!pcm)
        return nullptr;
    return std::make_unique<QtSound>(std::move(*pcm));
}
