#include "tests/core/audio/AllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <malloc.h>
#include <new>

namespace {

std::atomic<qint64> g_live{0};
std::atomic<qint64> g_peak{0};

void* allocate(std::size_t bytes)
{
    void* memory = std::malloc(bytes == 0 ? 1 : bytes);
    if (!memory)
        throw std::bad_alloc();
    const qint64 size = qint64(malloc_usable_size(memory));
    const qint64 now = g_live.fetch_add(size) + size;
    qint64 peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
    return memory;
}

void release(void* memory) noexcept
{
    if (!memory)
        return;
    g_live.fetch_sub(qint64(malloc_usable_size(memory)));
    std::free(memory);
}

} // namespace

// The unaligned forms; libstdc++ routes the nothrow forms through these.
void* operator new(std::size_t size)
{
    return allocate(size);
}

void* operator new[](std::size_t size)
{
    return allocate(size);
}

void operator delete(void* memory) noexcept
{
    release(memory);
}

void operator delete[](void* memory) noexcept
{
    release(memory);
}

void operator delete(void* memory, std::size_t) noexcept
{
    release(memory);
}

void operator delete[](void* memory, std::size_t) noexcept
{
    release(memory);
}

namespace AllocationCounter {

qint64 live()
{
    return g_live.load();
}

qint64 peak()
{
    return g_peak.load();
}

void resetPeak()
{
    g_peak.store(g_live.load());
}

} // namespace AllocationCounter
