#include "core/recognition/StreamingAsr.h"

#include "core/net/HttpTransport.h"
#include "core/recognition/AsrError.h"
#include "core/recognition/CredentialSource.h"
#include "core/recognition/GatewayAuthError.h"
#include "core/recognition/PcmChunk.h"
#include "core/recognition/StreamingEvent.h"
#include "core/recognition/StreamingSocket.h"
#include "core/text/TranscriptHeuristics.h"

#include <coroutine>
#include <stdexcept>

namespace {

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

} // namespace

// The suspended finish() and what it will return; its deadline is cancelled when it is resumed.
struct StreamingAsr::FinishWait
{
    std::coroutine_handle<> handle;
    Clock::TimerId deadline = 0;
    QString text;
    std::exception_ptr error;
};

// Suspends finish() unless beginFinish() settles it at once.
class StreamingAsr::FinishAwaiter
{
public:
    FinishAwaiter(std::shared_ptr<StreamingAsr> self, std::chrono::milliseconds timeout)
        : m_self(std::move(self))
        , m_timeout(timeout)
        , m_wait(std::make_shared<FinishWait>())
    {}

    bool await_ready() const noexcept { return false; }
    bool await_suspend(std::coroutine_handle<> handle)
    {
        m_wait->handle = handle;
        return m_self->beginFinish(m_wait, m_timeout);
    }
    std::shared_ptr<FinishWait> await_resume() const { return m_wait; }

private:
    std::shared_ptr<StreamingAsr> m_self;
    std::chrono::milliseconds m_timeout;
    std::shared_ptr<FinishWait> m_wait;
};

std::shared_ptr<StreamingAsr> StreamingAsr::create(const QUrl& gatewayUrl, const Credential& credential, Clock& clock,
                                                   std::shared_ptr<CredentialSource> source)
{
    return std::shared_ptr<StreamingAsr>(new StreamingAsr(streamUrl(gatewayUrl), credential, clock, std::move(source)));
}

std::shared_ptr<StreamingAsr> StreamingAsr::create(const QUrl& gatewayUrl, const QString& deviceToken, Clock& clock)
{
    return create(gatewayUrl, Credential::deviceToken(deviceToken), clock);
}

StreamingAsr::StreamingAsr(QUrl url, Credential credential, Clock& clock, std::shared_ptr<CredentialSource> source)
    : m_url(std::move(url))
    , m_clock(clock)
    , m_source(std::move(source))
    , m_credential(std::move(credential))
    , m_socket(StreamingSocket::create(clock))
{}

StreamingAsr::~StreamingAsr() = default;

bool StreamingAsr::isOver(Stage stage)
{
    return stage == Stage::Finished || stage == Stage::Failed || stage == Stage::Cancelled;
}

void StreamingAsr::setOnPartial(PartialHandler handler)
{
    std::lock_guard guard(m_lock);
    m_onPartial = std::move(handler);
}

StreamingAsr::Stage StreamingAsr::stage() const
{
    std::lock_guard guard(m_lock);
    return m_stage;
}

void StreamingAsr::start(const QStringList& vocabulary, const std::optional<QString>& languageHint)
{
    m_vocabulary = StreamingVocabulary(vocabulary);
    m_languageHint = languageHint;
    connectSocket();
}

void StreamingAsr::connectSocket()
{
    const std::weak_ptr<StreamingAsr> weak = weak_from_this();
    const quint64 run = ++m_socketRun;
    m_socket->setHandlers({
        [weak, run](const QString& frame) {
            if (auto self = weak.lock(); self && self->m_socketRun == run)
                self->handleTextFrame(frame);
        },
        [weak, run](std::exception_ptr error) {
            auto self = weak.lock();
            if (!self || self->m_socketRun != run)
                return;
            if (!self->renewAfterRefusal(error))
                self->fail(std::move(error));
        },
    });
    m_socket->open(m_url, m_credential.bearer());
    m_socket->enqueue(StreamingFrame::configuration(m_vocabulary.corpusText(), m_languageHint));
    m_socket->flush();
}

bool StreamingAsr::renewAfterRefusal(const std::exception_ptr& error)
{
    if (!m_source || m_renewed)
        return false;
    try {
        std::rethrow_exception(error);
    } catch (const GatewayAuthError&) {
    } catch (...) {
        return false;
    }
    {
        std::lock_guard guard(m_lock);
        if (m_stage != Stage::Connecting && m_stage != Stage::FinishAfterConnecting)
            return false;
    }
    m_renewed = true;
    // The refused socket's further complaints (it closes next) are not the session's.
    ++m_socketRun;
    m_socket->close(QWebSocketProtocol::CloseCodeGoingAway);
    reconnect(weak_from_this(), m_source, m_credential);
    return true;
}

