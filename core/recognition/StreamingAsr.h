#pragma once

#include "core/audio/Samples.h"
#include "core/recognition/Credential.h"
#include "core/recognition/StreamingCommitRule.h"
#include "core/recognition/StreamingVocabulary.h"
#include "platform/Clock.h"

#include <QCoroTask>
#include <QStringList>
#include <QUrl>
#include <QWebSocketProtocol>

#include <chrono>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class CredentialSource;
class StreamingSocket;
struct StreamingEvent;

// Recognition while the user speaks, over the gateway's realtime WebSocket ("/v1/asr-stream").
// Audio goes out as base64 PCM chunks; this side decides when the server turns what it has
// buffered into text ("commit", see StreamingCommitRule), and at the end. Each commit is answered
// by one transcript; finish() joins them.
//
// One session per dictation, always held by shared_ptr: the capture thread appends through its
// own reference, so the session stays valid there after the controller has let go (the last
// reference may go on any thread). create(), start(), finish(), cancel() and onPartial live on
// the main thread; append(), stage() and counters() may be called from any thread.
class StreamingAsr : public std::enable_shared_from_this<StreamingAsr>
{
public:
    using PartialHandler = std::function<void(const QString& text)>;

    // A session moves only forward through these; the last three are final.
    enum class Stage
    {
        // The service has not confirmed the configuration yet: audio is held back.
        Connecting,
        // Audio streams, and commits go out by the commit rule.
        Streaming,
        // finish() came first: the held-back audio and one commit go out at the confirmation.
        FinishAfterConnecting,
        // finish() waits for every commit to be answered.
        Finishing,
        // finish() has its text: the session is ended and the socket closed.
        Finished,
        // A transport, send or service error, or nothing recognised by finish()'s deadline.
        Failed,
        // cancel() closed the socket.
        Cancelled,
    };

    // A session for the gateway at gatewayUrl (the base GatewayClient uses); the clock times the
    // connection and finish(). Nothing is connected yet. With a source, a handshake the gateway
    // refuses (401) is made once more with the source's replacement for the credential, as the
    // gateway's other calls do; the audio waits meanwhile.
    static std::shared_ptr<StreamingAsr> create(const QUrl& gatewayUrl, const Credential& credential, Clock& clock,
                                                std::shared_ptr<CredentialSource> source = nullptr);
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

    // One chunk of 16 kHz mono samples. Encodes on the calling thread; the main thread sends.
    // Ignored once the session is over.
    void append(const Samples& samples);

    // Commits what is left and waits, at most `timeout`, for every commit to be answered; returns
    // the transcripts joined. At the timeout it returns what has been recognised, or throws
    // AsrError::httpError(0, "流式识别超时") when that is nothing. A failure of the session is
    // thrown, also when it happened before. Called once.
    QCoro::Task<QString> finish(std::chrono::milliseconds timeout);

    // Closes the socket with the code and ends the session: a waiting finish() throws the
    // closing error, and so does a later one. After the session is over it only closes the
    // socket.
    void cancel(QWebSocketProtocol::CloseCode code = QWebSocketProtocol::CloseCodeGoingAway);

    Stage stage() const;

    // Acts on one text frame of the socket. Public so the event handling can be driven without a
    // connection.
    void handleTextFrame(const QString& frame);

    const StreamingVocabulary& vocabulary() const { return m_vocabulary; }

    // A consistent look at the state, for tests and checks.
    struct Counters
    {
        Stage stage = Stage::Connecting;
        int outstandingCommits = 0;
        qsizetype samplesSinceCommit = 0;
        qsizetype pendingFrames = 0;
        qsizetype segments = 0;
    };
    Counters counters() const;

private:
    struct FinishWait;
    class FinishAwaiter;

    StreamingAsr(QUrl url, Credential credential, Clock& clock, std::shared_ptr<CredentialSource> source);

    static QCoro::Task<QString> runFinish(std::shared_ptr<StreamingAsr> self, std::chrono::milliseconds timeout);

    // Opens a socket with the credential and sends the configuration (main thread).
    void connectSocket();
    // The handshake was refused: true when a replacement credential is being sought.
    bool renewAfterRefusal(const std::exception_ptr& error);
    static QCoro::Task<> reconnect(std::weak_ptr<StreamingAsr> weak, std::shared_ptr<CredentialSource> source,
                                   Credential refused);
    // The transitions. Each decides under the lock, then sends, closes or resumes outside it.
    void confirmed();
    void textArrived(const StreamingEvent& event);
    void commitAnswered(const StreamingEvent& event);
    void serviceFailed(const QString& message);
    bool beginFinish(const std::shared_ptr<FinishWait>& wait, std::chrono::milliseconds timeout);
    void deadlineReached();
    void fail(std::exception_ptr error);
    void endSession();

    // Whoever takes the waiting finish() out of m_finishWait, under the lock, resumes it.
    void resume(const std::shared_ptr<FinishWait>& wait);
    static bool isOver(Stage stage);

    const QUrl m_url;
    Clock& m_clock;
    const std::shared_ptr<CredentialSource> m_source;
    // Main thread only: the credential of the current socket, and whether it has been replaced.
    Credential m_credential;
    bool m_renewed = false;
    // Counts the sockets opened; a socket's events are heard only while it is the current one.
    quint64 m_socketRun = 0;
    // Replaced, on the main thread and under m_lock, only while the session is still connecting;
    // other threads use it only once the session streams.
    std::shared_ptr<StreamingSocket> m_socket;
    // Written in start() before any traffic, read-only afterwards.
    StreamingVocabulary m_vocabulary;
    std::optional<QString> m_languageHint;

    mutable std::mutex m_lock;
    // Guarded by m_lock.
    Stage m_stage = Stage::Connecting;
    std::exception_ptr m_failure; // why the session is Failed or Cancelled
    std::deque<QByteArray> m_pendingFrames;
    StreamingCommitRule m_commitRule;
    int m_outstandingCommits = 0;
    QStringList m_segments;
    QString m_confirmedText;
    std::shared_ptr<FinishWait> m_finishWait;
    PartialHandler m_onPartial;
};
