#include "core/store/StoreFile.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace StoreFile {

std::optional<QByteArray> readOrQuarantine(const QString& path, const QDateTime& now, QString* keptAs)
{
    const QFileInfo info(path);
    // exists() follows symbolic links; a dangling link is still something the user put there.
    if (!info.exists() && !info.isSymLink())
        return std::nullopt;
    QFile file(path);
    if (info.isFile() && file.open(QIODevice::ReadOnly)) {
        QByteArray bytes = file.readAll();
        if (file.error() == QFileDevice::NoError)
            return bytes;
    }
    file.close();
    const QString kept = quarantine(path, now);
    if (keptAs)
        *keptAs = kept;
    return std::nullopt;
}

QString asidePath(const QString& path, const QString& reason, const QDateTime& now)
{
    const QString base =
        path + QLatin1Char('.') + reason + QLatin1Char('-') + now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString target = base;
    for (int n = 2; QFileInfo::exists(target) || QFileInfo(target).isSymLink(); ++n)
        target = base + QLatin1Char('-') + QString::number(n);
    return target;
}

QString setAside(const QString& path, const QString& reason, const QDateTime& now)
{
    const QString target = asidePath(path, reason, now);
    if (!QFile::rename(path, target))
        return {};
    // Changing a link's mode would change what it points to, which is not the program's.
    const QFileInfo moved(target);
    if (!moved.isSymLink()) {
        const QFileDevice::Permissions owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
        QFile::setPermissions(target, moved.isDir() ? owner | QFileDevice::ExeOwner : owner);
    }
    return target;
}

QString quarantine(const QString& path, const QDateTime& now)
{
    return setAside(path, QStringLiteral("unreadable"), now);
}

bool makePrivateFolder(const QString& path)
{
    if (!QDir().mkpath(path))
        return false;
    // A folder made by an older version, or by mkpath under the umask, is closed too.
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return true;
}

void makeTreePrivate(const QString& folder)
{
    constexpr QFileDevice::Permissions owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                               QFileDevice::ExeOwner | QFileDevice::ReadUser | QFileDevice::WriteUser |
                                               QFileDevice::ExeUser;
    QDirIterator entries(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        entries.next();
        const QFileInfo info = entries.fileInfo();
        if (info.isSymLink())
            continue;
        if (info.isDir())
            QFile::setPermissions(info.filePath(),
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        else if (info.isFile() && (info.permissions() & ~owner))
            QFile::setPermissions(info.filePath(), info.permissions() & owner);
    }
}

bool writeAtomically(const QString& path, const QByteArray& bytes, QString* error)
{
    const auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    const QFileInfo info(path);
    if (!makePrivateFolder(info.absolutePath()))
        return fail(QStringLiteral("cannot create the folder %1").arg(info.absolutePath()));
    QSaveFile file(path);
    // Unbuffered, so that a short write (a full disk) fails the write itself: a failed flush at
    // commit is not always reported, and would put a cut-off file in place of a whole one.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(file.errorString());
    // The temporary file takes the old file's mode, which an older version left readable to all.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return fail(file.errorString());
    }
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

} // namespace StoreFile
