#include "app/account/LoginView.h"
#include "app/controller/HotkeyRole.h"
#include "app/desktop/PermissionsModel.h"
#include "app/settings/DictateTab.h"
#include "app/settings/GeneralTab.h"
#include "app/settings/LexiconTab.h"
#include "app/shell/PermissionRow.h"
#include "tests/app/settings/SettingsFixture.h"
#include "tests/support/FakeSignInService.h"
#include "tests/support/RequestsInFlight.h"
#include "tests/support/TestRegistry.h"

#include <QDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace std::chrono_literals;

class TestSettingsWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tabsFollowTheSignInConfiguration_data()
    {
        QTest::addColumn<bool>("signIn");
        QTest::addColumn<QStringList>("titles");
        QTest::newRow("configured") << true << QStringList{"账户", "通用", "听写", "外观", "词库"};
        QTest::newRow("not configured") << false << QStringList{"通用", "听写", "外观", "词库"};
    }
    void tabsFollowTheSignInConfiguration()
    {
        QFETCH(bool, signIn);
        QFETCH(QStringList, titles);
        SettingsFixture f(signIn);
        SettingsWindow& window = f.open();
        window.show();
        QCOMPARE(window.tabTitles(), titles);
        QCOMPARE(window.tabs()->currentIndex(), 0);
        QCOMPARE(window.accountTab() != nullptr, signIn);
        QCOMPARE(window.windowTitle(), QStringLiteral("Murmo · 设置"));
        QCOMPARE(window.minimumSize(), QSize(540, 480));
        QCOMPARE(window.size(), QSize(560, 620));
    }

    void permissionsFollowTheDesktopWithoutATimer()
    {
        SettingsFixture f;
        f.fake.permissions.accessibility = false;
        f.fake.permissions.microphone = true;
        SettingsWindow& window = f.open();
        GeneralTab* general = window.generalTab();
        // The model looks at once, before the window is shown.
        QTRY_VERIFY_WITH_TIMEOUT(general->permissionRow(MurmoPermission::microphone)->granted(), 20000);

        window.show();
        QVERIFY(general->relaunchRow()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!window.permissions().isRefreshing(), 20000);
        const int probes = f.fake.permissions.microphoneProbes;
        f.fake.clock.advance(5s);
        QCOMPARE(f.fake.permissions.microphoneProbes, probes);

        f.fake.permissions.accessibility = true;
        Q_EMIT f.fake.permissions.mayHaveChanged();
        QTRY_VERIFY_WITH_TIMEOUT(general->permissionRow(MurmoPermission::accessibility)->granted(), 20000);
        QVERIFY(!general->relaunchRow()->isVisible());
    }

    void editorsSlotIntoTheirSections()
    {
        SettingsFixture f;
        QStringList hotkeyIds;
        auto editor = [](const QString& name) {
            return [name](QWidget* parent) {
                auto* widget = new QWidget(parent);
                widget->setObjectName(name);
                return widget;
            };
        };
        f.editors.hotkeyRecorder = [&hotkeyIds](const HotkeyRole& role, QWidget* parent) {
            hotkeyIds << role.id;
            auto* widget = new QWidget(parent);
            widget->setObjectName("hotkey-" + role.id);
            return widget;
        };
        f.editors.appRules = editor("appRules");
        f.editors.customPrefs = editor("customPrefs");
        f.editors.lexicon = editor("lexicon");
        f.editors.lexiconImport = editor("lexiconImport");
        f.editors.styleProfile = editor("styleProfile");
        SettingsWindow& window = f.open();

        QCOMPARE(hotkeyIds, QStringList({"talk", "ask", "translate", "rewrite", "cycle"}));
        const QList<std::pair<QString, SettingsSection*>> places = {
            {"hotkey-talk", window.generalTab()->section("快捷键")},
            {"hotkey-cycle", window.generalTab()->section("快捷键")},
            {"appRules", window.dictateTab()->section("按 App 自动切换模式")},
            {"customPrefs", window.dictateTab()->section("标点与排版")},
            {"lexicon", window.lexiconTab()->section("个人词库")},
            {"lexiconImport", window.lexiconTab()->section("个人词库")},
            {"styleProfile", window.lexiconTab()->section("风格画像")},
        };
        for (const auto& [name, section] : places) {
            QVERIFY2(section && section->card()->findChild<QWidget*>(name), qPrintable(name));
            QVERIFY(!section->isHidden());
        }
    }

    void sectionsWithoutTheirEditorStayHidden()
    {
        SettingsFixture f;
        SettingsWindow& window = f.open();
        QVERIFY(window.dictateTab()->section("按 App 自动切换模式")->isHidden());
        QVERIFY(window.lexiconTab()->section("风格画像")->isHidden());
        QVERIFY(!window.lexiconTab()->section("个人词库")->isHidden());
    }

    void permissionButtonsReachTheOwner()
    {
        SettingsFixture f;
        f.fake.permissions.accessibility = false;
        SettingsWindow& window = f.open();
        window.show();
        QSignalSpy relaunch(&window, &SettingsWindow::relaunchRequested);
        QSignalSpy grant(&window, &SettingsWindow::requestGrant);
        window.generalTab()->relaunchRow()->findChild<QPushButton*>("relaunch")->click();
        window.generalTab()->permissionRow(MurmoPermission::accessibility)->grantButton()->click();
        QCOMPARE(relaunch.count(), 1);
        QCOMPARE(grant.count(), 1);
        QCOMPARE(grant.at(0).at(0).value<MurmoPermission>(), MurmoPermission::accessibility);
    }

    void accountTabShowsTheGatewaysAddress()
    {
        SettingsFixture f(true);
        f.signIn();
        SettingsWindow& window = f.open();
        QCOMPARE(window.accountTab()->emailText(), QStringLiteral("—"));
        f.showTab("账户");
        QTRY_COMPARE_WITH_TIMEOUT(window.accountTab()->emailText(), QStringLiteral("user@example.com"), 20000);
        QVERIFY(window.accountTab()->signedInRow()->isVisible());
        QCOMPARE(f.fake.gateway.requestsTo("/v1/me").size(), 1);
        QCOMPARE(f.fake.gateway.requestsTo("/v1/me").first().header("Authorization"), QByteArray("Bearer access-1"));

        // Coming back to the tab asks again.
        QTRY_VERIFY_WITH_TIMEOUT(!window.accountTab()->isRefreshing(), 20000);
        f.showTab("通用");
        f.showTab("账户");
        QTRY_COMPARE_WITH_TIMEOUT(f.fake.gateway.requestsTo("/v1/me").size(), 2, 20000);

        window.accountTab()->findChild<QPushButton*>("signOut")->click();
        QVERIFY(!f.session->isLoggedIn());
        QVERIFY(window.accountTab()->signedOutRow()->isVisible());
        QVERIFY(!window.accountTab()->signedInRow()->isVisible());
    }

    void signedOutAccountTabAsksNothing()
    {
        SettingsFixture f(true);
        SettingsWindow& window = f.open();
        f.showTab("账户");
        QVERIFY(window.accountTab()->signedOutRow()->isVisible());
        // Nothing was sent: no refresh started, and none can be on its way.
        QVERIFY(!window.accountTab()->isRefreshing());
        QCOMPARE(requestsInFlight(), 0);

        window.accountTab()->findChild<QPushButton*>("signIn")->click();
        QVERIFY(window.signInSheet());
        QVERIFY(window.signInSheet()->isVisible());
    }

    void signInSheetEnds_data()
    {
        QTest::addColumn<bool>("done");
        QTest::addColumn<int>("refreshes");
        QTest::newRow("signed in") << true << 1;
        QTest::newRow("cancelled") << false << 0;
    }
    void signInSheetEnds()
    {
        QFETCH(bool, done);
        QFETCH(int, refreshes);
        SettingsFixture f(true);
        SettingsWindow& window = f.open();
        f.showTab("账户");
        window.accountTab()->findChild<QPushButton*>("signIn")->click();
        QPointer<QDialog> sheet = window.signInSheet();
        QVERIFY(sheet && sheet->isVisible());
        QVERIFY(!(sheet->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        // A second press while the sheet is up does not stack another.
        window.accountTab()->findChild<QPushButton*>("signIn")->click();
        QCOMPARE(window.signInSheet(), sheet.data());

        if (done) {
            for (QPushButton* button : sheet->findChildren<QPushButton*>())
                if (button->text() == QStringLiteral("通过 Google 登录"))
                    button->click();
            f.signInFlow->handleCallback(FakeSignInService::webSignInRedirect(
                f.opened.last(), QStringLiteral("access_token=access-1&refresh_token=refresh-1")));
        } else {
            QPushButton* later = nullptr;
            for (QPushButton* button : sheet->findChildren<QPushButton*>())
                if (button->text() == QStringLiteral("以后再说"))
                    later = button;
            QVERIFY(later && later->isVisible());
            later->click();
        }
        QVERIFY(!window.signInSheet());
        QTRY_VERIFY_WITH_TIMEOUT(!sheet, 20000);
        // Showing the account tab while signed out asked nothing; the finished sign-in asks once.
        QTRY_COMPARE_WITH_TIMEOUT(f.fake.gateway.requestsTo("/v1/me").size(), refreshes, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(requestsInFlight(), 0, 20000);
        QCOMPARE(f.fake.gateway.requestsTo("/v1/me").size(), refreshes);
        QCOMPARE(window.accountTab()->signedInRow()->isVisible(), done);
    }

    void leavingTheAccountTabAbortsItsRequest_data()
    {
        QTest::addColumn<bool>("closeWindow");
        QTest::newRow("other tab") << false;
        QTest::newRow("window destroyed") << true;
    }
    // The session's own request: leaving the tab or closing the window aborts it, so an answer
    // still to come reaches neither the session nor a tab that is gone.
    void leavingTheAccountTabAbortsItsRequest()
    {
        QFETCH(bool, closeWindow);
        SettingsFixture f(true);
        const std::optional<QString> shown = QStringLiteral("before@example.com");
        f.signIn(shown);
        f.fake.gateway.setReply("GET", "/v1/me", FakeReply::silent());
        QSignalSpy changes(f.session.get(), &SessionStore::changed);
        SettingsWindow& window = f.open();
        f.showTab("账户");
        QTRY_COMPARE_WITH_TIMEOUT(f.fake.gateway.requestsTo("/v1/me").size(), 1, 20000);
        QVERIFY(window.accountTab()->isRefreshing());

        if (closeWindow)
            f.window.reset();
        else
            f.showTab("外观");
        if (!closeWindow)
            QVERIFY(!window.accountTab()->isRefreshing());
        // Given up at once: nothing waits for an answer any more.
        QCOMPARE(requestsInFlight(), 0);
        QCOMPARE(f.session->email(), shown);
        QCOMPARE(changes.size(), 0);
    }
};

MURMO_TEST(TestSettingsWindow)
#include "tst_SettingsWindow.moc"
