#include "app/settings/GeneralTab.h"
#include "app/settings/SettingsWindow.h"
#include "app/shell/HistoryView.h"
#include "app/shell/HistoryWindow.h"
#include "app/shell/MurmoApplication.h"
#include "app/shell/PermissionBanner.h"
#include "app/shell/PermissionRow.h"
#include "app/ui/Theme.h"
#include "core/store/Lexicon.h"
#include "tests/app/controller/FakeApp.h"
#include "tests/support/FakeSignInService.h"
#include "tests/support/RequestsInFlight.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestRegistry.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

QString outputDir()
{
    const QString dir =
        qEnvironmentVariable("MURMO_TEST_OUTPUT", QDir::tempPath() + QStringLiteral("/murmo-test-output")) +
        QStringLiteral("/application");
    QDir().mkpath(dir);
    return dir;
}

} // namespace

// The application object over fakes of every port: its windows as the program shows them.
class TestMurmoApplication : public QObject
{
    Q_OBJECT

    std::unique_ptr<FakeApp> m_fakes;
    std::unique_ptr<MurmoApplication> m_murmo;

    HistoryWindow* window() const { return m_murmo->historyWindow(); }
    QWidget* loginSheet() const { return window()->view()->loginSheet(); }

private Q_SLOTS:
    void init()
    {
        m_fakes = std::make_unique<FakeApp>();
        m_fakes->signInConfigured = true;
        m_murmo = std::make_unique<MurmoApplication>(m_fakes->ports(), m_fakes->screens, m_fakes->options());
        m_murmo->services().settings().setValue(SettingKey::didOnboard, true);
        m_murmo->start();
    }

    void cleanup()
    {
        m_murmo.reset();
        m_fakes.reset();
        Theme::setDark(false);
    }

    void startShowsTheMainWindow()
    {
        QVERIFY(window());
        QVERIFY(window()->isVisible());
        QCOMPARE(window()->windowTitle(), QStringLiteral("Murmo"));
        QVERIFY(!loginSheet());
    }

    // The settings' grant button, where no settings program could be opened, says where to
    // turn the permission on.
    void settingsGrantWithoutASettingsProgramSaysWhere()
    {
        m_murmo.reset();
        m_fakes = std::make_unique<FakeApp>();
        m_fakes->permissions.microphone = false;
        m_murmo = std::make_unique<MurmoApplication>(m_fakes->ports(), m_fakes->screens, m_fakes->options());
        m_murmo->services().settings().setValue(SettingKey::didOnboard, true);
        m_murmo->start();
        Q_EMIT window()->view()->settingsRequested();
        PermissionRow* row = m_murmo->settingsWindow()->generalTab()->permissionRow(MurmoPermission::microphone);
        QTRY_VERIFY_WITH_TIMEOUT(row->grantButton()->isVisibleTo(row), 20000);
        QVERIFY(!row->hint()->isVisibleTo(row));
        row->grantButton()->click();
        QVERIFY(row->hint()->isVisibleTo(row));
        QCOMPARE(row->hint()->text(), MurmoPermissions::settingsHint(MurmoPermission::microphone));
    }

