#include "tests/app/launch_desktop/MurmoProcess.h"
#include "tests/app/launch_desktop/ProgramHome.h"
#include "tests/app/launch_desktop/X11Windows.h"
#include "tests/support/BuildTree.h"
#include "tests/support/TestRegistry.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <cstdio>
#include <memory>

#include <linux/capability.h>
#include <sys/prctl.h>

// scripts/older-murmo, which tells scripts/run whether the Murmo running is the one it has just
// installed, against the real program: it makes itself unreadable to debuggers, its own user's
// included.
class TestOlderMurmoOnDesktop : public QObject
{
    Q_OBJECT

    std::unique_ptr<ProgramHome> m_home;
    X11Windows m_windows;

    QString installed() const { return m_home->filePath(QStringLiteral("prefix/bin/murmo")); }
    QProcessEnvironment environment() const { return m_home->environment(QStringLiteral("http://127.0.0.1:9/")); }

    // Puts a copy of the built program at path as an install does: a new file renamed into place.
    static bool install(const QString& path)
    {
        const QString staged = path + QStringLiteral(".new");
        QFile::remove(staged);
        return QFile::copy(MurmoProcess::program(), staged) &&
               QFile::setPermissions(staged, QFile::permissions(MurmoProcess::program())) &&
               std::rename(QFile::encodeName(staged).constData(), QFile::encodeName(path).constData()) == 0;
    }

    // The process ids scripts/older-murmo lists for the installed program. Run without the right to
    // look into other processes that root has, as an ordinary user is.
    QStringList olderThanInstalled() const
    {
        QProcess script;
        script.setProcessEnvironment(environment());
        script.setChildProcessModifier([] { ::prctl(PR_CAPBSET_DROP, CAP_SYS_PTRACE, 0, 0, 0); });
        script.start(QStringLiteral("/bin/bash"), {BuildTree::cacheValue(QStringLiteral("CMAKE_HOME_DIRECTORY")) +
                                                       QStringLiteral("/scripts/older-murmo"),
                                                   installed()});
        if (!script.waitForFinished(30000) || script.exitCode() != 0)
            return {QStringLiteral("failed: ") + QString::fromUtf8(script.readAllStandardError())};
        return QString::fromUtf8(script.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_windows.isOpen(), "needs the headless desktop (scripts/with-desktop)");
        QVERIFY2(QFile::exists(MurmoProcess::program()), "build the murmo target first");
    }

    void init()
    {
        m_home = std::make_unique<ProgramHome>();
        QVERIFY(m_home->isValid() && QDir().mkpath(m_home->filePath(QStringLiteral("prefix/bin"))));
    }

    void cleanup() { m_home.reset(); }

    void tellsWhetherTheRunningOneIsInstalled_data()
    {
        QTest::addColumn<bool>("fromInstalled");
        QTest::addColumn<bool>("replacedSince");
        QTest::newRow("started from the installed file") << true << false;
        QTest::newRow("installed file replaced since") << true << true;
        QTest::newRow("started from another file") << false << false;
    }

    void tellsWhetherTheRunningOneIsInstalled()
    {
        QFETCH(bool, fromInstalled);
        QFETCH(bool, replacedSince);
        QVERIFY(install(installed()));
        // The start times the kernel keeps are in hundredths of a second: a start in the same one as
        // the install cannot be told from one just before it.
        const QDateTime placed = QFileInfo(installed()).metadataChangeTime();
        QVERIFY(QTest::qWaitFor([&] { return QDateTime::currentDateTime() > placed.addMSecs(50); }, 5000));

        QProcess murmo;
        murmo.setProcessEnvironment(environment());
        murmo.setStandardOutputFile(QProcess::nullDevice());
        murmo.setStandardErrorFile(QProcess::nullDevice());
        murmo.start(fromInstalled ? installed() : QFileInfo(MurmoProcess::program()).absoluteFilePath());
        QVERIFY(murmo.waitForStarted(5000));
        // Its window up: it has long made itself undumpable.
        QTRY_VERIFY_WITH_TIMEOUT(m_windows.mappedWindow(murmo.processId(), QStringLiteral("Murmo")) != 0, 20000);
        if (replacedSince)
            QVERIFY(install(installed()));

        const QStringList listed = olderThanInstalled();
        QVERIFY2(!listed.value(0).startsWith(QStringLiteral("failed")), qPrintable(listed.join(u' ')));
        QCOMPARE(listed.contains(QString::number(murmo.processId())), !fromInstalled || replacedSince);
        murmo.terminate();
        QVERIFY(murmo.waitForFinished(10000));
    }
};

MURMO_TEST(TestOlderMurmoOnDesktop)
#include "tst_OlderMurmoOnDesktop.moc"
