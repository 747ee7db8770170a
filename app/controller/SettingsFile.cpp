#include "app/controller/SettingsFile.h"

#include "core/store/StoreFile.h"

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr QFileDevice::Permissions kPrivate = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// Far more than any settings this program writes (a few kilobytes with long custom rules): a file
// this size is something else, and is not read at all.
constexpr qint64 kMaxFileBytes = 4 * 1024 * 1024;

// Whether what stands at path can be read as settings: a regular file within the cap holding
// UTF-8 without NUL bytes, the user's own where a link leads to it. The INI reader takes what it
// can from such text and leaves out lines it cannot, which the next write drops; anything else
// would turn into junk keys that later writes keep for ever. A pipe or a device is never opened:
// reading it could wait for ever. Another user's file would choose this user's hotkeys and modes,
// and receive the keys this user stores.
bool isUsable(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > kMaxFileBytes || (info.isSymLink() && info.ownerId() != ::geteuid()))
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

// The file standing at path, a link followed; none when nothing is there. QSettings writes through
// a save file renamed over the old one, so a write that landed leaves another file in its place.
std::optional<std::pair<dev_t, ino_t>> fileAt(const QString& path)
{
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return std::pair(info.st_dev, info.st_ino);
}

// Swallows the request QSettings posts to itself to write its changes on the next event-loop turn.
class OwnWritesOnly : public QObject
{
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        return event->type() == QEvent::UpdateRequest || QObject::eventFilter(watched, event);
    }
};

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
    m_ownWritesOnly = std::make_unique<OwnWritesOnly>();
    m_ini->installEventFilter(m_ownWritesOnly.get());
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
    if (!m_ini) {
        m_unsaved.insert(name, value);
        return;
    }
    m_ini->setValue(name, value);
    m_unwritten = true;
}

void SettingsFile::remove(const QString& name)
{
    if (!m_ini) {
        m_unsaved.remove(name);
        return;
    }
    // Removing what is not there writes nothing, so there is no write to judge.
    m_unwritten = m_unwritten || m_ini->contains(name);
    m_ini->remove(name);
}

void SettingsFile::sync()
{
    if (!m_ini || !m_unwritten)
        return;
    // QSettings::status() cannot tell whether this write landed: it keeps the first error it met
    // for good, and a hand-edited file's stray line or byte-order mark is one. Since only this call
    // writes, a file replaced during it holds the changes. A failed write keeps its changes in
    // memory and QSettings tries them again on the next.
    const auto before = fileAt(m_path);
    m_ini->sync();
    const auto after = fileAt(m_path);
    m_lastWriteLanded = after.has_value() && after != before;
    m_unwritten = !m_lastWriteLanded;
    if (m_lastWriteLanded)
        QFile::setPermissions(m_path, kPrivate);
}
