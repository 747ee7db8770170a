#include "core/text/TranscriptHeuristics.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

using namespace TranscriptHeuristics;

namespace {

QString s(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

QStringList list(std::initializer_list<const char*> items)
{
    QStringList out;
    for (const char* item : items)
        out.append(QString::fromUtf8(item));
    return out;
}

const QStringList kHotwords = list({"Murmo", "Qwen", "Deepgram", "Opus", "PipeWire"});

} // namespace

class TestTranscriptHeuristics : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void boundaryOverlap_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("maxLen");
        QTest::addColumn<int>("minLen");
        QTest::addColumn<int>("expected");

        QTest::newRow("three repeated characters are below the minimum")
            << s("今天天气不错") << s("气不错我们去公园") << 200 << 4 << 0;
        QTest::newRow("five repeated characters")
            << s("我们明天去公园散步") << s("去公园散步然后回家") << 200 << 4 << 5;
        QTest::newRow("the longest overlap wins") << s("xxabab") << s("ababyy") << 200 << 2 << 4;
        QTest::newRow("case matters") << s("Say Hello") << s("hello world") << 200 << 4 << 0;
        QTest::newRow("canonically equivalent accents match")
            << s("un café") << s("cafe\xcc\x81 noir") << 200 << 4 << 4;
        QTest::newRow("an emoji with a modifier is one character")
            << s("好的👍🏽好的") << s("👍🏽好的好吗") << 200 << 3 << 3;
        QTest::newRow("emoji overlap long enough")
            << s("嗯👍🏽好的好的") << s("👍🏽好的好的吧") << 200 << 4 << 5;
        QTest::newRow("an overlap wider than the window is not seen")
            << s("0123456789") << s("0123456789XYZ") << 5 << 4 << 0;
        QTest::newRow("only the window is compared") << s("aaaa0123456789") << s("56789XYZ") << 5 << 4 << 5;
        QTest::newRow("zero minimum still needs one character") << s("ab") << s("cd") << 200 << 0 << 0;
        QTest::newRow("empty text") << s("") << s("abcd") << 200 << 4 << 0;
        QTest::newRow("whole text repeated") << s("天气不错") << s("天气不错") << 200 << 4 << 4;
    }

    void boundaryOverlap()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, maxLen);
        QFETCH(int, minLen);
        QFETCH(int, expected);
        QCOMPARE(longestBoundaryOverlap(a, b, maxLen, minLen), qsizetype(expected));
    }

    void stitchOverlapping_data()
    {
        QTest::addColumn<QStringList>("transcripts");
        QTest::addColumn<QString>("expected");

        QTest::newRow("three repeated characters stay")
            << list({"今天天气不错", "气不错我们去公园"}) << s("今天天气不错气不错我们去公园");
        QTest::newRow("five repeated characters are dropped")
            << list({"我们明天去公园散步", "去公园散步然后回家"}) << s("我们明天去公园散步然后回家");
        QTest::newRow("a transcript inside the overlap adds nothing")
            << list({"今天天气不错我们去", "天气不错我们去", "公园"}) << s("今天天气不错我们去公园");
        QTest::newRow("English words get one space") << list({"hello", "world"}) << s("hello world");
        QTest::newRow("English overlap keeps the space that follows it")
            << list({"we will meet at noon", "at noon tomorrow"}) << s("we will meet at noon tomorrow");
        QTest::newRow("Chinese is joined directly") << list({"你好", "世界"}) << s("你好世界");
        QTest::newRow("Chinese after ASCII gets no space") << list({"我用 iPhone", "拍照"}) << s("我用 iPhone拍照");
        QTest::newRow("ASCII after Chinese gets no space") << list({"打开", "Safari 浏览器"}) << s("打开Safari 浏览器");
        QTest::newRow("overlap spanning Chinese and ASCII")
            << list({"我们明天用 Zoom 开会", "Zoom 开会讨论预算"}) << s("我们明天用 Zoom 开会讨论预算");
        QTest::newRow("digit then letter gets no space") << list({"version 2", "beta"}) << s("version 2beta");
        QTest::newRow("letter then digit gets no space") << list({"beta", "2 more"}) << s("beta2 more");
        QTest::newRow("accented letters are not ASCII") << list({"café", "olé"}) << s("caféolé");
        QTest::newRow("empty and blank segments are skipped")
            << list({"", "  ", "你好", "\xe3\x80\x80", "\n", "世界"}) << s("你好世界");
        QTest::newRow("segments are trimmed of ideographic space and line ends")
            << list({"\xe3\x80\x80你好\n", " 世界\t"}) << s("你好世界");
        QTest::newRow("nothing at all") << list({}) << s("");
        QTest::newRow("an overlap ending inside a word gets no space")
            << list({"I will see you tomor", "see you tomorrow morning"}) << s("I will see you tomorrow morning");
        QTest::newRow("a repeat with a word heard in one chunk only")
            << list({"we should finish the report before friday and send it",
                     "before friday and then send it to the whole team"})
            << s("we should finish the report before friday and send it to the whole team");
        QTest::newRow("a repeat with a word heard differently")
            << list({"please book the meeting room on the third floor for us",
                     "meeting room on the first floor for us and order lunch"})
            << s("please book the meeting room on the third floor for us and order lunch");
        QTest::newRow("a Chinese repeat with a character heard in one chunk only")
            << list({"今天我们主要讨论一下下个季度的预算安排", "讨论一下下一个季度的预算安排首先是市场部门"})
            << s("今天我们主要讨论一下下个季度的预算安排首先是市场部门");
        QTest::newRow("a mixed repeat differing in letter case and a character")
            << list({"我们明天用 zoom 开会讨论预算", "Zoom 开会讨论这个预算的问题"})
            << s("我们明天用 zoom 开会讨论预算的问题");
        QTest::newRow("too few tokens in common is no repeat")
            << list({"我们明天去吧", "我们去公园吧"}) << s("我们明天去吧我们去公园吧");
        QTest::newRow("too many differences is no repeat")
            << list({"send the file to anna today", "send a note to bob"})
            << s("send the file to anna today send a note to bob");
    }

    void stitchOverlapping()
    {
        QFETCH(QStringList, transcripts);
        QFETCH(QString, expected);
        QCOMPARE(TranscriptHeuristics::stitchOverlapping(transcripts), expected);
    }

    void join_data()
    {
        QTest::addColumn<QStringList>("segments");
        QTest::addColumn<QString>("expected");
        QTest::newRow("repeats are kept") << list({"天气不错", "天气不错"}) << s("天气不错天气不错");
        QTest::newRow("ASCII words") << list({" hello ", "hello"}) << s("hello hello");
        QTest::newRow("mixed scripts") << list({"用 Zoom", "开会", "ok"}) << s("用 Zoom开会ok");
        QTest::newRow("blank segments") << list({"\xe3\x80\x80", "", "a", "\r\n", "b"}) << s("a b");
    }

    void join()
    {
        QFETCH(QStringList, segments);
        QFETCH(QString, expected);
        QCOMPARE(TranscriptHeuristics::join(segments), expected);
    }

    void stripLeadingEcho_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("hotwords");
        QTest::addColumn<QString>("expected");

        QTest::newRow("one leading hotword is speech") << s("Murmo 真好用") << kHotwords << s("Murmo 真好用");
        QTest::newRow("header and one hotword is speech")
            << s("专有名词：Murmo 今天开会") << kHotwords << s("专有名词：Murmo 今天开会");
        QTest::newRow("header and two hotwords") << s("专有名词：Murmo、Qwen，今天开会") << kHotwords << s("今天开会");
        QTest::newRow("longer header first") << s("可能出现的专有名词：Opus，Murmo。你好") << kHotwords << s("你好");
        QTest::newRow("two hotwords without a header") << s("Murmo, Qwen 今天开会") << kHotwords << s("今天开会");
        QTest::newRow("letter case is ignored") << s("murmo QWEN 今天") << kHotwords << s("今天");
        QTest::newRow("leading separators go too") << s("，。 Murmo、Qwen；开会") << kHotwords << s("开会");
        QTest::newRow("the same hotword twice counts twice") << s("Murmo Murmo 开会") << kHotwords << s("开会");
        QTest::newRow("longest hotword is tried first")
            << s("Qwen Audio Murmo 开会") << list({"Qwen", "Qwen Audio", "Murmo"}) << s("开会");
        QTest::newRow("empty hotwords are ignored") << s("Murmo Qwen") << list({"", "Murmo", "Qwen"}) << s("");
        QTest::newRow("no hotwords") << s("专有名词：Murmo、Qwen") << QStringList{} << s("专有名词：Murmo、Qwen");
        QTest::newRow("header without hotwords") << s("参考词：今天") << kHotwords << s("参考词：今天");
        QTest::newRow("hotwords not at the start") << s("今天 Murmo Qwen") << kHotwords << s("今天 Murmo Qwen");
    }

    void stripLeadingEcho()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, hotwords);
        QFETCH(QString, expected);
        QCOMPARE(TranscriptHeuristics::stripLeadingEcho(text, hotwords), expected);
    }

    void stripHotwordRuns_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("hotwords");
        QTest::addColumn<int>("minRun");
        QTest::addColumn<QString>("expected");

        const QStringList chinese = list({"小明", "小红", "小刚", "小丽", "小强"});
        QTest::newRow("five in list order collapse to the first")
            << s("Murmo、Qwen、Deepgram、Opus、PipeWire") << kHotwords << 5 << s("Murmo");
        QTest::newRow("the text around the run stays") << s("参考：Murmo、Qwen、Deepgram、Opus、PipeWire。今天开会")
                                                       << kHotwords << 5 << s("参考：Murmo。今天开会");
        QTest::newRow("another order is speech") << s("Qwen、Murmo、Deepgram、Opus、PipeWire") << kHotwords << 5
                                                 << s("Qwen、Murmo、Deepgram、Opus、PipeWire");
        QTest::newRow("four are too few")
            << s("Murmo、Qwen、Deepgram、Opus") << kHotwords << 5 << s("Murmo、Qwen、Deepgram、Opus");
        QTest::newRow("a lower minimum") << s("Murmo、Qwen、Deepgram、Opus") << kHotwords << 4 << s("Murmo");
        QTest::newRow("words written together are no run")
            << s("小明小红小刚小丽小强") << chinese << 5 << s("小明小红小刚小丽小强");
        QTest::newRow("Chinese run") << s("小明、小红、小刚、小丽、小强") << chinese << 5 << s("小明");
        QTest::newRow("an ASCII word running into letters does not match")
            << s("Murmo、Qwen、Deepgramx、Opus、PipeWire") << kHotwords << 5
            << s("Murmo、Qwen、Deepgramx、Opus、PipeWire");
        QTest::newRow("one-character hotwords never match")
            << s("甲、乙、丙、丁、戊") << list({"甲", "乙", "丙", "丁", "戊"}) << 5 << s("甲、乙、丙、丁、戊");
        QTest::newRow("letter case is ignored, the text is kept as written")
            << s("murmo、QWEN、deepgram、opus、pipewire") << kHotwords << 5 << s("murmo");
        QTest::newRow("spaces and slashes separate too")
            << s("Murmo Qwen/Deepgram\xe3\x80\x80Opus\nPipeWire end") << kHotwords << 5 << s("Murmo end");
        QTest::newRow("list order may skip entries")
            << s("Murmo、Qwen、Opus、PipeWire、Zoom") << list({"Murmo", "Qwen", "Deepgram", "Opus", "PipeWire", "Zoom"})
            << 5 << s("Murmo");
        QTest::newRow("a repeated word breaks the order")
            << s("Murmo、Murmo、Qwen、Deepgram、Opus") << kHotwords << 5 << s("Murmo、Murmo、Qwen、Deepgram、Opus");
        QTest::newRow("the longest word matches first")
            << s("Qwen Audio、Murmo、Opus、PipeWire、Zoom")
            << list({"Qwen", "Qwen Audio", "Murmo", "Opus", "PipeWire", "Zoom"}) << 5 << s("Qwen Audio");
        QTest::newRow("two runs in one text") << s("小明、小红、小刚、小丽、小强。好。小明、小红、小刚、小丽、小强")
                                              << chinese << 5 << s("小明。好。小明");
        QTest::newRow("no hotwords") << s("a、b") << QStringList{} << 5 << s("a、b");
        QTest::newRow("empty text") << s("") << kHotwords << 5 << s("");
    }

    void stripHotwordRuns()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, hotwords);
        QFETCH(int, minRun);
        QFETCH(QString, expected);
        QCOMPARE(TranscriptHeuristics::stripHotwordRuns(text, hotwords, minRun), expected);
    }

    void hasMeaningfulContent_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("expected");
        QTest::newRow("empty") << s("") << false;
        QTest::newRow("spaces and line breaks") << s(" \n\t\r\xe3\x80\x80") << false;
        QTest::newRow("punctuation, also full-width") << s("，。！？……,.!?「」") << false;
        QTest::newRow("mathematical symbols") << s("+−×÷=<>") << false;
        QTest::newRow("currency symbols") << s("$€¥£") << false;
        QTest::newRow("modifier symbols") << s("^`¨") << false;
        QTest::newRow("emoji with a skin tone") << s("😀 👍🏻 🎉") << false;
        QTest::newRow("one Latin letter") << s("。a。") << true;
        QTest::newRow("one Chinese character") << s("……好") << true;
        QTest::newRow("an ASCII digit") << s("5") << true;
        QTest::newRow("an Arabic-Indic digit") << s("٣") << true;
        QTest::newRow("a circled number") << s("①") << true;
    }

    void hasMeaningfulContent()
    {
        QFETCH(QString, text);
        QFETCH(bool, expected);
        QCOMPARE(TranscriptHeuristics::hasMeaningfulContent(text), expected);
    }

    void normalizeEcho_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("English header and words") << s("Proper Nouns: Murmo, Qwen!") << s("propernounsmurmoqwen");
        QTest::newRow("Chinese stays") << s("参考词：小明、小红。") << s("参考词小明小红");
        QTest::newRow("digits stay") << s("GPT-4o 2024") << s("gpt4o2024");
        QTest::newRow("full lower-case mapping keeps the dot") << s("İstanbul") << s("i\xcc\x87stanbul");
        QTest::newRow("decomposed accents come out composed") << s("Cafe\xcc\x81") << s("café");
        QTest::newRow("nothing alphanumeric") << s(" ，。😀") << s("");
    }

    void normalizeEcho()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(TranscriptHeuristics::normalizeEcho(text), expected);
    }

    void isVocabularyEcho_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("hotwords");
        QTest::addColumn<bool>("expected");
        QTest::newRow("hotwords without a marker are speech") << s("Murmo Qwen") << kHotwords << false;
        QTest::newRow("header then hotwords and punctuation") << s("参考词：Murmo、Qwen。") << kHotwords << true;
        QTest::newRow("header, hotwords and real words") << s("参考词：Murmo、Qwen，今天开会") << kHotwords << false;
        QTest::newRow("English marker") << s("Key terms: Murmo, QWEN.") << kHotwords << true;
        QTest::newRow("long Chinese header") << s("可能出现的专有名词：Opus") << kHotwords << true;
        QTest::newRow("header alone") << s("专有名词。") << kHotwords << true;
        QTest::newRow("longest hotword removed first")
            << s("vocabulary: Qwen Audio") << list({"Qwen", "Qwen Audio"}) << true;
        QTest::newRow("empty") << s("") << kHotwords << false;
        QTest::newRow("punctuation only") << s("。，") << kHotwords << false;
    }

    void isVocabularyEcho()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, hotwords);
        QFETCH(bool, expected);
        QCOMPARE(TranscriptHeuristics::isVocabularyEcho(text, hotwords), expected);
    }

    void isCleanShortChinese_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("expected");
        QTest::newRow("empty") << s("") << false;
        QTest::newRow("blank") << s(" \xe3\x80\x80\n") << false;
        QTest::newRow("two characters") << s("好的") << true;
        QTest::newRow("with a full stop and spaces") << s(" 好的。 ") << true;
        QTest::newRow("fourteen characters") << s("一二三四五六七八九十一二三四") << true;
        QTest::newRow("fifteen characters") << s("一二三四五六七八九十一二三四五") << false;
        QTest::newRow("an emoji with a modifier is one character")
            << s("一二三四五六七八九十一二三👍🏽") << true;
        QTest::newRow("Latin letters") << s("好的OK") << false;
        QTest::newRow("a digit") << s("第2个") << false;
        QTest::newRow("full-width letters are not ASCII") << s("ＯＫ好的") << true;
        QTest::newRow("a filler") << s("然后呢") << false;
        QTest::newRow("a one-character filler") << s("好的嗯") << false;
        QTest::newRow("a correction signal") << s("不是这样") << false;
    }

    void isCleanShortChinese()
    {
        QFETCH(QString, text);
        QFETCH(bool, expected);
        QCOMPARE(TranscriptHeuristics::isCleanShortChinese(text), expected);
    }
};

MURMO_TEST(TestTranscriptHeuristics)
#include "tst_TranscriptHeuristics.moc"
