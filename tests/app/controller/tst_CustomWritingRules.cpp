#include "core/text/CustomRuleList.h"
#include "tests/app/controller/FakeApp.h"
#include "tests/support/RunTask.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

class TestCustomWritingRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void distilledRuleIsAppendedOnce()
    {
        FakeApp fake;
        fake.accessToken = QStringLiteral("jwt-1");
        // Models like to explain themselves; only the rule's line is kept.
        fake.gateway.setReply(
            "POST", QStringLiteral("/v1/style"),
            FakeReply::json({{QStringLiteral("text"), QStringLiteral("\n  句末不加句号\n这样读起来更干脆。")}}));
        AppServices& app = fake.build();
        app.settings().setValue(SettingKey::prefCustomNotes, QStringLiteral("数字用阿拉伯数字\n"));
        const int versionBefore = app.state().historyVersion();

        runTask(app.customRules().add(QStringLiteral("  我不喜欢句子最后有句号 \n")));
        const RecordedRequest request = fake.gateway.requestsTo(QStringLiteral("/v1/style")).value(0);
        QCOMPARE(request.json().value(QStringLiteral("system")).toString(), CustomRuleList::kDistillPrompt);
        QCOMPARE(request.json().value(QStringLiteral("text")).toString(), QStringLiteral("我不喜欢句子最后有句号"));
        QCOMPARE(request.header("Authorization"), QByteArray("Bearer jwt-1"));
        QCOMPARE(app.settings().text(SettingKey::prefCustomNotes), QStringLiteral("数字用阿拉伯数字\n句末不加句号"));

        runTask(app.customRules().add(QStringLiteral("别加句号")));
        QCOMPARE(app.customRules().items(), (QStringList{"数字用阿拉伯数字", "句末不加句号"}));
        QCOMPARE(app.state().historyVersion(), versionBefore + 2);
    }

    void blankDescriptionAsksNothing()
    {
        FakeApp fake;
        fake.accessToken = QStringLiteral("jwt-1");
        AppServices& app = fake.build();
        runTask(app.customRules().add(QStringLiteral(" \n\t ")));
        QVERIFY(fake.gateway.requests().isEmpty());
        QCOMPARE(app.state().historyVersion(), 0);
    }

    void failedDistillationKeepsTheUsersWords_data()
    {
        QTest::addColumn<bool>("signedIn");
        QTest::newRow("gateway refuses") << true;
        QTest::newRow("no gateway, no key") << false;
    }

    void failedDistillationKeepsTheUsersWords()
    {
        QFETCH(bool, signedIn);
        FakeApp fake;
        if (signedIn)
            fake.accessToken = QStringLiteral("jwt-1");
        fake.gateway.setReply("POST", QStringLiteral("/v1/style"), FakeReply::raw("down", 503));
        AppServices& app = fake.build();
        if (!signedIn)
            app.settings().setValue(SettingKey::useGateway, false);
        runTask(app.customRules().add(QStringLiteral(" 段落之间空一行 ")));
        QCOMPARE(app.customRules().items(), QStringList{"段落之间空一行"});
        QCOMPARE(fake.gateway.requests().size(), signedIn ? 1 : 0);
    }

    void removingOneRuleKeepsTheOther()
    {
        FakeApp fake;
        AppServices& app = fake.build();
        app.settings().setValue(SettingKey::prefCustomNotes, QStringLiteral("甲\n乙\n"));
        app.customRules().remove(QStringLiteral("甲"));
        QCOMPARE(app.settings().text(SettingKey::prefCustomNotes), QStringLiteral("乙"));
        QCOMPARE(app.state().historyVersion(), 1);
    }
};

MURMO_TEST(TestCustomWritingRules)
#include "tst_CustomWritingRules.moc"
