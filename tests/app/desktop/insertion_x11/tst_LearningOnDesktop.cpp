#include "app/desktop/InputLearningMonitor.h"
#include "tests/app/desktop/insertion_x11/DesktopPorts.h"
#include "tests/support/ManualClock.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

#include <memory>

using namespace std::chrono_literals;

namespace {
constexpr int kWaitMs = 20000;
} // namespace

// The monitor reads the real field of another application over AT-SPI; its time is a manual
// clock, so each look at the field comes only once the test has changed the field.
class TestLearningOnDesktop : public QObject
{
    Q_OBJECT

    std::unique_ptr<DesktopPorts> m_ports;

    // The accessibility worker answers in the order it was asked, and each answer reaches this
    // thread in that order: once a question asked now is answered, every earlier one is too.
    bool accessibilityAnsweredEarlierQuestions()
    {
        auto answered = std::make_shared<bool>(false);
        m_ports->accessibility.focusedElement().then(this,
                                                     [answered](const AccessibleElementPtr&) { *answered = true; });
        return QTest::qWaitFor([answered] { return *answered; }, kWaitMs);
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
        // As the paste left it.
        QVERIFY(helper.set(field, before + inserted));

        ManualClock clock;
        InputLearningMonitor monitor(m_ports->accessibility, clock);
        monitor.setInterval(100ms);
        monitor.setWindow(2s);
        QList<QStringList> seen;
        connect(&monitor, &InputLearningMonitor::learned, this, [&](const QString& a, const QString& b) {
            seen << QStringList{a, b};
        });
        // One look at the field: the monitor schedules the next one once this one's answer is in.
        const auto look = [&](std::chrono::milliseconds after) {
            clock.advance(after);
            return QTest::qWaitFor([&] { return clock.pendingCount() == 1 || !monitor.isWatching(); }, kWaitMs);
        };
        monitor.arm(inserted + QStringLiteral("\n"));
        clock.advance(InputLearningMonitor::armingDelay);
        if (!watched) {
            // Its start asks for the focused field and then for the field's text.
            QVERIFY(accessibilityAnsweredEarlierQuestions());
            QVERIFY(accessibilityAnsweredEarlierQuestions());
            QVERIFY(!monitor.isWatching());
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(monitor.isWatching(), kWaitMs);
        QVERIFY(helper.set(field, edited));
        QVERIFY(look(monitor.interval()));
        if (sent) {
            QVERIFY(helper.set(field, QString()));
            QVERIFY(look(monitor.interval()));
        } else {
            QVERIFY(look(monitor.window()));
            clock.advance(monitor.interval());
        }
        QTRY_VERIFY_WITH_TIMEOUT(!monitor.isWatching(), kWaitMs);
        QCOMPARE(seen, reports);
    }

    void cleanupTestCase() { m_ports.reset(); }
};

MURMO_TEST(TestLearningOnDesktop)
#include "tst_LearningOnDesktop.moc"
