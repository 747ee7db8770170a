#include "app/shell/SingleInstance.h"
#include "tests/core/account/SignInHarness.h"
#include "tests/support/TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QFuture>
#include <QLocalServer>
#include <QSignalSpy>
#include <QTest>
#include <QUuid>
#include <QtConcurrent>

// The browser launches "murmo <callback>", a second process, which hands the address to the
// running one. Here the second launch is a second SingleInstance on a thread of its own, since
// its delivery blocks while the first one's event loop must run.
class TestCallbackDelivery : public QObject
{
    Q_OBJECT

private:
    QString m_name;

    bool deliver(const QStringList& args)
    {
        const QString name = m_name;
        QFuture<bool> sent = QtConcurrent::run([name, args] { return SingleInstance(name).sendToPrimary(args); });
        while (!sent.isFinished())
            QTest::qWait(5);
        return sent.result();
    }

private Q_SLOTS:
    void init() { m_name = QStringLiteral("murmo-test-") + QUuid::createUuid().toString(QUuid::Id128); }

    void onlyTheFirstLaunchListens()
    {
        SingleInstance first(m_name);
        QVERIFY(first.tryBecomePrimary());
        SingleInstance second(m_name);
        QVERIFY(!second.tryBecomePrimary());
        QSignalSpy received(&first, &SingleInstance::messageReceived);
        QVERIFY(deliver({}));
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, 20000);
        QCOMPARE(received[0][0].toStringList(), QStringList());
    }

    void aLeftoverSocketIsTakenOver()
    {
        // An instance that crashed leaves its socket file behind, and nothing answers on it.
        QFile stale(QDir::tempPath() + u'/' + m_name);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();
        QLocalServer blocked;
        QVERIFY(!blocked.listen(m_name));
        SingleInstance first(m_name);
        QVERIFY(first.tryBecomePrimary());
        QVERIFY(deliver({}));
    }

    void nobodyListeningIsReported() { QVERIFY(!deliver({QStringLiteral("murmo://auth-callback#x=1")})); }

    void aCallbackSignsInOnlyWhileTheFlowWaits_data()
    {
        QTest::addColumn<bool>("pending");
        QTest::newRow("waiting") << true;
        QTest::newRow("not asked") << false;
    }

    void aCallbackSignsInOnlyWhileTheFlowWaits()
    {
        QFETCH(bool, pending);
        SignInHarness h;
        SingleInstance primary(m_name);
        QVERIFY(primary.tryBecomePrimary());
        connect(&primary, &SingleInstance::messageReceived, h.flow.get(), [&h](const QStringList& args) {
            for (const QString& arg : args)
                h.flow->handleCallback(QUrl(arg));
        });
        // The answer to a sign-in that was started, whether or not it is still under way.
        h.flow->startWebSignIn(QStringLiteral("google"));
        if (!pending)
            h.flow->cancelWebSignIn();
        QSignalSpy received(&primary, &SingleInstance::messageReceived);
        QSignalSpy signedIn(h.flow.get(), &SignInFlow::signedIn);
        const QUrl url = h.callback(QStringLiteral("access_token=tok%26en&refresh_token=r&expires_in=3600"));
        QVERIFY(deliver({url.toString(QUrl::FullyEncoded)}));
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, 20000);
        QCOMPARE(h.session->isLoggedIn(), pending);
        QCOMPARE(signedIn.count(), pending ? 1 : 0);
        if (pending)
            QCOMPARE(h.session->currentAccessToken(), QStringLiteral("tok&en"));
    }
};

MURMO_TEST(TestCallbackDelivery)
#include "tst_CallbackDelivery.moc"
