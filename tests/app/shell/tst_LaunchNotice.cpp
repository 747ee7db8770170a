#include "app/shell/LaunchNotice.h"
#include "tests/support/TestRegistry.h"

#include <QMessageBox>
#include <QTest>

// Started from the menu, a launch that does not act has no other way to say why.
class TestLaunchNotice : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void aWindowTellsOnlyWithoutATerminal()
    {
        const QString text = QStringLiteral("连不上正在运行的Murmo，这次没有处理。请稍后再试。");
        QVERIFY(!LaunchNotice(true).window(text));
        const std::unique_ptr<QMessageBox> window = LaunchNotice(false).window(text);
        QVERIFY(window);
        QCOMPARE(window->text(), text);
        QCOMPARE(window->windowTitle(), QStringLiteral("Murmo"));
    }
};

MURMO_TEST(TestLaunchNotice)
#include "tst_LaunchNotice.moc"
