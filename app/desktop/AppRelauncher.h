#pragma once

#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>

class ProcessLauncher;

// Starts this program again and ends the running one; accessibility that was just switched on
// reaches only a freshly started program.
class AppRelauncher
{
public:
    // Lets the old instance end before the new one starts, so the new one does not find it
    // still running and hand over to it.
    static constexpr std::chrono::milliseconds startDelay{500};

    // quit ends the running program (the application's quit in production).
    AppRelauncher(ProcessLauncher& launcher, std::function<void()> quit);

    // Relaunches the running executable with the arguments it was started with.
    void relaunch();
    // Starts program with arguments after the delay, then quits. The program's path reaches the
    // new process unchanged, whatever characters it holds: it is an argument of the delaying
    // shell, never part of its script.
    void relaunch(const QString& program, const QStringList& arguments);

    // The command that start-up goes through: a fixed script plus the program and its arguments.
    static QStringList launchArguments(const QString& program, const QStringList& arguments);

private:
    ProcessLauncher& m_launcher;
    std::function<void()> m_quit;
};
