#include "core/text/AnswerGuards.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

namespace {

QString s(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace

class TestAnswerGuards : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void guard_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("sent");
        QTest::addColumn<QString>("expected");

        const QString sent = s("帮我约一下明天的会");
        QTest::newRow("a normal answer stays") << s("帮我约一下明天的会。") << sent << s("帮我约一下明天的会。");
        QTest::newRow("a blank answer becomes the sent text") << s(" \n\xe3\x80\x80") << sent << sent;
        QTest::newRow("a blank answer to a blank text stays as it came") << s(" \n") << s("") << s(" \n");
        QTest::newRow("a short refusal becomes the sent text") << s("请提供需要整理的文本。") << sent << sent;
        QTest::newRow("a refusal of an empty text becomes the empty text") << s("请提供文本") << s("") << s("");
        QTest::newRow("79 characters with a marker are a refusal")
            << s("请提供") + QString(76, QChar(0x5B57)) << sent << sent;
        QTest::newRow("80 characters with a marker are an answer")
            << s("请提供") + QString(77, QChar(0x5B57)) << sent << s("请提供") + QString(77, QChar(0x5B57));
        QTest::newRow("length counts characters, not code units")
            << s("请提供") + QString(38, QChar(0x5B57)) + QString::fromUtf8("😀").repeated(38) << sent << sent;
        QTest::newRow("a marker the user said themselves")
            << s("请提供身份证。") << s("请提供身份证") << s("请提供身份证。");
        QTest::newRow("only the first marker in table order is judged")
            << s("I'm ready. 我已准备好") << s("我已准备好了吗") << s("I'm ready. 我已准备好");
        QTest::newRow("the first marker decides even when a later one would not")
            << s("我已准备好 I'm ready") << s("I'm ready") << s("I'm ready");
        QTest::newRow("markers are case-sensitive") << s("i'm READY") << sent << s("i'm READY");
        QTest::newRow("delimiters leaking into the answer") << s("<<<听写稿 你好") << s("你好") << s("你好");
        QTest::newRow("an English offer") << s("Please provide the text you want me to tidy.") << s("嗯") << s("嗯");
    }

    void guard()
    {
        QFETCH(QString, answer);
        QFETCH(QString, sent);
        QFETCH(QString, expected);
        QCOMPARE(AnswerGuards::guard(answer, sent), expected);
    }

    void markersAreTheKnownNonAnswers()
    {
        QCOMPARE(AnswerGuards::refusalMarkers.size(), 21);
        QCOMPARE(AnswerGuards::refusalMarkers.first(), s("请提供"));
        QCOMPARE(AnswerGuards::refusalMarkers.last(), s("please provide"));
    }

    void withoutTrailingPeriods_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("mixed run") << s("好的。.。.") << s("好的");
        QTest::newRow("inner periods stay") << s("v1.2 好。") << s("v1.2 好");
        QTest::newRow("only periods") << s("。。") << s("");
        QTest::newRow("other punctuation stays") << s("好！") << s("好！");
        QTest::newRow("full-width full stop is not an ideographic one") << s("好．") << s("好．");
        QTest::newRow("empty") << s("") << s("");
    }

    void withoutTrailingPeriods()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(AnswerGuards::withoutTrailingPeriods(text), expected);
    }
};

MURMO_TEST(TestAnswerGuards)
#include "tst_AnswerGuards.moc"
