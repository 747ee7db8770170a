#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

// The real murmo program, built next to the tests, started with its own home and a chosen
// environment. The destructor always ends it, so a failing test leaves nothing running.
class MurmoProcess
{
public:
    explicit MurmoProcess(QProcessEnvironment environment);
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
    QProcessEnvironment m_environment;
    QProcess m_process;
};
