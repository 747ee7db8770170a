#pragma once

#include "platform/FreedMemory.h"

#include <atomic>

// Counts the times the program asked to give freed memory back, from whichever thread.
class FakeFreedMemory : public FreedMemory
{
public:
    std::atomic_int givenBack = 0;

    void giveBack() override { ++givenBack; }
    // Counted at once: a worker started here could outlive the fake.
    void giveBackSoon() override { ++givenBack; }
};
