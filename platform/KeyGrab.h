#pragma once

#include <QtGlobal>

#include <vector>

// A key combination that must not reach the application in front: the key with exactly these
// modifiers (the adapter adds the lock-key variants itself), or with any modifiers at all.
struct KeyGrab
{
    int keyCode = 0;
    quint64 modifiers = 0;
    // The key whatever is held with it; modifiers is then 0.
    bool anyModifiers = false;

    friend bool operator==(const KeyGrab&, const KeyGrab&) = default;
};

// Everything a key watcher wants withheld from other applications right now.
struct KeyGrabRequest
{
    std::vector<KeyGrab> keys;
    // While a new hotkey is being recorded, no key at all may reach another application.
    bool wholeKeyboard = false;

    friend bool operator==(const KeyGrabRequest&, const KeyGrabRequest&) = default;
};

// What the adapter could not grab because another program owns it.
struct KeyGrabFailures
{
    std::vector<KeyGrab> keys;
    bool wholeKeyboard = false;

    friend bool operator==(const KeyGrabFailures&, const KeyGrabFailures&) = default;
};
