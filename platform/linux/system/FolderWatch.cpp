#include "platform/linux/system/FolderWatch.h"

#include <QFile>
#include <QSocketNotifier>

#include <sys/inotify.h>
#include <unistd.h>

FolderWatch::FolderWatch(QObject* parent)
    : QObject(parent)
{}

FolderWatch::~FolderWatch()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool FolderWatch::watch(const QString& folder)
{
    if (m_fd < 0) {
        m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_fd < 0)
            return false;
        m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &FolderWatch::readEvents);
    }
    // The same folder again keeps its watch; a folder made anew in the place of a removed one
    // gets a new one (the old ended with the folder).
    return ::inotify_add_watch(m_fd, QFile::encodeName(folder).constData(),
                               IN_DELETE | IN_MOVED_FROM | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR) >= 0;
}

void FolderWatch::readEvents()
{
    // What left does not matter, only that something did: the caller looks for itself.
    alignas(struct inotify_event) char buffer[4096];
    bool left = false;
    for (;;) {
        const ssize_t size = ::read(m_fd, buffer, sizeof buffer);
        if (size <= 0)
            break;
        for (ssize_t at = 0; at < size;) {
            const auto* event = reinterpret_cast<const struct inotify_event*>(buffer + at);
            // IN_IGNORED: a watch ended with its folder; watch() it again once it is back.
            if (!(event->mask & IN_IGNORED))
                left = true;
            at += ssize_t(sizeof(struct inotify_event)) + event->len;
        }
    }
    if (left)
        Q_EMIT somethingLeft();
}
