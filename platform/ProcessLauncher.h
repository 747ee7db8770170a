#pragma once

#include <QFuture>
#include <QString>
#include <QStringList>
#include <QUrl>

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

    // Hands an address (a web page, a folder) to the desktop's handler for it. Returns at once;
    // the result comes when the handler has finished with it: false when nothing could open it,
    // true when it was opened. A program being started is not yet an address opened: the
    // desktop's opener starts even where no program for the address is installed.
    virtual QFuture<bool> openUrl(const QUrl& url) = 0;
};
