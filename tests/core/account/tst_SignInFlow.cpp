#include "tests/core/account/SignInHarness.h"
#include "tests/support/RunTask.h"
#include "tests/support/TestRegistry.h"

#include <QSignalSpy>
#include <QTest>
#include <QUrlQuery>

namespace {

const QString kTokens = QStringLiteral("access_token=%1&refresh_token=r1&expires_in=7200&token_type=bearer");

} // namespace

class TestSignInFlow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { deleteReleasedObjects(); }

    void sendingACode()
    {
        SignInHarness h;
        SignInFlow& flow = *h.flow;
        QVERIFY(!flow.canSendCode(QString()));
        QVERIFY(flow.canSendCode(QStringLiteral("x@")));

        h.service.queueReply("POST", "/auth/v1/otp", FakeReply::json({{"msg", "邮箱格式不正确"}}, 400));
        flow.sendCode(QStringLiteral(" \tuser@example.com\t "));
        QVERIFY(flow.isBusy());
        QVERIFY(!flow.canSendCode(QStringLiteral("user@example.com")));
        // One e-mail request at a time, whatever asks.
        flow.sendCode(QStringLiteral("user@example.com"));
        QTRY_VERIFY_WITH_TIMEOUT(!flow.isBusy(), 20000);
        QCOMPARE(h.service.requests().size(), 1);
        QCOMPARE(flow.errorText(), QStringLiteral("邮箱格式不正确"));
        QVERIFY(!flow.isCodeSent());
        QCOMPARE(h.service.requests().last().json().value("email").toString(), QStringLiteral("user@example.com"));

        // The service accepts with an empty answer: that is a sent code, and the old message goes.
        h.service.queueReply("POST", "/auth/v1/otp", FakeReply::raw(QByteArray(), 200));
        flow.sendCode(QStringLiteral("user@example.com"));
        QTRY_VERIFY_WITH_TIMEOUT(flow.isCodeSent(), 20000);
        QCOMPARE(flow.errorText(), std::nullopt);

        h.service.queueReply("POST", "/auth/v1/otp", FakeReply::raw("busy", 503));
        flow.sendCode(QStringLiteral("user@example.com"));
        QTRY_VERIFY_WITH_TIMEOUT(flow.errorText().has_value(), 20000);
        QVERIFY(flow.isCodeSent());
    }

    // A finished sign-in is in the session and the keyring before anyone hears of it, and then
    // the account is asked for with the new token.
    void verifyingTheCode()
    {
        SignInHarness h;
        SignInFlow& flow = *h.flow;
        h.service.setReply("GET", "/v1/me", FakeReply::json({{"email", "me@gateway.io"}}));
        QVERIFY(!flow.canVerifyCode(QStringLiteral(" 12345\t")));
        QVERIFY(flow.canVerifyCode(QStringLiteral("  123456 ")));

        flow.verifyCode(FakeSignInService::kEmail, QStringLiteral("654321"));
        QTRY_COMPARE_WITH_TIMEOUT(flow.errorText(), QStringLiteral("Token has expired or is invalid"), 20000);
        QVERIFY(!h.session->isLoggedIn());

        bool storedBeforeSignal = false;
        connect(&flow, &SignInFlow::signedIn, this,
                [&] { storedBeforeSignal = h.session->isLoggedIn() && h.sessionStored(); });
        QSignalSpy signedIn(&flow, &SignInFlow::signedIn);
        flow.verifyCode(FakeSignInService::kEmail, QStringLiteral("  123456 "));
        QTRY_COMPARE_WITH_TIMEOUT(signedIn.count(), 1, 20000);
        QVERIFY(storedBeforeSignal);
        QVERIFY(!flow.isBusy());
        QCOMPARE(flow.errorText(), std::nullopt);
        QCOMPARE(h.service.requestsTo("/auth/v1/verify").last().json().value("token").toString(),
                 FakeSignInService::kCode);
        QTRY_COMPARE_WITH_TIMEOUT(h.session->email(), QStringLiteral("me@gateway.io"), 20000);
        QCOMPARE(h.service.requestsTo("/v1/me").size(), 1);
        QCOMPARE(h.service.requestsTo("/v1/me").first().header("Authorization"),
                 "Bearer " + h.session->currentAccessToken()->toUtf8());
    }

    void withoutConfigurationNothingActs()
    {
        SignInHarness h(false);
        SignInFlow& flow = *h.flow;
        QVERIFY(!flow.isConfigured());
        flow.sendCode(FakeSignInService::kEmail);
        flow.verifyCode(FakeSignInService::kEmail, FakeSignInService::kCode);
        flow.startWebSignIn(QStringLiteral("apple"));
        QVERIFY(!flow.isBusy());
        QVERIFY(!flow.isCodeSent());
        QVERIFY(!flow.isWebSignInPending());
        QCOMPARE(flow.errorText(), std::nullopt);
        QVERIFY(h.opened.isEmpty());
        QCOMPARE(h.service.requests().size(), 0);
    }

    // The browser hands back an address; only the answer to this sign-in signs in, once.
    void webSignInTakesItsOwnAnswerOnce()
    {
        const QString token = FakeSignInService::jwt(QStringLiteral("web@x.io"));
        SignInHarness h;
        SignInFlow& flow = *h.flow;
        QSignalSpy signedIn(&flow, &SignInFlow::signedIn);

        flow.handleCallback(QUrl(QStringLiteral("murmo://auth-callback#") + kTokens.arg(token))); // nobody asked
        QVERIFY(!h.session->isLoggedIn());

        flow.startWebSignIn(QStringLiteral("google"));
        QCOMPARE(h.opened.size(), 1);
        const QUrl authorize = h.opened.last();
        QCOMPARE(authorize.adjusted(QUrl::RemoveQuery), h.service.config().url.resolved(QUrl("auth/v1/authorize")));
        QCOMPARE(QUrlQuery(authorize).queryItemValue("provider"), QStringLiteral("google"));
        QVERIFY(flow.isWebSignInPending());
        const QUrl callback = h.callback(kTokens.arg(token));
        QCOMPARE(callback.scheme(), QStringLiteral("murmo"));

        QUrl elsewhere = callback;
        elsewhere.setScheme(QStringLiteral("https"));
        flow.handleCallback(elsewhere);
        QVERIFY(flow.isWebSignInPending());
        flow.handleCallback(callback);
        QCOMPARE(signedIn.count(), 1);
        QVERIFY(!flow.isWebSignInPending());
        QCOMPARE(h.session->currentAccessToken(), token);
        QCOMPARE(h.session->email(), QStringLiteral("web@x.io"));

        // Answered already: the same address again, even with other tokens, is not taken.
        flow.handleCallback(h.callback(kTokens.arg(QStringLiteral("planted"))));
        QCOMPARE(h.session->currentAccessToken(), token);
        QCOMPARE(signedIn.count(), 1);

        // Each sign-in goes out with a state of its own.
        flow.startWebSignIn(QStringLiteral("google"));
        QVERIFY(h.opened.last() != authorize);
    }

    // Any local program can launch a callback; without the state of the sign-in under way it
    // signs nobody in and is kept nowhere, and the real answer is still taken.
    void aCallbackWithoutThePendingStateIsRefused_data()
    {
        QTest::addColumn<QString>("address"); // %1: the state the flow is waiting for
        QTest::newRow("no state") << QStringLiteral("murmo://auth-callback#");
        QTest::newRow("another state") << QStringLiteral("murmo://auth-callback?state=%1x#");
        QTest::newRow("state elsewhere") << QStringLiteral("murmo://auth-callback#state=%1&");
        QTest::newRow("empty state") << QStringLiteral("murmo://auth-callback?state=#");
    }
    void aCallbackWithoutThePendingStateIsRefused()
    {
        QFETCH(QString, address);
        SignInHarness h;
        SignInFlow& flow = *h.flow;
        QSignalSpy signedIn(&flow, &SignInFlow::signedIn);
        flow.startWebSignIn(QStringLiteral("apple"));
        const QUrl answer = h.callback(kTokens.arg(QStringLiteral("mine")));
        const QString state = QUrlQuery(answer).queryItemValue(QStringLiteral("state"));
        QVERIFY(!state.isEmpty());

        QString planted = address;
        if (planted.contains(QStringLiteral("%1")))
            planted = planted.arg(state);
        flow.handleCallback(QUrl(planted + kTokens.arg(QStringLiteral("planted"))));
        QVERIFY(!h.session->isLoggedIn());
        QVERIFY(!h.sessionStored());
        QCOMPARE(signedIn.count(), 0);
        QVERIFY(flow.isWebSignInPending());

        flow.handleCallback(answer);
        QCOMPARE(h.session->currentAccessToken(), QStringLiteral("mine"));
    }

    void anEarlierSignInsAnswerIsRefused()
    {
        SignInHarness h;
        SignInFlow& flow = *h.flow;
        flow.startWebSignIn(QStringLiteral("apple"));
        const QUrl earlier = h.callback(kTokens.arg(QStringLiteral("earlier")));
        flow.cancelWebSignIn();
        flow.startWebSignIn(QStringLiteral("apple"));
        flow.handleCallback(earlier);
        QVERIFY(!h.sessionStored());
        QVERIFY(flow.isWebSignInPending());

        // A new sheet drops the sign-in it was waiting for.
        const QUrl beforeRestart = h.callback(kTokens.arg(QStringLiteral("before")));
        flow.restart();
        QVERIFY(!flow.isWebSignInPending());
        flow.handleCallback(beforeRestart);
        QVERIFY(!h.session->isLoggedIn());
    }

    void webSignInEndsQuietly()
    {
        SignInHarness h;
        SignInFlow& flow = *h.flow;
        // An answer without tokens ends the attempt without a message.
        flow.startWebSignIn(QStringLiteral("apple"));
        flow.handleCallback(h.callback(QStringLiteral("error=access_denied")));
        QVERIFY(!flow.isWebSignInPending());
        QCOMPARE(flow.errorText(), std::nullopt);
        QVERIFY(!h.session->isLoggedIn());

        // The user gives up; the browser's late answer is not taken.
        flow.startWebSignIn(QStringLiteral("apple"));
        flow.cancelWebSignIn();
        QVERIFY(!flow.isWebSignInPending());
        flow.handleCallback(h.callback(kTokens.arg(QStringLiteral("late"))));
        QVERIFY(!h.session->isLoggedIn());
        QCOMPARE(flow.errorText(), std::nullopt);
    }

    // Started is not opened: only the opener's answer says whether a browser took the address.
    // Without one the sheet says so and offers the address, whose answer is still taken.
    void aBrowserThatDidNotOpenIsReported()
    {
        SignInHarness h;
        SignInFlow& flow = *h.flow;
        h.browserOpens.reset();
        flow.startWebSignIn(QStringLiteral("apple"));
        const std::shared_ptr<QPromise<bool>> replaced = h.opening;
        flow.startWebSignIn(QStringLiteral("google"));
        // The replaced sign-in's late failure says nothing about this one.
        replaced->addResult(false);
        replaced->finish();
        QCoreApplication::processEvents();
        QCOMPARE(flow.errorText(), std::nullopt);
        QVERIFY(flow.isWebSignInPending());

        h.settleOpening(false);
        QTRY_COMPARE_WITH_TIMEOUT(flow.errorText(), QStringLiteral("无法打开浏览器"), 20000);
        QCOMPARE(flow.unopenedAddress(), h.opened.last());
        QVERIFY(flow.isWebSignInPending());
        flow.handleCallback(h.callback(kTokens.arg(QStringLiteral("by-hand"))));
        QCOMPARE(h.session->currentAccessToken(), QStringLiteral("by-hand"));
        QCOMPARE(flow.unopenedAddress(), std::nullopt);
    }

    // A new sheet starts empty, and the answer to a step the old one started is dropped.
    void restartStartsAfresh()
    {
        SignInHarness h;
        SignInFlow& flow = *h.flow;
        runTask(flow.sendCode(FakeSignInService::kEmail));
        runTask(flow.verifyCode(FakeSignInService::kEmail, QStringLiteral("000000")));
        QVERIFY(flow.isCodeSent());
        QVERIFY(flow.errorText().has_value());
        flow.restart();
        QVERIFY(!flow.isCodeSent());
        QCOMPARE(flow.errorText(), std::nullopt);

        QCoro::Task<void> verifying = flow.verifyCode(FakeSignInService::kEmail, FakeSignInService::kCode);
        QVERIFY(flow.isBusy());
        flow.restart();
        QVERIFY(!flow.isBusy());
        runTask(std::move(verifying));
        QCOMPARE(h.service.requestsTo("/auth/v1/verify").size(), 2);
        QVERIFY(!h.session->isLoggedIn());
        QVERIFY(!flow.isBusy());
    }
};

MURMO_TEST(TestSignInFlow)
#include "tst_SignInFlow.moc"
