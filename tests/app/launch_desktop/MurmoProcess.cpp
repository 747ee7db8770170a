#include "tests/app/launch_desktop/MurmoProcess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSocketNotifier>
#include <QTest>

#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

MurmoProcess::MurmoProcess(QProcessEnvironment environment, std::optional<mode_t> umask, bool terminal)
    : m_environment(std::move(environment))
    , m_umask(umask)
{
    if (terminal) {
        m_terminal = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_terminal >= 0 && ::grantpt(m_terminal) == 0 && ::unlockpt(m_terminal) == 0) {
            m_terminalName = ::ptsname(m_terminal);
            // Kept open here too: with no end open, the other reads as ended over and over.
            m_terminalHeld = ::open(m_terminalName.constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
            // Read as it comes: a terminal nobody reads would hold the program up once full.
            m_terminalOutput = new QSocketNotifier(m_terminal, QSocketNotifier::Read);
            QObject::connect(m_terminalOutput, &QSocketNotifier::activated, m_terminalOutput, [fd = m_terminal] {
                char buffer[4096];
                const ssize_t size = ::read(fd, buffer, sizeof buffer);
                if (size > 0)
                    std::fwrite(buffer, 1, size_t(size), stderr);
            });
        }
    }
    prepare(m_process);
}

void MurmoProcess::prepare(QProcess& process) const
{
    process.setProcessEnvironment(m_environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setChildProcessModifier([mask = m_umask, terminal = m_terminalName] {
        if (!terminal.isEmpty()) {
            const int fd = ::open(terminal.constData(), O_RDWR | O_NOCTTY);
            if (fd >= 0) {
                ::dup2(fd, STDERR_FILENO);
                ::close(fd);
            }
        }
        if (!mask)
            return;
        ::umask(*mask);
        // Out of the bounding set, so that the program does not get them back when it starts.
        // Fails, harmlessly, where the tests do not run as root.
        ::prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
        ::prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0);
    });
}

MurmoProcess::~MurmoProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    delete m_terminalOutput;
    if (m_terminalHeld >= 0)
        ::close(m_terminalHeld);
    if (m_terminal >= 0)
        ::close(m_terminal);
}

QString MurmoProcess::program()
{
    // build/<type>/tests/<test> → build/<type>/app/murmo
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../app/murmo");
}

bool MurmoProcess::start(const QStringList& arguments)
{
    m_process.start(program(), arguments);
    return m_process.waitForStarted(5000);
}

int MurmoProcess::runOnce(const QStringList& arguments) const
{
    QProcess launch;
    prepare(launch);
    launch.start(program(), arguments);
    // Our event loop keeps running meanwhile: the fake gateway lives in this process.
    const QDeadlineTimer deadline(15000);
    while (launch.state() != QProcess::NotRunning && !deadline.hasExpired())
        QTest::qWait(20);
    if (launch.state() != QProcess::NotRunning) {
        launch.kill();
        launch.waitForFinished(5000);
        return -1;
    }
    return launch.exitStatus() == QProcess::NormalExit ? launch.exitCode() : -1;
}

int MurmoProcess::waitForExit(int milliseconds)
{
    const QDeadlineTimer deadline(milliseconds);
    while (m_process.state() != QProcess::NotRunning && !deadline.hasExpired())
        QTest::qWait(20);
    if (m_process.state() != QProcess::NotRunning)
        return -1;
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}
