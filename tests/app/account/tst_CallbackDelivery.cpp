#include "app/shell/SingleInstance.h"
#include "platform/linux/system/LinuxSingleInstanceSystem.h"
#include "platform/linux/system/PrivateFolder.h"
#include "tests/app/shell/LaterLaunch.h"
#include "tests/core/account/SignInHarness.h"
#include "tests/support/TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

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
    using Delivery = SingleInstance::Delivery;

    std::unique_ptr<QTemporaryDir> m_dir;
    // The personal data's folder, where the lock lives, and the socket's.
    QString m_data;
    QString m_folder;

    Delivery deliver(const QStringList& args, std::optional<uid_t> peerUser = std::nullopt)
    {
        return deliverAsLaterLaunch(m_data, m_folder, args, peerUser);
    }

    QString socketPath() const { return m_folder + QStringLiteral("/murmo.socket"); }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_data = m_dir->filePath(QStringLiteral("data"));
        m_folder = m_dir->filePath(QStringLiteral("instance"));
    }

    void cleanup() { m_dir.reset(); }

    void onlyTheFirstLaunchListens()
    {
        LinuxSingleInstanceSystem firstSystem;
        SingleInstance first(firstSystem, m_data, m_folder);
        QCOMPARE(first.claim(), SingleInstance::Lock::Ours);
        QVERIFY(PrivateFolder::isPrivate(m_folder, ::getuid()));
        LinuxSingleInstanceSystem secondSystem;
        SingleInstance second(secondSystem, m_data, m_folder);
        QCOMPARE(second.claim(), SingleInstance::Lock::Held);
        QSignalSpy received(&first, &SingleInstance::messageReceived);
        QCOMPARE(deliver({}), Delivery::Acted);
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, 20000);
        QCOMPARE(received[0][0].toStringList(), QStringList());
    }

    void aLeftoverSocketIsTakenOver()
    {
        // An instance that crashed leaves its socket and lock files behind, and nothing answers.
        QVERIFY(PrivateFolder::make(m_folder, ::getuid()));
        QVERIFY(PrivateFolder::make(m_data, ::getuid()));
        for (const QString& leftover : {socketPath(), m_data + QStringLiteral("/murmo.lock")}) {
            QFile stale(leftover);
            QVERIFY(stale.open(QIODevice::WriteOnly));
            stale.write("4242\nmurmo\n");
        }
        QLocalServer blocked;
        QVERIFY(!blocked.listen(socketPath()));
        LinuxSingleInstanceSystem firstSystem;
        SingleInstance first(firstSystem, m_data, m_folder);
        QCOMPARE(first.claim(), SingleInstance::Lock::Ours);
        QCOMPARE(deliver({}), Delivery::Acted);
    }

    void ofLaunchesAtOnceExactlyOneListens()
    {
        constexpr int kLaunches = 4;
        for (int round = 0; round < 10; ++round) {
            const QString folder = m_folder + QString::number(round);
            std::latch decided(kLaunches);
            std::atomic<int> primaries = 0;
            std::vector<std::unique_ptr<QThread>> launches;
            for (int i = 0; i < kLaunches; ++i) {
                launches.emplace_back(QThread::create([&] {
                    LinuxSingleInstanceSystem instanceSystem;
                    SingleInstance instance(instanceSystem, folder, folder);
                    if (instance.claim() == SingleInstance::Lock::Ours)
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

    void aRunningInstanceIsNeverDisplaced_data()
    {
        QTest::addColumn<bool>("closedByQt");
        // As between taking the lock and listening, or after Qt gave up on a server whose accept
        // failed.
        QTest::newRow("server closed") << true;
        // A cleaner of old files, or a user tidying up.
        QTest::newRow("socket removed") << false;
    }

    void aRunningInstanceIsNeverDisplaced()
    {
        QFETCH(bool, closedByQt);
        LinuxSingleInstanceSystem firstSystem;
        SingleInstance first(firstSystem, m_data, m_folder);
        QCOMPARE(first.claim(), SingleInstance::Lock::Ours);
        auto* server = first.findChild<QLocalServer*>();
        QVERIFY(server);
        if (closedByQt)
            server->close();
        else
            QVERIFY(QFile::remove(socketPath()));
        // A launch meanwhile is still second.
        LinuxSingleInstanceSystem secondSystem;
        SingleInstance second(secondSystem, m_data, m_folder);
        QCOMPARE(second.claim(), SingleInstance::Lock::Held);
        // The first one listens again on its own and takes the message.
        QTRY_VERIFY_WITH_TIMEOUT(server->isListening() && QFile::exists(socketPath()), 20000);
        QSignalSpy received(&first, &SingleInstance::messageReceived);
        QCOMPARE(deliver({QStringLiteral("x")}), Delivery::Acted);
        QCOMPARE(received.count(), 1);
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
        LinuxSingleInstanceSystem primarySystem;
        SingleInstance primary(primarySystem, m_data, m_folder);
        primary.setMessageDeadline(std::chrono::milliseconds(200));
        QCOMPARE(primary.claim(), SingleInstance::Lock::Ours);
        QLocalSocket stalled;
        stalled.connectToServer(socketPath());
        QVERIFY(stalled.waitForConnected(5000));
        stalled.write(sent);
        QVERIFY(stalled.waitForBytesWritten(5000) || sent.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(stalled.state(), QLocalSocket::UnconnectedState, 20000);
        QSignalSpy received(&primary, &SingleInstance::messageReceived);
        QCOMPARE(deliver({}), Delivery::Acted);
        QCOMPARE(received.count(), 1);
    }

    void aLaunchIsToldWhetherItsMessageWasActedOn_data()
    {
        QTest::addColumn<bool>("listening");
        QTest::addColumn<int>("heldConnections");
        QTest::addColumn<Delivery>("told");
        QTest::newRow("taken") << true << 0 << Delivery::Acted;
        QTest::newRow("room for one more") << true << SingleInstance::maxConnections - 1 << Delivery::Acted;
        // Idle connections hold every place: the launch's is dropped unread.
        QTest::newRow("connections full") << true << SingleInstance::maxConnections << Delivery::Unanswered;
        QTest::newRow("nobody listening") << false << 0 << Delivery::Unreachable;
    }

    void aLaunchIsToldWhetherItsMessageWasActedOn()
    {
        QFETCH(bool, listening);
        QFETCH(int, heldConnections);
        QFETCH(Delivery, told);
        LinuxSingleInstanceSystem primarySystem;
        SingleInstance primary(primarySystem, m_data, m_folder);
        primary.setMessageDeadline(std::chrono::minutes(5));
        if (listening)
            QCOMPARE(primary.claim(), SingleInstance::Lock::Ours);
        std::vector<std::unique_ptr<QLocalSocket>> held;
        for (int i = 0; i < heldConnections; ++i) {
            held.push_back(std::make_unique<QLocalSocket>());
            held.back()->connectToServer(socketPath());
            QVERIFY(held.back()->waitForConnected(5000));
        }
        QSignalSpy received(&primary, &SingleInstance::messageReceived);
        const QString callback = QStringLiteral("murmo://auth-callback#access_token=a&refresh_token=r");
        QCOMPARE(deliver({callback}), told);
        QCOMPARE(received.count(), told == Delivery::Acted ? 1 : 0);
    }

    // A launch that stopped waiting (the instance was stopped for a while) has told its user
    // nothing was done; when the instance reads the message later, it does nothing.
    void aMessageWhoseSenderLeftIsNotActedOn()
    {
        LinuxSingleInstanceSystem primarySystem;
        SingleInstance primary(primarySystem, m_data, m_folder);
        QCOMPARE(primary.claim(), SingleInstance::Lock::Ours);
        auto* server = primary.findChild<QLocalServer*>();
        QSignalSpy connected(server, &QLocalServer::newConnection);
        QSignalSpy received(&primary, &SingleInstance::messageReceived);
        {
            QLocalSocket gone;
            gone.connectToServer(socketPath());
            QVERIFY(gone.waitForConnected(5000));
            gone.write(SingleInstance::encodeMessage({QStringLiteral("--quit")}));
            QVERIFY(gone.waitForBytesWritten(5000));
        }
        QVERIFY(connected.wait(20000));
        QTRY_VERIFY_WITH_TIMEOUT(server->findChildren<QLocalSocket*>().isEmpty(), 20000);
        QCOMPARE(received.count(), 0);
    }

    // A later answer (a quit that asks its user first) reaches the launch, however long it took.
    void aLaterAnswerIsWhatTheLaunchIsTold_data()
    {
        QTest::addColumn<SingleInstance::Answer>("answer");
        QTest::addColumn<Delivery>("told");
        QTest::newRow("acted") << SingleInstance::Answer::Acted << Delivery::Acted;
        QTest::newRow("acted, texts kept") << SingleInstance::Answer::ActedTextsKept << Delivery::ActedTextsKept;
        QTest::newRow("asked in its window") << SingleInstance::Answer::AskedInWindow << Delivery::AskedInWindow;
    }

    void aLaterAnswerIsWhatTheLaunchIsTold()
    {
        QFETCH(SingleInstance::Answer, answer);
        QFETCH(Delivery, told);
        LinuxSingleInstanceSystem primarySystem;
        SingleInstance primary(primarySystem, m_data, m_folder);
        constexpr std::chrono::milliseconds deadline{50};
        primary.setMessageDeadline(deadline);
        QCOMPARE(primary.claim(), SingleInstance::Lock::Ours);
        // Known only after the time a message has to arrive in.
        QTimer known;
        known.setSingleShot(true);
        connect(&primary, &SingleInstance::messageReceived, this, [&](const QStringList&) {
            connect(&known, &QTimer::timeout, this, [answer, reply = primary.answerLater()] { reply(answer); });
            known.start(deadline * 4);
        });
        QCOMPARE(deliver({QStringLiteral("--quit")}), told);
    }

    // Always the same folder, and never a name in the shared temporary folder that another user
    // could make first.
    void theFolderIsTheUsersOwn_data()
    {
        QTest::addColumn<QString>("runtime");
        QTest::addColumn<QString>("expected");
        QTest::newRow("runtime folder") << QStringLiteral("0700") << QStringLiteral("runtime/murmo");
        QTest::newRow("no runtime folder") << QString() << QStringLiteral("cache/murmo-instance");
        QTest::newRow("runtime folder open to others")
            << QStringLiteral("0755") << QStringLiteral("cache/murmo-instance");
    }

    void theFolderIsTheUsersOwn()
    {
        QFETCH(QString, runtime);
        QFETCH(QString, expected);
        const QByteArray names[] = {"XDG_RUNTIME_DIR", "XDG_CACHE_HOME", "TMPDIR"};
        std::vector<std::optional<QByteArray>> before;
        for (const QByteArray& name : names)
            before.push_back(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
        const auto restore = qScopeGuard([&] {
            for (std::size_t i = 0; i < before.size(); ++i)
                before[i] ? qputenv(names[i], *before[i]) : qunsetenv(names[i]);
        });
        const QString runtimeFolder = m_dir->filePath(QStringLiteral("runtime"));
        if (runtime.isEmpty()) {
            qunsetenv("XDG_RUNTIME_DIR");
        } else {
            QVERIFY(QDir().mkdir(runtimeFolder));
            QCOMPARE(::chmod(QFile::encodeName(runtimeFolder).constData(), mode_t(runtime.toUInt(nullptr, 8))), 0);
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeFolder));
        }
        qputenv("XDG_CACHE_HOME", QFile::encodeName(m_dir->filePath(QStringLiteral("cache"))));
        qputenv("TMPDIR", QFile::encodeName(m_dir->filePath(QStringLiteral("tmp"))));
        QVERIFY(QDir().mkdir(m_dir->filePath(QStringLiteral("tmp"))));
        QCOMPARE(SingleInstance::defaultSocketFolder(LinuxSingleInstanceSystem()), m_dir->filePath(expected));
    }

    // Someone else's folder stands where the socket's should, with a listener in it: nothing goes
    // to it, and Murmo starts all the same.
    void nothingGoesToAListenerInAFolderNotOurs()
    {
        // A link stands for it: not the user's alone, whoever owns what it points to.
        const QString theirs = m_dir->filePath(QStringLiteral("theirs"));
        QVERIFY(PrivateFolder::make(theirs, ::getuid()));
        QVERIFY(QFile::link(theirs, m_folder));
        QLocalServer planted;
        QVERIFY(planted.listen(socketPath()));
        QCOMPARE(deliver({QStringLiteral("murmo://auth-callback#access_token=a")}), Delivery::Unreachable);
        LinuxSingleInstanceSystem instanceSystem;
        SingleInstance instance(instanceSystem, m_data, m_folder);
        QCOMPARE(instance.claim(), SingleInstance::Lock::Ours);
        QVERIFY(!planted.waitForNewConnection(0));
        QVERIFY(planted.isListening());
    }

    void nothingPassesBetweenUsers_data()
    {
        QTest::addColumn<bool>("launchIsOther");
        QTest::addColumn<Delivery>("told");
        // The launch finds a listener that runs as someone else: not a byte is sent.
        QTest::newRow("listener of another user") << true << Delivery::Unreachable;
        // The instance is reached by someone else's process: not a byte is read.
        QTest::newRow("launch of another user") << false << Delivery::Unanswered;
    }

    void nothingPassesBetweenUsers()
    {
        QFETCH(bool, launchIsOther);
        QFETCH(Delivery, told);
        // Both run as this user; each is told the other should be someone else.
        const uid_t other = ::getuid() + 1;
        LinuxSingleInstanceSystem primarySystem;
        SingleInstance primary(primarySystem, m_data, m_folder);
        if (!launchIsOther)
            primary.setPeerUser(other);
        QCOMPARE(primary.claim(), SingleInstance::Lock::Ours);
        QSignalSpy received(&primary, &SingleInstance::messageReceived);
        const QStringList args{QStringLiteral("murmo://auth-callback#access_token=a&refresh_token=r")};
        QCOMPARE(deliver(args, launchIsOther ? std::optional(other) : std::nullopt), told);
        QCOMPARE(received.count(), 0);
    }

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
        LinuxSingleInstanceSystem primarySystem;
        SingleInstance primary(primarySystem, m_data, m_folder);
        QCOMPARE(primary.claim(), SingleInstance::Lock::Ours);
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
        QCOMPARE(deliver({url.toString(QUrl::FullyEncoded)}), Delivery::Acted);
        QCOMPARE(received.count(), 1);
        QCOMPARE(h.session->isLoggedIn(), pending);
        QCOMPARE(signedIn.count(), pending ? 1 : 0);
        if (pending)
            QCOMPARE(h.session->currentAccessToken(), QStringLiteral("tok&en"));
    }
};

MURMO_TEST(TestCallbackDelivery)
#include "tst_CallbackDelivery.moc"
