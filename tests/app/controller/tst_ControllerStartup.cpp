#include "app/feedback/OverlayPanel.h"
#include "app/ui/Theme.h"
#include "core/store/Lexicon.h"
#include "tests/app/controller/FakeApp.h"
#include "tests/core/store/LexiconFixtures.h"
#include "tests/support/RunTask.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>

#include <sys/stat.h>

using namespace std::chrono_literals;

namespace {

QStringList pathsOf(const FakeGateway& gateway)
{
    QStringList paths;
    for (const RecordedRequest& request : gateway.requests())
        paths.append(QString::fromLatin1(request.method) + u' ' + request.path);
    return paths;
}

// The gateway's copy of the lexicon holds three entries this computer does not have.
void storeAccountCopyWithThreeNewEntries(FakeGateway& gateway)
{
    QTemporaryDir elsewhere;
    Lexicon other(elsewhere.path());
    other.addHotword(QStringLiteral("Kubernetes"));
    other.addHotword(QStringLiteral("Grafana"));
    other.addRule(QStringLiteral("酷睿"), QStringLiteral("Core"), QStringLiteral("user_added"));
    gateway.storedLexicons.insert(QStringLiteral("kelto-personal"), other.exportSnapshot()->toBase64());
}

QString readyLine(const Hotkey& talk)
{
    return QStringLiteral("就绪 · 按 ") + talk.display() + QStringLiteral(" 听写，再按一下出字");
}

} // namespace

class TestControllerStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void freshStartRegistersThenSyncs()
    {
        FakeApp fake;
        AppServices& app = fake.build();
        QCoro::Task<void> background = fake.startup->start();

        // The synchronous part is done before the first request is answered.
        QCOMPARE(app.settings().hotkey(SettingKey::hkTalk), std::optional(Migrations::Hotkeys::fnAlone));
        QVERIFY(fake.keys.isRunning());
        QCOMPARE(fake.fnKeyChanges, 1);
        QCOMPARE(Theme::palette().id, QStringLiteral("xuan"));

        runTask(std::move(background));
        QVERIFY(app.lexicon()->hotwords().contains(QStringLiteral("Claude Code")));
        QVERIFY(app.state().hotkeysActive());
        QCOMPARE(pathsOf(fake.gateway), (QStringList{"POST /v1/register", "GET /v1/lexicon", "PUT /v1/lexicon"}));
        const RecordedRequest registration = fake.gateway.requests().first();
        QCOMPARE(registration.header("X-Register-Key"), QByteArray(GatewayCredentials::kRegisterSecret));
        QCOMPARE(QByteArray(GatewayCredentials::kRegisterSecret).size(), 36);
        QCOMPARE(registration.json(), (QJsonObject{{QStringLiteral("label"), QStringLiteral("test-host")}}));
        QCOMPARE(fake.gateway.requests().at(1).header("Authorization"), "Bearer " + FakeGateway::kDeviceToken.toUtf8());
        QCOMPARE(app.settings().text(SettingKey::gatewayToken), FakeGateway::kDeviceToken);
        // Nothing came from the account, so the status stays idle.
        QCOMPARE(app.state().statusLine(), readyLine(Migrations::Hotkeys::fnAlone));
    }

    // A settings file that could not be used was set aside as the settings opened: start-up says
    // where it went, after the idle line, and what the lexicon sync reports meanwhile waits.
    void aSetAsideSettingsFileIsTold()
    {
        FakeApp fake;
        storeAccountCopyWithThreeNewEntries(fake.gateway);
        fake.accessToken = QStringLiteral("jwt-7");
        QVERIFY(QDir().mkpath(QFileInfo(fake.settingsFile()).absolutePath()));
        QFile file(fake.settingsFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("\0\x01junk", 6));
        file.close();
        AppServices& app = fake.build();
        runTask(fake.startup->start());
        const QString keptAs = app.settings().setAsidePath();
        QVERIFY(QFileInfo(keptAs).fileName().startsWith(QStringLiteral("Murmo.conf.unreadable-")));
        QVERIFY(app.lexicon()->hotwords().contains(QStringLiteral("Grafana")));
        QCOMPARE(app.state().statusLine(), ControllerStartup::settingsSetAsideLine(keptAs));
        QVERIFY(app.state().statusLine().contains(QFileInfo(keptAs).fileName()));
    }

    // Settings that can neither be read nor moved aside run on defaults in memory; those that can
    // be read but not written lose what the start migrated. Start-up says that they cannot be saved.
    void unsavableSettingsAreTold_data()
    {
        QTest::addColumn<bool>("readable");
        QTest::addColumn<QString>("line");
        QTest::newRow("a pipe that cannot be moved aside") << false << ControllerStartup::settingsUnsavedLine();
        QTest::newRow("a file that cannot be replaced") << true << ControllerStartup::settingsNotWrittenLine();
    }

    void unsavableSettingsAreTold()
    {
        QFETCH(bool, readable);
        QFETCH(QString, line);
        FakeApp fake;
        fake.settingsName = nameWithNoRoomForASaveFile(QStringLiteral(".conf"));
        QVERIFY(QDir().mkpath(QFileInfo(fake.settingsFile()).absolutePath()));
        if (readable)
            QVERIFY(writeFile(fake.settingsFile(), "[General]\nrecordTrigger=hold\n"));
        else
            QCOMPARE(::mkfifo(QFile::encodeName(fake.settingsFile()).constData(), 0600), 0);
        AppServices& app = fake.build();
        runTask(fake.startup->start());
        QVERIFY(!app.settings().canSave());
        QCOMPARE(app.state().statusLine(), line);
        QCOMPARE(app.settings().text(SettingKey::recordTrigger) == QStringLiteral("hold"), readable);
    }

    // A write that fails after the start is told as it fails, and once while writes keep failing.
    void aLaterFailedWriteIsToldOnce()
    {
        FakeApp fake;
        AppServices& app = fake.build();
        runTask(fake.startup->start());
        const QString folder = QFileInfo(fake.settingsFile()).absolutePath();
        QVERIFY(QDir().rename(folder, folder + QStringLiteral("-away")));
        QVERIFY(writeFile(folder, {}));
        app.settings().setValue(SettingKey::languageHint, QStringLiteral("en"));
        QCOMPARE(app.state().statusLine(), ControllerStartup::settingsNotWrittenLine());
        app.state().showNotice(QStringLiteral("later"));
        app.settings().setValue(SettingKey::languageHint, QStringLiteral("ja"));
        QCOMPARE(app.state().statusLine(), QStringLiteral("later"));
    }

    // What the first frame does not need waits until after it, and is not lost: the hotkeys start,
    // the settings migrated in memory reach the file together, and the lexicon is seeded and purged.
    void deferredStepsStillHappen()
    {
        FakeApp fake;
        QDir().mkpath(fake.dataDirectory());
        QVERIFY(writeFile(fake.dataDirectory() + QStringLiteral("/lexicon.json"),
                          LexiconFixtures::document({{QStringLiteral("的"), QStringLiteral("地")}})));
        AppServices& app = fake.build();
        QSignalSpy purged(&app.state(), &AppState::historyVersionChanged);

        fake.startup->prepare();
        QCOMPARE(app.settings().hotkey(SettingKey::hkTalk), std::optional(Migrations::Hotkeys::fnAlone));
        QVERIFY(!fake.keys.isRunning());
        QVERIFY(!app.state().hotkeysFailed());
        QVERIFY(!readFile(fake.settingsFile()).contains("didMigrateHotkeyV2"));

        fake.startup->startHotkeys();
        QVERIFY(fake.keys.isRunning());
        runTask(fake.startup->finish());
        const QByteArray written = readFile(fake.settingsFile());
        for (const char* flag : {"didMigrateHotkeyV2", "didForceAutoEngineV11", "didAutoSetFnNoActionV8",
                                 "didMergeBrandsV9", "didPurgeBadRulesV7"})
            QVERIFY2(written.contains(QByteArray(flag) + "=true"), flag);
        QVERIFY(app.lexicon()->hotwords().contains(QStringLiteral("Claude Code")));
        QVERIFY(app.lexicon()->hotwords().contains(QStringLiteral("DeepSeek")));
        for (const LearnedRule& rule : app.lexicon()->allRules())
            QVERIFY(rule.wrong != QStringLiteral("的"));
        QCOMPARE(purged.count(), 1);
    }

    void registrationIsSkipped_data()
    {
        QTest::addColumn<bool>("signInConfigured");
        QTest::addColumn<QString>("storedToken");
        QTest::addColumn<bool>("useGateway");
        QTest::addColumn<QStringList>("requests");
        QTest::newRow("sign-in configured, nobody signed in") << true << QString() << true << QStringList{};
        QTest::newRow("token stored") << false << QStringLiteral("device-9") << true
                                      << QStringList{"GET /v1/lexicon", "PUT /v1/lexicon"};
        QTest::newRow("gateway off with a token") << false << QStringLiteral("device-9") << false << QStringList{};
        QTest::newRow("gateway off without a token") << false << QString() << false << QStringList{};
    }

    void registrationIsSkipped()
    {
        QFETCH(bool, signInConfigured);
        QFETCH(QString, storedToken);
        QFETCH(bool, useGateway);
        QFETCH(QStringList, requests);
        FakeApp fake;
        fake.signInConfigured = signInConfigured;
        {
            Settings settings(fake.settingsFile(), nullptr);
            settings.setValue(SettingKey::gatewayToken, storedToken);
            settings.setValue(SettingKey::useGateway, useGateway);
        }
        fake.build();
        runTask(fake.startup->start());
        QCOMPARE(pathsOf(fake.gateway), requests);
    }

    void failedRegistrationIsSilent()
    {
        FakeApp fake;
        fake.gateway.setReply("POST", QStringLiteral("/v1/register"), FakeReply::raw("nope", 500));
        AppServices& app = fake.build();
        runTask(fake.startup->start());
        QCOMPARE(pathsOf(fake.gateway), QStringList{"POST /v1/register"});
        QCOMPARE(app.settings().text(SettingKey::gatewayToken), QString());
        QCOMPARE(app.state().statusLine(), app.state().readyStatusLine());
    }

    void syncThatChangesEntriesIsReported()
    {
        FakeApp fake;
        storeAccountCopyWithThreeNewEntries(fake.gateway);
        fake.accessToken = QStringLiteral("jwt-7");
        fake.signInConfigured = true;
        AppServices& app = fake.build();
        QCoro::Task<void> background = fake.startup->start();
        const int versionBefore = app.state().historyVersion();
        runTask(std::move(background));
        QCOMPARE(app.state().statusLine(), QStringLiteral("已同步 3 条词库"));
        QCOMPARE(app.state().historyVersion(), versionBefore + 1);
        QCOMPARE(fake.gateway.requests().first().header("Authorization"), QByteArray("Bearer jwt-7"));
        QVERIFY(app.lexicon()->hotwords().contains(QStringLiteral("Grafana")));
    }

    // What the line says of the sync's trouble holds: a pause retries when it says, a stop makes no
    // request until its cause changes, and the line is said once, also across starts.
    void syncTroubleIsToldOnceAndKeepsItsWord_data()
    {
        QTest::addColumn<FakeReply>("pushReply");
        QTest::addColumn<QByteArray>("accountCopy");
        QTest::addColumn<QByteArray>("localFile");
        QTest::addColumn<QString>("said");
        QTest::addColumn<QStringList>("afterLearning");
        QTest::addColumn<QStringList>("atNextStart");

        const QByteArray tooLarge =
            LexiconFixtures::lexiconOfSize(GatewayClient::lexiconCopyLimit(GatewayAccount::kSyncKey) + 1);
        const QStringList retried{"GET /v1/lexicon", "PUT /v1/lexicon"};
        QTest::newRow("gateway refuses the copy")
            << FakeReply::raw("too large", 413) << QByteArray() << QByteArray()
            << QStringLiteral("将在下次启动或学到新词时重试") << retried << retried;
        QTest::newRow("lexicon too large") << FakeReply::raw("", 200) << QByteArray() << tooLarge
                                           << QStringLiteral("已停止同步") << QStringList{} << QStringList{};
        QTest::newRow("account copy too large")
            << FakeReply::raw("", 200) << tooLarge << QByteArray() << QStringLiteral("将在下次启动时重试")
            << QStringList{} << QStringList{"GET /v1/lexicon"};
    }

    void syncTroubleIsToldOnceAndKeepsItsWord()
    {
        QFETCH(FakeReply, pushReply);
        QFETCH(QByteArray, accountCopy);
        QFETCH(QByteArray, localFile);
        QFETCH(QString, said);
        QFETCH(QStringList, afterLearning);
        QFETCH(QStringList, atNextStart);
        FakeApp fake;
        fake.gateway.setReply("PUT", QStringLiteral("/v1/lexicon"), pushReply);
        if (!accountCopy.isEmpty())
            fake.gateway.storedLexicons.insert(GatewayAccount::kSyncKey, accountCopy.toBase64());
        QDir().mkpath(fake.dataDirectory());
        if (!localFile.isEmpty())
            QVERIFY(writeFile(fake.dataDirectory() + QStringLiteral("/lexicon.json"), localFile));
        fake.accessToken = QStringLiteral("jwt-7");
        AppServices& app = fake.build();
        runTask(fake.startup->start());
        QVERIFY2(app.state().statusLine().contains(said), qPrintable(app.state().statusLine()));

        // A learned word syncs again only where the line says so; the line is not said again.
        app.lexicon()->addRule(QStringLiteral("recieve"), QStringLiteral("receive"), QStringLiteral("manual_edit"));
        app.state().setStatusLine(QStringLiteral("✓ 已学习 receive"));
        qsizetype seen = fake.gateway.requests().size();
        runTask(app.gateway().syncLexicon());
        QCOMPARE(pathsOf(fake.gateway).mid(seen), afterLearning);
        QCOMPARE(app.state().statusLine(), QStringLiteral("✓ 已学习 receive"));

        // The next start keeps to what the line said, and stays quiet about it.
        fake.startup.reset();
        fake.app.reset();
        seen = fake.gateway.requests().size();
        AppServices& again = fake.build();
        runTask(fake.startup->start());
        QCOMPARE(pathsOf(fake.gateway).mid(seen), atNextStart);
        QCOMPARE(again.state().statusLine(), again.state().readyStatusLine());
    }

    // A lexicon that stopped syncing for its size syncs again once it has shrunk, and forgets the
    // trouble it told, so that a later one is told again.
    void aLexiconThatShrinksSyncsAgain()
    {
        FakeApp fake;
        QDir().mkpath(fake.dataDirectory());
        QVERIFY(
            writeFile(fake.dataDirectory() + QStringLiteral("/lexicon.json"),
                      LexiconFixtures::lexiconOfSize(GatewayClient::lexiconCopyLimit(GatewayAccount::kSyncKey) + 1)));
        fake.accessToken = QStringLiteral("jwt-7");
        fake.signInConfigured = true;
        AppServices& app = fake.build();
        runTask(fake.startup->start());
        QVERIFY(app.state().statusLine().contains(QStringLiteral("已停止同步")));
        QCOMPARE(fake.gateway.requests().size(), 0);

        for (const LearnedRule& rule : app.lexicon()->allRules().first(20))
            app.lexicon()->removeRule(rule.id);
        runTask(app.gateway().syncLexicon());
        QCOMPARE(pathsOf(fake.gateway), (QStringList{"GET /v1/lexicon", "PUT /v1/lexicon"}));
        QCOMPARE(app.settings().text(SettingKey::lexiconSyncNotice), QString());
    }

    void storedSessionIsTheSyncCredential()
    {
        FakeApp fake;
        fake.signInConfigured = true;
        const SupabaseAuth::TokenPair pair{QStringLiteral("jwt-kept"), QStringLiteral("refresh"),
                                           QDateTime::currentDateTimeUtc().addSecs(3600), std::nullopt};
        fake.secrets.setItem(QStringLiteral("com.kelto.murmo.session"), QStringLiteral("supabase"), pair.toJson());
        fake.build();
        runTask(fake.startup->start());
        QCOMPARE(pathsOf(fake.gateway), (QStringList{"GET /v1/lexicon", "PUT /v1/lexicon"}));
        QCOMPARE(fake.gateway.requests().first().header("Authorization"), QByteArray("Bearer jwt-kept"));
    }

    void syncLeavesTheStatusOfARunningRecordingAlone()
    {
        FakeApp fake;
        storeAccountCopyWithThreeNewEntries(fake.gateway);
        fake.accessToken = QStringLiteral("jwt-7");
        AppServices& app = fake.build();
        QCoro::Task<void> background = fake.startup->start();
        app.state().setRecording(true);
        app.state().setStatusLine(QStringLiteral("正在聆听…"));
        const int versionBefore = app.state().historyVersion();
        runTask(std::move(background));
        QCOMPARE(app.state().statusLine(), QStringLiteral("正在聆听…"));
        QCOMPARE(app.state().historyVersion(), versionBefore + 1);
    }

    // The hotkeys live or die with the engine's keyboard watch; the accessibility bus plays no
    // part. Coming back to the program tries dead hotkeys again, and only dead ones.
    void becomingActiveRetriesDeadHotkeys()
    {
        FakeApp fake;
        fake.permissions.accessibility = false;
        fake.keys.refuseStart(true);
        AppServices& app = fake.build();
        runTask(fake.startup->start());
        QVERIFY(!app.state().hotkeysActive());
        QCOMPARE(app.state().statusLine(), app.state().readyStatusLine());
        QVERIFY(app.state().statusLine().startsWith(QStringLiteral("⚠️ 快捷键未生效")));

        fake.keys.refuseStart(false);
        Q_EMIT qGuiApp->applicationStateChanged(Qt::ApplicationActive);
        QVERIFY(app.state().hotkeysActive());
        QCOMPARE(app.state().statusLine(), readyLine(Migrations::Hotkeys::fnAlone));

        // Live hotkeys are left alone: a retry would put the ready line back.
        app.state().setStatusLine(QStringLiteral("已复制"));
        Q_EMIT qGuiApp->applicationStateChanged(Qt::ApplicationActive);
        QCOMPARE(app.state().statusLine(), QStringLiteral("已复制"));
    }

    void overlayFollowsTheActiveWindow()
    {
        FakeApp fake;
        fake.screens.areas = {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
        AppServices& app = fake.build();
        runTask(fake.startup->start());
        app.overlay().showListening();
        fake.clock.advance(300ms);
        QVERIFY(app.overlay().panel()->geometry().left() < 1920);
        fake.screens.active = 1;
        QVERIFY(fake.workspace.activeWindowObserver);
        fake.workspace.activeWindowObserver();
        fake.clock.advance(1s);
        QVERIFY(app.overlay().panel()->geometry().left() >= 1920);
    }

    void duckedVolumeFromACrashIsGivenBack()
    {
        FakeApp fake;
        QDir().mkpath(fake.dataDirectory());
        QVERIFY(writeFile(fake.dataDirectory() + QStringLiteral("/ducked-volume.json"),
                          R"({"sink":"speakers","volume":0.7})"));
        fake.outputVolume.volumes[QStringLiteral("speakers")] = 0.2f;
        fake.build();
        runTask(fake.startup->start());
        QCOMPARE(fake.outputVolume.volumes.value(QStringLiteral("speakers")), 0.7f);
    }
};

MURMO_TEST(TestControllerStartup)
#include "tst_ControllerStartup.moc"
