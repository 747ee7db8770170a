#include "app/desktop/ScreenContext.h"
#include "app/desktop/SelectedText.h"
#include "tests/support/FakeAccessibility.h"
#include "tests/support/FakeDesktop.h"
#include "tests/support/RunTask.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

namespace {

const QString heading =
    QStringLiteral("【场景参考，最高约束：以下只是参考词，严禁把它们写进输出、严禁续写或合并附近内容、"
                   "严禁改变说话人原话的语言；你只整理说话人这一段话本身】");
const QString termsLabel =
    QStringLiteral("当前场景出现过的专名/术语（仅供统一拼写与大小写：只有当转写里某个词与下列词明显"
                   "是同一个词时，才改成下列写法；不要因发音相近就改写其它词，说话人没说到的一律忽略"
                   "）：");

} // namespace

class TestScreenContext : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void extractsTerms_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("terms");
        QTest::newRow("order and case of first appearance")
            << QStringLiteral("Review the PR for Kubernetes and gRPC with Alice")
            << QStringList{QStringLiteral("Review"), QStringLiteral("PR"), QStringLiteral("Kubernetes"),
                           QStringLiteral("gRPC"), QStringLiteral("Alice")};
        QTest::newRow("stop words in any case") << QStringLiteral("The THE the AND With YOUR http HTTPS www.com Com")
                                                << QStringList{QStringLiteral("www.com")};
        QTest::newRow("one term for three spellings")
            << QStringLiteral("murmo Murmo MURMO") << QStringList{QStringLiteral("murmo")};
        QTest::newRow("single letter with hyphen dropped")
            << QStringLiteral("a- b_ x. ok") << QStringList{QStringLiteral("ok")};
        QTest::newRow("file names and paths stay whole")
            << QStringLiteral("open ScreenContext.cpp in src/app/desktop/ now.")
            << QStringList{QStringLiteral("open"), QStringLiteral("ScreenContext.cpp"), QStringLiteral("in"),
                           QStringLiteral("src/app/desktop"), QStringLiteral("now")};
        QTest::newRow("ends trimmed") << QStringLiteral("__init__ -flag- path/")
                                      << QStringList{QStringLiteral("init"), QStringLiteral("flag"),
                                                     QStringLiteral("path")};
        QTest::newRow("long numbers") << QStringLiteral("a12345678901234567890 b234567abcdefghi c2345678901234x")
                                      << QStringList{QStringLiteral("b234567abcdefghi"),
                                                     QStringLiteral("c2345678901234x")};
        QTest::newRow("Chinese around ASCII") << QStringLiteral("我在用VSCode写Python代码")
                                              << QStringList{QStringLiteral("VSCode"), QStringLiteral("Python")};
        QTest::newRow("nothing") << QStringLiteral("你好，世界 42 !") << QStringList{};

        QStringList many;
        QStringList first20;
        for (int i = 0; i < 21; ++i) {
            many << QStringLiteral("term%1").arg(QChar(u'a' + i));
            if (i < 20)
                first20 << many.last();
        }
        QTest::newRow("at most twenty") << many.join(QLatin1Char(' ')) << first20;
    }
    void extractsTerms()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, terms);
        QCOMPARE(ScreenContext::extractTerms(text), terms);
    }

    void buildsThePromptLine_data()
    {
        QTest::addColumn<ScreenContext::Info>("info");
        QTest::addColumn<std::optional<QString>>("line");
        QTest::newRow("nothing to say") << ScreenContext::Info{QString(), QStringLiteral("新标签页"),
                                                               QStringLiteral("你好")}
                                        << std::optional<QString>();
        QTest::newRow("application only") << ScreenContext::Info{QStringLiteral("微信"), QString(), QString()}
                                          << std::optional<QString>(heading + QStringLiteral("当前 App：微信"));
        QTest::newRow("terms only") << ScreenContext::Info{QString(), QStringLiteral("README.md - Murmo"),
                                                           QStringLiteral("ask Bob")}
                                    << std::optional<QString>(heading + termsLabel +
                                                              QStringLiteral("README.md, Murmo, ask, Bob"));
        QTest::newRow("both, duplicates across title and text")
            << ScreenContext::Info{QStringLiteral("Visual Studio Code"), QStringLiteral("main.cpp — Murmo"),
                                   QStringLiteral("MURMO uses QCoro")}
            << std::optional<QString>(heading + QStringLiteral("当前 App：Visual Studio Code；") + termsLabel +
                                      QStringLiteral("main.cpp, Murmo, uses, QCoro"));
    }
    void buildsThePromptLine()
    {
        QFETCH(ScreenContext::Info, info);
        QFETCH(std::optional<QString>, line);
        QCOMPARE(ScreenContext::promptLine(info), line);
    }

    void readsTitleAndNearbyText_data()
    {
        QTest::addColumn<std::optional<qint32>>("pid");
        QTest::addColumn<bool>("readText");
        QTest::addColumn<QString>("fieldValue");
        QTest::addColumn<int>("selectionLength");
        QTest::addColumn<bool>("secret");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("nearby");
        const QString value =
            QStringLiteral(" ") + QString(299, QLatin1Char('v')) + QStringLiteral("👨‍👩‍👧");
        QTest::newRow("selection used unchanged")
            << std::optional<qint32>(7) << true << QStringLiteral("  pick me  rest") << 11 << false
            << QStringLiteral("Window") << QStringLiteral("  pick me  ");
        QTest::newRow("blank selection gives the value cut from the end")
            << std::optional<qint32>(7) << true << value << 1 << false << QStringLiteral("Window")
            << QString(299, QLatin1Char('v')) + QStringLiteral("👨‍👩‍👧");
        QTest::newRow("title cut to 120 characters")
            << std::optional<qint32>(8) << false << QStringLiteral("text") << 0 << false
            << QString(119, QLatin1Char('t')) + QStringLiteral("👍🏽") << QString();
        QTest::newRow("no pid, no title") << std::optional<qint32>() << true << QStringLiteral("abc") << 0 << false
                                          << QString() << QStringLiteral("abc");
        QTest::newRow("password field") << std::optional<qint32>(7) << true << QStringLiteral("hunter2") << 3 << true
                                        << QStringLiteral("Window") << QString();
        QTest::newRow("title from the accessibility frame") << std::optional<qint32>(9) << false << QString() << 0
                                                            << false << QStringLiteral("Frame title") << QString();
        QTest::newRow("unknown process") << std::optional<qint32>(99) << false << QString() << 0 << false << QString()
                                         << QString();
    }
    void readsTitleAndNearbyText()
    {
        QFETCH(std::optional<qint32>, pid);
        QFETCH(bool, readText);
        QFETCH(QString, fieldValue);
        QFETCH(int, selectionLength);
        QFETCH(bool, secret);
        QFETCH(QString, title);
        QFETCH(QString, nearby);
        FakeAccessibility accessibility;
        FakeWorkspace workspace;
        workspace.titles.insert(7, QStringLiteral("Window"));
        workspace.titles.insert(8, QString(119, QLatin1Char('t')) + QStringLiteral("👍🏽 tail"));
        accessibility.windowTitles.insert(9, QStringLiteral("Frame title"));
        accessibility.windowTitles.insert(7, QStringLiteral("not this one"));
        const auto field = accessibility.addFocusedField(fieldValue);
        field->selectionEnd = selectionLength;
        field->secret = secret;

        const auto info =
            *runTask(ScreenContext::read(&accessibility, &workspace, QStringLiteral("Editor"), pid, readText)).value;
        QCOMPARE(info, (ScreenContext::Info{QStringLiteral("Editor"), title, nearby}));
        if (secret || !readText)
            QVERIFY(accessibility.requests.isEmpty());
    }

    void readsTheSelectedText_data()
    {
        QTest::addColumn<QString>("fieldValue");
        QTest::addColumn<int>("selectionLength");
        QTest::addColumn<bool>("secret");
        QTest::addColumn<bool>("readable");
        QTest::addColumn<std::optional<QString>>("selected");
        QTest::newRow("untrimmed selection") << QStringLiteral(" two words rest") << 10 << false << true
                                             << std::optional<QString>(QStringLiteral(" two words"));
        QTest::newRow("blank selection") << QStringLiteral("   rest") << 3 << false << true << std::optional<QString>();
        QTest::newRow("no selection") << QStringLiteral("rest") << 0 << false << true << std::optional<QString>();
        QTest::newRow("password") << QStringLiteral("secret") << 6 << true << true << std::optional<QString>();
        QTest::newRow("unreadable") << QStringLiteral("gone") << 4 << false << false << std::optional<QString>();
    }
    void readsTheSelectedText()
    {
        QFETCH(QString, fieldValue);
        QFETCH(int, selectionLength);
        QFETCH(bool, secret);
        QFETCH(bool, readable);
        QFETCH(std::optional<QString>, selected);
        FakeAccessibility accessibility;
        const auto field = accessibility.addFocusedField(fieldValue);
        field->selectionEnd = selectionLength;
        field->secret = secret;
        field->readable = readable;
        QCOMPARE(*runTask(readSelectedText(&accessibility)).value, selected);
        if (secret)
            QVERIFY(accessibility.requests.isEmpty());
    }

    void nothingFocusedReadsNothing()
    {
        FakeAccessibility accessibility;
        FakeWorkspace workspace;
        QCOMPARE(*runTask(readSelectedText(&accessibility)).value, std::optional<QString>());
        const auto info = *runTask(ScreenContext::read(&accessibility, &workspace, QStringLiteral("A"), 1, true)).value;
        QCOMPARE(info, (ScreenContext::Info{QStringLiteral("A"), QString(), QString()}));
    }
};

Q_DECLARE_METATYPE(ScreenContext::Info)

MURMO_TEST(TestScreenContext)
#include "tst_ScreenContext.moc"
