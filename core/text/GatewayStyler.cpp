#include "core/text/GatewayStyler.h"

#include "core/net/NetworkErrors.h"

GatewayStyler::GatewayStyler(GatewayClient client)
    : m_client(std::move(client))
{}

std::optional<QJsonObject> GatewayStyler::requestBody(const StyleMode& mode, const QString& text,
                                                      const StylePreferences& preferences, bool translate)
{
    const std::optional<QString> system = mode.systemPrompt(preferences, translate);
    if (!system)
        return std::nullopt;
    const bool smart = translate || mode.id == QLatin1String("formal");
    QJsonObject body{
        {QStringLiteral("system"), *system},
        {QStringLiteral("text"), StyleMode::wrapInput(text, translate)},
        {QStringLiteral("tier"), smart ? QStringLiteral("smart") : QStringLiteral("fast")},
        {QStringLiteral("translate"), translate},
    };
    // Sent untrimmed: a label of blanks is still the caller's label.
    if (preferences.appContext && !preferences.appContext->isEmpty())
        body.insert(QStringLiteral("appContext"), *preferences.appContext);
    return body;
}

QCoro::Task<QString> GatewayStyler::apply(StyleMode mode, QString text, StylePreferences preferences, bool translate,
                                          CancelToken* cancel) const
{
    const std::optional<QJsonObject> body = requestBody(mode, text, preferences, translate);
    if (!body)
        co_return text;
    const GatewayClient client = m_client;
    const QJsonObject answer = co_await client.post(QStringLiteral("v1/style"), *body, cancel);
    const QJsonValue styled = answer.value(QStringLiteral("text"));
    // An answer without the text is a styling that failed, not one that changed nothing.
    if (!styled.isString())
        throw JsonError::missingMember(QStringLiteral("text"));
    co_return styled.toString();
}
