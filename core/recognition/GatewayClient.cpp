#include "core/recognition/GatewayClient.h"

#include "core/async/BulkPool.h"
#include "core/net/HttpTransport.h"
#include "core/net/Json.h"
#include "core/net/NetworkErrors.h"
#include "core/net/ServiceEndpoints.h"
#include "core/recognition/AsrError.h"
#include "core/recognition/GatewayAuthError.h"
#include "core/recognition/LexiconTooLargeError.h"

#include <QCoroFuture>
#include <QNetworkRequest>
#include <QThreadPool>
#include <QUrlQuery>
#include <QtConcurrent>

#include <exception>
#include <utility>

using namespace std::chrono_literals;

namespace {

constexpr auto kCallTimeout = 40s;
constexpr auto kLongTimeout = 60s;

QByteArray bearerHeader(const Credential& credential)
{
    return "Bearer " + credential.bearer().toUtf8();
}

QCoro::Task<QJsonObject> postWith(QUrl url, Credential credential, HttpTransport* transport, QByteArray body,
                                  CancelToken* cancel)
{
    QNetworkRequest request(url);
    request.setRawHeader("Authorization", bearerHeader(credential));
    request.setRawHeader("Content-Type", "application/json");
    request.setRawHeader("User-Agent", "MurmoApp/1.0");

    const HttpResponse response = co_await transport->send(request, "POST", body, kCallTimeout, cancel);
    co_return GatewayClient::objectFromAnswer(response.isHttp, response.status, response.body);
}

QCoro::Task<QString> registerWith(QUrl url, QString label, QString registerSecret, HttpTransport* transport)
{
    QNetworkRequest request(url);
    request.setRawHeader("Content-Type", "application/json");
    if (!registerSecret.isEmpty())
        request.setRawHeader("X-Register-Key", registerSecret.toUtf8());

    const QByteArray body = compactJson(QJsonObject{{QStringLiteral("label"), label}});
    const HttpResponse response = co_await transport->send(request, "POST", body, kLongTimeout);
    if (response.status == 200) {
        if (std::optional<QString> token = GatewayClient::tokenFromRegisterAnswer(response.body))
            co_return *token;
    }
    throw AsrError::httpError(response.status, response.utf8Body());
}

QCoro::Task<std::optional<QByteArray>> fetchWith(QUrl url, Credential credential, HttpTransport* transport)
{
    QNetworkRequest request(url);
    request.setRawHeader("Authorization", bearerHeader(credential));

    // Named: a brace-initialised temporary beside co_await is miscompiled by g++ 12.
    const QByteArray noBody;
    HttpResponse response =
        co_await transport->send(request, "GET", noBody, kLongTimeout, nullptr, HttpTransport::lexiconAnswerCap);
    if (response.isHttp && response.status == 401)
        throw GatewayAuthError();
    // Only a definite "there is no copy" may be answered with nothing: the caller pushes its own
    // lexicon over the account's copy after that, so a refusal or a server fault must not look
    // the same.
    if (response.isHttp && response.status == 404)
        co_return std::nullopt;
    if (!response.isHttp || response.status != 200)
        throw AsrError::httpError(response.isHttp ? response.status : 0, response.utf8Body());
    // Megabytes of JSON and base64: read, and let go of, on a worker.
    struct Read
    {
        std::optional<QByteArray> copy;
        std::exception_ptr error;
    };
    QFuture<Read> reading = QtConcurrent::run(&bulkPool(), [body = std::move(response.body)] {
        Read read;
        try {
            read.copy = GatewayClient::lexiconFromAnswer(body);
        } catch (...) {
            read.error = std::current_exception();
        }
        return read;
    });
    Read read = co_await reading;
    if (read.error)
        std::rethrow_exception(read.error);
    co_return std::move(read.copy);
}

QCoro::Task<void> pushWith(QUrl url, Credential credential, HttpTransport* transport, QByteArray body)
{
    QNetworkRequest request(url);
    request.setRawHeader("Authorization", bearerHeader(credential));
    request.setRawHeader("Content-Type", "application/json");
    const HttpResponse response = co_await transport->send(request, "PUT", body, kLongTimeout);
    // A refused credential is worth one retry with another; any other refusal leaves the
    // account's copy as it was, which the caller must hear of.
    if (response.isHttp && response.status == 401)
        throw GatewayAuthError();
    if (!response.isHttp || response.status < 200 || response.status >= 300)
        throw AsrError::httpError(response.isHttp ? response.status : 0, response.utf8Body());
}

} // namespace

