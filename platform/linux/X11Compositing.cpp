#include "platform/linux/X11Compositing.h"

#include <X11/Xlib.h>

#include <string>

struct X11Compositing::Connection
{
    Display* display = nullptr;
    Atom selection = None;
};

X11Compositing::X11Compositing()
    : m_connection(new Connection)
{
    // A connection of our own: the answer must not depend on which toolkit connection is current.
    m_connection->display = XOpenDisplay(nullptr);
    if (m_connection->display) {
        const std::string name = "_NET_WM_CM_S" + std::to_string(DefaultScreen(m_connection->display));
        m_connection->selection = XInternAtom(m_connection->display, name.c_str(), False);
    }
}

X11Compositing::~X11Compositing()
{
    if (m_connection->display)
        XCloseDisplay(m_connection->display);
    delete m_connection;
}

bool X11Compositing::isActive() const
{
    if (!m_connection->display || m_connection->selection == None)
        return false;
    return XGetSelectionOwner(m_connection->display, m_connection->selection) != None;
}
