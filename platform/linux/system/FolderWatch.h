#pragma once

#include <QObject>
#include <QString>

class QSocketNotifier;

// Says when something in a folder is removed or renamed away, or the folder itself is: the
// kernel tells (inotify), so nothing runs while nothing happens. Unlike QFileSystemWatcher it
// never falls back to looking every second when the user has run out of inotify instances; it
// says so instead, and the caller decides how often to look. Main thread only.
class FolderWatch : public QObject
{
    Q_OBJECT

public:
    explicit FolderWatch(QObject* parent = nullptr);
    ~FolderWatch() override;

    // Watches folder as well as those watched already; false when the kernel will not.
    bool watch(const QString& folder);

Q_SIGNALS:
    void somethingLeft();

private:
    void readEvents();

    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
};
