#pragma once

#include "core/recognition/StreamingFrame.h"
#include "platform/Clock.h"

#include <QPointer>
#include <QUrl>
#include <QWebSocket>

#include <atomic>
#include <chrono>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class QObject;

// The realtime recogniser's WebSocket. It lives on the main thread: create(), open(), flush(),
// close() and post() are called there, and the handlers run there. Frames may be queued from any
// thread; they go out in queue order once the socket is open, and are dropped when it was never
// opened or has closed. Every failure (no connection within kConnectTimeout, a socket error, a
// close, a send that did not go through) reaches onFailure as a TransportError, except a
// handshake the gateway refused with 401, which is a GatewayAuthError; a session takes the first
// and ignores the rest.
//
// Held by shared_ptr: the socket's signals hold it weakly, and the last reference may go on any
// thread (the QWebSocket is then deleted on the main thread).
class StreamingSocket : public std::enable_shared_from_this<StreamingSocket>
{
public:
    struct Handlers
    {
        std::function<void(const QString& frame)> onText;
        std::function<void(std::exception_ptr error)> onFailure;
    };

    // How long the connection may take to open.
    static constexpr std::chrono::milliseconds kConnectTimeout{10000};

    static std::shared_ptr<StreamingSocket> create(Clock& clock);
    ~StreamingSocket();

    StreamingSocket(const StreamingSocket&) = delete;
    StreamingSocket& operator=(const StreamingSocket&) = delete;

    // Set before open().
    void setHandlers(Handlers handlers);

    // Connects with "Authorization: Bearer <bearer>"; frames queued meanwhile wait for the socket.
    void open(const QUrl& url, const QString& bearer);

    // Any thread; takes a short lock of its own, so a caller may hold its own lock to keep the
    // order of its decisions on the wire.
    void enqueue(StreamingFrame frame);
    // Sends what is queued now (main thread) or soon (any thread).
    void flush();
    void flushSoon();

    // Closes with the code and no reason; a socket that has already failed is aborted instead.
    // Nothing happens when it is not open.
    void close(QWebSocketProtocol::CloseCode code);

    // Runs work on the main thread, later.
    void post(std::function<void()> work) const;

    // The HTTP status of a refused handshake, read from the socket's error text; none for other
    // errors. A 401 is reported as GatewayAuthError.
    static std::optional<int> refusedHandshakeStatus(const QString& errorString);

    // The error a close with this code stands for.
    static std::exception_ptr closedError(int code, const QString& reason = QString());

private:
    explicit StreamingSocket(Clock& clock);

    void onConnected();
    void report(std::exception_ptr error) const;
    void cancelConnectTimer();

    Clock& m_clock;
    // Lives on the main thread: the target of work queued there, parent of the socket.
    QObject* m_context;
    QPointer<QWebSocket> m_socket;
    Clock::TimerId m_connectTimer = 0;
    Handlers m_handlers;

    std::mutex m_lock;
    // Guarded by m_lock.
    std::deque<StreamingFrame> m_outbox;
    // A flush is on its way to the main thread. Cleared before the flush takes the queue, so a
    // frame queued meanwhile either goes with it or posts another.
    std::atomic<bool> m_flushPosted = false;
};
