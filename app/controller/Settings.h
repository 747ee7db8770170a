#pragma once

#include "platform/Hotkey.h"

#include <QCoroTask>
#include <QHash>
#include <QMap>
#include <QObject>
#include <QSettings>
#include <QString>
#include <QVariant>

#include <optional>

class SecretStore;

// The program's persisted settings: a private INI file (mode 0600) for the plain values and, where
// the desktop has a keyring, the keyring for the secrets (API keys, device token). A value that
// was never stored reads as its default from SettingsTable; no reader writes a default, so a
// default changed in a later version reaches every user who never chose otherwise.
// Main thread only; other threads get copies of the values they need.
class Settings : public QObject
{
    Q_OBJECT

public:
    // Where the settings live: ~/.config/Murmo/Murmo.conf.
    static QString defaultPath();

    // While one lives, the file's writes are held in memory (readers see them at once) and the
    // file is written once when the last one goes: for a run of changes made together, each of
    // which would otherwise replace the file on disk.
    class Batch
    {
    public:
        explicit Batch(Settings& settings);
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        Settings& m_settings;
    };

    // secrets may be null or unavailable: the secrets then stay in the private file as well.
    Settings(const QString& path, SecretStore* secrets, QObject* parent = nullptr);
    ~Settings() override;

    // Reads the secrets from the keyring into memory and moves any secret still held by the file
    // (from a time without keyring) into it. Until it has finished, secrets read as the file has
    // them. Never fails: an unreadable keyring leaves the file's values in place.
    QCoro::Task<void> loadSecrets();

    // The stored value of a table key, or its default.
    QVariant value(const QString& key) const;
    bool isStored(const QString& key) const;
    void setValue(const QString& key, const QVariant& value);

    QString text(const QString& key) const { return value(key).toString(); }
    bool flag(const QString& key) const { return value(key).toBool(); }

    std::optional<Hotkey> hotkey(const QString& key) const { return ::hotkey(text(key)); }
    void setHotkey(const QString& key, const std::optional<Hotkey>& hotkey) { setValue(key, encodeHotkey(hotkey)); }

    QString currentModeId() const { return text(QStringLiteral("currentModeId")); }
    bool prefNoTrailingPeriod() const { return flag(QStringLiteral("prefNoTrailingPeriod")); }
    bool prefLineBreaks() const { return flag(QStringLiteral("prefLineBreaks")); }
    bool prefSpacesForCommas() const { return flag(QStringLiteral("prefSpacesForCommas")); }
    QString prefCustomNotes() const { return text(QStringLiteral("prefCustomNotes")); }
    bool autoCompose() const { return flag(QStringLiteral("autoCompose")); }
    QString appModeRulesJSON() const { return text(QStringLiteral("appModeRules")); }
    bool contextAwareness() const { return flag(QStringLiteral("contextAwareness")); }
    bool autoLearnFromEdits() const { return flag(QStringLiteral("autoLearnFromEdits")); }
    bool contextReadText() const { return flag(QStringLiteral("contextReadText")); }
    bool quietBoost() const { return flag(QStringLiteral("quietBoost")); }
    QString languageHint() const { return text(QStringLiteral("languageHint")); }
    bool useStreaming() const { return flag(QStringLiteral("useStreaming")); }
    QString recordTrigger() const { return text(QStringLiteral("recordTrigger")); }
    QString hkTalkJSON() const { return text(QStringLiteral("hkTalk")); }
    QString hkTranslateJSON() const { return text(QStringLiteral("hkTranslate")); }
    QString hkCycleJSON() const { return text(QStringLiteral("hkCycle")); }
    QString hkAskJSON() const { return text(QStringLiteral("hkAsk")); }
    QString hkRewriteJSON() const { return text(QStringLiteral("hkRewrite")); }
    bool showPartial() const { return flag(QStringLiteral("showPartial")); }
    bool soundFX() const { return flag(QStringLiteral("soundFX")); }
    QString skinId() const { return text(QStringLiteral("skinId")); }
    QString soundSet() const { return text(QStringLiteral("soundSet")); }
    // Clamped to 0.1...1: a louder value would clip, a silent one looks like broken cues.
    double soundVolume() const;
    bool duckOthers() const { return flag(QStringLiteral("duckOthers")); }
    QString providerId() const { return text(QStringLiteral("providerId")); }
    bool useGateway() const { return flag(QStringLiteral("useGateway")); }
    QString gatewayToken() const { return text(QStringLiteral("gatewayToken")); }
    QString qwenApiKey() const { return text(QStringLiteral("qwenApiKey")); }
    QString deepgramApiKey() const { return text(QStringLiteral("deepgramApiKey")); }
    QString anthropicApiKey() const { return text(QStringLiteral("anthropicApiKey")); }
    // At least 1: a limit of 0 minutes would end every recording as it starts.
    int maxRecordMinutes() const;
    bool didOnboard() const { return flag(QStringLiteral("didOnboard")); }

    // The per-application style-mode rules (window class -> mode id); anything but a JSON object
    // of strings reads as no rules.
    QMap<QString, QString> appModeRules() const;
    void setAppModeRules(const QMap<QString, QString>& rules);

Q_SIGNALS:
    void changed(const QString& key);

private:
    void writeFile(const QString& key, const QVariant& value);
    void syncFile();
    void writeSecret(const QString& key, const QString& value);
    void restrictFile();

    QString m_path;
    QSettings m_file;
    SecretStore* m_secrets;
    // The keyring's values once loaded; a key absent here is read from the file.
    QHash<QString, QString> m_secretValues;
    int m_batches = 0;
    bool m_heldBack = false;
};
