#include "app/controller/SettingsTable.h"

#include <algorithm>
#include <cmath>
#include <limits>

QVariant SettingRow::read(const QVariant& stored) const
{
    if (!range)
        return stored;
    QVariant number = stored;
    if (!number.convert(defaultValue.metaType()) || !std::isfinite(number.toDouble()))
        return defaultValue;
    number.setValue(std::clamp(number.toDouble(), range->lowest, range->highest));
    number.convert(defaultValue.metaType());
    return number;
}

namespace SettingsTable {

const std::array<SettingRow, settingKeyCount>& rows()
{
    using enum SettingKey;
    const auto text = [](SettingKey key, const char* name, const char* value) {
        return SettingRow{key, QString::fromLatin1(name), QVariant(QString::fromUtf8(value))};
    };
    const auto flag = [](SettingKey key, const char* name, bool value) {
        return SettingRow{key, QString::fromLatin1(name), QVariant(value)};
    };
    const auto secret = [](SettingKey key, const char* name) {
        return SettingRow{key, QString::fromLatin1(name), QVariant(QString()), true};
    };
    const auto number = [](SettingKey key, const char* name, QVariant value, SettingRow::Range range) {
        return SettingRow{key, QString::fromLatin1(name), std::move(value), false, range};
    };

    static const std::array<SettingRow, settingKeyCount> table{
        text(currentModeId, "currentModeId", "formal"),
        flag(prefNoTrailingPeriod, "prefNoTrailingPeriod", true),
        flag(prefLineBreaks, "prefLineBreaks", false),
        flag(prefSpacesForCommas, "prefSpacesForCommas", false),
        text(prefCustomNotes, "prefCustomNotes", ""),
        flag(autoCompose, "autoCompose", true),
        text(appModeRules, "appModeRules", "{}"),
        flag(contextAwareness, "contextAwareness", true),
        flag(autoLearnFromEdits, "autoLearnFromEdits", true),
        flag(contextReadText, "contextReadText", true),
        flag(quietBoost, "quietBoost", true),
        text(languageHint, "languageHint", "auto"),
        flag(useStreaming, "useStreaming", true),
        text(recordTrigger, "recordTrigger", "toggle"),
        text(hkTalk, "hkTalk", ""),
        text(hkTranslate, "hkTranslate", ""),
        text(hkCycle, "hkCycle", ""),
        text(hkAsk, "hkAsk", ""),
        text(hkRewrite, "hkRewrite", ""),
        flag(showPartial, "showPartial", false),
        flag(soundFX, "soundFX", true),
        text(skinId, "skinId", "xuan"),
        text(soundSet, "soundSet", "cork"),
        // A louder volume would clip, a silent one looks like broken cues.
        number(soundVolume, "soundVolume", 0.5, {0.1, 1.0}),
        flag(duckOthers, "duckOthers", true),
        text(providerId, "providerId", "qwen"),
        flag(useGateway, "useGateway", true),
        secret(gatewayToken, "gatewayToken"),
        secret(qwenApiKey, "qwenApiKey"),
        secret(deepgramApiKey, "deepgramApiKey"),
        secret(anthropicApiKey, "anthropicApiKey"),
        // A limit of 0 minutes would end every recording as it starts.
        number(maxRecordMinutes, "maxRecordMinutes", 8, {1, std::numeric_limits<double>::infinity()}),
        text(lexiconSyncNotice, "lexiconSyncNotice", ""),
        flag(didOnboard, "didOnboard", false),
        flag(didMigrateHotkeyV2, "didMigrateHotkeyV2", false),
        flag(didSeedAskHotkey, "didSeedAskHotkey", false),
        flag(didSeedRewriteHotkeyV10, "didSeedRewriteHotkeyV10", false),
        flag(didReseedEmptyHkV3, "didReseedEmptyHkV3", false),
        flag(didSeedChordKeysV5, "didSeedChordKeysV5", false),
        flag(didSeedFnTalkV8, "didSeedFnTalkV8", false),
        flag(didAutoSetFnNoActionV8, "didAutoSetFnNoActionV8", false),
        flag(didOptInContextRead, "didOptInContextRead", false),
        flag(didForceAutoEngineV11, "didForceAutoEngineV11", false),
        flag(didMergeBrandsV9, "didMergeBrandsV9", false),
        flag(didMergeProductWordsV12, "didMergeProductWordsV12", false),
        flag(didMergeSeedV6, "didMergeSeedV6", false),
        flag(didPurgeBadRulesV7, "didPurgeBadRulesV7", false),
    };
    return table;
}

} // namespace SettingsTable
