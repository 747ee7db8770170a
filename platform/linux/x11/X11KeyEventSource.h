#pragma once

#include "platform/KeyEventSource.h"

#include <QByteArray>

#include <atomic>
#include <memory>
#include <thread>

// Watches the X11 keyboard through XInput2 raw key events on the root window, which report every
// key (lone modifiers included) whichever window has the focus and whoever grabs the keyboard.
// Raw events only observe; combinations the sink wants withheld from the front application are
// grabbed with passive key grabs, and the whole keyboard while a new hotkey is recorded.
//
// Everything X runs on one thread of its own with its own connection, so a slow main thread never
// delays the desktop's keys. A broken connection tells the sink its keys were lost and is
// reopened every half second until it works again or the source stops.
class X11KeyEventSource : public KeyEventSource
{
public:
    // displayName empty: the DISPLAY of the environment.
    explicit X11KeyEventSource(QByteArray displayName = {});
    ~X11KeyEventSource() override;

    bool start(KeyEventSink& sink) override;
    void stop() override;
    bool isRunning() const override;
    void grabsChanged() override;

private:
    class Connection;

    void run();
    void wake();
    bool waitForWake(int timeoutMs);

    QByteArray m_displayName;
    KeyEventSink* m_sink = nullptr;
    std::unique_ptr<Connection> m_connection;
    std::thread m_thread;
    int m_wakeFd = -1;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_grabsDirty{false};
    std::atomic<bool> m_running{false};
};
