#pragma once

#include "platform/PermissionProbes.h"

class FakePermissionProbes : public PermissionProbes
{
public:
    bool microphone = false;
    bool accessibility = false;
    int microphoneProbes = 0;
    int accessibilityProbes = 0;
    int enableCalls = 0;

    bool microphoneAvailable() override
    {
        ++microphoneProbes;
        return microphone;
    }
    bool accessibilityAvailable() override
    {
        ++accessibilityProbes;
        return accessibility;
    }
    void enableAccessibility() override
    {
        ++enableCalls;
        accessibility = true;
    }
};
