#pragma once

#include <QByteArray>
#include <QCoroTask>
#include <QNetworkRequest>
#include <QPointer>

#include <chrono>
#include <optional>

class CancelToken;
class ConnectionSockets;
class QNetworkAccessManager;

// What came back for one request. isHttp is false when the reply carried no HTTP status at all;
// callers then treat the status as 0.
struct HttpResponse
{
    bool isHttp = false;
    int status = 0;
    QByteArray body;

    // The body as text for error messages: UTF-8, or empty when it is not valid UTF-8.
    QString utf8Body() const;
};

// Sends one request on a QNetworkAccessManager and waits for the whole answer. Every service
// client goes through it, so the rules that hold for all of them live here: plain http only to
// loopback, no redirect followed (the credentials and audio of a request go to the address it
// names, nowhere else), a cap on the answer's size, one inactivity timeout per request and a
// deadline for the whole exchange, transport failures as TransportError (in words a user
// reads), and cancellation through a token.
class HttpTransport
{
public:
    // Uses the given manager, or one of its own made on first use. Main thread only. The
    // application object makes one transport and hands it to every client it builds. Through
    // sockets, when given, every body goes out without Nagle's delay, and the wait for an answer
    // starts once the service has acknowledged the whole body on its connection; without them, or
    // where they cannot tell, the wait starts once Qt has handed the body to the system and allows
    // its time at the slowest uplink.
    explicit HttpTransport(QNetworkAccessManager* manager = nullptr, ConnectionSockets* sockets = nullptr);
    // Deletes a manager of its own, and with it every reply still outstanding, so that nothing
    // of the transport waits for an event loop that may never run again. Requests still in flight
    // are aborted first: their callers resume with a transport error instead of never.
    ~HttpTransport();

    HttpTransport(const HttpTransport&) = delete;
    HttpTransport& operator=(const HttpTransport&) = delete;

    // The most bytes an answer may have by default: a transcript or a styled text is a few
    // kilobytes, an account's answers less.
    static constexpr qint64 defaultAnswerCap = 1024 * 1024;
    // An account's lexicon copy, the largest thing a service sends.
    static constexpr qint64 lexiconAnswerCap = 8 * 1024 * 1024;
    // The whole exchange may take this many times the request's inactivity timeout, plus the time
    // its body takes at the slowest uplink below.
    static constexpr int kDeadlineFactor = 3;
    // The slowest uplink the whole exchange's deadline gives a body time for, in bytes a second:
    // a recording of a minute, some 2.5 MB as the gateway takes it, may take five minutes to go up.
    static constexpr qint64 kSlowestUplinkBytesPerSecond = 8 * 1024;

    // Tests shorten every timeout to this so a silent server fails fast; the time a body is given
    // shrinks by the same factor.
    void setTimeoutCap(std::chrono::milliseconds cap) { m_timeoutCap = cap; }

    // timeout: how long the exchange may stay silent. Sending the body counts as activity, down
    // to the service's acknowledgement of its last byte (a slow uplink keeps much of it in the
    // system's buffers after this program has handed all of it over); the wait for the answer
    // starts there, whatever the body's size, or allows the body's time where that cannot be
    // told. The whole exchange may last kDeadlineFactor times the timeout plus the body's time at
    // the slowest uplink. An answer of more than answerCap bytes is cut off as soon as it passes
    // the cap, and a redirect (any 3xx) is not followed: all of these fail with a TransportError.
    QCoro::Task<HttpResponse> send(QNetworkRequest request, QByteArray verb, QByteArray body,
                                   std::chrono::milliseconds timeout, CancelToken* cancel = nullptr,
                                   qint64 answerCap = defaultAnswerCap) const;

    // True for https, and for http when the host is this machine.
    static bool isAllowedUrl(const QUrl& url);

private:
    QNetworkAccessManager* manager() const;

    mutable QPointer<QNetworkAccessManager> m_manager;
    // The manager made here, if any; the application may delete it first at exit.
    mutable QPointer<QNetworkAccessManager> m_ownManager;
    ConnectionSockets* m_sockets;
    std::optional<std::chrono::milliseconds> m_timeoutCap;
};
