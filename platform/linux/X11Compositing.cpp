#include "platform/linux/X11Compositing.h"

#include <X11/Xlib.h>

#include <string>
#include <utility>

struct X11Compositing::Connection
{
    bool opened = false;
    Display* display = nullptr;
    Atom selection = None;
};

X11Compositing::X11Compositing()
    : m_connection(new Connection)
{}

X11Compositing::~X11Compositing()
{
    if (m_connection->display)
        XCloseDisplay(m_connection->display);
    delete m_connection;
}

bool X11Compositing::isActive() const
{
    Connection& connection = *m_connection;
    // Opened when first asked, as a panel first shows, rather than while the program starts.
    if (!std::exchange(connection.opened, true)) {
        // A connection of our own: the answer must not depend on which toolkit connection is current.
        connection.display = XOpenDisplay(nullptr);
        if (connection.display) {
            const std::string name = "_NET_WM_CM_S" + std::to_string(DefaultScreen(connection.display));
            connection.selection = XInternAtom(connection.display, name.c_str(), False);
        }
    }
    if (!connection.display || connection.selection == None)
        return false;
    return XGetSelectionOwner(connection.display, connection.selection) != None;
}
