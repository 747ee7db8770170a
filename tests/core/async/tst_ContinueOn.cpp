#include "core/async/ContinueOn.h"
#include "tests/support/TestRegistry.h"

#include <QPromise>
#include <QTest>
#include <QThread>

#include <memory>
#include <optional>

class TestContinueOn : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A result finished on a worker reaches its context on the context's own thread; one that is
    // ready already is handed over at once, as QFuture::then(context, …) would.
    void theResultRunsOnTheContextsThread()
    {
        QObject context;
        std::optional<int> got;
        QThread* ranOn = nullptr;
        QPromise<int> promise;
        continueOn(promise.future(), &context, [&](int value) {
            got = value;
            ranOn = QThread::currentThread();
        });
        promise.start();
        std::unique_ptr<QThread> worker(QThread::create([&promise] {
            promise.addResult(7);
            promise.finish();
        }));
        worker->start();
        QVERIFY(worker->wait());
        QVERIFY(!got);
        QTRY_COMPARE(got, std::optional<int>(7));
        QCOMPARE(ranOn, QThread::currentThread());

        bool ready = false;
        continueOn(QtFuture::makeReadyFuture(), &context, [&ready] { ready = true; });
        QVERIFY(ready);
    }

    // An owner that goes while its request is out: the answer, from the worker or from a
    // cancel, runs nothing and brings nothing down.
    void aContextGoneBeforeTheResultRunsNothing_data()
    {
        QTest::addColumn<bool>("cancelled");
        QTest::newRow("answered") << false;
        QTest::newRow("cancelled") << true;
    }
    void aContextGoneBeforeTheResultRunsNothing()
    {
        QFETCH(bool, cancelled);
        auto context = std::make_unique<QObject>();
        bool ran = false;
        QPromise<bool> promise;
        promise.start();
        continueOn(promise.future(), context.get(), [&ran](bool) { ran = true; });
        context.reset();
        std::unique_ptr<QThread> worker(QThread::create([&promise, cancelled] {
            if (cancelled)
                promise.future().cancel();
            else
                promise.addResult(true);
            promise.finish();
        }));
        worker->start();
        QVERIFY(worker->wait());
        QCoreApplication::sendPostedEvents();
        QVERIFY(!ran);
    }
};

MURMO_TEST(TestContinueOn)
#include "tst_ContinueOn.moc"