GatewayClient::GatewayClient(QUrl baseUrl, Credential credential, HttpTransport* transport)
    : m_baseUrl(std::move(baseUrl))
    , m_credential(std::move(credential))
    , m_transport(transport)
{}

GatewayClient::GatewayClient(QUrl baseUrl, QString token, HttpTransport* transport)
    : GatewayClient(std::move(baseUrl), Credential::deviceToken(std::move(token)), transport)
{}

GatewayClient::GatewayClient(QUrl baseUrl, std::shared_ptr<CredentialSource> source, HttpTransport* transport)
    : m_baseUrl(std::move(baseUrl))
    , m_source(std::move(source))
    , m_transport(transport)
{
    Q_ASSERT(m_source);
}

template <typename T> QCoro::Task<T> GatewayClient::authorised(std::function<QCoro::Task<T>(Credential)> call) const
{
    if (m_source)
        return withCredential<T>(m_source, std::move(call));
    return call(*m_credential);
}

QJsonObject GatewayClient::objectFromAnswer(bool isHttp, int status, const QByteArray& body)
{
    if (!isHttp)
        status = 0;
    if (status == 200) {
        const QJsonDocument document = parseJsonDocument(body);
        if (document.isObject())
            return document.object();
    } else if (status == 401) {
        throw GatewayAuthError();
    }
    HttpResponse response{isHttp, status, body};
    throw AsrError::httpError(status, response.utf8Body());
}

std::optional<QByteArray> GatewayClient::lexiconFromAnswer(const QByteArray& body)
{
    const QJsonDocument document = parseJsonDocument(body);
    if (!document.isObject())
        throw JsonError(QStringLiteral("词库应答不是 JSON 对象"));
    const QJsonValue blobValue = document.object().value(QStringLiteral("blob"));
    if (blobValue.isUndefined() || blobValue.isNull() || blobValue.toString(QStringLiteral("x")).isEmpty())
        return std::nullopt;
    if (!blobValue.isString())
        throw JsonError::missingMember(QStringLiteral("blob"));
    const QString blob = blobValue.toString();
    auto decoded = QByteArray::fromBase64Encoding(blob.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || blob.size() % 4 != 0)
        throw JsonError(QStringLiteral("词库应答的 blob 不是有效的 base64"));
    return *decoded;
}

std::optional<QString> GatewayClient::tokenFromRegisterAnswer(const QByteArray& body)
{
    const QJsonDocument document = parseJsonDocument(body);
    const QJsonValue token = document.object().value(QStringLiteral("token"));
    if (!document.isObject() || !token.isString())
        return std::nullopt;
    return token.toString();
}

QCoro::Task<QJsonObject> GatewayClient::post(QString path, QJsonObject body, CancelToken* cancel) const
{
    return postSerialized(std::move(path), compactJson(body), cancel);
}

QCoro::Task<QJsonObject> GatewayClient::postSerialized(QString path, QByteArray body, CancelToken* cancel) const
{
    const QUrl url = ServiceEndpoints::appendPath(m_baseUrl, path);
    HttpTransport* transport = m_transport;
    return authorised<QJsonObject>([url, transport, body, cancel](Credential credential) {
        return postWith(url, std::move(credential), transport, body, cancel);
    });
}

