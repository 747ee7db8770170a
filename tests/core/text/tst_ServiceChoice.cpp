#include "core/net/HttpTransport.h"
#include "core/recognition/AsrProvider.h"
#include "core/recognition/DeepgramProvider.h"
#include "core/recognition/GatewayAsrProvider.h"
#include "core/recognition/QwenAsrProvider.h"
#include "core/text/GatewayStyler.h"
#include "core/text/LlmStyler.h"
#include "core/text/ServiceChoice.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

using namespace ServiceChoice;

namespace {

const QString kJwt = QStringLiteral("jwt-1");
const QString kDevice = QStringLiteral("device-1");

} // namespace

class TestServiceChoice : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void choosesCredentialRecogniserAndStyler_data()
    {
        QTest::addColumn<std::optional<QString>>("accessToken");
        QTest::addColumn<QString>("gatewayToken");
        QTest::addColumn<bool>("useGateway");
        QTest::addColumn<QString>("providerId");
        QTest::addColumn<std::optional<Credential>>("credential");
        QTest::addColumn<Recogniser>("recogniser");
        QTest::addColumn<QString>("recogniserKey");
        QTest::addColumn<StylerKind>("styler");

        const std::optional<QString> signedOut;
        const std::optional<QString> signedIn = kJwt;
        const std::optional<Credential> none;
        const std::optional<Credential> jwt = Credential::jwt(kJwt);
        const std::optional<Credential> device = Credential::deviceToken(kDevice);

        QTest::newRow("signed in with device token: jwt wins")
            << signedIn << kDevice << true << "qwen" << jwt << Recogniser::Gateway << "" << StylerKind::Gateway;
        QTest::newRow("signed out with device token")
            << signedOut << kDevice << true << "qwen" << device << Recogniser::Gateway << "" << StylerKind::Gateway;
        QTest::newRow("no credential: qwen and own styler")
            << signedOut << "" << true << "qwen" << none << Recogniser::Qwen << "qwen-key" << StylerKind::Llm;
        QTest::newRow("deepgram beats the gateway") << signedIn << kDevice << true << "deepgram" << jwt
                                                    << Recogniser::Deepgram << "dg-key" << StylerKind::Gateway;
        QTest::newRow("gateway off with credential")
            << signedIn << kDevice << false << "qwen" << jwt << Recogniser::Qwen << "qwen-key" << StylerKind::Llm;
        QTest::newRow("gateway off, deepgram")
            << signedOut << "" << false << "deepgram" << none << Recogniser::Deepgram << "dg-key" << StylerKind::Llm;
        QTest::newRow("unknown provider id counts as qwen")
            << signedOut << kDevice << true << "whisper" << device << Recogniser::Gateway << "" << StylerKind::Gateway;
        QTest::newRow("empty access token falls back to the device token")
            << std::optional<QString>(QString()) << kDevice << true << "qwen" << device << Recogniser::Gateway << ""
            << StylerKind::Gateway;
    }

    void choosesCredentialRecogniserAndStyler()
    {
        QFETCH(std::optional<QString>, accessToken);
        QFETCH(QString, gatewayToken);
        QFETCH(bool, useGateway);
        QFETCH(QString, providerId);
        QFETCH(std::optional<Credential>, credential);
        QFETCH(Recogniser, recogniser);
        QFETCH(QString, recogniserKey);
        QFETCH(StylerKind, styler);

        const Inputs inputs{accessToken,
                            gatewayToken,
                            useGateway,
                            providerId,
                            QStringLiteral("qwen-key"),
                            QStringLiteral("dg-key"),
                            QStringLiteral("ant-key")};
        const Choice choice = choose(inputs);
        QCOMPARE(choice.credential, credential);
        QCOMPARE(choice.recogniser, recogniser);
        QCOMPARE(choice.recogniserKey, recogniserKey);
        QCOMPARE(choice.styler, styler);
        QCOMPARE(choice.stylerKey, styler == StylerKind::Llm ? QStringLiteral("ant-key") : QString());
    }

    void buildsTheChosenServices()
    {
        HttpTransport transport;
        const Endpoints endpoints{
            QUrl(QStringLiteral("https://gw.example/")), QUrl(QStringLiteral("https://ds.example")),
            QUrl(QStringLiteral("https://dg.example")), QUrl(QStringLiteral("https://an.example")), &transport};

        Choice gateway = choose(Inputs{std::nullopt, kDevice, true, QStringLiteral("qwen"), {}, {}, {}});
        const auto gatewayProvider =
            std::dynamic_pointer_cast<const GatewayAsrProvider>(makeProvider(gateway, endpoints));
        QVERIFY(gatewayProvider);
        QCOMPARE(gatewayProvider->client().credential(), std::optional(Credential::deviceToken(kDevice)));
        QCOMPARE(gatewayProvider->client().baseUrl(), endpoints.gateway);
        QVERIFY(std::dynamic_pointer_cast<const GatewayStyler>(makeStyler(gateway, endpoints)));

        const Choice direct =
            choose(Inputs{std::nullopt, {}, true, QStringLiteral("deepgram"), {}, {}, QStringLiteral("a")});
        const auto deepgram = std::dynamic_pointer_cast<const DeepgramProvider>(makeProvider(direct, endpoints));
        QVERIFY(deepgram);
        QCOMPARE(deepgram->apiKey(), QString()); // passed on empty; the provider reports it when used
        const auto llm = std::dynamic_pointer_cast<const LlmStyler>(makeStyler(direct, endpoints));
        QVERIFY(llm);
        QCOMPARE(llm->apiKey(), QStringLiteral("a"));
        QCOMPARE(llm->model(), QStringLiteral("claude-haiku-4-5-20251001"));

        const Choice qwen = choose(Inputs{std::nullopt, {}, true, QStringLiteral("qwen"), QStringLiteral("q"), {}, {}});
        const auto qwenProvider = std::dynamic_pointer_cast<const QwenAsrProvider>(makeProvider(qwen, endpoints));
        QVERIFY(qwenProvider);
        QCOMPARE(qwenProvider->apiKey(), QStringLiteral("q"));
    }
};

MURMO_TEST(TestServiceChoice)
#include "tst_ServiceChoice.moc"
