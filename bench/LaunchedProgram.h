#pragma once

// The real murmo program started as a user starts it, in a home of its own, and what it costs
// as seen from outside: the time until its window shows, its memory and its processor time.

#include "core/store/HistoryEntry.h"
#include "tests/app/launch_desktop/X11Windows.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <fstream>
#include <optional>
#include <string>

#include <unistd.h>

inline constexpr int kMappedTimeoutMs = 20000;

// build/<config>/app/murmo beside build/<config>/bench.
inline QString murmoProgram()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../app/murmo");
}

// A throw-away home for murmo: installed for this user (its launcher entry names this binary, as
// the installed copy's does, so no "not installed" banner shows), onboarded, its services on a
// closed loopback port (or on fakes the benchmark runs) so nothing leaves the machine, optionally
// a long history. A home not onboarded is a new user's: the first-run sheet shows.
class MurmoHome
{
public:
    explicit MurmoHome(int historyEntries = 0, bool onboarded = true)
    {
        for (const char* sub : {"home", "config/Murmo", "data/Murmo", "cache", "runtime"})
            QDir(m_dir.path()).mkpath(QString::fromLatin1(sub));
        QFile::setPermissions(m_dir.filePath(QStringLiteral("runtime")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (onboarded)
            QSettings(m_dir.filePath(QStringLiteral("config/Murmo/Murmo.conf")), QSettings::IniFormat)
                .setValue(QStringLiteral("didOnboard"), true);
        if (historyEntries > 0)
            writeHistory(historyEntries);
        writeLauncherEntry();
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_dir.filePath(QStringLiteral("home")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), m_dir.filePath(QStringLiteral("cache")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.filePath(QStringLiteral("runtime")));
        for (const char* name : {"MURMO_GATEWAY_URL", "MURMO_DASHSCOPE_URL", "MURMO_DEEPGRAM_URL",
                                 "MURMO_ANTHROPIC_URL", "MURMO_SIGNIN_URL"})
            env.insert(QString::fromLatin1(name), m_services);
        return env;
    }

    // Every service at address from now on.
    void useServices(const QUrl& address) { m_services = address.toString(); }

    // Puts bytes in the data folder as the file name, for the program to find at its start.
    void writeData(const QString& name, const QByteArray& bytes)
    {
        QFile file(m_dir.filePath(QStringLiteral("data/Murmo/") + name));
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
    }

    // Puts the file at path in the data folder as the file name without writing it again: the
    // program replaces a data file whole and never writes into it, so one file serves every home.
    void linkData(const QString& name, const QString& path)
    {
        const QString target = m_dir.filePath(QStringLiteral("data/Murmo/") + name);
        if (::link(QFile::encodeName(path).constData(), QFile::encodeName(target).constData()) != 0)
            QFile::copy(path, target);
    }

private:
    void writeLauncherEntry()
    {
        QDir(m_dir.path()).mkpath(QStringLiteral("data/applications"));
        QFile entry(m_dir.filePath(QStringLiteral("data/applications/murmo.desktop")));
        if (entry.open(QIODevice::WriteOnly))
            entry.write("[Desktop Entry]\nType=Application\nName=Murmo\nExec=" +
                        QFileInfo(murmoProgram()).canonicalFilePath().toUtf8() +
                        " %u\nMimeType=x-scheme-handler/murmo;\n");
    }

    void writeHistory(int count)
    {
        QList<HistoryEntry> entries;
        const QDateTime start = QDateTime::currentDateTimeUtc().addDays(-60);
        for (int i = 0; i < count; ++i) {
            const QString text =
                QStringLiteral("第%1条：明天上午十点和设计组过一遍新版首页，记得带上上周的用户访谈记录。").arg(i);
            const std::optional<QString> action =
                i % 4 == 0 ? std::optional<QString>(QStringLiteral("translate")) : std::nullopt;
            entries.append(HistoryEntry::make(text, text, QStringLiteral("default"), QStringLiteral("gateway"), action,
                                              start.addSecs(i * 60)));
        }
        writeData(QStringLiteral("history.json"), HistoryEntry::encodeList(entries));
    }

    QTemporaryDir m_dir;
    QString m_services = QStringLiteral("http://127.0.0.1:9/");
};

// One started program; ended (and waited for) when it goes.
class Launch
{
public:
    Launch(const QString& program, const QString& title, const QProcessEnvironment& environment,
           const QStringList& arguments = {})
        : m_title(title)
    {
        m_process.setProcessEnvironment(environment);
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_clock.start();
        m_process.start(program, arguments);
        m_process.waitForStarted(5000);
        m_pid = m_process.processId();
    }

    ~Launch()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    qint64 processId() const { return m_process.processId(); }
    // False once it has ended: its memory and times then read as nothing.
    bool isRunning() const { return m_process.state() == QProcess::Running; }
    // Milliseconds since the start.
    qint64 elapsedMs() const { return m_clock.elapsed(); }

    // Seconds from the start until the window manager shows its window; nothing on a timeout.
    std::optional<double> secondsToMapped(const X11Windows& windows)
    {
        const qint64 pid = m_process.processId();
        while (m_clock.elapsed() < kMappedTimeoutMs && m_process.state() == QProcess::Running) {
            if (windows.mappedWindow(pid, m_title) != 0)
                return double(m_clock.nsecsElapsed()) / 1e9;
            // Fakes the benchmark runs are served meanwhile.
            QCoreApplication::processEvents();
            QThread::usleep(500);
        }
        return std::nullopt;
    }

    // Whether the main thread waits in its event loop for something to do right now: blocked in
    // poll (7) or ppoll (271), where Qt's event loop sleeps. Anything else (running, or waiting for
    // a lock, a disk or another thread) keeps it from its events. Nothing when that cannot be read:
    // the program forbids tracing it, which only a user with the right to trace any process passes.
    std::optional<bool> mainThreadAwaitsEvents() const
    {
        const std::string path = "/proc/" + std::to_string(m_pid) + "/task/" + std::to_string(m_pid) + "/syscall";
        std::ifstream syscall(path);
        std::string first;
        if (!(syscall >> first))
            return std::nullopt;
        return first == "7" || first == "271";
    }

    // Nanoseconds the main thread has spent ready to run but waiting for a processor, which a busy
    // machine takes from it whatever the program does.
    qint64 mainThreadRunDelayNs() const
    {
        std::ifstream schedstat("/proc/" + std::to_string(m_pid) + "/task/" + std::to_string(m_pid) + "/schedstat");
        qint64 running = 0;
        qint64 waiting = 0;
        schedstat >> running >> waiting;
        return waiting;
    }

    // Resident memory in KiB.
    long residentKiB() const { return statusKiB("VmRSS:"); }
    // The most memory it has held resident so far, in KiB.
    long peakResidentKiB() const { return statusKiB("VmHWM:"); }

    // Nanoseconds on a processor so far, for each of the process's threads by its id.
    using ThreadTimes = QHash<QString, qint64>;
    ThreadTimes threadCpuNanoseconds() const
    {
        ThreadTimes times;
        const QDir tasks(QStringLiteral("/proc/%1/task").arg(m_process.processId()));
        for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile stat(tasks.filePath(task + QStringLiteral("/schedstat")));
            if (stat.open(QIODevice::ReadOnly))
                times.insert(task, stat.readAll().split(' ').front().toLongLong());
        }
        return times;
    }

    // Nanoseconds on a processor since before was read. Threads are compared one by one: a thread
    // that ends in between (a pool's idle worker retires after 30 s) takes its whole time with it
    // and would make a plain total shrink.
    qint64 cpuNanosecondsSince(const ThreadTimes& before) const
    {
        qint64 total = 0;
        const ThreadTimes now = threadCpuNanoseconds();
        for (auto it = now.cbegin(); it != now.cend(); ++it)
            total += it.value() - before.value(it.key(), 0);
        return total;
    }

    // How often the main thread has been put to sleep and woken since it started: every timer,
    // event or poll that wakes it counts once.
    long mainThreadSwitches() const
    {
        const qint64 pid = m_process.processId();
        QFile status(QStringLiteral("/proc/%1/task/%1/status").arg(pid));
        if (!status.open(QIODevice::ReadOnly))
            return 0;
        long switches = 0;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("voluntary_ctxt_switches:") || line.startsWith("nonvoluntary_ctxt_switches:"))
                switches += line.mid(line.indexOf(':') + 1).trimmed().toLong();
        }
        return switches;
    }

    // How often each thread has been put to sleep and woken so far, by its id.
    using ThreadCounts = QHash<QString, qint64>;
    ThreadCounts threadSwitches() const
    {
        ThreadCounts switches;
        const QDir tasks(QStringLiteral("/proc/%1/task").arg(m_process.processId()));
        for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile status(tasks.filePath(task + QStringLiteral("/status")));
            if (!status.open(QIODevice::ReadOnly))
                continue;
            for (const QByteArray& line : status.readAll().split('\n')) {
                if (line.startsWith("voluntary_ctxt_switches:") || line.startsWith("nonvoluntary_ctxt_switches:"))
                    switches[task] += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
            }
        }
        return switches;
    }

    // Wake-ups of the whole process since before was read, thread by thread: a thread that ended in
    // between (a pool's idle worker retiring) is not counted, as it will not wake again; one that
    // started is counted whole.
    qint64 wakeUpsSince(const ThreadCounts& before) const
    {
        qint64 total = 0;
        const ThreadCounts now = threadSwitches();
        for (auto it = now.cbegin(); it != now.cend(); ++it)
            total += it.value() - before.value(it.key(), 0);
        return total;
    }

private:
    QString m_title;
    QProcess m_process;
    // Kept apart for threads that watch the process: QProcess is not for them.
    long statusKiB(const QByteArray& key) const
    {
        QFile status(QStringLiteral("/proc/%1/status").arg(m_process.processId()));
        if (!status.open(QIODevice::ReadOnly))
            return 0;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith(key))
                return line.mid(key.size()).trimmed().split(' ').front().toLong();
        }
        return 0;
    }

    qint64 m_pid = 0;
    QElapsedTimer m_clock;
};
