#include "core/account/SupabaseAuth.h"

#include "core/net/HttpTransport.h"
#include "core/net/Json.h"
#include "core/net/ServiceEndpoints.h"

#include <QJsonDocument>
#include <QNetworkRequest>

using namespace std::chrono_literals;

namespace {

// Supplied by whoever builds a release against a real service; empty means not configured.
constexpr const char* builtInUrl = "";
constexpr const char* builtInKey = "";

constexpr auto requestTimeout = 20s;

QString errorDescription(int status, const QString& body)
{
    const QJsonDocument document = QJsonDocument::fromJson(body.toUtf8());
    if (document.isObject()) {
        const QJsonObject object = document.object();
        for (const char* key : {"msg", "error_description", "error"}) {
            const auto found = object.constFind(QLatin1String(key));
            if (found == object.constEnd())
                continue;
            // Only the first member present counts; a non-text one is not shown.
            if (found->isString())
                return found->toString();
            break;
        }
    }
    return QStringLiteral("登录服务错误 (%1)").arg(status);
}

// The request and its status check, shared by the calls that read the answer and the one that
// does not.
QCoro::Task<QByteArray> postChecked(HttpTransport& transport, SupabaseAuth::Config config, QString path,
                                    QJsonObject body)
{
    QNetworkRequest request(config.url.resolved(QUrl(path)));
    request.setRawHeader("apikey", config.anonKey.toUtf8());
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    const QByteArray payload = compactJson(body);
    const HttpResponse response = co_await transport.send(request, "POST", payload, requestTimeout);
    const int status = response.isHttp ? response.status : 0;
    if (status < 200 || status > 299)
        throw SupabaseAuth::AuthError::http(status, response.utf8Body());
    co_return response.body;
}

} // namespace

std::optional<SupabaseAuth::Config> SupabaseAuth::Config::baked()
{
    const QUrl url = ServiceEndpoints::resolve("MURMO_SIGNIN_URL", QUrl(QString::fromLatin1(builtInUrl)));
    QString key = qEnvironmentVariable("MURMO_SIGNIN_KEY");
    if (key.isEmpty())
        key = QString::fromLatin1(builtInKey);
    if (!url.isValid() || url.isEmpty() || key.isEmpty())
        return std::nullopt;
    return Config{url, key};
}

SupabaseAuth::AuthError::AuthError(Kind kind, int status, QString body, QString description)
    : MurmoError(std::move(description))
    , m_kind(kind)
    , m_status(status)
    , m_body(std::move(body))
{}

SupabaseAuth::AuthError SupabaseAuth::AuthError::http(int status, const QString& body)
{
    return AuthError(Kind::Http, status, body, errorDescription(status, body));
}

SupabaseAuth::AuthError SupabaseAuth::AuthError::badResponse()
{
    return AuthError(Kind::BadResponse, 0, QString(), QStringLiteral("登录服务响应异常"));
}

QUrl SupabaseAuth::callbackUrl(const QString& state)
{
    QUrl url(QStringLiteral("murmo://auth-callback"));
    url.setQuery(QStringLiteral("state=") + QString::fromLatin1(QUrl::toPercentEncoding(state)), QUrl::StrictMode);
    return url;
}

QCoro::Task<QJsonObject> SupabaseAuth::post(HttpTransport& transport, Config config, QString path, QJsonObject body)
{
    const QByteArray answer = co_await postChecked(transport, config, path, body);
    const QJsonDocument document = parseJsonDocument(answer);
    co_return document.isObject() ? document.object() : QJsonObject();
}

QCoro::Task<void> SupabaseAuth::requestOTP(HttpTransport& transport, Config config, QString email)
{
    QJsonObject body;
    body.insert(QStringLiteral("email"), email);
    body.insert(QStringLiteral("create_user"), true);
    co_await postChecked(transport, config, QStringLiteral("auth/v1/otp"), body);
}

QCoro::Task<SupabaseAuth::TokenPair> SupabaseAuth::verifyOTP(HttpTransport& transport, Config config, QString email,
                                                             QString token, QDateTime now)
{
    QJsonObject body;
    body.insert(QStringLiteral("type"), QStringLiteral("email"));
    body.insert(QStringLiteral("email"), email);
    body.insert(QStringLiteral("token"), token);
    const QJsonObject reply = co_await post(transport, config, QStringLiteral("auth/v1/verify"), body);
    co_return tokenPair(reply, now);
}

QCoro::Task<SupabaseAuth::TokenPair> SupabaseAuth::refresh(HttpTransport& transport, Config config,
                                                           QString refreshToken, QDateTime now)
{
    QJsonObject body;
    body.insert(QStringLiteral("refresh_token"), refreshToken);
    const QJsonObject reply =
        co_await post(transport, config, QStringLiteral("auth/v1/token?grant_type=refresh_token"), body);
    co_return tokenPair(reply, now);
}

QUrl SupabaseAuth::authorizeURL(const Config& config, const QString& provider, const QString& state)
{
    QUrl url = ServiceEndpoints::appendPath(config.url, QStringLiteral("auth/v1/authorize"));
    // Encoded by hand: the callback keeps its ":" and "/" as the service expects, and nothing in
    // a provider name or the callback's own query can leak into another parameter.
    const QByteArray query = "provider=" + QUrl::toPercentEncoding(provider) + "&redirect_to=" +
                             QUrl::toPercentEncoding(callbackUrl(state).toString(QUrl::FullyEncoded), ":/");
    url.setQuery(QString::fromLatin1(query), QUrl::StrictMode);
    return url;
}
