#include "tests/app/launch_desktop/MurmoProcess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTest>

MurmoProcess::MurmoProcess(QProcessEnvironment environment)
    : m_environment(std::move(environment))
{
    m_process.setProcessEnvironment(m_environment);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.setStandardOutputFile(QProcess::nullDevice());
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
    launch.setProcessEnvironment(m_environment);
    launch.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    launch.setStandardOutputFile(QProcess::nullDevice());
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
