#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <optional>

#include <sys/types.h>

// The real murmo program, built next to the tests, started with its own home and a chosen
// environment. The destructor always ends it, so a failing test leaves nothing running.
class MurmoProcess
{
public:
    // umask: every start and launch runs under it, and as a user whom file modes bind: root's
    // right to pass over them (the tests may run as root) is dropped.
    explicit MurmoProcess(QProcessEnvironment environment, std::optional<mode_t> umask = std::nullopt);
    ~MurmoProcess();

    static QString program();

    bool start(const QStringList& arguments = {});
    // Runs a further launch to its end; its exit code, or -1 when it did not end in time.
    int runOnce(const QStringList& arguments) const;
    // Waits for the started program to end by itself; its exit code, or -1 when it did not end
    // normally in time.
    int waitForExit(int milliseconds);

    qint64 pid() const { return m_process.processId(); }
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }

private:
    void prepare(QProcess& process) const;

    QProcessEnvironment m_environment;
    std::optional<mode_t> m_umask;
    QProcess m_process;
};
