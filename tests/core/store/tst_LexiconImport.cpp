#include "core/store/LexiconImport.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

using Entry = LexiconImport::Entry;
using Entries = QList<Entry>;

namespace {

Entry rule(const QString& wrong, const QString& right)
{
    return Entry{Entry::Kind::Rule, wrong, right};
}

Entry hotword(const QString& word)
{
    return Entry{Entry::Kind::Hotword, word, QString()};
}

} // namespace

namespace QTest {
template <> char* toString(const Entry& entry)
{
    return entry.kind == Entry::Kind::Rule
               ? QTest::toString(QStringLiteral("rule(%1|%2)").arg(entry.wrong, entry.right))
               : QTest::toString(QStringLiteral("hotword(%1)").arg(entry.wrong));
}
} // namespace QTest

class TestLexiconImport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Entries>("entries");

        QTest::newRow("the three arrows")
            << "a -> b\nc → d\ne => f" << Entries{rule("a", "b"), rule("c", "d"), rule("e", "f")};
        QTest::newRow("comment and empty lines")
            << "# note\n\n   \n\t# indented note\nword" << Entries{hotword("word")};
        QTest::newRow("inner blanks of a hotword are kept") << "  New  York \t" << Entries{hotword("New  York")};
        QTest::newRow("arrow twice is skipped") << "a->b->c\nd" << Entries{hotword("d")};
        QTest::newRow("first arrow in order decides") << "a => b -> c" << Entries{rule("a => b", "c")};
        QTest::newRow("later arrow inside a side is text") << "x → y => z" << Entries{rule("x", "y => z")};
        QTest::newRow("arrow twice of the deciding kind") << "a → b → c => d" << Entries{};
        QTest::newRow("empty side is still a rule line") << "x ->  " << Entries{rule("x", "")};
        QTest::newRow("every line end") << "a\rb\r\nc\x0b"
                                           "d\x0c"
                                           "e\u0085f\u2028g\u2029h"
                                        << Entries{hotword("a"), hotword("b"), hotword("c"), hotword("d"),
                                                   hotword("e"), hotword("f"), hotword("g"), hotword("h")};
        QTest::newRow("no-break and ideographic spaces are trimmed")
            << "\u00a0gpt\u3000->\u2003GPT\u00a0" << Entries{rule("gpt", "GPT")};
        QTest::newRow("hash inside a line is text") << "C# -> C Sharp" << Entries{rule("C#", "C Sharp")};
        QTest::newRow("Chinese rule") << "北经 → 北京" << Entries{rule("北经", "北京")};
    }

    void parse()
    {
        QFETCH(QString, text);
        QFETCH(Entries, entries);
        QCOMPARE(LexiconImport::parse(text), entries);
    }
};

MURMO_TEST(TestLexiconImport)
#include "tst_LexiconImport.moc"
