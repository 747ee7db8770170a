#include "app/desktop/InputLearningMonitor.h"
#include "tests/app/desktop/insertion_x11/DesktopPorts.h"
#include "tests/support/DesktopWait.h"
#include "tests/support/ManualClock.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

#include <memory>

using namespace std::chrono_literals;

// The monitor reads the real field of another application over AT-SPI; its time is a manual
// clock, so each look at the field comes only once the test has changed the field.
class TestLearningOnDesktop : public QObject
{
    Q_OBJECT

    std::unique_ptr<DesktopPorts> m_ports;

    struct Watch
    {
        bool watched = false;
        bool ended = false;
        QList<QStringList> reports;

        bool operator==(const Watch&) const = default;
    };

    // The accessibility worker answers in the order it was asked, and each answer reaches this
    // thread in that order: once a question asked now is answered, every earlier one is too.
    bool accessibilityAnsweredEarlierQuestions()
    {
        auto answered = std::make_shared<bool>(false);
        m_ports->accessibility.focusedElement().then(this,
                                                     [answered](const AccessibleElementPtr&) { *answered = true; });
        return QTest::qWaitFor([answered] { return *answered; }, kWaitMs);
    }

    // Arms a monitor for inserted over the field, which holds pasted, and plays the user: edits
    // the field, then sends it or lets the watch run out.
    Watch watchField(FieldHelper& helper, const QString& field, const QString& inserted, const QString& pasted,
                     const QString& edited, bool sent)
    {
        Watch watch;
        ManualClock clock;
        InputLearningMonitor monitor(m_ports->accessibility, clock);
        monitor.setInterval(100ms);
        monitor.setWindow(2s);
        connect(&monitor, &InputLearningMonitor::learned, this, [&watch](const QString& a, const QString& b) {
            watch.reports << QStringList{a, b};
        });
        // One look at the field: the monitor schedules the next one once this one's answer is in.
        const auto look = [&](std::chrono::milliseconds after) {
            clock.advance(after);
            return QTest::qWaitFor([&] { return clock.pendingCount() == 1 || !monitor.isWatching(); }, kWaitMs);
        };
        if (!helper.set(field, pasted))
            return watch;
        monitor.arm(inserted + QStringLiteral("\n"));
        clock.advance(InputLearningMonitor::armingDelay);
        // Its start asks for the focused field and then for the field's text.
        if (!accessibilityAnsweredEarlierQuestions() || !accessibilityAnsweredEarlierQuestions() ||
            !monitor.isWatching())
            return watch;
        watch.watched = true;
        if (!helper.set(field, edited) || !look(monitor.interval()))
            return watch;
        if (sent) {
            if (!helper.set(field, QString()) || !look(monitor.interval()))
                return watch;
        } else {
            if (!look(monitor.window()))
                return watch;
            clock.advance(monitor.interval());
        }
        watch.ended = QTest::qWaitFor([&] { return !monitor.isWatching(); }, kWaitMs);
        return watch;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_ports = std::make_unique<DesktopPorts>();
        QVERIFY2(m_ports->isUsable(), "needs the headless desktop (scripts/with-desktop)");
    }

    void reportsWhatTheUserMadeOfTheText_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("edited");
        QTest::addColumn<bool>("sent");
        QTest::addColumn<bool>("watched");
        QTest::addColumn<QList<QStringList>>("reports");
        const QString inserted = QStringLiteral("明天和 Jon 在 Github 上对一下");
        const QString fixed = QStringLiteral("明天和 John 在 GitHub 上对一下");
        QTest::newRow("edited, then sent")
            << QStringLiteral("text") << QString() << fixed << true << true << QList<QStringList>{{inserted, fixed}};
        QTest::newRow("edited, watch runs out")
            << QStringLiteral("line") << QString() << fixed << false << true << QList<QStringList>{{inserted, fixed}};
        QTest::newRow("unchanged") << QStringLiteral("line") << QString() << inserted << true << true
                                   << QList<QStringList>{};
        QTest::newRow("pre-filled field") << QStringLiteral("text") << QStringLiteral("Re: ")
                                          << QStringLiteral("Re: ") + fixed << true << true << QList<QStringList>{};
        QTest::newRow("password field") << QStringLiteral("password") << QString() << fixed << true << false
                                        << QList<QStringList>{};
    }
    void reportsWhatTheUserMadeOfTheText()
    {
        QFETCH(QString, field);
        QFETCH(QString, before);
        QFETCH(QString, edited);
        QFETCH(bool, sent);
        QFETCH(bool, watched);
        QFETCH(QList<QStringList>, reports);
        const QString inserted = QStringLiteral("明天和 Jon 在 Github 上对一下");
        FieldHelper helper(QStringLiteral("MurmoChat"), QStringLiteral("Chat"));
        QVERIFY(m_ports->bringToFront(helper, field));
        // The monitor reads the field with short time-outs, so as never to hold up the program, and
        // a read that brings nothing back keeps it from watching or ends its watch. A monitor that
        // gets it wrong does so every time; a desktop too busy to answer in time only now and then.
        const Watch expected{watched, watched, reports};
        Watch watch = watchField(helper, field, inserted, before + inserted, edited, sent);
        for (int attempt = 1; attempt < 3 && !(watch == expected); ++attempt) {
            qInfo("attempt %d: watched %d, ended %d, %lld reports", attempt, watch.watched, watch.ended,
                  qlonglong(watch.reports.size()));
            watch = watchField(helper, field, inserted, before + inserted, edited, sent);
        }
        QCOMPARE(watch.watched, watched);
        QCOMPARE(watch.ended, watched);
        QCOMPARE(watch.reports, reports);
    }

    void cleanupTestCase() { m_ports.reset(); }
};

MURMO_TEST(TestLearningOnDesktop)
#include "tst_LearningOnDesktop.moc"
