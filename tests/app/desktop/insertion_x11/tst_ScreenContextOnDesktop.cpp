#include "app/desktop/ScreenContext.h"
#include "app/desktop/SelectedText.h"
#include "tests/app/desktop/insertion_x11/DesktopPorts.h"
#include "tests/support/DesktopWait.h"
#include "tests/support/RunTask.h"
#include "tests/support/TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// The program reads other applications' accessibility trees with short time-outs, so as never to
// hold up a dictation, and a busy desktop can answer later than that: each read here is repeated
// until the answer comes. A wrong answer stays wrong however often it is read.
class TestScreenContextOnDesktop : public QObject
{
    Q_OBJECT

    std::unique_ptr<DesktopPorts> m_ports;

    ScreenContext::Info readFront(bool readText)
    {
        const auto front = m_ports->workspace.frontApplication();
        if (!front)
            return {};
        return *runTask(ScreenContext::read(&m_ports->accessibility, &m_ports->workspace, front->name, front->pid,
                                            readText))
                    .value;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_ports = std::make_unique<DesktopPorts>();
        QVERIFY2(m_ports->isUsable(), "needs the headless desktop (scripts/with-desktop)");
    }

    void readsNameTitleAndNearbyText_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("selectionStart");
        QTest::addColumn<int>("selectionLength");
        QTest::addColumn<QString>("nearby");
        QString longValue;
        for (int i = 0; i < 40; ++i)
            longValue += QStringLiteral("第%1行 line ").arg(i, 2, 10, QLatin1Char('0'));
        QTest::newRow("value, last 300 characters")
            << QStringLiteral("line") << longValue << 0 << 0 << longValue.right(300);
        QTest::newRow("selection") << QStringLiteral("line") << longValue << 10 << 25 << longValue.mid(10, 25);
        QTest::newRow("blank selection gives the value")
            << QStringLiteral("text") << QStringLiteral("two   spaces") << 3 << 3 << QStringLiteral("two   spaces");
        QTest::newRow("password field") << QStringLiteral("password") << QStringLiteral("hunter2 hunter2") << 0 << 7
                                        << QString();
    }
    void readsNameTitleAndNearbyText()
    {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(int, selectionStart);
        QFETCH(int, selectionLength);
        QFETCH(QString, nearby);
        const QString title = QStringLiteral("Quarterly plan — ") + QString(120, QLatin1Char('x'));
        FieldHelper helper(QStringLiteral("MurmoContext"), title);
        QVERIFY(m_ports->bringToFront(helper, field));
        QVERIFY(helper.set(field, value));
        QVERIFY(helper.select(field, selectionStart, selectionLength));

        QTRY_COMPARE_WITH_TIMEOUT(
            readFront(true), (ScreenContext::Info{QStringLiteral("MurmoContext"), title.left(120), nearby}), kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(readFront(false),
                                  (ScreenContext::Info{QStringLiteral("MurmoContext"), title.left(120), QString()}),
                                  kWaitMs);
    }

    void readsTheSelectionForRewriting_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("selectionLength");
        QTest::addColumn<std::optional<QString>>("selected");
        QTest::newRow("selected words") << QStringLiteral("text") << 9
                                        << std::optional<QString>(QStringLiteral("请把这段话改得更正式"));
        QTest::newRow("nothing selected") << QStringLiteral("line") << 0 << std::optional<QString>();
        QTest::newRow("password field") << QStringLiteral("password") << 9 << std::optional<QString>();
    }
    void readsTheSelectionForRewriting()
    {
        QFETCH(QString, field);
        QFETCH(int, selectionLength);
        QFETCH(std::optional<QString>, selected);
        FieldHelper helper(QStringLiteral("MurmoRewrite"), QStringLiteral("Rewrite"));
        QVERIFY(m_ports->bringToFront(helper, field));
        QVERIFY(helper.set(field, QStringLiteral("请把这段话改得更正式。谢谢")));
        QVERIFY(helper.select(field, 0, selectionLength + (selectionLength ? 1 : 0)));
        QTRY_COMPARE_WITH_TIMEOUT(*runTask(readSelectedText(&m_ports->accessibility)).value, selected, kWaitMs);
    }

    void buildsThePromptLineFromTheScreen()
    {
        FieldHelper helper(QStringLiteral("MurmoContext"), QStringLiteral("Design review: Murmo roadmap"));
        QVERIFY(m_ports->bringToFront(helper, QStringLiteral("line")));
        QVERIFY(helper.set(QStringLiteral("line"), QStringLiteral("Ping Alice about QCoro 和 gRPC")));
        QTRY_COMPARE_WITH_TIMEOUT(
            ScreenContext::promptLine(readFront(true)),
            std::optional<QString>(
                QStringLiteral("【场景参考，最高约束：以下只是参考词，严禁把它们写进输出、严禁续写或合并附近内容、"
                               "严禁改变说话人原话的语言；你只整理说话人这一段话本身】当前 App：MurmoContext；"
                               "当前场景出现过的专名/术语（仅供统一拼写与大小写：只有当转写里某个词与下列词明显是"
                               "同一个词时，才改成下列写法；不要因发音相近就改写其它词，说话人没说到的一律忽略）："
                               "Design, review, Murmo, roadmap, Ping, Alice, about, QCoro, gRPC")),
            kWaitMs);
    }

    void namesTheApplicationAfterItsDesktopEntry()
    {
        QTemporaryDir data;
        QVERIFY(QDir(data.path()).mkpath(QStringLiteral("applications")));
        QFile entry(data.filePath(QStringLiteral("applications/murmonamed.desktop")));
        QVERIFY(entry.open(QIODevice::WriteOnly));
        entry.write("[Desktop Entry]\nType=Application\nName[de]=Notizen\nName=Notes 笔记\nExec=true\n"
                    "[Desktop Action New]\nName=New note\n");
        entry.close();
        const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
        const auto restoreEnvironment = qScopeGuard([&dataHome] { qputenv("XDG_DATA_HOME", dataHome); });
        X11Workspace workspace;

        FieldHelper helper(QStringLiteral("MurmoNamed"), QStringLiteral("Untitled"));
        QVERIFY(m_ports->bringToFront(helper, QStringLiteral("line")));
        const auto front = workspace.frontApplication();
        QVERIFY(front);
        QCOMPARE(front->bundleId, QStringLiteral("murmonamed"));
        QCOMPARE(front->name, QStringLiteral("Notes 笔记"));
        QCOMPARE(front->pid, qint32(helper.pid()));
        QCOMPARE(workspace.windowTitle(front->pid), std::optional<QString>(QStringLiteral("Untitled")));
    }

    void cleanupTestCase() { m_ports.reset(); }
};

MURMO_TEST(TestScreenContextOnDesktop)
#include "tst_ScreenContextOnDesktop.moc"
