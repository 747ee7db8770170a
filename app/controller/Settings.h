#pragma once

#include "app/controller/SettingsFile.h"
#include "app/controller/SettingsTable.h"
#include "platform/Hotkey.h"

#include <QCoroTask>
#include <QHash>
#include <QMap>
#include <QObject>
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

    // Where a settings file that could not be used was moved as these settings started afresh
    // ("Murmo.conf.unreadable-<time>"); empty when the file was fine or missing.
    const QString& setAsidePath() const { return m_file.setAsidePath(); }
    // False when nothing usable could stand at the path (the folder cannot be written), and the
    // settings started from the defaults, or when the last write to the file failed: the values
    // then live in memory for this run.
    bool canSave() const { return m_file.canSave(); }

    // Reads the secrets from the keyring into memory and moves any secret still held by the file
    // (from a time without keyring) into it. Until it has finished, secrets read as the file has
    // them. Never fails: an unreadable keyring leaves the file's values in place.
    QCoro::Task<void> loadSecrets();

    // The stored value of key as its row reads it, or its default.
    QVariant value(SettingKey key) const;
    bool isStored(SettingKey key) const;
    void setValue(SettingKey key, const QVariant& value);

    QString text(SettingKey key) const { return value(key).toString(); }
    bool flag(SettingKey key) const { return value(key).toBool(); }

    std::optional<Hotkey> hotkey(SettingKey key) const { return ::hotkey(text(key)); }
    void setHotkey(SettingKey key, const std::optional<Hotkey>& hotkey) { setValue(key, encodeHotkey(hotkey)); }

    // The per-application style-mode rules (window class -> mode id); anything but a JSON object
    // of strings reads as no rules.
    QMap<QString, QString> appModeRules() const;
    void setAppModeRules(const QMap<QString, QString>& rules);

Q_SIGNALS:
    void changed(SettingKey key);
    // A write to the file failed after the one before it landed: what this run changes is lost at
    // the next start unless a later write gets through.
    void savingFailed();

private:
    void writeFile(const QString& name, const QVariant& value);
    void save();
    void writeSecret(const QString& name, const QString& value);

    SettingsFile m_file;
    SecretStore* m_secrets;
    // The keyring's values by name once loaded; a secret absent here is read from the file.
    QHash<QString, QString> m_secretValues;
    int m_batches = 0;
    bool m_heldBack = false;
};
