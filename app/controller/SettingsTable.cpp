#include "app/controller/SettingsTable.h"

#include <QHash>

namespace {

QList<SettingRow> buildRows()
{
    const auto text = [](const char* key, const char* value) {
        return SettingRow{QString::fromLatin1(key), QVariant(QString::fromUtf8(value))};
    };
    const auto flag = [](const char* key, bool value) { return SettingRow{QString::fromLatin1(key), QVariant(value)}; };
    const auto secret = [](const char* key) { return SettingRow{QString::fromLatin1(key), QVariant(QString()), true}; };

    QList<SettingRow> rows{
        text("currentModeId", "formal"),
        flag("prefNoTrailingPeriod", true),
        flag("prefLineBreaks", false),
        flag("prefSpacesForCommas", false),
        text("prefCustomNotes", ""),
        flag("autoCompose", true),
        text("appModeRules", "{}"),
        flag("contextAwareness", true),
        flag("autoLearnFromEdits", true),
        flag("contextReadText", true),
        flag("quietBoost", true),
        text("languageHint", "auto"),
        flag("useStreaming", true),
        text("recordTrigger", "toggle"),
        text("hkTalk", ""),
        text("hkTranslate", ""),
        text("hkCycle", ""),
        text("hkAsk", ""),
        text("hkRewrite", ""),
        flag("showPartial", false),
        flag("soundFX", true),
        text("skinId", "xuan"),
        text("soundSet", "cork"),
        SettingRow{QStringLiteral("soundVolume"), QVariant(0.5)},
        flag("duckOthers", true),
        text("providerId", "qwen"),
        flag("useGateway", true),
        secret("gatewayToken"),
        secret("qwenApiKey"),
        secret("deepgramApiKey"),
        secret("anthropicApiKey"),
        SettingRow{QStringLiteral("maxRecordMinutes"), QVariant(8)},
        // The first-run sheet has been completed.
        flag("didOnboard", false),
    };
    for (const QString& key : SettingsTable::migrationFlags())
        rows.append(SettingRow{key, QVariant(false)});
    return rows;
}

} // namespace

namespace SettingsTable {

const QList<SettingRow>& rows()
{
    static const QList<SettingRow> table = buildRows();
    return table;
}

const SettingRow& row(const QString& key)
{
    static const QHash<QString, qsizetype> index = [] {
        QHash<QString, qsizetype> byKey;
        for (qsizetype i = 0; i < rows().size(); ++i)
            byKey.insert(rows().at(i).key, i);
        return byKey;
    }();
    const auto found = index.constFind(key);
    Q_ASSERT_X(found != index.cend(), "SettingsTable::row", qPrintable(key));
    if (found == index.cend()) {
        // Released builds read an unknown key as absent with no default rather than crash.
        static const SettingRow unknown;
        return unknown;
    }
    return rows().at(*found);
}

const QStringList& migrationFlags()
{
    static const QStringList flags{
        QStringLiteral("didMigrateHotkeyV2"),      QStringLiteral("didSeedAskHotkey"),
        QStringLiteral("didSeedRewriteHotkeyV10"), QStringLiteral("didReseedEmptyHkV3"),
        QStringLiteral("didSeedChordKeysV5"),      QStringLiteral("didSeedFnTalkV8"),
        QStringLiteral("didAutoSetFnNoActionV8"),  QStringLiteral("didOptInContextRead"),
        QStringLiteral("didForceAutoEngineV11"),   QStringLiteral("didMergeBrandsV9"),
        QStringLiteral("didMergeProductWordsV12"), QStringLiteral("didMergeSeedV6"),
        QStringLiteral("didPurgeBadRulesV7"),
    };
    return flags;
}

} // namespace SettingsTable
