#include "core/recognition/StreamingAsr.h"

#include "core/async/PostToThread.h"
#include "core/net/HttpTransport.h"
#include "core/net/NetworkErrors.h"
#include "core/recognition/AsrError.h"
#include "core/recognition/PcmChunk.h"
#include "core/recognition/StreamingEvent.h"
#include "core/text/TranscriptHeuristics.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkRequest>
#include <QObject>
#include <QWebSocket>

#include <cmath>
#include <coroutine>

namespace {

QJsonObject typed(const char* type)
{
    return QJsonObject{{QStringLiteral("type"), QLatin1StringView(type)}};
}

QUrl streamUrl(const QUrl& gatewayUrl)
{
    QUrl url = gatewayUrl;
    // Plain http reaches only this machine, so only there may the socket go unencrypted too.
    const bool local = gatewayUrl.scheme().compare(QLatin1StringView("http"), Qt::CaseInsensitive) == 0 &&
                       HttpTransport::isAllowedUrl(gatewayUrl);
    url.setScheme(local ? QStringLiteral("ws") : QStringLiteral("wss"));
    url.setPath(QStringLiteral("/v1/asr-stream"));
    return url;
}

std::chrono::milliseconds toMilliseconds(double seconds)
{
    if (!(seconds > 0.0))
        return std::chrono::milliseconds(0);
    return std::chrono::milliseconds(std::llround(std::min(seconds, 1e9) * 1000.0));
}

} // namespace

struct StreamingAsr::FinishWait
{
    std::coroutine_handle<> handle;
    std::optional<QString> text;
    std::exception_ptr error;
};

// Suspends finish() until a commit answer, the timeout or a failure resumes it; the checks of the
// suspension itself run in registerFinish().
class StreamingAsr::FinishAwaiter
{
public:
    FinishAwaiter(std::shared_ptr<StreamingAsr> self, double timeoutSeconds)
        : m_self(std::move(self))
        , m_timeout(timeoutSeconds)
        , m_wait(std::make_shared<FinishWait>())
    {}

    bool await_ready() const noexcept { return false; }
    bool await_suspend(std::coroutine_handle<> handle)
    {
        m_wait->handle = handle;
        return m_self->registerFinish(m_wait, m_timeout);
    }
    std::shared_ptr<FinishWait> await_resume() const { return m_wait; }

private:
    std::shared_ptr<StreamingAsr> m_self;
    double m_timeout;
    std::shared_ptr<FinishWait> m_wait;
};

std::shared_ptr<StreamingAsr> StreamingAsr::create(const QUrl& gatewayUrl, const Credential& credential, Clock& clock)
{
    return std::shared_ptr<StreamingAsr>(new StreamingAsr(streamUrl(gatewayUrl), credential.bearer(), clock));
}

std::shared_ptr<StreamingAsr> StreamingAsr::create(const QUrl& gatewayUrl, const QString& deviceToken, Clock& clock)
{
    return create(gatewayUrl, Credential::deviceToken(deviceToken), clock);
}

StreamingAsr::StreamingAsr(QUrl url, QString bearer, Clock& clock)
    : m_url(std::move(url))
    , m_bearer(std::move(bearer))
    , m_clock(clock)
    , m_main(new QObject)
{}

StreamingAsr::~StreamingAsr()
{
    // The last reference may go on the capture thread; the socket is deleted on its own thread.
    m_main->deleteLater();
}

void StreamingAsr::setOnPartial(PartialHandler handler)
{
    std::lock_guard guard(m_lock);
    m_onPartial = std::move(handler);
}

void StreamingAsr::post(std::function<void()> work) const
{
    postTo(m_main, std::move(work));
}

