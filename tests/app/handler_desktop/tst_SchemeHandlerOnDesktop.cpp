#include "tests/app/launch_desktop/AccessibleButtons.h"
#include "tests/app/launch_desktop/MurmoProcess.h"
#include "tests/app/launch_desktop/X11Windows.h"
#include "tests/support/BuildTree.h"
#include "tests/support/FakeServices.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

#include <memory>

// The way a browser sign-in comes back: the launcher entry installed under a home's ~/.local as
// scripts/run installs it, registered as the handler of "murmo:" addresses, and the system's
// xdg-open handing the callback to it, on a bare window manager and on a named desktop alike.
class TestSchemeHandlerOnDesktop : public QObject
{
    Q_OBJECT

    static constexpr int kWaitMs = 20000;

    std::unique_ptr<QTemporaryDir> m_root;
    X11Windows m_windows;

    QString prefix() const { return m_root->filePath(QStringLiteral("home/.local")); }
    QString browserLog() const { return m_root->filePath(QStringLiteral("browser-opened")); }

    // A session of the scratch home's own: none of the machine's applications, handlers or
    // settings (the system's data and configuration folders are empty ones) and no desktop named.
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const auto folder = [this](const char* name) { return m_root->filePath(QString::fromLatin1(name)); };
        env.insert(QStringLiteral("HOME"), folder("home"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), folder("home/.config"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), folder("home/.local/share"));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), folder("home/.cache"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder("runtime"));
        env.insert(QStringLiteral("XDG_DATA_DIRS"), folder("system/share"));
        env.insert(QStringLiteral("XDG_CONFIG_DIRS"), folder("system/etc"));
        env.remove(QStringLiteral("XDG_CURRENT_DESKTOP"));
        return env;
    }

    // Runs a program to its end while this event loop turns (the fake gateway lives here); its
    // exit code, or -1 when it did not end normally in time.
    static int run(const QString& program, const QStringList& arguments, const QProcessEnvironment& env,
                   QByteArray* output = nullptr)
    {
        QProcess process;
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 60000)) {
            process.kill();
            process.waitForFinished(5000);
            return -1;
        }
        if (output)
            *output = process.readAll();
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    // The launcher entry and icon as "cmake --install" puts them under the prefix, beside the
    // program it names (the one this build made).
    static bool install(const QString& prefix)
    {
        QProcess cmake;
        cmake.start(BuildTree::cacheValue(QStringLiteral("CMAKE_COMMAND")),
                    {QStringLiteral("--install"), BuildTree::dir(), QStringLiteral("--prefix"), prefix,
                     QStringLiteral("--component"), QStringLiteral("launcher")});
        return cmake.waitForFinished(60000) && cmake.exitCode() == 0 &&
               QDir().mkpath(prefix + QStringLiteral("/bin")) &&
               QFile::link(MurmoProcess::program(), prefix + QStringLiteral("/bin/murmo"));
    }

    // scripts/register-handler for the prefix; its exit code and what it said.
    int registerHandler(const QProcessEnvironment& env, QByteArray* output, const QString& where = {}) const
    {
        const QString script =
            BuildTree::cacheValue(QStringLiteral("CMAKE_HOME_DIRECTORY")) + QStringLiteral("/scripts/register-handler");
        return run(QStringLiteral("/bin/bash"), {script, where.isEmpty() ? prefix() : where}, env, output);
    }

    // The desktop entry gio names as the handler of "murmo:" addresses; empty when none.
    static QString handlerByGio(const QProcessEnvironment& env)
    {
        QByteArray output;
        run(QStringLiteral("gio"), {QStringLiteral("mime"), QStringLiteral("x-scheme-handler/murmo")}, env, &output);
        const QString first = QString::fromUtf8(output).section(u'\n', 0, 0);
        return first.startsWith(QStringLiteral("Default application")) ? first.section(u' ', -1) : QString();
    }

    bool pressWhenShowing(qint64 pid, const QString& button)
    {
        return QTest::qWaitFor([&] { return AccessibleButtons::press(pid, button); }, kWaitMs);
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY2(m_windows.isOpen(), "needs the headless desktop (scripts/with-desktop)"); }

    void init()
    {
        m_root = std::make_unique<QTemporaryDir>();
        QVERIFY(m_root->isValid());
        for (const char* sub :
             {"home/.config", "home/.local/share", "home/.cache", "runtime", "system/share", "system/etc", "no-tools"})
            QVERIFY(QDir(m_root->path()).mkpath(QString::fromLatin1(sub)));
        QFile::setPermissions(m_root->filePath(QStringLiteral("runtime")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(install(prefix()));
    }

    void cleanup() { m_root.reset(); }

    // Registered, gio (which desktops open addresses with) names the entry; when the tools are
    // missing the script says so and how to mend it, and fails.
    void registrationSaysWhetherItWorked_data()
    {
        QTest::addColumn<bool>("withTools");
        QTest::newRow("tools installed") << true;
        QTest::newRow("tools missing") << false;
    }

    void registrationSaysWhetherItWorked()
    {
        QFETCH(bool, withTools);
        QProcessEnvironment env = environment();
        if (!withTools)
            env.insert(QStringLiteral("PATH"), m_root->filePath(QStringLiteral("no-tools")));
        QByteArray said;
        const int status = registerHandler(env, &said);
        if (withTools) {
            QVERIFY2(status == 0, said.constData());
            QCOMPARE(handlerByGio(environment()), QStringLiteral("murmo.desktop"));
        } else {
            QVERIFY(status != 0);
            QVERIFY2(said.contains("scripts/install-deps"), said.constData());
            QCOMPARE(handlerByGio(environment()), QString());
        }
    }

    // An install path the entry had to quote is one the plain xdg-open cannot start from: the
    // registration is not called a success, and the script says the sign-in will not come back.
    void aQuotedEntryIsNotCalledASuccess()
    {
        const QString spaced = m_root->filePath(QStringLiteral("my home/.local"));
        QVERIFY(install(spaced));
        QProcessEnvironment env = environment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), spaced + QStringLiteral("/share"));
        QByteArray said;
        QVERIFY(registerHandler(env, &said, spaced) != 0);
        QVERIFY2(said.contains("does not come back"), said.constData());
    }

    void signInComesBackThroughXdgOpen_data()
    {
        QTest::addColumn<QString>("desktop");
        QTest::newRow("window manager only") << QString();
        QTest::newRow("GNOME") << QStringLiteral("GNOME");
    }

    void signInComesBackThroughXdgOpen()
    {
        QFETCH(QString, desktop);
        FakeGateway gateway;
        QProcessEnvironment env = environment();
        for (const char* name : {"MURMO_GATEWAY_URL", "MURMO_DASHSCOPE_URL", "MURMO_DEEPGRAM_URL",
                                 "MURMO_ANTHROPIC_URL", "MURMO_SIGNIN_URL"})
            env.insert(QString::fromLatin1(name), gateway.baseUrl().toString());
        env.insert(QStringLiteral("MURMO_SIGNIN_KEY"), QStringLiteral("anon-key"));
        env.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
        // The browser: keeps the address it was given, which the test then answers.
        const QString browser = m_root->filePath(QStringLiteral("browser"));
        QVERIFY(writeFile(browser, QStringLiteral("#!/bin/sh\nprintf '%s' \"$1\" >'%1.part' && mv '%1.part' '%1'\n")
                                       .arg(browserLog())
                                       .toUtf8()));
        QVERIFY(QFile::setPermissions(browser, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        env.insert(QStringLiteral("BROWSER"), browser);
        QByteArray said;
        QVERIFY2(registerHandler(env, &said) == 0, said.constData());
        QSettings(m_root->filePath(QStringLiteral("home/.config/Murmo/Murmo.conf")), QSettings::IniFormat)
            .setValue(QStringLiteral("didOnboard"), true);

        MurmoProcess murmo(env);
        QVERIFY(murmo.start());
        QVERIFY(pressWhenShowing(murmo.pid(), QStringLiteral("设置")));
        QVERIFY(pressWhenShowing(murmo.pid(), QStringLiteral("登录 / 注册")));
        QVERIFY(pressWhenShowing(murmo.pid(), QStringLiteral("通过 Google 登录")));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(browserLog()), kWaitMs);
        const QUrl authorize(QString::fromUtf8(readFile(browserLog())));
        const QUrl redirect(QUrlQuery(authorize).queryItemValue(QStringLiteral("redirect_to"), QUrl::FullyDecoded));
        QCOMPARE(redirect.scheme(), QStringLiteral("murmo"));

        const QByteArray token = "handed-back-token";
        const QString callback = redirect.toString() + QStringLiteral("#access_token=%1&refresh_token=r&expires_in=3600"
                                                                      "&token_type=bearer")
                                                           .arg(QString::fromLatin1(token));
        if (!desktop.isEmpty())
            env.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), desktop);
        QVERIFY2(run(QStringLiteral("xdg-open"), {callback}, env, &said) == 0, said.constData());
        // Signed in with the handed-back token: the program asks the gateway for the account.
        const auto askedWithToken = [&] {
            const QList<RecordedRequest> requests = gateway.requests();
            return std::any_of(requests.cbegin(), requests.cend(), [&](const RecordedRequest& request) {
                return request.header("Authorization").contains(token);
            });
        };
        QTRY_VERIFY_WITH_TIMEOUT(askedWithToken(), kWaitMs);

        // The session lives in the desktop's keyring, which the next case shares.
        QVERIFY(pressWhenShowing(murmo.pid(), QStringLiteral("退出登录")));
        QTRY_VERIFY_WITH_TIMEOUT(AccessibleButtons::showing(murmo.pid()).contains(QStringLiteral("登录 / 注册")),
                                 kWaitMs);
        QCOMPARE(murmo.runOnce({QStringLiteral("--quit")}), 0);
        QCOMPARE(murmo.waitForExit(kWaitMs), 0);
    }
};

MURMO_TEST(TestSchemeHandlerOnDesktop)
#include "tst_SchemeHandlerOnDesktop.moc"
