#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <optional>

#include <sys/types.h>

class QSocketNotifier;

// The real murmo program, built next to the tests, started with its own home and a chosen
// environment. The destructor always ends it, so a failing test leaves nothing running.
class MurmoProcess
{
public:
    // umask: every start and launch runs under it, and as a user whom file modes bind: root's
    // right to pass over them (the tests may run as root) is dropped. terminal: its stderr is a
    // terminal, as in a shell (what it writes there is passed on to the test's); without one, a
    // launch that does not act shows why in a window, as from the menu.
    explicit MurmoProcess(QProcessEnvironment environment, std::optional<mode_t> umask = std::nullopt,
                          bool terminal = true);
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
    int m_terminal = -1;
    int m_terminalHeld = -1;
    QByteArray m_terminalName;
    QSocketNotifier* m_terminalOutput = nullptr;
    QProcess m_process;
};
