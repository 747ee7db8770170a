// A history that is killed mid-write must still load: every entry whose save the store confirmed
// (flush() returned after its add()) is in the file, and no entry names a recording that is missing or half written.
// The test runs this same executable as a child that adds entries until it is killed with SIGKILL.
#include "core/audio/AudioStorage.h"
#include "core/store/HistoryStore.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestRegistry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cmath>
#include <csignal>
#include <unistd.h>

namespace {

constexpr char kChildDirVariable[] = "MURMO_HISTORY_CRASH_CHILD_DIR";
constexpr size_t kRecordingSamples = 1600;
constexpr int kSeedEntries = 1000;

std::vector<float> recording()
{
    std::vector<float> out(kRecordingSamples);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = float(0.4 * std::sin(double(i) * 0.05));
    return out;
}

// The child: adds entries, a recording with every third, and reports each id on stdout only
// once the store has written it. It never stops by itself.
[[noreturn]] void addUntilKilled(const QString& directory)
{
    HistoryStore store(directory);
    const std::vector<float> audio = recording();
    for (int i = 0;; ++i) {
        const HistoryEntry entry = HistoryEntry::make(QStringLiteral("第 %1 条").arg(i), QStringLiteral("text"),
                                                      QStringLiteral("default"), QStringLiteral("gateway"));
        store.add(entry, i % 3 == 0 ? std::span<const float>(audio) : std::span<const float>());
        store.flush();
        const QByteArray line = "added " + entry.idText().toLatin1() + '\n';
        if (::write(STDOUT_FILENO, line.constData(), size_t(line.size())) != line.size())
            ::_exit(3);
    }
}

// Runs before main() in the child so that the test harness never starts there.
const bool kIsChild = [] {
    const QByteArray directory = qgetenv(kChildDirVariable);
    if (!directory.isEmpty())
        addUntilKilled(QFile::decodeName(directory));
    return false;
}();

} // namespace

class TestHistoryStoreCrash : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void killedWhileAddingLosesNothingConfirmed()
    {
        QVERIFY(!kIsChild);
        QRandomGenerator random(20261207);
        for (int round = 0; round < 16; ++round) {
            QTemporaryDir dir;
            QVERIFY(dir.isValid());
            // A history of some size, so that saves take long enough to be interrupted.
            QList<HistoryEntry> seed;
            for (int i = 0; i < kSeedEntries; ++i)
                seed.append(HistoryEntry::make(QStringLiteral("旧 %1").arg(i), QStringLiteral("old"),
                                               QStringLiteral("default"), QStringLiteral("gateway")));
            {
                QFile file(dir.filePath(QStringLiteral("history.json")));
                QVERIFY(file.open(QIODevice::WriteOnly));
                file.write(HistoryEntry::encodeList(seed));
            }

            QProcess child;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QString::fromLatin1(kChildDirVariable), dir.path());
            child.setProcessEnvironment(environment);
            child.start(QCoreApplication::applicationFilePath(), {});
            QVERIFY(child.waitForStarted());

            const int wanted = int(random.bounded(1, 25));
            QSet<QString> confirmed;
            const auto takeLines = [&] {
                while (child.canReadLine()) {
                    const QByteArray line = child.readLine().trimmed();
                    QVERIFY2(line.startsWith("added "), line.constData());
                    confirmed.insert(QString::fromLatin1(line.mid(6)));
                }
            };
            while (confirmed.size() < wanted) {
                QVERIFY2(child.waitForReadyRead(60000), "the child stopped adding");
                takeLines();
            }
            // Land the kill anywhere inside the next adds.
            QThread::usleep(random.bounded(0, 4000));
            ::kill(pid_t(child.processId()), SIGKILL);
            QVERIFY(child.waitForFinished(30000));
            QCOMPARE(child.exitStatus(), QProcess::CrashExit);
            takeLines();

            const std::optional<QList<HistoryEntry>> saved =
                HistoryEntry::decodeList(readFile(dir.filePath(QStringLiteral("history.json"))));
            QVERIFY2(saved, qPrintable(QStringLiteral("round %1: history.json does not parse").arg(round)));
            QSet<QString> ids;
            for (const HistoryEntry& entry : *saved) {
                ids.insert(entry.idText());
                if (entry.audioFileName) {
                    const QString path = dir.filePath(QStringLiteral("recordings/")) + *entry.audioFileName;
                    QCOMPARE(AudioStorage::readSamples(path).size(), kRecordingSamples);
                }
            }
            for (const HistoryEntry& entry : seed)
                QVERIFY(ids.contains(entry.idText()));
            for (const QString& id : confirmed)
                QVERIFY2(ids.contains(id), qPrintable(QStringLiteral("round %1 lost %2").arg(round).arg(id)));
            // At most the add that was cut off after saving but before reporting is extra.
            QVERIFY(saved->size() <= kSeedEntries + confirmed.size() + 1);

            // The next start reads the file as it is; nothing is moved aside.
            HistoryStore restarted(dir.path());
            restarted.flush();
            QCOMPARE(restarted.all().size(), saved->size());
            QCOMPARE(QDir(dir.path()).entryList({QStringLiteral("*.unreadable-*")}), QStringList());
        }
    }
};

MURMO_TEST(TestHistoryStoreCrash)
#include "tst_HistoryStoreCrash.moc"
