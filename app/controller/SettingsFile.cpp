#include "app/controller/SettingsFile.h"

#include "core/store/StoreFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace {

constexpr QFileDevice::Permissions kPrivate = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// Far more than any settings this program writes (a few kilobytes with long custom rules): a file
// this size is something else, and is not read at all.
constexpr qint64 kMaxFileBytes = 4 * 1024 * 1024;

// Whether what stands at path can be read as settings: a regular file within the cap holding
// UTF-8 without NUL bytes. The INI reader takes what it can from such text and leaves out lines it
// cannot, which the next write drops; anything else would turn into junk keys that later writes
// keep for ever. A pipe or a device is never opened: reading it could wait for ever.
bool isUsable(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > kMaxFileBytes)
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.read(kMaxFileBytes + 1);
    return file.error() == QFileDevice::NoError && bytes.size() <= kMaxFileBytes && !bytes.contains('\0') &&
           bytes.isValidUtf8();
}

// Makes an empty private file at path unless something stands there. QSettings replaces the file
// through a save file that keeps the permissions of the file it replaces, so the keys never sit
// readable to others. False when no regular file is there afterwards.
bool makePrivateFile(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly, kPrivate))
            return false;
    }
    return QFileInfo(path).isFile();
}

} // namespace

SettingsFile::SettingsFile(const QString& path)
    : m_path(path)
{
    const QFileInfo info(path);
    if ((info.exists() || info.isSymLink()) && !isUsable(path)) {
        m_setAside = StoreFile::quarantine(path);
        if (m_setAside.isEmpty()) {
            std::fprintf(stderr, "settings: %s could not be used nor moved aside; running on defaults, unsaved\n",
                         qPrintable(path));
            return;
        }
        std::fprintf(stderr, "settings: %s could not be used; kept as %s, starting afresh\n", qPrintable(path),
                     qPrintable(m_setAside));
    }
    if (!makePrivateFile(path)) {
        std::fprintf(stderr, "settings: %s cannot be made; running on defaults, unsaved\n", qPrintable(path));
        return;
    }
    QFile::setPermissions(path, kPrivate);
    m_ini.emplace(path, QSettings::IniFormat);
}

QVariant SettingsFile::value(const QString& name, const QVariant& fallback) const
{
    return m_ini ? m_ini->value(name, fallback) : m_unsaved.value(name, fallback);
}

bool SettingsFile::contains(const QString& name) const
{
    return m_ini ? m_ini->contains(name) : m_unsaved.contains(name);
}

void SettingsFile::setValue(const QString& name, const QVariant& value)
{
    if (m_ini)
        m_ini->setValue(name, value);
    else
        m_unsaved.insert(name, value);
}

void SettingsFile::remove(const QString& name)
{
    if (m_ini)
        m_ini->remove(name);
    else
        m_unsaved.remove(name);
}

void SettingsFile::sync()
{
    if (!m_ini)
        return;
    m_ini->sync();
    if (QFile::exists(m_path))
        QFile::setPermissions(m_path, kPrivate);
}
