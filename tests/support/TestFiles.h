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