QCoro::Task<QString> GatewayClient::complete(QString system, QString text, CancelToken* cancel) const
{
    const QJsonObject body{{QStringLiteral("system"), system}, {QStringLiteral("text"), text}};
    const QJsonObject answer = co_await post(QStringLiteral("v1/style"), body, cancel);
    const QJsonValue result = answer.value(QStringLiteral("text"));
    co_return result.isString() ? result.toString() : text;
}

QCoro::Task<QString> GatewayClient::ask(QString system, QString text, CancelToken* cancel) const
{
    const QJsonObject body{{QStringLiteral("system"), system}, {QStringLiteral("text"), text}};
    const QJsonObject answer = co_await post(QStringLiteral("v1/ask"), body, cancel);
    const QJsonValue result = answer.value(QStringLiteral("text"));
    if (!result.isString())
        throw JsonError::missingMember(QStringLiteral("text"));
    co_return result.toString();
}

QCoro::Task<QString> GatewayClient::registerDevice(QUrl baseUrl, QString label, QString registerSecret,
                                                   HttpTransport* transport)
{
    co_return co_await registerWith(ServiceEndpoints::appendPath(baseUrl, QStringLiteral("v1/register")), label,
                                    registerSecret, transport);
}

QCoro::Task<std::optional<QByteArray>> GatewayClient::fetchLexicon(QString syncKey) const
{
    QUrl url = ServiceEndpoints::appendPath(m_baseUrl, QStringLiteral("v1/lexicon"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("key"), syncKey);
    url.setQuery(query);
    HttpTransport* transport = m_transport;
    return authorised<std::optional<QByteArray>>(
        [url, transport](Credential credential) { return fetchWith(url, std::move(credential), transport); });
}

qint64 GatewayClient::lexiconCopyLimit(const QString& syncKey)
{
    // The answer that carries the copy back: {"blob":"<base64>"} and whatever else the gateway
    // adds about it (the key, the time), given room generously.
    const qint64 around = 4096 + 2 * syncKey.toUtf8().size();
    return (HttpTransport::lexiconAnswerCap - around) / 4 * 3;
}

QCoro::Task<void> GatewayClient::pushLexicon(QString syncKey, QByteArray data, QDateTime updatedAt) const
{
    if (data.size() > lexiconCopyLimit(syncKey))
        throw LexiconTooLargeError(data.size(), lexiconCopyLimit(syncKey));
    // The client may go while the body is built; the copy shares its parts.
    const GatewayClient self = *this;
    // The body is the lexicon in base64 inside JSON, passing through several times its size on the
    // way: it is built on a worker, which lets go of all but the body.
    QFuture<QByteArray> building =
        QtConcurrent::run(&bulkPool(), [syncKey, data = std::move(data), updatedAt]() mutable {
            const QByteArray blob = std::exchange(data, {}).toBase64();
            return compactJson(QJsonObject{
                {QStringLiteral("key"), syncKey},
                {QStringLiteral("blob"), QString::fromLatin1(blob)},
                {QStringLiteral("updatedAt"), qint64(updatedAt.toMSecsSinceEpoch())},
            });
        });
    auto serialized = std::make_shared<QByteArray>(co_await building);
    const QUrl url = ServiceEndpoints::appendPath(self.m_baseUrl, QStringLiteral("v1/lexicon"));
    HttpTransport* transport = self.m_transport;
    auto push = [url, transport, serialized](Credential credential) {
        return pushWith(url, std::move(credential), transport, *serialized);
    };
    std::exception_ptr failure;
    try {
        // Moved in, so that once the request is over only serialized holds the body.
        co_await self.authorised<void>(std::move(push));
    } catch (...) {
        failure = std::current_exception();
    }
    // What the request leaves of the body goes on a worker too.
    bulkPool().start([body = std::exchange(serialized, {})] {});
    if (failure)
        std::rethrow_exception(failure);
}
