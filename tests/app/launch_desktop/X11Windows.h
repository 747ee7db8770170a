#pragma once

#include <QString>
#include <QtGlobal>

struct _XDisplay;

// The desktop's top-level windows as the window manager lists them (_NET_CLIENT_LIST): which
// ones a process has on screen, and closing one as its title bar's close button would.
class X11Windows
{
public:
    X11Windows();
    ~X11Windows();
    X11Windows(const X11Windows&) = delete;
    X11Windows& operator=(const X11Windows&) = delete;

    bool isOpen() const { return m_display != nullptr; }

    // The managed, viewable window of pid with that title; 0 when there is none.
    unsigned long mappedWindow(qint64 pid, const QString& title) const;
    // Asks the window to close (WM_DELETE_WINDOW).
    void close(unsigned long window) const;

private:
    unsigned long atom(const char* name) const;

    _XDisplay* m_display = nullptr;
};
