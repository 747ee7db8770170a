#include "core/async/CancelToken.h"
#include "core/async/FirstOf.h"
#include "core/async/Sleep.h"
#include "tests/support/ManualClock.h"
#include "tests/support/RunTask.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

#include <memory>
#include <stdexcept>

using namespace std::chrono_literals;

namespace {

// One contestant's script: after delayMs it delivers value, nothing, or throws.
struct Script
{
    enum Kind
    {
        Value,
        Nothing,
        Throw,
    };
    int delayMs = 0;
    Kind kind = Value;
    int value = 0;
    // Keeps going after its token is raised, to deliver or throw after the decision.
    bool ignoresCancel = false;
};

struct Log
{
    QList<int> started;
    QList<int> cancelled;
};

QCoro::Task<std::optional<int>> scripted(ManualClock* clock, Script script, int index, std::shared_ptr<Log> log,
                                         CancelToken* cancel)
{
    log->started.append(index);
    const bool slept =
        co_await sleepFor(clock, std::chrono::milliseconds(script.delayMs), script.ignoresCancel ? nullptr : cancel);
    if (!slept) {
        log->cancelled.append(index);
        throw CancelledError();
    }
    if (script.kind == Script::Throw)
        throw std::runtime_error("racer failed");
    if (script.kind == Script::Nothing)
        co_return std::nullopt;
    co_return script.value;
}

} // namespace

Q_DECLARE_METATYPE(QList<Script>)

class TestFirstOf : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decidesByTheFirstDelivery_data()
    {
        QTest::addColumn<QList<Script>>("scripts");
        QTest::addColumn<int>("expected"); // -1: no value, -2: the error
        QTest::addColumn<QList<int>>("cancelled");
        QTest::addColumn<QList<int>>("started");

        QTest::newRow("the earlier value wins, the later racer is cancelled")
            << QList<Script>{{300, Script::Value, 7}, {100, Script::Value, 5}} << 5 << QList<int>{0}
            << QList<int>{0, 1};
        QTest::newRow("a racer with nothing is passed over")
            << QList<Script>{{100, Script::Nothing}, {300, Script::Value, 7}} << 7 << QList<int>{} << QList<int>{0, 1};
        QTest::newRow("nothing from anyone gives no value")
            << QList<Script>{{100, Script::Nothing}, {300, Script::Nothing}} << -1 << QList<int>{} << QList<int>{0, 1};
        QTest::newRow("a throw before any value is rethrown and stops the rest")
            << QList<Script>{{100, Script::Throw}, {300, Script::Value, 7}} << -2 << QList<int>{1} << QList<int>{0, 1};
        QTest::newRow("a throw after the decision is dropped")
            << QList<Script>{{100, Script::Value, 5}, {300, Script::Throw, 0, true}} << 5 << QList<int>{}
            << QList<int>{0, 1};
        QTest::newRow("an immediate value leaves the later racers unstarted")
            << QList<Script>{{0, Script::Value, 3}, {100, Script::Value, 7}} << 3 << QList<int>{} << QList<int>{0};
        QTest::newRow("no racers gives no value") << QList<Script>{} << -1 << QList<int>{} << QList<int>{};
    }

    void decidesByTheFirstDelivery()
    {
        QFETCH(QList<Script>, scripts);
        QFETCH(int, expected);
        QFETCH(QList<int>, cancelled);
        QFETCH(QList<int>, started);

        ManualClock clock;
        auto log = std::make_shared<Log>();
        std::vector<Racer<int>> racers;
        for (int i = 0; i < scripts.size(); ++i) {
            const Script script = scripts[i];
            racers.push_back(
                [&clock, script, i, log](CancelToken& cancel) { return scripted(&clock, script, i, log, &cancel); });
        }
        auto task = firstOf(std::move(racers));
        clock.advance(1s);
        QVERIFY(task.isReady());
        const TaskOutcome<std::optional<int>> outcome = runTask(std::move(task));

        if (expected == -2) {
            QVERIFY(outcome.errorAs<std::runtime_error>());
        } else {
            QVERIFY(!outcome.error);
            QCOMPARE(*outcome.value, expected == -1 ? std::nullopt : std::optional<int>(expected));
        }
        QCOMPARE(log->cancelled, cancelled);
        QCOMPARE(log->started, started);
        QCOMPARE(clock.pendingCount(), std::size_t(0));
    }
};

MURMO_TEST(TestFirstOf)
#include "tst_FirstOf.moc"
