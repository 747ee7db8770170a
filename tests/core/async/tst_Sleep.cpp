#include "core/async/CancelToken.h"
#include "core/async/Sleep.h"
#include "tests/support/ManualClock.h"
#include "tests/support/RunTask.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

using namespace std::chrono_literals;

class TestSleep : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void endsWhenTheClockReachesTheDuration()
    {
        ManualClock clock;
        CancelToken token;
        auto task = sleepFor(&clock, 600ms, &token);
        clock.advance(599ms);
        QVERIFY(!task.isReady());
        clock.advance(1ms);
        QVERIFY(task.isReady());
        QCOMPARE(runTask(std::move(task)).value, std::optional<bool>(true));
        QCOMPARE(clock.pendingCount(), std::size_t(0));
    }

    void cancellingEndsTheWaitEarlyAndForgetsTheTimer()
    {
        ManualClock clock;
        CancelToken token;
        auto task = sleepFor(&clock, 1200ms, &token);
        clock.advance(100ms);
        QVERIFY(!task.isReady());
        token.cancel();
        QVERIFY(task.isReady());
        QCOMPARE(runTask(std::move(task)).value, std::optional<bool>(false));
        QCOMPARE(clock.pendingCount(), std::size_t(0));
        // The forgotten timer must not resume anything later.
        clock.advance(2s);
    }

    void anAlreadyRaisedTokenDoesNotWait()
    {
        ManualClock clock;
        CancelToken token;
        token.cancel();
        auto task = sleepFor(&clock, 600ms, &token);
        QVERIFY(task.isReady());
        QCOMPARE(runTask(std::move(task)).value, std::optional<bool>(false));
        QCOMPARE(clock.pendingCount(), std::size_t(0));
    }

    void cancellingAfterTheWaitChangesNothing()
    {
        ManualClock clock;
        CancelToken token;
        auto task = sleepFor(&clock, 10ms, &token);
        clock.advance(10ms);
        token.cancel();
        QCOMPARE(runTask(std::move(task)).value, std::optional<bool>(true));
    }

    void zeroDurationDoesNotWait()
    {
        ManualClock clock;
        auto task = sleepFor(&clock, 0ms);
        QVERIFY(task.isReady());
        QCOMPARE(runTask(std::move(task)).value, std::optional<bool>(true));
    }
};

MURMO_TEST(TestSleep)
#include "tst_Sleep.moc"
