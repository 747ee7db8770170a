#include "app/controller/CustomWritingRules.h"
#include "app/settings/editors/AppRulesEditor.h"
#include "app/settings/editors/CustomPrefsEditor.h"
#include "app/settings/editors/LexiconEditor.h"
#include "app/settings/editors/RecentForeignApplication.h"
#include "app/settings/editors/StyleProfileView.h"
#include "tests/app/settings_editors/EditorRig.h"
#include "tests/support/DesktopWait.h"
#include "tests/support/TestRegistry.h"

#include <QComboBox>
#include <QCoroSignal>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSemaphore>
#include <QTest>
#include <QThreadPool>
#include <QTimer>

#include <memory>

namespace {

template <typename W> W* child(QWidget& editor, const char* name)
{
    return editor.findChild<W*>(QString::fromLatin1(name));
}

// Clicks the trash can of the row as a user would, with the editor on screen.
void clickRemove(QWidget& editor, int index)
{
    editor.show();
    auto* list = editor.findChild<RemovableRowsView*>();
    QTRY_VERIFY_WITH_TIMEOUT(list->isVisible(), kWaitMs);
    list->scrollTo(list->model()->index(index, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->removeRect(index).center());
}

// A distillation or refresh that ends when the test says so.
struct Gate : QObject
{
    Q_OBJECT

public:
    QCoro::Task<void> wait() { co_await qCoro(this, &Gate::opened); }
    void open() { Q_EMIT opened(); }
    // As the controller's distillation does: an answer on the status line once done.
    QCoro::Task<void> waitThenSay(AppState* state, QString line)
    {
        co_await qCoro(this, &Gate::opened);
        state->setStatusLine(line);
    }

Q_SIGNALS:
    void opened();
};

} // namespace

class TestListEditors : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void appRulesAreSortedAndNamed()
    {
        EditorRig rig;
        rig.settings().setValue(SettingKey::appModeRules,
                                QStringLiteral(R"({"org.telegram.desktop":"casual","code":"formal","zed":"poetry"})"));
        RecentForeignApplication recent(rig.fake.workspace);
        AppRulesEditor editor(rig.state(), rig.settings(), recent);
        QCOMPARE(rowTexts(editor), (QStringList{"code | 书面工整", "org.telegram.desktop | 聊天随意", "zed | poetry"}));

        clickRemove(editor, 2);
        QCOMPARE(rig.settings().appModeRules().keys(), (QStringList{"code", "org.telegram.desktop"}));
        QCOMPARE(rig.state().historyVersion(), 1);
        QCOMPARE(rowTexts(editor).size(), 2);
    }

