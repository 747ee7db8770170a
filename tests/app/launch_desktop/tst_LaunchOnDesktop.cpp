#include "tests/app/launch_desktop/AccessibleButtons.h"
#include "tests/app/launch_desktop/MurmoProcess.h"
#include "tests/app/launch_desktop/X11Windows.h"
#include "tests/app/system_desktop/Pactl.h"
#include "tests/support/FakeServices.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestRegistry.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>
#include <vector>

#include <csignal>

#include <unistd.h>

// The murmo program itself as a person starts it in the desktop: its own home, its services on
// loopback, its windows seen through the window manager and its buttons through the
// accessibility bus.
class TestLaunchOnDesktop : public QObject
{
    Q_OBJECT

    static constexpr int kWaitMs = 20000;
    static inline const QString kTitle = QStringLiteral("Murmo");
    // The first-run sheet's last button reads one of these, by whether every permission is there.
    static inline const QStringList kOnboardingButtons{QStringLiteral("开始使用"), QStringLiteral("稍后再说，先进入")};

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<FakeGateway> m_gateway;
    X11Windows m_windows;

    QString configFile() const { return m_home->filePath(QStringLiteral("config/Murmo/Murmo.conf")); }
    QString duckerFile() const { return m_home->filePath(QStringLiteral("data/Murmo/ducked-volume.json")); }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_home->filePath(QStringLiteral("home")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home->filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_home->filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), m_home->filePath(QStringLiteral("cache")));
        // Its own runtime folder, so that its one-instance socket is not another test's; the
        // sound server and the session bus are named by address in the desktop's environment.
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home->filePath(QStringLiteral("runtime")));
        const QString gateway = m_gateway->baseUrl().toString();
        for (const char* name : {"MURMO_GATEWAY_URL", "MURMO_DASHSCOPE_URL", "MURMO_DEEPGRAM_URL",
                                 "MURMO_ANTHROPIC_URL", "MURMO_SIGNIN_URL"})
            env.insert(QString::fromLatin1(name), gateway);
        env.insert(QStringLiteral("MURMO_SIGNIN_KEY"), QStringLiteral("anon-key"));
        env.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
        return env;
    }

    void markOnboarded()
    {
        QSettings settings(configFile(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("didOnboard"), true);
    }

    bool onboardingShowing(qint64 pid) const
    {
        const QStringList buttons = AccessibleButtons::showing(pid);
        return std::any_of(kOnboardingButtons.begin(), kOnboardingButtons.end(),
                           [&buttons](const QString& name) { return buttons.contains(name); });
    }

    // The folder that holds the running program's socket, wherever in its home that is; empty
    // while there is none.
    QString instanceFolder() const
    {
        QDirIterator it(m_home->path(), QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            if (it.next().endsWith(QStringLiteral("/murmo.socket")))
                return it.fileInfo().path();
        }
        return {};
    }

    // Starts the program and waits for its main window to be on screen.
    bool startShown(MurmoProcess& murmo)
    {
        if (!murmo.start())
            return false;
        const qint64 pid = murmo.pid();
        return QTest::qWaitFor([&] { return m_windows.mappedWindow(pid, kTitle) != 0; }, kWaitMs);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_windows.isOpen(), "needs the headless desktop (scripts/with-desktop)");
        QVERIFY2(QFile::exists(MurmoProcess::program()), "build the murmo target first");
    }

    void init()
    {
        m_home = std::make_unique<QTemporaryDir>();
        QVERIFY(m_home->isValid());
        for (const char* sub : {"home", "config", "data", "cache", "runtime"})
            QVERIFY(QDir(m_home->path()).mkpath(QString::fromLatin1(sub)));
        QFile::setPermissions(m_home->filePath(QStringLiteral("runtime")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_gateway = std::make_unique<FakeGateway>();
    }

    void cleanup()
    {
        m_gateway.reset();
        m_home.reset();
    }

    void onboardingShowsOnFirstStartOnly()
    {
        {
            MurmoProcess murmo(environment());
            QVERIFY(startShown(murmo));
            QTRY_VERIFY_WITH_TIMEOUT(onboardingShowing(murmo.pid()), kWaitMs);
            const QStringList buttons = AccessibleButtons::showing(murmo.pid());
            const QString finish =
                buttons.contains(kOnboardingButtons[0]) ? kOnboardingButtons[0] : kOnboardingButtons[1];
            QVERIFY(AccessibleButtons::press(murmo.pid(), finish));
            QTRY_VERIFY_WITH_TIMEOUT(!onboardingShowing(murmo.pid()), kWaitMs);
            QTRY_COMPARE_WITH_TIMEOUT(QSettings(configFile(), QSettings::IniFormat).value("didOnboard").toString(),
                                      QStringLiteral("true"), kWaitMs);
            QCOMPARE(murmo.runOnce({QStringLiteral("--quit")}), 0);
            QCOMPARE(murmo.waitForExit(kWaitMs), 0);
        }
        MurmoProcess again(environment());
        QVERIFY(startShown(again));
        // Its history's own buttons show up; the sheet's do not. The sheet is part of the window
        // from its first frame when there is one, so showing buttons settle the question.
        QTRY_VERIFY2_WITH_TIMEOUT(!AccessibleButtons::showing(again.pid()).isEmpty(),
                                  qPrintable(AccessibleButtons::describe(again.pid())), kWaitMs);
        QVERIFY2(!onboardingShowing(again.pid()), qPrintable(AccessibleButtons::showing(again.pid()).join(u',')));
    }

    void secondLaunchBringsBackTheClosedWindow()
    {
        markOnboarded();
        MurmoProcess murmo(environment());
        QVERIFY(startShown(murmo));
        m_windows.close(m_windows.mappedWindow(murmo.pid(), kTitle));
        QTRY_COMPARE_WITH_TIMEOUT(m_windows.mappedWindow(murmo.pid(), kTitle), 0ul, kWaitMs);
        QVERIFY2(murmo.isRunning(), "closing the window must not end the program");

        QCOMPARE(murmo.runOnce({}), 0);
        QTRY_VERIFY_WITH_TIMEOUT(m_windows.mappedWindow(murmo.pid(), kTitle) != 0, kWaitMs);
        QVERIFY(murmo.isRunning());
    }

    void strayCallbackIsIgnored()
    {
        markOnboarded();
        MurmoProcess murmo(environment());
        QVERIFY(startShown(murmo));
        const QString token = QStringLiteral("stray-access-token");
        const QString callback = QStringLiteral("murmo://auth-callback#access_token=%1&refresh_token=stray-refresh"
                                                "&expires_in=3600&token_type=bearer")
                                     .arg(token);
        QCOMPARE(murmo.runOnce({callback}), 0);
        // Handed over and dropped: the program takes the quit after it, ends cleanly, and nothing
        // signed in with the stray token meanwhile.
        QCOMPARE(murmo.runOnce({QStringLiteral("--quit")}), 0);
        QCOMPARE(murmo.waitForExit(kWaitMs), 0);
        for (const RecordedRequest& request : m_gateway->requests())
            QVERIFY2(!request.header("Authorization").contains(token.toUtf8()), qPrintable(request.path));
        QVERIFY(!readFile(configFile()).contains(token.toUtf8()));
    }

    // A launch says whether the running program acted on what it handed over, and its exit code
    // says the same: a program that was stopped meanwhile never answers, and once it runs again
    // it does not act on what its launch gave up on.
    void aLaunchSaysWhetherItWasActedOn()
    {
        markOnboarded();
        MurmoProcess murmo(environment());
        QVERIFY(startShown(murmo));
        QCOMPARE(::kill(pid_t(murmo.pid()), SIGSTOP), 0);
        const int stopped = murmo.runOnce({QStringLiteral("--quit")});
        QCOMPARE(::kill(pid_t(murmo.pid()), SIGCONT), 0);
        QCOMPARE(stopped, 1);
        QCOMPARE(murmo.runOnce({}), 0);
        QVERIFY2(murmo.isRunning(), "a quit its launch gave up on must not be acted on");
        QCOMPARE(murmo.runOnce({QStringLiteral("--quit")}), 0);
        QCOMPARE(murmo.waitForExit(kWaitMs), 0);
    }

    // A session without D-Bus: no session bus, no accessibility bus. The program runs, reads no
    // other application's text, and quits as asked.
    void runsWithoutAnyBus()
    {
        markOnboarded();
        QProcessEnvironment env = environment();
        const QString nowhere = QStringLiteral("unix:path=") + m_home->filePath(QStringLiteral("no-bus"));
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), nowhere);
        env.insert(QStringLiteral("AT_SPI_BUS_ADDRESS"), nowhere);
        MurmoProcess murmo(env);
        QVERIFY(startShown(murmo));
        QCOMPARE(murmo.runOnce({QStringLiteral("--quit")}), 0);
        QCOMPARE(murmo.waitForExit(kWaitMs), 0);
    }

    // Without a runtime folder the instance still lives in one place that is the user's alone: a
    // temp cleaner taking its folder, and another user making the shared temporary names first,
    // leave one instance that every later launch reaches.
    void oneInstanceWhenItsFolderIsTaken()
    {
        markOnboarded();
        QProcessEnvironment env = environment();
        env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        const QString temp = m_home->filePath(QStringLiteral("tmp"));
        QVERIFY(QDir().mkpath(temp));
        env.insert(QStringLiteral("TMPDIR"), temp);
        MurmoProcess murmo(env);
        QVERIFY(startShown(murmo));
        const QString folder = instanceFolder();
        QVERIFY(!folder.isEmpty());
        QVERIFY(QDir(folder).removeRecursively());
        // Open to others, as another user's would be to us.
        QStringList planted{temp + QStringLiteral("/murmo-%1").arg(::getuid())};
        if (folder.startsWith(temp + u'/'))
            planted << folder;
        for (const QString& path : std::as_const(planted)) {
            QVERIFY(QDir().mkpath(path));
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                    QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                                    QFile::ExeOther));
        }
        // The running program makes its folder again.
        QTRY_VERIFY_WITH_TIMEOUT(!instanceFolder().isEmpty(), kWaitMs);
        QCOMPARE(murmo.runOnce({}), 0);
        QCOMPARE(murmo.runOnce({QStringLiteral("--quit")}), 0);
        QCOMPARE(murmo.waitForExit(kWaitMs), 0);
    }

    // Whatever becomes of the folder that holds its socket, a later launch never runs beside the
    // program: it reaches it, or says it cannot and fails, and so does a quit. Once the folder is
    // the user's again, a quit ends the program.
    void oneInstanceWhateverBecomesOfItsSocketFolder_data()
    {
        QTest::addColumn<bool>("removed");
        QTest::addColumn<bool>("othersOwner");
        QTest::addColumn<int>("exitCode");
        // chmod -R go+rX of the home, a restored backup, an rsync.
        QTest::newRow("opened to others") << false << false << 0;
        QTest::newRow("removed, made again open to others") << true << false << 0;
        QTest::newRow("removed, made again by another user") << true << true << 1;
    }

    void oneInstanceWhateverBecomesOfItsSocketFolder()
    {
        QFETCH(bool, removed);
        QFETCH(bool, othersOwner);
        QFETCH(int, exitCode);
        if (othersOwner && ::geteuid() != 0)
            QSKIP("only root can give a folder away");
        markOnboarded();
        MurmoProcess murmo(environment(), 022);
        QVERIFY(startShown(murmo));
        const QString folder = instanceFolder();
        QVERIFY(!folder.isEmpty());
        QVERIFY(!removed || QDir(folder).removeRecursively());
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                  QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                                  QFile::ExeOther));
        QVERIFY(!othersOwner || ::chown(QFile::encodeName(folder).constData(), 65534, 65534) == 0);
        QCOMPARE(murmo.runOnce({}), exitCode);
        QCOMPARE(murmo.runOnce({QStringLiteral("--quit")}), exitCode);
        if (exitCode != 0) {
            QVERIFY(murmo.isRunning());
            QVERIFY(QDir(folder).removeRecursively());
            QTRY_COMPARE_WITH_TIMEOUT(murmo.runOnce({QStringLiteral("--quit")}), 0, kWaitMs);
        }
        QCOMPARE(murmo.waitForExit(kWaitMs), 0);
    }

    // The personal data's folder as a link: the user's own (a dotfile manager's, a data disk)
    // runs, its lock where the link leads; another user's keeps the program from running, and a
    // quit from saying that nothing runs.
    void aDataFolderLinkIsUsedWhenTheUsers_data()
    {
        QTest::addColumn<bool>("othersLink");
        QTest::newRow("the user's own") << false;
        QTest::newRow("another user's") << true;
    }

    void aDataFolderLinkIsUsedWhenTheUsers()
    {
        QFETCH(bool, othersLink);
        if (othersLink && ::geteuid() != 0)
            QSKIP("only root can give a link away");
        markOnboarded();
        const QString elsewhere = m_home->filePath(QStringLiteral("elsewhere"));
        QVERIFY(QDir().mkpath(elsewhere));
        QVERIFY(QFile::setPermissions(elsewhere, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QString link = m_home->filePath(QStringLiteral("data/Murmo"));
        QVERIFY(QFile::link(elsewhere, link));
        QVERIFY(!othersLink || ::lchown(QFile::encodeName(link).constData(), 65534, 65534) == 0);
        MurmoProcess murmo(environment(), 022);
        if (othersLink) {
            QCOMPARE(murmo.runOnce({}), 1);
            QCOMPARE(murmo.runOnce({QStringLiteral("--quit")}), 1);
            QVERIFY(QDir(elsewhere).isEmpty());
            return;
        }
        QVERIFY(startShown(murmo));
        QVERIFY(QFile::exists(elsewhere + QStringLiteral("/murmo.lock")));
        QCOMPARE(murmo.runOnce({}), 0);
        QCOMPARE(murmo.runOnce({QStringLiteral("--quit")}), 0);
        QCOMPARE(murmo.waitForExit(kWaitMs), 0);
    }

    // Under the running program its lock file is removed (a "stale lock" clean-up), or its data
    // folder (a reset), or the folder is put back from a copy: later launches hand over and do
    // not stay, a quit ends the one program, and a quit after that finds nothing running.
    void oneInstanceWhateverBecomesOfItsLockFile_data()
    {
        QTest::addColumn<QString>("became");
        QTest::newRow("lock file removed") << QStringLiteral("lock file removed");
        QTest::newRow("data folder removed") << QStringLiteral("folder removed");
        QTest::newRow("data folder restored from a copy") << QStringLiteral("folder restored");
    }

    void oneInstanceWhateverBecomesOfItsLockFile()
    {
        QFETCH(QString, became);
        markOnboarded();
        MurmoProcess murmo(environment(), 022);
        QVERIFY(startShown(murmo));
        const QString data = m_home->filePath(QStringLiteral("data/Murmo"));
        const QString copy = m_home->filePath(QStringLiteral("copy"));
        const bool restored = became == QStringLiteral("folder restored");
        QVERIFY(!restored || QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), data, copy}) == 0);
        if (became == QStringLiteral("lock file removed"))
            QVERIFY(QFile::remove(data + QStringLiteral("/murmo.lock")));
        else
            QVERIFY(QDir(data).removeRecursively());
        QVERIFY(!restored || QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), copy, data}) == 0);
        QCOMPARE(murmo.runOnce({}), 0);
        QCOMPARE(murmo.runOnce({}), 0);
        QVERIFY(murmo.isRunning());
        QCOMPARE(murmo.runOnce({QStringLiteral("--quit")}), 0);
        QCOMPARE(murmo.waitForExit(kWaitMs), 0);
        QCOMPARE(murmo.runOnce({QStringLiteral("--quit")}), 0);
    }

    // A launch that comes while the program ends (its quit acted on, its files being saved)
    // waits for it to go, and runs.
    void aLaunchDuringAnEndingInstanceRuns()
    {
        markOnboarded();
        MurmoProcess ending(environment());
        QVERIFY(startShown(ending));
        MurmoProcess next(environment());
        QCOMPARE(ending.runOnce({QStringLiteral("--quit")}), 0);
        QVERIFY(startShown(next));
        QCOMPARE(ending.waitForExit(kWaitMs), 0);
        QCOMPARE(next.runOnce({QStringLiteral("--quit")}), 0);
        QCOMPARE(next.waitForExit(kWaitMs), 0);
    }

    // A launch that does not act says why: in a shell on the terminal, started from the menu
    // (no terminal) in a window as well, which it waits on.
    void aLaunchThatDoesNotActShowsWhy()
    {
        QVERIFY(writeFile(m_home->filePath(QStringLiteral("data/Murmo")), "not a folder"));
        MurmoProcess inShell(environment());
        QCOMPARE(inShell.runOnce({}), 1);
        MurmoProcess fromMenu(environment(), std::nullopt, false);
        QVERIFY(fromMenu.start());
        unsigned long window = 0;
        QTRY_VERIFY_WITH_TIMEOUT((window = m_windows.mappedWindow(fromMenu.pid(), kTitle)) != 0, kWaitMs);
        QVERIFY(fromMenu.isRunning());
        m_windows.close(window);
        QCOMPARE(fromMenu.waitForExit(kWaitMs), 1);
    }

    // Whatever the umask, of launches started at once exactly one runs, and the others hand over
    // to it.
    void racingStartsMakeOneInstance_data()
    {
        QTest::addColumn<int>("umask");
        QTest::newRow("0222: no write bits") << 0222;
        QTest::newRow("0277: owner may only read") << 0277;
        QTest::newRow("022") << 022;
    }
    void racingStartsMakeOneInstance()
    {
        QFETCH(int, umask);
        markOnboarded();
        constexpr int kLaunches = 4;
        std::vector<std::unique_ptr<MurmoProcess>> launches;
        for (int i = 0; i < kLaunches; ++i)
            launches.push_back(std::make_unique<MurmoProcess>(environment(), mode_t(umask)));
        for (const auto& launch : launches)
            QVERIFY(launch->start());
        const auto running = [&launches] {
            return int(std::count_if(launches.begin(), launches.end(),
                                     [](const auto& launch) { return launch->isRunning(); }));
        };
        QTRY_COMPARE_WITH_TIMEOUT(running(), 1, kWaitMs);
        MurmoProcess* primary = nullptr;
        for (const auto& launch : launches) {
            if (launch->isRunning())
                primary = launch.get();
            else
                QCOMPARE(launch->waitForExit(0), 0);
        }
        QCOMPARE(primary->runOnce({QStringLiteral("--quit")}), 0);
        QCOMPARE(primary->waitForExit(kWaitMs), 0);
    }

    void quitEndsItWithTheVolumeGivenBack()
    {
        markOnboarded();
        const QString sink = Pactl::run({QStringLiteral("get-default-sink")}).trimmed();
        QVERIFY(!sink.isEmpty());
        // Left behind by an instance that ended while a recording had lowered the volume.
        QVERIFY(Pactl::setSinkVolume(sink, 20));
        QVERIFY(QDir().mkpath(QFileInfo(duckerFile()).path()));
        QVERIFY(writeFile(duckerFile(), QStringLiteral(R"({"sink":"%1","volume":0.8})").arg(sink).toUtf8()));

        MurmoProcess murmo(environment());
        QVERIFY(startShown(murmo));
        QTRY_COMPARE_WITH_TIMEOUT(Pactl::sinkVolume(sink), std::optional<int>(80), kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(duckerFile()), kWaitMs);

        QCOMPARE(murmo.runOnce({QStringLiteral("--quit")}), 0);
        QCOMPARE(murmo.waitForExit(kWaitMs), 0);
        QCOMPARE(Pactl::sinkVolume(sink), std::optional<int>(80));
        QVERIFY(!QFile::exists(duckerFile()));
        // Nothing was running any more: a quit on its own ends at once and starts nothing.
        MurmoProcess none(environment());
        QCOMPARE(none.runOnce({QStringLiteral("--quit")}), 0);
    }

    // A settings file edited by hand (no final line break, a stray line) keeps its values: no
    // first-run sheet. One damaged past reading (NUL bytes, then cut short inside a line), left
    // readable to others by an older version, is kept aside whole and private; the program starts
    // afresh, first-run sheet included, and what it writes holds none of the junk.
    void aSettingsFileIsReadOrSetAside_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("damaged");
        QTest::newRow("edited by hand") << QByteArray("[General]\ndidOnboard=true\nmy notes\nskinId=xuan") << false;
        QTest::newRow("damaged") << QByteArray("[General]\ndidOnboard=true\n") + QByteArray(4096, '\0') + "skinId=xu"
                                 << true;
    }

    void aSettingsFileIsReadOrSetAside()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, damaged);
        const QString folder = QFileInfo(configFile()).path();
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(writeFile(configFile(), bytes));
        QVERIFY(QFile::setPermissions(configFile(),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));

        MurmoProcess murmo(environment());
        QVERIFY(startShown(murmo));
        // The sheet is part of the window from its first frame when there is one, so showing
        // buttons settle whether it is there.
        QTRY_VERIFY2_WITH_TIMEOUT(!AccessibleButtons::showing(murmo.pid()).isEmpty(),
                                  qPrintable(AccessibleButtons::describe(murmo.pid())), kWaitMs);
        QCOMPARE(onboardingShowing(murmo.pid()), damaged);
        QCOMPARE(murmo.runOnce({QStringLiteral("--quit")}), 0);
        QCOMPARE(murmo.waitForExit(kWaitMs), 0);

        const QStringList aside = QDir(folder).entryList({QStringLiteral("Murmo.conf.unreadable-*")}, QDir::Files);
        QCOMPARE(aside.size(), damaged ? 1 : 0);
        const QByteArray fresh = readFile(configFile());
        QCOMPARE(fresh.contains("didOnboard=true"), !damaged);
        if (!damaged)
            return;
        const QString keptAs = QDir(folder).filePath(aside.constFirst());
        QCOMPARE(readFile(keptAs), bytes);
        QVERIFY(!(QFile::permissions(keptAs) & (QFile::ReadGroup | QFile::ReadOther)));
        QVERIFY(!fresh.isEmpty());
        QVERIFY(!fresh.contains('\0'));
        QVERIFY(!fresh.contains("skinId"));
    }
};

MURMO_TEST(TestLaunchOnDesktop)
#include "tst_LaunchOnDesktop.moc"
