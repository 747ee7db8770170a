#include "platform/BoundedSecretStore.h"
#include "tests/support/FakeSecretStore.h"
#include "tests/support/ManualClock.h"
#include "tests/support/TestRegistry.h"

#include <QPromise>
#include <QTest>

#include <memory>
#include <vector>

using namespace std::chrono_literals;

namespace {

// A keyring that is there but locked, its unlock prompt never answered: no call ever finishes.
class UnansweredKeyring : public SecretStore
{
public:
    bool isAvailable() const override { return true; }
    QFuture<std::optional<QByteArray>> read(const QString&, const QString&) override { return pending(m_reads); }
    QFuture<bool> write(const QString&, const QString&, const QByteArray&) override { return pending(m_writes); }
    QFuture<bool> remove(const QString&, const QString&) override { return pending(m_writes); }

private:
    template <typename T> static QFuture<T> pending(std::vector<std::shared_ptr<QPromise<T>>>& kept)
    {
        kept.push_back(std::make_shared<QPromise<T>>());
        kept.back()->start();
        return kept.back()->future();
    }

    std::vector<std::shared_ptr<QPromise<std::optional<QByteArray>>>> m_reads;
    std::vector<std::shared_ptr<QPromise<bool>>> m_writes;
};

} // namespace

class TestBoundedSecretStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writesAreAnsweredWithinTheLimit_data()
    {
        QTest::addColumn<QString>("call");
        QTest::addColumn<bool>("keyringAnswers");
        for (const char* call : {"read", "write", "remove"}) {
            QTest::addRow("%s, keyring answers", call) << QString::fromLatin1(call) << true;
            QTest::addRow("%s, keyring locked", call) << QString::fromLatin1(call) << false;
        }
    }

    void writesAreAnsweredWithinTheLimit()
    {
        QFETCH(QString, call);
        QFETCH(bool, keyringAnswers);
        FakeSecretStore answering;
        answering.setItem(QStringLiteral("svc"), QStringLiteral("acct"), "stored");
        UnansweredKeyring locked;
        ManualClock clock;
        BoundedSecretStore secrets(keyringAnswers ? static_cast<SecretStore&>(answering) : locked, clock, 10s);

        // What the caller gets: the keyring's own answer, or a failure once the limit has passed.
        QVariant answer;
        bool done = false;
        if (call == QLatin1String("read")) {
            secrets.read(QStringLiteral("svc"), QStringLiteral("acct")).then([&](std::optional<QByteArray> value) {
                answer = value ? QVariant(*value) : QVariant();
                done = true;
            });
        } else {
            QFuture<bool> future = call == QLatin1String("write")
                                       ? secrets.write(QStringLiteral("svc"), QStringLiteral("acct"), "new")
                                       : secrets.remove(QStringLiteral("svc"), QStringLiteral("acct"));
            future.then([&](bool ok) {
                answer = ok;
                done = true;
            });
        }

        if (keyringAnswers) {
            QTRY_VERIFY_WITH_TIMEOUT(done, 20000);
            QCOMPARE(answer, call == QLatin1String("read") ? QVariant(QByteArray("stored")) : QVariant(true));
            // The limit's timer went with the answer.
            QCOMPARE(clock.pendingCount(), std::size_t(0));
            return;
        }
        clock.advance(9s);
        QCoreApplication::processEvents();
        QVERIFY(!done);
        clock.advance(1s);
        QCoreApplication::processEvents();
        // A read waits for the keyring: its answer still counts once the user unlocks it.
        if (call == QLatin1String("read")) {
            QVERIFY(!done);
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(done, 20000);
        QCOMPARE(answer, QVariant(false));
    }
};

MURMO_TEST(TestBoundedSecretStore)
#include "tst_BoundedSecretStore.moc"
