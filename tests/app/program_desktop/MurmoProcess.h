#pragma once

#include "core/store/HistoryEntry.h"

#include <QList>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>
#include <QVariantMap>

// The built murmo program, run as a user would run it, with a home of its own: its settings,
// data and single-instance socket live in a throw-away folder, and every service address points
// at a fake on loopback. The program is always ended when this goes away: asked to quit first,
// killed when it does not.
class MurmoProcess
{
public:
    // settings: written into the settings file before the program first reads it.
    MurmoProcess(const QUrl& services, const QVariantMap& settings);
    ~MurmoProcess();
    MurmoProcess(const MurmoProcess&) = delete;
    MurmoProcess& operator=(const MurmoProcess&) = delete;

    // Where the tests expect the program: build/<config>/app/murmo beside build/<config>/tests.
    static QString programPath();

    bool start();
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    qint64 pid() const { return m_process.processId(); }
    // A further "murmo" with arguments, as the user types it; its exit code, or -1 when it did
    // not end in time.
    int launch(const QStringList& arguments) const;
    // "murmo --quit", as the user types it; true when the running program then ends by itself.
    bool quit();
    // Waits for the program to end by itself; true when it ended normally with exit code 0.
    bool waitForCleanExit();
    // From now on the running program's disk is full: no file of it grows past a few bytes.
    bool fillDisk();
    // Ends the program at once (SIGKILL), as a crash would; start() runs it again on the same home.
    void kill();

    QString dataDirectory() const;
    // The history as the program last saved it, newest first.
    QList<HistoryEntry> history() const;
    // The entry's recording on disk, or empty.
    QString recordingPath(const HistoryEntry& entry) const;
    // Whether the program holds a recording stream on the sound server right now.
    bool isCapturing() const;

private:
    QProcessEnvironment environment() const;

    QTemporaryDir m_home;
    QUrl m_services;
    QProcess m_process;
};
