#include "tests/support/FakeAnthropic.h"

namespace {

FakeReply checked(const RecordedRequest& request)
{
    if (request.header("x-api-key").isEmpty())
        return FakeAnthropic::error(401, QStringLiteral("authentication_error"), QStringLiteral("invalid x-api-key"));
    if (request.header("anthropic-version").isEmpty())
        return FakeAnthropic::error(400, QStringLiteral("invalid_request_error"),
                                    QStringLiteral("anthropic-version: header is required"));
    const QJsonObject body = request.json();
    if (!body.value(QStringLiteral("model")).isString() || !body.value(QStringLiteral("max_tokens")).isDouble() ||
        !body.value(QStringLiteral("messages")).isArray())
        return FakeAnthropic::error(400, QStringLiteral("invalid_request_error"),
                                    QStringLiteral("model, max_tokens and messages are required"));
    return FakeAnthropic::answer(FakeAnthropic::kAnswer);
}

} // namespace

FakeAnthropic::FakeAnthropic(QObject* parent)
    : FakeHttpService(parent)
{
    setHandler("POST", kPath, checked);
}

FakeReply FakeAnthropic::answer(const QString& text)
{
    return answer(
        QJsonArray{QJsonObject{{QStringLiteral("type"), QStringLiteral("text")}, {QStringLiteral("text"), text}}});
}

FakeReply FakeAnthropic::answer(const QJsonArray& content)
{
    return FakeReply::json({
        {QStringLiteral("id"), QStringLiteral("msg_01")},
        {QStringLiteral("type"), QStringLiteral("message")},
        {QStringLiteral("role"), QStringLiteral("assistant")},
        {QStringLiteral("model"), QStringLiteral("claude-haiku-4-5-20251001")},
        {QStringLiteral("content"), content},
        {QStringLiteral("stop_reason"), QStringLiteral("end_turn")},
        {QStringLiteral("usage"),
         QJsonObject{{QStringLiteral("input_tokens"), 12}, {QStringLiteral("output_tokens"), 7}}},
    });
}

FakeReply FakeAnthropic::error(int status, const QString& type, const QString& message)
{
    const QJsonObject detail{{QStringLiteral("type"), type}, {QStringLiteral("message"), message}};
    return FakeReply::json({{QStringLiteral("type"), QStringLiteral("error")}, {QStringLiteral("error"), detail}},
                           status);
}
