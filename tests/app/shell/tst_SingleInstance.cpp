#include "app/shell/PrivateFolder.h"
#include "app/shell/SingleInstance.h"
#include "tests/app/shell/LaterLaunch.h"
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
    // "file", or "nobody's" folder. False when that cannot be done.
    static bool plant(const QString& path, const QString& what)
    {
        const QByteArray encoded = QFile::encodeName(path);
        if (what == QStringLiteral("link"))
            return PrivateFolder::make(path + QStringLiteral("-target"), ::getuid()) &&
                   QFile::link(path + QStringLiteral("-target"), path);
        if (what == QStringLiteral("file"))
            return QFile(path).open(QIODevice::WriteOnly);
        if (!QDir().mkpath(path))
            return false;
        if (what == QStringLiteral("nobody's"))
            return ::chown(encoded.constData(), 65534, 65534) == 0;
        return ::chmod(encoded.constData(), mode_t(what.toUInt(nullptr, 8))) == 0;
    }

    // Only root can give a folder away.
    static bool canPlant(const QString& what) { return what != QStringLiteral("nobody's") || ::geteuid() == 0; }

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

    // The lock's folder is the personal data's: anything there but a folder of the user's keeps
    // the program from running at all, and a quit from asking.
    void aLockFolderNotTheUsersIsNeverUsed_data()
    {
        QTest::addColumn<QString>("planted");
        QTest::addColumn<Lock>("claimed");
        QTest::newRow("ours, 0755") << QStringLiteral("0755") << Lock::Ours;
        QTest::newRow("a link to ours") << QStringLiteral("link") << Lock::Unusable;
        QTest::newRow("a file") << QStringLiteral("file") << Lock::Unusable;
        QTest::newRow("another user's") << QStringLiteral("nobody's") << Lock::Unusable;
    }

    void aLockFolderNotTheUsersIsNeverUsed()
    {
        QFETCH(QString, planted);
        QFETCH(Lock, claimed);
        if (!canPlant(planted))
            QSKIP("only root can give a folder away");
        QVERIFY(plant(m_data, planted));
        SingleInstance launch(m_data, m_socket);
        QCOMPARE(launch.probe(), claimed == Lock::Ours ? Lock::Free : Lock::Unusable);
        QCOMPARE(launch.claim(), claimed);
        QCOMPARE(PrivateFolder::isPrivate(m_data, ::getuid()), claimed == Lock::Ours);
    }

    // A quit asks whether an instance runs: it takes nothing, and with none running it makes
    // nothing either.
    void aQuitOnlyAsks()
    {
        SingleInstance quit(m_data, m_socket);
        QCOMPARE(quit.probe(), Lock::Free);
        QVERIFY(!QFileInfo::exists(m_data));
        SingleInstance first(m_data, m_socket);
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
        SingleInstance first(m_data, m_socket);
        QCOMPARE(first.claim(), Lock::Ours);
        QVERIFY(!removed || QDir(m_socket).removeRecursively());
        QVERIFY(plant(m_socket, planted));
        SingleInstance second(m_data, m_socket);
        QCOMPARE(second.claim(), Lock::Held);
        QCOMPARE(deliverAsLaterLaunch(m_data, m_socket, {}), told);
        QVERIFY(QFile::remove(m_socket) || QDir(m_socket).removeRecursively());
        QTRY_COMPARE_WITH_TIMEOUT(deliverAsLaterLaunch(m_data, m_socket, {}), Delivery::Acted, 20000);
    }
};

MURMO_TEST(TestSingleInstance)
#include "tst_SingleInstance.moc"