QCoro::Task<> StreamingAsr::reconnect(std::weak_ptr<StreamingAsr> weak, std::shared_ptr<CredentialSource> source,
                                      Credential refused)
{
    std::optional<Credential> replacement;
    std::exception_ptr failure;
    try {
        replacement = co_await source->replacing(refused);
    } catch (...) {
        failure = std::current_exception();
    }
    const std::shared_ptr<StreamingAsr> self = weak.lock();
    if (!self)
        co_return;
    if (!replacement) {
        self->fail(failure);
        co_return;
    }
    {
        std::lock_guard guard(self->m_lock);
        // Cancelled, or out of time, while the credential was replaced.
        if (self->m_stage != Stage::Connecting && self->m_stage != Stage::FinishAfterConnecting)
            co_return;
        self->m_socket = StreamingSocket::create(self->m_clock);
    }
    self->m_credential = *replacement;
    self->connectSocket();
}

void StreamingAsr::append(const Samples& samples)
{
    {
        std::lock_guard guard(m_lock);
        if (isOver(m_stage))
            return;
    }

    PcmChunk chunk = PcmChunk::encode(samples);

    {
        std::lock_guard guard(m_lock);
        if (isOver(m_stage))
            return;
        if (m_stage == Stage::Connecting || m_stage == Stage::FinishAfterConnecting) {
            // Held until the confirmation, and not counted toward a commit.
            m_pendingFrames.push_back(std::move(chunk.base64));
            return;
        }
        const bool commit = m_commitRule.add(chunk.sampleCount, chunk.quiet);
        // Queued under the lock so that a commit decided on another thread cannot overtake it.
        m_socket->enqueue(StreamingFrame::audio(std::move(chunk.base64)));
        if (commit) {
            ++m_outstandingCommits;
            m_confirmedText.clear();
            m_socket->enqueue(StreamingFrame::commit());
        }
    }
    m_socket->flushSoon();
}

void StreamingAsr::handleTextFrame(const QString& frame)
{
    const StreamingEvent event = StreamingEvent::parse(frame);
    switch (event.kind) {
    case StreamingEvent::Kind::SessionUpdated:
        confirmed();
        break;
    case StreamingEvent::Kind::Text:
        textArrived(event);
        break;
    case StreamingEvent::Kind::Completed:
        commitAnswered(event);
        break;
    case StreamingEvent::Kind::Error:
        serviceFailed(event.message);
        break;
    case StreamingEvent::Kind::Ignored:
        break;
    }
}

void StreamingAsr::confirmed()
{
    {
        std::lock_guard guard(m_lock);
        if (m_stage != Stage::Connecting && m_stage != Stage::FinishAfterConnecting)
            return;
        for (QByteArray& frame : m_pendingFrames)
            m_socket->enqueue(StreamingFrame::audio(std::move(frame)));
        m_pendingFrames.clear();
        if (m_stage == Stage::FinishAfterConnecting) {
            ++m_outstandingCommits;
            m_socket->enqueue(StreamingFrame::commit());
            m_stage = Stage::Finishing;
        } else {
            m_stage = Stage::Streaming;
        }
    }
    m_socket->flush();
}

void StreamingAsr::textArrived(const StreamingEvent& event)
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
        m_socket->post([handler = std::move(handler), live] { handler(live); });
}

void StreamingAsr::commitAnswered(const StreamingEvent& event)
{
    // Late answers, after finish() has returned, are still kept; nobody reads them.
    const QString transcript = m_vocabulary.isCorpusEcho(event.transcript) ? QString() : event.transcript;
    std::shared_ptr<FinishWait> wait;
    {
        std::lock_guard guard(m_lock);
        m_segments.append(transcript);
        m_outstandingCommits = std::max(0, m_outstandingCommits - 1);
        m_confirmedText.clear();
        if (m_stage == Stage::Finishing && m_outstandingCommits == 0) {
            wait = std::move(m_finishWait);
            wait->text = TranscriptHeuristics::join(m_segments);
            m_stage = Stage::Finished;
        }
    }
    if (wait)
        resume(wait);
}

void StreamingAsr::serviceFailed(const QString& message)
{
    bool endWait = false;
    {
        std::lock_guard guard(m_lock);
        endWait = !m_segments.isEmpty() && (m_stage == Stage::Finishing || m_stage == Stage::FinishAfterConnecting);
    }
    // While finishing with something recognised, the error only ends the wait early.
    if (endWait)
        deadlineReached();
    else
        fail(std::make_exception_ptr(AsrError::httpError(0, message)));
}

