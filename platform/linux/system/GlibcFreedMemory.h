#pragma once

#include "platform/FreedMemory.h"

// The GNU C library's pools: malloc_trim gives back what they hold free.
class GlibcFreedMemory : public FreedMemory
{
public:
    void giveBack() override;
    void giveBackSoon() override;

    // Keeps buffers of a quarter megabyte and more out of the pools, so each goes back to the
    // system when freed. Once, at start, before other threads run.
    static void keepLargeBuffersApart();
};
