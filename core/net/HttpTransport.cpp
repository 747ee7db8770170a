#include "core/net/HttpTransport.h"

#include "core/async/CancelToken.h"
#include "core/net/NetworkErrors.h"
#include "core/net/UploadBody.h"
#include "core/net/UploadWatch.h"
#include "platform/ConnectionSockets.h"

#include <QCoreApplication>
#include <QCoroNetworkReply>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QScopeGuard>
#include <QStringDecoder>
#include <QTimer>

#include <algorithm>
#include <memory>

using namespace std::chrono_literals;

QString HttpResponse::utf8Body() const
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(body);
    return decoder.hasError() ? QString() : text;
}

HttpTransport::HttpTransport(QNetworkAccessManager* manager, ConnectionSockets* sockets)
    : m_manager(manager)
    , m_sockets(sockets)
{}

HttpTransport::~HttpTransport()
{
    if (!m_ownManager)
        return;
    // A request still waiting is woken with an error first: deleting its reply silently would
    // leave the coroutine that awaits it suspended for ever, and everything up its chain with it.
    for (QNetworkReply* reply : m_ownManager->findChildren<QNetworkReply*>())
        reply->abort();
    delete m_ownManager.data();
}

QNetworkAccessManager* HttpTransport::manager() const
{
    // Parented to the application so that the shared transport's manager goes away with the
    // event loop, before static destructors.
    if (!m_manager) {
        m_ownManager = new QNetworkAccessManager(QCoreApplication::instance());
        m_manager = m_ownManager;
    }
    return m_manager;
}

bool HttpTransport::isAllowedUrl(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("https"))
        return true;
    if (scheme != QLatin1String("http"))
        return false;
    const QString host = url.host();
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

namespace {

// What the user reads of a failed connection: Qt's own texts are English and technical.
QString connectionFailure(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
        return QStringLiteral("服务器拒绝了连接");
    case QNetworkReply::RemoteHostClosedError:
        return QStringLiteral("服务器中途断开了连接");
    case QNetworkReply::HostNotFoundError:
        return QStringLiteral("找不到服务器，请检查网络");
    case QNetworkReply::SslHandshakeFailedError:
        return QStringLiteral("无法建立安全连接");
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
        return QStringLiteral("网络暂时不可用");
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyNotFoundError:
    case QNetworkReply::ProxyTimeoutError:
    case QNetworkReply::ProxyAuthenticationRequiredError:
        return QStringLiteral("代理服务器连接失败");
    default:
        return QStringLiteral("网络连接失败");
    }
}

TransportError transportErrorFrom(const QNetworkReply& reply, bool timedOut)
{
    if (timedOut)
        return TransportError(TransportError::Kind::TimedOut, QStringLiteral("请求超时"));
    return TransportError(TransportError::Kind::Failed, connectionFailure(reply.error()));
}

// Qt reports HTTP error statuses as errors too (the 2xx and 4xx ranges of NetworkError, and
// ProtocolInvalidOperationError for a 400); those are answers and are handed to the caller.
// Connection, proxy and protocol failures are not.
bool isTransportFailure(QNetworkReply::NetworkError error)
{
    if (error == QNetworkReply::NoError || error == QNetworkReply::ProtocolInvalidOperationError)
        return false;
    return error < QNetworkReply::ContentAccessDenied ||
           (error >= QNetworkReply::ProtocolUnknownError && error < QNetworkReply::InternalServerError);
}

// The address and port the request goes to, as the system names the service's connections.
struct Service
{
    QHostAddress address;
    quint16 port = 0;
};

Service serviceOf(const QUrl& url)
{
    const bool https = url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    return {QHostAddress(url.host()), quint16(url.port(https ? 443 : 80))};
}

