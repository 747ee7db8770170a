#include "app/controller/GatewayCredentials.h"
#include "tests/app/flows/FlowRig.h"
#include "tests/support/FakeSignInService.h"
#include "tests/support/RunTask.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

using namespace std::chrono_literals;

namespace {

const QString kRecoveryAsr = QStringLiteral("/v1/asr");
const QString kRecoveryRegister = QStringLiteral("/v1/register");
const QString kRecoveryRenewal = QStringLiteral("/auth/v1/token");
const QString kUnreachable = QStringLiteral("识别失败：暂时连不上 Murmo 服务");
const QString kRefused = QStringLiteral("识别失败：Murmo 服务拒绝了这台电脑的凭据");

// Signs a user in, with the fake gateway standing in for the sign-in service too, and waits for
// the keyring's read so that the recording is not held back for it.
void signInForRecovery(FlowRig& rig, const QString& accessToken)
{
    SessionStore& session = rig.app->session();
    session.adopt(
        {accessToken, QStringLiteral("refresh-0"), QDateTime::currentDateTimeUtc().addSecs(3600), std::nullopt});
    session.load();
    QVERIFY(FlowRig::until([&] { return session.isLoaded(); }));
    rig.fake.gateway.setHandler("POST", kRecoveryRenewal,
                                [](const RecordedRequest&) { return FakeSignInService::pairReply(1); });
}

QByteArray bearerOf(const RecordedRequest& request)
{
    return request.header("Authorization");
}

} // namespace

