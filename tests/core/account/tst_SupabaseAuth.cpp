#include "core/account/SupabaseAuth.h"
#include "core/net/HttpTransport.h"
#include "core/net/NetworkErrors.h"
#include "tests/support/FakeSignInService.h"
#include "tests/support/RunTask.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

using namespace std::chrono_literals;

namespace {

const QDateTime kNow(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC);

QString payloadOfLength(int remainder)
{
    // 19 bytes encode to 26 characters (remainder 2), 20 bytes to 27 (remainder 3).
    const QByteArray json = remainder == 2 ? R"({"email":"a@b.cde"})" : R"({"email":"ab@c.def"})";
    return QString::fromLatin1(json.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

} // namespace

class TestSupabaseAuth : public QObject
{
    Q_OBJECT

private:
    FakeSignInService* m_service = nullptr;
    HttpTransport m_transport;

private Q_SLOTS:
    void init()
    {
        m_service = new FakeSignInService(this);
        m_transport.setTimeoutCap(20s);
    }

    void cleanup()
    {
        delete m_service;
        m_service = nullptr;
    }

    void bakedConfigComesOnlyFromBothSettings_data()
    {
        QTest::addColumn<QByteArray>("url");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<bool>("configured");
        QTest::newRow("neither") << QByteArray() << QByteArray() << false;
        QTest::newRow("url only") << QByteArray("https://auth.example.com") << QByteArray() << false;
        QTest::newRow("key only") << QByteArray() << QByteArray("sb_publishable_x") << false;
        QTest::newRow("not a url") << QByteArray("::nonsense") << QByteArray("sb_publishable_x") << false;
        QTest::newRow("both") << QByteArray("https://auth.example.com") << QByteArray("sb_publishable_x") << true;
    }

    void bakedConfigComesOnlyFromBothSettings()
    {
        QFETCH(QByteArray, url);
        QFETCH(QByteArray, key);
        QFETCH(bool, configured);
        qputenv("MURMO_SIGNIN_URL", url);
        qputenv("MURMO_SIGNIN_KEY", key);
        const auto config = SupabaseAuth::Config::baked();
        qunsetenv("MURMO_SIGNIN_URL");
        qunsetenv("MURMO_SIGNIN_KEY");
        QCOMPARE(config.has_value(), configured);
        if (configured) {
            QCOMPARE(config->url, QUrl(QString::fromLatin1(url)));
            QCOMPARE(config->anonKey, QString::fromLatin1(key));
        }
    }

    void requestsCarryExactlyWhatTheServiceExpects()
    {
        const auto config = m_service->config();
        QVERIFY(runTask(SupabaseAuth::requestOTP(m_transport, config, FakeSignInService::kEmail)).value);
        QVERIFY(runTask(SupabaseAuth::verifyOTP(m_transport, config, FakeSignInService::kEmail,
                                                FakeSignInService::kCode, kNow))
                    .value);
        QVERIFY(runTask(SupabaseAuth::refresh(m_transport, config, QStringLiteral("refresh-0"), kNow)).value);

        const QList<RecordedRequest> sent = m_service->requests();
        QCOMPARE(sent.size(), 3);
        const QStringList paths{QStringLiteral("/auth/v1/otp"), QStringLiteral("/auth/v1/verify"),
                                QStringLiteral("/auth/v1/token")};
        const QList<QByteArray> bodies{R"({"create_user":true,"email":"user@example.com"})",
                                       R"({"email":"user@example.com","token":"123456","type":"email"})",
                                       R"({"refresh_token":"refresh-0"})"};
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(sent[i].method, QByteArray("POST"));
            QCOMPARE(sent[i].path, paths[i]);
            QCOMPARE(sent[i].header("apikey"), FakeSignInService::kKey.toUtf8());
            QCOMPARE(sent[i].header("content-type"), QByteArray("application/json"));
            QVERIFY(!sent[i].hasHeader("authorization"));
            QCOMPARE(sent[i].body, bodies[i]);
        }
        QCOMPARE(sent[2].query.toString(), QStringLiteral("grant_type=refresh_token"));
    }

    // Any 2xx is the service accepting the request; what it says with it does not matter.
    void codeRequestSucceedsOnAnyAcceptingAnswer_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("200 empty") << 200 << QByteArray();
        QTest::newRow("204 empty") << 204 << QByteArray();
        QTest::newRow("200 text") << 200 << QByteArray("ok");
        QTest::newRow("200 object") << 200 << QByteArray("{}");
    }

