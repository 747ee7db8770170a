#include "core/net/HttpTransport.h"
#include "core/net/NetworkErrors.h"
#include "core/recognition/AsrError.h"
#include "core/text/AskAssistant.h"
#include "tests/support/FakeServices.h"
#include "tests/support/RunTask.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

using namespace std::chrono_literals;

namespace {

const QString kAskPath = QStringLiteral("/v1/ask");

const QString kAssistantPrompt =
    QStringLiteral("你是用户的语音助手。用户用语音向你提问或下达指令，你要**直接、简洁地回答或照做**。\n"
                   "- 用中文回答（除非用户明确要求其他语言）。\n"
                   "- 口语化的提问就口语化地答；要点多就用简短分点。能一两句说清的别长篇大论。\n"
                   "- 若提供了【屏幕上下文】，把它当作用户当前在看/在写的背景，用来理解\"这个\"\"它\"指代什么；上下文只"
                   "是参考，不要逐字复述。\n"
                   "- 不要寒暄、不要复述问题、不要说\"好的，我来帮你\"，直接给答案正文。\n"
                   "\n");

// Monday 3 March 2025, 19:05 in Shanghai.
const QDateTime kMondayEvening(QDate(2025, 3, 3), QTime(11, 5, 30), Qt::UTC);
const QString kMondayLine =
    QStringLiteral("【当前环境】现在是 2025 年 3 月 3 日 星期一 19:05（时区 Asia/Shanghai）。涉及日期、星期、"
                   "时间时一律以此为准，不要自行推测。");

QTimeZone shanghai()
{
    return QTimeZone(QByteArrayLiteral("Asia/Shanghai"));
}

} // namespace

class TestAskAssistant : public QObject
{
    Q_OBJECT

    std::unique_ptr<FakeGateway> m_gateway;
    std::unique_ptr<HttpTransport> m_transport;

    AskAssistant assistant() const
    {
        return AskAssistant(
            GatewayClient(m_gateway->baseUrl(), QStringLiteral("tok"), m_transport.get()),
            [] { return kMondayEvening; }, shanghai());
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!shanghai().isValid())
            QSKIP("the time zone database is not installed");
    }

    void init()
    {
        m_gateway = std::make_unique<FakeGateway>();
        m_transport = std::make_unique<HttpTransport>();
        m_transport->setTimeoutCap(20s);
    }

    void cleanup()
    {
        m_transport.reset();
        m_gateway.reset();
    }

    void environmentLine_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QString>("expected");
        QTest::newRow("monday evening") << kMondayEvening << kMondayLine;
        QTest::newRow("early morning, two-digit hour")
            << QDateTime(QDate(2024, 12, 31), QTime(23, 1), Qt::UTC)
            << QStringLiteral("【当前环境】现在是 2025 年 1 月 1 日 星期三 07:01（时区 "
                              "Asia/Shanghai）。涉及日期、星期、时间时一律以"
                              "此为准，不要自行推测。");
        QTest::newRow("sunday, two-digit month and day")
            << QDateTime(QDate(2026, 11, 22), QTime(4, 0), Qt::UTC)
            << QStringLiteral("【当前环境】现在是 2026 年 11 月 22 日 星期日 12:00（时区 "
                              "Asia/Shanghai）。涉及日期、星期、时间时一律"
                              "以此为准，不要自行推测。");
    }

    void environmentLine()
    {
        QFETCH(QDateTime, now);
        QFETCH(QString, expected);
        QCOMPARE(AskAssistant::environmentLine(now, shanghai()), expected);
    }

    void environmentLineNamesTheZone()
    {
        const QTimeZone berlin(QByteArrayLiteral("Europe/Berlin"));
        QCOMPARE(AskAssistant::environmentLine(kMondayEvening, berlin),
                 QStringLiteral("【当前环境】现在是 2025 年 3 月 3 日 星期一 12:05（时区 "
                                "Europe/Berlin）。涉及日期、星期、时间时一律以此"
                                "为准，不要自行推测。"));
    }

    void bareQuestionWithoutUsableContext_data()
    {
        QTest::addColumn<std::optional<QString>>("context");
        QTest::newRow("none") << std::optional<QString>();
        QTest::newRow("empty") << std::optional<QString>(QString());
        QTest::newRow("blanks and newlines") << std::optional<QString>(QStringLiteral(" \n\t \r\n\u3000"));
    }

    void bareQuestionWithoutUsableContext()
    {
        QFETCH(std::optional<QString>, context);
        const auto outcome = runTask(assistant().answer(QStringLiteral("明天星期几？"), context));
        QCOMPARE(outcome.value, std::optional<QString>(QStringLiteral("答案")));
        const auto requests = m_gateway->requestsTo(kAskPath);
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests.first().json(),
                 (QJsonObject{{"system", kAssistantPrompt + kMondayLine}, {"text", QStringLiteral("明天星期几？")}}));
    }

    void contextBlockKeepsTheContextUntrimmed()
    {
        const auto outcome =
            runTask(assistant().answer(QStringLiteral("这个函数做什么"), QStringLiteral("  int f();\n")));
        QVERIFY(outcome.value);
        const QJsonObject body = m_gateway->requestsTo(kAskPath).first().json();
        QCOMPARE(body.value("text").toString(),
                 QStringLiteral("【屏幕上下文，仅供参考】\n  int f();\n\n\n【我的问题】\n这个函数做什么"));
        QCOMPARE(body.value("system").toString(), kAssistantPrompt + kMondayLine);
    }

    void answerIsPassedOnAndErrorsPropagate()
    {
        m_gateway->setReply("POST", kAskPath, FakeReply::json({{"text", QStringLiteral(" 周二。\n")}}));
        QCOMPARE(runTask(assistant().answer("q", std::nullopt)).value,
                 std::optional<QString>(QStringLiteral(" 周二。\n")));

        m_gateway->setReply("POST", kAskPath, FakeReply::json({{"other", 1}}));
        QVERIFY(runTask(assistant().answer("q", std::nullopt)).errorAs<JsonError>());

        m_gateway->setReply("POST", kAskPath, FakeReply::raw("down", 502));
        const auto error = runTask(assistant().answer("q", std::nullopt)).errorAs<AsrError>();
        QVERIFY(error);
        QCOMPARE(error->status(), 502);
    }

    void timeIsReadForEveryQuestion()
    {
        QDateTime now = kMondayEvening;
        const AskAssistant ask(
            GatewayClient(m_gateway->baseUrl(), QStringLiteral("tok"), m_transport.get()), [&now] { return now; },
            shanghai());
        runTask(ask.answer("q", std::nullopt));
        now = now.addDays(1);
        runTask(ask.answer("q", std::nullopt));
        const auto requests = m_gateway->requestsTo(kAskPath);
        QCOMPARE(requests.size(), 2);
        QVERIFY(requests[0].json().value("system").toString().contains(QStringLiteral("3 日 星期一 19:05")));
        QVERIFY(requests[1].json().value("system").toString().contains(QStringLiteral("4 日 星期二 19:05")));
    }
};

MURMO_TEST(TestAskAssistant)
#include "tst_AskAssistant.moc"
