#include "core/net/HttpTransport.h"
#include "core/net/NetworkErrors.h"
#include "core/recognition/AsrError.h"
#include "core/recognition/DeepgramProvider.h"
#include "core/recognition/QwenAsrProvider.h"
#include "tests/support/FakeServices.h"
#include "tests/support/RunTask.h"
#include "tests/support/TestRegistry.h"

#include <QJsonArray>
#include <QTest>

using namespace std::chrono_literals;

namespace {

const QByteArray kWav = QByteArray("RIFF\x24\x00\x00\x00WAVE\xfe\xff", 14);

QStringList terms(int count)
{
    QStringList list;
    for (int i = 0; i < count; ++i)
        list << QStringLiteral("术语%1 x&y").arg(i);
    return list;
}

} // namespace

class TestDirectProviders : public QObject
{
    Q_OBJECT

private:
    FakeDashScope* m_dashScope = nullptr;
    FakeDeepgram* m_deepgram = nullptr;
    HttpTransport m_transport;

    QwenAsrProvider qwen(const QString& key = QStringLiteral("dash-key"))
    {
        return QwenAsrProvider(key, m_dashScope->baseUrl(), &m_transport);
    }

    DeepgramProvider deepgram(const QString& key = QStringLiteral("dg-key"))
    {
        return DeepgramProvider(key, m_deepgram->baseUrl(), &m_transport);
    }

private Q_SLOTS:
    void init()
    {
        m_dashScope = new FakeDashScope(this);
        m_deepgram = new FakeDeepgram(this);
        m_transport.setTimeoutCap(20s);
    }

    void cleanup()
    {
        delete m_dashScope;
        delete m_deepgram;
        deleteReleasedObjects();
    }

    void emptyKeysFailWithoutTraffic()
    {
        const auto q = runTask(qwen(QString()).transcribe(kWav, {}, std::nullopt));
        QCOMPARE(q.errorAs<AsrError>().value().description(), QStringLiteral("未配置 Qwen (DashScope) 的 API key"));
        const auto d = runTask(deepgram(QString()).transcribe(kWav, {}, std::nullopt));
        QCOMPARE(d.errorAs<AsrError>().value().description(), QStringLiteral("未配置 Deepgram 的 API key"));
        QVERIFY(m_dashScope->requests().isEmpty());
        QVERIFY(m_deepgram->requests().isEmpty());
    }

    void qwenRequestShape_data()
    {
        QTest::addColumn<QStringList>("vocabulary");
        QTest::addColumn<std::optional<QString>>("hint");
        QTest::addColumn<QString>("context");
        QTest::addColumn<QJsonValue>("language");
        QTest::newRow("no vocabulary, no hint")
            << QStringList() << std::optional<QString>() << QString() << QJsonValue(QJsonValue::Null);
        QTest::newRow("vocabulary and empty hint")
            << QStringList{QStringLiteral("Murmo"), QStringLiteral("通义")} << std::optional<QString>(QString())
            << QStringLiteral("可能出现的专有名词：Murmo、通义") << QJsonValue(QString());
        QTest::newRow("hint") << QStringList{QStringLiteral("A")} << std::optional<QString>(QStringLiteral("en"))
                              << QStringLiteral("可能出现的专有名词：A") << QJsonValue(QStringLiteral("en"));
    }

    void qwenRequestShape()
    {
        QFETCH(QStringList, vocabulary);
        QFETCH(std::optional<QString>, hint);
        QFETCH(QString, context);
        QFETCH(QJsonValue, language);

        QwenAsrProvider provider = qwen();
        QCOMPARE(provider.id(), QStringLiteral("qwen"));
        QCOMPARE(runTask(provider.transcribe(kWav, vocabulary, hint)).value.value(), QStringLiteral("你好"));

        const RecordedRequest request = m_dashScope->requests().value(0);
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.path, FakeDashScope::kPath);
        QCOMPARE(request.header("Authorization"), QByteArray("Bearer dash-key"));
        QCOMPARE(request.header("Content-Type"), QByteArray("application/json"));

