#pragma once

#include "tests/support/TestFiles.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QString>

// The build tree the running test was built in (build/<type>/tests/<test>), as CMake recorded it.
namespace BuildTree {

inline QString dir()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/..");
}

// A value of its CMakeCache.txt ("CMAKE_COMMAND", "CMAKE_HOME_DIRECTORY"); empty when it has none.
inline QString cacheValue(const QString& name)
{
    const QString cache = QString::fromUtf8(readFile(dir() + QStringLiteral("/CMakeCache.txt")));
    const QRegularExpression entry(QStringLiteral("\n%1:[A-Z]+=([^\n]*)").arg(QRegularExpression::escape(name)));
    return entry.match(cache).captured(1);
}

} // namespace BuildTree