    void codeRequestSucceedsOnAnyAcceptingAnswer()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        m_service->setReply("POST", QStringLiteral("/auth/v1/otp"), FakeReply::raw(body, status));
        const auto outcome = runTask(SupabaseAuth::requestOTP(m_transport, m_service->config(), QStringLiteral("a@b")));
        QVERIFY(outcome.value);
    }

    void failuresAreDescribedByTheServiceFirst_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("description");
        QTest::newRow("msg") << 400 << QByteArray(R"({"msg":"bad code","error":"x"})") << QStringLiteral("bad code");
        QTest::newRow("description before error")
            << 400 << QByteArray(R"({"error":"invalid_grant","error_description":"expired"})")
            << QStringLiteral("expired");
        QTest::newRow("error alone") << 429 << QByteArray(R"({"error":"slow down"})") << QStringLiteral("slow down");
        QTest::newRow("numeric msg hides the rest")
            << 400 << QByteArray(R"({"msg":5,"error":"x"})") << QStringLiteral("登录服务错误 (400)");
        QTest::newRow("plain text") << 502 << QByteArray("Bad Gateway") << QStringLiteral("登录服务错误 (502)");
        QTest::newRow("array") << 500 << QByteArray(R"(["msg"])") << QStringLiteral("登录服务错误 (500)");
    }

    void failuresAreDescribedByTheServiceFirst()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, description);
        m_service->setReply("POST", QStringLiteral("/auth/v1/otp"), FakeReply::raw(body, status));
        const auto outcome = runTask(SupabaseAuth::requestOTP(m_transport, m_service->config(), QStringLiteral("a@b")));
        const auto error = outcome.errorAs<SupabaseAuth::AuthError>();
        QVERIFY(error);
        QCOMPARE(error->kind(), SupabaseAuth::AuthError::Kind::Http);
        QCOMPARE(error->status(), status);
        QCOMPARE(error->body(), QString::fromUtf8(body));
        QCOMPARE(error->description(), description);
    }

    void replyWithoutTokensIsABadResponse_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("jsonError");
        QTest::newRow("array") << QByteArray(R"([1,2])") << false;
        QTest::newRow("no refresh token") << QByteArray(R"({"access_token":"a"})") << false;
        QTest::newRow("numeric token") << QByteArray(R"({"access_token":1,"refresh_token":"r"})") << false;
        QTest::newRow("empty body") << QByteArray() << true;
        QTest::newRow("not json") << QByteArray("<html>") << true;
    }

    void replyWithoutTokensIsABadResponse()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, jsonError);
        m_service->setReply("POST", QStringLiteral("/auth/v1/token"), FakeReply::raw(body, 200));
        const auto outcome =
            runTask(SupabaseAuth::refresh(m_transport, m_service->config(), QStringLiteral("r"), kNow));
        if (jsonError) {
            QVERIFY(outcome.errorAs<JsonError>());
        } else {
            const auto error = outcome.errorAs<SupabaseAuth::AuthError>();
            QVERIFY(error);
            QCOMPARE(error->description(), QStringLiteral("登录服务响应异常"));
        }
    }

    void authorizeUrlIsExact()
    {
        const SupabaseAuth::Config config{QUrl(QStringLiteral("https://abc.supabase.co")), QStringLiteral("k")};
        QCOMPARE(SupabaseAuth::authorizeURL(config, QStringLiteral("google"), QStringLiteral("s-1_A"))
                     .toString(QUrl::FullyEncoded),
                 QStringLiteral("https://abc.supabase.co/auth/v1/authorize?provider=google&redirect_to=murmo://"
                                "auth-callback%3Fstate%3Ds-1_A"));
        QCOMPARE(SupabaseAuth::authorizeURL(config, QStringLiteral("a&b=c"), QStringLiteral("x&y"))
                     .toString(QUrl::FullyEncoded),
                 QStringLiteral("https://abc.supabase.co/auth/v1/authorize?provider=a%26b%3Dc&redirect_to=murmo://"
                                "auth-callback%3Fstate%3Dx%2526y"));
        // The state comes back as it went out, however it had to be encoded.
        QCOMPARE(SupabaseAuth::callbackState(SupabaseAuth::callbackUrl(QStringLiteral("x&y=z%"))),
                 QStringLiteral("x&y=z%"));
    }

    void replyLifetimeAndEmail_data()
    {
        QTest::addColumn<QJsonObject>("reply");
        QTest::addColumn<qint64>("lifetime");
        QTest::addColumn<QString>("email");
        const QJsonObject tokens{{QStringLiteral("access_token"), FakeSignInService::jwt(QStringLiteral("jwt@x.io"))},
                                 {QStringLiteral("refresh_token"), QStringLiteral("r")}};
        QJsonObject withLifetime = tokens;
        withLifetime.insert(QStringLiteral("expires_in"), 7200.5);
        QJsonObject textLifetime = tokens;
        textLifetime.insert(QStringLiteral("expires_in"), QStringLiteral("7200"));
        QJsonObject withUser = tokens;
        withUser.insert(QStringLiteral("user"), QJsonObject{{QStringLiteral("email"), QStringLiteral("u@x.io")}});
        QJsonObject userWithoutEmail = tokens;
        userWithoutEmail.insert(QStringLiteral("user"), QJsonObject{{QStringLiteral("id"), 1}});
        QTest::newRow("default lifetime, token email") << tokens << qint64(3600000) << QStringLiteral("jwt@x.io");
        QTest::newRow("number lifetime") << withLifetime << qint64(7200500) << QStringLiteral("jwt@x.io");
        QTest::newRow("text lifetime") << textLifetime << qint64(3600000) << QStringLiteral("jwt@x.io");
        QTest::newRow("user email wins") << withUser << qint64(3600000) << QStringLiteral("u@x.io");
        QTest::newRow("user without email") << userWithoutEmail << qint64(3600000) << QStringLiteral("jwt@x.io");
    }

    void replyLifetimeAndEmail()
    {
        QFETCH(QJsonObject, reply);
        QFETCH(qint64, lifetime);
        QFETCH(QString, email);
        const SupabaseAuth::TokenPair pair = SupabaseAuth::tokenPair(reply, kNow);
        QCOMPARE(kNow.msecsTo(pair.expiresAt), lifetime);
        QCOMPARE(pair.email, email);
    }

    void jwtEmail_data()
    {
        QTest::addColumn<QString>("token");
        QTest::addColumn<QString>("email"); // null: none
        QTest::newRow("claim") << FakeSignInService::jwt(QStringLiteral("a@b.c")) << QStringLiteral("a@b.c");
        QTest::newRow("no claim") << FakeSignInService::jwt(std::nullopt) << QString();
        QTest::newRow("two parts") << QStringLiteral("x.") + payloadOfLength(2) << QString();
        QTest::newRow("four parts") << QStringLiteral("x.%1.y.z").arg(payloadOfLength(2)) << QString();
        QTest::newRow("pad two") << QStringLiteral("x.%1.y").arg(payloadOfLength(2)) << QStringLiteral("a@b.cde");
        QTest::newRow("pad one") << QStringLiteral("x.%1.y").arg(payloadOfLength(3)) << QStringLiteral("ab@c.def");
        QTest::newRow("not base64") << QStringLiteral("x.!!!!.y") << QString();
        QTest::newRow("not json") << QStringLiteral("x.aGVsbG8.y") << QString();
        QTest::newRow("numeric claim") << QStringLiteral("x.eyJlbWFpbCI6MX0.y") << QString();
    }

    void jwtEmail()
    {
        QFETCH(QString, token);
        QFETCH(QString, email);
        QCOMPARE(payloadOfLength(2).size() % 4, 2);
        QCOMPARE(payloadOfLength(3).size() % 4, 3);
        const auto found = SupabaseAuth::jwtEmail(token);
        QCOMPARE(found.has_value(), !email.isNull());
        if (found)
            QCOMPARE(*found, email);
    }

    void callback_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("access"); // null: no pair
        QTest::addColumn<QString>("refresh");
        QTest::addColumn<qint64>("lifetime");
        QTest::newRow("full")
            << "murmo://auth-callback#access_token=A&refresh_token=R&expires_in=7200&token_type=bearer"
            << "A"
            << "R" << qint64(7200);
        QTest::newRow("no refresh") << "murmo://auth-callback#access_token=A&expires_in=7200" << QString() << QString()
                                    << qint64(0);
        QTest::newRow("in the query") << "murmo://auth-callback?access_token=A&refresh_token=R" << QString()
                                      << QString() << qint64(0);
        QTest::newRow("no fragment") << "murmo://auth-callback" << QString() << QString() << qint64(0);
        QTest::newRow("leading blank") << "murmo://auth-callback#access_token=A&refresh_token=R&expires_in=%207200"
                                       << "A"
                                       << "R" << qint64(3600);
        QTest::newRow("not a number") << "murmo://auth-callback#access_token=A&refresh_token=R&expires_in=soon"
                                      << "A"
                                      << "R" << qint64(3600);
        QTest::newRow("infinite") << "murmo://auth-callback#access_token=A&refresh_token=R&expires_in=inf"
                                  << "A"
                                  << "R" << qint64(3600);
        QTest::newRow("two equals skipped") << "murmo://auth-callback#access_token=A=B&access_token=C&refresh_token=R"
                                            << "C"
                                            << "R" << qint64(3600);
        QTest::newRow("last wins") << "murmo://auth-callback#access_token=A&refresh_token=R&access_token=Z"
                                   << "Z"
                                   << "R" << qint64(3600);
        // Split first, decode once: encoded separators and percent signs survive as they were.
        QTest::newRow("encoded separators") << "murmo://auth-callback#access_token=a%26b%3Dc&refresh_token=r%2541"
                                            << "a&b=c"
                                            << "r%41" << qint64(3600);
        QTest::newRow("plus stays") << "murmo://auth-callback#access_token=a+b&refresh_token=r"
                                    << "a+b"
                                    << "r" << qint64(3600);
    }

    void callback()
    {
        QFETCH(QString, url);
        QFETCH(QString, access);
        QFETCH(QString, refresh);
        QFETCH(qint64, lifetime);
        const auto pair = SupabaseAuth::parseCallback(QUrl(url), kNow);
        QCOMPARE(pair.has_value(), !access.isNull());
        if (!pair)
            return;
        QCOMPARE(pair->accessToken, access);
        QCOMPARE(pair->refreshToken, refresh);
        QCOMPARE(kNow.secsTo(pair->expiresAt), lifetime);
    }

    void storedPairRoundTrips_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("decodes");
        QTest::newRow("full") << QByteArray(
                                     R"({"accessToken":"a","refreshToken":"r","expiresAt":794059200,"email":"e"})")
                              << true;
        QTest::newRow("no email") << QByteArray(R"({"accessToken":"a","refreshToken":"r","expiresAt":794059200})")
                                  << true;
        QTest::newRow("null email")
            << QByteArray(R"({"accessToken":"a","refreshToken":"r","expiresAt":794059200,"email":null})") << true;
        QTest::newRow("no expiry") << QByteArray(R"({"accessToken":"a","refreshToken":"r"})") << false;
        QTest::newRow("no refresh token") << QByteArray(R"({"accessToken":"a","expiresAt":1})") << false;
        QTest::newRow("text expiry") << QByteArray(R"({"accessToken":"a","refreshToken":"r","expiresAt":"1"})")
                                     << false;
        QTest::newRow("numeric email") << QByteArray(
                                              R"({"accessToken":"a","refreshToken":"r","expiresAt":1,"email":2})")
                                       << false;
        QTest::newRow("not json") << QByteArray("garbage") << false;
    }

    void storedPairRoundTrips()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, decodes);
        const auto pair = SupabaseAuth::TokenPair::fromJson(json);
        QCOMPARE(pair.has_value(), decodes);
        if (!pair)
            return;
        // 794059200 s after 2001-01-01 is 2026-03-01 12:00 UTC.
        QCOMPARE(pair->expiresAt, kNow);
        QCOMPARE(SupabaseAuth::TokenPair::fromJson(pair->toJson()), pair);
        QCOMPARE(QJsonDocument::fromJson(pair->toJson()).object().contains(QStringLiteral("email")),
                 pair->email.has_value());
    }
};

MURMO_TEST(TestSupabaseAuth)
#include "tst_SupabaseAuth.moc"
