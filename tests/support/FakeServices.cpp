#include "tests/support/FakeServices.h"

#include "tests/support/FakeStreamingGateway.h"

#include <QJsonArray>

FakeGateway::FakeGateway(QObject* parent)
    : FakeHttpService(parent)
{
    setReply("POST", QStringLiteral("/v1/asr"), FakeReply::json({{QStringLiteral("text"), kTranscript}}));
    setHandler("POST", QStringLiteral("/v1/style"), [](const RecordedRequest& request) {
        return FakeReply::json({{QStringLiteral("text"), request.json().value(QStringLiteral("text"))}});
    });
    setReply("POST", QStringLiteral("/v1/ask"), FakeReply::json({{QStringLiteral("text"), QStringLiteral("答案")}}));
    setReply("POST", QStringLiteral("/v1/register"), FakeReply::json({{QStringLiteral("token"), kDeviceToken}}));
    setReply("GET", QStringLiteral("/v1/me"),
             FakeReply::json({{QStringLiteral("email"), QStringLiteral("user@example.com")}}));
    setHandler("PUT", QStringLiteral("/v1/lexicon"), [this](const RecordedRequest& request) {
        const QJsonObject body = request.json();
        storedLexicons.insert(body.value(QStringLiteral("key")).toString(),
                              body.value(QStringLiteral("blob")).toString().toLatin1());
        return FakeReply::json({{QStringLiteral("ok"), true}});
    });
    setHandler("GET", QStringLiteral("/v1/lexicon"), [this](const RecordedRequest& request) {
        const QString key = request.query.queryItemValue(QStringLiteral("key"), QUrl::FullyDecoded);
        if (!storedLexicons.contains(key))
            return FakeReply::raw("not found", 404);
        return FakeReply::json({{QStringLiteral("blob"), QString::fromLatin1(storedLexicons.value(key))}});
    });
}

void FakeGateway::serveStreaming(FakeStreamingGateway& streaming)
{
    connect(this, &QAbstractHttpServer::newWebSocketConnection, &streaming, [this, &streaming] {
        while (hasPendingWebSocketConnections())
            streaming.take(nextPendingWebSocketConnection());
    });
}

FakeDashScope::FakeDashScope(QObject* parent)
    : FakeHttpService(parent)
{
    setReply("POST", kPath, answer(QStringLiteral("你好")));
}

FakeReply FakeDashScope::answer(const QString& text)
{
    const QJsonObject content{{QStringLiteral("text"), text}};
    const QJsonObject message{{QStringLiteral("role"), QStringLiteral("assistant")},
                              {QStringLiteral("content"), QJsonArray{content}}};
    const QJsonObject choice{{QStringLiteral("message"), message}};
    return FakeReply::json({{QStringLiteral("output"), QJsonObject{{QStringLiteral("choices"), QJsonArray{choice}}}}});
}

FakeDeepgram::FakeDeepgram(QObject* parent)
    : FakeHttpService(parent)
{
    setReply("POST", kPath, answer(QStringLiteral("hello world")));
}

FakeReply FakeDeepgram::answer(const QString& transcript)
{
    const QJsonObject alternative{{QStringLiteral("transcript"), transcript}, {QStringLiteral("confidence"), 0.98}};
    const QJsonObject channel{{QStringLiteral("alternatives"), QJsonArray{alternative}}};
    const QJsonObject results{{QStringLiteral("channels"), QJsonArray{channel}}};
    return FakeReply::json({{QStringLiteral("results"), results}});
}
