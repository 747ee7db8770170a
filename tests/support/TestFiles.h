#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// Whole-file reads and writes for arranging and inspecting test data.

// The bytes of path, or nothing when it cannot be opened.
inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Replaces path with bytes; false when that failed.
inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A file name (ending in suffix) that leaves no room for a set-aside suffix such as
// ".unreadable-<yyyyMMdd-HHmmss>": moving it aside fails for every user, root included, as it does
// for others in a folder they cannot write.
inline QString nameWithNoRoomToSetAside(const QString& suffix)
{
    constexpr int kNameMax = 255;
    return QString(kNameMax - 20 - suffix.size(), QLatin1Char('M')) + suffix;
}

// A file name (ending in suffix) that leaves no room for a save file's temporary name beside it
// ("<name>.XXXXXX"): such a file can be read, but replacing it fails for every user, root
// included, as it does for others in a folder they cannot write.
inline QString nameWithNoRoomForASaveFile(const QString& suffix)
{
    constexpr int kNameMax = 255;
    return QString(kNameMax - 4 - suffix.size(), QLatin1Char('M')) + suffix;
}
