#include "tests/app/program_desktop/MurmoProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QTest>

#include <csignal>

#include <sys/resource.h>

namespace {

constexpr int kQuitMs = 10000;

QString run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(10000))
        process.kill();
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

MurmoProcess::MurmoProcess(const QUrl& services, const QVariantMap& settings)
    : m_services(services)
{
    QDir(m_home.path()).mkpath(QStringLiteral("config/Murmo"));
    QDir(m_home.path()).mkpath(QStringLiteral("tmp"));
    QDir(m_home.path()).mkpath(QStringLiteral("runtime"));
    QFile::setPermissions(m_home.filePath(QStringLiteral("runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QSettings file(m_home.filePath(QStringLiteral("config/Murmo/Murmo.conf")), QSettings::IniFormat);
    for (auto it = settings.begin(); it != settings.end(); ++it)
        file.setValue(it.key(), it.value());
    file.sync();
    m_process.setProcessEnvironment(environment());
    m_process.setProcessChannelMode(QProcess::ForwardedChannels);
    // A write past the size limit then fails, as on a full disk, instead of ending the program.
    m_process.setChildProcessModifier([] { std::signal(SIGXFSZ, SIG_IGN); });
}

MurmoProcess::~MurmoProcess()
{
    if (isRunning() && !quit()) {
        m_process.kill();
        m_process.waitForFinished(kQuitMs);
    }
}

QString MurmoProcess::programPath()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../app/murmo"));
}

QProcessEnvironment MurmoProcess::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
    // The single-instance socket lives in the runtime folder: one of ours per test, never a user's
    // or another test's. The sound server is named by address in the desktop's environment.
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home.filePath(QStringLiteral("runtime")));
    environment.insert(QStringLiteral("TMPDIR"), m_home.filePath(QStringLiteral("tmp")));
    const QString address = m_services.toString();
    for (const char* name : {"MURMO_GATEWAY_URL", "MURMO_DASHSCOPE_URL", "MURMO_DEEPGRAM_URL", "MURMO_ANTHROPIC_URL"})
        environment.insert(QString::fromLatin1(name), address);
    return environment;
}

bool MurmoProcess::start()
{
    m_process.start(programPath(), {});
    return m_process.waitForStarted(kQuitMs);
}

void MurmoProcess::kill()
{
    m_process.kill();
    m_process.waitForFinished(kQuitMs);
}

int MurmoProcess::launch(const QStringList& arguments) const
{
    QProcess command;
    command.setProcessEnvironment(environment());
    command.setProcessChannelMode(QProcess::ForwardedChannels);
    command.start(programPath(), arguments);
    if (!command.waitForFinished(kQuitMs)) {
        command.kill();
        command.waitForFinished(kQuitMs);
        return -1;
    }
    return command.exitStatus() == QProcess::NormalExit ? command.exitCode() : -1;
}

bool MurmoProcess::fillDisk()
{
    const rlimit full{16, RLIM_INFINITY};
    return ::prlimit(pid_t(pid()), RLIMIT_FSIZE, &full, nullptr) == 0;
}

bool MurmoProcess::quit()
{
    if (const int exitCode = launch({QStringLiteral("--quit")}); exitCode != 0) {
        qWarning("murmo --quit did not succeed (exit code %d)", exitCode);
        return false;
    }
    return waitForCleanExit();
}

bool MurmoProcess::waitForCleanExit()
{
    // The program's own event loop sees the request; ours keeps the fakes answering meanwhile.
    for (int waited = 0; isRunning() && waited < kQuitMs; waited += 20)
        QTest::qWait(20);
    // Tells a crash while ending (which the exit code alone hides) from a program still running.
    if (isRunning())
        qWarning("murmo is still running %d ms after it was asked to quit", kQuitMs);
    else if (m_process.exitStatus() != QProcess::NormalExit)
        qWarning("murmo crashed while ending (signal %d)", m_process.exitCode());
    else if (m_process.exitCode() != 0)
        qWarning("murmo ended with exit code %d", m_process.exitCode());
    return !isRunning() && m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}

QString MurmoProcess::dataDirectory() const
{
    return m_home.filePath(QStringLiteral("data/Murmo"));
}

QList<HistoryEntry> MurmoProcess::history() const
{
    // The file as the program last wrote it, read and nothing more. A history store opened here
    // would be a second writer: it takes a take still being recognised for one interrupted,
    // marks it failed and saves that over the program's file.
    QFile file(QDir(dataDirectory()).filePath(QStringLiteral("history.json")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const std::optional<QList<HistoryEntry>> oldestFirst = HistoryEntry::decodeList(file.readAll());
    if (!oldestFirst)
        return {};
    return QList<HistoryEntry>(oldestFirst->crbegin(), oldestFirst->crend());
}

QString MurmoProcess::recordingPath(const HistoryEntry& entry) const
{
    if (!entry.audioFileName)
        return {};
    const QString path = QDir(dataDirectory()).filePath(QStringLiteral("recordings/") + *entry.audioFileName);
    return QFileInfo(path).isFile() ? path : QString();
}

bool MurmoProcess::isCapturing() const
{
    // The sound server names the process behind every recording stream.
    const QString streams = run(QStringLiteral("pactl"), {QStringLiteral("list"), QStringLiteral("source-outputs")});
    const QRegularExpression owner(QStringLiteral("application\\.process\\.id = \"%1\"").arg(pid()));
    return isRunning() && streams.contains(owner);
}
