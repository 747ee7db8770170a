#include "app/desktop/InputLearningMonitor.h"
#include "tests/support/FakeAccessibility.h"
#include "tests/support/ManualClock.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

using namespace std::chrono_literals;

// One step of the user's life with the field: at this time (since arming), the field holds this
// value (or is gone, for an absent value).
struct Step
{
    std::chrono::milliseconds at;
    std::optional<QString> value;
};
Q_DECLARE_METATYPE(Step)

class TestInputLearningMonitor : public QObject
{
    Q_OBJECT

    struct Rig
    {
        FakeAccessibility accessibility;
        ManualClock clock;
        InputLearningMonitor monitor{accessibility, clock};
        QList<QStringList> reports;
        Rig()
        {
            QObject::connect(&monitor, &InputLearningMonitor::learned, &monitor,
                             [this](const QString& inserted, const QString& edited) {
                                 reports << QStringList{inserted, edited};
                             });
        }
    };

private Q_SLOTS:
    void reportsTheUsersCorrection_data()
    {
        QTest::addColumn<QString>("inserted");
        QTest::addColumn<QString>("fieldBefore");
        QTest::addColumn<QList<Step>>("steps");
        QTest::addColumn<QList<QStringList>>("reports");
        const QString sentence = QStringLiteral("Meet Jon at the station");
        const QString fixed = QStringLiteral("Meet John at the station");
        QTest::newRow("corrected then sent")
            << sentence + QStringLiteral("\n") << QString() << QList<Step>{{2s, fixed}, {4s, QString()}}
            << QList<QStringList>{{sentence, fixed}};
        QTest::newRow("unchanged then sent")
            << sentence << QString() << QList<Step>{{2s, sentence}, {4s, QStringLiteral(" \n")}}
            << QList<QStringList>{};
        QTest::newRow("field held other text before")
            << sentence << QStringLiteral("Hi! ") << QList<Step>{{2s, QStringLiteral("Hi! ") + fixed}, {4s, QString()}}
            << QList<QStringList>{};
        QTest::newRow("field went away") << sentence << QString()
                                         << QList<Step>{{2s, fixed + QStringLiteral("  ")}, {4s, std::nullopt}}
                                         << QList<QStringList>{{sentence, fixed}};
        QTest::newRow("shrank to less than half")
            << sentence << QString() << QList<Step>{{2s, fixed}, {4s, QStringLiteral("Meet")}}
            << QList<QStringList>{{sentence, fixed}};
        QTest::newRow("half is not less than half")
            << QStringLiteral("abcdefgh") << QString() << QList<Step>{{2s, QStringLiteral("abcd")}, {4s, QString()}}
            << QList<QStringList>{{QStringLiteral("abcdefgh"), QStringLiteral("abcd")}};
        QTest::newRow("deadline keeps the last value before it")
            << sentence << QString() << QList<Step>{{10s, fixed}, {25s + 200ms, QStringLiteral("too late")}}
            << QList<QStringList>{{sentence, fixed}};
        QTest::newRow("deleted everything at once")
            << sentence << QString() << QList<Step>{{2s, QString()}} << QList<QStringList>{};
    }
    void reportsTheUsersCorrection()
    {
        QFETCH(QString, inserted);
        QFETCH(QString, fieldBefore);
        QFETCH(QList<Step>, steps);
        QFETCH(QList<QStringList>, reports);
        Rig rig;
        const auto field = rig.accessibility.addFocusedField(fieldBefore + inserted);
        rig.monitor.arm(inserted);
        QVERIFY(!rig.monitor.isWatching());
        rig.clock.advance(450ms);
        QVERIFY(rig.monitor.isWatching());

        auto elapsed = 450ms;
        for (const Step& step : steps) {
            rig.clock.advance(step.at - elapsed);
            elapsed = step.at;
            field->readable = step.value.has_value();
            field->value = step.value.value_or(QString());
        }
        rig.clock.advance(30s);
        QCOMPARE(rig.reports, reports);
        QVERIFY(!rig.monitor.isWatching());
        QCOMPARE(rig.clock.pendingCount(), std::size_t(0));
    }

