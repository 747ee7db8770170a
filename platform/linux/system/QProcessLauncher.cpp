#include "platform/linux/system/QProcessLauncher.h"

#include <QProcess>
#include <QStandardPaths>

bool QProcessLauncher::startDetached(const QString& program, const QStringList& arguments)
{
    return QProcess::startDetached(program, arguments);
}

QString QProcessLauncher::findExecutable(const QString& name) const
{
    return QStandardPaths::findExecutable(name);
}
