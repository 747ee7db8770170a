#pragma once

// Hands memory the program has freed back to the system. A take of minutes passes through tens of
// megabytes of buffers on several threads, and reading or writing a large lexicon through several
// times its size in small pieces. The C library keeps freed memory in pools that later small
// allocations pin: without being asked, it keeps the program's footprint at its highest so far.
class FreedMemory
{
public:
    virtual ~FreedMemory() = default;

    // Returns what the pools hold free. Costs a few milliseconds with a large heap: call it on a
    // worker, after the work that freed it.
    virtual void giveBack() = 0;

    // The same on a worker, from any thread, without waiting. The work it starts holds nothing of
    // this object, which may be gone before that work runs.
    virtual void giveBackSoon() = 0;
};
