#include "app/desktop/AppRelauncher.h"
#include "app/desktop/FnKeyHelpers.h"
#include "platform/linux/system/QProcessLauncher.h"
#include "tests/support/FakeProcessLauncher.h"
#include "tests/support/TestRegistry.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using Start = FakeProcessLauncher::Start;

class SystemHelpersTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void theFnKeyNeverConflictsOnLinux()
    {
        QVERIFY(!FnKeyHelpers::fnKeyHijacksSystem());
        QVERIFY(FnKeyHelpers::setFnKeyToNoAction());
        FakeProcessLauncher launcher;
        QVERIFY(!FnKeyHelpers::openKeyboardSettings(launcher));
        launcher.installed.insert("gnome-control-center", "/usr/bin/gnome-control-center");
        QVERIFY(FnKeyHelpers::openKeyboardSettings(launcher));
        QCOMPARE(launcher.starts, (QList<Start>{{"/usr/bin/gnome-control-center", {"keyboard"}}}));
    }

    void relaunchHandsThePathOverAsAnArgumentThenQuits()
    {
        FakeProcessLauncher launcher;
        int quits = 0;
        AppRelauncher relauncher(launcher, [&] { ++quits; });
        const QString path = "/opt/it's \"here\"/$(rm -rf ~)/murmo";
        relauncher.relaunch(path, {"--from", "a b"});
        QCOMPARE(quits, 1);
        QCOMPARE(launcher.starts,
                 (QList<Start>{{"/bin/sh", {"-c", "sleep 0.5; exec \"$0\" \"$@\"", path, "--from", "a b"}}}));
    }

    void aFailedStartStillQuits()
    {
        FakeProcessLauncher launcher;
        launcher.refuseStart = true;
        int quits = 0;
        AppRelauncher relauncher(launcher, [&] { ++quits; });
        relauncher.relaunch("/nowhere/murmo", {});
        QCOMPARE(quits, 1);
    }

    void relaunchesFromAPathWithQuotes_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("single quote") << "Murmo's app";
        QTest::newRow("quotes and shell words") << "it's \"x\" $(false); `id` & *";
    }

    void relaunchesFromAPathWithQuotes()
    {
        QFETCH(QString, folder);
        QTemporaryDir root;
        QVERIFY(root.isValid());
        QVERIFY(QDir(root.path()).mkpath(folder));
        const QString program = root.filePath(folder + "/murmo");
        const QString marker = root.filePath("started");
        // Stands in for the program: notes that it ran and with which arguments.
        QFile script(program);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nprintf '%s|' \"$0\" \"$@\" > \"$MURMO_RELAUNCH_MARKER.tmp\"\n"
                     "mv \"$MURMO_RELAUNCH_MARKER.tmp\" \"$MURMO_RELAUNCH_MARKER\"\n");
        script.close();
        QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        qputenv("MURMO_RELAUNCH_MARKER", marker.toUtf8());

        QProcessLauncher launcher;
        bool quit = false;
        AppRelauncher relauncher(launcher, [&] { quit = true; });
        QElapsedTimer elapsed;
        elapsed.start();
        relauncher.relaunch(program, {"--shown", "it's"});
        QVERIFY(quit);
        QVERIFY(!QFile::exists(marker));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 20000);
        QVERIFY(elapsed.elapsed() >= 450);
        QFile result(marker);
        QVERIFY(result.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(result.readAll()), program + "|--shown|it's|");
        qunsetenv("MURMO_RELAUNCH_MARKER");
    }
};

MURMO_TEST(SystemHelpersTest)
#include "tst_SystemHelpers.moc"