void StreamingAsr::start(const QStringList& vocabulary, const std::optional<QString>& languageHint)
{
    m_vocabulary = StreamingVocabulary(vocabulary);

    auto* socket = new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, m_main);
    m_socket = socket;
    const std::weak_ptr<StreamingAsr> weak = weak_from_this();
    QObject::connect(socket, &QWebSocket::connected, m_main, [weak] {
        if (auto self = weak.lock())
            self->onConnected();
    });
    QObject::connect(socket, &QWebSocket::textMessageReceived, m_main, [weak](const QString& frame) {
        if (auto self = weak.lock())
            self->handleTextFrame(frame);
    });
    QObject::connect(socket, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error), m_main, [weak] {
        if (auto self = weak.lock())
            self->onSocketError();
    });
    QObject::connect(socket, &QWebSocket::disconnected, m_main, [weak] {
        if (auto self = weak.lock())
            self->onDisconnected();
    });

    QNetworkRequest request(m_url);
    request.setRawHeader("Authorization", "Bearer " + m_bearer.toUtf8());
    request.setTransferTimeout(int(kConnectTimeout.count()));
    m_connectTimer = m_clock.schedule(kConnectTimeout, [weak] {
        if (auto self = weak.lock()) {
            self->m_connectTimer = 0;
            self->fail(
                std::make_exception_ptr(TransportError(TransportError::Kind::TimedOut, QStringLiteral("请求超时"))));
        }
    });
    socket->open(request);

    QJsonObject transcription;
    if (!m_vocabulary.corpusText().isEmpty())
        transcription.insert(QStringLiteral("corpus"),
                             QJsonObject{{QStringLiteral("text"), m_vocabulary.corpusText()}});
    if (languageHint)
        transcription.insert(QStringLiteral("language"), *languageHint);
    const QJsonObject session{
        {QStringLiteral("modalities"), QJsonArray{QStringLiteral("text")}},
        {QStringLiteral("input_audio_format"), QStringLiteral("pcm")},
        {QStringLiteral("sample_rate"), kRecordingSampleRate},
        {QStringLiteral("input_audio_transcription"), transcription},
        {QStringLiteral("turn_detection"), QJsonValue::Null},
    };
    QJsonObject configuration = typed("session.update");
    configuration.insert(QStringLiteral("session"), session);
    {
        std::lock_guard guard(m_lock);
        enqueueLocked({false, {}, configuration});
    }
    flush();
}

void StreamingAsr::append(const Samples& samples)
{
    {
        std::lock_guard guard(m_lock);
        if (m_failure)
            return;
    }

    PcmChunk chunk = PcmChunk::encode(samples);

    bool postFlush = false;
    {
        std::lock_guard guard(m_lock);
        if (!m_ready) {
            m_pendingFrames.push_back(std::move(chunk.base64));
            return;
        }
        m_samplesSinceCommit += chunk.sampleCount;
        const bool commit =
            m_samplesSinceCommit >= kCommitHardSamples || (m_samplesSinceCommit >= kCommitSoftSamples && chunk.quiet);
        enqueueLocked({true, std::move(chunk.base64), {}});
        if (commit) {
            m_samplesSinceCommit = 0;
            ++m_outstandingCommits;
            m_confirmedText.clear();
            enqueueLocked({false, {}, typed("input_audio_buffer.commit")});
        }
        postFlush = !std::exchange(m_flushPosted, true);
    }
    if (postFlush)
        scheduleFlush();
}

void StreamingAsr::enqueueLocked(Outgoing item)
{
    m_outbox.push_back(std::move(item));
}

void StreamingAsr::scheduleFlush()
{
    post([weak = weak_from_this()] {
        if (auto self = weak.lock())
            self->flush();
    });
}

void StreamingAsr::flush()
{
    std::deque<Outgoing> items;
    const bool open = m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
    const bool opening = m_socket && !open && m_socket->state() != QAbstractSocket::UnconnectedState;
    {
        std::lock_guard guard(m_lock);
        m_flushPosted = false;
        // Still connecting: the frames wait for the socket to open. No socket, or one that has
        // closed: there is nobody to send them to.
        if (opening)
            return;
        items.swap(m_outbox);
    }
    if (!open)
        return;
    for (Outgoing& item : items) {
        QJsonObject message = std::move(item.message);
        if (item.isAudio) {
            message = typed("input_audio_buffer.append");
            message.insert(QStringLiteral("audio"), QString::fromLatin1(item.audio));
        }
        const QByteArray text = QJsonDocument(message).toJson(QJsonDocument::Compact);
        if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState)
            return;
        if (m_socket->sendTextMessage(QString::fromUtf8(text)) < text.size()) {
            const QString reason = m_socket ? m_socket->errorString() : QString();
            fail(std::make_exception_ptr(TransportError(TransportError::Kind::Failed, reason)));
            return;
        }
    }
}

