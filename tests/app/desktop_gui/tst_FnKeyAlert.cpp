#include "app/desktop/FnKeyHelpers.h"
#include "tests/support/FakeProcessLauncher.h"
#include "tests/support/TestRegistry.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class FnKeyAlertTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void theOneClickFixReportsSuccess()
    {
        FakeProcessLauncher launcher;
        launcher.installed.insert("gnome-control-center", "/usr/bin/gnome-control-center");
        QString title;
        QString text;
        QStringList buttons;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            title = box->text();
            text = box->informativeText();
            for (QAbstractButton* button : box->buttons())
                buttons << button->text();
            box->buttons().constFirst()->click();
        });
        FnKeyHelpers::fixFnKeyOneClick(launcher);
        QCOMPARE(title, QStringLiteral("已替你把「🌐 键」设为「无操作」"));
        QCOMPARE(text, QStringLiteral("已刷新系统缓存，通常立刻生效——Fn 键即可作为听写键，不再弹输入法/表情。"
                                      "若仍冲突，重启一次兜底即可。"));
        QCOMPARE(buttons, QStringList{"好"});
        // Success needs no settings program.
        QVERIFY(launcher.starts.isEmpty());
    }
};

MURMO_TEST(FnKeyAlertTest)
#include "tst_FnKeyAlert.moc"