// A dictation whose gateway credential is refused or missing gets one without the user's help
// where that is possible, and says so plainly where it is not.
class TestCredentialRecovery : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void aRefusedCredentialIsReplacedOnce_data()
    {
        QTest::addColumn<bool>("signInConfigured");
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<int>("refusals"); // of v1/asr, before it answers
        QTest::addColumn<QString>("status");
        QTest::addColumn<QByteArray>("retriedWith");
        QTest::addColumn<int>("registrations");
        QTest::addColumn<int>("renewals");
        const QByteArray renewed = "Bearer " + FakeSignInService::jwt(FakeSignInService::kEmail).toUtf8() + "-access-1";
        QTest::newRow("revoked device token: registers anew")
            << false << false << 1 << QStringLiteral("✓ ") << QByteArray("Bearer device-token-1") << 1 << 0;
        QTest::newRow("new device token refused too: a failure to retry")
            << false << false << 2 << kRefused << QByteArray("Bearer device-token-1") << 1 << 0;
        QTest::newRow("refused access token: renewed")
            << true << true << 1 << QStringLiteral("✓ ") << renewed << 0 << 1;
        QTest::newRow("kept session where nobody can sign in: the device token serves")
            << false << true << 1 << QStringLiteral("✓ ") << QByteArray("Bearer device-token") << 0 << 0;
    }

    void aRefusedCredentialIsReplacedOnce()
    {
        QFETCH(bool, signInConfigured);
        QFETCH(bool, signedIn);
        QFETCH(int, refusals);
        QFETCH(QString, status);
        QFETCH(QByteArray, retriedWith);
        QFETCH(int, registrations);
        QFETCH(int, renewals);
        FlowRig rig(false, signInConfigured);
        if (signedIn)
            signInForRecovery(rig, QStringLiteral("old-access"));
        for (int i = 0; i < refusals; ++i)
            rig.fake.gateway.queueReply("POST", kRecoveryAsr, FakeReply::raw("unauthorized", 401));
        rig.record(16000);
        rig.recording().stop();
        QVERIFY2(rig.settledOn(status), qPrintable(rig.state().statusLine()));

        const QList<RecordedRequest> asr = rig.fake.gateway.requestsTo(kRecoveryAsr);
        QCOMPARE(asr.size(), 2);
        QCOMPARE(bearerOf(asr[0]), signedIn ? QByteArray("Bearer old-access") : QByteArray("Bearer device-token"));
        QCOMPARE(bearerOf(asr[1]), retriedWith);
        QCOMPARE(rig.requestsTo(kRecoveryRegister), registrations);
        QCOMPARE(rig.requestsTo(kRecoveryRenewal), renewals);
        QVERIFY(!rig.state().showLoginGate());
        if (registrations)
            QCOMPARE(rig.app->settings().text(SettingKey::gatewayToken), FakeGateway::kDeviceToken);
        if (status == kRefused)
            QVERIFY(rig.overlay().retryOffered());
        else
            QCOMPARE(rig.onlyEntry().asrText, FakeGateway::kTranscript);
    }

    // The live session's handshake with a revoked device token is refused: the computer
    // registers, and the session goes on with the new token, live text and all.
    void aRefusedStreamRegistersAndStreamsOn()
    {
        FlowRig rig;
        rig.streaming.refusedBearers = {QStringLiteral("device-token")};
        rig.streaming.queueTranscript(FakeGateway::kTranscript);
        rig.record(16000);
        rig.recording().stop();
        QVERIFY2(rig.settledOn(QStringLiteral("✓ ")), qPrintable(rig.state().statusLine()));
        QCOMPARE(rig.streaming.refusedHandshakes(), 1);
        QCOMPARE(rig.streaming.handshake().rawHeader("Authorization"), QByteArray("Bearer device-token-1"));
        QCOMPARE(rig.requestsTo(kRecoveryRegister), 1);
        QCOMPARE(rig.requestsTo(kRecoveryAsr), 0);
        QCOMPARE(rig.onlyEntry().asrText, FakeGateway::kTranscript);
    }

    // The first start found the gateway down, so there is no device token: the next dictation
    // registers, after the wait that spaces failed attempts.
    void aMissingDeviceTokenIsRegisteredWhenNeeded_data()
    {
        QTest::addColumn<bool>("gatewayBack");
        QTest::addColumn<bool>("waited");
        QTest::addColumn<QString>("status");
        QTest::newRow("gateway back") << true << true << QStringLiteral("✓ ");
        QTest::newRow("gateway still down") << false << true << kUnreachable;
        QTest::newRow("too soon after the failed attempt") << true << false << kUnreachable;
    }

    void aMissingDeviceTokenIsRegisteredWhenNeeded()
    {
        QFETCH(bool, gatewayBack);
        QFETCH(bool, waited);
        QFETCH(QString, status);
        FlowRig rig(false);
        rig.app->settings().setValue(SettingKey::gatewayToken, QString());
        rig.fake.gateway.setReply("POST", kRecoveryRegister, FakeReply::raw("down", 503));
        runTask(rig.app->gateway().startup());
        QCOMPARE(rig.requestsTo(kRecoveryRegister), 1);
        QVERIFY(rig.app->settings().text(SettingKey::gatewayToken).isEmpty());

        if (gatewayBack)
            rig.fake.gateway.setReply("POST", kRecoveryRegister,
                                      FakeReply::json({{QStringLiteral("token"), FakeGateway::kDeviceToken}}));
        rig.fake.clock.advance(waited ? std::chrono::milliseconds(GatewayCredentials::firstRetryWait)
                                      : std::chrono::milliseconds(GatewayCredentials::firstRetryWait) - 1ms);
        rig.record(16000);
        rig.recording().stop();
        QVERIFY2(rig.settledOn(status), qPrintable(rig.state().statusLine()));
        QCOMPARE(rig.requestsTo(kRecoveryRegister), waited ? 2 : 1);
        // Nobody chose Qwen: its missing key is not what the user is told.
        QVERIFY(!rig.state().statusLine().contains(QStringLiteral("API key")));
        QCOMPARE(rig.onlyEntry().providerId, QStringLiteral("gateway"));
        if (status != kUnreachable) {
            QCOMPARE(rig.app->settings().text(SettingKey::gatewayToken), FakeGateway::kDeviceToken);
            QCOMPARE(bearerOf(rig.fake.gateway.requestsTo(kRecoveryAsr).value(0)), QByteArray("Bearer device-token-1"));
        } else {
            QVERIFY(rig.fake.gateway.requestsTo(kRecoveryAsr).isEmpty());
            QVERIFY(rig.overlay().retryOffered());
        }
    }
};

MURMO_TEST(TestCredentialRecovery)
#include "tst_CredentialRecovery.moc"
