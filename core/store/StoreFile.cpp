#include "core/store/StoreFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace StoreFile {

std::optional<QByteArray> readOrQuarantine(const QString& path, const QDateTime& now)
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
    quarantine(path, now);
    return std::nullopt;
}

QString quarantine(const QString& path, const QDateTime& now)
{
    const QString base = path + QStringLiteral(".unreadable-") + now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString target = base;
    for (int n = 2; QFileInfo::exists(target) || QFileInfo(target).isSymLink(); ++n)
        target = base + QLatin1Char('-') + QString::number(n);
    if (!QFile::rename(path, target))
        return {};
    return target;
}

bool writeAtomically(const QString& path, const QByteArray& bytes, QString* error)
{
    const auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath()))
        return fail(QStringLiteral("cannot create the folder %1").arg(info.absolutePath()));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return fail(file.errorString());
    }
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

} // namespace StoreFile