void StreamingAsr::closeSocket(int code)
{
    if (!m_socket || m_socket->state() == QAbstractSocket::UnconnectedState)
        return;
    // A socket that has already failed cannot carry a closing handshake any more.
    if (m_socket->error() != QAbstractSocket::UnknownSocketError)
        m_socket->abort();
    else
        m_socket->close(QWebSocketProtocol::CloseCode(code), QString());
}

void StreamingAsr::onConnected()
{
    if (m_connectTimer) {
        m_clock.cancel(m_connectTimer);
        m_connectTimer = 0;
    }
    flush();
}

void StreamingAsr::onSocketError()
{
    const QString reason = m_socket ? m_socket->errorString() : QString();
    fail(std::make_exception_ptr(TransportError(TransportError::Kind::Failed, reason)));
}

void StreamingAsr::onDisconnected()
{
    QString reason = QStringLiteral("流式识别连接已关闭");
    if (m_socket) {
        reason += QStringLiteral(" (%1)").arg(int(m_socket->closeCode()));
        if (!m_socket->closeReason().isEmpty())
            reason += QStringLiteral(": ") + m_socket->closeReason();
    }
    fail(std::make_exception_ptr(TransportError(TransportError::Kind::Failed, reason)));
}

void StreamingAsr::handleTextFrame(const QString& frame)
{
    const StreamingEvent event = StreamingEvent::parse(frame);
    switch (event.kind) {
    case StreamingEvent::Kind::SessionUpdated:
        onReady();
        break;
    case StreamingEvent::Kind::Text:
        onText(event);
        break;
    case StreamingEvent::Kind::Completed:
        onCompleted(event);
        break;
    case StreamingEvent::Kind::Error:
        onServiceError(event.message);
        break;
    case StreamingEvent::Kind::Ignored:
        break;
    }
}

void StreamingAsr::onReady()
{
    {
        std::lock_guard guard(m_lock);
        m_ready = true;
        for (QByteArray& frame : m_pendingFrames)
            enqueueLocked({true, std::move(frame), {}});
        m_pendingFrames.clear();
        if (std::exchange(m_pendingFinalCommit, false)) {
            ++m_outstandingCommits;
            enqueueLocked({false, {}, typed("input_audio_buffer.commit")});
        }
    }
    flush();
}

void StreamingAsr::onText(const StreamingEvent& event)
{
    const QString text = m_vocabulary.isCorpusEcho(event.text) ? QString() : event.text;
    QString live;
    PartialHandler handler;
    {
        std::lock_guard guard(m_lock);
        if (!text.isEmpty())
            m_confirmedText = text;
        live = TranscriptHeuristics::join(m_segments + QStringList{m_confirmedText + event.stash});
        handler = m_onPartial;
    }
    if (handler && !live.isEmpty())
        post([handler = std::move(handler), live] { handler(live); });
}

void StreamingAsr::onCompleted(const StreamingEvent& event)
{
    const QString transcript = m_vocabulary.isCorpusEcho(event.transcript) ? QString() : event.transcript;
    std::shared_ptr<FinishWait> wait;
    Clock::TimerId timer = 0;
    {
        std::lock_guard guard(m_lock);
        m_segments.append(transcript);
        m_outstandingCommits = std::max(0, m_outstandingCommits - 1);
        m_confirmedText.clear();
        if (m_finishing && m_outstandingCommits == 0 && m_finishContinuation) {
            wait = std::move(m_finishContinuation);
            timer = std::exchange(m_timeoutWork, 0);
            wait->text = TranscriptHeuristics::join(m_segments);
        }
    }
    if (timer)
        m_clock.cancel(timer);
    if (wait)
        resume(wait);
}

void StreamingAsr::onServiceError(const QString& message)
{
    bool endWait = false;
    {
        std::lock_guard guard(m_lock);
        endWait = !m_segments.isEmpty() && m_finishing;
    }
    if (endWait)
        finishTimedOut();
    else
        fail(std::make_exception_ptr(AsrError::httpError(0, message)));
}

void StreamingAsr::finishTimedOut()
{
    std::shared_ptr<FinishWait> wait;
    Clock::TimerId timer = 0;
    {
        std::lock_guard guard(m_lock);
        if (!m_finishContinuation)
            return;
        wait = std::move(m_finishContinuation);
        timer = std::exchange(m_timeoutWork, 0);
        const QString text = TranscriptHeuristics::join(m_segments);
        if (text.isEmpty())
            wait->error = std::make_exception_ptr(AsrError::httpError(0, QStringLiteral("流式识别超时")));
        else
            wait->text = text;
    }
    if (timer)
        m_clock.cancel(timer);
    resume(wait);
}