    void startsNoWatch_data()
    {
        QTest::addColumn<QString>("inserted");
        QTest::addColumn<QString>("fieldValue");
        QTest::addColumn<bool>("secret");
        QTest::addColumn<bool>("focused");
        QTest::addColumn<bool>("disableDuringDelay");
        QTest::newRow("one character") << QStringLiteral(" 好\n") << QStringLiteral("好") << false << true << false;
        QTest::newRow("one emoji of two code points")
            << QStringLiteral("👍🏽") << QStringLiteral("👍🏽") << false << true << false;
        QTest::newRow("text not in the field")
            << QStringLiteral("hello") << QStringLiteral("bye") << false << true << false;
        QTest::newRow("password field") << QStringLiteral("hunter2") << QStringLiteral("hunter2") << true << true
                                        << false;
        QTest::newRow("nothing focused") << QStringLiteral("hello") << QString() << false << false << false;
        QTest::newRow("disabled during the delay")
            << QStringLiteral("hello") << QStringLiteral("hello") << false << true << true;
    }
    void startsNoWatch()
    {
        QFETCH(QString, inserted);
        QFETCH(QString, fieldValue);
        QFETCH(bool, secret);
        QFETCH(bool, focused);
        QFETCH(bool, disableDuringDelay);
        Rig rig;
        if (focused) {
            const auto field = rig.accessibility.addFocusedField(fieldValue);
            field->secret = secret;
        }
        rig.monitor.arm(inserted);
        if (disableDuringDelay)
            rig.monitor.setEnabled(false);
        rig.clock.advance(1s);
        QVERIFY(!rig.monitor.isWatching());
        if (secret)
            QVERIFY(rig.accessibility.requests.isEmpty());
    }

    void disabledMonitorIgnoresArmingButKeepsItsWatch()
    {
        Rig rig;
        const auto field = rig.accessibility.addFocusedField(QStringLiteral("first text"));
        rig.monitor.arm(QStringLiteral("first text"));
        rig.clock.advance(450ms);
        QVERIFY(rig.monitor.isWatching());
        rig.monitor.setEnabled(false);
        rig.monitor.arm(QStringLiteral("other text"));
        field->value = QStringLiteral("first texts");
        rig.clock.advance(1s);
        field->value.clear();
        rig.clock.advance(1s);
        QCOMPARE(rig.reports, (QList<QStringList>{{QStringLiteral("first text"), QStringLiteral("first texts")}}));
    }

    void aNewInsertionEndsTheWatchWithoutAReport()
    {
        Rig rig;
        const auto field = rig.accessibility.addFocusedField(QStringLiteral("first text"));
        rig.monitor.arm(QStringLiteral("first text"));
        rig.clock.advance(450ms);
        field->value = QStringLiteral("first test");
        rig.clock.advance(500ms);
        const auto second = rig.accessibility.addFocusedField(QStringLiteral("second text"));
        rig.monitor.arm(QStringLiteral("second text"));
        QVERIFY(!rig.monitor.isWatching());
        rig.clock.advance(450ms);
        second->value = QStringLiteral("second test");
        rig.clock.advance(500ms);
        second->value.clear();
        rig.clock.advance(500ms);
        QCOMPARE(rig.reports, (QList<QStringList>{{QStringLiteral("second text"), QStringLiteral("second test")}}));
    }

    void stopDropsAPendingArm()
    {
        Rig rig;
        const auto field = rig.accessibility.addFocusedField(QStringLiteral("some text"));
        rig.monitor.arm(QStringLiteral("some text"));
        rig.clock.advance(200ms);
        rig.monitor.stop();
        rig.clock.advance(1s);
        QVERIFY(!rig.monitor.isWatching());
        QVERIFY(rig.accessibility.requests.isEmpty());
    }
};

MURMO_TEST(TestInputLearningMonitor)
#include "tst_InputLearningMonitor.moc"
