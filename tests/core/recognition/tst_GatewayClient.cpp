#include "core/net/HttpTransport.h"
#include "core/net/NetworkErrors.h"
#include "core/recognition/AsrError.h"
#include "core/recognition/GatewayAsrProvider.h"
#include "core/recognition/GatewayAuthError.h"
#include "core/recognition/GatewayClient.h"
#include "core/recognition/LexiconTooLargeError.h"
#include "tests/support/FakeServices.h"
#include "tests/support/RunTask.h"
#include "tests/support/TestRegistry.h"

#include <QJsonArray>
#include <QTest>

using namespace std::chrono_literals;

class TestGatewayClient : public QObject
{
    Q_OBJECT

private:
    FakeGateway* m_gateway = nullptr;
    HttpTransport m_transport;

    GatewayClient client(const QString& prefix = {}) const
    {
        return GatewayClient(QUrl(m_gateway->baseUrl().toString() + prefix), Credential::jwt(QStringLiteral("jwt-1")),
                             const_cast<HttpTransport*>(&m_transport));
    }

    RecordedRequest only() const
    {
        if (m_gateway->requests().size() != 1)
            qFatal("expected exactly one request, got %d", int(m_gateway->requests().size()));
        return m_gateway->requests().first();
    }

    static QList<QByteArray> headerNames(const RecordedRequest& request)
    {
        QList<QByteArray> names;
        for (const auto& header : request.headers)
            names << header.first.toLower();
        return names;
    }

private Q_SLOTS:
    void init()
    {
        m_gateway = new FakeGateway(this);
        m_transport.setTimeoutCap(20s);
    }

    void cleanup()
    {
        delete m_gateway;
        m_gateway = nullptr;
        deleteReleasedObjects();
    }

