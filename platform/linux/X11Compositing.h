#pragma once

#include "platform/Compositing.h"

// A compositing manager on X11 announces itself by owning the _NET_WM_CM_S<screen> selection.
// Main thread only (its connection opens on the first question).
class X11Compositing : public Compositing
{
public:
    X11Compositing();
    ~X11Compositing() override;

    X11Compositing(const X11Compositing&) = delete;
    X11Compositing& operator=(const X11Compositing&) = delete;

    bool isActive() const override;

private:
    struct Connection;
    Connection* m_connection;
};
