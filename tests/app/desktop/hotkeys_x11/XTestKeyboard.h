#pragma once

#include <set>

// Presses keys on the X server as if typed, through XTest, by X keysym name ("t", "Alt_L").
// Also lets a test play "another program" that already holds a key combination.
class XTestKeyboard
{
public:
    // displayName null: the DISPLAY of the environment.
    explicit XTestKeyboard(const char* displayName = nullptr);
    ~XTestKeyboard();
    XTestKeyboard(const XTestKeyboard&) = delete;
    XTestKeyboard& operator=(const XTestKeyboard&) = delete;

    bool isOpen() const { return m_display != nullptr; }
    void press(const char* keysym);
    void release(const char* keysym);
    void tap(const char* keysym);
    // Turns the server's auto-repeat on, repeating a held key after delayMs every intervalMs, for
    // tests about held keys; off again when this keyboard goes.
    void autoRepeat(unsigned delayMs, unsigned intervalMs);
    // Grabs keysym with Alt on the root window from this connection, as a window manager would.
    void grabWithAlt(const char* keysym);

private:
    int keyCode(const char* keysym) const;

    void* m_display = nullptr;
    // Keys pressed and not yet released, let go when the keyboard goes: a key left down (a test
    // that failed half-way) would otherwise reach the next test on the same server.
    std::set<int> m_down;
};
