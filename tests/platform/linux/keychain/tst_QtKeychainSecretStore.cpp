#include "core/account/SessionStore.h"
#include "core/net/HttpTransport.h"
#include "platform/linux/keychain/QtKeychainSecretStore.h"
#include "tests/support/ManualClock.h"
#include "tests/support/RunTask.h"
#include "tests/support/TestRegistry.h"

#include <QCoroFuture>
#include <QTest>

#include <memory>

// Against the Secret Service of the headless desktop (gnome-keyring, unlocked, throw-away).
class TestQtKeychainSecretStore : public QObject
{
    Q_OBJECT

private:
    QtKeychainSecretStore m_keyring;
    const QString m_service = QStringLiteral("com.kelto.murmo.test");

    template <typename T> static T wait(QFuture<T> future)
    {
        return *runTask([](QFuture<T> f) -> QCoro::Task<T> { co_return co_await f; }(future)).value;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_keyring.isAvailable()); }

    void itemsAreWrittenReplacedReadAndRemoved()
    {
        const QString account = QStringLiteral("round-trip");
        QCOMPARE(wait(m_keyring.read(m_service, account)), std::nullopt);
        QVERIFY(wait(m_keyring.write(m_service, account, QByteArray("first\0binary", 12))));
        QCOMPARE(wait(m_keyring.read(m_service, account)), QByteArray("first\0binary", 12));
        QVERIFY(wait(m_keyring.write(m_service, account, "second")));
        QCOMPARE(wait(m_keyring.read(m_service, account)), QByteArray("second"));
        // Items of another account are separate.
        QCOMPARE(wait(m_keyring.read(m_service, QStringLiteral("other"))), std::nullopt);
        QVERIFY(wait(m_keyring.remove(m_service, account)));
        QCOMPARE(wait(m_keyring.read(m_service, account)), std::nullopt);
        QVERIFY(wait(m_keyring.remove(m_service, account))); // nothing there is no failure
    }

    void aRestartRestoresTheSession()
    {
        ManualClock clock;
        HttpTransport transport;
        const SupabaseAuth::TokenPair pair{QStringLiteral("access"), QStringLiteral("refresh"),
                                           QDateTime::currentDateTimeUtc().addSecs(3600).addMSecs(250),
                                           QStringLiteral("user@example.com")};
        {
            SessionStore store(m_keyring, transport, clock, std::nullopt);
            runTask(store.load());
            store.adopt(pair);
        }
        {
            SessionStore restarted(m_keyring, transport, clock, std::nullopt);
            runTask(restarted.load());
            QVERIFY(restarted.isLoggedIn());
            QCOMPARE(restarted.currentAccessToken(), pair.accessToken);
            QCOMPARE(restarted.email(), pair.email);
            restarted.signOut();
        }
        SessionStore signedOut(m_keyring, transport, clock, std::nullopt);
        runTask(signedOut.load());
        QVERIFY(!signedOut.isLoggedIn());
    }
};

MURMO_TEST(TestQtKeychainSecretStore)
#include "tst_QtKeychainSecretStore.moc"
