#include "tests/app/desktop/insertion_x11/DesktopPorts.h"
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
        QTRY_VERIFY(seen.contains(QStringLiteral("murmofirst")));
        QVERIFY(m_ports->bringToFront(second, QStringLiteral("text")));
        QTRY_VERIFY2(seen.contains(QStringLiteral("murmosecond")), qPrintable(seen.join(u',')));

        // Once cleared, nothing more is reported.
        m_ports->workspace.setActiveWindowObserver({});
        const qsizetype before = seen.size();
        QVERIFY(m_ports->bringToFront(first, QStringLiteral("text")));
        QTest::qWait(100);
        QCOMPARE(seen.size(), before);
    }
};

MURMO_TEST(TestWorkspaceOnDesktop)
#include "tst_WorkspaceOnDesktop.moc"
