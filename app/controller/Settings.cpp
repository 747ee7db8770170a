#include "app/controller/Settings.h"

#include "app/controller/SettingsTable.h"
#include "core/async/ContinueOn.h"
#include "platform/SecretStore.h"

#include <QCoroFuture>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QStandardPaths>

#include <utility>

namespace {

// The keyring items of the settings' secrets: one item per key under this service.
const QString kSecretService = QStringLiteral("murmo-settings");

} // namespace

QString Settings::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Murmo/Murmo.conf");
}

Settings::Settings(const QString& path, SecretStore* secrets, QObject* parent)
    : QObject(parent)
    , m_file(path)
    , m_secrets(secrets)
{}

Settings::~Settings() = default;

Settings::Batch::Batch(Settings& settings)
    : m_settings(settings)
{
    ++m_settings.m_batches;
}

Settings::Batch::~Batch()
{
    if (--m_settings.m_batches == 0 && std::exchange(m_settings.m_heldBack, false))
        m_settings.save();
}

QVariant Settings::value(SettingKey key) const
{
    const SettingRow& row = SettingsTable::row(key);
    if (row.secret) {
        const auto cached = m_secretValues.constFind(row.name);
        if (cached != m_secretValues.cend())
            return *cached;
    }
    return row.read(m_file.value(row.name, row.defaultValue));
}

bool Settings::isStored(SettingKey key) const
{
    const SettingRow& row = SettingsTable::row(key);
    if (row.secret && m_secretValues.contains(row.name))
        return !m_secretValues.value(row.name).isEmpty();
    return m_file.contains(row.name);
}

void Settings::setValue(SettingKey key, const QVariant& value)
{
    const SettingRow& row = SettingsTable::row(key);
    if (row.secret && m_secrets && m_secrets->isAvailable())
        writeSecret(row.name, value.toString());
    else
        writeFile(row.name, value);
    Q_EMIT changed(key);
}

QMap<QString, QString> Settings::appModeRules() const
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text(SettingKey::appModeRules).toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return {};
    QMap<QString, QString> rules;
    const QJsonObject object = document.object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!it.value().isString())
            return {};
        rules.insert(it.key(), it.value().toString());
    }
    return rules;
}

void Settings::setAppModeRules(const QMap<QString, QString>& rules)
{
    QJsonObject object;
    for (auto it = rules.cbegin(); it != rules.cend(); ++it)
        object.insert(it.key(), it.value());
    setValue(SettingKey::appModeRules, QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
}

QCoro::Task<void> Settings::loadSecrets()
{
    if (!m_secrets || !m_secrets->isAvailable())
        co_return;
    QPointer<Settings> self(this);
    for (const SettingRow& row : SettingsTable::rows()) {
        if (!row.secret)
            continue;
        const std::optional<QByteArray> stored = co_await m_secrets->read(kSecretService, row.name);
        if (!self)
            co_return;
        // A value in the file was written while the keyring could not take it, so it is the
        // newer one; it moves into the keyring and leaves the file once the keyring has it.
        if (m_file.contains(row.name)) {
            writeSecret(row.name, m_file.value(row.name).toString());
            continue;
        }
        // A value set while the keyring was being read is newer than what it holds.
        if (stored && !m_secretValues.contains(row.name))
            m_secretValues.insert(row.name, QString::fromUtf8(*stored));
    }
}

void Settings::writeFile(const QString& name, const QVariant& value)
{
    m_file.setValue(name, value);
    if (m_batches > 0) {
        m_heldBack = true;
        return;
    }
    save();
}

void Settings::save()
{
    const bool couldSave = m_file.canSave();
    m_file.sync();
    if (couldSave && !m_file.canSave())
        Q_EMIT savingFailed();
}

void Settings::writeSecret(const QString& name, const QString& value)
{
    m_secretValues.insert(name, value);
    QFuture<bool> written = value.isEmpty() ? m_secrets->remove(kSecretService, name)
                                            : m_secrets->write(kSecretService, name, value.toUtf8());
    continueOn(written, this, [this, name, value](bool ok) {
        // Superseded meanwhile: the newer write decides where the value lives.
        if (m_secretValues.value(name) != value)
            return;
        if (ok) {
            m_file.remove(name);
            save();
            return;
        }
        // The keyring refused: the private file keeps the value rather than losing it.
        writeFile(name, value);
    });
}
