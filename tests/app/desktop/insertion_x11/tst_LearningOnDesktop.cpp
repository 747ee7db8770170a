#include "app/desktop/InputLearningMonitor.h"
#include "platform/SystemClock.h"
#include "tests/app/desktop/insertion_x11/DesktopPorts.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

#include <memory>

using namespace std::chrono_literals;

class TestLearningOnDesktop : public QObject
{
    Q_OBJECT

    std::unique_ptr<DesktopPorts> m_ports;
    SystemClock m_clock;

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

        InputLearningMonitor monitor(m_ports->accessibility, m_clock);
        monitor.setInterval(100ms);
        monitor.setWindow(2s);
        QList<QStringList> seen;
        connect(&monitor, &InputLearningMonitor::learned, this, [&](const QString& a, const QString& b) {
            seen << QStringList{a, b};
        });
        monitor.arm(inserted + QStringLiteral("\n"));
        if (!watched) {
            QTest::qWait(1500);
            QVERIFY(!monitor.isWatching());
            return;
        }
        QTRY_VERIFY(monitor.isWatching());
        QVERIFY(helper.set(field, edited));
        QTest::qWait(400);
        if (sent)
            QVERIFY(helper.set(field, QString()));
        QTRY_VERIFY_WITH_TIMEOUT(!monitor.isWatching(), 5000);
        QCOMPARE(seen, reports);
    }

    void cleanupTestCase() { m_ports.reset(); }
};

MURMO_TEST(TestLearningOnDesktop)
#include "tst_LearningOnDesktop.moc"
