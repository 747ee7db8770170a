#include "tests/app/controller/FakeApp.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QThreadPool>

#include <sys/stat.h>

// What an older version wrote under the umask (history, recordings, files set aside) is closed to
// other users when the program starts, not only once it is rewritten.
class TestPrivateDataAtStart : public QObject
{
    Q_OBJECT

    static int mode(const QString& path)
    {
        struct stat status
        {};
        return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? int(status.st_mode & 07777) : -1;
    }

    static bool setMode(const QString& path, int mode)
    {
        return ::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0;
    }

private Q_SLOTS:
    void olderFilesAreClosedAtStart()
    {
        FakeApp fake;
        const QString data = fake.dataDirectory();
        const QString outside = fake.dir.filePath(QStringLiteral("outside.txt"));
        QVERIFY(QDir().mkpath(data + QStringLiteral("/recordings")));
        // path → mode it was left with, mode expected after start
        const QList<std::tuple<QString, int, int>> files{
            {data + QStringLiteral("/history.json"), 0644, 0600},
            {data + QStringLiteral("/history.json.unreadable-20250101-120000"), 0664, 0600},
            {data + QStringLiteral("/recordings/9A8B.ogg"), 0644, 0600},
            {data + QStringLiteral("/recordings"), 0755, 0700},
            // Not the program's to change: a link is not followed.
            {outside, 0644, 0644},
        };
        QVERIFY(writeFile(std::get<0>(files[0]), "[]"));
        QVERIFY(writeFile(std::get<0>(files[1]), "{"));
        QVERIFY(writeFile(std::get<0>(files[2]), "OggS"));
        QVERIFY(writeFile(outside, "mine"));
        QVERIFY(QFile::link(outside, data + QStringLiteral("/recordings/link.ogg")));
        for (const auto& [path, before, after] : files)
            QVERIFY(setMode(path, before));

        fake.build();
        QVERIFY(QThreadPool::globalInstance()->waitForDone(20000));
        for (const auto& [path, before, after] : files)
            QCOMPARE(mode(path), after);
    }
};

MURMO_TEST(TestPrivateDataAtStart)
#include "tst_PrivateDataAtStart.moc"
