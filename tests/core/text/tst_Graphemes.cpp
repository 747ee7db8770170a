#include "core/text/Graphemes.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

namespace {

// Long texts mixing plain characters with clusters that span several code points: flags
// (regional indicator pairs, whose pairing depends on everything before them), ZWJ emoji,
// skin tones, combining accents, Hangul jamo.
QString mixed(int seed, int length)
{
    static const QStringList fragments{
        QStringLiteral("今天"),
        QStringLiteral("abc "),
        QStringLiteral("🇨🇳🇺🇸🇯🇵"),
        QStringLiteral("👩‍👩‍👧"),
        QStringLiteral("👍🏽"),
        QStringLiteral("e\u0301\u0323"),
        QStringLiteral("\u1100\u1161\u11A8"),
        QStringLiteral("。"),
        QStringLiteral("\r\n"),
        QStringLiteral("🇫"),
    };
    QString text;
    quint32 state = quint32(seed);
    while (text.size() < length) {
        state = state * 1664525u + 1013904223u;
        text += fragments[int((state >> 16) % quint32(fragments.size()))];
    }
    return text;
}

} // namespace

class TestGraphemes : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void basics()
    {
        const QString text = QStringLiteral("a👍🏽e\u0301好");
        QCOMPARE(Graphemes::count(text), qsizetype(4));
        QCOMPARE(Graphemes::left(text, 2), QStringLiteral("a👍🏽"));
        QCOMPARE(Graphemes::right(text, 2), QStringLiteral("e\u0301好"));
        QCOMPARE(Graphemes::left(text, 0), QString());
        QCOMPARE(Graphemes::right(text, 9), text);
    }

    // The ends of long texts are found without segmenting all of them; they must still be exactly
    // the clusters a whole-text segmentation gives.
    void endsOfLongTextsMatchWholeSegmentation_data()
    {
        QTest::addColumn<QString>("text");
        for (int seed = 1; seed <= 12; ++seed)
            QTest::addRow("mixed %d", seed) << mixed(seed, 3000);
        QTest::newRow("flags only") << QStringLiteral("🇨🇳").repeated(400) + QStringLiteral("🇫");
        QTest::newRow("accents only") << QStringLiteral("a\u0301").repeated(900);
        QTest::newRow("Chinese only") << QStringLiteral("好").repeated(2000);
        QTest::newRow("one huge cluster") << QStringLiteral("a") + QString(3000, QChar(0x0301)) + QStringLiteral("好");
    }

    void endsOfLongTextsMatchWholeSegmentation()
    {
        QFETCH(QString, text);
        const QStringList all = Graphemes::split(text);
        for (const qsizetype n : {qsizetype(1), qsizetype(4), qsizetype(200), qsizetype(700)}) {
            const qsizetype k = std::min(n, all.size());
            QCOMPARE(Graphemes::left(text, n), all.mid(0, k).join(QString()));
            QCOMPARE(Graphemes::right(text, n), all.mid(all.size() - k).join(QString()));
        }
    }
};

MURMO_TEST(TestGraphemes)
#include "tst_Graphemes.moc"
