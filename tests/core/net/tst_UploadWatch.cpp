#include "core/net/UploadWatch.h"
#include "tests/support/FakeConnectionSockets.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

using namespace std::chrono_literals;

namespace {

using View = FakeConnectionSockets::View;
using Connection = ConnectionSockets::Connection;

// The views of the service's connections, one per look: as the body begins, as Qt hands its end
// over, then at each look of the watch.
struct Views
{
    QList<View> views;
};

constexpr qint64 kBody = 1'000'000;

} // namespace

Q_DECLARE_METATYPE(Views)

class TestUploadWatch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void followsTheBodysOwnConnection_data()
    {
        QTest::addColumn<Views>("views");
        QTest::addColumn<QStringList>("heard");
        const View none = QList<Connection>{};
        // Qt may still hold its last 64 KiB when the system shows the rest written.
        const qint64 taken = kBody - UploadWatch::kHeldByQt;
        QTest::newRow("drains, stalls, drains, acknowledged")
            << Views{{QList<Connection>{{1, 0, 0}}, QList<Connection>{{1, taken, 600'000}},
                      QList<Connection>{{1, taken, 600'000}}, QList<Connection>{{1, kBody, 600'000}},
                      QList<Connection>{{1, kBody, 200'000}}, QList<Connection>{{1, kBody, 0}}}}
            << QStringList{"moved", "moved", "acknowledged"};
        // Another upload draining beside it took less than this body since it began.
        QTest::newRow("another upload drains beside it")
            << Views{{QList<Connection>{{1, 0, 0}, {2, 5'000'000, 0}},
                      QList<Connection>{{1, taken, 0}, {2, 5'000'000 + taken - 1, 300'000}},
                      QList<Connection>{{1, taken, 0}, {2, 5'000'000 + taken - 1, 300'000}}}}
            << QStringList{"acknowledged"};
        // Both took as much as the body: either could carry it, so neither is followed, whichever
        // of them is listed first and whichever is still draining.
        QTest::newRow("two took the body, the acknowledged one listed first")
            << Views{{QList<Connection>{{1, 0, 0}, {2, 0, 0}}, QList<Connection>{{1, kBody, 0}, {2, kBody, 500'000}}}}
            << QStringList{"cannot tell"};
        QTest::newRow("two took the body, the draining one listed first")
            << Views{{QList<Connection>{{1, 0, 0}, {2, 0, 0}}, QList<Connection>{{1, kBody, 500'000}, {2, kBody, 0}}}}
            << QStringList{"cannot tell"};
        QTest::newRow("the carrier was not up as the body began")
            << Views{{none, QList<Connection>{{1, kBody, 500'000}}}} << QStringList{"cannot tell"};
        QTest::newRow("the carrier closes half-way")
            << Views{{QList<Connection>{{1, 0, 0}}, QList<Connection>{{1, kBody, 500'000}},
                      QList<Connection>{{1, kBody, 500'000}}, none}}
            << QStringList{"moved", "cannot tell"};
        QTest::newRow("the system cannot tell") << Views{{std::nullopt}} << QStringList{"cannot tell"};
    }

    void followsTheBodysOwnConnection()
    {
        QFETCH(Views, views);
        QFETCH(QStringList, heard);
        FakeConnectionSockets sockets(views.views);
        // Looked at by hand here, one view at a time, never by its timer.
        UploadWatch watch(&sockets, QHostAddress::LocalHost, 443, kBody, 1h);
        QStringList told;
        connect(&watch, &UploadWatch::moved, this, [&told] { told << "moved"; });
        connect(&watch, &UploadWatch::acknowledged, this, [&told] { told << "acknowledged"; });
        connect(&watch, &UploadWatch::cannotTell, this, [&told] { told << "cannot tell"; });
        watch.bodyBegins();
        watch.bodyHandedOver();
        while (watch.isWatching() && sockets.viewsLeft() > 0)
            watch.look();
        QCOMPARE(told, heard);
        QVERIFY(!watch.isWatching());
        QCOMPARE(sockets.viewsLeft(), 0);
    }
};

MURMO_TEST(TestUploadWatch)
#include "tst_UploadWatch.moc"
