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
    // Combinations to test rather than keep: each is grabbed and released at once, so that the
    // failures tell which of them another program holds. One that keys also holds is answered by
    // that grab.
    std::vector<KeyGrab> probes;

    friend bool operator==(const KeyGrabRequest&, const KeyGrabRequest&) = default;
};

// What the adapter could not grab because another program owns it.
struct KeyGrabFailures
{
    std::vector<KeyGrab> keys;
    bool wholeKeyboard = false;
    // The request's probes another program holds.
    std::vector<KeyGrab> probes;

    friend bool operator==(const KeyGrabFailures&, const KeyGrabFailures&) = default;
};
