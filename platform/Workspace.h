#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <optional>

// A running application as the desktop shows it: identified by its lower-cased window class,
// with the process id and the display name, and the window through which it is activated.
struct RunningApplication
{
    // Named after the macOS bundle identifier it stands in for; here the lower-cased WM_CLASS.
    QString bundleId;
    qint32 pid = 0;
    QString name;
    quint64 window = 0;

    bool operator==(const RunningApplication&) const = default;
};

// The applications of the desktop: which one is in front, which are running, bringing one to the
// front. Used on the main thread only; every call answers at once.
class Workspace
{
public:
    virtual ~Workspace() = default;

    // This program's own identifier: its lower-cased window class (the name keeps the design's).
    virtual QString ownBundleId() const = 0;
    bool isOwn(const QString& bundleId) const { return bundleId == ownBundleId(); }

    // The application owning the active window, absent when no window is active.
    virtual std::optional<RunningApplication> frontApplication() = 0;

    // The running applications with this identifier, the most recently used first.
    virtual QList<RunningApplication> runningApplications(const QString& bundleId) = 0;

    // Whether application is the one in front now, with the keyboard's focus: keys synthesised
    // now would reach it.
    virtual bool isActive(const RunningApplication& application) = 0;

    // Asks the desktop to bring application to the front. Activation happens later, if at all.
    virtual void activate(const RunningApplication& application) = 0;

    // The title of the window through which the process pid was last used, absent when it has
    // no window or the title cannot be read.
    virtual std::optional<QString> windowTitle(qint32 pid) = 0;

    // observer is called on the main thread each time another window becomes the active one; a
    // later call replaces it, an empty one stops the calls. An adapter that cannot watch the
    // desktop never calls it.
    virtual void setActiveWindowObserver(std::function<void()> observer) = 0;
};
