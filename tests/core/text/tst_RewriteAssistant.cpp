#include "core/net/HttpTransport.h"
#include "core/recognition/GatewayAuthError.h"
#include "core/text/RewriteAssistant.h"
#include "tests/support/FakeServices.h"
#include "tests/support/RunTask.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

using namespace std::chrono_literals;

namespace {

const QString kAskPath = QStringLiteral("/v1/ask");
const QString kRewritePrompt = QStringLiteral(
    "你是文本改写引擎。按照用户口述的指令改写【原文】，保持原文语言除非指令要求翻译；只输出改写后的文本本身，不要"
    "任何解释、前言或引号包裹。绝不添加原文和指令之外的内容。");

} // namespace

class TestRewriteAssistant : public QObject
{
    Q_OBJECT

    std::unique_ptr<FakeGateway> m_gateway;
    std::unique_ptr<HttpTransport> m_transport;

    RewriteAssistant assistant() const
    {
        return RewriteAssistant(GatewayClient(m_gateway->baseUrl(), QStringLiteral("tok"), m_transport.get()));
    }

private Q_SLOTS:
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

    void sendsInstructionAndSelection_data()
    {
        QTest::addColumn<QString>("selection");
        QTest::addColumn<QString>("instruction");
        QTest::addColumn<QString>("text");
        QTest::newRow("plain") << QStringLiteral("会议改期了。") << QStringLiteral("改得更礼貌")
                               << QStringLiteral("【指令】改得更礼貌\n\n【原文】会议改期了。");
        QTest::newRow("empty instruction")
            << QStringLiteral("原文") << QString() << QStringLiteral("【指令】\n\n【原文】原文");
        QTest::newRow("untrimmed multi-line") << QStringLiteral(" a\nb \n") << QStringLiteral(" 翻译成英文 ")
                                              << QStringLiteral("【指令】 翻译成英文 \n\n【原文】 a\nb \n");
    }

    void sendsInstructionAndSelection()
    {
        QFETCH(QString, selection);
        QFETCH(QString, instruction);
        QFETCH(QString, text);
        m_gateway->setReply("POST", kAskPath, FakeReply::json({{"text", QStringLiteral("改写后 ")}}));
        const auto outcome = runTask(assistant().rewrite(selection, instruction));
        QCOMPARE(outcome.value, std::optional<QString>(QStringLiteral("改写后 ")));
        const auto requests = m_gateway->requestsTo(kAskPath);
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests.first().json(), (QJsonObject{{"system", kRewritePrompt}, {"text", text}}));
    }

    void errorsPropagate()
    {
        m_gateway->setReply("POST", kAskPath, FakeReply::raw("", 401));
        QVERIFY(runTask(assistant().rewrite("a", "b")).errorAs<GatewayAuthError>());
        QCOMPARE(m_gateway->requestsTo(kAskPath).size(), 1);
    }
};

MURMO_TEST(TestRewriteAssistant)
#include "tst_RewriteAssistant.moc"