void StreamingAsr::fail(std::exception_ptr error)
{
    std::shared_ptr<FinishWait> wait;
    Clock::TimerId timer = 0;
    {
        std::lock_guard guard(m_lock);
        if (m_failure)
            return;
        m_failure = error;
        wait = std::move(m_finishContinuation);
        timer = std::exchange(m_timeoutWork, 0);
    }
    if (timer)
        m_clock.cancel(timer);
    if (m_connectTimer) {
        m_clock.cancel(m_connectTimer);
        m_connectTimer = 0;
    }
    if (wait) {
        wait->error = error;
        resume(wait);
    }
    closeSocket(QWebSocketProtocol::CloseCodeGoingAway);
}

void StreamingAsr::resume(const std::shared_ptr<FinishWait>& wait)
{
    // Resumed from the event loop, never from inside a socket's signal, so that what finish()'s
    // caller does next (closing, dropping the session) cannot pull the socket from under Qt.
    post([wait] { wait->handle.resume(); });
}

bool StreamingAsr::registerFinish(const std::shared_ptr<FinishWait>& wait, double timeoutSeconds)
{
    std::lock_guard guard(m_lock);
    if (m_failure) {
        wait->error = m_failure;
        return false;
    }
    if (m_finishing && m_outstandingCommits == 0 && !m_pendingFinalCommit) {
        wait->text = TranscriptHeuristics::join(m_segments);
        return false;
    }
    m_finishContinuation = wait;
    m_timeoutWork = m_clock.schedule(toMilliseconds(timeoutSeconds), [weak = weak_from_this()] {
        if (auto self = weak.lock())
            self->finishTimedOut();
    });
    return true;
}

QCoro::Task<QString> StreamingAsr::finish(double timeoutSeconds)
{
    return runFinish(shared_from_this(), timeoutSeconds);
}

QCoro::Task<QString> StreamingAsr::runFinish(std::shared_ptr<StreamingAsr> self, double timeoutSeconds)
{
    std::optional<QString> immediate;
    {
        std::unique_lock guard(self->m_lock);
        if (self->m_failure) {
            const std::exception_ptr failure = self->m_failure;
            guard.unlock();
            std::rethrow_exception(failure);
        }
        self->m_finishing = true;
        if (!self->m_ready) {
            self->m_pendingFinalCommit = true;
        } else {
            if (self->m_samplesSinceCommit >= 1) {
                ++self->m_outstandingCommits;
                self->m_samplesSinceCommit = 0;
            }
            if (self->m_outstandingCommits == 0) {
                immediate = TranscriptHeuristics::join(self->m_segments);
                self->enqueueLocked({false, {}, typed("session.finish")});
            } else {
                // Sent even when no audio came since the last commit.
                self->enqueueLocked({false, {}, typed("input_audio_buffer.commit")});
            }
        }
    }
    self->flush();
    if (immediate) {
        self->closeSocket(QWebSocketProtocol::CloseCodeNormal);
        co_return *immediate;
    }

    FinishAwaiter awaiter(self, timeoutSeconds);
    const std::shared_ptr<FinishWait> wait = co_await awaiter;
    if (wait->error)
        std::rethrow_exception(wait->error);
    {
        std::lock_guard guard(self->m_lock);
        self->enqueueLocked({false, {}, typed("session.finish")});
    }
    self->flush();
    self->closeSocket(QWebSocketProtocol::CloseCodeNormal);
    co_return wait->text.value_or(QString());
}

void StreamingAsr::cancel()
{
    closeSocket(QWebSocketProtocol::CloseCodeGoingAway);
}

StreamingAsr::Counters StreamingAsr::counters() const
{
    std::lock_guard guard(m_lock);
    Counters counters;
    counters.ready = m_ready;
    counters.finishing = m_finishing;
    counters.failed = bool(m_failure);
    counters.outstandingCommits = m_outstandingCommits;
    counters.samplesSinceCommit = m_samplesSinceCommit;
    counters.pendingFrames = qsizetype(m_pendingFrames.size());
    counters.segments = m_segments.size();
    return counters;
}
