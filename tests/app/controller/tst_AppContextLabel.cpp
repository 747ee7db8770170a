#include "app/controller/AppContextLabel.h"
#include "tests/support/FakeDesktop.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

using Screen = std::optional<ScreenContext::Info>;
using Name = std::optional<QString>;

class TestAppContextLabel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void labelsTheTarget_data()
    {
        QTest::addColumn<bool>("autoCompose");
        QTest::addColumn<Screen>("screen");
        QTest::addColumn<Name>("target");
        QTest::addColumn<Name>("label");
        const Screen mail = ScreenContext::Info{QStringLiteral("Mail"), QStringLiteral("  Re: plan \n"), QString()};
        const Screen blankTitle = ScreenContext::Info{QStringLiteral("Mail"), QStringLiteral(" \n\t"), QString()};
        const Screen noName = ScreenContext::Info{QString(), QStringLiteral("title"), QString()};
        QTest::newRow("off, even with a context") << false << mail << Name(QStringLiteral("code")) << Name();
        QTest::newRow("app and trimmed title") << true << mail << Name() << Name(QStringLiteral("Mail · Re: plan"));
        QTest::newRow("blank title gives the app alone")
            << true << blankTitle << Name() << Name(QStringLiteral("Mail"));
        QTest::newRow("nameless context: running app's name")
            << true << noName << Name(QStringLiteral("code")) << Name(QStringLiteral("Visual Studio Code"));
        QTest::newRow("not running: the front app recorded")
            << true << Screen() << Name(QStringLiteral("gone")) << Name(QStringLiteral("Terminal"));
        QTest::newRow("no target: the front app recorded")
            << true << Screen() << Name() << Name(QStringLiteral("Terminal"));
        QTest::newRow("empty target id") << true << Screen() << Name(QString()) << Name(QStringLiteral("Terminal"));
    }

    void labelsTheTarget()
    {
        QFETCH(bool, autoCompose);
        QFETCH(Screen, screen);
        QFETCH(Name, target);
        QFETCH(Name, label);
        FakeWorkspace workspace;
        workspace.addApplication(QStringLiteral("code"), 40, QStringLiteral("Visual Studio Code"));
        const RunningApplication front{QStringLiteral("xterm"), 41, QStringLiteral("Terminal"), 0};
        QCOMPARE(AppContextLabel::label(autoCompose, screen, workspace, target, front), label);
    }

    void namelessAppsFallBackOrGiveNone()
    {
        FakeWorkspace workspace;
        workspace.addApplication(QStringLiteral("nameless"), 7, QString());
        const RunningApplication front{QStringLiteral("xterm"), 41, QStringLiteral("Terminal"), 0};
        QCOMPARE(AppContextLabel::appName(workspace, QStringLiteral("nameless"), front),
                 Name(QStringLiteral("Terminal")));
        QCOMPARE(AppContextLabel::appName(workspace, QStringLiteral("nameless"), std::nullopt), Name());
        QCOMPARE(AppContextLabel::label(true, std::nullopt, workspace, QStringLiteral("nameless"),
                                        RunningApplication{QStringLiteral("x"), 1, QString(), 0}),
                 Name());
    }
};

MURMO_TEST(TestAppContextLabel)
#include "tst_AppContextLabel.moc"
