#pragma once

#include <QSettings>
#include <QString>
#include <QVariant>
#include <QVariantHash>

#include <memory>
#include <optional>

// Where Settings keeps its plain values: the private INI file (mode 0600). What the INI reader can
// read is read, a file a person edited included; only what cannot be settings at all (NUL bytes,
// text that is not UTF-8, a file past the size cap, anything but a regular file) is set aside
// ("<name>.unreadable-<time>", 0600) before the file starts afresh; so is a link to another user's
// file, which would let that user choose this one's keys. When that cannot be moved, or no file can
// be made (the folder cannot be written), nothing at the path is opened: the values live in memory
// for this run and are not saved. A write that fails keeps what it held in memory for the next
// one. Main thread only.
class SettingsFile
{
public:
    explicit SettingsFile(const QString& path);

    // Where what stood at the path went; empty when it was usable, missing or could not be moved.
    const QString& setAsidePath() const { return m_setAside; }
    // False when the values live in memory only: nothing could be opened, or the last write failed.
    bool canSave() const { return m_ini.has_value() && m_lastWriteLanded; }

    QVariant value(const QString& name, const QVariant& fallback = {}) const;
    bool contains(const QString& name) const;
    void setValue(const QString& name, const QVariant& value);
    void remove(const QString& name);
    // Writes what was changed to the file, keeping it private; canSave() then tells whether it
    // landed. What did not land is tried again with the next write. Nothing reaches the file
    // but through here (and the last write as it closes).
    void sync();

private:
    QString m_path;
    QString m_setAside;
    // Keeps QSettings from writing by itself in a later event-loop turn: a write made there is not
    // one this file can judge, and it would split a batch into several.
    std::unique_ptr<QObject> m_ownWritesOnly;
    std::optional<QSettings> m_ini;
    // Whether the file holds changes not yet written.
    bool m_unwritten = false;
    bool m_lastWriteLanded = true;
    QVariantHash m_unsaved;
};
