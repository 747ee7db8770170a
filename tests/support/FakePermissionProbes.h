#pragma once

#include "platform/PermissionProbes.h"

#include <QSemaphore>

#include <atomic>

// Probes as the test sets them. The accessibility probe runs on a worker thread; with a gate it
// waits there until the test releases the gate, as a hung session bus would keep it waiting.
class FakePermissionProbes : public PermissionProbes
{
public:
    std::atomic<bool> microphone = false;
    std::atomic<bool> accessibility = false;
    std::atomic<int> microphoneProbes = 0;
    std::atomic<int> accessibilityProbes = 0;
    std::atomic<int> enableCalls = 0;
    int watchCalls = 0;
    QSemaphore* gate = nullptr;

    bool microphoneAvailable() override
    {
        ++microphoneProbes;
        return microphone;
    }
    bool accessibilityAvailable() override
    {
        if (gate)
            gate->acquire();
        ++accessibilityProbes;
        return accessibility;
    }
    void enableAccessibility() override
    {
        ++enableCalls;
        accessibility = true;
    }
    void watchChanges() override { ++watchCalls; }
};
