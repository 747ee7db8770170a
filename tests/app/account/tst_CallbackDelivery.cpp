#include "app/shell/SingleInstance.h"
#include "tests/core/account/SignInHarness.h"
#include "tests/support/TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QFuture>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QUuid>
#include <QtConcurrent>

#include <algorithm>
#include <atomic>
#include <latch>
#include <memory>
#include <vector>

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
        // An instance that crashed leaves its socket and lock files behind, and nothing answers.
        for (const QString& leftover : {m_name, m_name + QStringLiteral(".lock")}) {
            QFile stale(QDir::tempPath() + u'/' + leftover);
            QVERIFY(stale.open(QIODevice::WriteOnly));
            stale.write("4242\nmurmo\n");
        }
        QLocalServer blocked;
        QVERIFY(!blocked.listen(m_name));
        SingleInstance first(m_name);
        QVERIFY(first.tryBecomePrimary());
        QVERIFY(deliver({}));
    }

    void ofLaunchesAtOnceExactlyOneListens()
    {
        constexpr int kLaunches = 4;
        for (int round = 0; round < 10; ++round) {
            const QString name = m_name + QString::number(round);
            std::latch decided(kLaunches);
            std::atomic<int> primaries = 0;
            std::vector<std::unique_ptr<QThread>> launches;
            for (int i = 0; i < kLaunches; ++i) {
                launches.emplace_back(QThread::create([&] {
                    SingleInstance instance(name);
                    if (instance.tryBecomePrimary())
                        ++primaries;
                    // Each one holds on until all have decided, as running instances would.
                    decided.arrive_and_wait();
                }));
                launches.back()->start();
            }
            for (const auto& launch : launches)
                QVERIFY(launch->wait(QDeadlineTimer(60000)));
            QCOMPARE(primaries.load(), 1);
        }
    }

    void aRunningInstanceIsNeverDisplaced()
    {
        SingleInstance first(m_name);
        QVERIFY(first.tryBecomePrimary());
        // Its socket is gone for a while, as it is between taking the lock and listening, or
        // after Qt gave up on a server whose accept failed: a launch meanwhile is still second.
        auto* server = first.findChild<QLocalServer*>();
        QVERIFY(server);
        server->close();
        SingleInstance second(m_name);
        QVERIFY(!second.tryBecomePrimary());
        // The first one listens again on its own and takes the message.
        QTRY_VERIFY_WITH_TIMEOUT(server->isListening(), 20000);
        QSignalSpy received(&first, &SingleInstance::messageReceived);
        QVERIFY(deliver({QStringLiteral("x")}));
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, 20000);
    }

    void stalledConnectionsAreDropped_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("nothing") << QByteArray();
        QTest::newRow("half a length") << QByteArray("\0\0", 2);
        QTest::newRow("half a message") << QByteArray("\0\0\0\x40partial", 11);
    }

    void stalledConnectionsAreDropped()
    {
        QFETCH(QByteArray, sent);
        SingleInstance primary(m_name);
        primary.setMessageDeadline(std::chrono::milliseconds(200));
        QVERIFY(primary.tryBecomePrimary());
        QLocalSocket stalled;
        stalled.connectToServer(m_name);
        QVERIFY(stalled.waitForConnected(5000));
        stalled.write(sent);
        QVERIFY(stalled.waitForBytesWritten(5000) || sent.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(stalled.state(), QLocalSocket::UnconnectedState, 20000);
        QSignalSpy received(&primary, &SingleInstance::messageReceived);
        QVERIFY(deliver({}));
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, 20000);
    }

    void connectionsPastTheCapAreDropped()
    {
        SingleInstance primary(m_name);
        primary.setMessageDeadline(std::chrono::minutes(5));
        QVERIFY(primary.tryBecomePrimary());
        std::vector<std::unique_ptr<QLocalSocket>> sockets;
        for (int i = 0; i <= SingleInstance::maxConnections; ++i) {
            sockets.push_back(std::make_unique<QLocalSocket>());
            sockets.back()->connectToServer(m_name);
            QVERIFY(sockets.back()->waitForConnected(5000));
        }
        const auto dropped = [&sockets] {
            return std::count_if(sockets.begin(), sockets.end(),
                                 [](const auto& socket) { return socket->state() == QLocalSocket::UnconnectedState; });
        };
        QTRY_COMPARE_WITH_TIMEOUT(dropped(), 1, 20000);
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
