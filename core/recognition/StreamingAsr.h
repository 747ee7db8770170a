#pragma once

#include "core/audio/Samples.h"
#include "core/recognition/Credential.h"
#include "core/recognition/StreamingVocabulary.h"
#include "platform/Clock.h"

#include <QCoroTask>
#include <QJsonObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>
#include <QWebSocket>

#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class QObject;

struct StreamingEvent;

// Recognition while the user speaks, over the gateway's realtime WebSocket ("/v1/asr-stream").
// Audio goes out as base64 PCM chunks; this side decides when the server turns what it has
// buffered into text ("commit"): once a stretch reaches 30 s at a quiet chunk, at 55 s in any case,
// and at the end. Each commit is answered by one transcript; finish() joins them.
//
// One session per dictation, always held by shared_ptr: the capture thread appends through its
// own reference, so the session stays valid there after the controller has let go (the last
// reference may go on any thread). create(), the socket, start(), finish(), cancel() and onPartial
// live on the main thread; append() may be called from any thread.
class StreamingAsr : public std::enable_shared_from_this<StreamingAsr>
{
public:
    using PartialHandler = std::function<void(const QString& text)>;

    // Thresholds in samples at 16 kHz.
    static constexpr qsizetype kCommitSoftSamples = 480000;
    static constexpr qsizetype kCommitHardSamples = 880000;
    // How long the connection may take to open.
    static constexpr std::chrono::milliseconds kConnectTimeout{10000};

    // A session for the gateway at gatewayUrl (the base GatewayClient uses); the clock times the
    // connection and finish(). Nothing is connected yet.
    static std::shared_ptr<StreamingAsr> create(const QUrl& gatewayUrl, const Credential& credential, Clock& clock);
    static std::shared_ptr<StreamingAsr> create(const QUrl& gatewayUrl, const QString& deviceToken, Clock& clock);
    ~StreamingAsr();

    StreamingAsr(const StreamingAsr&) = delete;
    StreamingAsr& operator=(const StreamingAsr&) = delete;

    // The endpoint: the gateway's host, port and query with path "/v1/asr-stream", over wss (ws
    // only to this machine, as plain http is).
    const QUrl& url() const { return m_url; }

    // The live text so far, delivered asynchronously on the main thread. Set before start().
    void setOnPartial(PartialHandler handler);

    // Opens the socket and sends the configuration. A hint, even an empty one, is passed on;
    // none lets the service detect the language. Failures surface in finish().
    void start(const QStringList& vocabulary, const std::optional<QString>& languageHint);

    // One chunk of 16 kHz mono samples. Encodes on the calling thread; the socket's thread sends.
    void append(const Samples& samples);

    // Commits what is left and waits, at most timeoutSeconds, for every commit to be answered;
    // returns the transcripts joined. At the timeout it returns what has been recognised, or
    // throws AsrError::httpError(0, "流式识别超时") when that is nothing. A failure of the session
    // is thrown.
    QCoro::Task<QString> finish(double timeoutSeconds);

    // Closes the socket with 1001 (going away); a waiting finish() then fails with the socket's
    // error.
    void cancel();

    // Acts on one text frame of the socket. Public so the event handling can be driven without a
    // connection.
    void handleTextFrame(const QString& frame);

    const StreamingVocabulary& vocabulary() const { return m_vocabulary; }

    // A consistent look at the counters, for tests and checks.
    struct Counters
    {
        bool ready = false;
        bool finishing = false;
        bool failed = false;
        int outstandingCommits = 0;
        qsizetype samplesSinceCommit = 0;
        qsizetype pendingFrames = 0;
        qsizetype segments = 0;
    };
    Counters counters() const;

private:
    // A frame waiting for the socket: an audio chunk (its base64) or a message.
    struct Outgoing
    {
        bool isAudio = false;
        QByteArray audio;
        QJsonObject message;
    };
    struct FinishWait;
    class FinishAwaiter;

    StreamingAsr(QUrl url, QString bearer, Clock& clock);

    static QCoro::Task<QString> runFinish(std::shared_ptr<StreamingAsr> self, double timeoutSeconds);

    void onReady();
    void onText(const StreamingEvent& event);
    void onCompleted(const StreamingEvent& event);
    void onServiceError(const QString& message);
    void finishTimedOut();
    void fail(std::exception_ptr error);
    void onConnected();
    void onSocketError();
    void onDisconnected();
    bool registerFinish(const std::shared_ptr<FinishWait>& wait, double timeoutSeconds);
    void resume(const std::shared_ptr<FinishWait>& wait);
    void post(std::function<void()> work) const;

    // Outgoing frames keep the order in which they were decided, whichever thread decided them.
    void enqueueLocked(Outgoing item);
    void flush();
    void scheduleFlush();
    void closeSocket(int code);

    const QUrl m_url;
    const QString m_bearer;
    Clock& m_clock;
    // Lives on the main thread: the target of work queued there, parent of the socket.
    QObject* m_main;
    QPointer<QWebSocket> m_socket;
    Clock::TimerId m_connectTimer = 0;
    StreamingVocabulary m_vocabulary;

    mutable std::mutex m_lock;
    // Guarded by m_lock.
    bool m_ready = false;
    std::deque<QByteArray> m_pendingFrames;
    std::exception_ptr m_failure;
    QStringList m_segments;
    int m_outstandingCommits = 0;
    bool m_finishing = false;
    qsizetype m_samplesSinceCommit = 0;
    bool m_pendingFinalCommit = false;
    std::shared_ptr<FinishWait> m_finishContinuation;
    Clock::TimerId m_timeoutWork = 0;
    PartialHandler m_onPartial;
    QString m_confirmedText;
    std::deque<Outgoing> m_outbox;
    bool m_flushPosted = false;
};
