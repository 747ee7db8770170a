#include "core/text/LlmStyler.h"

#include "core/net/HttpTransport.h"
#include "core/net/Json.h"
#include "core/net/NetworkErrors.h"
#include "core/net/ServiceEndpoints.h"
#include "core/recognition/AsrError.h"
#include "core/text/Graphemes.h"

#include <QJsonArray>
#include <QNetworkRequest>

#include <algorithm>

namespace {

constexpr int kMinTokens = 1024;
constexpr int kMaxTokens = 8192;
constexpr int kTokensOverInput = 800;

QCoro::Task<QString> completeWith(QString apiKey, QString model, QUrl host, HttpTransport* transport, QString system,
                                  QString text, CancelToken* cancel)
{
    QNetworkRequest request(ServiceEndpoints::appendPath(host, QStringLiteral("v1/messages")));
    request.setRawHeader("x-api-key", apiKey.toUtf8());
    request.setRawHeader("anthropic-version", "2023-06-01");
    request.setRawHeader("Content-Type", "application/json");

    const QByteArray body = LlmStyler::requestBody(model, system, text);
    const HttpResponse response = co_await transport->send(request, "POST", body, LlmStyler::kRequestTimeout, cancel);
    co_return LlmStyler::textFromAnswer(response.isHttp, response.status, response.body);
}

} // namespace

LlmStyler::LlmStyler(QString apiKey, QString model, HttpTransport& transport)
    : LlmStyler(std::move(apiKey), std::move(model), ServiceEndpoints::anthropic(), &transport)
{}

LlmStyler::LlmStyler(QString apiKey, QString model, QUrl host, HttpTransport* transport)
    : m_apiKey(std::move(apiKey))
    , m_model(std::move(model))
    , m_host(std::move(host))
    , m_transport(transport)
{}

QCoro::Task<QString> LlmStyler::apply(StyleMode mode, QString text, StylePreferences preferences, bool translate,
                                      CancelToken* cancel) const
{
    if (m_apiKey.isEmpty())
        co_return text;
    const std::optional<QString> system = mode.systemPrompt(preferences, translate);
    if (!system)
        co_return text;
    const QString input = StyleMode::wrapInput(text, translate);
    co_return co_await completeWith(m_apiKey, m_model, m_host, m_transport, *system, input, cancel);
}

QCoro::Task<QString> LlmStyler::complete(QString system, QString text, CancelToken* cancel) const
{
    if (m_apiKey.isEmpty())
        co_return text;
    co_return co_await completeWith(m_apiKey, m_model, m_host, m_transport, system, text, cancel);
}

int LlmStyler::maxTokensFor(const QString& text)
{
    // Clamp before narrowing so a huge text cannot overflow the sum.
    const qsizetype wanted = Graphemes::count(text) + kTokensOverInput;
    return static_cast<int>(std::clamp<qsizetype>(wanted, kMinTokens, kMaxTokens));
}

QByteArray LlmStyler::requestBody(const QString& model, const QString& system, const QString& text)
{
    const QJsonObject message{{QStringLiteral("role"), QStringLiteral("user")}, {QStringLiteral("content"), text}};
    const QJsonObject body{
        {QStringLiteral("model"), model},
        {QStringLiteral("max_tokens"), maxTokensFor(text)},
        {QStringLiteral("system"), system},
        {QStringLiteral("messages"), QJsonArray{message}},
    };
    return compactJson(body);
}

QString LlmStyler::textFromAnswer(bool isHttp, int status, const QByteArray& body)
{
    if (!isHttp || status != 200) {
        const HttpResponse response{isHttp, isHttp ? status : 0, body};
        throw AsrError::httpError(response.status, response.utf8Body());
    }
    const QJsonDocument document = parseJsonDocument(body);
    const QJsonValue content = document.object().value(QStringLiteral("content"));
    if (!document.isObject() || !content.isArray())
        throw JsonError::missingMember(QStringLiteral("content"));

    QString text;
    for (const QJsonValue& block : content.toArray()) {
        if (!block.isObject())
            throw JsonError::missingMember(QStringLiteral("content[]"));
        const QJsonValue blockText = block.toObject().value(QStringLiteral("text"));
        if (blockText.isString())
            text += blockText.toString();
        else if (!blockText.isUndefined() && !blockText.isNull())
            throw JsonError::missingMember(QStringLiteral("content[].text"));
    }
    return text;
}
