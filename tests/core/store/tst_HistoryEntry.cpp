#include "core/store/HistoryEntry.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

namespace {

HistoryEntry sample()
{
    HistoryEntry entry;
    entry.id = QUuid::fromString(QStringLiteral("{0b9e5c7a-3f1d-4e2b-9a6c-8d7e6f5a4b3c}"));
    entry.timestamp = QDateTime(QDate(2025, 12, 1), QTime(8, 30, 0, 500), Qt::UTC);
    entry.asrText = QStringLiteral("嗯 明天三点开会");
    entry.finalText = QStringLiteral("明天三点开会。\n请准时。");
    entry.modeId = QStringLiteral("formal");
    entry.providerId = QStringLiteral("gateway");
    return entry;
}

} // namespace

class TestHistoryEntry : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writtenForm()
    {
        HistoryEntry withAudio = sample();
        withAudio.action = QStringLiteral("translate");
        withAudio.audioFileName = QStringLiteral("0B9E5C7A-3F1D-4E2B-9A6C-8D7E6F5A4B3C.ogg");
        QCOMPARE(HistoryEntry::encodeList({sample(), withAudio}),
                 QByteArray("[{\"asrText\":\"嗯 明天三点开会\",\"finalText\":\"明天三点开会。\\n请准时。\","
                            "\"id\":\"0B9E5C7A-3F1D-4E2B-9A6C-8D7E6F5A4B3C\",\"modeId\":\"formal\","
                            "\"providerId\":\"gateway\",\"timestamp\":786270600.5},"
                            "{\"action\":\"translate\",\"asrText\":\"嗯 明天三点开会\","
                            "\"audioFileName\":\"0B9E5C7A-3F1D-4E2B-9A6C-8D7E6F5A4B3C.ogg\","
                            "\"finalText\":\"明天三点开会。\\n请准时。\","
                            "\"id\":\"0B9E5C7A-3F1D-4E2B-9A6C-8D7E6F5A4B3C\",\"modeId\":\"formal\","
                            "\"providerId\":\"gateway\",\"timestamp\":786270600.5}]"));
    }

    void readForm_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("readable");
        QTest::addColumn<QString>("action");
        QTest::addColumn<double>("seconds");
        const QByteArray base = R"("id":"0b9e5c7a-3f1d-4e2b-9a6c-8d7e6f5a4b3c","asrText":"a","finalText":"b",)"
                                R"("modeId":"m","providerId":"p")";
        QTest::newRow("minimal") << "[{" + base + R"(,"timestamp":-1.25}])" << true << QString() << -1.25;
        QTest::newRow("whole seconds") << "[{" + base + R"(,"timestamp":0}])" << true << QString() << 0.0;
        QTest::newRow("action") << "[{" + base + R"(,"timestamp":1,"action":"ask"}])" << true << "ask" << 1.0;
        QTest::newRow("null action means none")
            << "[{" + base + R"(,"timestamp":1,"action":null,"audioFileName":null}])" << true << QString() << 1.0;
        QTest::newRow("unknown keys are ignored")
            << "[{" + base + R"(,"timestamp":1,"pinned":true}])" << true << QString() << 1.0;
        QTest::newRow("empty history") << QByteArray("[]") << true << QString() << 0.0;
        QTest::newRow("missing modeId")
            << QByteArray(R"([{"id":"0B9E5C7A-3F1D-4E2B-9A6C-8D7E6F5A4B3C","asrText":"a","finalText":"b",)"
                          R"("providerId":"p","timestamp":1}])")
            << false << QString() << 0.0;
        QTest::newRow("missing timestamp") << "[{" + base + "}]" << false << QString() << 0.0;
        QTest::newRow("timestamp as text") << "[{" + base + R"(,"timestamp":"1"}])" << false << QString() << 0.0;
        QTest::newRow("timestamp out of range") << "[{" + base + R"(,"timestamp":1e300}])" << false << QString() << 0.0;
        QTest::newRow("number as text") << QByteArray(
                                               R"([{"id":"0B9E5C7A-3F1D-4E2B-9A6C-8D7E6F5A4B3C","asrText":1,)"
                                               R"("finalText":"b","modeId":"m","providerId":"p","timestamp":1}])")
                                        << false << QString() << 0.0;
        QTest::newRow("cut at as text") << "[{" + base + R"(,"timestamp":1,"cutAt":"3.9"}])" << false << QString()
                                        << 0.0;
        QTest::newRow("action not text") << "[{" + base + R"(,"timestamp":1,"action":3}])" << false << QString() << 0.0;
        QTest::newRow("not a UUID")
            << QByteArray(
                   R"([{"id":"entry-1","asrText":"a","finalText":"b","modeId":"m","providerId":"p","timestamp":1}])")
            << false << QString() << 0.0;
        QTest::newRow("one bad entry spoils the file")
            << "[{" + base + R"(,"timestamp":1},7])" << false << QString() << 0.0;
        QTest::newRow("object instead of array") << "{" + base + R"(,"timestamp":1})" << false << QString() << 0.0;
        QTest::newRow("cut short") << "[{" + base << false << QString() << 0.0;
        QTest::newRow("empty file") << QByteArray() << false << QString() << 0.0;
    }

    void readForm()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, readable);
        QFETCH(QString, action);
        QFETCH(double, seconds);
        const std::optional<QList<HistoryEntry>> entries = HistoryEntry::decodeList(json);
        QCOMPARE(entries.has_value(), readable);
        if (!entries || entries->isEmpty())
            return;
        const HistoryEntry& entry = entries->front();
        QCOMPARE(entry.idText(), QStringLiteral("0B9E5C7A-3F1D-4E2B-9A6C-8D7E6F5A4B3C"));
        QCOMPARE(entry.asrText, QStringLiteral("a"));
        QCOMPARE(entry.modeId, QStringLiteral("m"));
        QCOMPARE(entry.action.value_or(QString()), action);
        QCOMPARE(entry.action.has_value(), !action.isNull());
        QVERIFY(!entry.audioFileName);
        QVERIFY(!entry.cutAt);
        const QDateTime reference(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
        QCOMPARE(entry.timestamp, reference.addMSecs(qint64(seconds * 1000)));
    }

    void roundTripKeepsEveryField()
    {
        HistoryEntry a =
            HistoryEntry::make(QStringLiteral("\"引号\" \\ /"), QStringLiteral("👍🏽 e\u0301"),
                               QStringLiteral("casual"), QStringLiteral("deepgram"), QStringLiteral("rewrite"));
        a.audioFileName = a.idText() + QStringLiteral(".ogg");
        a.cutAt = 3.9;
        const HistoryEntry b = HistoryEntry::make(QString(), QString(), QString(), QString());
        const QList<HistoryEntry> entries{a, b};
        QCOMPARE(HistoryEntry::decodeList(HistoryEntry::encodeList(entries)), entries);
        QVERIFY(a.id != b.id);
        QCOMPARE(a.idText(), a.idText().toUpper());
    }
};

MURMO_TEST(TestHistoryEntry)
#include "tst_HistoryEntry.moc"
