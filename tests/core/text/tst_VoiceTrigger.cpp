#include "core/text/VoiceTrigger.h"
#include "tests/support/TestRegistry.h"

#include <QTest>

namespace {

QString s(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

StyleMode mode(const char* id, QStringList triggers)
{
    return StyleMode{QString::fromUtf8(id), QString::fromUtf8(id), QString(), std::move(triggers)};
}

const QList<StyleMode> kModes{
    mode("raw", {s("原文模式")}),
    mode("casual", {s("随意模式"), s("")}),
    mode("formal", {s("书面模式"), s("Formal mode")}),
};

} // namespace

class TestVoiceTrigger : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void select_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("modeId");
        QTest::addColumn<QString>("remainder");

        QTest::newRow("trigger, full-width comma, words")
            << s("书面模式，请帮我写一封邮件。") << "formal" << s("请帮我写一封邮件");
        QTest::newRow("a Chinese character right after the trigger")
            << s("书面模式请帮我写邮件") << "casual" << s("书面模式请帮我写邮件");
        QTest::newRow("two characters before the trigger are dropped")
            << s("嗯，书面模式，写邮件") << "formal" << s("写邮件");
        QTest::newRow("three characters before the trigger")
            << s("嗯嗯，书面模式，写邮件") << "casual" << s("嗯嗯，书面模式，写邮件");
        QTest::newRow("only the first occurrence counts")
            << s("我说书面模式吧，书面模式，好") << "casual" << s("我说书面模式吧，书面模式，好");
        QTest::newRow("letter case is ignored") << s("FORMAL MODE: write it.") << "formal" << s("write it");
        QTest::newRow("a letter after an English trigger")
            << s("formal modes are nice") << "casual" << s("formal modes are nice");
        QTest::newRow("white space after the trigger") << s("好，书面模式 写邮件") << "formal" << s("写邮件");
        QTest::newRow("leading white space is not counted")
            << s(" \n\xe3\x80\x80书面模式，你好") << "formal" << s("你好");
        QTest::newRow("only the trigger") << s("书面模式") << "formal" << s("");
        QTest::newRow("trigger and a full stop") << s("书面模式。") << "formal" << s("");
        QTest::newRow("a later mode switches again") << s("随意模式，书面模式，你好") << "formal" << s("你好");
        QTest::newRow("an earlier mode is not checked again")
            << s("书面模式，随意模式，你好") << "formal" << s("随意模式，你好");
        QTest::newRow("no trigger leaves the text untrimmed") << s("  你好。 ") << "casual" << s("  你好。 ");
        QTest::newRow("an empty trigger never counts") << s("你好") << "casual" << s("你好");
        QTest::newRow("a symbol after the trigger is not a separator")
            << s("书面模式😀你好") << "casual" << s("书面模式😀你好");
        QTest::newRow("the raw mode") << s("原文模式，好的。") << "raw" << s("好的");
    }

    void select()
    {
        QFETCH(QString, text);
        QFETCH(QString, modeId);
        QFETCH(QString, remainder);
        const StyleMode casual = kModes[1];
        const VoiceTrigger selected = VoiceTrigger::select(text, casual, kModes);
        QCOMPARE(selected.mode.id, modeId);
        QCOMPARE(selected.text, remainder);
    }

    void noModesMeansNoSwitch()
    {
        const StyleMode formal = kModes[2];
        const VoiceTrigger selected = VoiceTrigger::select(s("随意模式，你好"), formal, {});
        QCOMPARE(selected.mode, formal);
        QCOMPARE(selected.text, s("随意模式，你好"));
    }
};

MURMO_TEST(TestVoiceTrigger)
#include "tst_VoiceTrigger.moc"
