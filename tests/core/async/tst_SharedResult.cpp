#include "core/async/CancelToken.h"
#include "core/async/SharedResult.h"
#include "core/async/Sleep.h"
#include "tests/support/ManualClock.h"
#include "tests/support/RunTask.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

#include <stdexcept>

using namespace std::chrono_literals;

namespace {

// Work that answers after a second, or throws when failing is set, counting its runs.
QCoro::Task<QString> slowAnswer(ManualClock* clock, int* runs, bool failing, CancelToken* cancel)
{
    ++*runs;
    co_await sleepFor(clock, 1s, cancel);
    cancel->throwIfCancelled();
    if (failing)
        throw std::runtime_error("no answer");
    co_return QStringLiteral("answer");
}

SharedResult<QString> startSlowAnswer(ManualClock& clock, int& runs, bool failing = false)
{
    return SharedResult<QString>(
        [&clock, &runs, failing](CancelToken& cancel) { return slowAnswer(&clock, &runs, failing, &cancel); });
}

} // namespace

class TestSharedResult : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyAwaiterGetsTheOneValue()
    {
        ManualClock clock;
        int runs = 0;
        const SharedResult<QString> result = startSlowAnswer(clock, runs);
        QCOMPARE(runs, 1); // started eagerly, before anyone awaits
        auto first = result.value();
        auto second = result.value();
        clock.advance(1s);
        QVERIFY(result.isReady());
        QCOMPARE(runTask(std::move(first)).value, std::optional<QString>(QStringLiteral("answer")));
        QCOMPARE(runTask(std::move(second)).value, std::optional<QString>(QStringLiteral("answer")));
        // Awaiting after the end gives the value at once, without running the work again.
        QCOMPARE(runTask(result.value()).value, std::optional<QString>(QStringLiteral("answer")));
        QCOMPARE(runs, 1);
    }

    void everyAwaiterGetsTheException()
    {
        ManualClock clock;
        int runs = 0;
        const SharedResult<QString> result = startSlowAnswer(clock, runs, true);
        auto first = result.value();
        auto second = result.value();
        clock.advance(1s);
        QVERIFY(runTask(std::move(first)).error);
        QVERIFY(runTask(std::move(second)).error);
        QVERIFY(runTask(result.value()).error);
    }

    void cancellingOneAwaiterLeavesTheWorkAndTheOthers()
    {
        ManualClock clock;
        int runs = 0;
        const SharedResult<QString> result = startSlowAnswer(clock, runs);
        CancelToken impatient;
        auto leaving = result.value(&impatient);
        auto staying = result.value();
        clock.advance(500ms);
        impatient.cancel();
        QVERIFY(leaving.isReady());
        QVERIFY(runTask(std::move(leaving)).errorAs<CancelledError>());
        QVERIFY(!staying.isReady());
        clock.advance(500ms);
        QCOMPARE(runTask(std::move(staying)).value, std::optional<QString>(QStringLiteral("answer")));
    }

    void cancelStopsTheWorkForEveryAwaiter()
    {
        ManualClock clock;
        int runs = 0;
        SharedResult<QString> result = startSlowAnswer(clock, runs);
        auto awaiter = result.value();
        result.cancel();
        QVERIFY(awaiter.isReady());
        QVERIFY(runTask(std::move(awaiter)).errorAs<CancelledError>());
        QCOMPARE(clock.pendingCount(), std::size_t(0));
    }
};

MURMO_TEST(TestSharedResult)
#include "tst_SharedResult.moc"
