#include "core/store/StoreFile.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

const QDateTime kNow(QDate(2026, 3, 4), QTime(5, 6, 7));

} // namespace

class TestStoreFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void missingFileIsNothingToLoad()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("store.json");
        QCOMPARE(StoreFile::readOrQuarantine(path, kNow), std::nullopt);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }

    void readableFileGivesItsBytes()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("store.json");
        QVERIFY(writeFile(path, "{\"a\":1}"));
        QCOMPARE(StoreFile::readOrQuarantine(path, kNow), std::optional<QByteArray>("{\"a\":1}"));
        QCOMPARE(readFile(path), QByteArray("{\"a\":1}"));
    }

    void emptyFileIsReadableAndEmpty()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("store.json");
        QVERIFY(writeFile(path, ""));
        QCOMPARE(StoreFile::readOrQuarantine(path, kNow), std::optional<QByteArray>(QByteArray()));
    }

    // A folder where the file should be cannot be read by anyone (even root); it must be kept,
    // with everything inside it, under the suffixed name.
    void unreadableFileIsMovedAsideWithItsContents()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("store.json");
        QVERIFY(QDir().mkpath(path));
        QVERIFY(writeFile(path + "/inner.txt", "kept"));
        QCOMPARE(StoreFile::readOrQuarantine(path, kNow), std::nullopt);
        QVERIFY(!QFileInfo::exists(path));
        const QString aside = dir.filePath("store.json.unreadable-20260304-050607");
        QCOMPARE(readFile(aside + "/inner.txt"), QByteArray("kept"));
    }

    void quarantineNeverOverwritesAnEarlierOne()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("store.json");
        QVERIFY(writeFile(path, "first"));
        QCOMPARE(StoreFile::quarantine(path, kNow), dir.filePath("store.json.unreadable-20260304-050607"));
        QVERIFY(writeFile(path, "second"));
        QCOMPARE(StoreFile::quarantine(path, kNow), dir.filePath("store.json.unreadable-20260304-050607-2"));
        QVERIFY(writeFile(path, "third"));
        QCOMPARE(StoreFile::quarantine(path, kNow), dir.filePath("store.json.unreadable-20260304-050607-3"));
        QCOMPARE(readFile(dir.filePath("store.json.unreadable-20260304-050607")), QByteArray("first"));
        QCOMPARE(readFile(dir.filePath("store.json.unreadable-20260304-050607-2")), QByteArray("second"));
        QCOMPARE(readFile(dir.filePath("store.json.unreadable-20260304-050607-3")), QByteArray("third"));
        QVERIFY(!QFileInfo::exists(path));
    }

    // What is kept aside may hold secrets that an older version left readable to others: once moved
    // it is its owner's alone. A link is moved as it is; what it points to is not the program's.
    void whatIsSetAsideIsClosedToOthers()
    {
        QTemporaryDir dir;
        const QString outside = dir.filePath("outside.json");
        QVERIFY(writeFile(dir.filePath("file.json"), "{"));
        QVERIFY(QDir().mkpath(dir.filePath("folder.json")));
        QVERIFY(writeFile(outside, "mine"));
        QVERIFY(QFile::link(outside, dir.filePath("link.json")));
        // name → mode it was left with, mode of what is set aside (of the link's target for the link)
        const QList<std::tuple<QString, int, int>> cases{
            {"file.json", 0644, 0600}, {"folder.json", 0755, 0700}, {"link.json", 0644, 0644}};
        for (const auto& [name, before, after] : cases) {
            QCOMPARE(::chmod(QFile::encodeName(dir.filePath(name)).constData(), mode_t(before)), 0);
            const QString aside = StoreFile::quarantine(dir.filePath(name), kNow);
            QCOMPARE(aside, dir.filePath(name + ".unreadable-20260304-050607"));
            struct stat status
            {};
            QCOMPARE(::stat(QFile::encodeName(aside).constData(), &status), 0);
            QCOMPARE(int(status.st_mode & 07777), after);
        }
    }

    void quarantineOfNothingReportsNothingMoved()
    {
        QTemporaryDir dir;
        QCOMPARE(StoreFile::quarantine(dir.filePath("absent.json"), kNow), QString());
    }

    void writeCreatesTheFolderAndReplacesWholeFiles()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("a/b/store.json");
        QVERIFY(StoreFile::writeAtomically(path, "a long first version"));
        QCOMPARE(readFile(path), QByteArray("a long first version"));
        QVERIFY(StoreFile::writeAtomically(path, "short"));
        QCOMPARE(readFile(path), QByteArray("short"));
        // Only the file itself: no temporary left behind.
        QCOMPARE(QDir(dir.filePath("a/b")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{"store.json"});
    }

    void failedWriteKeepsTheOldFileAndSaysWhy()
    {
        QTemporaryDir dir;
        // The folder cannot be made because a plain file holds its name.
        QVERIFY(writeFile(dir.filePath("blocker"), "old"));
        QString error;
        QVERIFY(!StoreFile::writeAtomically(dir.filePath("blocker/store.json"), "new", &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(readFile(dir.filePath("blocker")), QByteArray("old"));

        // The target is a folder: QSaveFile cannot rename over it, and it must survive.
        const QString folder = dir.filePath("store.json");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(writeFile(folder + "/inner.txt", "kept"));
        error.clear();
        QVERIFY(!StoreFile::writeAtomically(folder, "new", &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(readFile(folder + "/inner.txt"), QByteArray("kept"));
    }
};

MURMO_TEST(TestStoreFile)
#include "tst_StoreFile.moc"
