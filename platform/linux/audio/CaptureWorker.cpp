#include "platform/linux/audio/CaptureWorker.h"

#include <QAudioSource>

#include <algorithm>
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
    , m_finishLimit(this)
{
    m_finishLimit.setSingleShot(true);
    m_finishLimit.setInterval(kFinishLimit);
    connect(&m_finishLimit, &QTimer::timeout, this, [this] {
        deliverRest();
        end();
    });
}

CaptureWorker::~CaptureWorker()
{
    end();
}

QString CaptureWorker::begin(AudioInput::BufferHandler handler, AudioInput::LossHandler lost)
{
    end();
    m_pending.clear();
    m_pending.reserve(m_bufferFrames * m_format.bytesPerFrame() * 2);
    m_frames.resize(std::size_t(m_bufferFrames * m_format.channelCount()));
    m_received = 0;
    m_delivered = 0;
    m_source = std::make_unique<QAudioSource>(m_device, m_format);
    // Small fragments: the server sends what it has every few milliseconds instead of holding a
    // whole buffer's worth, which a stop would otherwise have to wait for or lose.
    m_source->setBufferSize(m_format.bytesForDuration(kFragment.count()));
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    m_handler = std::move(handler);
    m_source->start(this);
    if (m_source->error() != QAudio::NoError || m_source->state() == QAudio::StoppedState) {
        const QString reason = describe(m_source->error() == QAudio::NoError ? QAudio::OpenError : m_source->error());
        end();
        return reason;
    }
    // Connected once open: a source that would not open is told by the answer above, not as a loss.
    connect(m_source.get(), &QAudioSource::stateChanged, this, [this](QAudio::State state) {
        if (state == QAudio::StoppedState && m_source && m_source->error() != QAudio::NoError)
            lose(describe(m_source->error()));
    });
    m_lost = std::move(lost);
    return {};
}

void CaptureWorker::lose(const QString& reason)
{
    qWarning("audio capture stopped: %s", qPrintable(reason));
    if (!m_finishAt)
        m_finishAt = m_received;
    deliverRest();
    m_handler = nullptr;
    const AudioInput::LossHandler lost = std::exchange(m_lost, nullptr);
    // A take finishing meanwhile ends with what it has; it was cut all the same.
    if (std::shared_ptr<QPromise<void>> done = std::exchange(m_finishing, nullptr))
        done->finish();
    if (lost)
        lost(reason);
    // The source is inside its own signal: it goes from the event loop.
    QMetaObject::invokeMethod(this, &CaptureWorker::end, Qt::QueuedConnection);
}

void CaptureWorker::end()
{
    m_finishLimit.stop();
    if (m_source) {
        m_source->disconnect(this);
        m_source->stop();
        // Qt 6.4's PulseAudio source turns this thread's event loop while it is destroyed, which
        // would run calls queued to us (a begin(), a stop() the main thread waits for, our own
        // deletion) in the middle of this one: it goes from the event loop instead, stopped.
        m_source.release()->deleteLater();
    }
    m_handler = nullptr;
    m_lost = nullptr;
    m_pending.clear();
    m_finishAt.reset();
    if (isOpen())
        close();
    if (std::shared_ptr<QPromise<void>> done = std::exchange(m_finishing, nullptr))
        done->finish();
}

void CaptureWorker::finish(std::chrono::steady_clock::time_point pressed, std::shared_ptr<QPromise<void>> done)
{
    if (!m_source || !m_handler || m_finishing) {
        done->finish();
        return;
    }
    m_finishing = std::move(done);
    const qint64 rate = m_format.sampleRate();
    // The source's clock runs in frames of the stream, counted from its first; it stands where
    // the device records now, ahead of what has reached us by what the server still holds.
    const auto since =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - pressed);
    const qint64 heardMicroseconds = m_source->processedUSecs() - since.count();
    const qint64 heard = heardMicroseconds > 0 ? heardMicroseconds * rate / 1000000 : 0;
    // A clock that reads wrong can neither cut what has arrived nor keep us waiting for long.
    m_finishAt = std::clamp(heard, m_delivered, m_received + rate / 2);
    if (m_received >= *m_finishAt) {
        deliverRest();
        end();
        return;
    }
    m_finishLimit.start();
}

void CaptureWorker::deliverRest()
{
    if (!m_handler || !m_finishAt)
        return;
    const qint64 frames = std::min<qint64>(m_pending.size() / m_format.bytesPerFrame(), *m_finishAt - m_delivered);
    if (frames > 0)
        deliver(m_pending.constData(), frames);
    m_pending.clear();
}

qint64 CaptureWorker::readData(char*, qint64)
{
    return -1;
}

qint64 CaptureWorker::writeData(const char* data, qint64 size)
{
    if (!m_handler)
        return size;
    const qsizetype frameBytes = m_format.bytesPerFrame();
    const qsizetype bufferBytes = m_bufferFrames * frameBytes;
    const qint64 arrived = size / frameBytes;
    // Once finishing, frames past the finish point are not part of the take.
    const qint64 wanted = m_finishAt ? std::clamp<qint64>(*m_finishAt - m_received, 0, arrived) : arrived;
    const qsizetype bytes = wanted * frameBytes;
    m_received += arrived;
    qsizetype offset = 0;
    // Whole buffers straight from the incoming bytes when nothing is pending avoids a copy.
    if (m_pending.isEmpty()) {
        while (bytes - offset >= bufferBytes && m_handler) {
            deliver(data + offset, m_bufferFrames);
            offset += bufferBytes;
        }
    }
    m_pending.append(data + offset, bytes - offset);
    qsizetype used = 0;
    while (m_pending.size() - used >= bufferBytes && m_handler) {
        deliver(m_pending.constData() + used, m_bufferFrames);
        used += bufferBytes;
    }
    m_pending.remove(0, used);
    if (m_finishAt && m_received >= *m_finishAt) {
        deliverRest();
        m_handler = nullptr;
        m_lost = nullptr;
        if (std::shared_ptr<QPromise<void>> done = std::exchange(m_finishing, nullptr))
            done->finish();
        // The source is inside its read, which goes on with the stream once we return: it is
        // stopped from the event loop.
        QMetaObject::invokeMethod(this, &CaptureWorker::end, Qt::QueuedConnection);
    }
    return size;
}

void CaptureWorker::deliver(const char* bytes, qsizetype frames)
{
    const qsizetype samples = frames * m_format.channelCount();
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
    m_delivered += frames;
    m_handler(out, frames);
}
