#include "core/net/NetworkErrors.h"
#include "core/text/StylePreferences.h"
#include "tests/support/TestRegistry.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

namespace {

const QString kHeading = QStringLiteral("\n\n说话人的个人书写偏好（必须遵守）：\n");
const QString kPeriodLine = QStringLiteral("- 输出的最后一句不要以句号结尾");
const QString kBreaksLine = QStringLiteral("- 内容较长时适当用换行分段，提升可读性，不要挤成一大段");
const QString kCommasLine = QStringLiteral("- 语气停顿处可以用空格代替逗号，保持轻松的书写习惯");

StylePreferences preferences(bool period, bool breaks, bool commas, QString notes = {}, QString context = {},
                             QString profile = {}, std::optional<QString> app = std::nullopt)
{
    return StylePreferences{period, breaks, commas, notes, context, profile, app};
}

QJsonObject parse(const char* json)
{
    return QJsonDocument::fromJson(json).object();
}

} // namespace

class TestStylePreferences : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void promptFragment_data()
    {
        QTest::addColumn<StylePreferences>("preferences");
        QTest::addColumn<QString>("expected");

        QTest::newRow("nothing") << preferences(false, false, false) << QString();
        QTest::newRow("no trailing period") << preferences(true, false, false) << kHeading + kPeriodLine;
        QTest::newRow("line breaks") << preferences(false, true, false) << kHeading + kBreaksLine;
        QTest::newRow("spaces for commas") << preferences(false, false, true) << kHeading + kCommasLine;
        QTest::newRow("all switches, in their order")
            << preferences(true, true, true) << kHeading + kPeriodLine + "\n" + kBreaksLine + "\n" + kCommasLine;
        QTest::newRow("notes after the switches, trimmed, blanks dropped")
            << preferences(true, false, false, QStringLiteral("\n  用“您”称呼对方  \n\n \t \n不用感叹号\r\n"))
            << kHeading + kPeriodLine + QStringLiteral("\n- 用“您”称呼对方\n- 不用感叹号");
        QTest::newRow("notes alone get the heading")
            << preferences(false, false, false, QStringLiteral("英文术语保持原样"))
            << kHeading + QStringLiteral("- 英文术语保持原样");
        QTest::newRow("blank notes add nothing")
            << preferences(false, false, false, QStringLiteral(" \n\n\t\n\u3000\n")) << QString();
        QTest::newRow("inner spaces of a note are kept")
            << preferences(false, false, false, QStringLiteral("  a  b  ")) << kHeading + QStringLiteral("- a  b");
        QTest::newRow("context alone starts with two line feeds")
            << preferences(false, false, false, {}, QStringLiteral("\n 屏幕上下文：邮件草稿 \n"))
            << QStringLiteral("\n\n屏幕上下文：邮件草稿");
        QTest::newRow("profile follows context")
            << preferences(false, false, false, {}, QStringLiteral("上下文"), QStringLiteral("\n\n画像\n- 一条"))
            << QStringLiteral("\n\n上下文\n\n画像\n- 一条");
        QTest::newRow("profile without context")
            << preferences(false, false, false, {}, QStringLiteral("  \n"), QStringLiteral("画像"))
            << QStringLiteral("\n\n画像");
        QTest::newRow("everything") << preferences(false, true, false, QStringLiteral("规则"), QStringLiteral("上下文"),
                                                   QStringLiteral("画像"))
                                    << kHeading + kBreaksLine + QStringLiteral("\n- 规则\n\n上下文\n\n画像");
        QTest::newRow("app context is never part of it")
            << preferences(false, false, false, {}, {}, {}, QStringLiteral("Slack")) << QString();
    }

    void promptFragment()
    {
        QFETCH(StylePreferences, preferences);
        QFETCH(QString, expected);
        QCOMPARE(preferences.promptFragment(), expected);
    }

    void applyDeterministic_data()
    {
        QTest::addColumn<bool>("noTrailingPeriod");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");

        QTest::newRow("off keeps the stop") << false << QStringLiteral("好的。") << QStringLiteral("好的。");
        QTest::newRow("ideographic stop") << true << QStringLiteral("好的。") << QStringLiteral("好的");
        QTest::newRow("two ideographic stops") << true << QStringLiteral("好的。。") << QStringLiteral("好的");
        QTest::newRow("full stop then ideographic") << true << QStringLiteral("ok.。") << QStringLiteral("ok");
        QTest::newRow("ellipsis of dots") << true << QStringLiteral("well...") << QStringLiteral("well");
        QTest::newRow("exclamation stays") << true << QStringLiteral("好！") << QStringLiteral("好！");
        QTest::newRow("question mark stays") << true << QStringLiteral("really?") << QStringLiteral("really?");
        QTest::newRow("empty") << true << QString() << QString();
        QTest::newRow("only stops") << true << QStringLiteral("。.。") << QString();
        QTest::newRow("inner stops untouched")
            << true << QStringLiteral("第一句。第二句. 第三句。") << QStringLiteral("第一句。第二句. 第三句");
        QTest::newRow("stop before a space stays") << true << QStringLiteral("好。 ") << QStringLiteral("好。 ");
    }

    void applyDeterministic()
    {
        QFETCH(bool, noTrailingPeriod);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        StylePreferences preferences;
        preferences.noTrailingPeriod = noTrailingPeriod;
        preferences.preferLineBreaks = true;
        preferences.spacesForCommas = true;
        QCOMPARE(preferences.applyDeterministic(text), expected);
    }

    void jsonKeepsEveryField()
    {
        const StylePreferences full = preferences(true, false, true, "n", "c", "p", QStringLiteral(""));
        const QJsonObject json = full.toJson();
        QCOMPARE(json, parse(R"({"noTrailingPeriod":true,"preferLineBreaks":false,"spacesForCommas":true,
                                 "customNotes":"n","contextSection":"c","profileSection":"p","appContext":""})"));
        QCOMPARE(StylePreferences::fromJson(json), full);

        const StylePreferences withoutApp = preferences(false, true, false, "n", "c", "p");
        QVERIFY(!withoutApp.toJson().contains("appContext"));
        QCOMPARE(StylePreferences::fromJson(withoutApp.toJson()), withoutApp);
    }

    void decodeTreatsNullAppContextAsAbsent()
    {
        const auto decoded = StylePreferences::fromJson(
            parse(R"({"noTrailingPeriod":false,"preferLineBreaks":false,"spacesForCommas":false,
                      "customNotes":"","contextSection":"","profileSection":"","appContext":null})"));
        QCOMPARE(decoded.appContext, std::nullopt);
    }

    void decodeRejectsMissingOrMistypedMembers_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("replacement"); // undefined: removed

        for (const char* key : {"noTrailingPeriod", "preferLineBreaks", "spacesForCommas", "customNotes",
                                "contextSection", "profileSection"}) {
            QTest::addRow("%s missing", key) << QString(key) << QJsonValue(QJsonValue::Undefined);
            QTest::addRow("%s null", key) << QString(key) << QJsonValue(QJsonValue::Null);
        }
        QTest::newRow("switch as number") << "noTrailingPeriod" << QJsonValue(1);
        QTest::newRow("notes as array") << "customNotes" << QJsonValue(QJsonArray{"a"});
        QTest::newRow("app context as number") << "appContext" << QJsonValue(3);
    }

    void decodeRejectsMissingOrMistypedMembers()
    {
        QFETCH(QString, key);
        QFETCH(QJsonValue, replacement);
        QJsonObject json = preferences(true, true, true, "n", "c", "p", QStringLiteral("a")).toJson();
        if (replacement.isUndefined())
            json.remove(key);
        else
            json.insert(key, replacement);
        QVERIFY_THROWS_EXCEPTION(JsonError, StylePreferences::fromJson(json));
    }
};

MURMO_TEST(TestStylePreferences)
#include "tst_StylePreferences.moc"
