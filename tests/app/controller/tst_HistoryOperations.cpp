#include "app/controller/EditLearning.h"
#include "app/controller/HistoryOperations.h"
#include "core/store/LearnedRule.h"
#include "tests/app/controller/FakeApp.h"
#include "tests/support/RequestsInFlight.h"
#include "tests/support/RunTask.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

using namespace std::chrono_literals;

namespace {

struct HistoryRig
{
    FakeApp fake;
    AppServices& app;
    HistoryOperations operations;

    HistoryRig()
        : app(fake.build())
        , operations(app.state(), app.settings(), app.personalData(), app.services(), app.gateway(), app.overlay(),
                     fake.clock)
    {
        app.settings().setValue(SettingKey::gatewayToken, QStringLiteral("tok"));
    }
    ~HistoryRig() { deleteReleasedObjects(); }

    HistoryEntry addEntry(const QString& finalText, bool withAudio, const QString& action = QStringLiteral("dictate"))
    {
        const HistoryEntry entry = HistoryEntry::make(QStringLiteral("原始"), finalText, QStringLiteral("formal"),
                                                      QStringLiteral("gateway"), action);
        if (withAudio) {
            const Samples samples = oneSecondTake();
            app.history().add(entry, samples);
        } else {
            app.history().add(entry);
        }
        return *app.history().entry(entry.id);
    }
    HistoryEntry stored(const HistoryEntry& entry) const { return *app.history().entry(entry.id); }
    QString status() const { return app.state().statusLine(); }
    int requestsTo(const QString& path) const
    {
        int count = 0;
        for (const RecordedRequest& request : fake.gateway.requests())
            count += request.path == path;
        return count;
    }
    // Corrections of distinct entries, enough to give the profile samples.
    void correctSeveral(int count)
    {
        for (int i = 0; i < count; ++i)
            operations.correctHistory(addEntry(QStringLiteral("第%1条，好的。").arg(i), false),
                                      QStringLiteral("第%1条 好的").arg(i));
    }
};

QStringList rulesBySource(const Lexicon& lexicon, const QString& source)
{
    QStringList rules;
    for (const LearnedRule& rule : lexicon.allRules())
        if (rule.source == source)
            rules << rule.wrong + QStringLiteral("→") + rule.right;
    return rules;
}

} // namespace

