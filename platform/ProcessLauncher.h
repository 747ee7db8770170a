#pragma once

#include <QString>
#include <QStringList>

// Starts other programs. Arguments are handed over one by one and never through a shell, so no
// character in them has a special meaning.
class ProcessLauncher
{
public:
    virtual ~ProcessLauncher() = default;

    // Starts program detached from this process; false when it could not be started.
    virtual bool startDetached(const QString& program, const QStringList& arguments) = 0;

    // The full path of an installed program, empty when none is found on the search path.
    virtual QString findExecutable(const QString& name) const = 0;
};
