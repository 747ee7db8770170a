#include "platform/linux/audio/CaptureWorker.h"

#include <QAudioSource>

#include <cstring>

namespace {

QString describe(QAudio::Error error)
{
    switch (error) {
    case QAudio::NoError:
        return {};
    case QAudio::OpenError:
        return QStringLiteral("麦克风无法打开");
    case QAudio::IOError:
        return QStringLiteral("读取麦克风时出错");
    case QAudio::UnderrunError:
        return QStringLiteral("麦克风数据中断");
    case QAudio::FatalError:
        return QStringLiteral("音频系统不可用");
    }
    return QStringLiteral("麦克风无法打开");
}

} // namespace

CaptureWorker::CaptureWorker(QAudioDevice device, QAudioFormat format, qsizetype bufferFrames)
    : m_device(std::move(device))
    , m_format(format)
    , m_bufferFrames(bufferFrames)
{}

CaptureWorker::~CaptureWorker()
{
    end();
}

QString CaptureWorker::begin(AudioInput::BufferHandler handler)
{
    end();
    m_pending.clear();
    m_pending.reserve(m_bufferFrames * m_format.bytesPerFrame() * 2);
    m_frames.resize(std::size_t(m_bufferFrames * m_format.channelCount()));
    m_source = std::make_unique<QAudioSource>(m_device, m_format);
    // Ask the server for fragments of about one buffer so each arrives in one piece.
    m_source->setBufferSize(m_bufferFrames * m_format.bytesPerFrame());
    connect(m_source.get(), &QAudioSource::stateChanged, this, [this](QAudio::State state) {
        if (state == QAudio::StoppedState && m_source && m_source->error() != QAudio::NoError)
            qWarning("audio capture stopped: %s", qPrintable(describe(m_source->error())));
    });
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    m_handler = std::move(handler);
    m_source->start(this);
    if (m_source->error() != QAudio::NoError || m_source->state() == QAudio::StoppedState) {
        const QString reason = describe(m_source->error() == QAudio::NoError ? QAudio::OpenError : m_source->error());
        end();
        return reason;
    }
    return {};
}

void CaptureWorker::end()
{
    if (m_source) {
        m_source->disconnect(this);
        m_source->stop();
        m_source.reset();
    }
    m_handler = nullptr;
    if (isOpen())
        close();
}

qint64 CaptureWorker::readData(char*, qint64)
{
    return -1;
}

qint64 CaptureWorker::writeData(const char* data, qint64 size)
{
    if (!m_handler)
        return size;
    const qsizetype bufferBytes = m_bufferFrames * m_format.bytesPerFrame();
    qsizetype offset = 0;
    // Whole buffers straight from the incoming bytes when nothing is pending avoids a copy.
    if (m_pending.isEmpty()) {
        while (size - offset >= bufferBytes && m_handler) {
            deliver(data + offset);
            offset += bufferBytes;
        }
    }
    m_pending.append(data + offset, size - offset);
    qsizetype used = 0;
    while (m_pending.size() - used >= bufferBytes && m_handler) {
        deliver(m_pending.constData() + used);
        used += bufferBytes;
    }
    m_pending.remove(0, used);
    return size;
}

void CaptureWorker::deliver(const char* bytes)
{
    const qsizetype samples = m_bufferFrames * m_format.channelCount();
    float* out = m_frames.data();
    switch (m_format.sampleFormat()) {
    case QAudioFormat::Float:
        std::memcpy(out, bytes, std::size_t(samples) * sizeof(float));
        break;
    case QAudioFormat::Int16:
        for (qsizetype i = 0; i < samples; ++i) {
            qint16 value;
            std::memcpy(&value, bytes + 2 * i, 2);
            out[i] = float(value) / 32768.0f;
        }
        break;
    case QAudioFormat::Int32:
        for (qsizetype i = 0; i < samples; ++i) {
            qint32 value;
            std::memcpy(&value, bytes + 4 * i, 4);
            out[i] = float(double(value) / 2147483648.0);
        }
        break;
    case QAudioFormat::UInt8:
        for (qsizetype i = 0; i < samples; ++i)
            out[i] = (float(quint8(bytes[i])) - 128.0f) / 128.0f;
        break;
    default:
        return;
    }
    m_handler(out, m_bufferFrames);
}