class TestHistoryOperations : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void retranscribeWithoutAudio()
    {
        HistoryRig rig;
        const HistoryEntry entry = rig.addEntry(QStringLiteral("旧文字"), false);
        runTask(rig.operations.recogniseAgain(entry));
        QCOMPARE(rig.status(), QStringLiteral("该条目没有保存录音"));
        QVERIFY(rig.fake.gateway.requests().isEmpty());
    }

    // A translated entry is recognised again untranslated, in the current mode.
    void retranscribeReplacesBothTexts()
    {
        HistoryRig rig;
        const HistoryEntry entry = rig.addEntry(QStringLiteral("Old text"), true, QStringLiteral("translate"));
        const int version = rig.app.state().historyVersion();
        runTask(rig.operations.recogniseAgain(entry));
        QCOMPARE(rig.status(), QStringLiteral("✓ 已重新识别"));
        QCOMPARE(rig.stored(entry).asrText, FakeGateway::kTranscript);
        QVERIFY(rig.stored(entry).finalText.contains(FakeGateway::kTranscript));
        QVERIFY(!rig.stored(entry).finalText.contains(QStringLiteral("翻译")));
        QCOMPARE(rig.app.state().historyVersion(), version + 1);
    }

    void retranscribeFailureKeepsTheTexts()
    {
        HistoryRig rig;
        rig.fake.gateway.setReply("POST", QStringLiteral("/v1/asr"), FakeReply::raw("down", 503));
        const HistoryEntry entry = rig.addEntry(QStringLiteral("旧文字"), true);
        runTask(rig.operations.recogniseAgain(entry));
        QVERIFY(rig.status().startsWith(QStringLiteral("重新识别失败：")));
        QCOMPARE(rig.stored(entry), entry);
    }

    // The user saved a correction while the recording was being recognised again: theirs stays.
    void retranscribeNeverOverwritesACorrection()
    {
        HistoryRig rig;
        const HistoryEntry entry = rig.addEntry(QStringLiteral("旧文字"), true);
        HistoryStore& history = rig.app.history();
        rig.fake.gateway.setHandler("POST", QStringLiteral("/v1/asr"), [&history, &entry](const RecordedRequest&) {
            history.updateFinalText(entry.id, QStringLiteral("用户改的"));
            return FakeReply::json({{QStringLiteral("text"), FakeGateway::kTranscript}});
        });
        runTask(rig.operations.recogniseAgain(entry));
        QCOMPARE(rig.stored(entry).finalText, QStringLiteral("用户改的"));
        QCOMPARE(rig.stored(entry).asrText, QStringLiteral("原始"));
        QVERIFY(!rig.status().startsWith(QStringLiteral("✓")));
    }

    void correction_data()
    {
        QTest::addColumn<QString>("old");
        QTest::addColumn<QString>("corrected");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("noteTitle");
        QTest::addColumn<QStringList>("rules");
        QTest::addColumn<int>("samples");
        QTest::newRow("two learned") << "我用扣的写吉特哈布"
                                     << "我用cloud写GitHub"
                                     << "✓ 已学习 「cloud」 「GitHub」，下次识别会优先用它"
                                     << "已学习 「cloud」 「GitHub」" << QStringList{"扣的→cloud", "吉特哈布→GitHub"}
                                     << 1;
        QTest::newRow("nothing to learn") << "hello"
                                          << "hello world"
                                          << "已保存（这次没提取到可学的新词）"
                                          << "已保存" << QStringList{} << 1;
        // The lexicon turns the pair down, so announcing it would be a lie.
        QTest::newRow("refused pair") << "I saw a cat"
                                      << "I saw the cat"
                                      << "已保存（这次没提取到可学的新词）"
                                      << "已保存" << QStringList{} << 1;
        // The placeholder is not what the recogniser heard: nothing to learn from it.
        QTest::newRow("placeholder") << HistoryEntry::kRecognisingText << "我用cloud写"
                                     << "已保存（这次没提取到可学的新词）"
                                     << "已保存" << QStringList{} << 0;
        QTest::newRow("failure placeholder") << HistoryEntry::kFailedText << "我用cloud写"
                                             << "已保存（这次没提取到可学的新词）"
                                             << "已保存" << QStringList{} << 0;
    }

    void correction()
    {
        QFETCH(QString, old);
        QFETCH(QString, corrected);
        QFETCH(QString, status);
        QFETCH(QString, noteTitle);
        QFETCH(QStringList, rules);
        QFETCH(int, samples);
        HistoryRig rig;
        const HistoryEntry entry = rig.addEntry(old, true);
        const int version = rig.app.state().historyVersion();
        rig.operations.correctHistory(entry, corrected);
        QCOMPARE(rig.stored(entry).finalText, corrected);
        QCOMPARE(rig.status(), status);
        QCOMPARE(rig.app.overlay().model()->phase(), OverlayModel::Phase::note);
        QCOMPARE(rig.app.overlay().model()->partial(), noteTitle);
        QCOMPARE(rulesBySource(*rig.app.lexicon(), QStringLiteral("manual_edit")), rules);
        QCOMPARE(rig.app.styleProfile().sampleCount(), samples);
        QCOMPARE(rig.app.state().historyVersion(), version + 1);
        // What was learned goes to the account's copy of the lexicon (read, then written back).
        QTRY_COMPARE_WITH_TIMEOUT(rig.requestsTo(QStringLiteral("/v1/lexicon")), rules.isEmpty() ? 0 : 2, 20000);
        // The write's answer, so the sync has ended before the gateway goes.
        QTRY_COMPARE_WITH_TIMEOUT(requestsInFlight(), 0, 20000);
    }

    void correctingAGoneEntryChangesNothing()
    {
        HistoryRig rig;
        const HistoryEntry entry = rig.addEntry(QStringLiteral("我用扣的写"), false);
        rig.app.history().remove(entry.id);
        const QString before = rig.status();
        const int version = rig.app.state().historyVersion();
        rig.operations.correctHistory(entry, QStringLiteral("我用cloud写"));
        QCOMPARE(rig.status(), before);
        QCOMPARE(rig.app.state().historyVersion(), version);
        QVERIFY(rulesBySource(*rig.app.lexicon(), QStringLiteral("manual_edit")).isEmpty());
    }

    void refreshOnRequest()
    {
        HistoryRig rig;
        runTask(rig.operations.refreshStyleProfile());
        QCOMPARE(rig.status(), QStringLiteral("先在历史里校对满 3 条，才能提炼"));

        rig.correctSeveral(3);
        runTask(rig.operations.refreshStyleProfile());
        QCOMPARE(rig.status(), HistoryOperations::kProfileUpdated);
        QVERIFY(!rig.app.styleProfile().profileText().isEmpty());

        // With a profile in place, a refresh the model refused must not claim an update.
        rig.fake.gateway.setReply("POST", QStringLiteral("/v1/style"), FakeReply::raw("busy", 503));
        const QString profile = rig.app.styleProfile().profileText();
        runTask(rig.operations.refreshStyleProfile());
        QCOMPARE(rig.status(), HistoryOperations::kProfileNotUpdated);
        QCOMPARE(rig.app.styleProfile().profileText(), profile);
    }

    void correctionsRefreshTheProfileWhenDue_data()
    {
        QTest::addColumn<bool>("stylerWorks");
        QTest::addColumn<QString>("status");
        QTest::newRow("refreshed") << true << HistoryOperations::kProfileUpdated;
        QTest::newRow("styler down") << false << HistoryOperations::kProfileNotUpdated;
    }

    void correctionsRefreshTheProfileWhenDue()
    {
        QFETCH(bool, stylerWorks);
        QFETCH(QString, status);
        HistoryRig rig;
        if (!stylerWorks)
            rig.fake.gateway.setReply("POST", QStringLiteral("/v1/style"), FakeReply::raw("busy", 503));
        rig.correctSeveral(7);
        QCOMPARE(rig.requestsTo(QStringLiteral("/v1/style")), 0);
        rig.correctSeveral(1);
        QTRY_COMPARE_WITH_TIMEOUT(rig.status(), status, 20000);
        QCOMPARE(rig.requestsTo(QStringLiteral("/v1/style")), 1);
    }
};

