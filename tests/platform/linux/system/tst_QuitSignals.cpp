#include "platform/linux/system/QuitSignals.h"
#include "tests/support/TestRegistry.h"

#include <QSignalSpy>
#include <QTest>

#include <csignal>

class TestQuitSignals : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void terminationBecomesAQuitRequest_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
    }

    // Without the handler the test process itself would die here.
    void terminationBecomesAQuitRequest()
    {
        QFETCH(int, signal);
        QuitSignals handlers;
        QVERIFY(handlers.isInstalled());
        QSignalSpy spy(&handlers, &QuitSignals::quitRequested);
        ::raise(signal);
        QVERIFY(spy.wait(20000));
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.first().first().toInt(), signal);
    }

    // Gone with its owner, the previous disposition is back.
    void destroyingGivesTheSignalsBack()
    {
        struct sigaction before = {};
        sigaction(SIGTERM, nullptr, &before);
        {
            QuitSignals handlers;
            struct sigaction during = {};
            sigaction(SIGTERM, nullptr, &during);
            QVERIFY(during.sa_handler != before.sa_handler);
        }
        struct sigaction after = {};
        sigaction(SIGTERM, nullptr, &after);
        QVERIFY(after.sa_handler == before.sa_handler);
    }
};

MURMO_TEST(TestQuitSignals)
#include "tst_QuitSignals.moc"
