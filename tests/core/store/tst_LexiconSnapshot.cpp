#include "core/store/LexiconSnapshot.h"
#include "tests/core/store/LexiconFixtures.h"
#include "tests/support/TestRegistry.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

#include <limits>

using namespace LexiconFixtures;

class TestLexiconSnapshot : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodesEveryField()
    {
        const QByteArray bytes =
            R"({"hotwords":["Kelto","西湖"],"rules":[{"id":"6f1c2a3b-4d5e-4f60-8a7b-9c0d1e2f3a4b",)"
            R"("wrong":"teh ","right":"the","hitCount":12,"source":"auto_edit",)"
            R"("createdAt":786543210.123456}],"extra":1})";
        const std::optional<LexiconSnapshot> snapshot = LexiconSnapshot::decode(bytes);
        QVERIFY(snapshot);
        QCOMPARE(snapshot->hotwords.toStringList(), (QStringList{"Kelto", "西湖"}));
        QCOMPARE(snapshot->rules.size(), 1);
        const LearnedRule& rule = snapshot->rules.first();
        QCOMPARE(rule.id, QUuid::fromString(QStringLiteral("6F1C2A3B-4D5E-4F60-8A7B-9C0D1E2F3A4B")));
        QCOMPARE(rule.wrong, QString("teh "));
        QCOMPARE(rule.right, QString("the"));
        QCOMPARE(rule.hitCount, 12);
        QCOMPARE(rule.source, QString("auto_edit"));
        QCOMPARE(rule.createdAt, 786543210.123456);
        QCOMPARE(rule.createdAtTime(), QDateTime(QDate(2025, 12, 4), QTime(12, 13, 30, 123), Qt::UTC));
    }

    void encodesWhatItDecodes()
    {
        const QByteArray bytes =
            document({{"teh", "the", 9007199254740993, "seed", idNumber(7), 786543210.123456}}, {"a", "a"});
        const std::optional<LexiconSnapshot> snapshot = LexiconSnapshot::decode(bytes);
        QVERIFY(snapshot);
        QCOMPARE(snapshot->rules.first().hitCount, 9007199254740993);
        const QByteArray encoded = snapshot->encode();
        QCOMPARE(encoded, QByteArray(R"({"hotwords":["a","a"],"rules":[{"createdAt":786543210.123456,)"
                                     R"("hitCount":9007199254740993,"id":"00000000-0000-4000-8000-000000000007",)"
                                     R"("right":"the","source":"seed","wrong":"teh"}]})"));
    }

    void awkwardTextsSurviveARoundTrip()
    {
        LexiconSnapshot snapshot;
        const QStringList texts{"\"quoted\"",   "back\\slash",    "tab\tline\nend", QString(QChar(0)) + "nul",
                                "\u2028\u2029", "👍🏽西湖", "]},{\"rules\":["};
        for (const QString& text : texts)
            snapshot.rules.append(LearnedRule::make(text, text + "!", text));
        snapshot.hotwords = WordList(texts);
        const std::optional<LexiconSnapshot> decoded = LexiconSnapshot::decode(snapshot.encode());
        QVERIFY(decoded);
        QCOMPARE(decoded->rules, snapshot.rules);
        QCOMPARE(decoded->hotwords.toStringList(), texts);
        QCOMPARE(LexiconSnapshot().encode(), QByteArray(R"({"hotwords":[],"rules":[]})"));
    }

    // The document is written without a JSON tree; it must be the tree's text, byte for byte, also
    // for texts and numbers the decoder never produces (lone surrogates, every control character,
    // counts and times at their limits).
    void writesWhatTheJsonEncoderWrites()
    {
        QStringList texts{"plain", "\"\\/", "\b\f\n\r\t\x7f", "é西👍🏽", "\u2028", ""};
        QString controls;
        for (char16_t unit = 0; unit < 0x20; ++unit)
            controls.append(QChar(unit));
        texts << controls << QString(QChar(0xD800)) + "a"
              << "b" + QString(QChar(0xDC00)) << QString(QChar(0xDBFF)) << QString(QChar(0xDC00)) + QChar(0xD800)
              << QString(QChar(0xFFFF));
        // Whole numbers of every size: the encoder writes those up to 2^53 as integers, the rest as
        // doubles, switching to an exponent where that is shorter.
        const double exact = double(1LL << 53);
        const QList<double> times{0,         -0.0,
                                  -1.5,      786543210.123456,
                                  0.1,       1e21,
                                  1e-7,      5e-324,
                                  7,         -7,
                                  786000000, -786000000,
                                  1e15,      exact,
                                  -exact,    exact + 2,
                                  1e16,      123456789012345678.0,
                                  1e22,      -1e21,
                                  1.5e300};
        const QList<qint64> counts{0, 1, -7, std::numeric_limits<qint64>::max(), std::numeric_limits<qint64>::min()};
        LexiconSnapshot snapshot;
        QJsonArray rules;
        // Enough rules that they are encoded in several slices.
        for (qsizetype i = 0; i < 5000; ++i) {
            LearnedRule rule = LearnedRule::make(texts[i % texts.size()], texts[(i + 1) % texts.size()],
                                                 texts[(i + 2) % texts.size()]);
            rule.createdAt = times[i % times.size()];
            rule.hitCount = counts[i % counts.size()];
            snapshot.rules.append(rule);
            rules.append(rule.toJson());
        }
        for (int i = 0; i < 1000; ++i)
            snapshot.hotwords.append(texts[i % texts.size()] + QString::number(i));
        const QJsonObject tree{{"rules", rules},
                               {"hotwords", QJsonArray::fromStringList(snapshot.hotwords.toStringList())}};
        QCOMPARE(snapshot.encode(), QJsonDocument(tree).toJson(QJsonDocument::Compact));
        QCOMPARE(snapshot.encodedSize(), snapshot.encode().size());
    }

    // The program's own documents are read a few thousand elements at a time, anything else as a
    // whole: both read the same, and refuse the same, whichever piece holds the fault.
    void readsItsOwnDocumentsAsTheWholeReads_data()
    {
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<bool>("readable");
        QTest::addRow("as written") << QByteArray() << QByteArray() << true;
        QTest::addRow("a lone surrogate late on") << QByteArray("word4999") << QByteArray("word4999\\ud800") << true;
        QTest::addRow("a count that is text, late on")
            << QByteArray("\"hitCount\":4999,") << QByteArray("\"hitCount\":\"4999\",") << false;
        QTest::addRow("a hotword that is a number") << QByteArray("\"hot2500\"") << QByteArray("2500") << false;
        QTest::addRow("an unfinished string") << QByteArray("\"hot2500\"") << QByteArray("\"hot2500") << false;
        QTest::addRow("one bracket too many") << QByteArray("]}") << QByteArray("]]}") << false;
    }
    void readsItsOwnDocumentsAsTheWholeReads()
    {
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QFETCH(bool, readable);
        LexiconSnapshot snapshot;
        for (int i = 0; i < 5000; ++i) {
            LearnedRule rule =
                LearnedRule::make(QStringLiteral("word%1\t\"{").arg(i), QStringLiteral("词%1").arg(i), "seed");
            rule.hitCount = i;
            snapshot.rules.append(rule);
            snapshot.hotwords.append(QStringLiteral("hot%1").arg(i));
        }
        QByteArray bytes = snapshot.encode();
        if (!from.isEmpty()) {
            const qsizetype at = bytes.lastIndexOf(from);
            QVERIFY(at >= 0);
            bytes.replace(at, from.size(), to);
        }
        // A blank ahead leaves it to the whole document's parse.
        const std::optional<LexiconSnapshot> whole = LexiconSnapshot::decode(" " + bytes);
        const std::optional<LexiconSnapshot> inPieces = LexiconSnapshot::decode(bytes);
        QCOMPARE(bool(inPieces), readable);
        QCOMPARE(bool(whole), readable);
        if (readable) {
            QCOMPARE(inPieces->rules, whole->rules);
            QCOMPARE(inPieces->hotwords, whole->hotwords);
            QCOMPARE(inPieces->encode(), whole->encode());
        }
        if (from.isEmpty())
            QCOMPARE(inPieces->encode(), bytes);
    }

    void loneSurrogatesFromOutsideAreRepaired()
    {
        const std::optional<LexiconSnapshot> snapshot =
            LexiconSnapshot::decode(R"({"rules":[],"hotwords":["Murmo\ud800"]})");
        QVERIFY(snapshot);
        QCOMPARE(snapshot->hotwords.toStringList(), QStringList{QStringLiteral("Murmo\uFFFD")});
    }

    void idsAreWrittenUpperCase()
    {
        LearnedRule rule =
            LearnedRule::make("teh", "the", "user_added", QDateTime(QDate(2001, 1, 2), QTime(0, 0, 1, 500), Qt::UTC));
        rule.id = QUuid::fromString(QStringLiteral("6f1c2a3b-4d5e-4f60-8a7b-9c0d1e2f3a4b"));
        QCOMPARE(rule.createdAt, 86401.5);
        QCOMPARE(rule.toJson().value("id").toString(), QString("6F1C2A3B-4D5E-4F60-8A7B-9C0D1E2F3A4B"));
    }

    void rejectsIncompleteDocuments_data()
    {
        QTest::addColumn<QByteArray>("bytes");

        const QByteArray goodRule = R"({"id":"00000000-0000-4000-8000-000000000001","wrong":"a","right":"b",)"
                                    R"("hitCount":0,"source":"seed","createdAt":1})";
        QTest::newRow("control: a good document") << QByteArray();
        QTest::newRow("not JSON") << QByteArray("{\"rules\":[");
        QTest::newRow("top-level array") << QByteArray("[]");
        QTest::newRow("no rules") << QByteArray(R"({"hotwords":[]})");
        QTest::newRow("no hotwords") << QByteArray(R"({"rules":[]})");
        QTest::newRow("rules not an array") << QByteArray(R"({"rules":{},"hotwords":[]})");
        QTest::newRow("hotword not a string") << QByteArray(R"({"rules":[],"hotwords":["a",1]})");
        QTest::newRow("rule not an object") << QByteArray(R"({"rules":["a"],"hotwords":[]})");
        const QStringList keys{"id", "wrong", "right", "hitCount", "source", "createdAt"};
        for (const QString& key : keys) {
            QByteArray rule = goodRule;
            rule.replace("\"" + key.toUtf8() + "\"", "\"x" + key.toUtf8() + "\"");
            QTest::addRow("rule without %s", qPrintable(key)) << R"({"hotwords":[],"rules":[)" + rule + "]}";
        }
        const auto with = [&goodRule](const QByteArray& from, const QByteArray& to) {
            QByteArray rule = goodRule;
            rule.replace(from, to);
            return R"({"hotwords":[],"rules":[)" + rule + "]}";
        };
        QTest::newRow("fractional hit count") << with(R"("hitCount":0)", R"("hitCount":1.5)");
        QTest::newRow("hit count as text") << with(R"("hitCount":0)", R"("hitCount":"0")");
        QTest::newRow("date as text") << with(R"("createdAt":1)", R"("createdAt":"2001-01-01")");
        QTest::newRow("id in braces") << with(R"("00000000-0000-4000-8000-000000000001")",
                                              R"("{00000000-0000-4000-8000-000000000001}")");
        QTest::newRow("id not a UUID") << with(R"("00000000-0000-4000-8000-000000000001")",
                                               R"("00000000-0000-4000-8000-00000000000g")");
        QTest::newRow("wrong as a number") << with(R"("wrong":"a")", R"("wrong":1)");
    }

    void rejectsIncompleteDocuments()
    {
        QFETCH(QByteArray, bytes);
        if (bytes.isEmpty()) {
            QVERIFY(LexiconSnapshot::decode(document({{"a", "b"}})));
            return;
        }
        QCOMPARE(LexiconSnapshot::decode(bytes).has_value(), false);
    }
};

MURMO_TEST(TestLexiconSnapshot)
#include "tst_LexiconSnapshot.moc"