    void appRuleIdsAreTrimmedAndEmptyOnesRefused_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::newRow("plain") << "libreoffice"
                               << "libreoffice";
        QTest::newRow("padded") << "  firefox \t"
                                << "firefox";
        QTest::newRow("replaces") << "code"
                                  << "code";
        QTest::newRow("spaces only") << "   "
                                     << "";
        QTest::newRow("empty") << ""
                               << "";
    }

    void appRuleIdsAreTrimmedAndEmptyOnesRefused()
    {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        EditorRig rig;
        rig.settings().setAppModeRules({{QStringLiteral("code"), QStringLiteral("formal")}});
        RecentForeignApplication recent(rig.fake.workspace);
        AppRulesEditor editor(rig.state(), rig.settings(), recent);
        child<QLineEdit>(editor, "bundleId")->setText(typed);
        auto* add = child<QPushButton>(editor, "add");
        QCOMPARE(add->isEnabled(), !stored.isEmpty());
        add->click();
        if (stored.isEmpty()) {
            QCOMPARE(rig.settings().appModeRules().size(), 1);
            QCOMPARE(rig.state().historyVersion(), 0);
            return;
        }
        QCOMPARE(rig.settings().appModeRules().value(stored), QStringLiteral("casual"));
        QCOMPARE(rig.settings().appModeRules().size(), stored == "code" ? 1 : 2);
        QCOMPARE(child<QLineEdit>(editor, "bundleId")->text(), QString());
        QCOMPARE(child<QComboBox>(editor, "mode")->currentData().toString(), QStringLiteral("casual"));
        QCOMPARE(rig.state().historyVersion(), 1);
    }

    void undecodableRulesAreReplacedByTheNextChange()
    {
        EditorRig rig;
        rig.settings().setValue(SettingKey::appModeRules, QStringLiteral("[1,2]"));
        RecentForeignApplication recent(rig.fake.workspace);
        AppRulesEditor editor(rig.state(), rig.settings(), recent);
        QVERIFY(rowTexts(editor).isEmpty());
        child<QLineEdit>(editor, "bundleId")->setText(QStringLiteral("kate"));
        child<QComboBox>(editor, "mode")->setCurrentIndex(0);
        child<QPushButton>(editor, "add")->click();
        QCOMPARE(rig.settings().text(SettingKey::appModeRules), QStringLiteral(R"({"kate":"raw"})"));
    }

    void frontPickSkipsThisProgram()
    {
        EditorRig rig;
        FakeWorkspace& workspace = rig.fake.workspace;
        workspace.addApplication(QStringLiteral("org.gnome.texteditor"), 40, QStringLiteral("Text Editor"));
        workspace.addApplication(QStringLiteral("murmo"), 41, QStringLiteral("Murmo"));
        workspace.frontPid = 40;
        RecentForeignApplication recent(rig.fake.workspace);
        // As start-up's first look at the front application tells it.
        recent.noteActiveWindow();
        workspace.frontPid = 41;
        AppRulesEditor editor(rig.state(), rig.settings(), recent);
        child<QPushButton>(editor, "pickFront")->click();
        QCOMPARE(child<QLineEdit>(editor, "bundleId")->text(), QStringLiteral("org.gnome.texteditor"));

        // Nothing else was ever in front: the field stays as it is.
        EditorRig alone;
        alone.fake.workspace.addApplication(QStringLiteral("murmo"), 41, QStringLiteral("Murmo"));
        alone.fake.workspace.frontPid = 41;
        RecentForeignApplication none(alone.fake.workspace);
        AppRulesEditor empty(alone.state(), alone.settings(), none);
        child<QLineEdit>(empty, "bundleId")->setText(QStringLiteral("typed"));
        child<QPushButton>(empty, "pickFront")->click();
        QCOMPARE(child<QLineEdit>(empty, "bundleId")->text(), QStringLiteral("typed"));
    }

    void lexiconEditorAddsReplacesAndRemoves()
    {
        EditorRig rig;
        Lexicon& lexicon = *rig.app.lexicon();
        lexicon.addRule(QStringLiteral("扣德"), QStringLiteral("code"), QStringLiteral("user_added"));
        LexiconEditor editor(rig.state(), lexicon);
        QTRY_COMPARE(rowTexts(editor), QStringList{"扣德 → code | 命中 0"});

        auto* wrong = child<QLineEdit>(editor, "wrong");
        auto* right = child<QLineEdit>(editor, "right");
        auto* add = child<QPushButton>(editor, "add");
        wrong->setText(QStringLiteral(" "));
        QVERIFY(!add->isEnabled());
        right->setText(QStringLiteral(" "));
        QVERIFY(add->isEnabled());
        // A pair the store would not keep stays typed, and the editor says why.
        auto* refusal = child<QLabel>(editor, "refusal");
        for (const auto& [typedWrong, typedRight, reason] : QList<std::tuple<QString, QString, QString>>{
                 {" ", " ", "两边都要有字"}, {"Bar", "Bar", "两边相同"}, {"扣", "code", "误识别词过短"}}) {
            wrong->setText(typedWrong);
            right->setText(typedRight);
            add->click();
            QCOMPARE(wrong->text(), typedWrong);
            QCOMPARE(right->text(), typedRight);
            QVERIFY2(!refusal->isHidden() && refusal->text().contains(reason), qPrintable(refusal->text()));
            QCOMPARE(rowTexts(editor).size(), 1);
        }
        wrong->setText(QStringLiteral("扣德"));
        QVERIFY(refusal->isHidden());

        wrong->setText(QStringLiteral("扣德"));
        right->setText(QStringLiteral("Code"));
        add->click();
        wrong->setText(QStringLiteral("派森"));
        right->setText(QStringLiteral("Python"));
        add->click();
        QTRY_COMPARE(rowTexts(editor), (QStringList{"扣德 → Code | 命中 0", "派森 → Python | 命中 0"}));
        // Only the two kept pairs advanced the counter.
        QCOMPARE(rig.state().historyVersion(), 2);

        // A rule that corrected a take shows its new count.
        lexicon.apply(QStringLiteral("派森"));
        rig.state().bumpHistoryVersion();
        QTRY_COMPARE(rowTexts(editor), (QStringList{"扣德 → Code | 命中 0", "派森 → Python | 命中 1"}));

        clickRemove(editor, 0);
        QTRY_COMPARE(rowTexts(editor), QStringList{"派森 → Python | 命中 1"});
        QCOMPARE(lexicon.allRules().size(), 1);
    }

    // Qt paints in stripes on its global pool; the list's rows are built on threads of their own,
    // so a pool busy to its last thread holds neither up.
    void lexiconEditorFollowsWhileTheGlobalPoolIsBusy()
    {
        EditorRig rig;
        Lexicon& lexicon = *rig.app.lexicon();
        lexicon.waitUntilLoaded();
        LexiconEditor editor(rig.state(), lexicon);
        QThreadPool& pool = *QThreadPool::globalInstance();
        QSemaphore released;
        QSemaphore started;
        for (int i = 0; i < pool.maxThreadCount(); ++i)
            pool.start([&] {
                started.release();
                released.acquire();
            });
        const int busy = pool.maxThreadCount();
        QVERIFY(started.tryAcquire(busy, kWaitMs));
        lexicon.addRule(QStringLiteral("扣德"), QStringLiteral("code"), QStringLiteral("user_added"));
        rig.state().bumpHistoryVersion();
        const bool shown =
            QTest::qWaitFor([&] { return rowTexts(editor) == QStringList{"扣德 → code | 命中 0"}; }, kWaitMs);
        released.release(busy);
        pool.waitForDone();
        QVERIFY(shown);
    }

    void lexiconEditorFollowsABurstOfChanges()
    {
        EditorRig rig;
        Lexicon& lexicon = *rig.app.lexicon();
        const auto expected = [&lexicon] {
            QStringList texts;
            for (const LearnedRule& rule : lexicon.allRules())
                texts.append(rule.id.toString() + QStringLiteral(" ") + rule.wrong + QStringLiteral(" → ") +
                             rule.right);
            return texts;
        };
        const auto shown = [](const LexiconEditor& editor) {
            QStringList texts;
            for (const RemovableRowsModel::Row& row : editor.list()->rows().rows())
                texts.append(row.key + QStringLiteral(" ") + row.text);
            return texts;
        };
        auto editor = std::make_unique<LexiconEditor>(rig.state(), lexicon);
        // Adds, replacements and removes, some landing while a build is under way: a change
        // computed against rows the list no longer holds would leave it wrong.
        for (int i = 0; i < 60; ++i) {
            const QList<LearnedRule> rules = lexicon.allRules();
            if (i % 3 == 2)
                lexicon.removeRule(rules[(i * 7) % rules.size()].id);
            else
                lexicon.addRule(QStringLiteral("word%1x").arg(i % 25), QStringLiteral("Word%1").arg(i), "user_added");
            rig.state().bumpHistoryVersion();
            if (i % 4 == 0)
                QCoreApplication::processEvents();
        }
        QTRY_COMPARE(shown(*editor), expected());
        // A build still under way when the tab closes neither lands nor outlives it.
        lexicon.addRule(QStringLiteral("最后"), QStringLiteral("Last"), "user_added");
        rig.state().bumpHistoryVersion();
        editor.reset();
        QCoreApplication::processEvents();
    }

    void customRulesEditorDistilsOneAtATime()
    {
        EditorRig rig(QStringLiteral("jwt-1"));
        rig.settings().setValue(SettingKey::prefCustomNotes, QStringLiteral("数字用阿拉伯数字\n\n  句末不加句号\t"));
        rig.fake.gateway.setReply("POST", QStringLiteral("/v1/style"),
                                  FakeReply::json({{QStringLiteral("text"), QStringLiteral("段落之间空一行")}})
                                      .after(std::chrono::milliseconds(20)));
        CustomPrefsEditor editor(rig.state(), rig.app.customRules());
        editor.show();
        QCOMPARE(rowTexts(editor), (QStringList{"· 数字用阿拉伯数字", "· 句末不加句号"}));

        auto* field = child<QPlainTextEdit>(editor, "draft");
        auto* submit = child<QPushButton>(editor, "submit");
        field->setPlainText(QStringLiteral("  \n \n"));
        QVERIFY(!submit->isEnabled());
        field->setPlainText(QStringLiteral("一"));
        const int oneLine = field->maximumHeight();
        field->setPlainText(QStringLiteral("一\n二\n三\n四\n五"));
        QVERIFY(field->maximumHeight() > oneLine);
        const int threeLines = field->maximumHeight();
        field->setPlainText(QStringLiteral("一\n二\n三\n四\n五\n六\n七"));
        QCOMPARE(field->maximumHeight(), threeLines);

        field->setPlainText(QStringLiteral(" 段落之间空一行 "));
        submit->click();
        QVERIFY(editor.isDistilling());
        QCOMPARE(submit->text(), QStringLiteral("提炼中…"));
        QVERIFY(!submit->isEnabled());
        QVERIFY(!field->isEnabled());
        QCOMPARE(field->toPlainText(), QString());
        QTRY_VERIFY_WITH_TIMEOUT(!editor.isDistilling(), 20000);
        QCOMPARE(submit->text(), QStringLiteral("提交"));
        QCOMPARE(rowTexts(editor).last(), QStringLiteral("· 段落之间空一行"));

        clickRemove(editor, 0);
        QCOMPARE(rig.settings().text(SettingKey::prefCustomNotes), QStringLiteral("句末不加句号\n段落之间空一行"));
    }

    void closingTheEditorMidDistillationKeepsTheRule()
    {
        EditorRig rig(QStringLiteral("jwt-1"));
        rig.fake.gateway.setReply(
            "POST", QStringLiteral("/v1/style"),
            FakeReply::json({{QStringLiteral("text"), QStringLiteral("用短句")}}).after(std::chrono::milliseconds(50)));
        auto editor = std::make_unique<CustomPrefsEditor>(rig.state(), rig.app.customRules());
        child<QPlainTextEdit>(*editor, "draft")->setPlainText(QStringLiteral("句子短一点"));
        child<QPushButton>(*editor, "submit")->click();
        editor.reset();
        QTRY_COMPARE_WITH_TIMEOUT(rig.app.customRules().items(), QStringList{"用短句"}, 20000);
    }

    void styleProfileShowsWhatIsStored()
    {
        EditorRig rig;
        StyleProfile& profile = rig.app.styleProfile();
        Gate gate;
        int refreshes = 0;
        const QString answer = QStringLiteral("先在历史里校对满 3 条，才能提炼");
        auto view = std::make_unique<StyleProfileView>(rig.state(), profile, [&] {
            ++refreshes;
            return gate.waitThenSay(&rig.state(), answer);
        });
        view->show();
        profile.record(QStringLiteral("甲"), QStringLiteral("乙"));
        rig.state().bumpHistoryVersion();
        // Samples without a profile: the caption only.
        QVERIFY(child<QLabel>(*view, "empty")->isVisible());
        QVERIFY(!child<QLabel>(*view, "profile")->isVisible());
        QVERIFY(!child<QLabel>(*view, "updated")->isVisible());

        auto* refresh = child<QPushButton>(*view, "refresh");
        refresh->click();
        refresh->click();
        QCOMPARE(refreshes, 1);
        QVERIFY(!refresh->isEnabled());
        gate.open();
        QTRY_VERIFY_WITH_TIMEOUT(refresh->isEnabled(), 20000);
        // Answered where it was asked, over the main window's status line.
        QVERIFY(child<QLabel>(*view, "answer")->isVisible());
        QCOMPARE(child<QLabel>(*view, "answer")->text(), answer);

        // Closed while a distillation runs: its end touches nothing of the view.
        refresh->click();
        view.reset();
        gate.open();
        QCoreApplication::processEvents();
        QCOMPARE(refreshes, 2);

        const int before = rig.state().historyVersion();
        StyleProfileView again(rig.state(), profile, {});
        child<QPushButton>(again, "clear")->click();
        QCOMPARE(rig.state().historyVersion(), before + 1);
        QCOMPARE(profile.sampleCount(), 0);
        QVERIFY(QFile::exists(profile.filePath()));
    }

    void styleProfileOfBlanksIsShownWithItsDate()
    {
        EditorRig rig;
        const QString dir = rig.fake.dataDirectory();
        StyleProfile::Snapshot snapshot;
        snapshot.profileText = QStringLiteral("   ");
        snapshot.samples = {{QStringLiteral("a"), QStringLiteral("b")}, {QStringLiteral("c"), QStringLiteral("d")}};
        snapshot.updatedAt = QDateTime(QDate(2026, 3, 4), QTime(5, 6), Qt::UTC);
        QFile file(dir + QStringLiteral("/style-profile.json"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(StyleProfile::encode(snapshot));
        file.close();
        StyleProfile profile(dir);
        StyleProfileView view(rig.state(), profile, {});
        view.show();
        QVERIFY(!child<QLabel>(view, "empty")->isVisible());
        QCOMPARE(child<QLabel>(view, "profile")->text(), QStringLiteral("   "));
        const QString updated = child<QLabel>(view, "updated")->text();
        QVERIFY2(updated.startsWith(QStringLiteral("更新于 ")) && updated.endsWith(QStringLiteral(" · 样本 2 条")),
                 qPrintable(updated));

        snapshot.updatedAt.reset();
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(StyleProfile::encode(snapshot));
        file.close();
        StyleProfile undated(dir);
        StyleProfileView plain(rig.state(), undated, {});
        plain.show();
        QVERIFY(child<QLabel>(plain, "profile")->isVisible());
        QVERIFY(!child<QLabel>(plain, "updated")->isVisible());
    }
};

MURMO_TEST(TestListEditors)
#include "tst_ListEditors.moc"
