#include "platform/linux/audio/QtAudioInput.h"

#include "platform/linux/audio/CaptureWorker.h"
#include "platform/linux/pulse/PulseDefaultSource.h"

#include <QMediaDevices>
#include <QPromise>
#include <QThread>

#include <memory>

namespace {

// Runs fn on the worker's thread and waits for it; directly when already there.
template <typename Fn> void onCaptureThread(QObject* worker, Fn fn)
{
    if (QThread::currentThread() == worker->thread())
        fn();
    else
        QMetaObject::invokeMethod(worker, fn, Qt::BlockingQueuedConnection);
}

QAudioDevice findDevice(const QByteArray& id)
{
    const QList<QAudioDevice> inputs = QMediaDevices::audioInputs();
    for (const QAudioDevice& device : inputs)
        if (device.id() == id)
            return device;
    return {};
}

// The device's own rate and channel count, as float when the device takes it; otherwise the
// device's own sample format, converted while cutting buffers.
QAudioFormat captureFormat(const QAudioDevice& device)
{
    QAudioFormat format = device.preferredFormat();
    QAudioFormat asFloat = format;
    asFloat.setSampleFormat(QAudioFormat::Float);
    if (device.isFormatSupported(asFloat))
        return asFloat;
    return format;
}

} // namespace

QtAudioInput::QtAudioInput(QByteArray deviceId)
    : m_deviceId(std::move(deviceId))
    , m_thread(std::make_unique<QThread>())
{
    m_thread->setObjectName(QStringLiteral("audio capture"));
    m_thread->start();
}

QtAudioInput::~QtAudioInput()
{
    if (m_worker) {
        CaptureWorker* worker = m_worker;
        onCaptureThread(worker, [worker] { delete worker; });
        m_worker = nullptr;
    }
    m_thread->quit();
    m_thread->wait();
}

std::optional<AudioInputFormat> QtAudioInput::prepare(QString* error)
{
    if (m_worker) {
        CaptureWorker* worker = m_worker;
        onCaptureThread(worker, [worker] { delete worker; });
        m_worker = nullptr;
    }

    QAudioDevice device;
    if (!m_deviceId.isEmpty()) {
        device = findDevice(m_deviceId);
    } else {
        const QByteArray pulseDefault = pulseDefaultSource();
        if (!pulseDefault.isEmpty())
            device = findDevice(pulseDefault);
        // The server's default may be hidden from Qt (a monitor source); take Qt's choice then.
        if (device.isNull())
            device = QMediaDevices::defaultAudioInput();
    }
    if (device.isNull()) {
        *error = QStringLiteral("没有找到可用的麦克风");
        return std::nullopt;
    }

    const QAudioFormat format = captureFormat(device);
    if (!format.isValid() || format.sampleRate() <= 0 || format.channelCount() <= 0) {
        *error = QStringLiteral("麦克风的音频格式无法使用");
        return std::nullopt;
    }
    m_worker = new CaptureWorker(device, format, kBufferFrames);
    m_worker->moveToThread(m_thread.get());
    return AudioInputFormat{format.sampleRate(), format.channelCount()};
}

QFuture<QString> QtAudioInput::start(BufferHandler handler, LossHandler lost)
{
    if (!m_worker)
        return QtFuture::makeReadyFuture(QStringLiteral("没有找到可用的麦克风"));
    // Finished by the capture thread once the stream is open; finished with a failure should the
    // thread end before it got there, so nobody awaits it for ever.
    struct Opening
    {
        QPromise<QString> promise;
        bool answered = false;

        void answer(const QString& failure)
        {
            promise.addResult(failure);
            promise.finish();
            answered = true;
        }
        ~Opening()
        {
            if (!answered)
                answer(QStringLiteral("麦克风无法打开"));
        }
    };
    auto opening = std::make_shared<Opening>();
    opening->promise.start();
    QFuture<QString> opened = opening->promise.future();
    CaptureWorker* worker = m_worker;
    // Queued, not waited for: PulseAudio resuming a suspended source takes up to two seconds.
    QMetaObject::invokeMethod(
        worker,
        [worker, opening, handler = std::move(handler), lost = std::move(lost)]() mutable {
            opening->answer(worker->begin(std::move(handler), std::move(lost)));
        },
        Qt::QueuedConnection);
    return opened;
}

void QtAudioInput::stop()
{
    if (!m_worker)
        return;
    CaptureWorker* worker = m_worker;
    onCaptureThread(worker, [worker] { worker->end(); });
}

QFuture<void> QtAudioInput::finish()
{
    if (!m_worker)
        return QtFuture::makeReadyFuture();
    // The moment of the call is the end of the take; the capture thread may see it a little later.
    const auto pressed = std::chrono::steady_clock::now();
    auto done = std::make_shared<QPromise<void>>();
    done->start();
    QFuture<void> finished = done->future();
    CaptureWorker* worker = m_worker;
    // A promise dropped unfinished (the worker went first) cancels its future, which still ends it.
    QMetaObject::invokeMethod(
        worker, [worker, pressed, done] { worker->finish(pressed, done); }, Qt::QueuedConnection);
    return finished;
}
