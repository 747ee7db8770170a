#include "app/shell/SingleInstance.h"
#include "platform/linux/system/LinuxSingleInstanceSystem.h"
#include "platform/linux/system/PrivateFolder.h"
#include "tests/app/shell/LaterLaunch.h"
#include "tests/support/FakeSingleInstanceSystem.h"
#include "tests/support/TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <sys/stat.h>
#include <unistd.h>

// Who runs is decided by a lock beside the personal data; the socket's folder only carries the
// messages. Whatever becomes of either folder, no launch runs beside a running instance.
class TestSingleInstance : public QObject
{
    Q_OBJECT

    using Lock = SingleInstance::Lock;
    using Delivery = SingleInstance::Delivery;

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_data;
    QString m_socket;

    // Puts at path: a folder of ours with the octal mode given, "link" (to a folder of ours),
    // "file", or "nobody's" folder; "link, nobody's" (the link another user's), "link to nobody's"
    // (the folder it names another user's), "link, open parent" (in a folder anyone may write),
    // "nobody's lock" (in a folder of ours). False when that cannot be done.
    static bool plant(const QString& path, const QString& what)
    {
        const QByteArray encoded = QFile::encodeName(path);
        const QString target = path + QStringLiteral("-target");
        if (what.startsWith(QStringLiteral("link")))
            return PrivateFolder::make(target, ::getuid()) && QFile::link(target, path) &&
                   (what != QStringLiteral("link, nobody's") || ::lchown(encoded.constData(), 65534, 65534) == 0) &&
                   (what != QStringLiteral("link to nobody's") ||
                    ::chown(QFile::encodeName(target).constData(), 65534, 65534) == 0) &&
                   (what != QStringLiteral("link, open parent") ||
                    ::chmod(QFile::encodeName(QFileInfo(path).path()).constData(), 0777) == 0);
        if (what == QStringLiteral("nobody's lock")) {
            QFile lock(path + QStringLiteral("/murmo.lock"));
            return PrivateFolder::make(path, ::getuid()) && lock.open(QIODevice::WriteOnly) &&
                   ::chown(QFile::encodeName(lock.fileName()).constData(), 65534, 65534) == 0;
        }
        if (what == QStringLiteral("file"))
            return QFile(path).open(QIODevice::WriteOnly);
        if (!QDir().mkpath(path))
            return false;
        if (what == QStringLiteral("nobody's"))
            return ::chown(encoded.constData(), 65534, 65534) == 0;
        return ::chmod(encoded.constData(), mode_t(what.toUInt(nullptr, 8))) == 0;
    }

    // Only root can give a file away.
    static bool canPlant(const QString& what) { return !what.contains(QStringLiteral("nobody")) || ::geteuid() == 0; }

