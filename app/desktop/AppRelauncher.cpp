#include "app/desktop/AppRelauncher.h"

#include "platform/ProcessLauncher.h"

#include <QCoreApplication>

AppRelauncher::AppRelauncher(ProcessLauncher& launcher, std::function<void()> quit)
    : m_launcher(launcher)
    , m_quit(std::move(quit))
{}

void AppRelauncher::relaunch()
{
    QStringList arguments = QCoreApplication::arguments();
    if (!arguments.isEmpty())
        arguments.removeFirst();
    relaunch(QCoreApplication::applicationFilePath(), arguments);
}

QStringList AppRelauncher::launchArguments(const QString& program, const QStringList& arguments)
{
    const double seconds = std::chrono::duration<double>(startDelay).count();
    // "$0" and "$@" are expanded by the shell as whole words; the script itself is constant.
    QStringList all{QStringLiteral("-c"), QStringLiteral("sleep %1; exec \"$0\" \"$@\"").arg(seconds), program};
    all += arguments;
    return all;
}

void AppRelauncher::relaunch(const QString& program, const QStringList& arguments)
{
    // A failed start is not reported: quitting anyway matches what the user asked for, and the
    // program can be started again by hand.
    m_launcher.startDetached(QStringLiteral("/bin/sh"), launchArguments(program, arguments));
    if (m_quit)
        m_quit();
}
