#pragma once

#include "platform/Workspace.h"

#include <QByteArray>
#include <QHash>

#include <memory>

class QSocketNotifier;

typedef struct _XDisplay Display;

// The workspace port over X11 and the window manager's EWMH properties: an application is the
// lower-cased WM_CLASS class of its windows, its pid is _NET_WM_PID, the front one owns
// _NET_ACTIVE_WINDOW (or the input focus when no window manager sets that) and counts as active
// while the input focus is inside that window, activation asks the window manager through
// _NET_ACTIVE_WINDOW, and the window manager's changes of that property on the root window tell
// the observer. Holds its own connections, opened when first needed; main thread only.
class X11Workspace : public Workspace
{
public:
    // displayName empty: $DISPLAY.
    explicit X11Workspace(const QString& ownBundleId = QStringLiteral("murmo"), const QString& displayName = {});
    ~X11Workspace() override;
    X11Workspace(const X11Workspace&) = delete;
    X11Workspace& operator=(const X11Workspace&) = delete;

    bool isConnected() { return display() != nullptr; }

    QString ownBundleId() const override { return m_ownBundleId; }
    std::optional<RunningApplication> frontApplication() override;
    QList<RunningApplication> runningApplications(const QString& bundleId) override;
    bool isActive(const RunningApplication& application) override;
    void activate(const RunningApplication& application) override;
    std::optional<QString> windowTitle(qint32 pid) override;
    void setActiveWindowObserver(std::function<void()> observer) override;

private:
    // The connection for questions and requests, opened on first use; null without an X server.
    Display* display();
    // Reads every event that has arrived on the watch connection.
    void drainEvents();
    unsigned long activeWindow();
    // Whether the keyboard's focus is window or inside it.
    bool holdsInputFocus(unsigned long window);
    QList<unsigned long> clientWindows();
    std::optional<RunningApplication> applicationOf(unsigned long window);
    QString displayNameFor(const QString& bundleId, const QString& windowClass);
    std::optional<QString> titleOf(unsigned long window);
    bool supports(const char* atomName);
    unsigned long atom(const char* name);

    QString m_ownBundleId;
    QByteArray m_displayName;
    Display* m_display = nullptr;
    bool m_displayTried = false;
    // Opened with the first observer, for the active-window watch alone.
    Display* m_watchDisplay = nullptr;
    unsigned long m_root = 0;
    QHash<QString, QString> m_desktopNames;
    std::function<void()> m_activeWindowObserver;
    unsigned long m_activeWindowAtom = 0;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