// Sends the request. Qt writes the headers and the body in separate pieces: with Nagle's
// algorithm on, the body would wait for the service's (delayed) acknowledgement of the headers,
// on a fresh connection as on a kept-alive one. It is turned off the moment the connection is up,
// and the watch learns then that the body begins to go out.
QNetworkReply* startRequest(QNetworkAccessManager& manager, const QNetworkRequest& request, const QByteArray& verb,
                            const QByteArray& body, ConnectionSockets* sockets, const Service& service,
                            UploadWatch* watch)
{
    if (body.isEmpty())
        return manager.sendCustomRequest(request, verb, body);
    auto* const upload = new UploadBody(body, [sockets, service, watch = QPointer<UploadWatch>(watch)] {
        if (!sockets)
            return;
        sockets->sendWithoutDelay(service.address, service.port);
        if (watch)
            watch->bodyBegins();
    });
    QNetworkReply* const reply = manager.sendCustomRequest(request, verb, upload);
    upload->setParent(reply);
    return reply;
}

// What has come of the answer so far, and why the exchange was cut short, if it was.
struct Received
{
    QByteArray body;
    bool tooLarge = false;
    bool timedOut = false;
};

// Ends the exchange once it stays silent for effective: sending the body counts as activity, down
// to the service's acknowledgement of its last byte, as the watch follows it; where that cannot
// be told, the wait for the answer allows the body's time at the slowest uplink. Silence counts
// only the pauses: a service that sends a byte now and then would hold the request for ever, so
// the whole exchange gets a few times the timeout, and the body's time.
void limitTime(QNetworkReply* reply, const std::shared_ptr<Received>& received, UploadWatch* watch,
               std::chrono::milliseconds effective, std::chrono::milliseconds bodyTime)
{
    const auto timeOut = [reply, received] {
        received->timedOut = true;
        reply->abort();
    };
    auto* const silence = new QTimer(reply);
    silence->setSingleShot(true);
    QObject::connect(silence, &QTimer::timeout, reply, timeOut);
    silence->start(effective);
    const auto heard = [silence, effective] { silence->start(effective); };
    QObject::connect(watch, &UploadWatch::moved, silence, heard);
    QObject::connect(watch, &UploadWatch::acknowledged, silence, heard);
    QObject::connect(watch, &UploadWatch::cannotTell, silence,
                     [silence, effective, bodyTime] { silence->start(effective + bodyTime); });
    QObject::connect(reply, &QNetworkReply::uploadProgress, silence,
                     [silence, effective, watch](qint64 sent, qint64 total) {
                         silence->start(effective);
                         if (total > 0 && sent >= total)
                             watch->bodyHandedOver();
                     });
    QObject::connect(reply, &QNetworkReply::metaDataChanged, watch, &UploadWatch::stop);
    QObject::connect(reply, &QNetworkReply::metaDataChanged, silence, heard);
    QObject::connect(reply, &QNetworkReply::downloadProgress, silence, heard);
    QTimer::singleShot(HttpTransport::kDeadlineFactor * effective + bodyTime, reply, timeOut);
}

// The answer is taken out of the reply as it arrives (after decompression, so a small compressed
// body that unpacks to gigabytes is stopped too) and cut off the moment it passes the cap, or as
// soon as its announced length does. Each piece is read straight into one buffer made as large as
// the announced length: a synced lexicon of megabytes is neither copied over and over as the
// buffer grows nor all at once at the end, on this thread. Returns what takes the bytes there are.
auto collectAnswer(QNetworkReply* reply, const std::shared_ptr<Received>& received, qint64 answerCap)
{
    const auto overCap = [reply, received] {
        received->tooLarge = true;
        reply->abort();
    };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, received, answerCap, overCap] {
        const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
        if (!announced.isValid())
            return;
        if (announced.toLongLong() > answerCap)
            overCap();
        else
            received->body.reserve(announced.toLongLong());
    });
    const auto takeAvailable = [reply, received, answerCap, overCap] {
        const qint64 available = reply->bytesAvailable();
        if (received->tooLarge || available <= 0)
            return;
        if (received->body.size() + available > answerCap) {
            overCap();
            return;
        }
        const qsizetype start = received->body.size();
        received->body.resize(start + available);
        const qint64 read = reply->read(received->body.data() + start, available);
        received->body.resize(start + std::max<qint64>(read, 0));
    };
    QObject::connect(reply, &QNetworkReply::readyRead, reply, takeAvailable);
    return takeAvailable;
}