// Edits made right after an insertion.
class TestEditLearning : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void edits_data()
    {
        QTest::addColumn<QString>("inserted");
        QTest::addColumn<QString>("edited");
        QTest::addColumn<QStringList>("rules");
        QTest::addColumn<QString>("note");
        QTest::newRow("one") << "我用扣的写"
                             << "我用cloud写" << QStringList{"扣的→cloud"} << "已学习：扣的 → cloud";
        QTest::newRow("two") << "我用扣的写吉特哈布"
                             << "我用cloud写GitHub" << QStringList{"扣的→cloud", "吉特哈布→GitHub"}
                             << "已学习：扣的 → cloud、吉特哈布 → GitHub";
        QTest::newRow("three is a rewrite") << "我用扣的写吉特哈布和维斯扣德"
                                            << "我用cloud写GitHub和VSCode" << QStringList{} << QString();
        QTest::newRow("refused only") << "I saw a cat"
                                      << "I saw the cat" << QStringList{} << QString();
    }

    void edits()
    {
        QFETCH(QString, inserted);
        QFETCH(QString, edited);
        QFETCH(QStringList, rules);
        QFETCH(QString, note);
        FakeApp fake;
        AppServices& app = fake.build();
        EditLearning learning(app.state(), app.lexicon(), app.inserter(), app.learning(), app.overlay(), app.gateway());
        const int version = app.state().historyVersion();
        Q_EMIT app.learning().learned(inserted, edited);
        QCOMPARE(rulesBySource(*app.lexicon(), QStringLiteral("auto_edit")), rules);
        QCOMPARE(app.state().historyVersion(), version + (rules.isEmpty() ? 0 : 1));
        if (!note.isEmpty()) {
            QCOMPARE(app.overlay().model()->phase(), OverlayModel::Phase::note);
            QCOMPARE(app.overlay().model()->partial(), note);
        } else {
            QVERIFY(!app.overlay().isShowing());
        }
        deleteReleasedObjects();
    }
};

MURMO_TEST(TestHistoryOperations)
MURMO_TEST(TestEditLearning)
#include "tst_HistoryOperations.moc"
