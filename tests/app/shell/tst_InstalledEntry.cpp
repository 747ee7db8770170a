#include "app/shell/InstallLocation.h"
#include "tests/support/BuildTree.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestRegistry.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// The launcher entry as the build installs it, into a throw-away prefix that is not on PATH (as
// ~/.local/bin often is not): the menu and the browser must still find the program, and the
// program, run from there, must know itself for the installed one and show no warning.
class TestInstalledEntry : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void namesTheInstalledProgram_data()
    {
        QTest::addColumn<QString>("prefix");
        QTest::newRow("plain") << QStringLiteral("local");
        QTest::newRow("signs the entry must quote") << QStringLiteral("my $HOME \"100%\" `x`");
    }

    void namesTheInstalledProgram()
    {
        QFETCH(QString, prefix);
        QTemporaryDir dir;
        const QString root = dir.filePath(prefix);
        const QString cmake = BuildTree::cacheValue(QStringLiteral("CMAKE_COMMAND"));
        QVERIFY(!cmake.isEmpty());
        QProcess install;
        install.start(cmake, {QStringLiteral("--install"), BuildTree::dir(), QStringLiteral("--prefix"), root,
                              QStringLiteral("--component"), QStringLiteral("launcher")});
        QVERIFY(install.waitForFinished(60000));
        QVERIFY2(install.exitCode() == 0, install.readAllStandardError().constData());

        const QString entry = InstallLocation::handlerDesktopFile({}, {root + QStringLiteral("/share")});
        QCOMPARE(entry, root + QStringLiteral("/share/applications/murmo.desktop"));
        const QString program = root + QStringLiteral("/bin/murmo");
        QCOMPARE(InstallLocation::handlerProgram(entry), program);
        QVERIFY(QDir().mkpath(root + QStringLiteral("/bin")));
        QVERIFY(writeFile(program, "x"));
        QVERIFY(!InstallLocation::warning(program, InstallLocation::handlerProgram(entry)));
    }
};

MURMO_TEST(TestInstalledEntry)
#include "tst_InstalledEntry.moc"
