#pragma once

#include <QPoint>

// Moves the pointer and clicks on the X server as a person would with the mouse, through XTest.
class XTestPointer
{
public:
    // displayName null: the DISPLAY of the environment.
    explicit XTestPointer(const char* displayName = nullptr);
    ~XTestPointer();
    XTestPointer(const XTestPointer&) = delete;
    XTestPointer& operator=(const XTestPointer&) = delete;

    bool isOpen() const { return m_display != nullptr; }
    // Moves to at (screen pixels), then presses and lets go of the left button.
    void click(QPoint at);

private:
    void* m_display = nullptr;
    bool m_down = false;
};
