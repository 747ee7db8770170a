#pragma once

#include <QString>
#include <QVariant>

#include <array>
#include <optional>

// Every persisted setting of the program.
enum class SettingKey
{
    currentModeId,
    prefNoTrailingPeriod,
    prefLineBreaks,
    prefSpacesForCommas,
    prefCustomNotes,
    autoCompose,
    appModeRules,
    contextAwareness,
    autoLearnFromEdits,
    contextReadText,
    quietBoost,
    languageHint,
    useStreaming,
    recordTrigger,
    hkTalk,
    hkTranslate,
    hkCycle,
    hkAsk,
    hkRewrite,
    showPartial,
    soundFX,
    skinId,
    soundSet,
    soundVolume,
    duckOthers,
    providerId,
    useGateway,
    gatewayToken,
    qwenApiKey,
    deepgramApiKey,
    anthropicApiKey,
    maxRecordMinutes,
    // The trouble with the lexicon sync the status line last told, so that a start meeting it
    // again stays quiet; empty once a pass gets through.
    lexiconSyncNotice,
    // The first-run sheet has been completed.
    didOnboard,
    // The one-time migration flags, each false until its step has run once.
    didMigrateHotkeyV2,
    didSeedAskHotkey,
    didSeedRewriteHotkeyV10,
    didReseedEmptyHkV3,
    didSeedChordKeysV5,
    didSeedFnTalkV8,
    didAutoSetFnNoActionV8,
    didOptInContextRead,
    didForceAutoEngineV11,
    didMergeBrandsV9,
    didMergeProductWordsV12,
    didMergeSeedV6,
    didPurgeBadRulesV7,
};

// The last key above, plus one.
inline constexpr std::size_t settingKeyCount = std::size_t(SettingKey::didPurgeBadRulesV7) + 1;

// One setting: its name in the settings file and the keyring (a renamed one would lose what users
// stored), its default (which applies while the key is absent; nothing ever writes it), whether
// it is a secret kept in the keyring when one is available, and for a number the range it is read
// in.
struct SettingRow
{
    struct Range
    {
        double lowest;
        double highest;
    };

    SettingKey key{};
    QString name;
    QVariant defaultValue;
    bool secret = false;
    std::optional<Range> range = std::nullopt;

    // What a stored value reads as: a number is clamped to the range, and anything that is no
    // finite number of the default's type reads as the default.
    QVariant read(const QVariant& stored) const;
};

namespace SettingsTable {

// The rows in the order of SettingKey.
const std::array<SettingRow, settingKeyCount>& rows();

inline const SettingRow& row(SettingKey key)
{
    return rows()[std::size_t(key)];
}

} // namespace SettingsTable
