#include "tests/app/launch_desktop/MurmoProcess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTest>

#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/stat.h>

MurmoProcess::MurmoProcess(QProcessEnvironment environment, std::optional<mode_t> umask)
    : m_environment(std::move(environment))
    , m_umask(umask)
{
    prepare(m_process);
}

void MurmoProcess::prepare(QProcess& process) const
{
    process.setProcessEnvironment(m_environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    if (!m_umask)
        return;
    process.setChildProcessModifier([mask = *m_umask] {
        ::umask(mask);
        // Out of the bounding set, so that the program does not get them back when it starts.
        // Fails, harmlessly, where the tests do not run as root.
        ::prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
        ::prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0);
    });
}

MurmoProcess::~MurmoProcess()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
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