    QString socketFile() const { return m_socket + QStringLiteral("/murmo.socket"); }
    QString lockFile() const { return m_data + QStringLiteral("/murmo.lock"); }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_data = m_dir->filePath(QStringLiteral("data"));
        m_socket = m_dir->filePath(QStringLiteral("runtime/murmo"));
    }

    void cleanup() { m_dir.reset(); }

    void aFolderOfTheUsersIsClosedAndAnyOtherRefused_data()
    {
        QTest::addColumn<QString>("planted");
        QTest::addColumn<bool>("othersOwner");
        QTest::addColumn<bool>("taken");
        QTest::newRow("none yet") << QString() << false << true;
        QTest::newRow("ours, 0700") << QStringLiteral("0700") << false << true;
        // Just made by a launch beside this one under a umask that takes the owner's write bit.
        QTest::newRow("ours, 0500") << QStringLiteral("0500") << false << true;
        // Opened by the user: a chmod -R go+rX of the home, a restored backup, an rsync.
        QTest::newRow("ours, 0755") << QStringLiteral("0755") << false << true;
        QTest::newRow("ours, 0711") << QStringLiteral("0711") << false << true;
        QTest::newRow("ours, 1777") << QStringLiteral("1777") << false << true;
        QTest::newRow("another user's") << QStringLiteral("0700") << true << false;
        QTest::newRow("another user's, 0755") << QStringLiteral("0755") << true << false;
        QTest::newRow("a link to ours") << QStringLiteral("link") << false << false;
        QTest::newRow("a file") << QStringLiteral("file") << false << false;
    }

    void aFolderOfTheUsersIsClosedAndAnyOtherRefused()
    {
        QFETCH(QString, planted);
        QFETCH(bool, othersOwner);
        QFETCH(bool, taken);
        QVERIFY(planted.isEmpty() || plant(m_data, planted));
        const QFile::Permissions before = QFileInfo(m_data).permissions();
        const uid_t user = othersOwner ? ::getuid() + 1 : ::getuid();
        QCOMPARE(PrivateFolder::make(m_data, user), taken);
        QCOMPARE(PrivateFolder::isPrivate(m_data, user), taken);
        if (!taken)
            QCOMPARE(QFileInfo(m_data).permissions(), before);
    }

    // The lock's folder is the personal data's: anything there but a folder of the user's, or a
    // link of the user's own set-up, keeps the program from running at all, and a quit from asking.
    void aLockFolderNotTheUsersIsNeverUsed_data()
    {
        QTest::addColumn<QString>("planted");
        QTest::addColumn<Lock>("claimed");
        QTest::newRow("ours, 0755") << QStringLiteral("0755") << Lock::Ours;
        // A dotfile manager's folded folder, a data disk.
        QTest::newRow("a link of ours to ours") << QStringLiteral("link") << Lock::Ours;
        QTest::newRow("a link of another user's") << QStringLiteral("link, nobody's") << Lock::Unusable;
        QTest::newRow("a link to another user's") << QStringLiteral("link to nobody's") << Lock::Unusable;
        QTest::newRow("a link where others may write") << QStringLiteral("link, open parent") << Lock::Unusable;
        QTest::newRow("a file") << QStringLiteral("file") << Lock::Unusable;
        QTest::newRow("another user's") << QStringLiteral("nobody's") << Lock::Unusable;
        QTest::newRow("another user's lock file") << QStringLiteral("nobody's lock") << Lock::Unusable;
    }

    void aLockFolderNotTheUsersIsNeverUsed()
    {
        QFETCH(QString, planted);
        QFETCH(Lock, claimed);
        if (!canPlant(planted))
            QSKIP("only root can give a file away");
        QVERIFY(plant(m_data, planted));
        LinuxSingleInstanceSystem launchSystem;
        SingleInstance launch(launchSystem, m_data, m_socket);
        QCOMPARE(launch.probe(), claimed == Lock::Ours ? Lock::Free : Lock::Unusable);
        QCOMPARE(launch.claim(), claimed);
        QCOMPARE(launchSystem.stillNamed(lockFile()), claimed == Lock::Ours);
        QCOMPARE(launch.problem() == SingleInstance::Problem::LockFile, planted == QStringLiteral("nobody's lock"));
    }

    // A quit asks whether an instance runs: it takes nothing, and with none running it makes
    // nothing either.
    void aQuitOnlyAsks()
    {
        LinuxSingleInstanceSystem quitSystem;
        SingleInstance quit(quitSystem, m_data, m_socket);
        QCOMPARE(quit.probe(), Lock::Free);
        QVERIFY(!QFileInfo::exists(m_data));
        LinuxSingleInstanceSystem firstSystem;
        SingleInstance first(firstSystem, m_data, m_socket);
        QCOMPARE(first.claim(), Lock::Ours);
        QCOMPARE(quit.probe(), Lock::Held);
    }

    // Whatever becomes of the socket's folder under a running instance, a later launch never runs
    // beside it: it reaches the instance, or is told it cannot; and once the folder is the user's
    // again, the instance is reached again.
    void theLockDecidesWhateverBecomesOfTheSocketFolder_data()
    {
        QTest::addColumn<bool>("removed");
        QTest::addColumn<QString>("planted");
        QTest::addColumn<Delivery>("told");
        QTest::newRow("opened to others") << false << QStringLiteral("0755") << Delivery::Acted;
        QTest::newRow("made again, open to others") << true << QStringLiteral("0755") << Delivery::Acted;
        QTest::newRow("a link in its place") << true << QStringLiteral("link") << Delivery::Unreachable;
        QTest::newRow("made again by another user") << true << QStringLiteral("nobody's") << Delivery::Unreachable;
    }

    void theLockDecidesWhateverBecomesOfTheSocketFolder()
    {
        QFETCH(bool, removed);
        QFETCH(QString, planted);
        QFETCH(Delivery, told);
        if (!canPlant(planted))
            QSKIP("only root can give a folder away");
        LinuxSingleInstanceSystem firstSystem;
        SingleInstance first(firstSystem, m_data, m_socket);
        QCOMPARE(first.claim(), Lock::Ours);
        QVERIFY(!removed || QDir(m_socket).removeRecursively());
        QVERIFY(plant(m_socket, planted));
        LinuxSingleInstanceSystem secondSystem;
        SingleInstance second(secondSystem, m_data, m_socket);
        QCOMPARE(second.claim(), Lock::Held);
        QCOMPARE(deliverAsLaterLaunch(m_data, m_socket, {}), told);
        QVERIFY(QFile::remove(m_socket) || QDir(m_socket).removeRecursively());
        QTRY_COMPARE_WITH_TIMEOUT(deliverAsLaterLaunch(m_data, m_socket, {}), Delivery::Acted, 20000);
    }

    // The decision itself, against a system whose lock files the test controls.

    // A quit takes nothing: a launch that comes while it asks runs as if it were not there.
    void aQuitNeverTurnsALaunchAway()
    {
        FakeLockFiles files;
        QVERIFY(QDir().mkpath(m_data));
        FakeSingleInstanceSystem launchSystem(files);
        SingleInstance launch(launchSystem, m_data, m_socket);
        FakeSingleInstanceSystem quitSystem(files);
        SingleInstance quit(quitSystem, m_data, m_socket);
        std::optional<Lock> beside;
        quitSystem.during = [&] { beside = launch.claim(); };
        // It finds the launch that came meanwhile.
        QCOMPARE(quit.probe(), Lock::Held);
        QVERIFY(beside == Lock::Ours);
    }

    // Once the lock is free, the next instance's socket may stand where this one's was.
    void theSocketGoesBeforeTheLock()
    {
        FakeLockFiles files;
        FakeSingleInstanceSystem system(files);
        std::optional<bool> socketAtRelease;
        system.released = [&] { socketAtRelease = QFileInfo::exists(socketFile()); };
        {
            SingleInstance instance(system, m_data, m_socket);
            QCOMPARE(instance.claim(), Lock::Ours);
            QVERIFY(QFileInfo::exists(socketFile()));
        }
        QVERIFY(socketAtRelease == false);
    }

    // Whatever becomes of the lock's file under the holder, told or not, a launch or a quit finds
    // the holder, and the holder holds the file its path names again.
    void theHolderKeepsItsLockFile_data()
    {
        QTest::addColumn<QString>("became");
        QTest::addColumn<bool>("told");
        for (const bool told : {true, false}) {
            const char* how = told ? "watched" : "not watched";
            for (const char* became : {"removed", "replaced by a copy", "folder removed", "folder restored"})
                QTest::addRow("%s, %s", became, how) << QString::fromLatin1(became) << told;
        }
    }

    void theHolderKeepsItsLockFile()
    {
        QFETCH(QString, became);
        QFETCH(bool, told);
        FakeLockFiles files;
        FakeSingleInstanceSystem holderSystem(files);
        SingleInstance holder(holderSystem, m_data, m_socket);
        QCOMPARE(holder.claim(), Lock::Ours);
        if (became.startsWith(QStringLiteral("folder")))
            QVERIFY(QDir(m_data).removeRecursively());
        files.named.remove(lockFile());
        if (became == QStringLiteral("folder restored"))
            QVERIFY(QDir().mkpath(m_data));
        if (became == QStringLiteral("replaced by a copy") || became == QStringLiteral("folder restored"))
            files.replace(lockFile());
        if (told)
            holderSystem.changed();
        FakeSingleInstanceSystem quitSystem(files);
        QCOMPARE(SingleInstance(quitSystem, m_data, m_socket).probe(), Lock::Held);
        FakeSingleInstanceSystem launchSystem(files);
        QCOMPARE(SingleInstance(launchSystem, m_data, m_socket).claim(), Lock::Held);
        // The launch's knock is the holder's cue, if nothing told it before.
        QTRY_VERIFY(files.holderAt(lockFile()) == &holderSystem);
        QVERIFY(holderSystem.stillNamed(lockFile()));
    }

    // Where no lock can be kept, the first runs all the same, and later ones reach it.
    void runsWhereNoLockIsKept()
    {
        FakeLockFiles files;
        files.locksKept = false;
        FakeSingleInstanceSystem firstSystem(files);
        SingleInstance first(firstSystem, m_data, m_socket);
        QCOMPARE(first.claim(), Lock::Unlocked);
        QCOMPARE(first.problem(), SingleInstance::Problem::CannotLock);
        FakeSingleInstanceSystem laterSystem(files);
        QCOMPARE(SingleInstance(laterSystem, m_data, m_socket).claim(), Lock::Held);
        QCOMPARE(SingleInstance(laterSystem, m_data, m_socket).probe(), Lock::Held);
    }

    // An instance that is ending no longer listens, and lets its lock go a moment later: a launch
    // then runs, and a quit says nothing runs.
    void aLaunchWaitsOutAnEndingInstance_data()
    {
        QTest::addColumn<bool>("quit");
        QTest::addColumn<Lock>("outcome");
        QTest::newRow("launch") << false << Lock::Ours;
        QTest::newRow("quit") << true << Lock::Free;
    }

    void aLaunchWaitsOutAnEndingInstance()
    {
        QFETCH(bool, quit);
        QFETCH(Lock, outcome);
        FakeLockFiles files;
        FakeSingleInstanceSystem endingSystem(files);
        SingleInstance ending(endingSystem, m_data, m_socket);
        QCOMPARE(ending.claim(), Lock::Ours);
        ending.stopListening();
        FakeSingleInstanceSystem launchSystem(files);
        // The lock goes once the launch was told that nobody answers.
        int asked = 0;
        launchSystem.heldFound = [&] {
            if (++asked == 3)
                endingSystem.release();
        };
        SingleInstance launch(launchSystem, m_data, m_socket);
        QCOMPARE(launch.launch({}, quit).lock, outcome);
    }
};

MURMO_TEST(TestSingleInstance)
#include "tst_SingleInstance.moc"
