#include "tests/app/desktop/insertion_x11/DesktopPorts.h"
#include "tests/support/DesktopWait.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

#include <memory>

class TestWorkspaceOnDesktop : public QObject
{
    Q_OBJECT

    std::unique_ptr<DesktopPorts> m_ports;

private Q_SLOTS:
    void initTestCase()
    {
        m_ports = std::make_unique<DesktopPorts>();
        QVERIFY2(m_ports->isUsable(), "needs the headless desktop (scripts/with-desktop)");
    }

    void tellsWhenAnotherWindowBecomesActive()
    {
        QStringList seen;
        m_ports->workspace.setActiveWindowObserver([&] {
            const auto front = m_ports->workspace.frontApplication();
            seen.append(front ? front->bundleId : QString());
        });
        FieldHelper first(QStringLiteral("MurmoFirst"), QStringLiteral("first"));
        FieldHelper second(QStringLiteral("MurmoSecond"), QStringLiteral("second"));
        QVERIFY(m_ports->bringToFront(first, QStringLiteral("text")));
        QTRY_VERIFY_WITH_TIMEOUT(seen.contains(QStringLiteral("murmofirst")), kWaitMs);
        QVERIFY(m_ports->bringToFront(second, QStringLiteral("text")));
        QTRY_VERIFY2_WITH_TIMEOUT(seen.contains(QStringLiteral("murmosecond")), qPrintable(seen.join(u',')), kWaitMs);

        // Once cleared, nothing more is reported.
        m_ports->workspace.setActiveWindowObserver({});
        const qsizetype before = seen.size();
        QVERIFY(m_ports->bringToFront(first, QStringLiteral("text")));
        // The changes arrive in order: once a later one has reached a new observer, the one
        // above has been read too, with no observer to tell.
        bool later = false;
        m_ports->workspace.setActiveWindowObserver([&later] { later = true; });
        QVERIFY(m_ports->bringToFront(second, QStringLiteral("text")));
        QTRY_VERIFY_WITH_TIMEOUT(later, kWaitMs);
        QCOMPARE(seen.size(), before);
        m_ports->workspace.setActiveWindowObserver({});
    }
};

MURMO_TEST(TestWorkspaceOnDesktop)
#include "tst_WorkspaceOnDesktop.moc"