    void postSendsTheCommonHeadersInOrder()
    {
        const auto outcome = runTask(client().complete(QStringLiteral("sys"), QStringLiteral("原文")));
        QCOMPARE(outcome.value.value(), QStringLiteral("原文"));

        const RecordedRequest request = only();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.path, QStringLiteral("/v1/style"));
        QCOMPARE(request.header("Authorization"), QByteArray("Bearer jwt-1"));
        QCOMPARE(request.header("Content-Type"), QByteArray("application/json"));
        QCOMPARE(request.header("User-Agent"), QByteArray("MurmoApp/1.0"));
        const QList<QByteArray> names = headerNames(request);
        QVERIFY(names.indexOf("authorization") < names.indexOf("content-type"));
        QVERIFY(names.indexOf("content-type") < names.indexOf("user-agent"));
        QCOMPARE(request.json(), (QJsonObject{{QStringLiteral("system"), QStringLiteral("sys")},
                                              {QStringLiteral("text"), QStringLiteral("原文")}}));
        QVERIFY(!request.body.contains('\n')); // compact serialisation
    }

    void deviceTokenIsSentAsBearerToo()
    {
        const GatewayClient deviceClient(m_gateway->baseUrl(), QStringLiteral("dev-7"), &m_transport);
        QCOMPARE(deviceClient.credential(), std::optional(Credential::deviceToken(QStringLiteral("dev-7"))));
        runTask(deviceClient.ask(QStringLiteral("s"), QStringLiteral("t")));
        QCOMPARE(only().header("Authorization"), QByteArray("Bearer dev-7"));
    }

    void basePathPrefixIsKept()
    {
        m_gateway->setReply("POST", QStringLiteral("/gw/v1/ask"), FakeReply::json({{QStringLiteral("text"), 1}}));
        runTask(client(QStringLiteral("gw")).ask(QStringLiteral("s"), QStringLiteral("t")));
        QCOMPARE(only().path, QStringLiteral("/gw/v1/ask"));
    }

    void completeAndAskFallBackDifferently_data()
    {
        QTest::addColumn<QJsonObject>("answer");
        QTest::addColumn<QString>("completed");
        QTest::addColumn<std::optional<QString>>("asked");
        QTest::newRow("text") << QJsonObject{{QStringLiteral("text"), QStringLiteral("好")}} << QStringLiteral("好")
                              << std::optional(QStringLiteral("好"));
        QTest::newRow("empty object") << QJsonObject{} << QStringLiteral("input") << std::optional<QString>();
        QTest::newRow("text not a string")
            << QJsonObject{{QStringLiteral("text"), 42}} << QStringLiteral("input") << std::optional<QString>();
        QTest::newRow("empty text") << QJsonObject{{QStringLiteral("text"), QString()}} << QString()
                                    << std::optional(QString());
    }

    // Completing falls back to the input; an answer without text is a failed question.
    void completeAndAskFallBackDifferently()
    {
        QFETCH(QJsonObject, answer);
        QFETCH(QString, completed);
        QFETCH(std::optional<QString>, asked);
        m_gateway->setReply("POST", QStringLiteral("/v1/style"), FakeReply::json(answer));
        m_gateway->setReply("POST", QStringLiteral("/v1/ask"), FakeReply::json(answer));
        QCOMPARE(runTask(client().complete(QStringLiteral("s"), QStringLiteral("input"))).value.value(), completed);
        const TaskOutcome<QString> asking = runTask(client().ask(QStringLiteral("s"), QStringLiteral("input")));
        QCOMPARE(asking.value, asked);
        QCOMPARE(bool(asking.errorAs<JsonError>()), !asked);
        QCOMPARE(m_gateway->requestsTo(QStringLiteral("/v1/ask")).first().json().value(QStringLiteral("text")),
                 QJsonValue(QStringLiteral("input")));
    }

    void answerRules_data()
    {
        QTest::addColumn<FakeReply>("reply");
        QTest::addColumn<QString>("expected"); // "auth", "json", "http <status> <body>"
        QTest::newRow("401") << FakeReply::raw("denied", 401) << QStringLiteral("auth");
        QTest::newRow("500 text") << FakeReply::raw("upstream down", 500) << QStringLiteral("http 500 upstream down");
        QTest::newRow("403 not utf-8") << FakeReply::raw("\xff\xfe", 403) << QStringLiteral("http 403 ");
        QTest::newRow("200 not json") << FakeReply::raw("<html>", 200) << QStringLiteral("json");
        QTest::newRow("200 array") << FakeReply::raw("[1,2]", 200) << QStringLiteral("http 200 [1,2]");
        // A bare scalar is not a JSON text the parser accepts at the top level.
        QTest::newRow("200 string") << FakeReply::raw("\"ok\"", 200) << QStringLiteral("json");
    }

    void answerRules()
    {
        QFETCH(FakeReply, reply);
        QFETCH(QString, expected);
        m_gateway->setReply("POST", QStringLiteral("/v1/style"), reply);
        const auto outcome = runTask(client().post(QStringLiteral("v1/style"), {}));
        QVERIFY(!outcome.value);
        if (expected == QLatin1String("auth")) {
            QVERIFY(outcome.errorAs<GatewayAuthError>());
        } else if (expected == QLatin1String("json")) {
            QVERIFY(outcome.errorAs<JsonError>());
        } else {
            const auto error = outcome.errorAs<AsrError>();
            QVERIFY(error);
            QCOMPARE(error->kind(), AsrError::Kind::HttpError);
            QCOMPARE(QStringLiteral("http %1 %2").arg(error->status()).arg(error->body()), expected);
        }
    }

    void transportFailuresNeverHang_data()
    {
        QTest::addColumn<FakeReply>("reply");
        QTest::newRow("dropped") << FakeReply::droppedMidAnswer();
        QTest::newRow("closed") << FakeReply::closed();
        QTest::newRow("silent") << FakeReply::silent();
    }

    void transportFailuresNeverHang()
    {
        QFETCH(FakeReply, reply);
        m_transport.setTimeoutCap(250ms);
        m_gateway->setReply("POST", QStringLiteral("/v1/asr"), reply);
        const GatewayAsrProvider provider(client());
        const auto outcome = runTask(provider.transcribe(QByteArray("RIFF"), {}, std::nullopt));
        QVERIFY(outcome.errorAs<TransportError>());
    }

    void asrBodyCarriesAudioVocabularyAndHint_data()
    {
        QTest::addColumn<std::optional<QString>>("hint");
        QTest::newRow("absent") << std::optional<QString>();
        QTest::newRow("empty") << std::optional<QString>(QString());
        QTest::newRow("present") << std::optional<QString>(QStringLiteral("zh"));
    }

    void asrBodyCarriesAudioVocabularyAndHint()
    {
        QFETCH(std::optional<QString>, hint);
        const QByteArray wav = QByteArray("RIFF\x00\x01\x02\xff wav", 12);
        const QStringList vocabulary{QStringLiteral("Murmo"), QStringLiteral("语音输入")};
        const GatewayAsrProvider provider(client());
        QCOMPARE(provider.id(), QStringLiteral("gateway"));
        const auto outcome = runTask(provider.transcribe(wav, vocabulary, hint));
        QCOMPARE(outcome.value.value(), FakeGateway::kTranscript);

        const RecordedRequest request = only();
        QCOMPARE(request.path, QStringLiteral("/v1/asr"));
        QCOMPARE(request.header("User-Agent"), QByteArray("MurmoApp/1.0"));
        const QJsonObject body = request.json();
        QCOMPARE(body.value(QStringLiteral("audio_b64")).toString().toLatin1(), wav.toBase64());
        QCOMPARE(body.value(QStringLiteral("vocab")).toArray(), QJsonArray::fromStringList(vocabulary));
        QCOMPARE(body.contains(QStringLiteral("language_hint")), hint.has_value());
        if (hint)
            QCOMPARE(body.value(QStringLiteral("language_hint")), QJsonValue(*hint));
        QCOMPARE(body.size(), hint ? 3 : 2);
    }

    void asrBodyWithoutVocabularyIsAnEmptyArray()
    {
        const QByteArray body = GatewayAsrProvider::requestBody(QByteArray(), {}, std::nullopt);
        QCOMPARE(body, QByteArray("{\"audio_b64\":\"\",\"vocab\":[]}"));
    }

    void asrAnswerRules_data()
    {
        QTest::addColumn<FakeReply>("reply");
        QTest::addColumn<QString>("expected");
        QTest::newRow("text") << FakeReply::json({{QStringLiteral("text"), QStringLiteral(" 你好 ")}})
                              << QStringLiteral(" 你好 ");
        QTest::newRow("empty text") << FakeReply::json({{QStringLiteral("text"), QString()}})
                                    << QStringLiteral("empty");
        QTest::newRow("no text") << FakeReply::json({}) << QStringLiteral("empty");
        QTest::newRow("401") << FakeReply::raw("", 401) << QStringLiteral("auth");
    }

    void asrAnswerRules()
    {
        QFETCH(FakeReply, reply);
        QFETCH(QString, expected);
        m_gateway->setReply("POST", QStringLiteral("/v1/asr"), reply);
        const auto outcome = runTask(GatewayAsrProvider(client()).transcribe({}, {}, std::nullopt));
        if (expected == QLatin1String("empty"))
            QCOMPARE(outcome.errorAs<AsrError>().value().kind(), AsrError::Kind::EmptyResult);
        else if (expected == QLatin1String("auth"))
            QVERIFY(outcome.errorAs<GatewayAuthError>());
        else
            QCOMPARE(outcome.value.value(), expected);
    }

    void registrationSendsOnlyItsOwnHeaders_data()
    {
        QTest::addColumn<QString>("secret");
        QTest::newRow("with secret") << QStringLiteral("0f3c2a9e-8d4b-4e21-9c77-5a1b2c3d4e5f");
        QTest::newRow("without secret") << QString();
    }

    void registrationSendsOnlyItsOwnHeaders()
    {
        QFETCH(QString, secret);
        const auto outcome =
            runTask(GatewayClient::registerDevice(m_gateway->baseUrl(), QStringLiteral("my-pc"), secret, &m_transport));
        QCOMPARE(outcome.value.value(), FakeGateway::kDeviceToken);
        const RecordedRequest request = only();
        QCOMPARE(request.path, QStringLiteral("/v1/register"));
        QCOMPARE(request.header("Content-Type"), QByteArray("application/json"));
        QCOMPARE(request.hasHeader("X-Register-Key"), !secret.isEmpty());
        QCOMPARE(request.header("X-Register-Key"), secret.toUtf8());
        QVERIFY(!request.hasHeader("Authorization"));
        QVERIFY(request.header("User-Agent") != "MurmoApp/1.0");
        QCOMPARE(request.json(), (QJsonObject{{QStringLiteral("label"), QStringLiteral("my-pc")}}));
    }

    void registrationAnswerRules_data()
    {
        QTest::addColumn<FakeReply>("reply");
        QTest::addColumn<QString>("expected");
        QTest::newRow("401 is an http error") << FakeReply::raw("nope", 401) << QStringLiteral("http 401 nope");
        QTest::newRow("token not a string")
            << FakeReply::raw("{\"token\":5}", 200) << QStringLiteral("http 200 {\"token\":5}");
        QTest::newRow("no token") << FakeReply::raw("{}", 200) << QStringLiteral("http 200 {}");
        QTest::newRow("array") << FakeReply::raw("[\"t\"]", 200) << QStringLiteral("http 200 [\"t\"]");
        QTest::newRow("not json") << FakeReply::raw("token", 200) << QStringLiteral("json");
    }

    void registrationAnswerRules()
    {
        QFETCH(FakeReply, reply);
        QFETCH(QString, expected);
        m_gateway->setReply("POST", QStringLiteral("/v1/register"), reply);
        const auto outcome =
            runTask(GatewayClient::registerDevice(m_gateway->baseUrl(), QStringLiteral("pc"), {}, &m_transport));
        if (expected == QLatin1String("json")) {
            QVERIFY(outcome.errorAs<JsonError>());
        } else if (expected == QLatin1String("http")) {
            QVERIFY(outcome.errorAs<AsrError>());
        } else if (expected == QLatin1String("refused")) {
            QVERIFY(outcome.errorAs<GatewayAuthError>());
        } else {
            const auto error = outcome.errorAs<AsrError>();
            QVERIFY(error);
            QCOMPARE(QStringLiteral("http %1 %2").arg(error->status()).arg(error->body()), expected);
        }
    }

    void lexiconPushSendsKeyBlobAndMilliseconds()
    {
        const QByteArray snapshot("{\"rules\":[]}\x01\x02");
        const QDateTime updatedAt = QDateTime::fromMSecsSinceEpoch(1500, Qt::UTC);
        QVERIFY(runTask(client().pushLexicon(QStringLiteral("lex key/1"), snapshot, updatedAt)).value);

        const RecordedRequest request = only();
        QCOMPARE(request.method, QByteArray("PUT"));
        QCOMPARE(request.path, QStringLiteral("/v1/lexicon"));
        QCOMPARE(request.header("Authorization"), QByteArray("Bearer jwt-1"));
        QCOMPARE(request.header("Content-Type"), QByteArray("application/json"));
        QVERIFY(request.header("User-Agent") != "MurmoApp/1.0");
        const QJsonObject body = request.json();
        QCOMPARE(body.value(QStringLiteral("key")).toString(), QStringLiteral("lex key/1"));
        QCOMPARE(body.value(QStringLiteral("blob")).toString().toLatin1(), snapshot.toBase64());
        QVERIFY(request.body.contains("\"updatedAt\":1500"));

        // What was pushed comes back from a fetch with the same key, percent-encoded in the query.
        m_gateway->clearRequests();
        const auto fetched = runTask(client().fetchLexicon(QStringLiteral("lex key/1")));
        QCOMPARE(fetched.value.value(), std::optional<QByteArray>(snapshot));
        const RecordedRequest fetch = only();
        QCOMPARE(fetch.method, QByteArray("GET"));
        QCOMPARE(fetch.query.queryItemValue(QStringLiteral("key"), QUrl::FullyDecoded), QStringLiteral("lex key/1"));
        QCOMPARE(fetch.header("Authorization"), QByteArray("Bearer jwt-1"));
        QVERIFY(!fetch.hasHeader("Content-Type"));
    }

    // A refused credential is told apart (it is worth a retry with another); any other refusal is
    // a failure, and a copy no fetch could read back is not sent at all.
    void lexiconPushReportsWhatDidNotStore()
    {
        // The largest copy that is sent comes back whole.
        const QByteArray atLimit(GatewayClient::lexiconCopyLimit(QStringLiteral("k")), 'x');
        QVERIFY(runTask(client().pushLexicon(QStringLiteral("k"), atLimit, QDateTime::currentDateTimeUtc())).value);
        QCOMPARE(runTask(client().fetchLexicon(QStringLiteral("k"))).value.value(), std::optional<QByteArray>(atLimit));

        m_gateway->setReply("PUT", QStringLiteral("/v1/lexicon"), FakeReply::raw("gone", 500));
        const auto failed = runTask(client().pushLexicon(QStringLiteral("k"), "x", QDateTime::currentDateTimeUtc()));
        QVERIFY(failed.errorAs<AsrError>());
        QCOMPARE(failed.errorAs<AsrError>()->status(), 500);
        m_gateway->setReply("PUT", QStringLiteral("/v1/lexicon"), FakeReply::raw("", 401));
        const auto refused = runTask(client().pushLexicon(QStringLiteral("k"), "x", QDateTime::currentDateTimeUtc()));
        QVERIFY(refused.errorAs<GatewayAuthError>());

        m_gateway->clearRequests();
        const QByteArray tooLarge(GatewayClient::lexiconCopyLimit(QStringLiteral("k")) + 1, 'x');
        const auto unsent =
            runTask(client().pushLexicon(QStringLiteral("k"), tooLarge, QDateTime::currentDateTimeUtc()));
        QVERIFY(unsent.errorAs<LexiconTooLargeError>());
        QCOMPARE(m_gateway->requests().size(), 0);
    }

    void lexiconFetchAnswers_data()
    {
        QTest::addColumn<FakeReply>("reply");
        QTest::addColumn<QString>("expected"); // "none", "json", "http" or the decoded bytes
        QTest::newRow("blob") << FakeReply::json({{QStringLiteral("blob"), QStringLiteral("aGk=")}})
                              << QStringLiteral("hi");
        QTest::newRow("empty blob") << FakeReply::json({{QStringLiteral("blob"), QString()}}) << QStringLiteral("none");
        QTest::newRow("blob not a string") << FakeReply::json({{QStringLiteral("blob"), 3}}) << QStringLiteral("json");
        QTest::newRow("no blob") << FakeReply::json({}) << QStringLiteral("none");
        QTest::newRow("invalid base64") << FakeReply::json({{QStringLiteral("blob"), QStringLiteral("a*b=")}})
                                        << QStringLiteral("json");
        QTest::newRow("404") << FakeReply::raw("no", 404) << QStringLiteral("none");
        // A refusal or a server fault is no proof that the account has no copy.
        QTest::newRow("401") << FakeReply::raw("no", 401) << QStringLiteral("refused");
        QTest::newRow("500") << FakeReply::raw("", 500) << QStringLiteral("http");
        QTest::newRow("array") << FakeReply::raw("[]", 200) << QStringLiteral("json");
        QTest::newRow("200 not json") << FakeReply::raw("blob", 200) << QStringLiteral("json");
    }

    void lexiconFetchAnswers()
    {
        QFETCH(FakeReply, reply);
        QFETCH(QString, expected);
        m_gateway->setReply("GET", QStringLiteral("/v1/lexicon"), reply);
        const auto outcome = runTask(client().fetchLexicon(QStringLiteral("k")));
        if (expected == QLatin1String("json")) {
            QVERIFY(outcome.errorAs<JsonError>());
        } else if (expected == QLatin1String("http")) {
            QVERIFY(outcome.errorAs<AsrError>());
        } else if (expected == QLatin1String("refused")) {
            QVERIFY(outcome.errorAs<GatewayAuthError>());
        } else if (expected == QLatin1String("none")) {
            QVERIFY(outcome.value);
            QVERIFY(!outcome.value->has_value());
        } else {
            QCOMPARE(outcome.value.value(), std::optional<QByteArray>(expected.toUtf8()));
        }
    }
};

MURMO_TEST(TestGatewayClient)
#include "tst_GatewayClient.moc"
