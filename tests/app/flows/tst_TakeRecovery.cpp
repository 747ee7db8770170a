#include "app/controller/TakeRecovery.h"
#include "core/audio/TakeJournal.h"
#include "core/store/HistoryStore.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

#include <cmath>
#include <optional>

namespace {

// A take file as a killed run leaves it: header, then `count` 16-bit samples at `rate`.
QByteArray leftTake(qint32 rate, qint64 count)
{
    QByteArray bytes("MURMOTK1");
    const qint32 channels = 1;
    bytes.append(reinterpret_cast<const char*>(&rate), sizeof rate);
    bytes.append(reinterpret_cast<const char*>(&channels), sizeof channels);
    for (qint64 i = 0; i < count; ++i) {
        const auto sample = qint16(6000 * std::sin(double(i) * 0.03));
        bytes.append(reinterpret_cast<const char*>(&sample), sizeof sample);
    }
    return bytes;
}

struct RecoveryRig
{
    QTemporaryDir dir;
    std::optional<HistoryStore> history;
    QThreadPool workers;
    QString journal;

    explicit RecoveryRig(const QByteArray& left)
    {
        history.emplace(dir.path());
        journal = QDir(history->recordingsDir()).filePath(QStringLiteral("left") + TakeJournal::kSuffix);
        writeFile(journal, left);
    }

    // Files what was left; the number of takes filed.
    int recover()
    {
        TakeRecovery recovery(*history, workers);
        QSignalSpy filed(&recovery, &TakeRecovery::filed);
        recovery.file(HistoryEntry::make(QString(), HistoryEntry::kFailedText, QStringLiteral("formal"),
                                         QStringLiteral("gateway"), QStringLiteral("dictate")));
        return filed.wait(20000) ? filed.first().first().toInt() : -1;
    }

    QStringList aside() const
    {
        return QDir(history->recordingsDir()).entryList({QStringLiteral("*.unreadable-*")}, QDir::Files);
    }
};

} // namespace

class TestTakeRecovery : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A take left by a crash becomes a failed entry with its recording, and its file goes once
    // both are on disk. One too short for speech just goes; a file this program did not write is
    // set aside for the user, not deleted, and the next start passes it by.
    void leftTakesAreFiledOrSetAside_data()
    {
        QTest::addColumn<QByteArray>("left");
        QTest::addColumn<int>("filed");
        QTest::addColumn<int>("setAside");
        QTest::newRow("a second at 48 kHz") << leftTake(48000, 48000) << 1 << 0;
        QTest::newRow("too short for speech") << leftTake(16000, 1600) << 0 << 0;
        QTest::newRow("64 KB claiming 2 Hz") << leftTake(2, 32768) << 0 << 1;
        QTest::newRow("claiming 1 Hz") << leftTake(1, 1000) << 0 << 1;
        QTest::newRow("cut inside its header") << QByteArray("MURMOTK1\x80") << 0 << 1;
    }

    void leftTakesAreFiledOrSetAside()
    {
        QFETCH(QByteArray, left);
        QFETCH(int, filed);
        QFETCH(int, setAside);
        RecoveryRig rig(left);
        QCOMPARE(rig.recover(), filed);
        QVERIFY(rig.history->flush());
        QCOMPARE(rig.history->all().size(), filed);
        QCOMPARE(rig.aside().size(), setAside);
        QVERIFY(TakeJournal::leftIn(rig.history->recordingsDir()).isEmpty());
        if (filed == 0)
            return;
        const HistoryEntry entry = rig.history->all().first();
        QCOMPARE(entry.finalText, HistoryEntry::kFailedText);
        const HistoryStore::Audio audio = rig.history->audioOf(entry.id);
        QVERIFY(audio.file);
        QVERIFY(qAbs(qsizetype(audio.read().size()) - 16000) < 400);
    }

    // On a full disk the take is filed all the same, its audio held for a retry, and its file
    // stays until the entry and the recording are written: a crash meanwhile loses nothing.
    void aTakeFiledOnAFullDiskKeepsItsFileUntilWritten()
    {
        RecoveryRig rig(leftTake(16000, 16000));
        std::optional<FileSizeLimit> full(std::in_place);
        QCOMPARE(rig.recover(), 1);
        QVERIFY(!rig.history->flush());
        QVERIFY(QFile::exists(rig.journal));
        const QUuid id = rig.history->all().first().id;
        QVERIFY(rig.history->audioOf(id).held);

        full.reset();
        rig.history->saveAgain();
        QVERIFY(rig.history->flush());
        QVERIFY(rig.history->audioOf(id).file);
        QVERIFY(!QFile::exists(rig.journal));
    }
};

MURMO_TEST(TestTakeRecovery)
#include "tst_TakeRecovery.moc"
