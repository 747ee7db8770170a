#include "app/desktop/BackgroundDucker.h"
#include "tests/support/FakeOutputVolume.h"
#include "tests/support/RunTask.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestRegistry.h"

#include <QTemporaryDir>
#include <QTest>
#include <QThread>

namespace {

// Notes which thread each sound-server call came from.
class ThreadNotingVolume : public FakeOutputVolume
{
public:
    QList<QThread*> threads;

    std::optional<Reading> defaultOutput() override
    {
        threads.append(QThread::currentThread());
        return FakeOutputVolume::defaultOutput();
    }
};

} // namespace

class TestBackgroundDucker : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void callsRunOffTheMainThreadInOrder()
    {
        QTemporaryDir dir;
        ThreadNotingVolume output;
        BackgroundDucker ducker(output, dir.filePath(QStringLiteral("ducked-volume.json")));
        // Started back to back without awaiting: the restore must still see the duck's work.
        QCoro::Task<void> duck = ducker.duck();
        QCoro::Task<void> restore = ducker.restore();
        runTask(std::move(duck));
        runTask(std::move(restore));
        QCOMPARE(output.changes, (QStringList{QStringLiteral("speakers=0.2"), QStringLiteral("speakers=0.8")}));
        QCOMPARE(output.threads.size(), 2);
        for (QThread* thread : output.threads)
            QVERIFY(thread != QThread::currentThread());
    }

    void restoresAfterACrashInTheBackground()
    {
        QTemporaryDir dir;
        const QString stateFile = dir.filePath(QStringLiteral("ducked-volume.json"));
        QVERIFY(writeFile(stateFile, R"({"sink":"speakers","volume":0.7})"));
        ThreadNotingVolume output;
        output.volumes[QStringLiteral("speakers")] = 0.2f;
        BackgroundDucker ducker(output, stateFile);
        runTask(ducker.restoreAfterCrash());
        QCOMPARE(output.volumes.value(QStringLiteral("speakers")), 0.7f);
        QVERIFY(!QFile::exists(stateFile));
        QVERIFY(!output.threads.isEmpty() && output.threads.first() != QThread::currentThread());
    }

    void destructionWaitsForTheRunningCall()
    {
        ThreadNotingVolume output;
        {
            BackgroundDucker ducker(output, QString());
            QCoro::Task<void> pending = ducker.duck();
            Q_UNUSED(pending);
        }
        QCOMPARE(output.changes, QStringList{QStringLiteral("speakers=0.2")});
        // Lets the abandoned task see its finished future and end.
        QCoreApplication::processEvents();
    }
};

MURMO_TEST(TestBackgroundDucker)
#include "tst_BackgroundDucker.moc"