        const QJsonObject system{
            {QStringLiteral("role"), QStringLiteral("system")},
            {QStringLiteral("content"), QJsonArray{QJsonObject{{QStringLiteral("text"), context}}}}};
        const QJsonObject user{
            {QStringLiteral("role"), QStringLiteral("user")},
            {QStringLiteral("content"),
             QJsonArray{QJsonObject{{QStringLiteral("audio"), QStringLiteral("data:audio/wav;base64,") +
                                                                  QString::fromLatin1(kWav.toBase64())}}}}};
        const QJsonObject expected{
            {QStringLiteral("model"), QStringLiteral("qwen3-asr-flash")},
            {QStringLiteral("input"), QJsonObject{{QStringLiteral("messages"), QJsonArray{system, user}}}},
            {QStringLiteral("parameters"),
             QJsonObject{{QStringLiteral("asr_options"),
                          QJsonObject{{QStringLiteral("enable_itn"), true}, {QStringLiteral("language"), language}}}}}};
        QCOMPARE(request.json(), expected);
    }

    void qwenAnswerRules_data()
    {
        QTest::addColumn<FakeReply>("reply");
        QTest::addColumn<QString>("expected"); // text, "empty", "json" or "http <status> <body>"
        QTest::newRow("text unchanged") << FakeDashScope::answer(QStringLiteral(" 你好。"))
                                        << QStringLiteral(" 你好。");
        QTest::newRow("empty text") << FakeDashScope::answer(QString()) << QStringLiteral("empty");
        QTest::newRow("no choices") << FakeReply::raw("{\"output\":{\"choices\":[]}}") << QStringLiteral("empty");
        QTest::newRow("content not array")
            << FakeReply::raw("{\"output\":{\"choices\":[{\"message\":{\"content\":{}}}]}}") << QStringLiteral("empty");
        QTest::newRow("text is a number")
            << FakeReply::raw("{\"output\":{\"choices\":[{\"message\":{\"content\":[{\"text\":1}]}}]}}")
            << QStringLiteral("empty");
        QTest::newRow("top-level array") << FakeReply::raw("[]") << QStringLiteral("empty");
        QTest::newRow("not json") << FakeReply::raw("oops") << QStringLiteral("json");
        QTest::newRow("401 is not a sign-in") << FakeReply::raw("{\"code\":\"InvalidApiKey\"}", 401)
                                              << QStringLiteral("http 401 {\"code\":\"InvalidApiKey\"}");
        QTest::newRow("429") << FakeReply::raw("slow down", 429) << QStringLiteral("http 429 slow down");
    }

    void qwenAnswerRules()
    {
        QFETCH(FakeReply, reply);
        QFETCH(QString, expected);
        m_dashScope->setReply("POST", FakeDashScope::kPath, reply);
        checkOutcome(runTask(qwen().transcribe(kWav, {}, std::nullopt)), expected);
    }

    void deepgramRequestShape_data()
    {
        QTest::addColumn<int>("termCount");
        QTest::addColumn<std::optional<QString>>("hint");
        QTest::addColumn<QString>("language");
        QTest::newRow("absent hint is multi") << 0 << std::optional<QString>() << QStringLiteral("multi");
        QTest::newRow("empty hint stays empty") << 3 << std::optional<QString>(QString()) << QString();
        QTest::newRow("150 terms, first 100 sent")
            << 150 << std::optional<QString>(QStringLiteral("zh")) << QStringLiteral("zh");
    }

    void deepgramRequestShape()
    {
        QFETCH(int, termCount);
        QFETCH(std::optional<QString>, hint);
        QFETCH(QString, language);

        DeepgramProvider provider = deepgram();
        QCOMPARE(provider.id(), QStringLiteral("deepgram"));
        QCOMPARE(runTask(provider.transcribe(kWav, terms(termCount), hint)).value.value(),
                 QStringLiteral("hello world"));

        const RecordedRequest request = m_deepgram->requests().value(0);
        QCOMPARE(request.path, QStringLiteral("/v1/listen"));
        QCOMPARE(request.header("Authorization"), QByteArray("Token dg-key"));
        QCOMPARE(request.header("Content-Type"), QByteArray("audio/wav"));
        QCOMPARE(request.body, kWav);

        const auto items = request.query.queryItems(QUrl::FullyDecoded);
        QCOMPARE(items.value(0), qMakePair(QStringLiteral("model"), QStringLiteral("nova-3")));
        QCOMPARE(items.value(1), qMakePair(QStringLiteral("smart_format"), QStringLiteral("true")));
        QCOMPARE(items.value(2), qMakePair(QStringLiteral("language"), language));
        QStringList sentTerms;
        for (qsizetype i = 3; i < items.size(); ++i) {
            QCOMPARE(items[i].first, QStringLiteral("keyterm"));
            sentTerms << items[i].second;
        }
        QCOMPARE(sentTerms, terms(std::min(termCount, 100)));
    }

    void deepgramQueryValuesAreFullyEncoded()
    {
        // A server reads '+' in a query as a blank, so every reserved character must be encoded.
        const QStringList vocabulary{QStringLiteral("C++"), QStringLiteral("a&b=c"), QStringLiteral("x/y?z#1;2"),
                                     QStringLiteral("深度 学习")};
        QVERIFY(runTask(deepgram().transcribe(kWav, vocabulary, QStringLiteral("en+zh"))).value);
        QCOMPARE(m_deepgram->requests().value(0).target,
                 QByteArray("/v1/listen?model=nova-3&smart_format=true&language=en%2Bzh"
                            "&keyterm=C%2B%2B&keyterm=a%26b%3Dc&keyterm=x%2Fy%3Fz%231%3B2"
                            "&keyterm=%E6%B7%B1%E5%BA%A6%20%E5%AD%A6%E4%B9%A0"));
    }

    void deepgramAnswerRules_data()
    {
        QTest::addColumn<FakeReply>("reply");
        QTest::addColumn<QString>("expected");
        QTest::newRow("transcript") << FakeDeepgram::answer(QStringLiteral("Hi.")) << QStringLiteral("Hi.");
        QTest::newRow("empty transcript") << FakeDeepgram::answer(QString()) << QStringLiteral("empty");
        QTest::newRow("no channels") << FakeReply::raw("{\"results\":{\"channels\":[]}}") << QStringLiteral("empty");
        QTest::newRow("no alternatives") << FakeReply::raw("{\"results\":{\"channels\":[{\"alternatives\":[]}]}}")
                                         << QStringLiteral("empty");
        QTest::newRow("no results") << FakeReply::raw("{\"metadata\":{}}") << QStringLiteral("json");
        QTest::newRow("transcript missing")
            << FakeReply::raw("{\"results\":{\"channels\":[{\"alternatives\":[{}]}]}}") << QStringLiteral("json");
        QTest::newRow("later channel malformed")
            << FakeReply::raw("{\"results\":{\"channels\":[{\"alternatives\":[{\"transcript\":\"a\"}]},{}]}}")
            << QStringLiteral("json");
        QTest::newRow("not json") << FakeReply::raw("<html>") << QStringLiteral("json");
        QTest::newRow("401") << FakeReply::raw("{\"err_code\":\"INVALID_AUTH\"}", 401)
                             << QStringLiteral("http 401 {\"err_code\":\"INVALID_AUTH\"}");
    }

    void deepgramAnswerRules()
    {
        QFETCH(FakeReply, reply);
        QFETCH(QString, expected);
        m_deepgram->setReply("POST", FakeDeepgram::kPath, reply);
        checkOutcome(runTask(deepgram().transcribe(kWav, {}, std::nullopt)), expected);
    }

    void transportFailuresSurface()
    {
        m_transport.setTimeoutCap(200ms);
        m_deepgram->setReply("POST", FakeDeepgram::kPath, FakeReply::silent());
        QVERIFY(runTask(deepgram().transcribe(kWav, {}, std::nullopt)).errorAs<TransportError>());
        m_dashScope->setReply("POST", FakeDashScope::kPath, FakeReply::droppedMidAnswer());
        QVERIFY(runTask(qwen().transcribe(kWav, {}, std::nullopt)).errorAs<TransportError>());
    }

private:
    static void checkOutcome(const TaskOutcome<QString>& outcome, const QString& expected)
    {
        if (expected == QLatin1String("empty")) {
            QCOMPARE(outcome.errorAs<AsrError>().value().kind(), AsrError::Kind::EmptyResult);
        } else if (expected == QLatin1String("json")) {
            QVERIFY(outcome.errorAs<JsonError>());
        } else if (expected.startsWith(QLatin1String("http "))) {
            const auto error = outcome.errorAs<AsrError>();
            QVERIFY(error);
            QCOMPARE(QStringLiteral("http %1 %2").arg(error->status()).arg(error->body()), expected);
        } else {
            QCOMPARE(outcome.value.value(), expected);
        }
    }
};

MURMO_TEST(TestDirectProviders)
#include "tst_DirectProviders.moc"