// The finished reply as the caller gets it: an answer of any status but a redirect, or the
// transport's failure.
HttpResponse outcomeOf(const QNetworkReply& reply, Received& received)
{
    if (received.tooLarge)
        throw TransportError(TransportError::Kind::AnswerTooLarge, QStringLiteral("服务返回的数据过大，已中止"));
    if (received.timedOut)
        throw transportErrorFrom(reply, true);
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid() || isTransportFailure(reply.error())) {
        // Either no status line arrived, or the body was cut off: the connection itself failed.
        const bool timedOut =
            reply.error() == QNetworkReply::OperationCanceledError || reply.error() == QNetworkReply::TimeoutError;
        throw transportErrorFrom(reply, timedOut);
    }
    if (status.toInt() >= 300 && status.toInt() < 400)
        throw TransportError(TransportError::Kind::Redirected,
                             QStringLiteral("服务把请求转到了别的地址 (HTTP %1)，未跟随").arg(status.toInt()));

    HttpResponse response;
    response.isHttp = true;
    response.status = status.toInt();
    response.body = std::move(received.body);
    return response;
}

} // namespace

QCoro::Task<HttpResponse> HttpTransport::send(QNetworkRequest request, QByteArray verb, QByteArray body,
                                              std::chrono::milliseconds timeout, CancelToken* cancel,
                                              qint64 answerCap) const
{
    if (!isAllowedUrl(request.url()))
        throw TransportError(TransportError::Kind::InsecureUrl,
                             QStringLiteral("拒绝通过未加密的连接访问 %1").arg(request.url().host()));
    if (cancel)
        cancel->throwIfCancelled();

    const auto effective = m_timeoutCap ? std::min(timeout, *m_timeoutCap) : timeout;
    const std::chrono::milliseconds bodyTime(body.size() * 1000 / kSlowestUplinkBytesPerSecond * effective.count() /
                                             std::max<qint64>(1, timeout.count()));
    // A redirect would carry the request's credentials and audio to wherever the answer points;
    // the services we call never redirect, so one is a failure.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);

    const Service service = serviceOf(request.url());
    auto* const watch = new UploadWatch(m_sockets, service.address, service.port, body.size(),
                                        std::clamp<std::chrono::milliseconds>(effective / 10, 10ms, 1s));
    QNetworkReply* const reply = startRequest(*manager(), request, verb, body, m_sockets, service, watch);
    watch->setParent(reply);
    // The coroutine resumes inside the reply's own finished signal (for an abort, inside abort()),
    // so deleting the reply when this frame ends would pull it out from under Qt's emission. The
    // manager may have deleted it already when its transport went away.
    const auto release = qScopeGuard([alive = QPointer<QNetworkReply>(reply)] {
        if (alive)
            alive->deleteLater();
    });
    QPointer<CancelToken> guard(cancel);
    QMetaObject::Connection cancelConnection;
    if (cancel)
        cancelConnection = QObject::connect(cancel, &CancelToken::cancelled, reply, &QNetworkReply::abort);

    const auto received = std::make_shared<Received>();
    limitTime(reply, received, watch, effective, bodyTime);
    const auto takeAvailable = collectAnswer(reply, received, answerCap);

    co_await reply;

    if (cancelConnection)
        QObject::disconnect(cancelConnection);
    if (guard && guard->isCancelled())
        throw CancelledError();
    // What came with the end.
    takeAvailable();
    HttpResponse response = outcomeOf(*reply, *received);
    co_return response;
}
