#include "core/async/PostToThread.h"
#include "tests/support/TestRegistry.h"

#include <QCoreApplication>
#include <QTest>
#include <QThread>

#include <memory>

class TestPostToThread : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void callsFromAWorkerRunOnTheContextsThreadInOrder()
    {
        QObject context;
        QList<int> order;
        QList<QThread*> ranOn;
        bool allQueued = true;
        std::unique_ptr<QThread> worker(QThread::create([&context, &order, &ranOn, &allQueued] {
            for (int i = 0; i < 3; ++i) {
                allQueued &= postTo(&context, [i, &order, &ranOn] {
                    order << i;
                    ranOn << QThread::currentThread();
                });
            }
        }));
        worker->start();
        QVERIFY(worker->wait());
        QVERIFY(allQueued);
        QVERIFY(order.isEmpty()); // queued, never run on the worker
        QCoreApplication::sendPostedEvents();
        QCOMPARE(order, QList<int>({0, 1, 2}));
        for (QThread* thread : ranOn)
            QCOMPARE(thread, QThread::currentThread());
    }

    void aCallToAContextThatIsGoneIsDropped()
    {
        auto context = std::make_unique<QObject>();
        bool ran = false;
        QVERIFY(postTo(context.get(), [&ran] { ran = true; }));
        context.reset();
        QCoreApplication::sendPostedEvents();
        QVERIFY(!ran);
    }

    void nothingIsQueuedWithoutAContext()
    {
        bool ran = false;
        QVERIFY(!postTo(nullptr, [&ran] { ran = true; }));
        QCoreApplication::sendPostedEvents();
        QVERIFY(!ran);
    }
};

MURMO_TEST(TestPostToThread)
#include "tst_PostToThread.moc"
