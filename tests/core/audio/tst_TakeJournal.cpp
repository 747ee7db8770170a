#include "core/audio/TakeJournal.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestRegistry.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

namespace {

// A take file as the recorder lays it out: "MURMOTK1", the rate and the channel count (host
// order), then `count` 16-bit samples of a quiet tone.
QByteArray journalImage(qint32 rate, qint64 count, qint32 channels = 1, const QByteArray& magic = "MURMOTK1")
{
    QByteArray bytes = magic;
    bytes.append(reinterpret_cast<const char*>(&rate), sizeof rate);
    bytes.append(reinterpret_cast<const char*>(&channels), sizeof channels);
    for (qint64 i = 0; i < count; ++i) {
        const auto sample = qint16(8000 * std::sin(double(i) * 0.05));
        bytes.append(reinterpret_cast<const char*>(&sample), sizeof sample);
    }
    return bytes;
}

} // namespace

class TestTakeJournal : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A left file is read back only when it is a journal this program writes: a rate a device
    // records at, one channel, no longer than a journal keeps. Anything else gives nothing, fast
    // and without memory to speak of, and the file stays where it is for its caller to handle.
    void onlyWhatTheRecorderWritesIsReadBack_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint64>("padTo");
        QTest::addColumn<int>("samples"); // -1: not a journal

        const qint64 header = TakeJournal::kHeaderSize;
        QTest::newRow("a second at 16 kHz") << journalImage(16000, 16000) << qint64(0) << 16000;
        QTest::newRow("half a second at 48 kHz") << journalImage(48000, 24000) << qint64(0) << 8000;
        QTest::newRow("cut inside a sample") << journalImage(16000, 1600).append('x') << qint64(0) << 1600;
        QTest::newRow("no samples yet") << journalImage(44100, 0) << qint64(0) << 0;
        QTest::newRow("killed as it was made") << QByteArray() << qint64(0) << 0;
        QTest::newRow("cut inside its header") << journalImage(16000, 0).left(5) << qint64(0) << -1;
        QTest::newRow("another program's file") << journalImage(16000, 160, 1, "RIFFWAVE") << qint64(0) << -1;
        QTest::newRow("two channels") << journalImage(16000, 160, 2) << qint64(0) << -1;
        QTest::newRow("64 KB claiming 2 Hz") << journalImage(2, 32768) << qint64(0) << -1;
        QTest::newRow("claiming 1 Hz") << journalImage(1, 1000) << qint64(0) << -1;
        QTest::newRow("claiming no rate") << journalImage(0, 1000) << qint64(0) << -1;
        QTest::newRow("a negative rate") << journalImage(-16000, 1000) << qint64(0) << -1;
        QTest::newRow("above any device") << journalImage(TakeJournal::kMaxRate + 1, 1000) << qint64(0) << -1;
        // Sparse: the length alone must turn it away, before any of it is read.
        QTest::newRow("longer than a journal keeps")
            << journalImage(8000, 0) << header + 2 * (8000 * TakeJournal::kMaxSeconds + 1) << -1;
    }

    void onlyWhatTheRecorderWritesIsReadBack()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, padTo);
        QFETCH(int, samples);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("left") + TakeJournal::kSuffix);
        QVERIFY(writeFile(path, bytes));
        if (padTo > 0)
            QVERIFY(QFile::resize(path, padTo));

        const std::optional<TakeJournal::Left> left = TakeJournal::readBack(path);
        QCOMPARE(left.has_value(), samples >= 0);
        if (left)
            QVERIFY(std::abs(qsizetype(left->samples.size()) - samples) <= 16);
        QVERIFY(QFile::exists(path));
    }

    // The recorder keeps a journal only at the rates it is read back at, and keeps it to the user.
    void aJournalIsPrivateAndReadableBack_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<bool>("kept");
        QTest::newRow("48 kHz") << 48000 << true;
        QTest::newRow("the lowest") << TakeJournal::kMinRate << true;
        QTest::newRow("below any device") << TakeJournal::kMinRate - 1 << false;
        QTest::newRow("above any device") << TakeJournal::kMaxRate + 1 << false;
    }

    void aJournalIsPrivateAndReadableBack()
    {
        QFETCH(int, rate);
        QFETCH(bool, kept);
        QTemporaryDir dir;
        const TakeJournal journal(dir.path(), {rate, 2});
        QCOMPARE(!journal.path().isEmpty(), kept);
        QCOMPARE(TakeJournal::leftIn(dir.path()).size(), kept ? 1 : 0);
        if (kept) {
            QCOMPARE(QFileInfo(journal.path()).permissions() & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
                     QFileDevice::ReadOwner | QFileDevice::WriteOwner);
            QVERIFY(TakeJournal::readBack(journal.path()));
        }
    }
};

MURMO_TEST(TestTakeJournal)
#include "tst_TakeJournal.moc"
