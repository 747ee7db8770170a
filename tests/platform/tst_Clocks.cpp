#include "platform/SystemClock.h"
#include "tests/support/ManualClock.h"
#include "tests/support/TestRegistry.h"

#include <QSignalSpy>
#include <QTest>

using namespace std::chrono_literals;

class TestClocks : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void manualClockRunsDueCallbacksInTimeOrder()
    {
        ManualClock clock;
        QList<QString> ran;
        clock.schedule(30ms, [&] { ran << QStringLiteral("c@%1").arg(clock.now().count()); });
        clock.schedule(10ms, [&] {
            ran << QStringLiteral("a@%1").arg(clock.now().count());
            clock.schedule(5ms, [&] { ran << QStringLiteral("nested@%1").arg(clock.now().count()); });
        });
        clock.schedule(10ms, [&] { ran << QStringLiteral("b@%1").arg(clock.now().count()); });
        const auto cancelled = clock.schedule(20ms, [&] { ran << QStringLiteral("cancelled"); });
        clock.cancel(cancelled);

        clock.advance(25ms);
        QCOMPARE(ran, (QList<QString>{QStringLiteral("a@10"), QStringLiteral("b@10"), QStringLiteral("nested@15")}));
        QCOMPARE(clock.now(), 25ms);
        QCOMPARE(clock.pendingCount(), std::size_t(1));
        clock.advance(5ms);
        QCOMPARE(ran.last(), QStringLiteral("c@30"));
    }

    void systemClockFiresOnceAndCanBeCancelled()
    {
        SystemClock clock;
        int fired = 0;
        int cancelledFired = 0;
        bool later = false;
        clock.schedule(1ms, [&] { ++fired; });
        clock.cancel(clock.schedule(1ms, [&] { ++cancelledFired; }));
        // Due after the others: once it has run, so has everything they could have done.
        clock.schedule(20ms, [&] { later = true; });
        QTRY_VERIFY_WITH_TIMEOUT(later, 20000);
        QCOMPARE(fired, 1);
        QCOMPARE(cancelledFired, 0);
        QVERIFY(clock.now() >= 1ms);
    }
};

MURMO_TEST(TestClocks)
#include "tst_Clocks.moc"
