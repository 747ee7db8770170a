#pragma once

#include <QList>
#include <QString>
#include <QVariant>

// Every persisted setting of the program, once: its key, its default (which applies while the key
// is absent; nothing ever writes it) and whether it is a secret kept in the keyring when one is
// available. Readers and tests go through this table, so a default cannot differ between them.
struct SettingRow
{
    QString key;
    QVariant defaultValue;
    bool secret = false;
};

namespace SettingsTable {

const QList<SettingRow>& rows();

// The row of key; the program never asks for a key that is not in the table.
const SettingRow& row(const QString& key);

// The one-time migration flags, each false until its step has run once.
const QStringList& migrationFlags();

} // namespace SettingsTable