    // A first start on a computer without a microphone: the first frame shows the first-run sheet
    // at once; the permissions, the written migrations and the seeded lexicon follow after it.
    void firstStartShowsTheSheetThenTheLaterSteps()
    {
        m_murmo.reset();
        m_fakes = std::make_unique<FakeApp>();
        m_fakes->permissions.microphone = false;
        m_murmo = std::make_unique<MurmoApplication>(m_fakes->ports(), m_fakes->screens, m_fakes->options());
        m_murmo->start();
        QVERIFY(window()->isVisible());
        QVERIFY(window()->onboarding());
        QCOMPARE(m_fakes->permissions.microphoneProbes, 0);

        PermissionBanner* banner = window()->view()->permissionBanner();
        QTRY_VERIFY_WITH_TIMEOUT(!banner->micGranted(), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(readFile(m_fakes->settingsFile()).contains("didMergeSeedV6=true"), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(m_murmo->services().lexicon()->hotwords().contains(QStringLiteral("Claude Code")),
                                 20000);
        QVERIFY(window()->onboarding());
    }

    void signInSheetFollowsTheGate()
    {
        m_murmo->services().state().setShowLoginGate(true);
        QVERIFY(loginSheet());
        QTRY_VERIFY_WITH_TIMEOUT(loginSheet()->isVisible(), 20000);
        m_murmo->services().state().setShowLoginGate(false);
        QTRY_VERIFY_WITH_TIMEOUT(!loginSheet(), 20000);
        // A second request builds a fresh sheet, not a stale one.
        m_murmo->services().state().setShowLoginGate(true);
        QTRY_VERIFY_WITH_TIMEOUT(loginSheet() && loginSheet()->isVisible(), 20000);
    }

    // The browser's answer reaches the one sign-in through a later launch; the sheet that
    // started it closes and the account is asked for once.
    void aLaunchedCallbackEndsTheSignIn()
    {
        QTRY_VERIFY_WITH_TIMEOUT(m_murmo->services().session().isLoaded(), 20000);
        m_murmo->services().state().setShowLoginGate(true);
        QTRY_VERIFY(loginSheet() && loginSheet()->isVisible());
        for (QPushButton* button : loginSheet()->findChildren<QPushButton*>())
            if (button->text() == QStringLiteral("通过 Google 登录"))
                button->click();
        QCOMPARE(m_fakes->opened.size(), 1);
        const QString tokens = QStringLiteral("access_token=web-access&refresh_token=web-refresh");
        m_murmo->handleLaunch({QStringLiteral("murmo://auth-callback#") + tokens});
        QVERIFY(!m_murmo->services().session().isLoggedIn());
        QVERIFY(loginSheet());

        const QUrl callback = FakeSignInService::webSignInRedirect(m_fakes->opened.last(), tokens);
        m_murmo->handleLaunch({callback.toString(QUrl::FullyEncoded)});
        QCOMPARE(m_murmo->services().session().currentAccessToken(), QStringLiteral("web-access"));
        QTRY_VERIFY(!loginSheet());
        QVERIFY(!m_murmo->services().state().showLoginGate());
        QTRY_COMPARE(m_fakes->gateway.requestsTo("/v1/me").size(), 1);
        QCOMPARE(m_fakes->gateway.requestsTo("/v1/me").first().header("Authorization"), "Bearer web-access");
    }

    // A session kept from the last run: its address is asked for once, after the keyring is read
    // (the first frame comes before that).
    void startUpAsksForTheKeptAccountOnce()
    {
        m_murmo.reset();
        const SupabaseAuth::TokenPair kept{QStringLiteral("kept-access"), QStringLiteral("kept-refresh"),
                                           QDateTime::currentDateTimeUtc().addSecs(3600),
                                           QStringLiteral("old@example.com")};
        m_fakes->secrets.setItem(QStringLiteral("com.kelto.murmo.session"), QStringLiteral("supabase"), kept.toJson());
        m_murmo = std::make_unique<MurmoApplication>(m_fakes->ports(), m_fakes->screens, m_fakes->options());
        m_murmo->start();
        SessionStore& session = m_murmo->services().session();
        QTRY_COMPARE_WITH_TIMEOUT(session.email(), std::optional(QStringLiteral("user@example.com")), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(requestsInFlight(), 0, 20000);
        const QList<RecordedRequest> asked = m_fakes->gateway.requestsTo(QStringLiteral("/v1/me"));
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked.first().header("Authorization"), QByteArray("Bearer kept-access"));
    }

    void launchBringsBackTheClosedWindow()
    {
        window()->close();
        QVERIFY(!window()->isVisible());
        // A stray sign-in callback is not a request for the window.
        m_murmo->handleLaunch({QStringLiteral("murmo://auth-callback#access_token=x")});
        QVERIFY(!window()->isVisible());
        QVERIFY(!m_murmo->services().session().isLoggedIn());
        m_murmo->handleLaunch({});
        QVERIFY(window()->isVisible());
    }

    // A sync pass may still hold the lexicon when the program ends: its last change is written by
    // the end all the same.
    void theEndWritesTheLexicon()
    {
        const std::shared_ptr<Lexicon> held = m_murmo->services().lexicon();
        held->addRule(QStringLiteral("teh"), QStringLiteral("the"), QStringLiteral("user_added"));
        m_murmo->shutDown();
        QVERIFY(held->isSaved());
        QCOMPARE(Lexicon(m_fakes->dataDirectory()).allRules(), held->allRules());
    }

    void ctrlQQuits()
    {
        QVERIFY(QTest::qWaitForWindowExposed(window()));
        window()->activateWindow();
        QTimer::singleShot(0, window(), [this] { QTest::keyClick(window(), Qt::Key_Q, Qt::ControlModifier); });
        // Ends the event loop with an error when the shortcut did nothing.
        QTimer::singleShot(20000, qApp, [] { QCoreApplication::exit(1); });
        QCOMPARE(QApplication::exec(), 0);
    }

    void rendersTheSignInSheetOverTheWindow_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }

    void rendersTheSignInSheetOverTheWindow()
    {
        QFETCH(bool, dark);
        Theme::setDark(dark);
        m_murmo->services().state().setShowLoginGate(true);
        QTRY_VERIFY_WITH_TIMEOUT(loginSheet() && loginSheet()->isVisible(), 20000);
        QVERIFY(QTest::qWaitForWindowExposed(window()));
        const QImage image = window()->grab().toImage();
        QCOMPARE(image.size() / image.devicePixelRatio(), HistoryWindow::defaultSize);
        QVERIFY(image.save(QStringLiteral("%1/signin-sheet-%2.png").arg(outputDir(), dark ? "dark" : "light")));

        // The sheet lies whole inside the window and in the middle of it.
        const QRect sheet(loginSheet()->mapTo(window(), QPoint(0, 0)), loginSheet()->size());
        QVERIFY2(
            window()->rect().contains(sheet),
            qPrintable(
                QStringLiteral("%1,%2 %3x%4").arg(sheet.x()).arg(sheet.y()).arg(sheet.width()).arg(sheet.height())));
        QVERIFY(qAbs(sheet.center().x() - window()->rect().center().x()) <= 2);
        QVERIFY(sheet.width() >= 200 && sheet.height() >= 150);
    }
};

MURMO_TEST(TestMurmoApplication)
#include "tst_MurmoApplication.moc"