bool StreamingAsr::beginFinish(const std::shared_ptr<FinishWait>& wait, std::chrono::milliseconds timeout)
{
    {
        std::lock_guard guard(m_lock);
        switch (m_stage) {
        case Stage::Failed:
        case Stage::Cancelled:
            wait->error = m_failure;
            return false;
        case Stage::FinishAfterConnecting:
        case Stage::Finishing:
        case Stage::Finished:
            wait->error = std::make_exception_ptr(std::logic_error("StreamingAsr::finish() called twice"));
            return false;
        case Stage::Connecting:
            m_stage = Stage::FinishAfterConnecting;
            break;
        case Stage::Streaming:
            if (m_commitRule.samplesSinceCommit() >= 1) {
                ++m_outstandingCommits;
                m_commitRule.reset();
            }
            if (m_outstandingCommits == 0) {
                wait->text = TranscriptHeuristics::join(m_segments);
                m_stage = Stage::Finished;
                return false;
            }
            // Sent even when no audio came since the last commit.
            m_socket->enqueue(StreamingFrame::commit());
            m_stage = Stage::Finishing;
            break;
        }
        m_finishWait = wait;
        wait->deadline = m_clock.schedule(timeout, [weak = weak_from_this()] {
            if (auto self = weak.lock())
                self->deadlineReached();
        });
    }
    m_socket->flush();
    return true;
}

void StreamingAsr::deadlineReached()
{
    std::shared_ptr<FinishWait> wait;
    {
        std::lock_guard guard(m_lock);
        if (!m_finishWait)
            return;
        wait = std::move(m_finishWait);
        wait->text = TranscriptHeuristics::join(m_segments);
        if (wait->text.isEmpty()) {
            // The socket stays open: the caller cancels the session.
            wait->error = std::make_exception_ptr(AsrError::httpError(0, QStringLiteral("流式识别超时")));
            m_failure = wait->error;
            m_stage = Stage::Failed;
        } else {
            m_stage = Stage::Finished;
        }
    }
    resume(wait);
}

void StreamingAsr::fail(std::exception_ptr error)
{
    std::shared_ptr<FinishWait> wait;
    {
        std::lock_guard guard(m_lock);
        if (isOver(m_stage))
            return;
        m_stage = Stage::Failed;
        m_failure = error;
        wait = std::move(m_finishWait);
    }
    if (wait) {
        wait->error = error;
        resume(wait);
    }
    m_socket->close(QWebSocketProtocol::CloseCodeGoingAway);
}

void StreamingAsr::cancel(QWebSocketProtocol::CloseCode code)
{
    std::shared_ptr<FinishWait> wait;
    {
        std::lock_guard guard(m_lock);
        if (!isOver(m_stage)) {
            m_stage = Stage::Cancelled;
            m_failure = StreamingSocket::closedError(int(code));
            wait = std::move(m_finishWait);
            if (wait)
                wait->error = m_failure;
        }
    }
    if (wait)
        resume(wait);
    m_socket->close(code);
}

void StreamingAsr::resume(const std::shared_ptr<FinishWait>& wait)
{
    if (wait->deadline)
        m_clock.cancel(wait->deadline);
    // Resumed from the event loop, never from inside a socket's signal, so that what finish()'s
    // caller does next (closing, dropping the session) cannot pull the socket from under Qt.
    m_socket->post([wait] { wait->handle.resume(); });
}

QCoro::Task<QString> StreamingAsr::finish(std::chrono::milliseconds timeout)
{
    return runFinish(shared_from_this(), timeout);
}

QCoro::Task<QString> StreamingAsr::runFinish(std::shared_ptr<StreamingAsr> self, std::chrono::milliseconds timeout)
{
    const std::shared_ptr<FinishWait> wait = co_await FinishAwaiter(self, timeout);
    if (wait->error)
        std::rethrow_exception(wait->error);
    self->endSession();
    co_return wait->text;
}

void StreamingAsr::endSession()
{
    m_socket->enqueue(StreamingFrame::end());
    m_socket->flush();
    m_socket->close(QWebSocketProtocol::CloseCodeNormal);
}

StreamingAsr::Counters StreamingAsr::counters() const
{
    std::lock_guard guard(m_lock);
    Counters counters;
    counters.stage = m_stage;
    counters.outstandingCommits = m_outstandingCommits;
    counters.samplesSinceCommit = m_commitRule.samplesSinceCommit();
    counters.pendingFrames = qsizetype(m_pendingFrames.size());
    counters.segments = m_segments.size();
    return counters;
}
